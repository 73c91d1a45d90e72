// Starts a child process and waits for it to be running, keeping the user's input out meanwhile.
// QProcess::waitForStarted blocks the window instead: it stops repainting, and what the user does
// meanwhile is queued by the window system and acted on afterwards.
#pragma once

#include <QString>
#include <QStringList>

#include <chrono>

class QProcess;

namespace morvil {

// Starts `program` with `args` (no shell) in read-write mode and serves events, without input,
// until it runs, fails to start, or `limit` has passed. True when it was started; a child that
// ended at once counts as started, like QProcess::waitForStarted has it. A child still starting
// after `limit` is the caller's to end.
bool startChild(QProcess& child, const QString& program, const QStringList& args, std::chrono::milliseconds limit);

} // namespace morvil
