#include "openssl_time.h"

#include <QRegularExpression>

#include <array>

QDateTime readOpensslDateTime(QString dateTime)
{
    static const QRegularExpression whitespace(QStringLiteral("\\s+"));
    static constexpr std::array<const char*, 12> months { "Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec" };
    dateTime.remove(QLatin1Char('\n'));
    dateTime.remove(QStringLiteral(" GMT"));
    dateTime.remove(0, dateTime.indexOf(QLatin1Char('=')) + 1);
    dateTime.replace(whitespace, QStringLiteral(" "));
    for (std::size_t i = 0; i < months.size(); ++i) {
        dateTime.replace(QLatin1String(months[i]), QString::number(i + 1));
    }
    QDateTime parsed = QDateTime::fromString(dateTime, QStringLiteral("M d hh:mm:ss yyyy"));
    parsed.setTimeSpec(Qt::UTC);
    return parsed;
}

QDateTime readIndexDateTime(QString indexTime)
{
    // The index holds thousands of these: read the fixed digits directly rather than through the
    // general date-time parser.
    indexTime.remove(QLatin1Char('Z'));
    const QString digits = QStringLiteral("20") + indexTime;
    constexpr qsizetype kDigits = 14; // yyyyMMddhhmmss
    if (digits.size() != kDigits) {
        return {};
    }
    int values[6] = {};
    const int widths[6] = { 4, 2, 2, 2, 2, 2 };
    qsizetype at = 0;
    for (int field = 0; field < 6; ++field) {
        for (int i = 0; i < widths[field]; ++i, ++at) {
            const char16_t c = digits[at].unicode();
            if (c < u'0' || c > u'9') {
                return {};
            }
            values[field] = values[field] * 10 + (c - u'0');
        }
    }
    const QDate date(values[0], values[1], values[2]);
    const QTime time(values[3], values[4], values[5]);
    if (!date.isValid() || !time.isValid()) {
        return {};
    }
    // The index writes UTC; marking it so keeps times that fall into a local clock change intact.
    return QDateTime(date, time, Qt::UTC);
}
