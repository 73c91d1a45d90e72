// A program's store: a directory in the user's home that is the working directory while the
// program runs, so that everything the program keeps lies in it.
#pragma once

#include <QString>

namespace morvil {

// Makes the directory `name` in `home` when it is missing and makes it the working directory;
// false when it can be neither made nor entered (a file of that name, no permission).
bool enterHomeStore(const QString& home, const QString& name);

} // namespace morvil
