// Series fusion over an in-memory series of files: the preview geometry, the
// thread split, skipped files and the statuses the panels and the command
// line act on.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <new>
#include <optional>
#include <stdexcept>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "fusion/SeriesFusion.h"
#include "tests/fusion/TestPictures.h"

namespace {

using std::filesystem::path;
using Status = SeriesFusionStatus;
using Reason = SeriesSkipReason;

const CBxRect kCut{13, 7, 63, 47};

// A file of the series: a scene at some exposure, or a file that fails.
struct FakeFile {
  double gain = 1.0;
  int width = 96;
  int height = 72;
  uint32_t bits = 8;
  enum { kLoads, kMissing, kThrows, kExhausts } fault = kLoads;
};

std::vector<FakeFile> Bracketed(int count) {
  std::vector<FakeFile> files;
  for (int i = 0; i < count; ++i)
    files.push_back({.gain = 0.4 + 0.2 * i});
  return files;
}

// The files are named by their index; the loader counts its calls.
struct FakeSeries {
  std::vector<FakeFile> files;
  std::vector<path> paths;
  std::vector<std::atomic<int>> loads;

  explicit FakeSeries(std::vector<FakeFile> f) : files(std::move(f)), loads(files.size()) {
    for (size_t i = 0; i < files.size(); ++i)
      paths.emplace_back(std::to_string(i) + ".tif");
  }
  bool Load(const path& p, SBxPicBuf* pic) {
    const size_t i = std::stoul(p.stem().string());
    ++loads[i];
    const FakeFile& f = files[i];
    if (f.fault == FakeFile::kThrows) throw std::runtime_error("decoder failure");
    if (f.fault == FakeFile::kExhausts) throw std::bad_alloc();
    if (f.fault == FakeFile::kMissing) return true;
    CBxPicBufAPI::ReinitHeap(pic, f.width, f.height, 3, f.bits);
    FillScene(pic, f.gain, static_cast<uint32_t>(f.gain * 100));
    return false;
  }
  SeriesFusionRequest Request(bool parallel, std::optional<CBxRect> region = {}) {
    return {.files = paths,
            .exposure = 110,
            .region = region,
            .parallel = parallel,
            .loader = [this](const path& p, SBxPicBuf* pic) { return Load(p, pic); },
            .regionLoader = {}};
  }
  // The files that load with the first one's geometry, cut to `region` and
  // added by hand into one accumulator in file order; returns their count.
  int FuseByHand(const CBxRect& region, SBxPicBuf* out) {
    cFusionAccumulator acc;
    ScopedPicBuf pic, cut(region.Width(), region.Height(), 3, 8);
    EXPECT_EQ(FusionInit(&acc, cut.get(), 110), 0);
    int added = 0;
    for (size_t i = 0; i < files.size(); ++i) {
      if (files[i].fault != FakeFile::kLoads || files[i].width != 96 || files[i].bits != 8)
        continue;
      Load(paths[i], pic.get());
      CBxPicBufAPI::CopyRect(cut.get(), pic.get(), {0, 0}, {region.left, region.top},
                             {cut->width, cut->height});
      EXPECT_EQ(FusionAddPicture(&acc, cut.get()), 0);
      ++added;
    }
    CBxPicBufAPI::ReinitHeap(out, cut.get());
    EXPECT_EQ(FusionResult(out, &acc), 0);
    FusionFree(&acc);
    return added;
  }
};

template <class R>
auto Edges(const R& r) {
  return std::tuple(r.left, r.top, r.right, r.bottom);
}

}  // namespace

TEST(SeriesGeometry, WorkRegionAndThreadSplit) {
  EXPECT_EQ(Edges(WorkRegion(CBxRect{500, 400, 1000, 900}, 3000, 2000)),
            std::tuple(244, 144, 1256, 1156));
  EXPECT_EQ(Edges(WorkRegion(CBxRect{100, 0, 2900, 1990}, 3000, 2000)),
            std::tuple(0, 0, 3000, 2000));

  const std::pair<int, std::vector<std::pair<int, int>>> splits[] = {
      {4, {{0, 4}}},
      {5, {{0, 2}, {2, 5}}},
      {9, {{0, 3}, {3, 6}, {6, 9}}},
      {39, {{0, 13}, {13, 26}, {26, 39}}}};
  for (const auto& [count, parts] : splits) {
    std::vector<std::pair<int, int>> got;
    for (const SeriesPart& p : SplitSeries(count))
      got.emplace_back(p.first, p.end);
    EXPECT_EQ(got, parts) << count << " files";
  }
}

