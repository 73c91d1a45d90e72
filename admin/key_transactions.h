// The key transactions of a token node: generating and deleting a key in a slot, and writing a
// certificate request signed by a slot's key through the engine.
#pragma once

#include "token_transactions.h"

#include <QString>
#include <QStringList>

namespace morvil::admin {

// A key slot's state octet when the slot holds a key.
inline constexpr int kKeyPresent = 1;

// Slots the token has, at most the record's four.
int keySlotCount(const DEV_ZR40NN_t* ut);

// Why a key may not be generated under `name` (UTF-8): empty, or held by another slot. Empty when
// it may.
QString keyNameProblem(const DEV_ZR40NN_t* ut, const char* name);
// Why a request for slot keyId cannot be made for sure on this token: the engine finds the token
// by its name and the key by its name, so both must be unique. Empty when it can.
QString certRequestProblem(DEV_ZR40NN_t* ut, int keyId);

// Generates a key in `slot` and reads the information and the slots again.
void generateKey(DEV_ZR40NN_t* ut, const char* pin, int pinId, const char* name, int slot, FailureReport& report);
// Deletes the key in `slot`; the information and the slots are read again even when refused.
void deleteKey(DEV_ZR40NN_t* ut, const char* pin, int pinId, int slot, FailureReport& report);
// Writes a request for the key in `keyId`, signed on the token, to `fileName`. The engine may
// free device records: the caller refreshes its tree afterwards and reads nothing through `ut`.
bool writeCertRequest(DEV_ZR40NN_t* ut, const char* userPin, int keyId, const QString& fileName, const QStringList& dn,
                      FailureReport& report);

} // namespace morvil::admin
