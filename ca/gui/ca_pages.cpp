// The HTML summaries of the main window's authority page: key and certificate, CRL, policy.
#include "ca.h"

#include "token_text.h"

namespace {

const QString kDateForm = QStringLiteral("yyyy-MM-dd (hh:mm:ss)");

} // namespace

QString CA::trPolicy(const QString& policy)
{
    if (policy == QLatin1String("optional")) {
        return tr("opcjonalne");
    }
    if (policy == QLatin1String("supplied")) {
        return tr("wymagane");
    }
    if (policy == QLatin1String("match")) {
        return tr("znaczące");
    }
    return tr("NIEZNANE");
}

QString CA::generalInfo() const
{
    const QStringList key = mConf.mCaKeyName.split(QLatin1Char('/'));
    // Rich text: the token's names and the file's name are shown as they are.
    QString text = tr("Klucz urzędu: ") + tr("<ol><li>Nazwa tokenu: ") + morvil::tokenHtml(key.value(0))
        + QStringLiteral("</li>") + tr("<li>Nazwa klucza: ") + morvil::tokenHtml(key.value(1))
        + QStringLiteral("</li></ol>") + tr("Certyfikat urzędu: ") + tr("<ol><li>Nazwa pliku: ")
        + mConf.mCaCertFileName.toHtmlEscaped() + QStringLiteral("</li>");
    // The dates come from the certificate list, which holds the authority's own first once read.
    if (!mCertList.isEmpty()) {
        const Certificate& own = mCertList.first();
        text += tr("<li>Ważny od: ") + own.notBefore().toString(kDateForm) + QStringLiteral(" GMT</li>")
            + tr("<li>Ważny do: ") + own.notAfter().toString(QStringLiteral("yyyy-MM-dd  (hh:mm:ss)"))
            + QStringLiteral(" GMT</li>");
    }
    return text + QStringLiteral("</ol>");
}

QString CA::crlInfo()
{
    // One reading serves both the stale warning and the dates.
    const bool read = readCaCrl();
    QString text;
    if (!mCrlIsActual) {
        text += QStringLiteral("<center><h3><font color=red>Lista CRL jest nieaktualna!</font></h3></center>");
    }
    text += tr("Nazwa pliku: ") + mConf.mCrlFileName.toHtmlEscaped();
    if (read) {
        text += tr("<br>Ostania aktualizacja: ") + mCrlLastUpdate.toString(kDateForm)
            + tr(" GMT<br>Kolejna aktualizacja: ") + mCrlNextUpdate.toString(kDateForm) + QStringLiteral(" GMT");
    }
    return text;
}

QString CA::policy() const
{
    const std::pair<const char*, const QString*> rows[] = {
        { QT_TR_NOOP("Kod kraju: "), &mConf.mPolicyCountryName },
        { QT_TR_NOOP("Region: "), &mConf.mPolicyStateOrProvinceName },
        { QT_TR_NOOP("Miejscowość: "), &mConf.mPolicyLocalityName },
        { QT_TR_NOOP("Organizacja: "), &mConf.mPolicyOrganizationName },
        { QT_TR_NOOP("Dział: "), &mConf.mPolicyOrganizationalUnitName },
        { QT_TR_NOOP("Nazwa pospolita: "), &mConf.mPolicyCommonName },
        { QT_TR_NOOP("E-mail: "), &mConf.mPolicyEmailAddress },
    };
    QStringList cells;
    for (const auto& [label, word] : rows) {
        cells << tr(label) + QStringLiteral("</td><td>") + trPolicy(*word);
    }
    return QStringLiteral("<table><tr><td>") + cells.join(QStringLiteral("</td></tr><tr><td>"))
        + QStringLiteral("</td></tr></table>");
}
