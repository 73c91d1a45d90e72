// The worker threads against emulated tokens: statuses, error texts, buffers, and the cursor and
// event loop while a worker runs.
#include "admin_fixture.h"
#include "dev_zr40nn_threads.h"
#include "openssl_owner.h"
#include "qt_test_main.h"

#include <openssl/evp.h>
#include <openssl/x509.h>

using namespace morvil::test;

class WorkersTest : public QObject
{
    Q_OBJECT

    PluggedTokens mTokens;
    DEV_ZR40NN_t* mUt = nullptr;
    int mId = -1;

    // Plugs a configured token, lists it and opens its session.
    void openToken(emu::TokenConfig config = configuredToken("ALFA"))
    {
        mId = mTokens.plug(config);
        DEV_ZR40NN_thread_lib_refresh enumeration;
        QCOMPARE(enumeration.execWithCursor(Qt::WaitCursor), 0);
        mUt = DEV_ZR40NN_find_by_index(0);
        QVERIFY(mUt != nullptr);
        QCOMPARE(DEV_ZR40NN_session_open(mUt), 0);
        mTokens.clearLog(mId);
    }

private slots:
    void initTestCase()
    {
        tokenBus();
        QCOMPARE(DEV_ZR40NN_lib_init(), 0);
    }
    void cleanupTestCase() { DEV_ZR40NN_lib_finish(); }

    void cleanup()
    {
        if (mUt != nullptr) {
            DEV_ZR40NN_session_close(mUt);
            mUt = nullptr;
        }
        mTokens.unplugAll();
        DEV_ZR40NN_lib_find_devices();
    }

    void wrongPinGivesTheCodeAndTheErrorStack()
    {
        openToken();
        DEV_ZR40NN_thread_cmd_try_pin wrong(mUt, "0000", 1);
        const int status = wrong.execWithCursor(Qt::ArrowCursor);
        QVERIFY(status < 0);
        QCOMPARE(wrong.status(), status);
        QCOMPARE(wrong.errorString(), QString::fromUtf8(mUt->err));
        QVERIFY(wrong.errorString().contains(QStringLiteral("DEV_ZR40NN_cmd_try_pin")));
        QCOMPARE(mTokens.commands(mId), QStringLiteral("2F"));

        DEV_ZR40NN_thread_cmd_try_pin right(mUt, kUserPin, 1);
        QCOMPARE(right.execWithCursor(Qt::ArrowCursor), 0);
        QVERIFY(right.errorString().isEmpty());
    }

    void aLaterSuccessKeepsTheLastMessage()
    {
        openToken();
        DEV_ZR40NN_thread_cmd_read_dev_info worker(mUt);
        worker.setStatus(-5);
        const QString first = worker.errorString();
        QCOMPARE(first, QString::fromUtf8(mUt->err));
        QVERIFY(DEV_ZR40NN_cmd_try_pin(mUt, "0000", 1) < 0); // grows the stack
        worker.setStatus(-5);
        QVERIFY(worker.errorString() != first);
        worker.setStatus(0);
        QCOMPARE(worker.errorString(), QString::fromUtf8(mUt->err));
    }

    void enumerationWithoutDeviceCarriesTheFixedText()
    {
        DEV_ZR40NN_thread_lib_refresh enumeration;
        enumeration.setStatus(DEV_ZR40NN_ERR_RECEIVE);
        QCOMPARE(enumeration.errorString(), QString::fromUtf8(DEV_ZR40NN_lib_error_desc(DEV_ZR40NN_ERR_RECEIVE)));
    }

    void aWorkerWithoutRecordMakesNoCallAndFails()
    {
        DEV_ZR40NN_thread_cmd_read_dev_info worker(nullptr);
        QVERIFY(worker.execWithCursor(Qt::WaitCursor) < 0);
        DEV_ZR40NN_thread_file_flush flush(nullptr, nullptr, "", 1);
        QVERIFY(flush.execWithCursor(Qt::WaitCursor) < 0);
    }

