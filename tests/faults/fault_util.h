#pragma once
// What the fault tests share: a small tmpfs mounted for one test, a child
// process that runs without root's right to read every file, and inputs big
// enough to overflow a small disk.
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <functional>
#include <string>

#include "support/temp_dir.h"

namespace zelfin::test {

// A tmpfs of the given size on a fresh folder, unmounted when the object goes.
// ok() is false (with why()) where mounting is not permitted.
class TmpfsMount {
 public:
  explicit TmpfsMount(const std::string& size) {
    mkdir(dir_.Path("mnt").c_str(), 0755);
    const std::string options = "size=" + size + ",mode=0755";
    if (mount("tmpfs", dir_.Path("mnt").c_str(), "tmpfs", 0, options.c_str()) == 0) {
      mounted_ = true;
    } else {
      why_ = std::string("cannot mount a tmpfs: ") + std::strerror(errno);
    }
  }
  ~TmpfsMount() {
    if (mounted_) umount2(dir_.Path("mnt").c_str(), MNT_DETACH);
  }
  TmpfsMount(const TmpfsMount&) = delete;
  TmpfsMount& operator=(const TmpfsMount&) = delete;

  bool ok() const { return mounted_; }
  const std::string& why() const { return why_; }
  // The mount point with a trailing "/".
  std::string Folder() const { return dir_.Path("mnt") + "/"; }
  bool MakeReadOnly() {
    return mount("tmpfs", dir_.Path("mnt").c_str(), "tmpfs", MS_REMOUNT | MS_RDONLY, nullptr) == 0;
  }

 private:
  TempDir dir_;
  bool mounted_ = false;
  std::string why_;
};

// What a child process gave back, and its peak memory.
struct ChildResult {
  std::string text;
  long max_rss_kb = 0;
};

// Runs fn in a child process, as the user "nobody" when drop_root is set and
// this process is root (so that file modes bind); returns what fn returned,
// or a note of how the child ended.
inline ChildResult RunInChild(const std::function<std::string()>& fn, bool drop_root) {
  int pipe_fds[2];
  if (pipe(pipe_fds) != 0) return {"no pipe"};
  const pid_t pid = fork();
  if (pid == 0) {
    close(pipe_fds[0]);
    std::string result;
    if (drop_root && geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) {
      result = "cannot drop root";
    } else {
      result = fn();
    }
    (void)!write(pipe_fds[1], result.data(), result.size());
    _exit(0);
  }
  close(pipe_fds[1]);
  ChildResult result;
  char buf[4096];
  ssize_t got;
  while ((got = read(pipe_fds[0], buf, sizeof buf)) > 0) {
    result.text.append(buf, static_cast<size_t>(got));
  }
  close(pipe_fds[0]);
  int status = 0;
  struct rusage usage {};
  wait4(pid, &status, 0, &usage);
  result.max_rss_kb = usage.ru_maxrss;
  if (!WIFEXITED(status)) result.text = "child crashed: " + result.text;
  return result;
}

inline std::string RunWithoutRoot(const std::function<std::string()>& fn) {
  return RunInChild(fn, true).text;
}

// An n by n grid of vertices in the z = x * y saddle, two triangles per
// square, under material "red" and group "grid": output of every mode is
// large (about 70 bytes a vertex for n = 100, 700 KB).
inline std::string GridMesh(int n) {
  std::string text = "usemtl red\ng grid\n";
  for (int y = 0; y < n; ++y) {
    for (int x = 0; x < n; ++x) {
      text += "v " + std::to_string(x * 0.01) + " " + std::to_string(y * 0.01) + " " +
              std::to_string(x * y * 0.0001) + "\n";
    }
  }
  for (int y = 0; y + 1 < n; ++y) {
    for (int x = 0; x + 1 < n; ++x) {
      const int a = y * n + x + 1;
      text += "f " + std::to_string(a) + " " + std::to_string(a + 1) + " " +
              std::to_string(a + n + 1) + "\n";
      text += "f " + std::to_string(a) + " " + std::to_string(a + n + 1) + " " +
              std::to_string(a + n) + "\n";
    }
  }
  return text;
}

}  // namespace zelfin::test
