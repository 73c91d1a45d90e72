// The page of a token's "Klucze" folder: one box per key slot, to generate a key under a typed
// name in an empty slot or to delete the key of an occupied one. It asks; the token node acts.
#pragma once

#include "dev_zr40nn.h"

#include <QByteArray>
#include <QGroupBox>
#include <QWidget>

#include <array>

class QGridLayout;
class QLineEdit;
class QPushButton;

class KeyFolderOptionsWidget : public QGroupBox
{
    Q_OBJECT
public:
    KeyFolderOptionsWidget(int id, QWidget* parent = nullptr);

signals:
    // name is UTF-8, valid while the connected slots run.
    void generateKeySig(const char* name, int id);
    void deleteKeySig(int id);

public slots:
    // `present`: whether the token has this slot at all. A slot it does not have offers nothing,
    // whoever is logged in, and its box is hidden.
    void setInfo(const DEV_ZR40NN_key_info_t* info, bool present = true);
    void enable();
    void disable();

private slots:
    void generateKeySlot();
    void deleteKeySlot();

private:
    // Sets the controls from the login state and the slot.
    void showState();

    int mId;
    QByteArray mName;
    bool mGenerated = false;
    bool mPresent = true;
    bool mEnabled = false; // by a login
    QLineEdit* mNameLineEdit;
    QPushButton* mGenButton;
    QPushButton* mDelButton;
};

class KeyFolderWidget : public QWidget
{
    Q_OBJECT
public:
    static constexpr int kSlots = 4;
    explicit KeyFolderWidget(QWidget* parent = nullptr);

signals:
    void generateKeySig(const char* name, int id);
    void deleteKeySig(int id);

public slots:
    // keyInfoList: the record's four slots, of which the token has the first slotCount.
    void setInfo(const DEV_ZR40NN_key_info_t* keyInfoList, int slotCount);
    void enable();
    void disable();

private slots:
    void generateKeySlot(const char* name, int id);
    void deleteKeySlot(int id);

private:
    QGridLayout* mLayout;
    std::array<KeyFolderOptionsWidget*, kSlots> mKeyWidget {};
};
