// The modal message boxes of the programs. Texts are shown as plain text, because they often
// carry what the token or the library said (names, serial numbers, error stacks), which must
// never be read as markup. A null parent makes a box of its own, as morvil_admin's are.
#pragma once

#include <QMessageBox>
#include <QString>

namespace morvil::box {

// Standard titles of the suite's boxes.
QString errorTitle(); // "Błąd"
QString questionTitle(); // "Pytanie"
QString noticeTitle(); // "Informacja"

// A critical box with a single Ok button and no default button.
void critical(const QString& title, const QString& text, QWidget* parent = nullptr);
// An information box with a single Ok button.
void information(const QString& title, const QString& text, QWidget* parent = nullptr);
// A question with Yes and No, No being the default; true when the answer is Yes.
bool question(const QString& title, const QString& text, QWidget* parent = nullptr);

// Any box: the building block of the three above.
QMessageBox::StandardButton show(QMessageBox::Icon icon, const QString& title, const QString& text,
                                 QMessageBox::StandardButtons buttons,
                                 QMessageBox::StandardButton defaultButton = QMessageBox::NoButton,
                                 QWidget* parent = nullptr);

} // namespace morvil::box
