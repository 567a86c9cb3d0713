#include "common/child_process.h"

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <fstream>

namespace zelfin::bench {

namespace {

std::vector<char*> Argv(const std::vector<std::string>& args) {
  std::vector<char*> argv;
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  return argv;
}

double Seconds(const timeval& t) {
  return static_cast<double>(t.tv_sec) + 1e-6 * static_cast<double>(t.tv_usec);
}

}  // namespace

ChildRun RunChild(const std::vector<std::string>& args) {
  std::vector<char*> argv = Argv(args);
  ChildRun run;
  const auto t0 = std::chrono::steady_clock::now();
  const pid_t pid = fork();
  if (pid == 0) {
    execv(argv[0], argv.data());
    _exit(127);
  }
  if (pid < 0) return run;
  int status = 0;
  rusage ru{};
  while (wait4(pid, &status, 0, &ru) < 0 && errno == EINTR) {
  }
  run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  run.cpu_seconds = Seconds(ru.ru_utime) + Seconds(ru.ru_stime);
  run.max_rss_kb = ru.ru_maxrss;
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

std::string ChildOutput(const std::vector<std::string>& args) {
  std::vector<char*> argv = Argv(args);
  int fd[2];
  if (pipe(fd) != 0) return {};
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(fd[1], STDOUT_FILENO);
    close(fd[0]);
    close(fd[1]);
    execv(argv[0], argv.data());
    _exit(127);
  }
  close(fd[1]);
  std::string out;
  char buf[4096];
  for (ssize_t n; (n = read(fd[0], buf, sizeof buf)) != 0;) {
    if (n > 0) out.append(buf, static_cast<size_t>(n));
    if (n < 0 && errno != EINTR) break;
  }
  close(fd[0]);
  if (pid > 0) waitpid(pid, nullptr, 0);
  return out;
}

bool HelpMentions(const std::string& program, const std::string& option) {
  return ChildOutput({program, "--help"}).find(option) != std::string::npos;
}

long OwnRssKb() {
  std::ifstream in("/proc/self/status");
  std::string key;
  long value = 0;
  while (in >> key) {
    if (key == "VmRSS:") {
      in >> value;
      return value;
    }
  }
  return 0;
}

std::string CommandLine(const std::vector<std::string>& args) {
  std::string line;
  for (const std::string& a : args) {
    if (!line.empty()) line += ' ';
    const bool plain = !a.empty() && a.find_first_not_of(
                                         "abcdefghijklmnopqrstuvwxyz"
                                         "ABCDEFGHIJKLMNOPQRSTUVWXYZ"
                                         "0123456789_-+=./,:@") == std::string::npos;
    line += plain ? a : "'" + a + "'";
  }
  return line;
}

}  // namespace zelfin::bench
