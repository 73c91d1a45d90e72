// Stands in for OpenSSL's default UI, the one UI_new() takes, which asks on the console (the
// terminal, or standard input without one). For as long as the watch lives, every prompt that a
// caller without a UI method of its own would put on the console is counted here and refused.
#pragma once

#include <openssl/ui.h>

namespace morvil::test {

class ConsoleUiWatch
{
public:
    ConsoleUiWatch()
    {
        count() = 0;
        UI_set_default_method(method());
    }
    ~ConsoleUiWatch() { UI_set_default_method(UI_OpenSSL()); }
    ConsoleUiWatch(const ConsoleUiWatch&) = delete;
    ConsoleUiWatch& operator=(const ConsoleUiWatch&) = delete;

    int prompts() const { return count(); }

private:
    static int& count()
    {
        static int prompts = 0;
        return prompts;
    }

    static UI_METHOD* method()
    {
        static UI_METHOD* console = [] {
            UI_METHOD* m = UI_create_method("console stand-in");
            UI_method_set_reader(m, [](UI*, UI_STRING* uis) -> int {
                if (UI_get_string_type(uis) == UIT_PROMPT) {
                    ++count();
                }
                return 0;
            });
            return m;
        }();
        return console;
    }
};

} // namespace morvil::test
