// What the connection windows take from a token, through the token chooser with this program's
// icons. Both return an empty text when the user cancels.
#pragma once

#include <QByteArray>
#include <QString>

class QWidget;

namespace vpn {

// A token file: "token/file", with its contents in `data` (untouched when nothing was chosen).
QString chooseTokenFile(QByteArray& data, const QString& title, QWidget* parent);
// A key reference: "token/key".
QString chooseTokenKey(const QString& title, QWidget* parent);

} // namespace vpn
