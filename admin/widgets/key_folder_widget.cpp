#include "key_folder_widget.h"

#include "admin_texts.h"
#include "form_checks.h"
#include "key_transactions.h"
#include "message_box.h"
#include "page_parts.h"
#include "token_text.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

using namespace morvil::admin;

namespace {
// The edit takes one character more than the library keeps, as the token's own tools do.
constexpr int kKeyNameEditLength = 22;
} // namespace

KeyFolderOptionsWidget::KeyFolderOptionsWidget(int id, QWidget* parent)
    : QGroupBox(parent)
    , mId(id)
{
    setTitle(tr("Klucz #%1").arg(id + 1));
    setObjectName(QStringLiteral("keySlot%1").arg(id));
    auto* grid = new QGridLayout(this);
    mNameLineEdit = new QLineEdit;
    mNameLineEdit->setObjectName(QStringLiteral("keyName"));
    mNameLineEdit->setMaxLength(kKeyNameEditLength);
    mGenButton = iconButton(QStringLiteral(":img/random.png"), tr("Generuj"), QStringLiteral("generateKey"));
    mDelButton = iconButton(QStringLiteral(":img/cancel.png"), tr("Usuń"), QStringLiteral("deleteKey"));
    grid->addWidget(new QLabel(tr("Nazwa:")), 0, 0);
    grid->addWidget(mNameLineEdit, 0, 1);
    grid->addWidget(mGenButton, 0, 2);
    grid->addWidget(mDelButton, 1, 2);
    grid->setColumnStretch(1, 1);
    disable();
    connect(mGenButton, &QPushButton::clicked, this, &KeyFolderOptionsWidget::generateKeySlot);
    connect(mDelButton, &QPushButton::clicked, this, &KeyFolderOptionsWidget::deleteKeySlot);
}

void KeyFolderOptionsWidget::setInfo(const DEV_ZR40NN_key_info_t* info, bool present)
{
    mPresent = present;
    // What the record holds beyond the token's slots was never read from the token.
    mGenerated = present && (info->info & kKeyPresent) != 0;
    mNameLineEdit->setText(mGenerated ? morvil::tokenText(info->name) : QString());
    // Hidden, not removed: the other boxes keep their places.
    setVisible(present);
    showState();
}

void KeyFolderOptionsWidget::enable()
{
    mEnabled = true;
    showState();
}

void KeyFolderOptionsWidget::disable()
{
    mEnabled = false;
    showState();
}

void KeyFolderOptionsWidget::showState()
{
    const bool open = mEnabled && mPresent;
    setEnabled(open);
    mNameLineEdit->setEnabled(open && !mGenerated);
    mGenButton->setEnabled(open && !mGenerated);
    mDelButton->setEnabled(open && mGenerated);
}

void KeyFolderOptionsWidget::generateKeySlot()
{
    // Checked here, on the typed text: a NUL would cut the name short on its way as UTF-8.
    const QString name = mNameLineEdit->text();
    const QString problem = checkKeyName(name);
    if (!problem.isEmpty()) {
        morvil::box::critical(morvil::box::errorTitle(), problem);
        return;
    }
    mName = name.toUtf8();
    emit generateKeySig(mName.constData(), mId);
}

void KeyFolderOptionsWidget::deleteKeySlot()
{
    if (morvil::box::question(morvil::box::questionTitle(), text::confirmKeyDelete())) {
        emit deleteKeySig(mId);
    }
}

KeyFolderWidget::KeyFolderWidget(QWidget* parent)
    : QWidget(parent)
{
    mLayout = new QGridLayout(this);
    for (int i = 0; i < kSlots; ++i) {
        mKeyWidget[i] = new KeyFolderOptionsWidget(i, this);
        mLayout->addWidget(mKeyWidget[i], i, 0);
        connect(mKeyWidget[i], &KeyFolderOptionsWidget::generateKeySig, this, &KeyFolderWidget::generateKeySlot,
                Qt::DirectConnection);
        connect(mKeyWidget[i], &KeyFolderOptionsWidget::deleteKeySig, this, &KeyFolderWidget::deleteKeySlot,
                Qt::DirectConnection);
    }
    mLayout->setRowStretch(kSlots + 1, 1);
}

void KeyFolderWidget::setInfo(const DEV_ZR40NN_key_info_t* keyInfoList, int slotCount)
{
    for (int i = 0; i < kSlots; ++i) {
        mKeyWidget[i]->setInfo(&keyInfoList[i], i < slotCount);
    }
}

void KeyFolderWidget::enable()
{
    for (KeyFolderOptionsWidget* box : mKeyWidget) {
        box->enable();
    }
}

void KeyFolderWidget::disable()
{
    for (KeyFolderOptionsWidget* box : mKeyWidget) {
        box->disable();
    }
}

void KeyFolderWidget::generateKeySlot(const char* name, int id)
{
    emit generateKeySig(name, id);
}

void KeyFolderWidget::deleteKeySlot(int id)
{
    emit deleteKeySig(id);
}
