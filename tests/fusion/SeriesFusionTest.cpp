// Series fusion over an in-memory "file system": the preview geometry, the
// thread split, skipped files and the statuses the panels and the command
// line act on.
#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <mutex>
#include <new>
#include <stdexcept>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "fusion/SeriesFusion.h"
#include "tests/fusion/TestPictures.h"

namespace {

using std::filesystem::path;

// A file of the fake series: a scene at some exposure, of some geometry.
struct FakeFile {
  double gain = 1.0;
  int width = 96;
  int height = 72;
  uint32_t components = 3;
  uint32_t bits = 8;
  bool missing = false;
  bool throws = false;
  bool exhausts = false;  // the loader runs out of memory
};

class FakeSeries {
 public:
  path Add(const FakeFile& f) {
    const path p = "file_" + std::to_string(files_.size()) + ".tif";
    files_[p.string()] = f;
    paths_.push_back(p);
    return p;
  }
  const std::vector<path>& paths() const { return paths_; }
  int LoadsOf(size_t i) {
    std::lock_guard<std::mutex> lock(mutex_);
    return loads_[paths_[i].string()];
  }
  SeriesLoader Loader() {
    return [this](const path& p, SBxPicBuf* pic) {
      {
        std::lock_guard<std::mutex> lock(mutex_);
        ++loads_[p.string()];
      }
      const FakeFile& f = files_.at(p.string());
      if (f.throws) throw std::runtime_error("decoder failure");
      if (f.exhausts) throw std::bad_alloc();
      if (f.missing) return true;
      CBxPicBufAPI::ReinitHeap(pic, f.width, f.height, f.components, f.bits);
      FillScene(pic, f.gain, static_cast<uint32_t>(f.gain * 100));
      return false;
    };
  }
  // The scene of file i, as the loader makes it.
  void Picture(size_t i, SBxPicBuf* pic) { Loader()(paths_[i], pic); }

 private:
  std::map<std::string, FakeFile> files_;
  std::vector<path> paths_;
  std::map<std::string, int> loads_;
  std::mutex mutex_;
};

SeriesFusionRequest Request(FakeSeries& s, bool parallel) {
  SeriesFusionRequest r;
  r.files = s.paths();
  r.exposure = 110;
  r.parallel = parallel;
  r.loader = s.Loader();
  return r;
}

void AddBracketed(FakeSeries* s, int count) {
  for (int i = 0; i < count; ++i)
    s->Add(FakeFile{0.4 + 0.2 * i});
}

class CountingProgress : public JobProgress {
 public:
  void SetRange(int, int maximum) override { maximum_ = maximum; }
  void Advance(int steps) override { position_ += steps; }
  int maximum_ = 0;
  std::atomic<int> position_{0};
};

}  // namespace

template <class R>
auto Edges(const R& r) {
  return std::tuple(r.left, r.top, r.right, r.bottom);
}

std::vector<std::pair<int, int>> Parts(int count) {
  std::vector<std::pair<int, int>> out;
  for (const SeriesPart& p : SplitSeries(count))
    out.emplace_back(p.first, p.end);
  return out;
}

TEST(SeriesGeometry, PreviewRectangleSitsAtTheCentreAndStaysInside) {
  // Lower-right corner 150 beyond the (rounded) centre point.
  EXPECT_EQ(Edges(PlacePreviewRect(1000.4, 800.6, 3000, 2000, 500, 150)),
            std::tuple(650.0, 451.0, 1150.0, 951.0));
  // Pushed back inside at the far edge; starting at 0 at the near one.
  EXPECT_EQ(Edges(PlacePreviewRect(2990.0, 20.0, 3000, 2000, 500, 150)),
            std::tuple(2500.0, 0.0, 3000.0, 500.0));
  // A picture smaller than the rectangle is covered whole.
  EXPECT_EQ(Edges(PlacePreviewRect(150.0, 100.0, 300, 200, 500, 150)),
            std::tuple(0.0, 0.0, 300.0, 200.0));
  // The daylight rectangle: 400 wide, centred.
  EXPECT_EQ(Edges(PlacePreviewRect(1000.0, 1000.0, 3000, 2000, 400, 200)),
            std::tuple(800.0, 800.0, 1200.0, 1200.0));
}

