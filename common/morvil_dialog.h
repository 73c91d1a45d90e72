// The modal chooser of a token (mode 0), a key on a usable token (mode 1) or a file on a usable
// token (mode 2, which also reads the file whole). It uses the library for its whole life: the
// tokens are read once, when it is built. morvil_ca and morvil_vpn build it with their own icons.
#pragma once

#include "morvil_dialog_icons.h"
#include "morvil_dialog_library.h"

#include <QByteArray>
#include <QDialog>
#include <QString>

#include <memory>

class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

class MorvilDialog : public QDialog
{
    Q_OBJECT
public:
    enum DialogType
    {
        kTokenDialog = 0,
        kKeyDialog = 1,
        kFileDialog = 2,
    };
    // Types of the tree's items.
    enum ItemType
    {
        kTokenItem = 1000,
        kKeyItem = 1001,
        kFileItem = 1002,
    };

    // Shows the "Błąd" box and asks the application to quit when the library cannot be started;
    // the caller then should not run the dialog (see libraryStarted()).
    MorvilDialog(int dialogType, const morvil::MorvilDialogIcons& icons, QWidget* parent = nullptr);
    ~MorvilDialog() override;

    // A token name, or the token name, "/" and the key or file name.
    QString text() const { return mText; }
    // Mode 2: the chosen file's contents.
    QByteArray data() const { return mData; }
    bool libraryStarted() const { return mLibrary->started(); }

    // Each runs a dialog of its mode titled `title`; empty when it is cancelled or the library
    // cannot be started.
    static QString getKeyName(const QString& title, QWidget* parent, const morvil::MorvilDialogIcons& icons);
    static QString getFileName(const QString& title, QWidget* parent, const morvil::MorvilDialogIcons& icons);
    // As getFileName; `data` receives the file's contents only when a file was chosen and read.
    static QString getFileNameAndData(QByteArray& data, const QString& title, QWidget* parent,
                                      const morvil::MorvilDialogIcons& icons);

private slots:
    void acceptSlot();
    void listItemDoubleClickedSlot(QTreeWidgetItem* item, int column);

private:
    void libInit();
    void createLayout();
    void fillMorvilList();
    // Reads the chosen file into mData; false after telling the user why it could not.
    bool readFile(const QTreeWidgetItem* item);
    void showHint(const QString& title, const QString& text);

    std::unique_ptr<morvil::LibraryUse> mLibrary;
    const morvil::MorvilDialogIcons mIcons;
    int mDialogType;
    int mMorvilNum = 0;
    QTreeWidget* mMorvilList = nullptr;
    QString mText;
    QByteArray mData;
    QPushButton* mAccept = nullptr;
    QPushButton* mCancel = nullptr;
};
