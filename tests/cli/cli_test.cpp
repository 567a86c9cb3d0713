// zelfin-cli end to end: exit codes, messages, skipped files, output folder.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <regex>

#include "support/files.h"
#include "support/temp_dir.h"

namespace zelfin {
namespace {

using test::FileExists;
using test::ListFolder;
using test::ReadBytes;
using test::TempDir;
using test::WriteBytes;

struct Result {
  int status = -1;
  std::string out, err;
};

// address_space: a limit in bytes on the program's address space (0: none).
Result RunCli(const std::vector<std::string>& args, const std::vector<std::string>& env = {},
              rlim_t address_space = 0) {
  TempDir io;
  const std::string out_path = io.Path("out"), err_path = io.Path("err");
  const pid_t pid = fork();
  if (pid == 0) {
    freopen(out_path.c_str(), "w", stdout);
    freopen(err_path.c_str(), "w", stderr);
    for (const std::string& e : env) putenv(const_cast<char*>(e.c_str()));
    if (address_space != 0) {
      const rlimit limit{address_space, address_space};
      setrlimit(RLIMIT_AS, &limit);
    }
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(ZELFIN_CLI_PATH));
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(ZELFIN_CLI_PATH, argv.data());
    _exit(127);
  }
  int wstatus = 0;
  waitpid(pid, &wstatus, 0);
  Result r;
  r.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : -1;
  r.out = ReadBytes(out_path);
  r.err = ReadBytes(err_path);
  return r;
}

// Materials in the first half, groups in the second: in mode material the
// group lines are ignored, and in the group modes the usemtl lines.
constexpr const char* kCube =
    "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\nusemtl red\nf 1 2 3\nusemtl blue\nf 1 3 4\n"
    "g top\nf 1 2 3\ng side\nf 2 3 4\n";

TEST(Cli, HelpVersionAndBadUsage) {
  Result r = RunCli({"--help"});
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.out.find("Usage: zelfin-cli"), std::string::npos);
  r = RunCli({"--version"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out.rfind("zelfin-cli ", 0), 0u);
  for (const auto& args : std::vector<std::vector<std::string>>{
           {},
           {"-m", "colour", "a.obj"},
           {"-m", "simplify", "-k", "0", "a.obj"},
           {"-k", "101", "a.obj"},
           {"-k", "5.5", "a.obj"},
           {"-x", "a.obj"},
           {"-g", "arm", "a.obj"},
           {"-m", "simplify", "--keep-materials", "a.obj"},
           {"a.obj", "-o"},
           {"-m", "simplify", "--max-error", "1", "a.obj"},
           {"--refined", "--max-error", "1", "a.obj"},
           {"-m", "simplify", "--refined", "--max-error", "-1", "a.obj"},
           {"-m", "simplify", "--refined", "--max-error=abc", "a.obj"},
           {"-m", "simplify", "--refined", "--max-error=", "a.obj"},
           {"-m", "simplify", "--refined", "a.obj", "--max-error"},
           {"--measure", "a.obj"}}) {
    r = RunCli(args);
    EXPECT_EQ(r.status, 2) << (args.empty() ? "" : args[0]);
    EXPECT_NE(r.err.find("zelfin-cli: "), std::string::npos);
  }
}

TEST(Cli, MaterialModeWritesBesideTheInput) {
  TempDir dir;
  WriteBytes(dir.Path("cube.obj"), kCube);
  const Result r = RunCli({dir.Path("cube.obj")});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(ListFolder(dir.Path("")), "cube.obj cube_blue.obj cube_red.obj");
  EXPECT_EQ(ReadBytes(dir.Path("cube_blue.obj")),
            "#cube_blue\r\nv 0 0 0\r\nv 1 0 0\r\nv 1 1 0\r\nv 0 1 0\r\nusemtl blue\r\n"
            "f 1 3 4\r\nf 1 2 3\r\nf 2 3 4\r\n");
}

TEST(Cli, GroupModeIntoOutputFolderSkippingOtherFiles) {
  TempDir dir;
  WriteBytes(dir.Path("a.obj"), kCube);
  WriteBytes(dir.Path("b.OBJ"), "v 0 0 0\nv 1 0 0\nv 0 1 0\ng arm\nf 1 2 3\n");
  WriteBytes(dir.Path("notes.txt"), "hello");
  const std::string out = dir.Path("out/deeper");
  const Result r = RunCli(
      {"-m", "group", "-o", out, dir.Path("a.obj"), dir.Path("notes.txt"), dir.Path("b.OBJ")});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.err.find("skipped \"" + dir.Path("notes.txt") + "\""), std::string::npos) << r.err;
  EXPECT_EQ(ListFolder(out), "a_side.obj a_top.obj b_arm.obj");
  // Faces before the first g line belong to the first group in sorted order.
  EXPECT_EQ(ReadBytes(out + "/a_side.obj"),
            "#a_side\r\nv 0 0 0\r\nv 1 0 0\r\nv 1 1 0\r\nv 0 1 0\r\ng side\r\n"
            "f 1 2 3\r\nf 1 3 4\r\nf 2 3 4\r\n");
  EXPECT_EQ(ReadBytes(out + "/a_top.obj"),
            "#a_top\r\nv 0 0 0\r\nv 1 0 0\r\nv 1 1 0\r\ng top\r\nf 1 2 3\r\n");
}

