// The "Zgłoszenie cert." tab of a key node: the subject of a certificate request for the key and
// the file to write it to. It asks; the token node has the request made.
#pragma once

#include <QString>
#include <QStringList>
#include <QWidget>

class QComboBox;
class QLineEdit;
class QPushButton;

class GenCertReqWidget : public QWidget
{
    Q_OBJECT
public:
    explicit GenCertReqWidget(QWidget* parent = nullptr);

    // The subject as "field=value" entries: the country always, then each filled field in order.
    QStringList subjectEntries() const;

signals:
    // The emitting slot's locals, valid while the connected slots run.
    void generateCertReqSig(QString& fileName, QStringList& dn);

public slots:
    void enable();
    void disable();

private slots:
    void generateCertReqSlot();

private:
    QComboBox* mCountryName;
    QLineEdit* mStateOrProvinceName;
    QLineEdit* mLocalityName;
    QLineEdit* mOrganizationName;
    QLineEdit* mOrganizationalUnitName;
    QLineEdit* mCommonName;
    QLineEdit* mEmailAddress;
    QPushButton* mGenerate;
};
