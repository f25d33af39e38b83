// Grouping pictures into series from their capture data (sets told apart by their bias
// pattern and cameras shooting at once: the card of BatchPlanTest).
#include <gtest/gtest.h>

#include <algorithm>

#include "jobs/BatchGrouping.h"
#include "jobs/BatchNaming.h"
#include "jobs/BatchPlan.h"

namespace fs = std::filesystem;

namespace {

constexpr int64_t kMorning = int64_t{1'714'557'600} * 1'000'000;  // 2024-05-01 10:00:00

struct Shot {
  std::string name;
  double at;  // seconds after kMorning
  double exposure = 0.01;
  std::optional<double> bias = {};
  const char* camera = "A";
};

BatchPicture Picture(const Shot& s) {
  BatchPicture p;
  p.path = fs::path("/photos") / s.name;
  p.headerRead = true;
  p.capture.timeMicroseconds = kMorning + static_cast<int64_t>(s.at * 1e6);
  p.capture.exposureSeconds = s.exposure;
  p.capture.exposureBias = s.bias;
  p.capture.make = "Maker";
  p.capture.model = "Body";
  p.capture.serial = s.camera;
  p.capture.width = 4000;
  p.capture.height = 3000;
  return p;
}

std::vector<BatchPicture> Pictures(const std::vector<Shot>& shots) {
  std::vector<BatchPicture> pictures;
  for (const Shot& s : shots)
    pictures.push_back(Picture(s));
  return pictures;
}

// "a b c | d e" with each series' reason: the grouping in one line.
std::string Layout(const BatchGrouping& g) {
  if (!g.refusal.empty()) return "refused: " + g.refusal;
  std::string text;
  for (const BatchSeries& s : g.series) {
    if (!text.empty()) text += " | ";
    for (const BatchPicture& p : s.pictures)
      text += p.path.filename().string() + " ";
    text.append("(").append(SeriesEndText(s)).append(")");
  }
  return text;
}

std::string Group(const std::vector<Shot>& shots, GroupingRequest request = {}) {
  return Layout(GroupBatchPictures(Pictures(shots), request));
}

}  // namespace

TEST(BatchGrouping, ALongExposureInsideASetKeepsItTogetherAndAPauseAfterItEndsIt) {
  // Bracketed by hand: no bias recorded, only the exposure time changes. The 30-second
  // exposure starts at 2 s; the next frame follows a second after it ended.
  const std::vector<Shot>
      shots =
          {
              {"a1", 0, 0.01},  {"a2", 1, 0.1},     {"a3", 2, 30.0}, {"a4", 33, 2.0},
              {"a5", 36, 0.5},  {"b1", 40.0, 0.01}, {"b2", 41, 0.1}, {"b3", 42, 30.0},
              {"c1", 77, 0.01},  // 5 s after the long exposure ended
          };
  EXPECT_EQ(Group(shots),
            "a1 a2 a3 a4 a5 (pause of 3.5 s) | b1 b2 b3 (pause of 5 s) | c1 (last "
            "picture)");
  // With a limit above both pauses it is one series.
  GroupingRequest lenient;
  lenient.gapSeconds = 6.0;
  EXPECT_EQ(Group(shots, lenient), "a1 a2 a3 a4 a5 b1 b2 b3 c1 (last picture)");
}

TEST(BatchGrouping, APictureOfAnotherSizeStartsASeries) {
  std::vector<BatchPicture> pictures =
      Pictures({{"a", 0}, {"b", 0.5}, {"c", 1.0}, {"d", 1.5}, {"e", 2.0}});
  for (size_t i = 2; i < 5; ++i)
    std::swap(pictures[i].capture.width, pictures[i].capture.height);  // turned upright
  EXPECT_EQ(Layout(GroupBatchPictures(pictures, {})),
            "a b (picture size changed) | c d e (last picture)");
}

TEST(BatchGrouping, PicturesGoInCaptureTimeOrderWithNaturalNameOrderBetweenEqualTimes) {
  // Given in no order; IMG_9 and IMG_10 share a second (no fraction recorded).
  const std::vector<Shot> shots = {
      {"IMG_11.jpg", 1.0}, {"IMG_10.jpg", 0.0}, {"IMG_8.jpg", 2.0}, {"IMG_9.jpg", 0.0}};
  EXPECT_EQ(Group(shots), "IMG_9.jpg IMG_10.jpg IMG_11.jpg IMG_8.jpg (last picture)");
}

TEST(BatchGrouping, WithoutCaptureTimesOnlyFixedGroupsInNameOrderAreMade) {
  std::vector<BatchPicture> pictures;
  for (const char* name :
       {"p10.jpg", "p2.jpg", "p1.jpg", "p7.jpg", "p3.jpg", "p4.jpg", "p5.jpg", "p6.jpg"}) {
    BatchPicture p;
    p.path = name;
    p.headerRead = true;
    pictures.push_back(p);
  }
  pictures[3].capture = Picture({"p7.jpg", 0}).capture;  // one has a time: not enough
  EXPECT_EQ(Layout(GroupBatchPictures(pictures, {})),
            "refused: 7 of 8 pictures carry no capture time (p1.jpg, p2.jpg, p3.jpg and 4 "
            "more): group them by a fixed count instead");
  GroupingRequest fixed;
  fixed.fixedGroup = 3;
  EXPECT_EQ(Layout(GroupBatchPictures(pictures, fixed)),
            "p1.jpg p2.jpg p3.jpg (fixed group) | p4.jpg p5.jpg p6.jpg (fixed group) | p7.jpg "
            "p10.jpg (last picture)");
}

TEST(BatchGrouping, RequestsOutsideTheLimitsAreRefused) {
  const std::vector<Shot> shots = {{"a", 0}, {"b", 1}};
  for (int group : {1, 100, -3}) {
    GroupingRequest r;
    r.fixedGroup = group;
    EXPECT_EQ(Group(shots, r), "refused: a fixed group holds 2 to 99 pictures") << group;
  }
  for (double gap : {0.0, 0.05, 3601.0}) {
    GroupingRequest r;
    r.gapSeconds = gap;
    EXPECT_EQ(Group(shots, r), "refused: the pause that ends a series must be 0.1 to 3600 seconds")
        << gap;
  }
  EXPECT_EQ(Layout(GroupBatchPictures({}, {})), "refused: no pictures to group");
}

TEST(BatchGrouping, AContinuousRunIsCutAtTheMostOneFusionTakes) {
  std::vector<Shot> shots;
  for (int i = 0; i < 120; ++i)
    shots.push_back({std::string(1, 'f').append(std::to_string(i)), i * 0.5});
  const BatchGrouping g = GroupBatchPictures(Pictures(shots), {});
  ASSERT_EQ(g.series.size(), 2u);
  EXPECT_EQ(g.series[0].pictures.size(), 99u);
  EXPECT_EQ(g.series[0].end, SeriesEnd::kFull);
  EXPECT_EQ(g.series[1].pictures.size(), 21u);
}

TEST(BatchGrouping, NaturalNameOrder) {
  const char* ordered[] = {"a/IMG_2.jpg",  "a/IMG_010.jpg", "a/IMG_10.jpg", "a/IMG_10a.jpg",
                           "a/IMG_11.jpg", "a/img_1.jpg",   "b/IMG_1.jpg"};
  for (size_t i = 0; i < std::size(ordered); ++i)
    for (size_t j = 0; j < std::size(ordered); ++j)
      EXPECT_EQ(NameOrderLess(ordered[i], ordered[j]), i < j) << ordered[i] << " " << ordered[j];
}

TEST(BatchGrouping, CaptureSummaryShowsWhatIsKnownAsCamerasShowIt) {
  CaptureData c = Picture({"x", 0.25, 1.0 / 250, -2.0 / 3}).capture;
  c.fNumber = 5.6;
  c.iso = 400;
  EXPECT_EQ(CaptureSummary(c), "2024-05-01 10:00:00.25  1/250 s  f/5.6  ISO 400  -0.7 EV");
  c.exposureSeconds = 30.0;
  c.exposureBias = 0.01;
  EXPECT_EQ(CaptureSummary(c), "2024-05-01 10:00:00.25  30 s  f/5.6  ISO 400  0 EV");
  c.exposureSeconds = 2.5;
  c.exposureBias = 1.0;
  c.timeMicroseconds.reset();
  EXPECT_EQ(CaptureSummary(c), "2.5 s  f/5.6  ISO 400  +1 EV");
  EXPECT_EQ(CaptureSummary(CaptureData{}), "no capture data");
}
