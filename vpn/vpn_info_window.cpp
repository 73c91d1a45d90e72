#include "vpn_info_window.h"

#include "connection_form.h"
#include "vpn_item.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QIcon>
#include <QLabel>
#include <QPushButton>

namespace {

// A label and its value, the value as plain text (it comes from a file).
void addRow(QGridLayout* grid, QWidget* box, int row, const QString& label, const QString& value,
            const char* objectName)
{
    grid->addWidget(new QLabel(label, box), row, 0);
    auto* shown = new QLabel(box);
    shown->setTextFormat(Qt::PlainText);
    shown->setText(value);
    shown->setObjectName(QLatin1String(objectName));
    grid->addWidget(shown, row, 1);
}

} // namespace

VpnInfoWindow::VpnInfoWindow(VpnItem* item, QWidget* parent)
    : QDialog(parent)
    , mVpnItem(item)
{
    setWindowTitle(tr("Informacja o połączeniu"));
    setWindowIcon(QIcon(QStringLiteral(":img/vpn_22.png")));
    auto* grid = new QGridLayout(this);
    grid->addWidget(createNameBox(), 0, 0, 1, 3);
    grid->addWidget(createNetDetailsBox(), 1, 0, 1, 3);
    grid->addWidget(createCertsKeyBox(), 2, 0, 1, 3);
    mOk = new QPushButton(tr("&Zamknij"), this);
    mOk->setObjectName(QStringLiteral("close"));
    grid->addWidget(mOk, 5, 2);
    grid->setColumnStretch(0, 1);
    grid->setRowStretch(4, 1);
    connect(mOk, &QPushButton::clicked, this, &QDialog::accept);
}

QWidget* VpnInfoWindow::createNameBox()
{
    QGridLayout* grid = nullptr;
    QGroupBox* box = formBox(tr("Nazwa połączenia VPN"), this, grid);
    addRow(grid, box, 0, tr("Nazwa połączenia:"), mVpnItem->MorvilVpnName(), "name");
    return box;
}

QWidget* VpnInfoWindow::createNetDetailsBox()
{
    QGridLayout* grid = nullptr;
    QGroupBox* box = formBox(tr("Serwer VPN"), this, grid);
    addRow(grid, box, 0, tr("Nazwa lub numer IP serwera:"),
           mVpnItem->remoteVpnServer() + QLatin1Char(':') + mVpnItem->remoteVpnPort(), "server");
    return box;
}

QWidget* VpnInfoWindow::createCertsKeyBox()
{
    QGridLayout* grid = nullptr;
    QGroupBox* box = formBox(tr("Certyfikaty i klucz"), this, grid);
    const QString dir = mVpnItem->confName() + QLatin1Char('/');
    addRow(grid, box, 0, tr("Certyfikat urzędu:"), dir + mVpnItem->caCertFileName(), "caCert");
    addRow(grid, box, 1, tr("Certyfikaf użytkownika:"), dir + mVpnItem->userCertFileName(), "userCert");
    addRow(grid, box, 2, tr("Nazwa klucza:"), mVpnItem->key(), "key");
    return box;
}
