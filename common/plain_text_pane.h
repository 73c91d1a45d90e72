// Panes that show what others wrote: a request's or a certificate's subject, what a child process
// printed. QTextEdit::append takes a text that "might be rich text" as HTML, so a subject or a
// server's certificate could restyle the pane, or load images from any path; here the text is a
// new paragraph of plain text, exactly as written.
#pragma once

#include <QString>

class QTextEdit;

namespace morvil {

// Appends `text` as a paragraph of its own (its line feeds start further ones) and, as append()
// does, keeps the view at the end when it was there.
void appendPlainText(QTextEdit* pane, const QString& text);

} // namespace morvil
