#include "ipaddr.h"

#include <QRegularExpression>
#include <QStringList>

#include <algorithm>
#include <iterator>

namespace {

// The four parts as numbers, or false when there are not four decimal parts.
bool fourParts(QString s, int (&parts)[4])
{
    s.remove(QRegularExpression(QStringLiteral("\\s+")));
    const QStringList texts = s.split(QLatin1Char('.'), Qt::KeepEmptyParts);
    if (texts.size() != 4) {
        return false;
    }
    for (int i = 0; i < 4; ++i) {
        bool ok = false;
        parts[i] = texts.at(i).toInt(&ok, 10);
        if (!ok) {
            return false;
        }
    }
    return true;
}

} // namespace

bool checkIpAddrSyntax(QString s)
{
    int parts[4];
    if (!fourParts(std::move(s), parts)) {
        return false;
    }
    for (int part : parts) {
        if (part < 0 || part > 255) {
            return false;
        }
    }
    return true;
}

bool checkNetMaskSyntax(QString s)
{
    int parts[4];
    if (!fourParts(std::move(s), parts)) {
        return false;
    }
    int i = 0;
    while (i < 4 && parts[i] == 255) {
        ++i;
    }
    if (i == 4) {
        return true;
    }
    constexpr int kMaskOctets[] = { 254, 252, 248, 240, 224, 192, 128, 0 };
    if (std::find(std::begin(kMaskOctets), std::end(kMaskOctets), parts[i]) == std::end(kMaskOctets)) {
        return false;
    }
    for (++i; i < 4; ++i) {
        if (parts[i] != 0) {
            return false;
        }
    }
    return true;
}
