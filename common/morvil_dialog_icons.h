// The icons of the token, key and file chooser. morvil_ca and morvil_vpn show the same pictures
// under names of their own, so each program passes its set; both sets are compiled in with the
// chooser (resources/chooser/chooser_icons.qrc).
#pragma once

#include <QString>

#include <array>

namespace morvil {

struct MorvilDialogIcons
{
    QString window;
    QString usableToken; // state 2
    QString lockedToken; // state 3
    QString unusableToken; // states 0 and 1
    QString key;
    // By file kind (the high nibble of the type): 0x10 user certificate, 0x20 CA certificate,
    // 0x30 request, 0x40 text, 0x50 HTML, 0x60 configuration, 0x70 raw data.
    std::array<QString, 7> fileKinds;
    QString otherFile; // any other kind, 0xF0 included

    // The icon of a token in a MorvilState state.
    const QString& token(int state) const;
    // The icon of a token file of the given type; the printable bit plays no part.
    const QString& file(int type) const;

    static const MorvilDialogIcons& ca();
    static const MorvilDialogIcons& vpn();
};

} // namespace morvil
