// How long the window program keeps its events waiting while it works: runs
// the real main window (TForm1 with the real dialogs) on Qt's offscreen
// platform over a large simplification and a large division, each dropped on
// it as a user would, while a 10 ms timer notes the longest time between two
// of its ticks. That gap is how long a click or a repaint would have waited.
// Goal: no gap above 50 ms, or above 100 ms with --busy (every core kept busy
// by another program, as on a busy desktop). On a busy machine part of a gap is
// time the window's thread spent waiting for a processor; the kernel counts it
// (/proc/thread-self/schedstat), and each run also shows its longest gap
// without that wait: the program's own share.
//
// ui_latency_bench [--quick] [--busy] [--runs N] [--gaps] [--dir DIR]
//   --quick  a 300k-triangle simplification and a ~16 MiB division instead of
//            3M triangles and ~200 MiB
//   --busy   one thread per core spins beside the runs
//   --runs   the jobs N times over (default 1); the closing note gives each
//   --gaps   also lists every gap above the goal as it ends, with the step
//   --stacks MS  prints where the window's thread stands once a gap lasts MS ms
//   --dir    where the generated files go (default: the temporary folder)
#include <dlfcn.h>
#include <execinfo.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "app/settings.h"
#include "common/division_mesh.h"
#include "dialogs/about_box.h"
#include "dialogs/diet_dlg.h"
#include "dialogs/select_dlg.h"
#include "dialogs/setup_dlg.h"
#include "platform/text_file.h"
#include "support/mesh_gen.h"
#include "window/main_window.h"

namespace {

namespace fs = std::filesystem;

constexpr int kTickMs = 10;
constexpr long kGoalMs = 50;
constexpr long kBusyGoalMs = 100;

struct Options {
  bool quick = false;
  bool busy = false;
  int runs = 1;
  bool list_gaps = false;
  long stacks_ms = 0;  // 0: no stacks
  std::string base = fs::temp_directory_path().string();
  long Goal() const { return busy ? kBusyGoalMs : kGoalMs; }
};

// What one run saw: its length, the timer's ticks and the longest wait
// between two of them (the run's start and end count as ticks).
struct Gaps {
  double seconds = 0;
  long ticks = 0;
  long max_ms = 0;
  long max_own_ms = 0;     // the longest gap less the time spent waiting for a processor
  double max_at = 0;       // seconds into the run where the longest gap began
  QString step, end_step;  // the progress window's caption then, and where it ended
};

// How long this thread has waited for a processor while it could have run,
// in ms; 0 where the kernel does not tell.
double RunQueueWaitMs() {
  std::ifstream stat("/proc/thread-self/schedstat");
  long long on_cpu_ns = 0, waited_ns = 0;
  if (!(stat >> on_cpu_ns >> waited_ns)) return 0;
  return static_cast<double>(waited_ns) / 1e6;
}

// Where the window's thread stands once the event loop has had no turn for a
// while: a watchdog thread asks it for its stack with a signal, once per gap,
// and prints the frames of this program by function and line (addr2line).
void* g_frames[48];
std::atomic<int> g_depth{-1};

void OnStackWanted(int) {
  g_depth = backtrace(g_frames, 48);
}

class StallSampler {
 public:
  explicit StallSampler(long after_ms) : after_ms_(after_ms), window_(pthread_self()) {
    if (after_ms_ == 0) return;
    backtrace(g_frames, 1);  // loads what backtrace needs before any signal
    struct sigaction action {};
    action.sa_handler = OnStackWanted;
    sigemptyset(&action.sa_mask);
    sigaction(SIGURG, &action, nullptr);
    watchdog_ = std::thread([this] { Watch(); });
  }
  ~StallSampler() {
    stop_ = true;
    if (watchdog_.joinable()) watchdog_.join();
  }
  void Ticked() { last_tick_ = Now(); }
  void Active(bool on) {
    Ticked();
    active_ = on;
  }

