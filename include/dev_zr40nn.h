/* Public interface of the DEV-ZR40NN token device library.
 *
 * The records are read directly by the programs and by the OpenSSL engine, so their layout is
 * part of the interface. Every int-returning call gives 0 (or a positive count) on success and
 * a negative library error code on failure; record-returning calls give NULL on failure. */
#pragma once

#include <stdio.h>
#include <usb.h>

#ifdef __cplusplus
extern "C" {
#endif

#define DEV_ZR40NN_VENDOR_ID 0x10C4
#define DEV_ZR40NN_PRODUCT_ID 0x82E5

#define DEV_ZR40NN_ERR_SIZE 4096
#define DEV_ZR40NN_KEY_SLOTS 4
#define DEV_ZR40NN_PIN_LEN 8
#define DEV_ZR40NN_NAME_LEN 10
#define DEV_ZR40NN_KEY_NAME_LEN 21
#define DEV_ZR40NN_FILES 16
#define DEV_ZR40NN_FILE_NAME_LEN 28
#define DEV_ZR40NN_FILE_MAX 4096
#define DEV_ZR40NN_SECTORS 128
#define DEV_ZR40NN_SECTOR_SIZE 128
#define DEV_ZR40NN_OBJ_SIZE 64
#define DEV_ZR40NN_FS_SCAN_SIZE 56401

/* Bits of the token's state, `info` of DEV_ZR40NN_info_t; the last one is also a flag of
 * DEV_ZR40NN_conf_t's `info`. */
#define DEV_ZR40NN_INFO_INITIALISED 0x01
#define DEV_ZR40NN_INFO_CONFIGURED 0x02
#define DEV_ZR40NN_INFO_LOCKED 0x04
#define DEV_ZR40NN_INFO_SO_MAY_NOT_CHANGE_USER_PIN 0x10
/* Bit of `info` of DEV_ZR40NN_key_info_t: the slot holds a key. */
#define DEV_ZR40NN_KEY_PRESENT 0x01

/* Library error codes; DEV_ZR40NN_lib_error_desc gives their texts. */
enum
{
    DEV_ZR40NN_ERR_UNDEFINED = -1,
    DEV_ZR40NN_ERR_SESSION_OPEN = -2,
    DEV_ZR40NN_ERR_SESSION_NOT_OPEN = -3,
    DEV_ZR40NN_ERR_SESSION_CLOSED = -4,
    DEV_ZR40NN_ERR_RECEIVE = -5,
    DEV_ZR40NN_ERR_TRANSMIT = -6,
    DEV_ZR40NN_ERR_BUFFER_TOO_SMALL = -7,
    DEV_ZR40NN_ERR_BUFFER_TOO_LARGE = -8,
    DEV_ZR40NN_ERR_CONFIGURE = -9,
    DEV_ZR40NN_ERR_KEY_NUMBER = -10,
    DEV_ZR40NN_ERR_NOT_SUPPORTED = -11,
    DEV_ZR40NN_ERR_RANGE = -12,
    DEV_ZR40NN_ERR_NOT_INITIALIZED = -13,
    DEV_ZR40NN_ERR_DEV_BASE = -100 /* error answer with status s gives -100 - s */
};

typedef struct DEV_ZR40NN_ecc_params_st
{
    int id;
    int field_octets;
    int order_octets;
    const char* name;
    int asn1_named_octets;
    const unsigned char* asn1_named;
    const unsigned char* asn1_named_alg;
    int asn1_specified_octets;
    const unsigned char* asn1_specified;
} DEV_ZR40NN_ecc_params_t;

/* The four supported curves: secp160r1, secp192r1, secp224r1, secp256r1, in this order. */
extern const DEV_ZR40NN_ecc_params_t DEV_ZR40NN_ecc_params[4];

typedef struct DEV_ZR40NN_info_st
{
    int info;
    char name[11];
    int so_pin_trys;
    int user_pin_trys;
    int so_pin_limit;
    int user_pin_limit;
    int main_ver;
    int sub_ver;
    int public_mem;
    int public_objs;
    int keys_num;
    int ecc_num;
    const DEV_ZR40NN_ecc_params_t* ecc_params;
} DEV_ZR40NN_info_t;

typedef struct DEV_ZR40NN_conf_st
{
    int info;
    char name[11];
    int so_pin_limit;
    int user_pin_limit;
    char so_pin[8];
    char user_pin[8];
} DEV_ZR40NN_conf_t;

typedef struct DEV_ZR40NN_key_info_st
{
    int info;
    const DEV_ZR40NN_ecc_params_t* ecc_params;
    char name[22];
    char pub_x[32];
    char pub_y[32];
} DEV_ZR40NN_key_info_t;

typedef struct DEV_ZR40NN_st DEV_ZR40NN_t;

struct DEV_ZR40NN_st
{
    struct usb_device* hw;
    usb_dev_handle* handle;
    char product_string[256];
    char serial_number[256];
    int (*open)(DEV_ZR40NN_t* ut);
    int (*close)(DEV_ZR40NN_t* ut);
    int (*read)(DEV_ZR40NN_t* ut, unsigned char* buf, int max, int timeout_ms);
    int (*write)(DEV_ZR40NN_t* ut, const unsigned char* buf, int n);
    DEV_ZR40NN_conf_t conf;
    DEV_ZR40NN_info_t info;
    DEV_ZR40NN_key_info_t keys[4];
    int files_no;
    unsigned char free_sectors[128];
    int file_types[16];
    int file_sizes[16];
    char file_names_tb[512];
    char* file_names[16];
    int session_is_open;
    int present;
    char err[4096];
    DEV_ZR40NN_t* next;
    /* Where the device sat on the buses at the last search. libusb frees its device records
     * when a device vanishes, so the search matches on these instead of reading hw. */
    int bus_number;
    int dev_number;
};

typedef struct DEV_ZR40NN_file_st
{
    DEV_ZR40NN_t* ut;
    int num;
    int type;
    int size;
    char name[29];
    int sectors[32];
    char contents[4096];
    int fpos;
    int flushed;
} DEV_ZR40NN_file_t;

/* Error texts and the per-device error stack. */
const char* DEV_ZR40NN_lib_error_desc(int code);
const char* DEV_ZR40NN_lib_detail_error_desc(DEV_ZR40NN_t* ut);
int DEV_ZR40NN_lib_detail_error_desc_to_file(DEV_ZR40NN_t* ut, const char* format, FILE* file);
int ERROR_push(char* stack, int size, const char* file, const char* function, const char* line,
               const char* message);
char* ERROR_pop(char* stack);
int ERROR_count(const char* stack);

/* CP210x transport: the four operations every record carries. */
int CP210X_DEV_ZR40NN_open(DEV_ZR40NN_t* ut);
int CP210X_DEV_ZR40NN_close(DEV_ZR40NN_t* ut);
int CP210X_DEV_ZR40NN_read(DEV_ZR40NN_t* ut, unsigned char* buf, int max, int timeout_ms);
int CP210X_DEV_ZR40NN_write(DEV_ZR40NN_t* ut, const unsigned char* buf, int n);
int DEV_ZR40NN_single_pass(DEV_ZR40NN_t* ut, const unsigned char* request, int n, unsigned char* answer,
                           int max);

/* Library life cycle, device list and sessions. */
int DEV_ZR40NN_lib_init(void);
int DEV_ZR40NN_lib_finish(void);
int DEV_ZR40NN_lib_find_devices(void);
int DEV_ZR40NN_lib_actualize_devices(void);
DEV_ZR40NN_t* DEV_ZR40NN_get_first(void);
DEV_ZR40NN_t* DEV_ZR40NN_find_by_index(int i);
int DEV_ZR40NN_find_index_of(DEV_ZR40NN_t* ut);
DEV_ZR40NN_t* DEV_ZR40NN_find_by_name(const char* name);
int DEV_ZR40NN_session_open(DEV_ZR40NN_t* ut);
int DEV_ZR40NN_session_close(DEV_ZR40NN_t* ut);

/* Device management commands. */
int DEV_ZR40NN_cmd_dev_init(DEV_ZR40NN_t* ut);
int DEV_ZR40NN_cmd_dev_conf(DEV_ZR40NN_t* ut);
int DEV_ZR40NN_cmd_read_dev_info(DEV_ZR40NN_t* ut);
int DEV_ZR40NN_cmd_try_pin(DEV_ZR40NN_t* ut, const char* pin, unsigned char pinId);
int DEV_ZR40NN_cmd_change_user_pin(DEV_ZR40NN_t* ut, const char* pin, unsigned char pinId, const char* newPin);
int DEV_ZR40NN_cmd_change_so_pin(DEV_ZR40NN_t* ut, const char* soPin, const char* newSoPin);
int DEV_ZR40NN_cmd_dev_unlock(DEV_ZR40NN_t* ut, const char* soPin);
int DEV_ZR40NN_cmd_dev_erase(DEV_ZR40NN_t* ut, const char* soPin);

/* Key, signature, public-object and random commands. */
int DEV_ZR40NN_cmd_read_key_info(DEV_ZR40NN_t* ut, int slot);
int DEV_ZR40NN_cmd_generate_key(DEV_ZR40NN_t* ut, const char* pin, unsigned char pinId, const char* keyName,
                                int slot);
int DEV_ZR40NN_cmd_delete_key(DEV_ZR40NN_t* ut, const char* pin, unsigned char pinId, int slot);
int DEV_ZR40NN_cmd_ecdsa_sign(DEV_ZR40NN_t* ut, const char* pin, int slot, unsigned char* sig, int sigSize,
                              const unsigned char* digest, int digestLen);
int DEV_ZR40NN_cmd_read_public_obj(DEV_ZR40NN_t* ut, int obj, unsigned char* buf);
int DEV_ZR40NN_cmd_write_public_obj(DEV_ZR40NN_t* ut, const char* pin, unsigned char pinId, int obj,
                                    const unsigned char* data);
int DEV_ZR40NN_cmd_rbg_generate_bits(DEV_ZR40NN_t* ut, unsigned char* buf, int octets);

int DEV_ZR40NN_find_key_by_name(DEV_ZR40NN_t* ut, const char* name);
int DEV_ZR40NN_find_free_key(DEV_ZR40NN_t* ut);
const DEV_ZR40NN_ecc_params_t* DEV_ZR40NN_get_ecc_params(int id);
int DEV_ZR40NN_subject_public_key_info(const DEV_ZR40NN_key_info_t* key, unsigned char* out, int size);

/* On-token file system: table listing and whole-memory operations. */
int DEV_ZR40NN_fs_get_file_list(DEV_ZR40NN_t* ut);
int DEV_ZR40NN_fs_clear(DEV_ZR40NN_t* ut, const char* pin, unsigned char pinId);
int DEV_ZR40NN_fs_scan(DEV_ZR40NN_t* ut, char* out);
int DEV_ZR40NN_file_type(DEV_ZR40NN_file_t* file);
int DEV_ZR40NN_file_type_set_printable_mask(DEV_ZR40NN_file_t* file);

/* Token files. */
DEV_ZR40NN_file_t* DEV_ZR40NN_file_create(DEV_ZR40NN_t* ut, const char* name, int type);
DEV_ZR40NN_file_t* DEV_ZR40NN_file_open(DEV_ZR40NN_t* ut, const char* name);
int DEV_ZR40NN_file_read(DEV_ZR40NN_file_t* file, unsigned char* buf, int n);
int DEV_ZR40NN_file_write(DEV_ZR40NN_file_t* file, const void* buf, int n);
int DEV_ZR40NN_file_set_fpos(DEV_ZR40NN_file_t* file, int pos);
int DEV_ZR40NN_file_flush(DEV_ZR40NN_file_t* file, const char* pin, unsigned char pinId);
int DEV_ZR40NN_file_rename(DEV_ZR40NN_file_t* file, const char* name, int type);
int DEV_ZR40NN_file_delete(DEV_ZR40NN_file_t* file, const char* pin, unsigned char pinId);
int DEV_ZR40NN_file_close(DEV_ZR40NN_file_t* file);

#ifdef __cplusplus
}
#endif
