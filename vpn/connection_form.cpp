#include "connection_form.h"

#include "message_box.h"
#include "source_field.h"
#include "token_choice.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

QGroupBox* formBox(const QString& title, QWidget* parent, QGridLayout*& grid)
{
    auto* box = new QGroupBox(title, parent);
    grid = new QGridLayout(box);
    grid->setColumnStretch(1, 1);
    return box;
}

ConnectionForm::ConnectionForm(QWidget* parent)
    : QDialog(parent)
{
}

void ConnectionForm::build()
{
    auto* grid = new QGridLayout(this);
    grid->addWidget(createBaseTab(), 0, 0, 1, 3);
    mSave = new QPushButton(tr("Zapi&sz"), this);
    mSave->setObjectName(QStringLiteral("save"));
    mCancel = new QPushButton(tr("A&nuluj"), this);
    mCancel->setObjectName(QStringLiteral("cancel"));
    grid->addWidget(mSave, 1, 1);
    grid->addWidget(mCancel, 1, 2);
    grid->setColumnStretch(0, 1);
    grid->setRowStretch(0, 1);
    connect(mCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(mSave, &QPushButton::clicked, this, &ConnectionForm::saveSlot);
}

QWidget* ConnectionForm::createBaseTab()
{
    auto* page = new QWidget(this);
    auto* column = new QGridLayout(page);
    column->setContentsMargins(0, 0, 0, 0);
    column->addWidget(createNameBox(), 0, 0);
    column->addWidget(createNetDetailsBox(), 1, 0);
    column->addWidget(createCertsKeyBox(), 2, 0);
    column->setRowStretch(3, 1);
    return page;
}

QWidget* ConnectionForm::createNetDetailsBox()
{
    QGridLayout* grid = nullptr;
    QGroupBox* box = formBox(tr("Serwer VPN"), this, grid);
    mRemoteVpnServer = new QLineEdit(box);
    mRemoteVpnServer->setObjectName(QStringLiteral("remoteVpnServer"));
    grid->addWidget(new QLabel(tr("Nazwa lub numer IP serwera<sup>*</sup>"), box), 0, 0);
    grid->addWidget(mRemoteVpnServer, 0, 1);
    return box;
}

QWidget* ConnectionForm::createCertsKeyBox()
{
    QGridLayout* grid = nullptr;
    QGroupBox* box = formBox(tr("Certyfikaty i klucz"), this, grid);
    mCaCert = new SourceField(QStringLiteral("caCert"), SourceField::Empty::Refused, this);
    mUserCert = new SourceField(QStringLiteral("userCert"), SourceField::Empty::Refused, this);
    grid->addWidget(new QLabel(tr("Certyfikat urzędu<sup>*</sup>"), box), 0, 0);
    mCaCert->placeIn(grid, 0);
    grid->addWidget(new QLabel(tr("Certyfikaf użytkownika<sup>*</sup>"), box), 2, 0);
    mUserCert->placeIn(grid, 2);
    grid->addWidget(new QLabel(tr("Nazwa klucza<sup>*</sup>"), box), 4, 0);
    mKey = new QLineEdit(box);
    mKey->setObjectName(QStringLiteral("key"));
    grid->addWidget(mKey, 4, 1, 1, 3);
    mKeyBrowse = new QPushButton(tr("Wybierz"), box);
    mKeyBrowse->setObjectName(QStringLiteral("keyBrowse"));
    grid->addWidget(mKeyBrowse, 5, 3);
    connect(mKeyBrowse, &QPushButton::clicked, this, &ConnectionForm::MorvilKeyBrowseSlot);
    return box;
}

namespace {

// What is wrong with a field that "conf" would not give back as it stands.
QString unreadableText(vpn::HeaderField field)
{
    switch (field) {
    case vpn::HeaderField::Name:
        return ConnectionForm::tr("Nazwa połączenia nie może zaczynać się od odstępu ani zawierać znaków sterujących "
                                  "(takich jak koniec wiersza): plik konfiguracyjny połączenia odczytałby ten tekst "
                                  "inaczej.");
    case vpn::HeaderField::Server:
        return ConnectionForm::tr("Nazwa lub numer IP serwera nie może zaczynać się od odstępu, zawierać znaków "
                                  "sterujących (takich jak koniec wiersza) ani osobnych wyrazów MorvilVpnName, remote, "
                                  "rport, ca, cert, key: plik konfiguracyjny połączenia odczytałby ten tekst inaczej.");
    case vpn::HeaderField::Port:
        return ConnectionForm::tr("Port serwera (po znaku ':') nie może zaczynać się od odstępu, zawierać znaków "
                                  "sterujących (takich jak koniec wiersza) ani osobnych wyrazów MorvilVpnName, remote, "
                                  "rport, ca, cert, key: plik konfiguracyjny połączenia odczytałby ten tekst inaczej.");
    case vpn::HeaderField::Key:
        break;
    }
    return ConnectionForm::tr(
        "Nazwa klucza nie może zaczynać się ani kończyć odstępem, zawierać znaków sterujących "
        "(takich jak koniec wiersza) ani osobnych wyrazów MorvilVpnName, remote, rport, ca, cert, "
        "key: plik konfiguracyjny połączenia odczytałby ten tekst inaczej.");
}

} // namespace

void ConnectionForm::MorvilKeyBrowseSlot()
{
    const QString key = vpn::chooseTokenKey(tr("Wybór klucza"), this);
    if (key.isEmpty()) {
        return;
    }
    // A token may hold any name: one that "conf" would not carry as the one key line naming
    // exactly this key is refused here, before it is shown.
    if (!vpn::readsBack(vpn::HeaderField::Key, key)) {
        morvil::box::information(tr("Wybór klucza"),
                                 tr("Nie można użyć klucza %1.\n\n%2").arg(key, unreadableText(vpn::HeaderField::Key)),
                                 this);
        return;
    }
    mKey->setText(key);
}

bool ConnectionForm::checkFields()
{
    return checkRequired() && checkReadable();
}

bool ConnectionForm::checkRequired()
{
    const std::pair<bool, QString> required[] = {
        { !mMorvilVpnName->text().isEmpty(), tr("Wprowadź nazwę połączenia VPN, które jest tworzone!") },
        { !mRemoteVpnServer->text().isEmpty(), tr("Wprowadź nazwę lub numer IP serwera VPN!") },
        { mCaCert->isChosen(), tr("Wybierz plik z certyfikatem urzędu!") },
        { mUserCert->isChosen(), tr("Wybierz plik z certyfikatem użytkownika!") },
        { !mKey->text().isEmpty(), tr("Wskaż klucz, który będzie wykorzystywany!") },
    };
    for (const auto& [filled, text] : required) {
        if (!filled) {
            morvil::box::information(tr("Brak danych"), text, this);
            return false;
        }
    }
    return true;
}

bool ConnectionForm::checkReadable()
{
    const std::optional<vpn::HeaderField> field = vpn::unreadableField(header());
    if (field) {
        morvil::box::information(tr("Niepoprawne dane"), unreadableText(*field), this);
        return false;
    }
    return true;
}

vpn::ConfHeader ConnectionForm::header() const
{
    const vpn::ServerAddress address = vpn::splitServer(mRemoteVpnServer->text());
    return { mMorvilVpnName->text(), address.server, address.port, mKey->text() };
}

void ConnectionForm::saveFailed(const QString& error)
{
    morvil::box::critical(morvil::box::errorTitle(), error, this);
}
