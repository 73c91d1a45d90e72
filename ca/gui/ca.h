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
#include "kept_pin.h"
#include "request.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

class QTextEdit;
class QTreeWidget;
class QWidget;
struct NewAuthority;

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

    // The tool that authorities made from now on run; by default morvil_openssl beside the program.
    static void setDefaultOpensslCmd(const QString& path);

    // Every authority in path, which must be the current directory (names resolve against it).
    static QList<CA> findAll(QString path);

    // Views. Each does nothing while its view is not attached.
    void updateCertificateTree();
    void updateCertificateInfo();
    void updateRequestTree();
    void updateRequestInfo();
    void changeCertificateInfo() { updateCertificateInfo(); }
    void changeRequestInfo() { updateRequestInfo(); }

    // HTML for the main window's authority page. generalInfo gives the own certificate's dates once the
    // certificate list was read.
    QString generalInfo() const;
    QString crlInfo();
    QString policy() const;

    // Re-reads the certificate index into the certificate list and refreshes its views. When the
    // reading fails, the list and views stay as last read.
    bool update(QWidget* parent);
    void setCertOnlyValidDisplay(bool onlyValid);
    // Forgets the PIN and detaches the views; the lists stay.
    bool close(QWidget* parent);

    // The operations of the main window. Each reports its failures in boxes parented to parent
    // and returns false after them.

    // A new authority from the new-authority dialog: its directory and self-signed certificate.
    // It keeps the PIN and stays closed.
    bool create(const QString& title, QWidget* parent);
    // Asks the PIN, brings the index up to date and reads the new requests into the attached
    // views. A failure closes the authority again.
    bool open(QWidget* parent);
    // Asks and, on Yes, closes the authority and deletes its directory.
    bool remove(QWidget* parent);
    // Requests chosen by the user, copied in beside the pending ones.
    bool getReq(QWidget* parent);
    bool signReq(QWidget* parent);
    bool signReqAll(QWidget* parent);
    bool certRevoke(QWidget* parent);
    bool crlNew(QWidget* parent);
    bool certSaveAs(QWidget* parent);
    bool crlSaveAs(QWidget* parent);

protected:
    // create's work once the dialog is accepted.
    bool create(const NewAuthority& values, QWidget* parent);
    // Imports request files: each is verified under a temporary name before it joins the pending
    // ones, and a name already pending is refused. Then the pending requests are read again.
    bool importRequests(const QStringList& files, QWidget* parent);
    // Verifies one file of the new-request directory; the subject's slash form when it is good.
    enum class RequestCheck
    {
        Good,
        Bad,
        NotChecked
    };
    RequestCheck checkRequest(const QString& fileName, QString& subject);
    // Re-reads the new-request directory into the request list and its views. A request goes
    // only when the tool found it bad; one it could not check stays and is reported.
    bool readNewRequests(QWidget* parent);
    // Writes the authority file sourceName to target, from the first header line on.
    bool savePemAs(const QString& sourceName, const QString& target, const QString& header, QWidget* parent);
    // The current row of a tree, or null.
    Certificate* currentCertificate() const;
    Request* currentRequest() const;
    // One "ca" run of the tool signing with the authority's key: "ca", "-config", the
    // configuration, before, the engine arguments, after. A failure is reported with message.
    bool runCaWithKey(const QStringList& before, const QStringList& after, const QString& message, QWidget* parent);
    // The failure box of a tool run: the message, then the tool's error output.
    void reportToolFailure(const QString& message, QWidget* parent) const;

    // The directory with its empty files, replacing an older one (false when it was not made
    // whole); and its removal.
    bool createConfDir();
    void deleteConfDir();
    bool writeConfiguration();
    bool readConfiguration();

    // The tool's engine arguments; the PIN goes to its standard input, never on its command line.
    static QStringList engineArguments();
    // One run of the tool with mOpensslArgs in the authority's directory. withPin writes the kept
    // PIN and a line feed to the tool's standard input; otherwise the input is closed at once.
    bool runOpenssl(bool withPin = false);
    // Asks for the PIN of the authority's token and checks it there; keeps it when accepted. What
    // was kept before is forgotten first.
    bool getUserPin(QWidget* parent);
    // The PIN for a run that signs: the kept one, checked on the token first, or else asked for.
    // A kept PIN the token refuses (changed since it was given) costs that one try, is forgotten
    // at once and reported with the token's counts; the next operation asks for it again.
    bool pinForSigning(QWidget* parent);
    // Checks pin on the authority's token and reports every refusal; kept says whether it is the
    // kept PIN or one just typed.
    bool checkPinOnToken(const QString& pin, bool kept, QWidget* parent);

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
    KeptPin mUserPin;
    CaConfiguration mConf; // names, settings and the token name, as the configuration file holds them
    ItemList<Certificate> mCertList;
    // What the certificate list was read from: the index's text, the directory of its rows' files,
    // and the line of each row after the authority's own (views into that text). A refresh after an
    // operation finds nearly every line unchanged, and an unchanged line keeps its row.
    struct IndexReading
    {
        QByteArray text;
        QString certsDir;
        std::vector<QByteArrayView> lines;
    };
    IndexReading mIndexReading;
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