TEST(SeriesGeometry, WholePixelRectangleAndWorkRegionAreLimitedToThePicture) {
  EXPECT_EQ(Edges(IntegerPreviewRect(PreviewRect{0.4, -3.2, 640.7, 480.49}, 640, 480)),
            std::tuple(0, 0, 640, 480));
  EXPECT_EQ(Edges(IntegerPreviewRect(PreviewRect{0.6, 1.5, 3.0, 4.4}, 640, 480)),
            std::tuple(1, 2, 3, 4));
  EXPECT_EQ(Edges(WorkRegion(CBxRect{500, 400, 1000, 900}, 3000, 2000)),
            std::tuple(244, 144, 1256, 1156));
  EXPECT_EQ(Edges(WorkRegion(CBxRect{100, 0, 2900, 1990}, 3000, 2000)),
            std::tuple(0, 0, 3000, 2000));
}

TEST(SeriesGeometry, SeriesIsSplitOverUpToThreeThreads) {
  using V = std::vector<std::pair<int, int>>;
  EXPECT_EQ(Parts(4), (V{{0, 4}}));
  EXPECT_EQ(Parts(5), (V{{0, 2}, {2, 5}}));
  EXPECT_EQ(Parts(9), (V{{0, 3}, {3, 6}, {6, 9}}));
  EXPECT_EQ(Parts(39), (V{{0, 13}, {13, 26}, {26, 39}}));
  EXPECT_EQ(ClampExposure(20), 48);
  EXPECT_EQ(ClampExposure(200), 160);
}

TEST(SeriesFusionTest, FullSizeFusionAddsEveryFileInOrder) {
  FakeSeries s;
  AddBracketed(&s, 4);
  ScopedPicBuf out;
  CountingProgress progress;
  SeriesFusionRequest request = Request(s, false);
  request.progress = &progress;
  const SeriesFusionReport report = FuseSeries(request, out.get());
  ASSERT_EQ(report.status, SeriesFusionStatus::kFused);
  EXPECT_EQ(report.fusedCount, 4);
  EXPECT_TRUE(report.skipped.empty());
  EXPECT_EQ(progress.maximum_, 5);  // four files and the result
  EXPECT_EQ(progress.position_, 5);
  for (size_t i = 0; i < 4; ++i)
    EXPECT_EQ(s.LoadsOf(i), 1) << "file " << i;

  // The same bits as the accumulator fed by hand.
  cFusionAccumulator acc;
  ScopedPicBuf pic, expected(96, 72, 3, 8);
  for (size_t i = 0; i < 4; ++i) {
    s.Picture(i, pic.get());
    if (i == 0) {
      ASSERT_EQ(FusionInit(&acc, pic.get(), 110), 0);
    }
    FusionAddPicture(&acc, pic.get());
  }
  FusionResult(expected.get(), &acc);
  FusionFree(&acc);
  EXPECT_EQ(MaxDifference(*out, *expected), 0.0);
}

TEST(SeriesFusionTest, ThreadSplitMatchesSequentialFusion) {
  for (int count : {5, 9}) {
    FakeSeries s;
    AddBracketed(&s, count);
    ScopedPicBuf sequential, split;
    ASSERT_EQ(FuseSeries(Request(s, false), sequential.get()).status, SeriesFusionStatus::kFused);
    const SeriesFusionReport report = FuseSeries(Request(s, true), split.get());
    ASSERT_EQ(report.status, SeriesFusionStatus::kFused);
    EXPECT_EQ(report.fusedCount, count);
    EXPECT_LE(MaxDifference(*sequential, *split), 1.0) << count << " files";
  }
}

