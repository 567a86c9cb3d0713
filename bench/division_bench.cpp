// Division against a plain copy of the same file: generates a mesh of about
// 1M v, 1M vt, 1M vn lines and 2M triangles with full corners, its faces in
// interleaved stretches of many materials, then times /bin/cp of the file and
// zelfin-cli -m material on it, and compares the CLI's peak memory with the
// file's size.
//
// division_bench [--materials N] [--side S] [--runs R] [--dir DIR] [--keep 1]
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "common/division_mesh.h"
#include "division/divide_file.h"
#include "division/obj_model.h"

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

}  // namespace

int main(int argc, char** argv) {
  uint64_t materials = 500, side = 1000;
  int runs = 3;
  bool keep = false;
  std::string base = std::filesystem::temp_directory_path().string();
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string option = argv[i];
    if (option == "--materials") materials = std::strtoull(argv[i + 1], nullptr, 10);
    if (option == "--side") side = std::strtoull(argv[i + 1], nullptr, 10);
    if (option == "--runs") runs = std::atoi(argv[i + 1]);
    if (option == "--dir") base = argv[i + 1];
    if (option == "--keep") keep = std::atoi(argv[i + 1]) != 0;
  }
  materials = std::max<uint64_t>(materials, 1);
  const std::string work = base + "/zelfin-division-bench-" + std::to_string(getpid());
  const std::string out_dir = work + "/out/";
  std::filesystem::create_directories(out_dir);
  const std::string input = work + "/mesh.obj";

  zelfin::bench::WriteDivisionMesh(input, side, materials);
  const double input_mib =
      static_cast<double>(std::filesystem::file_size(input)) / (1024.0 * 1024.0);
  std::printf("input: %s, %.1f MiB, %llu v/vt/vn lines each, %llu triangles, %llu materials\n",
              input.c_str(), input_mib, static_cast<unsigned long long>(side * side),
              static_cast<unsigned long long>(zelfin::bench::DivisionMeshTriangles(side)),
              static_cast<unsigned long long>(materials));

  const bool have_cli = access(ZELFIN_CLI_PATH, X_OK) == 0;
  Run best_cp, best_cat, best_div;
  best_cp.seconds = best_cat.seconds = best_div.seconds = 1e30;
  for (int r = 0; r < runs; ++r) {
    // cp copies inside the kernel (copy_file_range) and never touches the
    // bytes; cat reads them into user space and writes them out again, the
    // least that any program which looks at the text must do.
    const Run cp = RunChild({"/bin/cp", input, out_dir + "copy.obj"});
    ClearFolder(out_dir);
    const Run cat = RunChild({"/bin/cat", input}, out_dir + "copy.obj");
    ClearFolder(out_dir);
    Run div;
    if (have_cli) {
      div = RunChild({ZELFIN_CLI_PATH, "-m", "material", "-q", "-o", out_dir, input});
    } else {
      const auto start = std::chrono::steady_clock::now();
      zelfin::DivideFile(input, out_dir, zelfin::kDivMaterial);
      div.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
      struct rusage usage {};
      getrusage(RUSAGE_SELF, &usage);
      div.peak_kib = usage.ru_maxrss;
      div.cpu_seconds = div.seconds;
      div.status = 0;
    }
    size_t files = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(out_dir)) ++files;
    ClearFolder(out_dir);
    std::printf(
        "run %d: cp %.3f s (cpu %.3f s)   cat %.3f s   division %.3f s (cpu %.3f s, exit %d, %zu "
        "files, "
        "peak %.1f MiB)\n",
        r + 1, cp.seconds, cp.cpu_seconds, cat.seconds, div.seconds, div.cpu_seconds, div.status,
        files, div.peak_kib / 1024.0);
    if (cp.seconds < best_cp.seconds) best_cp = cp;
    if (cat.seconds < best_cat.seconds) best_cat = cat;
    if (div.seconds < best_div.seconds) best_div = div;
  }
  std::printf("best of %d: cp %.3f s, %s %.3f s, ratio %.2f (goal <= 2.5)\n", runs, best_cp.seconds,
              have_cli ? "zelfin-cli -m material" : "DivideFile in-process", best_div.seconds,
              best_div.seconds / best_cp.seconds);
  std::printf("best of %d: cat %.3f s, division / cat %.2f\n", runs, best_cat.seconds,
              best_div.seconds / best_cat.seconds);
  std::printf("cpu time (user + system) of those runs: cp %.3f s, division %.3f s\n",
              best_cp.cpu_seconds, best_div.cpu_seconds);
  std::printf("peak memory %.1f MiB = %.2f x input (goal < 1.5)\n", best_div.peak_kib / 1024.0,
              best_div.peak_kib / 1024.0 / input_mib);
  if (!keep) std::filesystem::remove_all(work);
  return 0;
}
