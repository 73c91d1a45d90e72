#include "form_checks.h"

#include "admin_texts.h"
#include "pin_entry.h"
#include "secret_bytes.h"
#include "token_text.h"

namespace morvil::admin {

int utf8Octets(const QString& text)
{
    // Through a wiped buffer: the text may be a PIN.
    SecretBytes octets;
    octets.assignUtf8(text);
    return octets.size();
}

QString checkNewPin(bool so, const QString& pin, const QString& pinCheck)
{
    if (pin != pinCheck) {
        return text::pinsDiffer(so);
    }
    if (!pinFits(pin)) {
        return text::pinTooLong(so);
    }
    return QString();
}

QString checkKeyName(const QString& name)
{
    return holdsControlCharacter(name) ? text::keyNameHasControlCharacter() : QString();
}

QString checkConfiguration(const QString& name, const QString& soPin, const QString& soPinCheck, const QString& userPin,
                           const QString& userPinCheck)
{
    if (utf8Octets(name) > kMaxNameOctets) {
        return text::nameTooLong();
    }
    if (holdsControlCharacter(name)) {
        return text::nameHasControlCharacter();
    }
    const QString soProblem = checkNewPin(true, soPin, soPinCheck);
    return !soProblem.isEmpty() ? soProblem : checkNewPin(false, userPin, userPinCheck);
}

} // namespace morvil::admin
