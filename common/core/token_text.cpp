#include "token_text.h"

namespace morvil {

QString tokenText(const char* field, std::size_t fieldSize)
{
    return QString::fromUtf8(field, static_cast<qsizetype>(qstrnlen(field, fieldSize)));
}

QString tokenHtml(const QString& text)
{
    return text.toHtmlEscaped();
}

QString acceleratorFree(const QString& text)
{
    return QString(text).replace(QLatin1Char('&'), QStringLiteral("&&"));
}

bool holdsControlCharacter(const QString& name)
{
    for (const QChar c : name) {
        switch (c.category()) {
        case QChar::Other_Control:
        case QChar::Separator_Line:
        case QChar::Separator_Paragraph:
            return true;
        default:
            break;
        }
    }
    return false;
}

} // namespace morvil
