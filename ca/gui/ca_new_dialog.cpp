#include "ca_new_dialog.h"

#include "message_box.h"
#include "morvil_dialog.h"
#include "morvil_dialog_icons.h"
#include "token_text.h"

#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>

namespace {

bool isNameCharacter(QChar c)
{
    const char16_t u = c.unicode();
    return (u >= u'a' && u <= u'z') || (u >= u'A' && u <= u'Z') || (u >= u'0' && u <= u'9') || u == u'_' || u == u'-';
}

// Any entry of the store takes a name, a link to nothing included: making an authority under it
// would write through it.
bool isTaken(const QString& path)
{
    const QFileInfo entry(path);
    return entry.exists() || entry.isSymLink();
}

QSpinBox* daysBox(int maximum, int value)
{
    auto* box = new QSpinBox;
    box->setRange(1, maximum);
    box->setValue(value);
    box->setSuffix(QStringLiteral(" [dni]"));
    return box;
}

// A policy combo: optional, supplied and match, or supplied alone.
QComboBox* policyBox(bool suppliedOnly)
{
    auto* box = new QComboBox;
    if (!suppliedOnly) {
        box->addItem(CaNewDialog::tr("opcjonalne"), QStringLiteral("optional"));
    }
    box->addItem(CaNewDialog::tr("wymagane"), QStringLiteral("supplied"));
    if (!suppliedOnly) {
        box->addItem(CaNewDialog::tr("znaczące"), QStringLiteral("match"));
    }
    return box;
}

// A group with a grid of its own, column 1 stretched.
QGridLayout* groupGrid(QGroupBox* group)
{
    auto* grid = new QGridLayout(group);
    grid->setColumnStretch(1, 1);
    return grid;
}

// Rows of label and field in a grid, from row 0.
void addRows(QGridLayout* grid, const QList<std::pair<QString, QWidget*>>& rows, int span)
{
    for (int row = 0; row < rows.size(); ++row) {
        grid->addWidget(new QLabel(rows[row].first), row, 0);
        grid->addWidget(rows[row].second, row, 1, 1, span);
    }
}

} // namespace

