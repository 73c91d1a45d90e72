// The new-authority form: the name check, the order of its refusals, its defaults and the slash
// form of the authority's subject.
#include "box_watcher.h"
#include "ca_new_dialog.h"
#include "chooser_fixture.h"
#include "qt_test_main.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTemporaryDir>

#include <algorithm>

using namespace morvil::test;

namespace {

const QString kBadName
    = QString::fromUtf8("Pole nazwa urzędu moze zawierać jedynie znaki alfanumeryczne [a-z][A-Z][0-9] oraz '_' i '-'.");

} // namespace

class CaNewDialogTest : public QObject
{
    Q_OBJECT

    template <typename W> W* field(CaNewDialog& dialog, const char* name)
    {
        return dialog.findChild<W*>(QString::fromLatin1(name));
    }
    void expectBoxes()
    {
        const QStringList problems = mBoxes.finish();
        QVERIFY2(problems.isEmpty(), qPrintable(problems.join('\n')));
        mBoxes.clearSeen();
    }

    QTemporaryDir mStore;
    BoxWatcher mBoxes;

private slots:
    void initTestCase() { QVERIFY(QDir::setCurrent(mStore.path())); }

    void refusedNameCharactersAreUndoneWhole()
    {
        CaNewDialog dialog;
        QLineEdit* name = field<QLineEdit>(dialog, "name");
        mBoxes.expectInformation(QStringLiteral("Niepoprawne dane"), kBadName);
        name->setText(QString::fromUtf8("ą"));
        expectBoxes();
        QCOMPARE(name->text(), QString());

        name->setText(QStringLiteral("Urzad_1-A"));
        mBoxes.expectInformation(QStringLiteral("Niepoprawne dane"), kBadName);
        name->setText(QStringLiteral("Urzad_1-A ze spacja"));
        expectBoxes();
        QCOMPARE(name->text(), QStringLiteral("Urzad_1-A"));
        QCOMPARE(dialog.name(), QStringLiteral("Urzad_1-A"));
    }

    // Every field stands in its group, with its default and its range.
    void fieldsSitInTheirGroupsWithTheirDefaults()
    {
        CaNewDialog dialog;
        // The group's title and the labels in it.
        const auto groupOf = [&](const char* name) {
            QWidget* widget = field<QWidget>(dialog, name);
            auto* group = widget == nullptr ? nullptr : qobject_cast<QGroupBox*>(widget->parentWidget());
            QString shown = group == nullptr ? QString() : group->title();
            for (const QLabel* label : group == nullptr ? QList<QLabel*>() : group->findChildren<QLabel*>()) {
                shown += QLatin1Char('|') + label->text();
            }
            return shown;
        };
        const QString names
            = QString::fromUtf8("Nazwa i klucz urzędu|Nazwa urzędu<sup>*</sup>|Klucz urzędu<sup>*</sup>");
        const QString defaults = QString::fromUtf8("Ustawienia domyślne|Okres ważności certyfiaktu użytkownika|Okres "
                                                   "ważności listy CRL|Funkcja skrótu");
        QCOMPARE(groupOf("name"), names);
        QCOMPARE(groupOf("caKeyName"), names);
        QCOMPARE(groupOf("defaultMD"), defaults);
        QCOMPARE(groupOf("caCommonName"),
                 QString::fromUtf8("Informacje o urzędzie|Kod kraju|Region|Miejscowość|Organizacja|Dział|Nazwa "
                                   "pospolita<sup>*</sup>|E-mail"));
        const std::tuple<const char*, QString, int, int> days[] = {
            { "defaultCertDays", defaults, 365, 7300 },
            { "defaultCrlDays", defaults, 30, 183 },
            { "caCertDays", QString::fromUtf8("Ważność certyfikatu urzędu|Okres ważności certyfiaktu"), 7300, 7300 },
        };
        for (const auto& [name, group, value, maximum] : days) {
            QCOMPARE(groupOf(name), group);
            auto* box = field<QSpinBox>(dialog, name);
            QCOMPARE(box->value(), value);
            QCOMPARE(box->suffix(), QStringLiteral(" [dni]"));
            box->setValue(maximum + 1);
            QCOMPARE(box->value(), maximum);
            box->setValue(0);
            QCOMPARE(box->value(), 1);
        }
        auto* digest = field<QComboBox>(dialog, "defaultMD");
        QStringList digests;
        for (int i = 0; i < digest->count(); ++i) {
            digests << digest->itemText(i) + QLatin1Char('=') + digest->itemData(i).toString();
        }
        QCOMPARE(digests,
                 (QStringList { "SHA-1=ecdsa-with-sha1", "SHA-224=ecdsa-with-sha224", "SHA-256=ecdsa-with-sha256" }));
        QCOMPARE(dialog.values().defaultMD, QStringLiteral("ecdsa-with-sha256"));

        // The policy combos in the order of their rows, each word going where its row says.
        QGroupBox* policy = nullptr;
        for (QGroupBox* group : dialog.findChildren<QGroupBox*>()) {
            policy = group->title() == QString::fromUtf8("Informacje o certyfikowanym podmiocie") ? group : policy;
        }
        QVERIFY(policy != nullptr);
        const QList<QComboBox*> words = policy->findChildren<QComboBox*>();
        QCOMPARE(words.size(), 7);
        QCOMPARE(words[5]->count(), 1); // the common name is always supplied
        for (int i = 0; i < 7; ++i) {
            if (i != 5) {
                words[i]->setCurrentIndex(i % 2 == 0 ? 2 : 1);
            }
        }
        const NewAuthority chosen = dialog.values();
        QCOMPARE((QStringList { chosen.policyCountryName, chosen.policyStateOrProvinceName, chosen.policyLocalityName,
                                chosen.policyOrganizationName, chosen.policyOrganizationalUnitName,
                                chosen.policyCommonName, chosen.policyEmailAddress }),
                 (QStringList { "match", "supplied", "match", "supplied", "match", "supplied", "match" }));

        // What the authority is made from is what the form shows.
        field<QSpinBox>(dialog, "defaultCertDays")->setValue(400);
        field<QSpinBox>(dialog, "defaultCrlDays")->setValue(60);
        field<QSpinBox>(dialog, "caCertDays")->setValue(1000);
        digest->setCurrentIndex(1);
        const NewAuthority values = dialog.values();
        QCOMPARE(values.defaultCertDays, 400);
        QCOMPARE(values.defaultCrlDays, 60);
        QCOMPARE(values.caCertDays, 1000);
        QCOMPARE(values.defaultMD, QStringLiteral("ecdsa-with-sha224"));

        // "A&nuluj" closes the form unaccepted.
        dialog.show();
        const QList<QPushButton*> buttons = dialog.findChildren<QPushButton*>();
        const auto cancel = std::find_if(buttons.begin(), buttons.end(),
                                         [](const QPushButton* b) { return b->text() == QStringLiteral("A&nuluj"); });
        QVERIFY(cancel != buttons.end());
        (*cancel)->click();
        QVERIFY(!dialog.isVisible());
        QCOMPARE(dialog.result(), int(QDialog::Rejected));
    }

