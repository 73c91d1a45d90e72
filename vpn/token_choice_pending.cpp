// Built only while the token chooser is not in the tree: nothing can be taken from a token.
#include "token_choice.h"

namespace vpn {

QString chooseTokenFile(QByteArray&, const QString&, QWidget*)
{
    return {};
}

QString chooseTokenKey(const QString&, QWidget*)
{
    return {};
}

} // namespace vpn
