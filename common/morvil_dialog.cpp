#include "morvil_dialog.h"

#include "message_box.h"
#include "morvil_state.h"
#include "token_text.h"

#include <QCoreApplication>
#include <QGridLayout>
#include <QHeaderView>
#include <QIcon>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTreeWidget>

#include <memory>

using morvil::chooser::FileRead;

// The chooser's icons live in the static library; registering them here keeps the linker from
// leaving them out of the programs.
static void registerChooserIcons()
{
    static const bool registered = [] {
        Q_INIT_RESOURCE(chooser_icons);
        return true;
    }();
    (void)registered;
}

namespace {

// The library's octets of a name, kept on its item, so what goes back to the library is exactly
// what it gave, whatever the shown text made of it.
constexpr int kNameRole = Qt::UserRole;

QTreeWidgetItem* addItem(QTreeWidgetItem* parent, int type, const QByteArray& name, const QString& icon)
{
    auto* item = new QTreeWidgetItem(parent, type);
    item->setText(0, morvil::tokenText(name));
    item->setData(0, kNameRole, name);
    item->setIcon(0, QIcon(icon));
    return item;
}

QByteArray nameOf(const QTreeWidgetItem* item)
{
    return item->data(0, kNameRole).toByteArray();
}

// Runs a dialog of `type` and hands it to `take` when it is accepted. The parent may go while the
// dialog runs, and take the dialog with it.
template <typename Take>
QString runDialog(int type, const QString& title, QWidget* parent, const morvil::MorvilDialogIcons& icons, Take take)
{
    auto dialog = std::make_unique<MorvilDialog>(type, icons, parent);
    if (!dialog->libraryStarted()) {
        return {};
    }
    dialog->setWindowTitle(title);
    const QPointer<MorvilDialog> alive(dialog.get());
    const int result = dialog->exec();
    if (alive.isNull()) {
        (void)dialog.release();
        return {};
    }
    if (result != QDialog::Accepted) {
        return {};
    }
    take(*dialog);
    return dialog->text();
}

} // namespace

MorvilDialog::MorvilDialog(int dialogType, const morvil::MorvilDialogIcons& icons, QWidget* parent)
    : QDialog(parent)
    , mIcons(icons)
    , mDialogType(dialogType)
{
    registerChooserIcons();
    libInit();
    createLayout();
    fillMorvilList();
    setWindowIcon(QIcon(mIcons.window));
}

MorvilDialog::~MorvilDialog() = default; // mLibrary finishes its use of the library

void MorvilDialog::libInit()
{
    mLibrary = morvil::chooser::startLibrary();
    mMorvilNum = mLibrary->deviceCount();
    if (!mLibrary->started()) {
        morvil::box::critical(morvil::box::errorTitle(), morvil::chooser::libraryStartFailureText(), this);
        // Queued: the program ends once its main event loop has control again, even when this
        // dialog is built before that loop runs.
        QMetaObject::invokeMethod(QCoreApplication::instance(), &QCoreApplication::quit, Qt::QueuedConnection);
    }
}

