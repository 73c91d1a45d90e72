// The checks of the configuration and PIN-change forms, in the order the user meets them. Each
// returns the text of the first failed check, or an empty string when everything passes. Lengths
// count UTF-8 octets: a Polish letter takes two.
#pragma once

#include <QString>

namespace morvil::admin {

inline constexpr int kMaxNameOctets = 10;
inline constexpr int kMaxPinOctets = 8;

int utf8Octets(const QString& text);

// Name first, then the administrator's PINs (equal, then short enough), then the user's.
QString checkConfiguration(const QString& name, const QString& soPin, const QString& soPinCheck, const QString& userPin,
                           const QString& userPinCheck);
// Equal first, then short enough; `so` picks the administrator's texts.
QString checkNewPin(bool so, const QString& pin, const QString& pinCheck);

} // namespace morvil::admin
