// What the token, key and file chooser asks of the token library, free of widgets: the tokens as
// they were read when it started (its one use of the library is a morvil::LibraryUse), and the
// reading of one token file. Names keep the octets the library gave, so they go back to it
// unchanged. What talks to the tokens runs off the window's thread (morvil::runTokenWork).
#pragma once

#include "library_use.h"
#include "token_text.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <memory>

namespace morvil::chooser {

// The sentence shown when the library cannot be started; the program then quits.
QString libraryStartFailureText();

// Starts the chooser's use of the library, which reads every token.
std::unique_ptr<LibraryUse> startLibrary();

// A key or a file of a listed token.
struct ListedEntry
{
    QByteArray name; // as the library holds it
    int type = 0; // the token file type; 0 for a key

    QString text() const { return tokenText(name); }
};

// One listed device. Only a usable token (state 2) has a name, keys and files.
struct ListedToken
{
    int state = 0; // MorvilState
    QByteArray name;
    QList<ListedEntry> keys; // slots with a key, in slot order
    QList<ListedEntry> files; // used table entries, in table order

    QString text() const { return tokenText(name); }
};

// The first `count` devices of the library's list, in list order, as the start read them: no token
// is asked.
QList<ListedToken> listTokens(int count);

// The outcome of reading a whole token file.
struct FileRead
{
    enum class Outcome
    {
        Read,
        NoToken, // no listed token of that name
        NoFile, // the token cannot be opened (unplugged) or has no file of that name
        Failed, // the file is there, but reading it failed: `error` holds the library's text
    };
    Outcome outcome = Outcome::Failed;
    QByteArray data;
    QString error;
};

// Opens a session on the named token, reads the named file whole, closes the file and the session
// on every path.
FileRead readTokenFile(const QByteArray& tokenName, const QByteArray& fileName);

} // namespace morvil::chooser
