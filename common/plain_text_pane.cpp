#include "plain_text_pane.h"

#include <QScrollBar>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextEdit>

namespace morvil {

void appendPlainText(QTextEdit* pane, const QString& text)
{
    QScrollBar* scroll = pane->verticalScrollBar();
    const bool atEnd = scroll->value() == scroll->maximum();
    QTextCursor cursor(pane->document());
    cursor.movePosition(QTextCursor::End);
    if (!pane->document()->isEmpty()) {
        cursor.insertBlock();
    }
    cursor.insertText(text);
    if (atEnd) {
        scroll->setValue(scroll->maximum());
    }
}

} // namespace morvil