 private:
  static long Now() {
    return static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                 std::chrono::steady_clock::now().time_since_epoch())
                                 .count());
  }

  void Watch() {
    long sampled_tick = -1;
    while (!stop_) {
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
      const long tick = last_tick_;
      if (!active_ || tick == sampled_tick || Now() - tick < after_ms_) continue;
      sampled_tick = tick;
      g_depth = -1;
      pthread_kill(window_, SIGURG);
      for (int i = 0; i < 100 && g_depth < 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
      if (g_depth >= 0) Print(g_depth);
    }
  }

  // "f(long, argument, list) at file.cpp:12" as "f at file.cpp:12".
  static std::string Short(std::string frame) {
    const std::string anonymous = "(anonymous namespace)::";
    for (size_t at; (at = frame.find(anonymous)) != std::string::npos;)
      frame.erase(at, anonymous.size());
    const size_t open = frame.find('('), at = frame.find(" at ");
    if (open != std::string::npos && at != std::string::npos && open < at)
      frame.erase(open, at - open);
    return frame;
  }

  static void Print(int depth) {
    std::string offsets;
    for (int i = 2; i < depth; ++i) {  // past the handler and the signal frame
      Dl_info info{};
      if (dladdr(g_frames[i], &info) == 0 || info.dli_fname == nullptr) continue;
      char hex[32];
      std::snprintf(hex, sizeof hex, " %#lx",
                    static_cast<unsigned long>(static_cast<char*>(g_frames[i]) -
                                               static_cast<char*>(info.dli_fbase) - 1));
      if (std::string(info.dli_fname).find("ui_latency_bench") != std::string::npos) offsets += hex;
    }
    const std::string command =
        "addr2line -f -C -s -p -e /proc/" + std::to_string(getpid()) + "/exe" + offsets;
    std::string where;
    if (FILE* out = popen(command.c_str(), "r")) {
      char line[512];
      while (std::fgets(line, sizeof line, out)) {
        std::string frame(line);
        if (!frame.empty() && frame.back() == '\n') frame.pop_back();
        if (frame.find("ProcessFile") != std::string::npos) break;
        where += (where.empty() ? "" : " <- ") + Short(frame);
      }
      pclose(out);
    }
    std::printf("    window thread stalled: %s\n", where.c_str());
    std::fflush(stdout);
  }

  const long after_ms_;
  const pthread_t window_;
  std::atomic<long> last_tick_{Now()};
  std::atomic<bool> stop_{false}, active_{false};
  std::thread watchdog_;
};

// A 10 ms timer whose ticks are delivered only when the event loop gets a
// turn, during the run as much as between runs.
class GapMeter {
 public:
  GapMeter(const zelfin::TDietDlg& progress, bool list_gaps, long goal_ms, long stacks_ms)
      : progress_(progress), list_gaps_(list_gaps), goal_ms_(goal_ms), sampler_(stacks_ms) {
    timer_.setTimerType(Qt::PreciseTimer);
    timer_.setInterval(kTickMs);
    QObject::connect(&timer_, &QTimer::timeout, [this] { Tick(); });
  }

  void Start() {
    gaps_ = Gaps();
    clock_.start();
    last_ms_ = 0;
    last_wait_ms_ = RunQueueWaitMs();
    step_ = Step();
    timer_.start();
    sampler_.Active(true);
  }

  Gaps Stop() {
    sampler_.Active(false);
    Tick();
    timer_.stop();
    gaps_.seconds = static_cast<double>(clock_.elapsed()) / 1000.0;
    return gaps_;
  }

 private:
  QString Step() const {
    return progress_.isVisible() ? progress_.windowTitle() : QStringLiteral("no progress window");
  }

  void Tick() {
    sampler_.Ticked();
    const qint64 now = clock_.elapsed();
    const double wait_ms = RunQueueWaitMs();
    const long own = std::lround(static_cast<double>(now - last_ms_) - (wait_ms - last_wait_ms_));
    gaps_.max_own_ms = std::max(gaps_.max_own_ms, own);
    last_wait_ms_ = wait_ms;
    if (list_gaps_ && now - last_ms_ > goal_ms_) {
      std::printf("  gap %lld ms (own %ld ms) at %.2f s: %s to %s\n",
                  static_cast<long long>(now - last_ms_), own,
                  static_cast<double>(last_ms_) / 1000.0, step_.toUtf8().constData(),
                  Step().toUtf8().constData());
    }
    if (now - last_ms_ > gaps_.max_ms) {
      gaps_.max_ms = static_cast<long>(now - last_ms_);
      gaps_.max_at = static_cast<double>(last_ms_) / 1000.0;
      gaps_.step = step_;
      gaps_.end_step = Step();
    }
    ++gaps_.ticks;
    last_ms_ = now;
    step_ = Step();
  }

