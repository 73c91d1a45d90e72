// What zr40nn-probe prints about a token: its USB identity, its information and its key slots,
// all as the token library's device record holds them.
#pragma once

#include "dev_zr40nn.h"

#include <string>

namespace zr40nn::probe {

// "blank", "initialised", "configured" or "locked" for the information's state octet.
const char* stateText(int state);

// Lower-case hexadecimal of the octets.
std::string hex(const char* octets, int count);

// "BBB/DDD", where the token sat on the buses at the last search.
std::string location(const DEV_ZR40NN_t* ut);

void printIdentity(const DEV_ZR40NN_t* ut);
void printInfo(const DEV_ZR40NN_info_t& info);

// Reads and prints every key slot; false (with the reason printed) when a read fails.
bool printKeys(DEV_ZR40NN_t* ut);

// "  failed: <library error text>", with the token's error stack behind, newest entry first.
void printFailure(DEV_ZR40NN_t* ut, int code);

} // namespace zr40nn::probe
