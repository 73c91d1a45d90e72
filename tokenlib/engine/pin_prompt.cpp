#include "pin_prompt.h"

#include "openssl_owner.h"

#include <openssl/crypto.h>

namespace zr40nn::engine {

bool promptUserPin(UI_METHOD* method, void* callbackData, char (&pin)[9]) noexcept
{
    OPENSSL_cleanse(pin, sizeof(pin));
    if (method == nullptr) {
        return false;
    }
    morvil::OpenSslOwner<UI, UI_free> ui(UI_new_method(method));
    if (!ui) {
        return false;
    }
    UI_add_user_data(ui.get(), callbackData);
    // OpenSSL writes up to maxsize + 1 octets into the result: 8 PIN octets and a terminator.
    // UI_INPUT_FLAG_DEFAULT_PWD lets a program's password source (-passin) answer the prompt.
    if (UI_add_input_string(ui.get(), "User PIN:", UI_INPUT_FLAG_DEFAULT_PWD, pin, 0, sizeof(pin) - 1) < 0
        || UI_process(ui.get()) != 0) {
        OPENSSL_cleanse(pin, sizeof(pin));
        return false;
    }
    pin[sizeof(pin) - 1] = '\0';
    return true;
}

} // namespace zr40nn::engine