  const zelfin::TDietDlg& progress_;
  const bool list_gaps_;
  const long goal_ms_;
  StallSampler sampler_;
  QTimer timer_;
  QElapsedTimer clock_;
  qint64 last_ms_ = 0;
  double last_wait_ms_ = 0;
  QString step_;
  Gaps gaps_;
};

// One file dropped on the window with the settings of one mode.
struct Job {
  std::string label;
  std::string input;
  int32_t div_index = 0;
  int32_t diet_index = 0;
};

double SecondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

Job SimplificationJob(const std::string& folder, int64_t triangles) {
  const auto start = std::chrono::steady_clock::now();
  const zelfin::gen::GenMesh mesh = zelfin::gen::LargeClosedMesh(11, triangles);
  Job job{"simplify classic at keep 50%, " + std::to_string(mesh.TriangleCount()) + " triangles",
          folder + "/torus.obj", 3, 9};
  {
    zelfin::AtomicFileWriter writer(job.input);
    writer.Write(zelfin::gen::PlainObj(mesh));
    writer.Commit();
  }
  std::printf("generated %s: %.1f MiB in %.1f s\n", job.input.c_str(),
              static_cast<double>(fs::file_size(job.input)) / (1 << 20), SecondsSince(start));
  return job;
}

Job DivisionJob(const std::string& folder, uint64_t side, uint64_t materials) {
  const auto start = std::chrono::steady_clock::now();
  Job job{"divide by material, " + std::to_string(side * side) + " v/vt/vn lines, " +
              std::to_string(zelfin::bench::DivisionMeshTriangles(side)) + " triangles, " +
              std::to_string(materials) + " materials",
          folder + "/grid.obj", 0, 0};
  zelfin::bench::WriteDivisionMesh(job.input, side, materials);
  std::printf("generated %s: %.1f MiB in %.1f s\n", job.input.c_str(),
              static_cast<double>(fs::file_size(job.input)) / (1 << 20), SecondsSince(start));
  return job;
}

// The outputs of a run beside its input, removed; returns how many there were.
int RemoveOutputs(const std::string& input) {
  int removed = 0;
  for (const fs::directory_entry& entry : fs::directory_iterator(fs::path(input).parent_path())) {
    if (entry.path() == input) continue;
    fs::remove(entry.path());
    ++removed;
  }
  return removed;
}

Options ParseOptions(int argc, char** argv) {
  Options options;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--quick") {
      options.quick = true;
    } else if (arg == "--busy") {
      options.busy = true;
    } else if (arg == "--runs" && i + 1 < argc) {
      options.runs = std::max(1, std::atoi(argv[++i]));
    } else if (arg == "--stacks" && i + 1 < argc) {
      options.stacks_ms = std::max(1, std::atoi(argv[++i]));
    } else if (arg == "--gaps") {
      options.list_gaps = true;
    } else if (arg == "--dir" && i + 1 < argc) {
      options.base = argv[++i];
    } else {
      std::fprintf(stderr,
                   "usage: ui_latency_bench [--quick] [--busy] [--runs N] [--gaps] [--stacks MS] "
                   "[--dir DIR]\n");
      std::exit(2);
    }
  }
  return options;
}

// The progress window's caption where the longest gap began, and where it
// ended when that differs.
std::string Where(const Gaps& gaps) {
  QString where = gaps.step;
  if (gaps.end_step != gaps.step) where += QStringLiteral(" to ") + gaps.end_step;
  return where.toStdString();
}

// Each job in its own folder under work, so that its outputs are easy to find.
std::vector<Job> MakeJobs(const Options& options, const std::string& work) {
  fs::create_directories(work + "/simplify");
  fs::create_directories(work + "/divide");
  return {SimplificationJob(work + "/simplify", options.quick ? 300000 : 3000000),
          DivisionJob(work + "/divide", options.quick ? 300 : 1000, 500)};
}

void Settle() {
  for (int i = 0; i < 5; ++i) QCoreApplication::processEvents();
}