    void acceptRefusesInOrder()
    {
        CaNewDialog dialog;
        const QString missing = QStringLiteral("Brak danych");
        mBoxes.expectInformation(missing, QString::fromUtf8("Wprowadź nazwę urzędu."));
        dialog.accept();
        field<QLineEdit>(dialog, "name")->setText(QStringLiteral("Nowy"));
        mBoxes.expectInformation(missing, QString::fromUtf8("Wprowadź nazwę klucza urzędu."));
        dialog.accept();
        field<QLineEdit>(dialog, "caKeyName")->setText(QStringLiteral("TOK/klucz"));
        mBoxes.expectInformation(missing,
                                 QString::fromUtf8("Wprowadź nazwę pospolitą urzędu (to pole jest wymagane)."));
        dialog.accept();
        expectBoxes();
        QCOMPARE(dialog.result(), int(QDialog::Rejected));

        field<QLineEdit>(dialog, "caCommonName")->setText(QStringLiteral("CA"));
        QVERIFY(QDir(mStore.path()).mkdir(QStringLiteral("Nowy")));
        mBoxes.expectInformation(QStringLiteral("Informacja"),
                                 QString::fromUtf8("Urząd o podanej nazwie już istnieje. Musisz podać inną nazwę."));
        dialog.accept();
        expectBoxes();
        QCOMPARE(dialog.result(), int(QDialog::Rejected));

        // Directory names compare case-sensitively.
        field<QLineEdit>(dialog, "name")->setText(QStringLiteral("nowy"));
        dialog.accept();
        expectBoxes();
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
    }

