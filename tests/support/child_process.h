// Running a program as a child with a PIN on its standard input, while watching that no process
// shows the PIN in its command line or environment.
#pragma once

#include <string>
#include <vector>

namespace morvil::test {

struct ChildResult
{
    int exitStatus = -1; // the exit code, or -1 when the child did not exit normally
    std::string out;
    std::string err;
    bool secretSeen = false;
};

// True when some readable /proc/<pid>/cmdline or /proc/<pid>/environ contains secret.
bool processesShow(const std::string& secret);

// Runs program with args (argv[0] is program) in directory dir, writes input to its standard
// input and closes it, and searches /proc for secret until the child has ended.
ChildResult runChild(const std::string& program, const std::vector<std::string>& args, const std::string& dir,
                     const std::string& input, const std::string& secret);

} // namespace morvil::test
