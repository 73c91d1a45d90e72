// What the chooser tests share: keys and files put on emulated tokens through the library, and
// hands that work a chooser the way the user would (tree, buttons, double clicks).
#pragma once

#include "box_watcher.h"
#include "dev_zr40nn.h"
#include "morvil_dialog.h"
#include "token_bus.h"

#include <QApplication>
#include <QByteArray>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>
#include <QtTest>

#include <functional>

namespace morvil::test {

inline constexpr unsigned char kUserPinId = 1;

// Token file types (the high nibble says the kind, bit 0x01 printable).
inline constexpr int kUserCertFile = 0x11;
inline constexpr int kTextFile = 0x41;
inline constexpr int kBinaryFile = 0x70;

// Changes made to plugged tokens through the library, as morvil_admin makes them: each call is
// one use of the library (init, enumeration, session, finish). An empty result means success,
// anything else says what failed.
QString generateKey(const QByteArray& token, const QByteArray& keyName, int slot);
QString writeFile(const QByteArray& token, const QByteArray& fileName, int type, const QByteArray& contents);

// Octets 0..255 repeated up to `size`, so every octet value and every sector boundary is met.
QByteArray everyOctet(int size);

QTreeWidget* chooserList(MorvilDialog& dialog);
QPushButton* chooserButton(MorvilDialog& dialog, const char* name);

// The item at "token" or "token/child" (the texts shown), or null; "#" is the first token item
// without a name.
QTreeWidgetItem* chooserItem(MorvilDialog& dialog, const QString& path);

// Makes the item current (null: nothing current) and presses "Akceptuj".
void chooseAndAccept(MorvilDialog& dialog, QTreeWidgetItem* item);
// Double-clicks the item in the tree, as the user would.
void doubleClick(MorvilDialog& dialog, QTreeWidgetItem* item);

// Whether an item shows the picture of `iconName` (which must exist).
bool showsIcon(const QTreeWidgetItem* item, const QString& iconName);

// Ends a test: the boxes were exactly those scripted, the tokens go, and every chooser finished its
// use of the library (the device list is gone).
void endChooserTest(BoxWatcher& boxes, PluggedTokens& tokens);

// Acts once on the next chooser that runs modally, as soon as it is shown.
class ChooserHand : public QObject
{
public:
    explicit ChooserHand(std::function<void(MorvilDialog&)> act);
    bool acted() const { return mActed; }

private:
    std::function<void(MorvilDialog&)> mAct;
    QTimer mTimer;
    bool mActed = false;
};

} // namespace morvil::test
