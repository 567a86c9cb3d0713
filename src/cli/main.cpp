// zelfin-cli: the operations of the window program, for scripts. It reads and
// writes no settings.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "app/file_summary.h"
#include "app/operations.h"
#include "platform/collation.h"
#include "platform/errors.h"
#include "platform/huge_pages.h"
#include "platform/numbers.h"
#include "platform/paths.h"

#include "zelfin_version.h"

namespace zelfin {
namespace {

constexpr const char* kUsage =
    "Usage: zelfin-cli [-m material|group|select|simplify] [-g NAME]... [-k PERCENT]\n"
    "                  [--refined [--max-error P]] [--measure] [--keep-materials]\n"
    "                  [-o DIR] [-q] FILE...\n"
    "\n"
    "Writes new OBJ files derived from each FILE, in order:\n"
    "  material   one file per material: BASE_<material>.obj (the default mode)\n"
    "  group      one file per group: BASE_<group>.obj\n"
    "  select     one file of the groups named with -g: BASE_Selected.obj\n"
    "  simplify   a simplified copy keeping PERCENT of the triangles:\n"
    "             BASE_Simplified<PERCENT>%.obj\n"
    "\n"
    "Options:\n"
    "  -m MODE     the mode (default material)\n"
    "  -g NAME     a group to write in mode select; repeat for more groups. Letter\n"
    "              case does not matter. None: the file holds only its header line.\n"
    "              A name the file has no group of is an error; nothing is written.\n"
    "  -k PERCENT  the share of triangles to keep in mode simplify, a whole number\n"
    "              from 1 to 100 (default 95)\n"
    "  --refined   mode simplify with the refined method: after every contraction\n"
    "              the edges around the vertex that stayed are priced again, which\n"
    "              keeps the result closer to the input. The mesh is written in\n"
    "              the input's own coordinates (a moved vertex with its line's\n"
    "              decimals plus three, at most nine significant digits unless\n"
    "              the line has more), with its texture coordinates, normals,\n"
    "              materials, groups and smoothing groups. Without it, the\n"
    "              classic method writes the historical output: coordinates\n"
    "              scaled so that the longest side spans -1 to 1, with eight\n"
    "              decimals.\n"
    "  --max-error P\n"
    "              with --refined: contract while the next contraction's error\n"
    "              stays within P percent of the bounding-box diagonal (a number\n"
    "              from 0 up) instead of down to a share of triangles; -k is then\n"
    "              a floor (default 5). The error bounded is the method's own\n"
    "              estimate (a mean distance to the planes of the triangles\n"
    "              merged) and how far the contraction moves the surface there;\n"
    "              the measured maximum in the summary may lie a little above\n"
    "              it. Output: BASE_SimplifiedMax<P>%.obj\n"
    "  --measure   mode simplify, classic method: measure the deviation too (the\n"
    "              refined method always does), against the input scaled into\n"
    "              the classic output's frame\n"
    "  --keep-materials\n"
    "              modes material, group and select: each file also gets the\n"
    "              input's mtllib lines (pointing from the output folder to the\n"
    "              material libraries, which are never copied) and, by group, a\n"
    "              usemtl line wherever the material of its faces changes\n"
    "  -o DIR      the output folder (default: each input file's own folder);\n"
    "              created when it does not exist\n"
    "  -q          no progress line and no summary\n"
    "  --help      this text\n"
    "  --version   the program's version\n"
    "\n"
    "After each file one line on standard output tells what was written:\n"
    "  bunny.obj \u2192 bunny_Simplified10%.obj: 69,451 \u2192 6,945 triangles in 0.21 s;\n"
    "    deviation max 0.29%, mean 0.021% of the size (max 0.00073 units)\n"
    "  scene.obj \u2192 5 files in 0.12 s            (one file: \u2192 scene_wood.obj)\n"
    "  scene.obj \u2192 scene_Selected.obj: 2 groups in 0.01 s\n"
    "  scene.obj: no materials; nothing written (mode group: no groups)\n"
    "The deviation is measured after the file is written, by sampling: points\n"
    "spread by area over each surface (16 per input triangle, 1,000 to 50,000)\n"
    "and every vertex of the output, each measured to the other surface. max\n"
    "is the largest distance (the Hausdorff distance), mean the mean of them\n"
    "all, both in percent of the input's bounding-box diagonal; units are the\n"
    "written file's. A simplification that cannot reach its triangle count\n"
    "says on standard error how many triangles it reached (the exit status\n"
    "stays 0).\n"
    "\n"
    "Files whose name does not end in .obj (any letter case) are skipped with a\n"
    "notice. Existing output files are replaced; an output is written whole or\n"
    "not at all.\n"
    "\n"
    "Exit status: 0 when every file was processed or skipped; 1 when a file\n"
    "failed (the rest are not processed); 2 for bad usage.\n";

// The modes by their names on the command line.
constexpr struct {
  const char* name;
  DivMode mode;
} kModes[] = {{"material", DivMode::kMaterial},
              {"group", DivMode::kGroup},
              {"select", DivMode::kGroupOption},
              {"simplify", DivMode::kSimplify}};

struct Options {
  DivMode mode = DivMode::kMaterial;
  std::vector<std::string> groups;
  int percent = 95;
  bool percent_given = false;
  bool refined = false;
  bool keep_materials = false;
  bool measure = false;
  std::optional<double> max_error;  // percent of the diagonal
  std::string out_dir;
  bool quiet = false;
  std::vector<std::string> files;
};

struct UsageError {
  std::string message;
};

// The value after a long option given as "--option VALUE".
std::string LongValue(int argc, char** argv, int& i, const char* flag) {
  if (i + 1 >= argc) throw UsageError{std::string("option ") + flag + " needs a value"};
  return argv[++i];
}

// --max-error's percentage: a number from 0 up.
double ErrorBudget(const std::string& text) {
  double value = 0;
  if (ReadCoordinate(text, value) != CoordinateRead::kNumber || !(value >= 0)) {
    throw UsageError{"--max-error takes a percentage of the model's size from 0 up, not " +
                     Quoted(text)};
  }
  return value + 0.0;  // -0 is 0
}

DivMode ModeNamed(const std::string& name) {
  for (const auto& m : kModes) {
    if (name == m.name) return m.mode;
  }
  throw UsageError{"unknown mode " + Quoted(name) +
                   " (choose material, group, select or simplify)"};
}

Options ParseOptions(int argc, char** argv) {
  Options opt;
  bool options_done = false;
  const auto value_of = [&](int& i, const char* flag) -> std::string {
    const std::string arg = argv[i];
    if (arg.size() > 2) return arg.substr(2);  // -mgroup
    if (i + 1 >= argc) throw UsageError{std::string("option ") + flag + " needs a value"};
    return argv[++i];
  };
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (options_done || arg.size() < 2 || arg[0] != '-') {
      opt.files.push_back(arg);
    } else if (arg == "--") {
      options_done = true;
    } else if (arg == "--help" || arg == "-h") {
      std::fputs(kUsage, stdout);
      std::exit(0);
    } else if (arg == "--version") {
      std::printf("zelfin-cli %s\n", ZELFIN_VERSION);
      std::exit(0);
    } else if (arg.rfind("-m", 0) == 0) {
      opt.mode = ModeNamed(value_of(i, "-m"));
    } else if (arg.rfind("-g", 0) == 0) {
      opt.groups.push_back(value_of(i, "-g"));
    } else if (arg.rfind("-k", 0) == 0) {
      const std::string text = value_of(i, "-k");
      int64_t percent = 0;
      if (!ParseInteger(text, percent) || percent < 1 || percent > 100) {
        throw UsageError{"-k takes a whole percentage from 1 to 100, not " + Quoted(text)};
      }
      opt.percent = static_cast<int>(percent);
      opt.percent_given = true;
    } else if (arg.rfind("-o", 0) == 0) {
      opt.out_dir = value_of(i, "-o");
      if (opt.out_dir.empty()) throw UsageError{"-o needs a folder"};
    } else if (arg == "--refined") {
      opt.refined = true;
    } else if (arg == "--keep-materials") {
      opt.keep_materials = true;
    } else if (arg == "--measure") {
      opt.measure = true;
    } else if (arg == "--max-error" || arg.rfind("--max-error=", 0) == 0) {
      opt.max_error = ErrorBudget(arg == "--max-error" ? LongValue(argc, argv, i, "--max-error")
                                                       : arg.substr(12));
    } else if (arg == "-q") {
      opt.quiet = true;
    } else {
      throw UsageError{"unknown option " + Quoted(arg)};
    }
  }
  if (opt.files.empty()) throw UsageError{"no input file given"};
  if (!opt.groups.empty() && opt.mode != DivMode::kGroupOption) {
    throw UsageError{"-g is for mode select only"};
  }
  if (opt.refined && opt.mode != DivMode::kSimplify) {
    throw UsageError{"--refined is for mode simplify only"};
  }
  if (opt.keep_materials && opt.mode == DivMode::kSimplify) {
    throw UsageError{"--keep-materials is for the modes material, group and select"};
  }
  if (opt.measure && opt.mode != DivMode::kSimplify) {
    throw UsageError{"--measure is for mode simplify only"};
  }
  if (opt.max_error && !opt.refined) {
    throw UsageError{"--max-error is for mode simplify with --refined only"};
  }
  // With a budget, -k is the floor: 5% unless given.
  if (opt.max_error && !opt.percent_given) opt.percent = 5;
  return opt;
}

// mkdir -p; raises with the folder's name when a piece cannot be made.
void MakeFolders(const std::string& dir) {
  std::string sofar;
  size_t pos = 0;
  while (pos <= dir.size()) {
    const size_t slash = dir.find('/', pos);
    const size_t end = slash == std::string::npos ? dir.size() : slash;
    sofar = dir.substr(0, end);
    if (!sofar.empty() && !DirectoryExists(sofar) && mkdir(sofar.c_str(), 0777) != 0 &&
        errno != EEXIST) {
      throw ZelfinError("Cannot create folder " + Quoted(sofar) + ". " + SystemReason(errno));
    }
    if (slash == std::string::npos) break;
    pos = slash + 1;
  }
  if (!DirectoryExists(dir)) {
    throw ZelfinError("Cannot create folder " + Quoted(dir) + ". " + SystemReason(ENOTDIR));
  }
}

// Ticks the groups named on the command line; an unknown name ends the run
// before anything is written.
GroupChooser ChooserFor(const std::vector<std::string>& wanted, const std::string& path) {
  return [wanted, path](const std::vector<std::string>& names, std::vector<bool>& selection) {
    NameCollator collator(UserCollationLocale());
    std::vector<std::string> keys;
    keys.reserve(names.size());
    for (const std::string& name : names) keys.push_back(collator.SortKey(name));
    for (const std::string& want : wanted) {
      const std::string key = collator.SortKey(want);
      bool found = false;
      for (size_t i = 0; i < names.size(); ++i) {
        if (keys[i] == key) {
          selection[i] = true;
          found = true;
        }
      }
      if (!found) {
        std::string list;
        for (const std::string& name : names) list += (list.empty() ? "" : ", ") + name;
        throw ZelfinError(
            "The file " + Quoted(path) + " has no group " + Quoted(want) + ". " +
            (names.empty() ? std::string("It has no groups.") : "Its groups: " + list + "."));
      }
    }
    return true;
  };
}

// One updating line on stderr: the step and its percentage.
class TerminalProgress final : public ProgressSink {
 public:
  void Show() override { shown_ = true; }
  void Hide() override {
    if (printed_) std::fputs("\r\033[K", stderr);
    printed_ = false;
    shown_ = false;
  }
  void SetCaption(const std::string& caption) override {
    caption_ = caption;  // the bar keeps its place, as in the window
    Draw();
  }
  void SetPosition(int position) override {
    position_ = position > 100 ? 100 : position;
    Draw();
  }
  void ProcessMessages() override {}

