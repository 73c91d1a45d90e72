#include "token_report.h"

#include <cstdio>

namespace zr40nn::probe {

const char* stateText(int state)
{
    if (state & DEV_ZR40NN_INFO_LOCKED) {
        return "locked";
    }
    if (state & DEV_ZR40NN_INFO_CONFIGURED) {
        return "configured";
    }
    return (state & DEV_ZR40NN_INFO_INITIALISED) ? "initialised" : "blank";
}

std::string hex(const char* octets, int count)
{
    std::string out;
    char two[3];
    for (int i = 0; i < count; ++i) {
        std::snprintf(two, sizeof two, "%02x", static_cast<unsigned char>(octets[i]));
        out += two;
    }
    return out;
}

std::string location(const DEV_ZR40NN_t* ut)
{
    char text[16];
    std::snprintf(text, sizeof text, "%03d/%03d", ut->bus_number, ut->dev_number);
    return text;
}

void printIdentity(const DEV_ZR40NN_t* ut)
{
    std::printf("  product:        %s\n  serial:         %s\n", ut->product_string, ut->serial_number);
}

void printInfo(const DEV_ZR40NN_info_t& info)
{
    std::printf("  state:          0x%02x (%s)\n", info.info, stateText(info.info));
    std::printf("  name:           \"%s\"\n", info.name);
    std::printf("  PIN tries:      SO %d of %d, user %d of %d\n", info.so_pin_trys, info.so_pin_limit,
                info.user_pin_trys, info.user_pin_limit);
    std::printf("  version:        %d.%d\n", info.main_ver, info.sub_ver);
    std::printf("  public memory:  %d octets (%d objects)\n", info.public_mem, info.public_objs);
    std::printf("  key slots:      %d\n", info.keys_num);
    if (info.ecc_params != nullptr) {
        std::printf("  curve:          %d (%s), %d curve(s)\n", info.ecc_params->id, info.ecc_params->name,
                    info.ecc_num);
    } else {
        std::printf("  curve:          not supported, %d curve(s)\n", info.ecc_num);
    }
}

bool printKeys(DEV_ZR40NN_t* ut)
{
    if (ut->info.ecc_params == nullptr) {
        std::printf("  keys:           not readable on this curve\n");
        return true;
    }
    for (int slot = 0; slot < ut->info.keys_num && slot < DEV_ZR40NN_KEY_SLOTS; ++slot) {
        if (const int rc = DEV_ZR40NN_cmd_read_key_info(ut, slot); rc < 0) {
            printFailure(ut, rc);
            return false;
        }
        const DEV_ZR40NN_key_info_t& key = ut->keys[slot];
        if ((key.info & DEV_ZR40NN_KEY_PRESENT) != 0 && key.ecc_params != nullptr) {
            std::printf("  slot %d:         \"%s\", curve %d, X %s\n", slot, key.name, key.ecc_params->id,
                        hex(key.pub_x, key.ecc_params->field_octets).c_str());
        } else {
            std::printf("  slot %d:         empty\n", slot);
        }
    }
    return true;
}

void printFailure(DEV_ZR40NN_t* ut, int code)
{
    std::printf("  failed: %s\n", DEV_ZR40NN_lib_error_desc(code));
    std::fflush(stdout);
    DEV_ZR40NN_lib_detail_error_desc_to_file(ut, "    %s\n", stdout);
}

} // namespace zr40nn::probe
