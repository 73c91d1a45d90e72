// The connection windows on the offscreen platform: required fields in their order, the server
// split, saving new and edited connections, the information window, and deleting.
#include "box_watcher.h"
#include "qt_test_main.h"
#include "vpn_edit_window.h"
#include "vpn_fixture.h"
#include "vpn_info_window.h"
#include "vpn_item.h"
#include "vpn_new_window.h"

#include <QLabel>

#include <cerrno>

using namespace morvil::test;

namespace {

const vpn::ConfHeader kOffice { QStringLiteral("Biuro"), QStringLiteral("vpn.example.pl"), QStringLiteral("443"),
                                QStringLiteral("ALFA/klucz1") };

QString labelText(QWidget* window, const char* name)
{
    return window->findChild<QLabel*>(QLatin1String(name))->text();
}

} // namespace

class WindowsTest : public QObject
{
    Q_OBJECT
    std::unique_ptr<TempStore> mStore;
    std::unique_ptr<BoxWatcher> mBoxes;

    // Chooses a local file for a field through its "Wybierz" button and the file dialog.
    void browse(QWidget* window, const char* field, const QString& path)
    {
        chooseFile(path);
        button(window, field)->click();
    }

private slots:
    void init()
    {
        mStore = std::make_unique<TempStore>();
        mBoxes = std::make_unique<BoxWatcher>();
    }
    void cleanup()
    {
        const QStringList problems = mBoxes->finish();
        mBoxes.reset();
        QCOMPARE(problems.join(QLatin1Char('\n')), QString());
        mStore.reset();
    }

    void requiredFieldsInTheirOrder()
    {
        VpnNewWindow window(nullptr);
        window.show();
        QCOMPARE(window.windowTitle(), QStringLiteral("Kreator nowego połączenia"));
        auto expectMissing = [&](const char* text) {
            mBoxes->expectInformation(QStringLiteral("Brak danych"), QString::fromUtf8(text));
            button(&window, "save")->click();
            QVERIFY(window.isVisible());
        };
        expectMissing("Wprowadź nazwę połączenia VPN, które jest tworzone!");
        edit(&window, "morvilVpnName")->setText(QStringLiteral(" "));
        expectMissing("Wprowadź nazwę lub numer IP serwera VPN!");
        edit(&window, "remoteVpnServer")->setText(QStringLiteral("vpn.example.pl"));
        expectMissing("Wybierz plik z certyfikatem urzędu!");
        // An empty certificate file is refused when chosen and leaves the field empty.
        mBoxes->expect(anyError());
        browse(&window, "caCertBrowse", mStore->file(QStringLiteral("empty.pem"), {}));
        QCOMPARE(edit(&window, "caCert")->text(), QString());
        QVERIFY(edit(&window, "caCert")->isReadOnly());
        browse(&window, "caCertBrowse", mStore->file(QStringLiteral("ca.pem"), "CA PEM"));
        expectMissing("Wybierz plik z certyfikatem użytkownika!");
        browse(&window, "userCertBrowse", mStore->file(QStringLiteral("user.pem"), "USER PEM"));
        expectMissing("Wskaż klucz, który będzie wykorzystywany!");
        QCOMPARE(vpn::connectionNames(mStore->dir()), QStringList());
        QCOMPARE(mBoxes->seen().size(), 6);
    }

    void newConnectionWithDefaultPortAndTemplate()
    {
        VpnNewWindow window(nullptr);
        window.show();
        edit(&window, "morvilVpnName")->setText(QStringLiteral("Biuro Łódź"));
        edit(&window, "remoteVpnServer")->setText(QStringLiteral("vpn.example.pl"));
        browse(&window, "templateFileNameBrowse", mStore->file(QStringLiteral("client.conf"), "client\nnobind\n"));
        browse(&window, "caCertBrowse", mStore->file(QStringLiteral("ca.pem"), "CA PEM"));
        browse(&window, "userCertBrowse", mStore->file(QStringLiteral("user.pem"), "USER PEM"));
        QCOMPARE(edit(&window, "caCert")->text(), mStore->file(QStringLiteral("ca.pem"), "CA PEM"));
        edit(&window, "key")->setText(QStringLiteral("ALFA/klucz1"));
        button(&window, "save")->click();
        QCOMPARE(window.result(), int(QDialog::Accepted));
        QCOMPARE(window.confName(), QStringLiteral("0000"));
        QCOMPARE(mStore->read(QStringLiteral("0000/conf")),
                 vpn::newConf({ QStringLiteral("Biuro Łódź"), QStringLiteral("vpn.example.pl"), QStringLiteral("1194"),
                                QStringLiteral("ALFA/klucz1") },
                              "client\nnobind\n"));
        QCOMPARE(mStore->read(QStringLiteral("0000/ca")), QByteArray("CA PEM"));
        QCOMPARE(mStore->read(QStringLiteral("0000/user")), QByteArray("USER PEM"));
    }

