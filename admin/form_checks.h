// The checks of the configuration and PIN-change forms, in the order the user meets them. Each
// returns the text of the first failed check, or an empty string when everything passes. Lengths
// count UTF-8 octets: a Polish letter takes two.
#pragma once

#include <QString>

namespace morvil::admin {

inline constexpr int kMaxNameOctets = 10;

int utf8Octets(const QString& text);

// Name first (short enough, then free of control characters), then the administrator's PINs
// (equal, then short enough), then the user's.
QString checkConfiguration(const QString& name, const QString& soPin, const QString& soPinCheck, const QString& userPin,
                           const QString& userPinCheck);
// A key name free of control characters. Whether it is empty or taken is the token node's to
// judge, against the token's slots.
QString checkKeyName(const QString& name);
// Equal first, then short enough; `so` picks the administrator's texts.
QString checkNewPin(bool so, const QString& pin, const QString& pinCheck);

} // namespace morvil::admin
