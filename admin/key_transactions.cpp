#include "key_transactions.h"

#include "admin_texts.h"
#include "cert_request.h"
#include "dev_zr40nn_threads.h"
#include "token_text.h"
#include "transaction_steps.h"

#include <algorithm>
#include <cstring>

namespace morvil::admin {
namespace {

bool holdsKey(const DEV_ZR40NN_t* ut, int slot)
{
    return ut->keys[slot].info == kKeyPresent;
}

// Slots other than `except` that hold a key named `name`.
int slotsNamed(const DEV_ZR40NN_t* ut, const char* name, int except)
{
    int count = 0;
    for (int slot = 0; slot < keySlotCount(ut); ++slot) {
        if (slot != except && holdsKey(ut, slot)
            && std::strncmp(ut->keys[slot].name, name, sizeof(ut->keys[slot].name)) == 0) {
            ++count;
        }
    }
    return count;
}

} // namespace

int keySlotCount(const DEV_ZR40NN_t* ut)
{
    return std::clamp(ut->info.keys_num, 0, 4);
}

QString keyNameProblem(const DEV_ZR40NN_t* ut, const char* name)
{
    if (name == nullptr || *name == '\0') {
        return text::keyNameEmpty();
    }
    if (slotsNamed(ut, name, -1) > 0) {
        return text::keyNameTaken(QString::fromUtf8(name));
    }
    return {};
}

QString certRequestProblem(DEV_ZR40NN_t* ut, int keyId)
{
    if (keyId < 0 || keyId >= keySlotCount(ut) || !holdsKey(ut, keyId)) {
        return text::requestKeyGone();
    }
    int sameName = 0;
    bool found = false;
    for (int i = 0; DEV_ZR40NN_t* other = DEV_ZR40NN_find_by_index(i); ++i) {
        if (std::strncmp(other->info.name, ut->info.name, sizeof(ut->info.name)) == 0) {
            ++sameName;
            found = found || other == ut;
        }
    }
    if (!found || sameName != 1) {
        return text::requestTokenNotUnique(morvil::tokenTitle(ut->info.name, ut->serial_number));
    }
    if (slotsNamed(ut, ut->keys[keyId].name, keyId) > 0) {
        return text::requestKeyNotUnique(tokenText(ut->keys[keyId].name));
    }
    return {};
}

void generateKey(DEV_ZR40NN_t* ut, const char* pin, int pinId, const char* name, int slot, FailureReport& report)
{
    const QString problem = keyNameProblem(ut, name);
    if (!problem.isEmpty()) {
        report.failed(problem);
        return;
    }
    SessionScope session(ut);
    Steps steps(report);
    steps.run(DEV_ZR40NN_thread_cmd_generate_key(ut, pin, pinId, name, slot), kCommandCursor);
    steps.run(DEV_ZR40NN_thread_cmd_read_dev_info(ut), kCommandCursor);
    for (int i = 0; i < keySlotCount(ut); ++i) {
        steps.run(DEV_ZR40NN_thread_cmd_read_key_info(ut, i), kCommandCursor);
    }
}

void deleteKey(DEV_ZR40NN_t* ut, const char* pin, int pinId, int slot, FailureReport& report)
{
    SessionScope session(ut);
    Steps steps(report);
    // A refused deletion still has the slots read, so the pages show what the token holds.
    steps.run(DEV_ZR40NN_thread_cmd_delete_key(ut, pin, pinId, slot), kCommandCursor, false);
    steps.run(DEV_ZR40NN_thread_cmd_read_dev_info(ut), kCommandCursor);
    for (int i = 0; i < keySlotCount(ut); ++i) {
        steps.run(DEV_ZR40NN_thread_cmd_read_key_info(ut, i), kCommandCursor);
    }
}

bool writeCertRequest(DEV_ZR40NN_t* ut, const char* userPin, int keyId, const QString& fileName, const QStringList& dn,
                      FailureReport& report)
{
    const QString problem = certRequestProblem(ut, keyId);
    if (!problem.isEmpty()) {
        report.failed(problem);
        return false;
    }
    // No session: the engine opens its own to sign.
    Steps steps(report);
    return steps.run(DEV_ZR40NN_thread_generate_cert_request(ut, userPin, keyId, fileName, dn), kCommandCursor);
}

} // namespace morvil::admin
