#pragma once
// Whole programs as the benchmarks measure them: run to their exit, with the
// wall time, CPU time and peak memory the kernel reports for them.
#include <string>
#include <vector>

namespace zelfin::bench {

struct ChildRun {
  double seconds = 0;      // wall clock, fork to exit
  double cpu_seconds = 0;  // user + system, all its threads
  long max_rss_kb = 0;     // peak resident memory (wait4)
  int status = -1;         // exit status, -1 when it did not exit normally
};

// Runs args[0] with args by fork and execv and waits for it with wait4. The
// child's peak RSS includes the pages it shared with this process before exec
// (with posix_spawn and vfork as well: exec records the peak of the memory it
// leaves), so call it while this process is small and report OwnRssKb().
ChildRun RunChild(const std::vector<std::string>& args);

// What the program writes to its standard output (its standard error is ours).
std::string ChildOutput(const std::vector<std::string>& args);

// Whether `program --help` mentions the option.
bool HelpMentions(const std::string& program, const std::string& option);

// VmRSS of this process in KB.
long OwnRssKb();

// The arguments as one line for a shell, quoted where they need it.
std::string CommandLine(const std::vector<std::string>& args);

}  // namespace zelfin::bench
