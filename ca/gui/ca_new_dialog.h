// The form of a new authority: name, key, defaults, the subject of its own certificate and its
// policy. It writes nothing; it refuses incomplete input and names that are not allowed or taken.
#pragma once

#include "new_authority.h"

#include <QDialog>
#include <QString>

class QComboBox;
class QLineEdit;
class QPushButton;
class QSpinBox;

class CaNewDialog : public QDialog
{
    Q_OBJECT

public:
    explicit CaNewDialog(QWidget* parent = nullptr, Qt::WindowFlags f = Qt::WindowFlags());
    ~CaNewDialog() override;

    QString name() const;
    QString caKeyName() const;
    int defaultCertDays() const;
    int defaultCrlDays() const;
    QString defaultMD() const;
    int caCertDays() const;
    // The slash form for the tool, with "\", "/" and "+" in values escaped.
    QString caSubject() const;
    QString policyCountryName() const;
    QString policyStateOrProvinceName() const;
    QString policyLocalityName() const;
    QString policyOrganizationName() const;
    QString policyOrganizationalUnitName() const;
    QString policyCommonName() const;
    QString policyEmailAddress() const;
    // Everything above at once.
    NewAuthority values() const;

public slots:
    void accept() override;

private slots:
    void browseCaKeyName();
    void nameCheck(const QString& name);

private:
    QWidget* createGeneralTab();
    QWidget* createSubjectTab();
    QWidget* createPolicyTab();
    Subject subject() const;

    QLineEdit* mName = nullptr;
    QString mCorrectName;
    QLineEdit* mCaKeyName = nullptr;
    QPushButton* mCaKeyBrowse = nullptr;
    QSpinBox* mDefaultCertDays = nullptr;
    QSpinBox* mDefaultCrlDays = nullptr;
    QComboBox* mDefaultMD = nullptr;
    QSpinBox* mCaCertDays = nullptr;
    QComboBox* mCaCountryName = nullptr;
    QLineEdit* mCaStateOrProvinceName = nullptr;
    QLineEdit* mCaLocalityName = nullptr;
    QLineEdit* mCaOrganizationName = nullptr;
    QLineEdit* mCaOrganizationalUnitName = nullptr;
    QLineEdit* mCaCommonName = nullptr;
    QLineEdit* mCaEmailAddress = nullptr;
    QComboBox* mPolicyCountryName = nullptr;
    QComboBox* mPolicyStateOrProvinceName = nullptr;
    QComboBox* mPolicyLocalityName = nullptr;
    QComboBox* mPolicyOrganizationName = nullptr;
    QComboBox* mPolicyOrganizationalUnitName = nullptr;
    QComboBox* mPolicyCommonName = nullptr;
    QComboBox* mPolicyEmailAddress = nullptr;
    QPushButton* mAccept = nullptr;
    QPushButton* mCancel = nullptr;
};
