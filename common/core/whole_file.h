// Writing a file the one way the programs write files: whole or not at all, and checked to its end.
#pragma once

#include <QByteArrayView>
#include <QString>

class QFileDevice;

namespace morvil {

// Makes data the whole contents of the file at path. A regular file, or a new one, is written as a
// temporary file beside it that replaces it only once all of data is on disk (written, flushed,
// closed): when anything fails, what was there stays as it was, and nothing else is left. The file
// keeps its permissions. A target that exists but is no regular file (a device, a FIFO) is written
// in place: renaming a file over it would replace it. A symbolic link is refused, whatever it
// points to: nothing is written through one. False on failure, with the reason in error.
bool writeWholeFile(const QString& path, QByteArrayView data, QString* error = nullptr);

// Writes data into a file already open for writing, flushes and closes it, each step checked: a
// short write is a failure as much as none, and a full disk may show only at the flush or the
// close. False on failure, with the reason in the file's errorString().
bool writeAllAndClose(QFileDevice& file, QByteArrayView data);

} // namespace morvil
