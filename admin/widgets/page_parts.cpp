#include "page_parts.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QIcon>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace morvil::admin {

QPushButton* iconButton(const QString& icon, const QString& text, const QString& objectName)
{
    auto* button = new QPushButton(QIcon(icon), text);
    button->setObjectName(objectName);
    return button;
}

QLabel* richLabel(const QString& text)
{
    auto* label = new QLabel(text);
    label->setTextFormat(Qt::RichText);
    return label;
}

QGroupBox* twoBoxPage(QWidget* page, QLabel* techInfo)
{
    auto* grid = new QGridLayout(page);
    auto* tech = new QGroupBox(QObject::tr("Dane techniczne"));
    (new QVBoxLayout(tech))->addWidget(techInfo);
    auto* conf = new QGroupBox(QObject::tr("Dane konfiguracyjne"));
    grid->addWidget(tech, 0, 0);
    grid->addWidget(conf, 1, 0);
    grid->setRowStretch(2, 1);
    return conf;
}

void addFormRow(QGridLayout* grid, int row, const QString& label, QWidget* editor)
{
    grid->addWidget(new QLabel(label), row, 0);
    grid->addWidget(editor, row, 1, 1, 2);
}

} // namespace morvil::admin
