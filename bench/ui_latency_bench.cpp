// How long the window program keeps its events waiting while it works: runs
// the real main window (TForm1 with the real dialogs) on Qt's offscreen
// platform over a large simplification and a large division, each dropped on
// it as a user would, while a 10 ms timer notes the longest time between two
// of its ticks. That gap is how long a click or a repaint would have waited.
// Goal: no gap above 100 ms. On a busy machine part of a gap is time the
// window's thread spent waiting for a processor; the kernel counts it
// (/proc/thread-self/schedstat), and each run also shows its longest gap
// without that wait: the program's own share.
//
// ui_latency_bench [--quick] [--gaps] [--dir DIR]
//   --quick  a 300k-triangle simplification and a ~16 MiB division instead of
//            3M triangles and ~200 MiB
//   --gaps   also lists every gap above 100 ms as it ends, with the step
//   --dir    where the generated files go (default: the temporary folder)
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
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
constexpr long kGoalMs = 100;

struct Options {
  bool quick = false;
  bool list_gaps = false;
  std::string base = fs::temp_directory_path().string();
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

// A 10 ms timer whose ticks are delivered only when the event loop gets a
// turn, during the run as much as between runs.
class GapMeter {
 public:
  GapMeter(const zelfin::TDietDlg& progress, bool list_gaps)
      : progress_(progress), list_gaps_(list_gaps) {
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
  }

  Gaps Stop() {
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
    const qint64 now = clock_.elapsed();
    const double wait_ms = RunQueueWaitMs();
    const long own = std::lround(static_cast<double>(now - last_ms_) - (wait_ms - last_wait_ms_));
    gaps_.max_own_ms = std::max(gaps_.max_own_ms, own);
    last_wait_ms_ = wait_ms;
    if (list_gaps_ && now - last_ms_ > kGoalMs) {
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
    } else if (arg == "--gaps") {
      options.list_gaps = true;
    } else if (arg == "--dir" && i + 1 < argc) {
      options.base = argv[++i];
    } else {
      std::fprintf(stderr, "usage: ui_latency_bench [--quick] [--gaps] [--dir DIR]\n");
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

// Drops the job's file on the window and prints what the timer saw.
Gaps RunJob(Window& window, const Job& job, GapMeter& meter) {
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
      Where(gaps).c_str(), gaps.max_ms > kGoalMs ? " > 100 ms" : "", gaps.max_own_ms);
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
  GapMeter meter(window.diet, options.list_gaps);
  long worst = 0, worst_own = 0;
  for (const Job& job : jobs) {
    const Gaps gaps = RunJob(window, job, meter);
    worst = std::max(worst, gaps.max_ms);
    worst_own = std::max(worst_own, gaps.max_own_ms);
  }
  fs::remove_all(work);
  std::printf("max gap without waits for a processor: %ld ms\n", worst_own);
  std::printf("max gap: %ld ms\n", worst);
  return failed ? 1 : 0;
}