// The window program as gui_main puts it together, the setup dialog off and
// the outputs beside the inputs.
struct Window {
  explicit Window(zelfin::MainWindowHooks hooks)
      : form({}, std::move(hooks)), about(&form), select(&form), setup(&form), diet(&form) {
    form.UseDialogs(about, select, setup, diet);
    zelfin::Settings& settings = form.CurrentSettings();
    settings.isDispSetupDlg = false;
    settings.SaveType = zelfin::kSaveSameFolder;
    settings.DietMethod = 0;
    form.show();
    Settle();
  }

  zelfin::TForm1 form;  // first made, last gone: its destruction saves the settings
  zelfin::TAboutBox about;
  zelfin::TSelectDlg select;
  zelfin::TSetupDlg setup;
  zelfin::TDietDlg diet;
};

// One thread per core spinning until the object goes: a desktop whose other
// programs keep every core busy.
class BusyCores {
 public:
  explicit BusyCores(bool on) {
    const unsigned cores = on ? std::max(1u, std::thread::hardware_concurrency()) : 0;
    for (unsigned i = 0; i < cores; ++i) {
      spinners_.emplace_back([this] {
        volatile uint64_t spins = 0;
        while (!stop_.load(std::memory_order_relaxed)) spins = spins + 1;
      });
    }
  }
  ~BusyCores() {
    stop_ = true;
    for (std::thread& spinner : spinners_) spinner.join();
  }
  size_t Count() const { return spinners_.size(); }

 private:
  std::atomic<bool> stop_{false};
  std::vector<std::thread> spinners_;
};

// Drops the job's file on the window and prints what the timer saw.
Gaps RunJob(Window& window, const Job& job, GapMeter& meter, long goal_ms) {
  zelfin::Settings& settings = window.form.CurrentSettings();
  settings.DivIndex = job.div_index;
  settings.DietIndex = job.diet_index;
  meter.Start();
  window.form.DropDst1FileDrop({job.input});
  const Gaps gaps = meter.Stop();
  const int outputs = RemoveOutputs(job.input);
  std::printf(
      "%s: %.1f s, %d files written, %ld ticks, max gap %ld ms at %.2f s (%s)%s, without "
      "waits for a processor %ld ms\n",
      job.label.c_str(), gaps.seconds, outputs, gaps.ticks, gaps.max_ms, gaps.max_at,
      Where(gaps).c_str(), gaps.max_ms > goal_ms ? " > goal" : "", gaps.max_own_ms);
  std::fflush(stdout);
  return gaps;
}

}  // namespace

int main(int argc, char** argv) {
  const Options options = ParseOptions(argc, argv);
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  // The main window loads and saves the settings: keep the user's own away.
  QTemporaryDir config;
  qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
  QApplication app(argc, argv);
  QApplication::setApplicationName("Zelfin");
  QApplication::setOrganizationName("MORVAIN");

  const std::string work = options.base + "/zelfin-ui-latency-" + std::to_string(getpid());
  const std::vector<Job> jobs = MakeJobs(options, work);
  bool failed = false;
  zelfin::MainWindowHooks hooks;
  hooks.ShowError = [&failed](const std::string& message) {
    std::fprintf(stderr, "ui_latency_bench: %s\n", message.c_str());
    failed = true;
  };
  Window window(hooks);
  const long goal = options.Goal();
  GapMeter meter(window.diet, options.list_gaps, goal, options.stacks_ms);
  std::vector<long> per_run;
  long worst = 0, worst_own = 0;
  {
    const BusyCores busy(options.busy);
    if (options.busy) std::printf("%zu threads spinning beside the runs\n", busy.Count());
    for (int run = 0; run < options.runs; ++run) {
      long run_worst = 0;
      for (const Job& job : jobs) {
        const Gaps gaps = RunJob(window, job, meter, goal);
        run_worst = std::max(run_worst, gaps.max_ms);
        worst_own = std::max(worst_own, gaps.max_own_ms);
      }
      per_run.push_back(run_worst);
      worst = std::max(worst, run_worst);
    }
  }
  fs::remove_all(work);
  std::string runs;
  for (const long ms : per_run) runs += (runs.empty() ? "" : ", ") + std::to_string(ms);
  std::printf("max gap without waits for a processor: %ld ms\n", worst_own);
  std::printf("max gap per run%s: %s ms (goal %ld ms)\n",
              options.busy ? " with every core busy" : "", runs.c_str(), goal);
  std::printf("max gap: %ld ms%s\n", worst, worst > goal ? " > goal" : "");
  return failed ? 1 : 0;
}
