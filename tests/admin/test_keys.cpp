// Keys from the key folder's page: generating and deleting per slot as the token sees it, what
// each login enables, and the refusals that keep commands (and PIN tries) off the token.
#include "admin_texts.h"
#include "folder_nodes.h"
#include "qt_test_main.h"
#include "token_crypto.h"

using namespace morvil::test;
namespace text = morvil::admin::text;

class KeysTest : public QObject
{
    Q_OBJECT
    std::unique_ptr<AdminFixture> f;
    emu::TokenConfig token() { return f->tokens.token(f->id).snapshot(); }

private slots:
    void init() { f = std::make_unique<AdminFixture>(); }
    void cleanup()
    {
        const QStringList problems = endCase(f);
        QVERIFY2(problems.isEmpty(), qPrintable(problems.join(QLatin1Char('\n'))));
    }

    void userGeneratesAndDeletesKeysPerSlot()
    {
        MorvilItem* node = f->startWith(configuredToken("KLUCZE"));
        QVERIFY(!keyBox(node, 0)->isEnabled());
        login(node, false, QString::fromLatin1(kUserPin));
        f->tokens.clearLog(f->id);

        generateKeyOnPage(node, 2, QStringLiteral("drugi"));
        // Generation with the user PIN, the information, then each of the four slots.
        QCOMPARE(f->tokens.commands(f->id), QStringLiteral("2C 02 03 03 03 03"));
        const emu::LogEntry generation = f->tokens.token(f->id).log().at(0);
        QCOMPARE(generation.slot, 2);
        QCOMPARE(generation.pinId, 1);
        QCOMPARE(generation.pin, std::string(kUserPin));
        QCOMPARE(generation.keyName, std::string("drugi"));
        QVERIFY(token().keys[2].present);
        generateKeyOnPage(node, 0, QString::fromUtf8("pierwszy-ąę"));
        QCOMPARE(keyNodeNames(node), QStringList({ QString::fromUtf8("pierwszy-ąę"), QStringLiteral("drugi") }));
        QCOMPARE(static_cast<MorvilKeyItem*>(keysFolder(node)->child(1))->id(), 2);
        QVERIFY(showsIcon(keysFolder(node)->data(Qt::DecorationRole), ":img/keys_folder_blue.png"));
        QVERIFY(showsIcon(keysFolder(node)->child(1)->data(Qt::DecorationRole), ":img/key.png"));

        // The occupied slot offers deletion only; its form is the user's.
        QGroupBox* box = keyBox(node, 2);
        QCOMPARE(box->findChild<QLineEdit*>(QStringLiteral("keyName"))->text(), QStringLiteral("drugi"));
        QVERIFY(!box->findChild<QPushButton*>(QStringLiteral("generateKey"))->isEnabled());
        auto* key = static_cast<MorvilKeyItem*>(keysFolder(node)->child(1));
        QVERIFY(key->genCertReqWidget()->isEnabled());

        f->tokens.clearLog(f->id);
        f->boxes.expectQuestion(text::confirmKeyDelete(), QMessageBox::No);
        press(box, "deleteKey");
        QCOMPARE(f->tokens.commands(f->id), QString());
        f->boxes.expectQuestion(text::confirmKeyDelete(), QMessageBox::Yes);
        press(box, "deleteKey");
        QCOMPARE(f->tokens.commands(f->id), QStringLiteral("2D 02 03 03 03 03"));
        QVERIFY(!token().keys[2].present);
        QCOMPARE(keyNodeNames(node), QStringList({ QString::fromUtf8("pierwszy-ąę") }));
        QCOMPARE(box->findChild<QLineEdit*>(QStringLiteral("keyName"))->text(), QString());
    }

    void administratorManagesKeysButWritesNoRequest()
    {
        emu::TokenConfig config = configuredToken("ADM");
        config.keys[1] = emu::generateKeyPair(config.curveId, "stary").value();
        MorvilItem* node = f->startWith(config);
        login(node, true, QString::fromLatin1(kSoPin));
        QVERIFY(keyBox(node, 0)->isEnabled());
        auto* key = static_cast<MorvilKeyItem*>(keysFolder(node)->child(0));
        QVERIFY(!key->genCertReqWidget()->isEnabled());
        f->tokens.clearLog(f->id);
        generateKeyOnPage(node, 3, QStringLiteral("nowy"));
        QCOMPARE(f->tokens.token(f->id).log().at(0).pinId, 0);
        QCOMPARE(keyNodeNames(node), QStringList({ QStringLiteral("stary"), QStringLiteral("nowy") }));
        // The new node's form stays off for the administrator too.
        QVERIFY(!static_cast<MorvilKeyItem*>(keysFolder(node)->child(1))->genCertReqWidget()->isEnabled());

        press(node->loginWidget(), "logout");
        QVERIFY(!keyBox(node, 0)->isEnabled());
    }

