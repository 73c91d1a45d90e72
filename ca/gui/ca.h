// One certification authority: its directory in the data directory, its configuration, the runs
// of the external OpenSSL tool that do its X.509 work, the PIN of its token, its certificate and
// request lists and the main window's views while it is open.
//
// A value type: the main window keeps its authorities in a list and copies them in and out. The
// views are not owned; the rows in them are the lists' own elements. A tree deletes the rows it
// holds when it goes, so an authority is closed (its rows taken back) before its views go.
#pragma once

#include "ca_configuration.h"
#include "certificate.h"
#include "item_list.h"
#include "request.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

class QTextEdit;
class QTreeWidget;
class QWidget;

class CA
{
    Q_DECLARE_TR_FUNCTIONS(CA)

public:
    CA();
    CA(const CA&) = default;
    CA& operator=(const CA&) = default;
    // A move keeps the rows where they are, so a list of authorities may grow while one is open.
    CA(CA&&) noexcept = default;
    CA& operator=(CA&&) noexcept = default;
    // Wipes the PIN first.
    virtual ~CA();

    void setName(const QString& name);
    void setCaKeyName(const QString& caKeyName) { mConf.mCaKeyName = caKeyName; }
    void setDefaultCertDays(int days) { mConf.mDefaultCertDays = days; }
    void setDefaultCrlDays(int days) { mConf.mDefaultCrlDays = days; }
    void setDefaultMD(const QString& md) { mConf.mDefaultMD = md; }
    void setPolicy(const QString& countryName, const QString& stateOrProvinceName, const QString& localityName,
                   const QString& organizationName, const QString& organizationalUnitName, const QString& commonName,
                   const QString& emailAddress);

    void setInfoWidget(QWidget* widget) { mInfoWidget = widget; }
    void setCertificateTreeWidget(QTreeWidget* tree) { mCertTreeWidget = tree; }
    void setCertificateInfoWidget(QTextEdit* pane) { mCertInfoTextEdit = pane; }
    void setRequestTreeWidget(QTreeWidget* tree) { mReqTreeWidget = tree; }
    void setRequestInfoWidget(QTextEdit* pane) { mReqInfoTextEdit = pane; }

    QString name() const { return mConf.mName; }
    QString caKeyName() const { return mConf.mCaKeyName; }
    const CaConfiguration& configuration() const { return mConf; }

    // Every authority in path, which must be the current directory (names resolve against it).
    static QList<CA> findAll(QString path);

    // Views. Each does nothing while its view is not attached.
    void updateCertificateTree();
    void updateCertificateInfo();
    void updateRequestTree();
    void updateRequestInfo();
    void changeCertificateInfo() { updateCertificateInfo(); }
    void changeRequestInfo() { updateRequestInfo(); }

    // HTML for the main window's authority page. generalInfo needs a read certificate list.
    QString generalInfo() const;
    QString crlInfo();
    QString policy() const;

    // Re-reads the certificate index into the certificate list and refreshes its views.
    bool update(QWidget* parent);
    void setCertOnlyValidDisplay(bool onlyValid);
    // Forgets the PIN and detaches the views; the lists stay.
    bool close(QWidget* parent);

protected:
    // The directory with its empty files, replacing an older one; and its removal.
    void createConfDir();
    void deleteConfDir();
    bool writeConfiguration();
    bool readConfiguration();

    // The tool's engine arguments; the PIN goes to its standard input, never on its command line.
    static QStringList engineArguments();
    // One run of the tool with mOpensslArgs in the authority's directory. withPin writes the kept
    // PIN and a line feed to the tool's standard input; otherwise the input is closed at once.
    bool runOpenssl(bool withPin = false);
    // Asks for the PIN of the authority's token and checks it there; keeps it when accepted.
    bool getUserPin(QWidget* parent);

    bool readCertificateDb();
    bool readCaCrl();

    // The display word of a policy word.
    static QString trPolicy(const QString& policy);
    // The subject's lines of an information pane.
    static void appendSubjectLines(QTextEdit* pane, const Subject& subject);

    QString mOpensslCmd;
    QStringList mOpensslArgs;
    QString mOpensslOut;
    QString mOpensslError;
    QString mUserPin;
    CaConfiguration mConf; // names, settings and the token name, as the configuration file holds them
    ItemList<Certificate> mCertList;
    ItemList<Request> mReqList;
    bool mCrlIsActual = true;
    QDateTime mCrlLastUpdate;
    QDateTime mCrlNextUpdate;
    QWidget* mInfoWidget = nullptr;
    bool mCertOnlyValidDisplay = false;
    QTreeWidget* mCertTreeWidget = nullptr;
    QTextEdit* mCertInfoTextEdit = nullptr;
    QTreeWidget* mReqTreeWidget = nullptr;
    QTextEdit* mReqInfoTextEdit = nullptr;

    // What the tool last printed about the authority's own certificate, and the file's state then:
    // the certificate does not change after creation, so a refresh need not start the tool again.
    struct OwnCertificateReading
    {
        QDateTime modified;
        qint64 size = -1;
        QString out;
    };
    OwnCertificateReading mOwnCertificate;
};