// OK's fusion: one accumulator adds every file once, in order, whole or cut to
// a work region, into a new output or the caller's; the same bits as feeding
// it by hand. The thread split (one worker from 5 files, two from 9, each with
// its own accumulator, merged) gives that picture within float rounding. A
// file that fails to load or has another geometry is skipped and reported,
// never added twice or in place of another.
TEST(SeriesFusionTest, SequentialAndSplitFusion) {
  using Skips = std::vector<std::pair<int, Reason>>;
  const std::pair<std::vector<FakeFile>, Skips> series[] = {
      {Bracketed(4), {}},
      {Bracketed(5), {}},
      {Bracketed(9), {}},
      // The first file is missing, so the second sets the geometry.
      {{{.fault = FakeFile::kMissing},
        {.gain = 0.7},
        {.gain = 0.9, .width = 97},
        {.gain = 1.1},
        {.gain = 1.3, .bits = 16},
        {.gain = 1.5, .fault = FakeFile::kThrows},
        {.gain = 1.7}},
       {{0, Reason::kUnreadable},
        {2, Reason::kOtherGeometry},
        {4, Reason::kOtherGeometry},
        {5, Reason::kUnreadable}}}};
  for (const auto& [files, skips] : series) {
    for (const auto& region : {std::optional<CBxRect>(), std::optional<CBxRect>(kCut)}) {
      SCOPED_TRACE(testing::Message() << files.size() << " files" << (region ? ", cut" : ""));
      FakeSeries s(files);
      ScopedPicBuf out, expected, split;
      if (region) CBxPicBufAPI::ReinitHeap(out.get(), kCut.Width(), kCut.Height(), 3, 8);
      const SeriesFusionReport report = FuseSeries(s.Request(false, region), out.get());
      ASSERT_EQ(report.status, Status::kFused);
      for (const auto& loads : s.loads)
        EXPECT_EQ(loads, 1);
      EXPECT_EQ(report.fusedCount,
                s.FuseByHand(region.value_or(CBxRect{0, 0, 96, 72}), expected.get()));
      EXPECT_EQ(MaxDifference(*out, *expected), 0.0);
      const SeriesFusionReport splitReport = FuseSeries(s.Request(true, region), split.get());
      EXPECT_LE(MaxDifference(*split, *out), 1.0);
      for (const SeriesFusionReport* r : {&report, &splitReport}) {
        EXPECT_EQ(r->fusedCount, report.fusedCount);
        EXPECT_EQ(r->geometry.width, 96);
        Skips got;
        for (const SeriesSkippedFile& f : r->skipped) {
          got.emplace_back(f.index, f.reason);
          const FakeFile& file = files[static_cast<size_t>(f.index)];
          EXPECT_EQ(f.path, s.paths[static_cast<size_t>(f.index)]);
          EXPECT_EQ(f.geometry.width, file.fault == FakeFile::kLoads ? file.width : 0);
        }
        EXPECT_EQ(got, skips);
      }
    }
  }
}

// Each status, on the caller's thread as on a worker's, with the output left
// empty. Memory running out is not the file's fault: the fusion stops and says
// so instead of skipping the file.
TEST(SeriesFusionTest, WhatCannotBeFusedLeavesTheOutputAlone) {
  const FakeFile missing{.fault = FakeFile::kMissing}, exhausts{.fault = FakeFile::kExhausts};
  auto badFourth = Bracketed(3), exhaustsLast = Bracketed(6);
  badFourth.insert(badFourth.end(), {{.width = 80}, missing});
  exhaustsLast.push_back(exhausts);
  struct Case {
    std::vector<FakeFile> files;
    std::optional<CBxRect> region;
    bool requireAll, cancel;
    Status status;
    size_t skipped;
  };
  const Case cases[] = {
      {{}, {}, false, false, Status::kNoFiles, 0},
      {{missing, missing}, {}, false, false, Status::kNoPicture, 2},
      {{{.height = 9}}, {}, false, false, Status::kUnsupported, 0},
      {Bracketed(2), CBxRect{90, 0, 110, 40}, false, false, Status::kRegionOutside, 0},
      {Bracketed(2), CBxRect{0, 0, 9, 40}, false, false, Status::kUnsupported, 0},
      {badFourth, {}, true, false, Status::kFileRejected, 1},  // stops at the first bad file
      {Bracketed(6), {}, false, true, Status::kCancelled, 0},
      {{exhausts, {}}, {}, false, false, Status::kOutOfMemory, 0},
      {exhaustsLast, {}, false, false, Status::kOutOfMemory, 0},
  };
  for (const Case& c : cases) {
    for (bool parallel : {false, true}) {
      SCOPED_TRACE(testing::Message() << SeriesFusionStatusText(c.status) << ", " << c.files.size()
                                      << " files" << (parallel ? ", split" : ""));
      FakeSeries s(c.files);
      SeriesFusionRequest request = s.Request(parallel, c.region);
      request.requireAll = c.requireAll;
      std::atomic<uint8_t> cancel{c.cancel};
      JobProgress progress;
      progress.WatchCancelFlag(&cancel);
      request.progress = &progress;
      ScopedPicBuf out;
      const SeriesFusionReport report = FuseSeries(request, out.get());
      EXPECT_EQ(report.status, c.status);
      EXPECT_EQ(report.skipped.size(), c.skipped);
      EXPECT_TRUE(IsEmpty(*out));
    }
  }
  // A caller's output of another geometry is refused and left alone.
  FakeSeries s(Bracketed(2));
  ScopedPicBuf wrong(96, 72, 1, 8);
  CBxPicBufAPI::SetConst(wrong.get(), 5);
  EXPECT_EQ(FuseSeries(s.Request(false), wrong.get()).status, Status::kOutputMismatch);
  EXPECT_EQ(SampleAt(*wrong, 0, 0, 0), 5u);
}