    void openingAMissingFileGivesNoHandle()
    {
        openToken();
        DEV_ZR40NN_thread_fs_get_file_list list(mUt);
        QCOMPARE(list.execWithCursor(Qt::WaitCursor), 0);
        DEV_ZR40NN_thread_file_open open(mUt, "nie-ma.txt");
        QCOMPARE(open.execWithCursor(Qt::WaitCursor), -1);
        QVERIFY(open.fileHandle() == nullptr);
        QCOMPARE(open.errorString(), QString::fromUtf8(mUt->err));
    }

    void unwiredWorkersFillTheirBuffers()
    {
        openToken();
        DEV_ZR40NN_thread_cmd_rbg_generate_bits random(mUt, 16);
        QCOMPARE(random.execWithCursor(Qt::WaitCursor), 0);
        QCOMPARE(random.buffer().size(), 16);
        QVERIFY(random.buffer() != QByteArray(16, '\0'));
        char copy[16];
        random.copyBuffer(copy);
        QCOMPARE(QByteArray(copy, 16), random.buffer());

        const QByteArray object(DEV_ZR40NN_OBJ_SIZE, 'x');
        DEV_ZR40NN_thread_cmd_write_public_obj write(mUt, kUserPin, 1, 20, object.constData());
        QCOMPARE(write.execWithCursor(Qt::WaitCursor), 0);
        DEV_ZR40NN_thread_cmd_read_public_obj read(mUt, 20);
        QCOMPARE(read.execWithCursor(Qt::WaitCursor), 0);
        QCOMPARE(read.obj(), object);
    }

    void signatureIsCutToItsLength()
    {
        openToken();
        DEV_ZR40NN_thread_cmd_generate_key generate(mUt, kUserPin, 1, "klucz", 0);
        QCOMPARE(generate.execWithCursor(Qt::WaitCursor), 0);
        const QByteArray digest(32, '\x5a');
        DEV_ZR40NN_thread_cmd_ecdsa_sign sign(mUt, kUserPin, 0, digest.constData(), digest.size());
        const int length = sign.execWithCursor(Qt::WaitCursor);
        QVERIFY(length > 0);
        QCOMPARE(sign.signature().size(), length);
        // The token signed the whole digest with the slot's key.
        DEV_ZR40NN_thread_cmd_read_key_info generated(mUt, 0);
        QCOMPARE(generated.execWithCursor(Qt::WaitCursor), 0);
        unsigned char spki[128];
        const int spkiLength = DEV_ZR40NN_subject_public_key_info(&mUt->keys[0], spki, sizeof(spki));
        const unsigned char* in = spki;
        morvil::OpenSslOwner<EVP_PKEY, EVP_PKEY_free> publicKey(d2i_PUBKEY(nullptr, &in, spkiLength));
        QVERIFY(publicKey != nullptr);
        morvil::OpenSslOwner<EVP_PKEY_CTX, EVP_PKEY_CTX_free> check(EVP_PKEY_CTX_new(publicKey.get(), nullptr));
        QVERIFY(check != nullptr && EVP_PKEY_verify_init(check.get()) == 1);
        QCOMPARE(EVP_PKEY_verify(check.get(), reinterpret_cast<const unsigned char*>(sign.signature().constData()),
                                 sign.signature().size(), reinterpret_cast<const unsigned char*>(digest.constData()),
                                 digest.size()),
                 1);

        DEV_ZR40NN_thread_cmd_ecdsa_sign refused(mUt, "0000", 0, digest.constData(), digest.size());
        QVERIFY(refused.execWithCursor(Qt::WaitCursor) < 0);
        QCOMPARE(refused.signature().size(), DEV_ZR40NN_thread_cmd_ecdsa_sign::kSignatureCapacity);

        DEV_ZR40NN_thread_cmd_delete_key remove(mUt, kUserPin, 1, 0);
        QCOMPARE(remove.execWithCursor(Qt::WaitCursor), 0);
        DEV_ZR40NN_thread_cmd_read_key_info key(mUt, 0);
        QCOMPARE(key.execWithCursor(Qt::WaitCursor), 0);
        QCOMPARE(mUt->keys[0].info & 0x01, 0);
    }
};

MORVIL_QTEST_MAIN(WorkersTest)
#include "test_workers.moc"
