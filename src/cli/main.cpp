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
#include <string>
#include <vector>

#include "app/operations.h"
#include "platform/collation.h"
#include "platform/errors.h"
#include "platform/numbers.h"
#include "platform/paths.h"

#include "zelfin_version.h"

namespace zelfin {
namespace {

constexpr const char* kUsage =
    "Usage: zelfin-cli [-m material|group|select|simplify] [-g NAME]... [-k PERCENT]\n"
    "                  [--refined] [--keep-materials] [-o DIR] [-q] FILE...\n"
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
    "              keeps the result closer to the input, and the mesh is written\n"
    "              in the input's own coordinates. Without it, the classic method\n"
    "              writes the historical output: coordinates scaled so that the\n"
    "              longest side spans -1 to 1, with eight decimals.\n"
    "  --keep-materials\n"
    "              modes material, group and select: each file also gets the\n"
    "              input's mtllib lines (pointing from the output folder to the\n"
    "              material libraries, which are never copied) and, by group, a\n"
    "              usemtl line wherever the material of its faces changes\n"
    "  -o DIR      the output folder (default: each input file's own folder);\n"
    "              created when it does not exist\n"
    "  -q          no progress line\n"
    "  --help      this text\n"
    "  --version   the program's version\n"
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
  bool refined = false;
  bool keep_materials = false;
  std::string out_dir;
  bool quiet = false;
  std::vector<std::string> files;
};

struct UsageError {
  std::string message;
};

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
    } else if (arg.rfind("-o", 0) == 0) {
      opt.out_dir = value_of(i, "-o");
      if (opt.out_dir.empty()) throw UsageError{"-o needs a folder"};
    } else if (arg == "--refined") {
      opt.refined = true;
    } else if (arg == "--keep-materials") {
      opt.keep_materials = true;
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
  DispatchFile(path, folder, operation, progress);
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
  try {
    return zelfin::Run(argc, argv);
  } catch (...) {
    std::fputs("zelfin-cli: unexpected internal error\n", stderr);
    return 1;
  }
}
