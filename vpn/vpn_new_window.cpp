#include "vpn_new_window.h"

#include "conf_file.h"
#include "connection_store.h"
#include "source_field.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>

VpnNewWindow::VpnNewWindow(QWidget* parent)
    : ConnectionForm(parent)
{
    build();
    setWindowTitle(tr("Kreator nowego połączenia"));
    setWindowIcon(QIcon(QStringLiteral(":img/vpn_new_22.png")));
}

QWidget* VpnNewWindow::createNameBox()
{
    QGridLayout* grid = nullptr;
    QGroupBox* box = formBox(tr("Nazwa połączenia VPN"), this, grid);
    mMorvilVpnName = new QLineEdit(box);
    mMorvilVpnName->setObjectName(QStringLiteral("morvilVpnName"));
    grid->addWidget(new QLabel(tr("Nazwa połączenia<sup>*</sup>"), box), 0, 0);
    grid->addWidget(mMorvilVpnName, 0, 1, 1, 3);
    mTemplate = new SourceField(QStringLiteral("templateFileName"), SourceField::Empty::Allowed, this);
    // The key is chosen on the token; a key line of the template would take its place.
    mTemplate->setCheck([](const QString& source, const QByteArray& data) {
        return vpn::templateNamesKey(data) ? tr("Wzorzec %1 ma wiersz z opcją key, który zastąpiłby klucz wskazany w "
                                                "polu \"Nazwa klucza\". Usuń ten wiersz ze wzorca.")
                                                 .arg(source)
                                           : QString();
    });
    grid->addWidget(new QLabel(tr("Wzorzec pliku konfiguracyjnego"), box), 2, 0);
    mTemplate->placeIn(grid, 2);
    return box;
}

void VpnNewWindow::saveSlot()
{
    if (!checkFields()) {
        return;
    }
    QString name;
    const QString error = vpn::createConnection(
        QDir::current(), { vpn::newConf(header(), mTemplate->data()), mCaCert->data(), mUserCert->data() }, name);
    if (!error.isEmpty()) {
        saveFailed(error);
        return;
    }
    mConfName = name;
    accept();
}
