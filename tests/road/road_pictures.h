// Pictures of the programs' windows along the road, for the demo: road-NN-program-stage.png in a
// directory, numbered in the order taken. Without a directory nothing is saved.
#pragma once

#include <QString>
#include <QStringList>

class QWidget;

namespace morvil::road {

class Pictures
{
public:
    explicit Pictures(QString dir);

    void take(QWidget* window, const char* program, const char* stage);
    // The pictures that could not be saved.
    const QStringList& failures() const { return mFailures; }

private:
    QString mDir;
    int mTaken = 0;
    QStringList mFailures;
};

} // namespace morvil::road
