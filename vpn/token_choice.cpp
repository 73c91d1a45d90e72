#include "token_choice.h"

#include "morvil_dialog.h"

namespace vpn {

QString chooseTokenFile(QByteArray& data, const QString& title, QWidget* parent)
{
    return MorvilDialog::getFileNameAndData(data, title, parent, morvil::MorvilDialogIcons::vpn());
}

QString chooseTokenKey(const QString& title, QWidget* parent)
{
    return MorvilDialog::getKeyName(title, parent, morvil::MorvilDialogIcons::vpn());
}

} // namespace vpn
