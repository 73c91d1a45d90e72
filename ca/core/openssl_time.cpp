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

namespace {

char16_t codeUnit(QChar c)
{
    return c.unicode();
}

char16_t codeUnit(char c)
{
    return static_cast<unsigned char>(c);
}

// The index holds thousands of these: the twelve digits are read in place, every "Z" passed over
// wherever it stands, rather than through the general date-time parser.
template <typename Text> QDateTime indexDateTime(Text indexTime)
{
    constexpr int kDigits = 12; // yyMMddhhmmss
    int digits[kDigits] = {};
    int count = 0;
    for (qsizetype i = 0; i < indexTime.size(); ++i) {
        const char16_t c = codeUnit(indexTime[i]);
        if (c == u'Z') {
            continue;
        }
        if (c < u'0' || c > u'9' || count == kDigits) {
            return {};
        }
        digits[count++] = c - u'0';
    }
    if (count != kDigits) {
        return {};
    }
    const auto two = [&digits](int at) { return digits[at] * 10 + digits[at + 1]; };
    const QDate date(2000 + two(0), two(2), two(4));
    const QTime time(two(6), two(8), two(10));
    if (!date.isValid() || !time.isValid()) {
        return {};
    }
    // The index writes UTC; marking it so keeps times that fall into a local clock change intact.
    return QDateTime(date, time, Qt::UTC);
}

} // namespace

QDateTime readIndexDateTime(QStringView indexTime)
{
    return indexDateTime(indexTime);
}

QDateTime readIndexDateTime(QByteArrayView indexTime)
{
    return indexDateTime(indexTime);
}