CaNewDialog::CaNewDialog(QWidget* parent, Qt::WindowFlags f)
    : QDialog(parent, f)
{
    auto* tabs = new QTabWidget;
    tabs->addTab(createGeneralTab(), tr("Ogólne"));
    tabs->addTab(createSubjectTab(), tr("Dane urzędu"));
    tabs->addTab(createPolicyTab(), tr("Polityka urzędu"));
    mAccept = new QPushButton(tr("U&twórz"));
    mCancel = new QPushButton(tr("A&nuluj"));
    auto* grid = new QGridLayout(this);
    grid->addWidget(tabs, 0, 0, 1, 3);
    grid->addWidget(mAccept, 1, 1);
    grid->addWidget(mCancel, 1, 2);
    grid->setColumnStretch(0, 1);
    grid->setRowStretch(0, 1);
    connect(mCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(mAccept, &QPushButton::clicked, this, &CaNewDialog::accept);
    connect(mName, &QLineEdit::textChanged, this, &CaNewDialog::nameCheck);
    connect(mCaKeyBrowse, &QPushButton::clicked, this, &CaNewDialog::browseCaKeyName);
}

CaNewDialog::~CaNewDialog() = default;

QWidget* CaNewDialog::createGeneralTab()
{
    mName = new QLineEdit;
    mName->setObjectName(QStringLiteral("name"));
    mCaKeyName = new QLineEdit;
    mCaKeyName->setObjectName(QStringLiteral("caKeyName"));
    mCaKeyBrowse = new QPushButton(tr("Wybierz"));
    mCaKeyBrowse->setObjectName(QStringLiteral("caKeyBrowse"));
    auto* names = new QGroupBox(tr("Nazwa i klucz urzędu"));
    QGridLayout* namesGrid = groupGrid(names);
    addRows(namesGrid, { { tr("Nazwa urzędu<sup>*</sup>"), mName }, { tr("Klucz urzędu<sup>*</sup>"), mCaKeyName } },
            2);
    namesGrid->addWidget(mCaKeyBrowse, 2, 2);

    mDefaultCertDays = daysBox(7300, 365);
    mDefaultCertDays->setObjectName(QStringLiteral("defaultCertDays"));
    mDefaultCrlDays = daysBox(183, 30);
    mDefaultCrlDays->setObjectName(QStringLiteral("defaultCrlDays"));
    mDefaultMD = new QComboBox;
    mDefaultMD->setObjectName(QStringLiteral("defaultMD"));
    mDefaultMD->addItem(QStringLiteral("SHA-1"), QStringLiteral("ecdsa-with-sha1"));
    mDefaultMD->addItem(QStringLiteral("SHA-224"), QStringLiteral("ecdsa-with-sha224"));
    mDefaultMD->addItem(QStringLiteral("SHA-256"), QStringLiteral("ecdsa-with-sha256"));
    mDefaultMD->setCurrentIndex(2);
    auto* defaults = new QGroupBox(tr("Ustawienia domyślne"));
    addRows(groupGrid(defaults),
            { { tr("Okres ważności certyfiaktu użytkownika"), mDefaultCertDays },
              { tr("Okres ważności listy CRL"), mDefaultCrlDays },
              { tr("Funkcja skrótu"), mDefaultMD } },
            2);

    auto* tab = new QWidget;
    auto* grid = new QGridLayout(tab);
    grid->addWidget(names, 0, 0);
    grid->addWidget(defaults, 1, 0);
    grid->setRowStretch(2, 1);
    return tab;
}

QWidget* CaNewDialog::createSubjectTab()
{
    mCaCertDays = daysBox(7300, 7300);
    mCaCertDays->setObjectName(QStringLiteral("caCertDays"));
    auto* validity = new QGroupBox(tr("Ważność certyfikatu urzędu"));
    addRows(groupGrid(validity), { { tr("Okres ważności certyfiaktu"), mCaCertDays } }, 1);

    mCaCountryName = new QComboBox;
    mCaCountryName->addItem(tr("PL"));
    const auto edit = [](const char* objectName) {
        auto* line = new QLineEdit;
        line->setObjectName(QString::fromLatin1(objectName));
        return line;
    };
    mCaStateOrProvinceName = edit("caStateOrProvinceName");
    mCaLocalityName = edit("caLocalityName");
    mCaOrganizationName = edit("caOrganizationName");
    mCaOrganizationalUnitName = edit("caOrganizationalUnitName");
    mCaCommonName = edit("caCommonName");
    mCaEmailAddress = edit("caEmailAddress");
    auto* info = new QGroupBox(tr("Informacje o urzędzie"));
    addRows(groupGrid(info),
            { { tr("Kod kraju"), mCaCountryName },
              { tr("Region"), mCaStateOrProvinceName },
              { tr("Miejscowość"), mCaLocalityName },
              { tr("Organizacja"), mCaOrganizationName },
              { tr("Dział"), mCaOrganizationalUnitName },
              { tr("Nazwa pospolita<sup>*</sup>"), mCaCommonName },
              { tr("E-mail"), mCaEmailAddress } },
            1);

    auto* tab = new QWidget;
    auto* grid = new QGridLayout(tab);
    grid->addWidget(validity, 0, 0);
    grid->addWidget(info, 1, 0);
    grid->setRowStretch(1, 1);
    return tab;
}

QWidget* CaNewDialog::createPolicyTab()
{
    mPolicyCountryName = policyBox(false);
    mPolicyStateOrProvinceName = policyBox(false);
    mPolicyLocalityName = policyBox(false);
    mPolicyOrganizationName = policyBox(false);
    mPolicyOrganizationalUnitName = policyBox(false);
    mPolicyCommonName = policyBox(true);
    mPolicyEmailAddress = policyBox(false);
    auto* group = new QGroupBox(tr("Informacje o certyfikowanym podmiocie"));
    addRows(groupGrid(group),
            { { tr("Kod kraju"), mPolicyCountryName },
              { tr("Region"), mPolicyStateOrProvinceName },
              { tr("Miejscowość"), mPolicyLocalityName },
              { tr("Organizacja"), mPolicyOrganizationName },
              { tr("Dział"), mPolicyOrganizationalUnitName },
              { tr("Nazwa pospolita"), mPolicyCommonName },
              { tr("E-mail"), mPolicyEmailAddress } },
            1);
    auto* tab = new QWidget;
    auto* grid = new QGridLayout(tab);
    grid->addWidget(group, 0, 0);
    grid->setRowStretch(1, 1);
    return tab;
}

void CaNewDialog::nameCheck(const QString& name)
{
    for (const QChar c : name) {
        if (!isNameCharacter(c)) {
            morvil::box::information(
                tr("Niepoprawne dane"),
                tr("Pole nazwa urzędu moze zawierać jedynie znaki alfanumeryczne [a-z][A-Z][0-9] oraz '_' i '-'."),
                this);
            // Runs this check again on the restored text, which passes.
            mName->setText(mCorrectName);
            break;
        }
    }
    mCorrectName = mName->text();
}

void CaNewDialog::browseCaKeyName()
{
    const QString chosen = MorvilDialog::getKeyName(tr("Wybór klucza"), this, morvil::MorvilDialogIcons::ca());
    if (!chosen.isEmpty()) {
        mCaKeyName->setText(chosen);
    }
}

void CaNewDialog::accept()
{
    const QString missing = tr("Brak danych");
    if (mName->text().isEmpty()) {
        morvil::box::information(missing, tr("Wprowadź nazwę urzędu."), this);
    } else if (mCaKeyName->text().isEmpty()) {
        morvil::box::information(missing, tr("Wprowadź nazwę klucza urzędu."), this);
    } else if (morvil::holdsControlCharacter(mCaKeyName->text())) {
        // It would make lines of its own in the authority's configuration.
        morvil::box::information(
            tr("Niepoprawne dane"),
            tr("Klucz urzędu nie może zawierać znaków sterujących, takich jak znak nowej linii lub tabulacji."), this);
    } else if (mCaKeyName->text().contains(QChar::ReplacementCharacter)) {
        // Octets of a token's name that were no UTF-8: the text cannot give them back.
        morvil::box::information(tr("Niepoprawne dane"),
                                 tr("Nazwa tokenu lub klucza zawiera znaki, które nie są tekstem UTF-8 (pokazane jako "
                                    "\uFFFD): takiej nazwy nie można przekazać tokenowi."),
                                 this);
    } else if (mCaCommonName->text().isEmpty()) {
        morvil::box::information(missing, tr("Wprowadź nazwę pospolitą urzędu (to pole jest wymagane)."), this);
    } else if (isTaken(QDir::currentPath() + QLatin1Char('/') + mName->text())) {
        morvil::box::information(morvil::box::noticeTitle(),
                                 tr("Urząd o podanej nazwie już istnieje. Musisz podać inną nazwę."), this);
    } else {
        QDialog::accept();
    }
}

QString CaNewDialog::name() const
{
    return mName->text();
}
QString CaNewDialog::caKeyName() const
{
    return mCaKeyName->text();
}
int CaNewDialog::defaultCertDays() const
{
    return mDefaultCertDays->value();
}
int CaNewDialog::defaultCrlDays() const
{
    return mDefaultCrlDays->value();
}
QString CaNewDialog::defaultMD() const
{
    return mDefaultMD->currentData().toString();
}
int CaNewDialog::caCertDays() const
{
    return mCaCertDays->value();
}
QString CaNewDialog::caSubject() const
{
    return subjectArgument(subject());
}
QString CaNewDialog::policyCountryName() const
{
    return mPolicyCountryName->currentData().toString();
}
QString CaNewDialog::policyStateOrProvinceName() const
{
    return mPolicyStateOrProvinceName->currentData().toString();
}
QString CaNewDialog::policyLocalityName() const
{
    return mPolicyLocalityName->currentData().toString();
}
QString CaNewDialog::policyOrganizationName() const
{
    return mPolicyOrganizationName->currentData().toString();
}
QString CaNewDialog::policyOrganizationalUnitName() const
{
    return mPolicyOrganizationalUnitName->currentData().toString();
}
QString CaNewDialog::policyCommonName() const
{
    return mPolicyCommonName->currentData().toString();
}
QString CaNewDialog::policyEmailAddress() const
{
    return mPolicyEmailAddress->currentData().toString();
}

Subject CaNewDialog::subject() const
{
    Subject s;
    s.setCountryName(mCaCountryName->currentText());
    s.setStateOrProvinceName(mCaStateOrProvinceName->text());
    s.setLocalityName(mCaLocalityName->text());
    s.setOrganizationName(mCaOrganizationName->text());
    s.setOrganizationalUnitName(mCaOrganizationalUnitName->text());
    s.setCommonName(mCaCommonName->text());
    s.setEmailAddress(mCaEmailAddress->text());
    return s;
}

NewAuthority CaNewDialog::values() const
{
    NewAuthority v;
    v.name = name();
    v.caKeyName = caKeyName();
    v.defaultCertDays = defaultCertDays();
    v.defaultCrlDays = defaultCrlDays();
    v.defaultMD = defaultMD();
    v.caCertDays = caCertDays();
    v.caSubject = subject();
    v.policyCountryName = policyCountryName();
    v.policyStateOrProvinceName = policyStateOrProvinceName();
    v.policyLocalityName = policyLocalityName();
    v.policyOrganizationName = policyOrganizationName();
    v.policyOrganizationalUnitName = policyOrganizationalUnitName();
    v.policyCommonName = policyCommonName();
    v.policyEmailAddress = policyEmailAddress();
    return v;
}