TEST(SeriesFusionTest, WorkRegionIsCutFromTheSamePlaceInEveryFile) {
  FakeSeries s;
  AddBracketed(&s, 5);
  const CBxRect region{13, 7, 13 + 50, 7 + 40};
  SeriesFusionRequest request = Request(s, true);
  request.region = region;
  ScopedPicBuf out;
  ASSERT_EQ(FuseSeries(request, out.get()).status, SeriesFusionStatus::kFused);
  ASSERT_EQ(out->width, 50);
  ASSERT_EQ(out->height, 40);

  // The accumulator fed with the cut pictures, split as the threads split them.
  cFusionAccumulator parts[2];
  ScopedPicBuf pic, cut(50, 40, 3, 8), expected(50, 40, 3, 8);
  for (auto& a : parts)
    ASSERT_EQ(FusionInit(&a, cut.get(), 110), 0);
  for (size_t i = 0; i < 5; ++i) {
    s.Picture(i, pic.get());
    CBxPicBufAPI::CopyRect(cut.get(), pic.get(), {0, 0}, {13, 7}, {50, 40});
    FusionAddPicture(&parts[i < 2 ? 0 : 1], cut.get());
  }
  FusionMerge(&parts[0], &parts[1]);
  FusionResult(expected.get(), &parts[0]);
  for (auto& a : parts)
    FusionFree(&a);
  EXPECT_EQ(MaxDifference(*out, *expected), 0.0);
}

TEST(SeriesFusionTest, UnreadableAndMismatchedFilesAreSkippedAndReported) {
  for (bool parallel : {false, true}) {
    SCOPED_TRACE(parallel ? "split" : "sequential");
    FakeSeries s;
    s.Add(FakeFile{0.5, 96, 72, 3, 8, true});         // missing: the next file sets the geometry
    s.Add(FakeFile{0.7});                             //
    s.Add(FakeFile{0.9, 97, 72});                     // another width
    s.Add(FakeFile{1.1});                             //
    s.Add(FakeFile{1.3, 96, 72, 3, 16});              // another depth
    s.Add(FakeFile{1.5, 96, 72, 3, 8, false, true});  // the decoder throws
    s.Add(FakeFile{1.7});
    ScopedPicBuf out;
    const SeriesFusionReport report = FuseSeries(Request(s, parallel), out.get());
    ASSERT_EQ(report.status, SeriesFusionStatus::kFused);
    EXPECT_EQ(report.fusedCount, 3);
    ASSERT_EQ(report.skipped.size(), 4u);
    EXPECT_EQ(report.skipped[0].index, 0);
    EXPECT_EQ(report.skipped[0].reason, SeriesSkipReason::kUnreadable);
    EXPECT_EQ(report.skipped[1].index, 2);
    EXPECT_EQ(report.skipped[1].reason, SeriesSkipReason::kOtherGeometry);
    EXPECT_EQ(report.skipped[1].path, s.paths()[2]);
    EXPECT_EQ(report.skipped[1].geometry.width, 97);
    EXPECT_EQ(report.skipped[1].geometry.pixels, nullptr);
    EXPECT_EQ(report.geometry.width, 96);
    EXPECT_EQ(report.skipped[2].index, 4);
    EXPECT_EQ(report.skipped[3].index, 5);
    EXPECT_EQ(report.skipped[3].reason, SeriesSkipReason::kUnreadable);
    for (size_t i = 0; i < 7; ++i)
      EXPECT_EQ(s.LoadsOf(i), 1) << "file " << i;

    // The good files alone give the same picture: nothing was added twice.
    FakeSeries good;
    for (double g : {0.7, 1.1, 1.7})
      good.Add(FakeFile{g});
    ScopedPicBuf expected;
    FuseSeries(Request(good, false), expected.get());
    EXPECT_LE(MaxDifference(*out, *expected), parallel ? 1.0 : 0.0);
  }
}

TEST(SeriesFusionTest, RequiringEveryFileStopsAtTheFirstBadOne) {
  FakeSeries s;
  AddBracketed(&s, 3);
  s.Add(FakeFile{1.0, 80, 72});
  s.Add(FakeFile{1.2});
  SeriesFusionRequest request = Request(s, false);
  request.requireAll = true;
  ScopedPicBuf out;
  SeriesFusionReport report = FuseSeries(request, out.get());
  EXPECT_EQ(report.status, SeriesFusionStatus::kFileRejected);
  ASSERT_EQ(report.skipped.size(), 1u);
  EXPECT_EQ(report.skipped[0].index, 3);
  EXPECT_TRUE(IsEmpty(*out));
}