    void serverSplitsAtColons_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("server");
        QTest::addColumn<QString>("port");
        QTest::newRow("port given") << "vpn.example.pl:443"
                                    << "vpn.example.pl"
                                    << "443";
        QTest::newRow("lone colon") << "vpn.example.pl:"
                                    << "vpn.example.pl"
                                    << "";
        QTest::newRow("two colons") << "10.0.0.1:1195:x"
                                    << "10.0.0.1"
                                    << "1195";
    }
    void serverSplitsAtColons()
    {
        QFETCH(QString, typed);
        QFETCH(QString, server);
        QFETCH(QString, port);
        const QString name = mStore->add(kOffice);
        VpnItem item(mStore->path(name + QStringLiteral("/conf")), name);
        VpnEditWindow window(&item, nullptr);
        window.show();
        edit(&window, "remoteVpnServer")->setText(typed);
        button(&window, "save")->click();
        QCOMPARE(window.result(), int(QDialog::Accepted));
        item.setConfFilePath(item.confFilePath(), name);
        QCOMPARE(item.remoteVpnServer(), server);
        QCOMPARE(item.remoteVpnPort(), port.isEmpty() ? kOffice.port : port); // an empty port line gives nothing
        QVERIFY(mStore->read(name + QStringLiteral("/conf")).contains(("\nrport " + port + "\n").toUtf8()));
    }

    // A field that "conf" would not give back as typed is refused at saving, with what is wrong
    // with it; nothing is written.
    void fieldsThatWouldNotReadBackAreRefused_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("server");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("text");
        const QString rest = QStringLiteral("zawierać znaków sterujących (takich jak koniec wiersza) ani osobnych "
                                            "wyrazów MorvilVpnName, remote, rport, ca, cert, key: plik konfiguracyjny "
                                            "połączenia odczytałby ten tekst inaczej.");
        QTest::newRow("name") << " Biuro"
                              << "h"
                              << "T/k"
                              << "Nazwa połączenia nie może zaczynać się od odstępu ani zawierać znaków sterujących "
                                 "(takich jak koniec wiersza): plik konfiguracyjny połączenia odczytałby ten tekst "
                                 "inaczej.";
        QTest::newRow("server") << "Biuro"
                                << "h MorvilVpnName x"
                                << "T/k"
                                << QStringLiteral("Nazwa lub numer IP serwera nie może zaczynać się od odstępu, ")
                + rest;
        QTest::newRow("port") << "Biuro"
                              << "h:1 remote x"
                              << "T/k"
                              << QStringLiteral("Port serwera (po znaku ':') nie może zaczynać się od odstępu, ")
                + rest;
        QTest::newRow("key") << "Biuro"
                             << "h"
                             << "TOKEN/a cert b"
                             << QStringLiteral("Nazwa klucza nie może zaczynać się ani kończyć odstępem, ") + rest;
    }
    void fieldsThatWouldNotReadBackAreRefused()
    {
        QFETCH(QString, name);
        QFETCH(QString, server);
        QFETCH(QString, key);
        QFETCH(QString, text);
        VpnNewWindow window(nullptr);
        window.show();
        edit(&window, "morvilVpnName")->setText(name);
        edit(&window, "remoteVpnServer")->setText(server);
        browse(&window, "caCertBrowse", mStore->file(QStringLiteral("ca.pem"), "CA"));
        browse(&window, "userCertBrowse", mStore->file(QStringLiteral("user.pem"), "USER"));
        edit(&window, "key")->setText(key);
        mBoxes->expectInformation(QStringLiteral("Niepoprawne dane"), text);
        button(&window, "save")->click();
        QVERIFY(window.isVisible());
        QCOMPARE(mStore->dir().entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), QStringList());
    }

    // A template that names a key of its own would stand in for the key chosen: it is refused when
    // chosen, and the field keeps what it had.
    void aTemplateNamingAKeyIsRefused()
    {
        VpnNewWindow window(nullptr);
        window.show();
        const QString good = mStore->file(QStringLiteral("good.conf"), "nobind\ntls-auth ta.key 1\n");
        browse(&window, "templateFileNameBrowse", good);
        const QString withKey = mStore->file(QStringLiteral("client.conf"), "nobind\nkey client.key\n");
        mBoxes->expectInformation(QStringLiteral("Wybór pliku"),
                                  QStringLiteral("Wzorzec %1 ma wiersz z opcją key, który zastąpiłby klucz wskazany "
                                                 "w polu \"Nazwa klucza\". Usuń ten wiersz ze wzorca.")
                                      .arg(withKey));
        browse(&window, "templateFileNameBrowse", withKey);
        QCOMPARE(edit(&window, "templateFileName")->text(), good);
    }

    void editKeepsTheTailAndThePreloadedCertificates()
    {
        const QByteArray tail = QByteArray(vpn::kTemplateMarker) + "remote-cert-tls server\ncipher AES-256-GCM\n";
        const QString name = mStore->add(kOffice, tail.mid(qstrlen(vpn::kTemplateMarker)));
        VpnItem item(mStore->path(name + QStringLiteral("/conf")), name);
        VpnEditWindow window(&item, nullptr);
        window.show();
        QCOMPARE(window.windowTitle(), QStringLiteral("Edycja połączenia"));
        QCOMPARE(edit(&window, "morvilVpnName")->text(), kOffice.name);
        QCOMPARE(edit(&window, "remoteVpnServer")->text(), QStringLiteral("vpn.example.pl:443"));
        QCOMPARE(edit(&window, "caCert")->text(), name + QStringLiteral("/ca"));
        QCOMPARE(edit(&window, "userCert")->text(), name + QStringLiteral("/user"));
        QCOMPARE(edit(&window, "key")->text(), kOffice.key);
        QVERIFY(edit(&window, "templateFileName") == nullptr);
        edit(&window, "morvilVpnName")->setText(QStringLiteral("Dom"));
        edit(&window, "remoteVpnServer")->setText(QStringLiteral("dom.example.pl"));
        button(&window, "save")->click();
        QCOMPARE(window.result(), int(QDialog::Accepted));
        QCOMPARE(mStore->read(name + QStringLiteral("/conf")),
                 vpn::confHeader(
                     { QStringLiteral("Dom"), QStringLiteral("dom.example.pl"), QStringLiteral("1194"), kOffice.key })
                     + tail);
        QCOMPARE(mStore->read(name + QStringLiteral("/ca")), QByteArray("CA"));
        QCOMPARE(mStore->read(name + QStringLiteral("/user")), QByteArray("USER"));
    }

    void editRefusesAConnectionWithoutItsCertificate()
    {
        const QString name = mStore->add(kOffice);
        QFile::remove(mStore->path(name + QStringLiteral("/user")));
        VpnItem item(mStore->path(name + QStringLiteral("/conf")), name);
        VpnEditWindow window(&item, nullptr);
        window.show();
        mBoxes->expectInformation(QStringLiteral("Brak danych"),
                                  QStringLiteral("Wybierz plik z certyfikatem użytkownika!"));
        button(&window, "save")->click();
        QVERIFY(window.isVisible());
        QCOMPARE(mStore->read(name + QStringLiteral("/user")), QByteArray("<missing>"));
    }

    // A file of the first free name is skipped; a save the disk refuses says so, the window stays
    // open, and the store is as it was.
    void aSaveThatFailsSaysSoAndStaysOpen()
    {
        QFile blocker(mStore->path(QStringLiteral("0000")));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        VpnNewWindow window(nullptr);
        window.show();
        edit(&window, "morvilVpnName")->setText(QStringLiteral("Biuro"));
        edit(&window, "remoteVpnServer")->setText(QStringLiteral("h"));
        browse(&window, "caCertBrowse", mStore->file(QStringLiteral("ca.pem"), "CA"));
        browse(&window, "userCertBrowse", mStore->file(QStringLiteral("user.pem"), "USER"));
        edit(&window, "key")->setText(QStringLiteral("ALFA/k"));
        vpn::setRenameFunction([](const char*, const char*, unsigned int) {
            errno = EIO;
            return -1;
        });
        mBoxes->expect(anyError());
        button(&window, "save")->click();
        vpn::setRenameFunction(nullptr);
        QVERIFY(window.isVisible());
        QVERIFY(window.confName().isEmpty());
        const QStringList before { QStringLiteral("0000") };
        QCOMPARE(mStore->dir().entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), before);

        button(&window, "save")->click();
        QCOMPARE(window.result(), int(QDialog::Accepted));
        QCOMPARE(window.confName(), QStringLiteral("0001"));
        QVERIFY(QFileInfo(mStore->path(QStringLiteral("0000"))).isFile());
    }

    void informationShowsTheStoredValues()
    {
        vpn::ConfHeader marked = kOffice;
        marked.name = QStringLiteral("<b>Biuro</b> & <i>dom</i>"); // shown as written, never as markup
        const QString name = mStore->add(marked);
        VpnItem item(mStore->path(name + QStringLiteral("/conf")), name);
        VpnInfoWindow window(&item, nullptr);
        QCOMPARE(window.windowTitle(), QStringLiteral("Informacja o połączeniu"));
        QCOMPARE(labelText(&window, "name"), marked.name);
        for (const char* value : { "name", "server", "caCert", "userCert", "key" }) {
            QCOMPARE(window.findChild<QLabel*>(QLatin1String(value))->textFormat(), Qt::PlainText);
        }
        QCOMPARE(labelText(&window, "server"), QStringLiteral("vpn.example.pl:443"));
        QCOMPARE(labelText(&window, "caCert"), QStringLiteral("0000/ca"));
        QCOMPARE(labelText(&window, "userCert"), QStringLiteral("0000/user"));
        QCOMPARE(labelText(&window, "key"), kOffice.key);
        window.show();
        button(&window, "close")->click();
        QCOMPARE(window.result(), int(QDialog::Accepted));
    }
};

MORVIL_QTEST_MAIN(WindowsTest)
#include "test_windows.moc"
