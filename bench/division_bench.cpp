// Division against a plain copy of the same file: generates a mesh of about
// 1M v, 1M vt, 1M vn lines and 2M triangles with full corners, its faces in
// interleaved stretches of N materials and, offset from those, of N groups;
// then times /bin/cp and cat of the file and zelfin-cli in the modes material,
// group and select (every fourth group) on it, and compares each mode's time
// with cp's and its peak memory with the file's size.
//
// division_bench [--materials N[,N]...] [--side S] [--runs R] [--dir DIR] [--keep 1] [--cli PATH]
//                [--before PATH] [--replace 1] [--cold 1]
//
// Several counts of materials (--materials 5,1000) make a file for each, one
// after another, and compare the modes' best times of the last with the first.
// --cli times another build of zelfin-cli instead; --before times another
// build beside it in the same runs, its rows marked "-b". --replace 1 keeps
// every mode's files in a folder of its own, written once before the timed
// runs, so that each timed run replaces the files of the one before, as a
// user's second run into the same folder does (cp copies over its last copy).
// --cold 1 drops the input from the system's cache before every command, cp's
// and cat's too, so that each reads it from the disk, as the first run after a
// file was copied in or the machine started does.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "common/division_mesh.h"
#include "common/page_cost.h"
#include "platform/text_file.h"

namespace {

struct Run {
  double seconds = 0;
  double cpu_seconds = 0;  // user + system: what a loaded machine cannot inflate much
  long peak_kib = 0;
  int status = -1;
};

// Runs argv as a child; its standard output goes to stdout_path when given.
Run RunChild(const std::vector<std::string>& argv, const std::string& stdout_path = "") {
  std::vector<char*> args;
  for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  const auto start = std::chrono::steady_clock::now();
  const pid_t pid = fork();
  if (pid == 0) {
    if (!stdout_path.empty()) {
      const int fd = open(stdout_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
      if (fd < 0 || dup2(fd, STDOUT_FILENO) < 0) _exit(126);
    }
    execv(args[0], args.data());
    _exit(127);
  }
  Run run;
  int status = 0;
  struct rusage usage {};
  wait4(pid, &status, 0, &usage);
  run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  run.cpu_seconds = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                    1e-6 * static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec);
  run.peak_kib = usage.ru_maxrss;
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

void ClearFolder(const std::string& folder) {
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    std::filesystem::remove(entry.path());
  }
}

// One way of dividing the file: the arguments of zelfin-cli before the output
// folder and input, and the best run.
struct Mode {
  std::string name;
  std::vector<std::string> args;
  std::string cli;
  Run best;
  size_t files = 0;
};

// The three modes run by cli, each followed by the same run by before (when
// given) as "<mode>-b", so that the two builds take turns.
std::vector<Mode> ModesFor(uint64_t materials, const std::string& cli, const std::string& before) {
  std::vector<std::string> select = {"-m", "select"};
  for (uint64_t g = 0; g < materials; g += 4) {
    select.push_back("-g");
    select.push_back("group_" + std::to_string(g));
  }
  const std::vector<std::pair<std::string, std::vector<std::string>>> kinds = {
      {"material", {"-m", "material"}}, {"group", {"-m", "group"}}, {"select", select}};
  std::vector<Mode> modes;
  for (const auto& [name, args] : kinds) {
    modes.push_back({name, args, cli, {}, 0});
    if (!before.empty()) modes.push_back({name + "-b", args, before, {}, 0});
  }
  for (Mode& mode : modes) mode.best.seconds = 1e30;
  return modes;
}

// Drops the file's pages from the system's cache (written out first: only
// clean pages can go).
void Forget(const std::string& path) {
  const int fd = open(path.c_str(), O_RDONLY);
  if (fd < 0) return;
  fdatasync(fd);
  posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
  close(fd);
}

Run DivideOnce(const Mode& mode, const std::string& out_dir, const std::string& input, bool cold) {
  if (cold) Forget(input);
  std::vector<std::string> argv = {mode.cli};
  argv.insert(argv.end(), mode.args.begin(), mode.args.end());
  argv.insert(argv.end(), {"-q", "-o", out_dir, input});
  return RunChild(argv);
}

size_t CountFiles(const std::string& folder) {
  size_t files = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(folder)) ++files;
  return files;
}

