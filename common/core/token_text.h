// Texts from the token: its name, its keys' names, its serial number. They are any octets within
// their limits, decoded as UTF-8, and shown exactly as they are everywhere: never read as markup
// (rich text gets them escaped), never as a message's placeholder (a "%1" in a name stays "%1", so
// a message takes them through one multi-argument QString::arg, which does not look again at what
// it put in).
//
// Names also go the other way, onto the token, and from there into the files of every program of
// the suite (key references, authority configurations, connection files), which are made of
// lines: a name that goes onto the token holds no control character.
#pragma once

#include <QByteArray>
#include <QString>

#include <cstddef>

namespace morvil {

// A text field of a device record, up to its terminator or its end.
QString tokenText(const char* field, std::size_t fieldSize);
template <std::size_t N> QString tokenText(const char (&field)[N])
{
    return tokenText(field, N);
}
inline QString tokenText(const QByteArray& octets)
{
    return QString::fromUtf8(octets);
}

// How a token is called where the user reads it: its name, or "[" serial number "]" for a token
// that has none.
template <std::size_t N, std::size_t M> QString tokenTitle(const char (&name)[N], const char (&serial)[M])
{
    const QString text = tokenText(name);
    return text.isEmpty() ? QStringLiteral("[") + tokenText(serial) + QStringLiteral("]") : text;
}

// The same, ready for a rich-text label.
QString tokenHtml(const QString& text);
template <std::size_t N> QString tokenHtml(const char (&field)[N])
{
    return tokenHtml(tokenText(field));
}

// A text ready for a menu entry, a button or a tab, where an "&" marks the next
// character as the accelerator: each "&" is doubled, which such texts show as one.
QString acceleratorFree(const QString& text);

// Whether a name holds a control character: C0 (line feed, tab, NUL...), DEL, C1 (U+0085 next
// line among them), or the line and paragraph separators U+2028 and U+2029.
bool holdsControlCharacter(const QString& name);

} // namespace morvil