TEST(Cli, SelectModeTicksNamedGroupsAndRefusesUnknownOnes) {
  TempDir dir;
  WriteBytes(dir.Path("x.obj"), kCube);
  Result r = RunCli({"-m", "select", "-g", "SIDE", dir.Path("x.obj")});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(ReadBytes(dir.Path("x_Selected.obj")),
            "#x_Selected\r\nv 0 0 0\r\nv 1 0 0\r\nv 1 1 0\r\nv 0 1 0\r\ng side\r\n"
            "f 1 2 3\r\nf 1 3 4\r\nf 2 3 4\r\n");
  std::remove(dir.Path("x_Selected.obj").c_str());
  r = RunCli({"-m", "select", "-g", "top", "-g", "leg", dir.Path("x.obj")});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("has no group \"leg\". Its groups: side, top."), std::string::npos) << r.err;
  EXPECT_FALSE(FileExists(dir.Path("x_Selected.obj")));
  // No -g: the file holds its header alone.
  r = RunCli({"-m", "select", dir.Path("x.obj")});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(ReadBytes(dir.Path("x_Selected.obj")), "#x_Selected\r\n");
}

// A box of five materials divided into another folder with --keep-materials:
// every file names its library so that it is found from there, and every
// material it uses is defined in it; by group, each file says where the
// material changes.
TEST(Cli, KeptMaterialsAreFoundFromTheOutputFolder) {
  TempDir dir;
  mkdir(dir.Path("scene").c_str(), 0777);
  const std::vector<std::string> materials = {"white", "red", "green", "light", "glass"};
  std::string library, box = "mtllib box materials.mtl\n";
  for (int i = 0; i < 8; ++i)
    box += "v " + std::to_string(i & 1) + " " + std::to_string(i >> 1 & 1) + " " +
           std::to_string(i >> 2) + "\n";
  for (size_t m = 0; m < materials.size(); ++m) {
    library += "newmtl " + materials[m] + "\nKd 0.5 0.5 0.5\n";
    box += "g wall" + std::to_string(m % 2) + "\nusemtl " + materials[m] + "\nf 1 2 " +
           std::to_string(3 + m) + "\n";
  }
  WriteBytes(dir.Path("scene/box materials.mtl"), library);
  WriteBytes(dir.Path("scene/box.obj"), box);
  for (const char* mode : {"material", "group"}) {
    const std::string out = dir.Path(std::string("out/") + mode);
    const Result r = RunCli({"-m", mode, "--keep-materials", "-o", out, dir.Path("scene/box.obj")});
    ASSERT_EQ(r.status, 0) << r.err;
    const std::vector<std::string> files = test::FolderNames(out);
    EXPECT_EQ(files.size(), mode == std::string("material") ? 5u : 2u);
    for (const std::string& file : files) {
      const std::string text = ReadBytes(out + "/" + file);
      std::smatch m;
      ASSERT_TRUE(std::regex_search(text, m, std::regex("\r\nmtllib ([^\r]*)\r\n"))) << text;
      EXPECT_EQ(m[1].str(), "../../scene/box materials.mtl");
      const std::string defined = ReadBytes(out + "/" + m[1].str());
      ASSERT_FALSE(defined.empty()) << file;
      size_t used = 0;
      const std::regex usemtl("\nusemtl (\\w+)\r");
      for (std::sregex_iterator it(text.begin(), text.end(), usemtl), end; it != end;
           ++it, ++used) {
        EXPECT_NE(defined.find("newmtl " + (*it)[1].str() + "\n"), std::string::npos) << file;
      }
      EXPECT_EQ(used, mode == std::string("material") ? 1u
                      : file == "box_wall0.obj"       ? 3u
                                                      : 2u)
          << file;
    }
  }
  // Without the option, not a line of them.
  const Result r = RunCli({"-o", dir.Path("plain"), dir.Path("scene/box.obj")});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(ReadBytes(dir.Path("plain/box_red.obj")).find("mtllib"), std::string::npos);
}