 private:
  void Draw() {
    if (!shown_) return;
    std::fprintf(stderr, "\r\033[K%s %d%%", caption_.c_str(), position_);
    std::fflush(stderr);
    printed_ = true;
  }
  std::string caption_;
  int position_ = 0;
  bool shown_ = false;
  bool printed_ = false;
};

void ProcessOne(const Options& opt, const std::string& path, ProgressSink& progress) {
  std::string folder = opt.out_dir.empty() ? std::string(ExtractFilePath(path)) : opt.out_dir;
  if (!folder.empty() && folder.back() != '/') folder += '/';
  Operation operation;
  operation.mode = opt.mode;
  operation.keep_ratio = opt.percent / 100.0;
  operation.SelectGroups = ChooserFor(opt.groups, path);
  operation.method = opt.refined ? SimplifyMethod::kRefined : SimplifyMethod::kClassic;
  operation.keep_materials = opt.keep_materials;
  operation.simplify.measure = opt.measure;
  operation.simplify.max_error = opt.max_error;
  const FileResult result = DispatchFile(path, folder, operation, progress);
  if (!opt.quiet) {
    std::printf("%s\n", SummaryLine(path, result).c_str());
    std::fflush(stdout);
  }
  const std::string notice = ShortfallNotice(path, result);
  if (!notice.empty()) std::fprintf(stderr, "zelfin-cli: %s\n", notice.c_str());
}

int Run(int argc, char** argv) {
  Options opt;
  try {
    opt = ParseOptions(argc, argv);
  } catch (const UsageError& e) {
    std::fprintf(stderr, "zelfin-cli: %s\nTry 'zelfin-cli --help'.\n", e.message.c_str());
    return 2;
  }
  TerminalProgress terminal;
  SilentProgress silent;
  ProgressSink& progress = (!opt.quiet && isatty(STDERR_FILENO))
                               ? static_cast<ProgressSink&>(terminal)
                               : static_cast<ProgressSink&>(silent);
  try {
    if (!opt.out_dir.empty()) MakeFolders(opt.out_dir);
    for (const std::string& path : opt.files) {
      if (!HasObjExtension(path)) {
        std::fprintf(stderr, "zelfin-cli: skipped \"%s\": not an .obj file\n", path.c_str());
        continue;
      }
      ProcessOne(opt, path, progress);
    }
  } catch (const std::bad_alloc&) {
    std::fprintf(stderr, "zelfin-cli: %s\n", kOutOfMemoryText);
    return 1;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "zelfin-cli: %s\n", e.what());
    return 1;
  }
  return 0;
}

}  // namespace
}  // namespace zelfin

int main(int argc, char** argv) {
  zelfin::ReturnLargeBlocksToSystem();
  try {
    return zelfin::Run(argc, argv);
  } catch (...) {
    std::fputs("zelfin-cli: unexpected internal error\n", stderr);
    return 1;
  }
}