// Times cp, cat and every mode on a generated file with this many materials
// and groups; prints each run and the best, and returns the modes' best runs.
// Where a mode's files go: with replace, a folder of its own that keeps them.
std::string FolderOf(const Mode& mode, const std::string& out_dir, bool replace) {
  if (!replace) return out_dir;
  const std::string folder = out_dir + mode.name + "/";
  std::filesystem::create_directories(folder);
  return folder;
}

std::vector<Mode> BenchFile(const std::string& work, uint64_t materials, uint64_t side, int runs,
                            const std::string& cli, const std::string& before, bool keep,
                            bool replace, bool cold) {
  const std::string out_dir = work + "/out/";
  std::filesystem::create_directories(out_dir);
  const std::string input = work + "/mesh-" + std::to_string(materials) + ".obj";
  zelfin::bench::WriteDivisionMesh(input, side, materials);
  const double input_mib =
      static_cast<double>(std::filesystem::file_size(input)) / (1024.0 * 1024.0);
  std::printf(
      "input: %s, %.1f MiB, %llu v/vt/vn lines each, %llu triangles, %llu materials and groups\n",
      input.c_str(), input_mib, static_cast<unsigned long long>(side * side),
      static_cast<unsigned long long>(2 * (side - 1) * (side - 1)),
      static_cast<unsigned long long>(materials));

  std::vector<Mode> modes = ModesFor(materials, cli, before);
  Run best_cp, best_cat;
  best_cp.seconds = best_cat.seconds = 1e30;
  if (replace) {
    RunChild({"/bin/cp", input, out_dir + "copy.obj"});
    for (const Mode& mode : modes) DivideOnce(mode, FolderOf(mode, out_dir, replace), input, cold);
  }
  for (int r = 0; r < runs; ++r) {
    // cp copies inside the kernel (copy_file_range) and never touches the
    // bytes; cat reads them into user space and writes them out again, the
    // least that any program which looks at the text must do.
    if (cold) Forget(input);
    const Run cp = RunChild({"/bin/cp", input, out_dir + "copy.obj"});
    if (!replace) ClearFolder(out_dir);
    if (cold) Forget(input);
    const Run cat = RunChild({"/bin/cat", input}, out_dir + (replace ? "cat.obj" : "copy.obj"));
    if (!replace) ClearFolder(out_dir);
    std::printf("run %d: cp %.3f s (cpu %.3f s)   cat %.3f s\n", r + 1, cp.seconds, cp.cpu_seconds,
                cat.seconds);
    if (cp.seconds < best_cp.seconds) best_cp = cp;
    if (cat.seconds < best_cat.seconds) best_cat = cat;
    for (Mode& mode : modes) {
      const std::string folder = FolderOf(mode, out_dir, replace);
      const Run div = DivideOnce(mode, folder, input, cold);
      mode.files = CountFiles(folder);
      if (!replace) ClearFolder(folder);
      std::printf("       %-10s %.3f s (cpu %.3f s, exit %d, %zu files, peak %.1f MiB)\n",
                  mode.name.c_str(), div.seconds, div.cpu_seconds, div.status, mode.files,
                  div.peak_kib / 1024.0);
      if (div.seconds < mode.best.seconds) mode.best = div;
    }
  }
  std::printf("zelfin-cli: %s\n", cli.c_str());
  if (!before.empty()) std::printf("-b: %s\n", before.c_str());
  std::printf("best of %d: cp %.3f s (cpu %.3f s), cat %.3f s\n", runs, best_cp.seconds,
              best_cp.cpu_seconds, best_cat.seconds);
  std::printf("%-10s %8s %8s %10s %10s %12s %10s\n", "mode", "seconds", "cpu s", "/ cp", "/ cat",
              "peak MiB", "x input");
  for (const Mode& mode : modes) {
    std::printf("%-10s %8.3f %8.3f %10.2f %10.2f %12.1f %10.2f\n", mode.name.c_str(),
                mode.best.seconds, mode.best.cpu_seconds, mode.best.seconds / best_cp.seconds,
                mode.best.seconds / best_cat.seconds, mode.best.peak_kib / 1024.0,
                mode.best.peak_kib / 1024.0 / input_mib);
  }
  std::printf("goal: every mode within 3 x cp, peak at most 1.5 x input%s\n",
              cold ? " (each command read the input from the disk)" : "");
  if (!keep) std::filesystem::remove(input);
  return modes;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<uint64_t> counts = {500};
  uint64_t side = 1000;
  int runs = 3;
  bool keep = false, replace = false, cold = false;
  std::string base = std::filesystem::temp_directory_path().string();
  std::string cli = ZELFIN_CLI_PATH;
  std::string before;
  const auto usage = [&] {
    std::fprintf(stderr,
                 "usage: %s [--materials N[,N]...] [--side S] [--runs R] [--dir DIR] [--keep 1]\n"
                 "       [--cli PATH] [--before PATH] [--replace 1] [--cold 1]\n",
                 argv[0]);
    return 2;
  };
  for (int i = 1; i < argc; i += 2) {
    // Every option takes a value: anything else (--help too) is told how.
    if (i + 1 == argc) return usage();
    const std::string option = argv[i], value = argv[i + 1];
    if (option == "--materials") {
      counts.clear();
      for (size_t pos = 0; pos < value.size();) {
        const size_t comma = std::min(value.find(',', pos), value.size());
        counts.push_back(std::max<uint64_t>(
            std::strtoull(value.substr(pos, comma - pos).c_str(), nullptr, 10), 1));
        pos = comma + 1;
      }
    } else if (option == "--side") {
      side = std::strtoull(value.c_str(), nullptr, 10);
    } else if (option == "--runs") {
      runs = std::atoi(value.c_str());
    } else if (option == "--dir") {
      base = value;
    } else if (option == "--keep") {
      keep = std::atoi(value.c_str()) != 0;
    } else if (option == "--cli") {
      cli = value;
    } else if (option == "--before") {
      before = value;
    } else if (option == "--replace") {
      replace = std::atoi(value.c_str()) != 0;
    } else if (option == "--cold") {
      cold = std::atoi(value.c_str()) != 0;
    } else {
      return usage();
    }
  }
  if (counts.empty()) counts = {500};
  const std::string work = base + "/zelfin-division-bench-" + std::to_string(getpid());
  zelfin::bench::PrintPageCost();
  std::vector<std::vector<Mode>> results;
  for (const uint64_t materials : counts) {
    results.push_back(BenchFile(work, materials, side, runs, cli, before, keep, replace, cold));
    std::printf("\n");
  }
  // Many names against few: the work per file must not grow with their count.
  if (counts.size() > 1) {
    std::printf("%-10s", "mode");
    for (const uint64_t materials : counts)
      std::printf(" %9llu", static_cast<unsigned long long>(materials));
    std::printf(" %12s\n", "last/first");
    for (size_t m = 0; m < results[0].size(); ++m) {
      std::printf("%-10s", results[0][m].name.c_str());
      for (const std::vector<Mode>& modes : results) std::printf(" %8.3fs", modes[m].best.seconds);
      std::printf(" %12.2f\n", results.back()[m].best.seconds / results[0][m].best.seconds);
    }
    std::printf("goal: %llu materials no slower than 1.5 x %llu\n",
                static_cast<unsigned long long>(counts.back()),
                static_cast<unsigned long long>(counts.front()));
  }
  if (!keep) std::filesystem::remove_all(work);
  return 0;
}