TEST(Cli, FailureEndsTheBatch) {
  TempDir dir;
  WriteBytes(dir.Path("a.obj"), kCube);
  WriteBytes(dir.Path("c.obj"), kCube);
  const Result r = RunCli({dir.Path("a.obj"), dir.Path("missing.obj"), dir.Path("c.obj")});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "zelfin-cli: Cannot open file \"" + dir.Path("missing.obj") +
                       "\". No such file or directory.\n");
  EXPECT_TRUE(FileExists(dir.Path("a_red.obj")));
  EXPECT_FALSE(FileExists(dir.Path("c_red.obj")));
}

TEST(Cli, SimplifyWritesPointDecimalsWhateverTheLocale) {
  TempDir dir;
  std::string grid;
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x) grid += "v " + std::to_string(x) + " " + std::to_string(y) + " 0\n";
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 3; ++x) {
      const int a = y * 4 + x + 1;
      grid += "f " + std::to_string(a) + " " + std::to_string(a + 1) + " " + std::to_string(a + 5) +
              " " + std::to_string(a + 4) + "\n";
    }
  WriteBytes(dir.Path("grid.obj"), grid);
  const Result r = RunCli({"-m", "simplify", "-k", "50", "-o", dir.Path("o"), dir.Path("grid.obj")},
                          {"LC_ALL=de_DE.UTF-8", "LANG=de_DE.UTF-8"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "");  // not a terminal: no progress line
  const std::string text = ReadBytes(dir.Path("o/grid_Simplified50%.obj"));
  EXPECT_EQ(text.rfind("# Exported from Zelfin\r\n#", 0), 0u) << text;
  EXPECT_TRUE(std::regex_search(
      text, std::regex("\r\nv -?[01]\\.[0-9]{8} -?[01]\\.[0-9]{8} -0\\.50000000\r\n")))
      << text;
  EXPECT_EQ(text.find(',', text.find("faces")), std::string::npos);
}

