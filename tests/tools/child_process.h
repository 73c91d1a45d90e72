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
    int scans = 0; // how often /proc was searched while the child ran
    bool secretSeen = false;
};

// True when some readable /proc/<pid>/cmdline or /proc/<pid>/environ contains secret.
bool processesShow(const std::string& secret);

// A started child: its pid, the write end of its standard input and where its output goes.
struct Child
{
    int pid = -1;
    int input = -1;
    int outFd = -1;
    int errFd = -1;
    std::string outPath;
    std::string errPath;
};

// Starts program with args in directory dir (argv[0] is program); its standard input stays open.
Child startChild(const std::string& program, const std::vector<std::string>& args, const std::string& dir);

// Writes input to the child's standard input and closes it, then searches /proc for secret
// until the child has ended.
ChildResult finishChild(Child& child, const std::string& input, const std::string& secret);

// Starts program with args in directory dir (argv[0] is program), writes input to its standard
// input and closes it, and searches /proc for secret until the child has ended.
ChildResult runChild(const std::string& program, const std::vector<std::string>& args, const std::string& dir,
                     const std::string& input, const std::string& secret);

} // namespace morvil::test