void MorvilDialog::createLayout()
{
    auto* layout = new QGridLayout(this);
    mMorvilList = new QTreeWidget(this);
    mMorvilList->setObjectName(QStringLiteral("morvilList"));
    mAccept = new QPushButton(tr("Akceptuj"), this);
    mAccept->setObjectName(QStringLiteral("accept"));
    mCancel = new QPushButton(tr("Anuluj"), this);
    mCancel->setObjectName(QStringLiteral("cancel"));
    layout->addWidget(mMorvilList, 0, 0, 1, 3);
    layout->addWidget(mAccept, 1, 1);
    layout->addWidget(mCancel, 1, 2);
    layout->setColumnStretch(0, 1);

    connect(mMorvilList, &QTreeWidget::itemDoubleClicked, this, &MorvilDialog::listItemDoubleClickedSlot);
    connect(mCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(mAccept, &QPushButton::clicked, this, &MorvilDialog::acceptSlot);
}

void MorvilDialog::fillMorvilList()
{
    mMorvilList->setColumnCount(1);
    mMorvilList->setHeaderLabels({ tr("Dostępne tokeny") });
    for (const morvil::chooser::ListedToken& token : morvil::chooser::listTokens(mMorvilNum)) {
        auto* item = new QTreeWidgetItem(mMorvilList, kTokenItem);
        item->setIcon(0, QIcon(mIcons.token(token.state)));
        if (token.state != kMorvilConfigured) {
            continue; // a token that cannot be used shows no name
        }
        item->setText(0, token.text());
        item->setData(0, kNameRole, token.name);
        if (mDialogType == kKeyDialog) {
            for (const morvil::chooser::ListedEntry& key : token.keys) {
                addItem(item, kKeyItem, key.name, mIcons.key);
            }
        } else if (mDialogType == kFileDialog) {
            for (const morvil::chooser::ListedEntry& file : token.files) {
                addItem(item, kFileItem, file.name, mIcons.file(file.type));
            }
        }
    }
}

void MorvilDialog::showHint(const QString& title, const QString& text)
{
    // Fixed texts of ours with emphasis; nothing from the token goes into them.
    QMessageBox box(QMessageBox::Information, title, text, QMessageBox::Ok, this);
    box.setTextFormat(Qt::RichText);
    box.exec();
}

void MorvilDialog::acceptSlot()
{
    // What each mode takes, and the hint it gives when the current item is something else.
    struct ModeRule
    {
        int itemType;
        const char* title;
        const char* hint;
    };
    static const ModeRule rules[] = {
        { kTokenItem, QT_TR_NOOP("Wybór tokenu"),
          QT_TR_NOOP("Wybierz jeden z <b>tokenów</b> dostępnych na liście i naciśnij przycisk <b>Akceptuj</b>.") },
        { kKeyItem, QT_TR_NOOP("Wybór klucza"),
          QT_TR_NOOP("Wybierz jeden z <b>kluczy</b> dostępnych na liście i naciśnij przycisk <b>Akceptuj</b>.") },
        { kFileItem, QT_TR_NOOP("Wybór pliku"),
          QT_TR_NOOP("Wybierz jeden z <b>plików</b> dostępnych na liście i naciśnij przycisk <b>Akceptuj</b>.") },
    };
    if (mDialogType < kTokenDialog || mDialogType > kFileDialog) {
        return; // no mode of ours: nothing can be chosen
    }
    const ModeRule& rule = rules[mDialogType];
    const QTreeWidgetItem* item = mMorvilList->currentItem();
    if (item == nullptr || item->type() != rule.itemType) {
        showHint(tr(rule.title), tr(rule.hint));
        return;
    }
    if (mDialogType == kKeyDialog && item->parent()->text(0).contains(QLatin1Char('/'))) {
        // A key reference is split at its first "/", here and in the engine: no reference can
        // name a key of this token.
        morvil::box::information(tr("Wybór klucza"),
                                 tr("Nazwa tokenu %1 zawiera znak '/', który w nazwie klucza oddziela nazwę tokenu od "
                                    "nazwy klucza. Kluczy tego tokenu nie można użyć.")
                                     .arg(item->parent()->text(0)),
                                 this);
        return;
    }
    if (mDialogType == kTokenDialog) {
        mText = item->text(0);
    } else {
        mText = item->parent()->text(0) + QLatin1Char('/') + item->text(0);
    }
    if (mDialogType == kFileDialog && !readFile(item)) {
        return;
    }
    QDialog::accept();
}

bool MorvilDialog::readFile(const QTreeWidgetItem* item)
{
    const QString token = item->parent()->text(0);
    const QString file = item->text(0);
    FileRead read = morvil::chooser::readTokenFile(nameOf(item->parent()), nameOf(item));
    switch (read.outcome) {
    case FileRead::Outcome::Read:
        mData = std::move(read.data);
        return true;
    case FileRead::Outcome::NoToken:
        morvil::box::critical(tr("Brak tokenu"),
                              tr("Nie można odnaleźć tokenu %1. Być może został odłączony.").arg(token), this);
        return false;
    case FileRead::Outcome::NoFile:
        morvil::box::critical(tr("Brak pliku"),
                              tr("Nie można odnaleźć pliku %1. Być może token %2 został odłączony.").arg(file, token),
                              this);
        return false;
    case FileRead::Outcome::Failed:
        break;
    }
    morvil::box::critical(morvil::box::errorTitle(),
                          tr("Nie można odczytać pliku %1 z tokenu %2.\n\n%3").arg(file, token, read.error), this);
    return false;
}

void MorvilDialog::listItemDoubleClickedSlot(QTreeWidgetItem*, int)
{
    acceptSlot();
}

QString MorvilDialog::getKeyName(const QString& title, QWidget* parent, const morvil::MorvilDialogIcons& icons)
{
    return runDialog(kKeyDialog, title, parent, icons, [](MorvilDialog&) {});
}

QString MorvilDialog::getFileName(const QString& title, QWidget* parent, const morvil::MorvilDialogIcons& icons)
{
    return runDialog(kFileDialog, title, parent, icons, [](MorvilDialog&) {});
}

QString MorvilDialog::getFileNameAndData(QByteArray& data, const QString& title, QWidget* parent,
                                         const morvil::MorvilDialogIcons& icons)
{
    return runDialog(kFileDialog, title, parent, icons, [&data](MorvilDialog& dialog) { data = dialog.data(); });
}