// One line per file on standard output: what was written, and for a
// simplification the triangles, the time and the deviation; nothing with -q.
TEST(Cli, SummaryLineOfEveryFile) {
  TempDir dir;
  WriteBytes(dir.Path("cube.obj"), kCube);
  WriteBytes(dir.Path("plain.obj"), "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n");
  Result r = RunCli({"-o", dir.Path("o"), dir.Path("cube.obj"), dir.Path("plain.obj")});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(std::regex_match(
      r.out, std::regex(dir.Path("cube.obj") + " \u2192 2 files in [0-9]+\\.[0-9]{2} s\n" +
                        dir.Path("plain.obj") + ": no materials; nothing written\n")))
      << r.out;
  r = RunCli({"-m", "group", "-q", "-o", dir.Path("o"), dir.Path("cube.obj")});
  EXPECT_EQ(r.out, "");

  const std::string ball = dir.Path("ball.obj");
  std::string text;
  for (int i = 0; i <= 8; ++i) {
    for (int j = 0; j < 16; ++j) {
      const double t = M_PI * i / 8, u = 2 * M_PI * j / 16;
      text += "v " + std::to_string(std::sin(t) * std::cos(u)) + " " +
              std::to_string(std::sin(t) * std::sin(u)) + " " + std::to_string(std::cos(t)) + "\n";
    }
  }
  for (int i = 0; i < 8; ++i) {
    for (int j = 0; j < 16; ++j) {
      const int a = i * 16 + j + 1, b = i * 16 + (j + 1) % 16 + 1;
      text += "f " + std::to_string(a) + " " + std::to_string(b) + " " + std::to_string(b + 16) +
              " " + std::to_string(a + 16) + "\n";
    }
  }
  WriteBytes(ball, text);
  r = RunCli({"-m", "simplify", "-k", "50", "--refined", "-o", dir.Path("o"), ball});
  EXPECT_EQ(r.status, 0) << r.err;
  const std::string share = "[0-9]+(\\.[0-9]+)?(e-[0-9]+)?";
  EXPECT_TRUE(std::regex_match(
      r.out, std::regex(ball + " \u2192 ball_Simplified50%\\.obj: 224 \u2192 112 triangles in " +
                        "[0-9]+\\.[0-9]{2} s; deviation max " + share + "%, mean " + share +
                        "% of the size \\(max " + share + " units\\)\n")))
      << r.out;
  r = RunCli({"-m", "simplify", "-k", "50", "-o", dir.Path("o"), ball});  // classic: no deviation
  EXPECT_EQ(r.out.find("deviation"), std::string::npos) << r.out;
  r = RunCli({"-m", "simplify", "-k", "50", "--measure", "-o", dir.Path("o"), ball});
  EXPECT_NE(r.out.find("; deviation max "), std::string::npos) << r.out;
  r = RunCli({"-m", "simplify", "--refined", "--max-error", "0.5", "-o", dir.Path("o"), ball});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find(" \u2192 ball_SimplifiedMax0.5%.obj: 224 \u2192 "), std::string::npos)
      << r.out;
  EXPECT_TRUE(FileExists(dir.Path("o/ball_SimplifiedMax0.5%.obj")));
}

// A simplification that cannot reach its triangle count says so on standard
// error, and the run is still a success.
TEST(Cli, ShortOfTheTargetIsANoticeNotAFailure) {
  TempDir dir;
  WriteBytes(dir.Path("one.obj"), "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n");
  const Result r = RunCli({"-q", "-m", "simplify", "-k", "5", "--refined", dir.Path("one.obj")});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "zelfin-cli: " + dir.Path("one.obj") +
                       ": reached 1 triangle, not 0: no further contraction keeps the surface "
                       "sound\n");
}

// Running out of memory is a clear message and exit status 1, not an abort or
// the words of a C++ exception, and leaves no output behind; also where the
// helper thread of the simplification cannot be started.
TEST(Cli, OutOfMemoryIsReportedPlainly) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "AddressSanitizer needs more address space than the limit leaves";
#else
  TempDir dir;
  constexpr int n = 400;  // 318,402 triangles: far more than 90 MB can simplify
  std::string grid;
  for (int y = 0; y < n; ++y)
    for (int x = 0; x < n; ++x)
      grid += "v " + std::to_string(x) + " " + std::to_string(y) + " " +
              std::to_string((x * y) % 7) + "\n";
  for (int y = 0; y + 1 < n; ++y)
    for (int x = 0; x + 1 < n; ++x) {
      const std::string a = std::to_string(y * n + x + 1), b = std::to_string(y * n + x + 2),
                        c = std::to_string(y * n + x + n + 1),
                        d = std::to_string(y * n + x + n + 2);
      grid += "f " + a + " " + b + " " + c + "\nf " + b + " " + d + " " + c + "\n";
    }
  WriteBytes(dir.Path("big.obj"), grid);
  const Result r =
      RunCli({"-q", "-m", "simplify", "-o", dir.Path("o"), dir.Path("big.obj")}, {}, 90u << 20);
  EXPECT_EQ(r.status, 1) << r.err;
  EXPECT_EQ(r.err, "zelfin-cli: Out of memory. The file is too large to be processed here.\n");
  EXPECT_TRUE(ListFolder(dir.Path("o")).empty());
#endif
}

}  // namespace
}  // namespace zelfin