    // A reference holding a line break would become lines of the authority's configuration, and
    // one whose octets were not UTF-8 (shown as U+FFFD) names no token: both are refused before
    // anything is made, with the reason, and the store stays as it was.
    void keyReferencesThatCannotNameATokenKeyAreRefused()
    {
        const QString control = QString::fromUtf8(
            "Klucz urzędu nie może zawierać znaków sterujących, takich jak znak nowej linii lub tabulacji.");
        const QString undecodable = QString::fromUtf8(
            "Nazwa tokenu lub klucza zawiera znaki, które nie są tekstem UTF-8 (pokazane jako \uFFFD): takiej nazwy "
            "nie można przekazać tokenowi.");
        const std::pair<QString, QString> refused[] = {
            { QStringLiteral("TOK/k\nRANDFILE=../pwn"), control },
            { QStringLiteral("TOK\t/k"), control },
            { QStringLiteral("TOK/k\r"), control },
            { QStringLiteral("TOK/\x7f"), control },
            { QString::fromUtf8("TOK/k\u0085"), control },
            { QString::fromUtf8("TOK/k\u2028"), control },
            { QString::fromUtf8("T\uFFFD/k"), undecodable },
        };
        for (const auto& [reference, reason] : refused) {
            CaNewDialog dialog;
            field<QLineEdit>(dialog, "name")->setText(QStringLiteral("Nowy2"));
            field<QLineEdit>(dialog, "caKeyName")->setText(reference);
            field<QLineEdit>(dialog, "caCommonName")->setText(QStringLiteral("CA"));
            mBoxes.expectInformation(QStringLiteral("Niepoprawne dane"), reason);
            dialog.accept();
            expectBoxes();
            QCOMPARE(dialog.result(), int(QDialog::Rejected));
        }
        QCOMPARE(QDir(mStore.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System),
                 QStringList { QStringLiteral("Nowy") });
    }

    // Any entry of the store takes its name, even a link to nothing: making the authority there
    // would write through it.
    void anyEntryOfTheStoreTakesItsName()
    {
        CaNewDialog dialog;
        field<QLineEdit>(dialog, "caKeyName")->setText(QStringLiteral("TOK/klucz"));
        field<QLineEdit>(dialog, "caCommonName")->setText(QStringLiteral("CA"));
        QVERIFY(QFile::link(mStore.filePath(QStringLiteral("nic/nigdzie")), mStore.filePath(QStringLiteral("Link"))));
        QFile file(mStore.filePath(QStringLiteral("Plik")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        for (const char* name : { "Link", "Plik" }) {
            field<QLineEdit>(dialog, "name")->setText(QLatin1String(name));
            mBoxes.expectInformation(
                QStringLiteral("Informacja"),
                QString::fromUtf8("Urząd o podanej nazwie już istnieje. Musisz podać inną nazwę."));
            dialog.accept();
            expectBoxes();
            QCOMPARE(dialog.result(), int(QDialog::Rejected));
        }
        QVERIFY(QFile::remove(mStore.filePath(QStringLiteral("Link"))));
        QVERIFY(QFile::remove(mStore.filePath(QStringLiteral("Plik"))));
    }

    void subjectKeepsEachValueOneField()
    {
        CaNewDialog dialog;
        field<QLineEdit>(dialog, "caCommonName")->setText(QStringLiteral("Jan"));
        QCOMPARE(dialog.caSubject(), QStringLiteral("/C=PL/CN=Jan"));
        field<QLineEdit>(dialog, "caOrganizationName")->setText(QStringLiteral("A/CN=Obcy"));
        field<QLineEdit>(dialog, "caLocalityName")->setText(QStringLiteral("B+C\\"));
        field<QLineEdit>(dialog, "caEmailAddress")->setText(QStringLiteral("ca@example.pl"));
        QCOMPARE(dialog.caSubject(),
                 QStringLiteral("/C=PL/L=B\\+C\\\\/O=A\\/CN=Obcy/CN=Jan/emailAddress=ca@example.pl"));
        QCOMPARE(dialog.values().caSubject.organizationName(), QStringLiteral("A/CN=Obcy"));
    }

    void keyComesFromTheChooser()
    {
        PluggedTokens tokens;
        tokens.plug(configuredToken("ALFA"));
        QVERIFY(generateKey("ALFA", "klucz", 2).isEmpty());
        CaNewDialog dialog;
        QLineEdit* key = field<QLineEdit>(dialog, "caKeyName");
        QString title;
        {
            ChooserHand hand([&title](MorvilDialog& chooser) {
                title = chooser.windowTitle();
                chooseAndAccept(chooser, chooserItem(chooser, QStringLiteral("ALFA/klucz")));
            });
            field<QPushButton>(dialog, "caKeyBrowse")->click();
            QVERIFY(hand.acted());
        }
        QCOMPARE(title, QString::fromUtf8("Wybór klucza"));
        QCOMPARE(key->text(), QStringLiteral("ALFA/klucz"));
        QCOMPARE(dialog.caKeyName(), QStringLiteral("ALFA/klucz"));

        // Cancelled, the chooser leaves the reference as it was.
        {
            ChooserHand hand([](MorvilDialog& chooser) { chooser.reject(); });
            field<QPushButton>(dialog, "caKeyBrowse")->click();
            QVERIFY(hand.acted());
        }
        QCOMPARE(key->text(), QStringLiteral("ALFA/klucz"));
        expectBoxes();
    }
};

MORVIL_QTEST_MAIN(CaNewDialogTest)
#include "test_ca_new_dialog.moc"
