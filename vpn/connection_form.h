// What the new-connection and edit windows share: the server box, the certificate and key box,
// the buttons, and the check of the required fields.
#pragma once

#include "conf_file.h"

#include <QDialog>

class QLineEdit;
class QPushButton;
class SourceField;

class ConnectionForm : public QDialog
{
    Q_OBJECT
protected:
    explicit ConnectionForm(QWidget* parent);

    // Lays the window out; called by the derived constructor, once its name box can be built.
    void build();
    virtual QWidget* createNameBox() = 0;

    // The first required field that is empty gets its "Brak danych" box, and the first that
    // "conf" would not give back as it stands its "Niepoprawne dane" box; true when none is.
    bool checkFields();
    // The header the fields give.
    vpn::ConfHeader header() const;
    // A failed save: the user is told and the window stays open.
    void saveFailed(const QString& error);

    QLineEdit* mMorvilVpnName = nullptr;
    QLineEdit* mRemoteVpnServer = nullptr;
    SourceField* mCaCert = nullptr;
    SourceField* mUserCert = nullptr;
    QLineEdit* mKey = nullptr;
    QPushButton* mKeyBrowse = nullptr;
    QPushButton* mCancel = nullptr;
    QPushButton* mSave = nullptr;

protected slots:
    virtual void saveSlot() = 0;

private slots:
    void MorvilKeyBrowseSlot();

private:
    bool checkRequired();
    bool checkReadable();
    QWidget* createBaseTab();
    QWidget* createNetDetailsBox();
    QWidget* createCertsKeyBox();
};

// A group box with the grid every box of these windows has (column 1 stretches).
class QGridLayout;
class QGroupBox;
QGroupBox* formBox(const QString& title, QWidget* parent, QGridLayout*& grid);
