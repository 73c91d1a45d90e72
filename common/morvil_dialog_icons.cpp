#include "morvil_dialog_icons.h"

#include "morvil_state.h"

namespace morvil {

const QString& MorvilDialogIcons::token(int state) const
{
    switch (state) {
    case kMorvilConfigured:
        return usableToken;
    case kMorvilLocked:
        return lockedToken;
    default:
        return unusableToken;
    }
}

const QString& MorvilDialogIcons::file(int type) const
{
    const int kind = (type & 0xF0) >> 4;
    return kind >= 1 && kind <= static_cast<int>(fileKinds.size()) ? fileKinds[static_cast<std::size_t>(kind - 1)]
                                                                   : otherFile;
}

const MorvilDialogIcons& MorvilDialogIcons::ca()
{
    static const MorvilDialogIcons icons {
        QStringLiteral(":img/morvil.png"),
        QStringLiteral(":img/morvil.png"),
        QStringLiteral(":img/morvil_lock.png"),
        QStringLiteral(":img/morvil_no.png"),
        QStringLiteral(":img/key.png"),
        { QStringLiteral(":img/file_usercert.png"), QStringLiteral(":img/file_cacert.png"),
          QStringLiteral(":img/file_userreq.png"), QStringLiteral(":img/file_txt.png"),
          QStringLiteral(":img/file_html.png"), QStringLiteral(":img/file_conf.png"),
          QStringLiteral(":img/file_binary.png") },
        QStringLiteral(":img/file_empty.png"),
    };
    return icons;
}

const MorvilDialogIcons& MorvilDialogIcons::vpn()
{
    static const MorvilDialogIcons icons {
        QStringLiteral(":img/morvil_32.png"),
        QStringLiteral(":img/morvil_32.png"),
        QStringLiteral(":img/morvil_lock_32.png"),
        QStringLiteral(":img/morvil_no_32.png"),
        QStringLiteral(":img/key_32.png"),
        { QStringLiteral(":img/filetype_usercert_32.png"), QStringLiteral(":img/filetype_cacert_32.png"),
          QStringLiteral(":img/filetype_userreq_32.png"), QStringLiteral(":img/filetype_txt_32.png"),
          QStringLiteral(":img/filetype_html_32.png"), QStringLiteral(":img/filetype_conf_32.png"),
          QStringLiteral(":img/filetype_binary_32.png") },
        QStringLiteral(":img/filetype_unknown_32.png"),
    };
    return icons;
}

} // namespace morvil
