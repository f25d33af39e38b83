// How long the window stops answering while the user drags the Multi Image rectangle over a
// 5-picture 12-megapixel series: the real window and panel, synthetic mouse presses, moves and
// releases sent to the view as a person's would arrive (a move every 8 ms, a short pause
// after each release), each release asking for a preview while earlier ones may still be
// computed. A 2 ms timer beats on the interface thread; the gaps between its beats are the
// stalls. Prints the longest gap, the 99th percentile and the gaps over 30 ms of each run, and
// the longest time the interface thread itself computed between two beats (its own processor
// time: on a machine busy with other work a gap also holds the time the thread waited for a
// processor).
//
// Usage: melvaro_panel_stall_bench [FOLDER] [RUNS]   (the series is written there; a
// temporary folder by default; 3 runs)
#include <QApplication>
#include <QElapsedTimer>
#include <QMouseEvent>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <ctime>
#include <vector>

#include "app/ImageView.h"
#include "app/MainWindow.h"
#include "app/RenderView.h"
#include "app/UserDialogs.h"
#include "app/panels/FusionPanel.h"
#include "bench/BenchSeries.h"

namespace fs = std::filesystem;

namespace {

// No question reaches a person here.
class SilentDialogs : public UserDialogs {
 public:
  bool AskYesNo(QWidget*, const std::string&, const std::string&) override { return true; }
  void ShowMessage(QWidget*, const std::string&, const std::string& text, MessageIcon) override {
    std::fprintf(stderr, "message: %s\n", text.c_str());
  }
  std::optional<fs::path> ChooseOpenFile(QWidget*, const std::string&,
                                         const std::string&) override {
    return std::nullopt;
  }
  std::vector<fs::path> ChooseOpenFiles(QWidget*, const std::string&, const std::string&) override {
    return {};
  }
  bool ChooseSaveFile(QWidget*, const SaveDialogRequest&, SaveDialogAnswer*) override {
    return false;
  }
  std::optional<int> ChooseLanguage(QWidget*, const std::vector<std::string>&, int) override {
    return std::nullopt;
  }
};

constexpr int kDrags = 16;          // press, moves, release
constexpr int kMovesPerDrag = 12;   // 8 ms apart
constexpr int kPauseAfterDrag = 5;  // beats of the script (40 ms) before the next press
constexpr int kStepX = 5;           // view pixels per move, back and forth
constexpr int kStepY = 3;

struct RunFigures {
  double longestMs = 0.0;
  double longestWorkMs = 0.0;  // the interface thread's own processor time in one gap
  double p99Ms = 0.0;
  int over30 = 0;
  int previewsAsked = 0;
};

void SendMouse(QWidget* view, QEvent::Type type, QPoint at, Qt::MouseButtons buttons) {
  const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
  QMouseEvent event(type, at, view->mapToGlobal(at), button, buttons, Qt::NoModifier);
  QApplication::sendEvent(view, &event);
}

double ThreadCpuMs() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

bool WaitForPreview(const FusionPanel* panel) {
  QElapsedTimer waited;
  waited.start();
  while (panel->PreviewPending() && waited.elapsed() < 60000)
    QApplication::processEvents(QEventLoop::AllEvents, 5);
  return !panel->PreviewPending();
}

RunFigures DragRun(MainWindow& window, FusionPanel* panel) {
  QWidget* view = window.ViewWidget();
  const int startRuns = panel->PreviewRuns();
  QElapsedTimer clock;
  clock.start();
  qint64 last = clock.nsecsElapsed();
  double lastCpu = ThreadCpuMs();
  double longestWork = 0.0;
  std::vector<double> gaps;
  QTimer beat;
  beat.setTimerType(Qt::PreciseTimer);
  beat.setInterval(2);
  QObject::connect(&beat, &QTimer::timeout, [&] {
    const qint64 now = clock.nsecsElapsed();
    const double cpu = ThreadCpuMs();
    gaps.push_back(static_cast<double>(now - last) / 1e6);
    longestWork = std::max(longestWork, cpu - lastCpu);
    last = now;
    lastCpu = cpu;
  });

  // The script: one step every 8 ms.
  int step = 0;
  QPoint at;
  bool done = false;
  QTimer script;
  script.setTimerType(Qt::PreciseTimer);
  script.setInterval(8);
  const int perDrag = kMovesPerDrag + 2 + kPauseAfterDrag;
  QObject::connect(&script, &QTimer::timeout, [&] {
    const int drag = step / perDrag;
    const int phase = step % perDrag;
    ++step;
    if (drag == kDrags) {
      done = true;
      return;
    }
    const int direction = drag % 2 == 0 ? 1 : -1;
    if (phase == 0) {
      const CBxRect rect = panel->Model().IntegerRect();
      int x = 0, y = 0;
      ViewMap(window.View())
          .MapPointSrcToDst(&x, &y, (rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2);
      at = QPoint(x, y);
      SendMouse(view, QEvent::MouseButtonPress, at, Qt::LeftButton);
    } else if (phase <= kMovesPerDrag) {
      at += QPoint(direction * kStepX, direction * kStepY);
      SendMouse(view, QEvent::MouseMove, at, Qt::LeftButton);
    } else if (phase == kMovesPerDrag + 1) {
      SendMouse(view, QEvent::MouseButtonRelease, at, Qt::NoButton);
    }
  });
  beat.start();
  script.start();
  while (!done)
    QApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
  script.stop();
  beat.stop();
  WaitForPreview(panel);

  RunFigures figures;
  std::sort(gaps.begin(), gaps.end());
  figures.longestMs = gaps.empty() ? 0.0 : gaps.back();
  figures.longestWorkMs = longestWork;
  figures.p99Ms = gaps.empty() ? 0.0 : gaps[gaps.size() * 99 / 100];
  figures.over30 =
      static_cast<int>(std::count_if(gaps.begin(), gaps.end(), [](double g) { return g > 30.0; }));
  figures.previewsAsked = panel->PreviewRuns() - startRuns;
  return figures;
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  const fs::path folder =
      argc > 1 ? fs::path(argv[1]) : fs::temp_directory_path() / "melvaro-preview-bench";
  const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;
  fs::create_directories(folder / "home");
  // The window's settings and series folders stay inside the bench's folder.
  qputenv("XDG_CONFIG_HOME", (folder / "home" / "config").c_str());
  qputenv("XDG_CACHE_HOME", (folder / "home" / "cache").c_str());
  const std::vector<fs::path> files = MakeSeries(folder);

  QApplication app(argc, argv);
  SilentDialogs dialogs;
  MainWindow window(&dialogs);
  window.resize(1280, 800);
  window.show();
  QApplication::processEvents();
  window.OpenFromCommandLine(files);
  auto* panel = dynamic_cast<FusionPanel*>(window.ActivePanel());
  if (panel == nullptr || !WaitForPreview(panel)) {
    std::fprintf(stderr, "the Multi Image panel did not open with its preview\n");
    return 1;
  }
  window.ExecuteCommand(CommandId::kZoom100);  // the rectangle moves by whole picture pixels
  std::printf("series: 5 pictures of %d x %d; %d drags of %d moves, 8 ms apart\n", kWidth, kHeight,
              kDrags, kMovesPerDrag);
  for (int run = 0; run < runs; ++run) {
    const RunFigures f = DragRun(window, panel);
    std::printf(
        "run %d: longest gap %6.1f ms, 99th percentile %5.1f ms, gaps over 30 ms: %d, longest "
        "work of the interface thread %5.1f ms, previews asked: %d\n",
        run + 1, f.longestMs, f.p99Ms, f.over30, f.longestWorkMs, f.previewsAsked);
  }
  return 0;
}