TEST(SeriesFusionTest, StatusesForWhatCannotBeFused) {
  ScopedPicBuf out;
  FakeSeries none;
  EXPECT_EQ(FuseSeries(Request(none, false), out.get()).status, SeriesFusionStatus::kNoFiles);

  FakeSeries missing;
  missing.Add(FakeFile{1.0, 96, 72, 3, 8, true});
  missing.Add(FakeFile{1.0, 96, 72, 3, 8, true});
  SeriesFusionReport report = FuseSeries(Request(missing, false), out.get());
  EXPECT_EQ(report.status, SeriesFusionStatus::kNoPicture);
  EXPECT_EQ(report.skipped.size(), 2u);

  FakeSeries tiny;
  tiny.Add(FakeFile{1.0, 200, 9});
  EXPECT_EQ(FuseSeries(Request(tiny, false), out.get()).status, SeriesFusionStatus::kUnsupported);

  FakeSeries s;
  AddBracketed(&s, 2);
  SeriesFusionRequest request = Request(s, false);
  request.region = CBxRect{90, 0, 110, 40};
  EXPECT_EQ(FuseSeries(request, out.get()).status, SeriesFusionStatus::kRegionOutside);
  request.region = CBxRect{0, 0, 9, 40};
  EXPECT_EQ(FuseSeries(request, out.get()).status, SeriesFusionStatus::kUnsupported);
  EXPECT_TRUE(IsEmpty(*out));

  ScopedPicBuf wrong(96, 72, 1, 8);
  CBxPicBufAPI::SetConst(wrong.get(), 5);
  EXPECT_EQ(FuseSeries(Request(s, false), wrong.get()).status, SeriesFusionStatus::kOutputMismatch);
  EXPECT_EQ(SampleAt(*wrong, 0, 0, 0), 5u);

  // A caller's picture of the right geometry is filled in place.
  ScopedPicBuf right(96, 72, 3, 8);
  EXPECT_EQ(FuseSeries(Request(s, false), right.get()).status, SeriesFusionStatus::kFused);
  EXPECT_GT(MeanSample(*right), 10.0);
}

TEST(SeriesFusionTest, CancelLeavesTheOutputAlone) {
  FakeSeries s;
  AddBracketed(&s, 6);
  std::atomic<uint8_t> cancel{1};
  CountingProgress progress;
  progress.WatchCancelFlag(&cancel);
  for (bool parallel : {false, true}) {
    SeriesFusionRequest request = Request(s, parallel);
    request.progress = &progress;
    ScopedPicBuf out;
    EXPECT_EQ(FuseSeries(request, out.get()).status, SeriesFusionStatus::kCancelled);
    EXPECT_TRUE(IsEmpty(*out));
  }
}

// Memory running out is not the file's fault: the fusion stops and says so,
// on the caller's thread as on a worker's, instead of skipping the file.
TEST(SeriesFusionTest, RunningOutOfMemoryStopsTheFusion) {
  for (int at : {0, 6}) {
    FakeSeries s;
    AddBracketed(&s, 5);
    s.Add(FakeFile{1.0, 96, 72, 3, 8, false, false, at == 0});
    s.Add(FakeFile{1.0, 96, 72, 3, 8, false, false, at == 6});
    for (bool parallel : {false, true}) {
      SeriesFusionRequest request = Request(s, parallel);
      if (at == 0) request.files = std::span(s.paths()).subspan(5);
      ScopedPicBuf out;
      const SeriesFusionReport report = FuseSeries(request, out.get());
      EXPECT_EQ(report.status, SeriesFusionStatus::kOutOfMemory) << at << parallel;
      EXPECT_TRUE(report.skipped.empty());
      EXPECT_TRUE(IsEmpty(*out));
    }
  }
}
