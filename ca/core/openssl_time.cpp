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
    indexTime.remove(QLatin1Char('Z'));
    return QDateTime::fromString(QStringLiteral("20") + indexTime, QStringLiteral("yyyyMMddhhmmss"));
}