    void emptyOrTakenNamesAreRefusedBeforeTheToken()
    {
        emu::TokenConfig config = configuredToken("NAZWY");
        config.keys[0] = emu::generateKeyPair(config.curveId, "jest").value();
        MorvilItem* node = f->startWith(config);
        login(node, false, QString::fromLatin1(kUserPin));
        f->tokens.clearLog(f->id);
        f->boxes.expectError(text::keyNameEmpty());
        generateKeyOnPage(node, 1, QString());
        f->boxes.expectError(text::keyNameTaken(QStringLiteral("jest")));
        generateKeyOnPage(node, 1, QStringLiteral("jest"));
        // A key's name goes into every key reference the suite writes: no control characters.
        for (const QChar control : { QChar(0x0A), QChar(0x09), QChar(0x00), QChar(0x7F), QChar(0x85), QChar(0x2028) }) {
            f->boxes.expectError(text::keyNameHasControlCharacter());
            generateKeyOnPage(node, 1, QStringLiteral("a") + control + QStringLiteral("b"));
        }
        QCOMPARE(f->tokens.commands(f->id), QString());
        QVERIFY(!token().keys[1].present);
    }

    void noLoginSendsNothing()
    {
        MorvilItem* node = f->startWith(configuredToken("BEZ"));
        // Past the disabled page, straight at the folder's relay.
        QVERIFY(QMetaObject::invokeMethod(keysFolder(node)->keyFolderWidget(), "generateKeySlot", Qt::DirectConnection,
                                          Q_ARG(const char*, "k"), Q_ARG(int, 0)));
        QVERIFY(QMetaObject::invokeMethod(keysFolder(node)->keyFolderWidget(), "deleteKeySlot", Qt::DirectConnection,
                                          Q_ARG(int, 0)));
        QCOMPARE(f->tokens.commands(f->id), QString());
        QCOMPARE(token().userPinTries, 0);
    }

    // Only the slots the token has are offered and read again.
    void onlyTheTokensSlotsAreOfferedAndReadAgain()
    {
        emu::TokenConfig config = configuredToken("DWA");
        config.keysNum = 2;
        MorvilItem* node = f->startWith(config);
        login(node, false, QString::fromLatin1(kUserPin));
        for (int slot : { 2, 3 }) {
            QVERIFY(keyBox(node, slot)->isHidden());
            QVERIFY(!keyBox(node, slot)->findChild<QPushButton*>(QStringLiteral("generateKey"))->isEnabled());
        }
        QVERIFY(!keyBox(node, 1)->isHidden() && keyBox(node, 1)->isEnabled());
        f->tokens.clearLog(f->id);
        generateKeyOnPage(node, 1, QStringLiteral("k"));
        QCOMPARE(f->tokens.commands(f->id), QStringLiteral("2C 02 03 03"));
        QCOMPARE(keyNodeNames(node), QStringList({ QStringLiteral("k") }));
        QVERIFY(keyBox(node, 3)->isHidden() && !keyBox(node, 3)->isEnabled());
    }

    void refusedDeletionStillReadsTheSlots()
    {
        emu::TokenConfig config = configuredToken("ODMOWA");
        config.keys[0] = emu::generateKeyPair(config.curveId, "k").value();
        MorvilItem* node = f->startWith(config);
        login(node, false, QString::fromLatin1(kUserPin));
        f->tokens.token(f->id).failNth(0x2D, 1, 0x01);
        f->tokens.clearLog(f->id);
        f->boxes.expectQuestion(text::confirmKeyDelete(), QMessageBox::Yes);
        f->boxes.expect({ QMessageBox::Ok, QMessageBox::Critical, QString::fromUtf8("Błąd"), std::nullopt, {} });
        press(keyBox(node, 0), "deleteKey");
        QCOMPARE(f->tokens.commands(f->id), QStringLiteral("2D 02 03 03 03 03"));
        QCOMPARE(keyNodeNames(node), QStringList({ QStringLiteral("k") }));
        QVERIFY(keyBox(node, 0)->findChild<QPushButton*>(QStringLiteral("deleteKey"))->isEnabled());
    }
};

MORVIL_QTEST_MAIN(KeysTest)
#include "test_keys.moc"
