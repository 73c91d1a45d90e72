// Pieces the token's pages are built from.
#pragma once

#include <QString>

class QGridLayout;
class QGroupBox;
class QLabel;
class QPushButton;
class QWidget;

namespace morvil::admin {

// A push button with an icon from the resources.
QPushButton* iconButton(const QString& icon, const QString& text, const QString& objectName);
// A label for rich text that the program wrote itself.
QLabel* richLabel(const QString& text = QString());
// A page of two boxes, "Dane techniczne" (holding `techInfo`) and "Dane konfiguracyjne" (given
// back, for the caller's form or label), with the spare height below.
QGroupBox* twoBoxPage(QWidget* page, QLabel* techInfo);
// A label in column 0 and its editor over columns 1 and 2 of a three-column form.
void addFormRow(QGridLayout* grid, int row, const QString& label, QWidget* editor);

} // namespace morvil::admin
