#include "gen_cert_req_widget.h"

#include "file_dialog_wpr.h"
#include "page_parts.h"

#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <utility>

using namespace morvil::admin;

namespace {

QLineEdit* subjectEdit(const char* field)
{
    auto* edit = new QLineEdit;
    edit->setObjectName(QLatin1String(field));
    return edit;
}

} // namespace

GenCertReqWidget::GenCertReqWidget(QWidget* parent)
    : QWidget(parent)
{
    auto* grid = new QGridLayout(this);
    mCountryName = new QComboBox;
    mCountryName->setObjectName(QStringLiteral("countryName"));
    QStringList countries { QStringLiteral("PL") };
    countries.sort();
    mCountryName->addItems(countries);
    mStateOrProvinceName = subjectEdit("stateOrProvinceName");
    mLocalityName = subjectEdit("localityName");
    mOrganizationName = subjectEdit("organizationName");
    mOrganizationalUnitName = subjectEdit("organizationalUnitName");
    mCommonName = subjectEdit("commonName");
    mEmailAddress = subjectEdit("emailAddress");
    mGenerate
        = iconButton(QStringLiteral(":img/filetype_userreq.png"), tr("Generuj"), QStringLiteral("generateRequest"));

    grid->addWidget(new QLabel(tr("Kod kraju:")), 0, 0);
    grid->addWidget(mCountryName, 0, 1);
    const std::pair<QString, QLineEdit*> rows[] = {
        { tr("Region:"), mStateOrProvinceName },   { tr("Miejscowość:"), mLocalityName },
        { tr("Organizacja:"), mOrganizationName }, { tr("Dział:"), mOrganizationalUnitName },
        { tr("Nazwa pospolita:"), mCommonName },   { tr("E-mail:"), mEmailAddress },
    };
    int row = 1;
    for (const auto& [label, edit] : rows) {
        grid->addWidget(new QLabel(label), row, 0);
        grid->addWidget(edit, row, 1, 1, 3);
        ++row;
    }
    grid->addWidget(mGenerate, 7, 3);
    grid->setColumnStretch(1, 1);
    grid->setColumnStretch(2, 6);
    grid->setRowStretch(8, 1);
    // Only a user login gives the PIN the signature needs.
    disable();
    connect(mGenerate, &QPushButton::clicked, this, &GenCertReqWidget::generateCertReqSlot);
}

void GenCertReqWidget::enable()
{
    setEnabled(true);
}

void GenCertReqWidget::disable()
{
    setEnabled(false);
}

QStringList GenCertReqWidget::subjectEntries() const
{
    QStringList dn { QStringLiteral("countryName=") + mCountryName->currentText() };
    for (const QLineEdit* edit : { mStateOrProvinceName, mLocalityName, mOrganizationName, mOrganizationalUnitName,
                                   mCommonName, mEmailAddress }) {
        if (!edit->text().isEmpty()) {
            dn << edit->objectName() + QLatin1Char('=') + edit->text();
        }
    }
    return dn;
}

void GenCertReqWidget::generateCertReqSlot()
{
    QStringList dn = subjectEntries();
    QString fileName = FileDialogWPR::getSaveFileName(this, tr("Zapisz jako"));
    // The window is drawn again where the dialog was before the signing keeps the program busy.
    for (QWidget* widget = this; widget != nullptr; widget = widget->parentWidget()) {
        widget->repaint();
        if (widget->isWindow()) {
            break;
        }
    }
    if (fileName.isEmpty()) {
        return;
    }
    emit generateCertReqSig(fileName, dn);
    for (QLineEdit* edit : { mStateOrProvinceName, mLocalityName, mOrganizationName, mOrganizationalUnitName,
                             mCommonName, mEmailAddress }) {
        edit->clear();
    }
}
