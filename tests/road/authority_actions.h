// morvil_ca's window worked by the road as the user works it: actions by name, rows by their text.
#pragma once

#include <QAction>
#include <QTreeWidget>
#include <QtTest>

namespace morvil::road {

inline void trigger(QWidget* window, const char* action)
{
    auto* found = window->findChild<QAction*>(QLatin1String(action));
    QVERIFY2(found != nullptr && found->isEnabled(), action);
    found->trigger();
}

inline void selectRow(QWidget* window, const char* tree, const QString& text, int column)
{
    auto* view = window->findChild<QTreeWidget*>(QLatin1String(tree));
    const QList<QTreeWidgetItem*> rows = view->findItems(text, Qt::MatchExactly, column);
    QCOMPARE(rows.size(), 1);
    view->setCurrentItem(rows.first());
}

} // namespace morvil::road
