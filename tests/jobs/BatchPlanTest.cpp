// Planning a batch: the files a folder gives, the results' names, the results of an earlier
// run among the pictures, and a card's worth of made-up camera series grouped from files.
#include <gtest/gtest.h>

#include <cmath>

#include "jobs/BatchPlan.h"
#include "tests/support/CameraShots.h"
#include "tests/support/TestFiles.h"

namespace fs = std::filesystem;

namespace {

BatchSeries SeriesOf(std::initializer_list<const char*> files) {
  BatchSeries s;
  for (const char* file : files) {
    BatchPicture p;
    p.path = file;
    s.pictures.push_back(p);
  }
  return s;
}

std::vector<std::string> Names(const std::vector<fs::path>& paths) {
  std::vector<std::string> names;
  for (const fs::path& p : paths)
    names.push_back(p.string());
  return names;
}

// A picture with a capture time `seconds` after ten in the morning, as read from a camera.
BatchPicture Taken(const fs::path& path, double seconds) {
  BatchPicture p;
  p.path = path;
  p.headerRead = true;
  p.capture.timeMicroseconds =
      *ParseExifTime("2024:05:01 10:00:00", "") + static_cast<int64_t>(seconds * 1e6);
  p.capture.width = 64;
  p.capture.height = 48;
  return p;
}

}  // namespace

TEST(BatchNaming, FieldsAreFilledFromEachSeriesFirstPicture) {
  const std::vector<BatchSeries> series = {SeriesOf({"/card/IMG_0001.JPG", "/card/IMG_0002.JPG"}),
                                           SeriesOf({"IMG_0003.jpg"})};
  BatchOutputs named = NameBatchOutputs(kDefaultOutputPattern, series);
  EXPECT_EQ(named.refusal, "");
  EXPECT_EQ(Names(named.outputs),
            (std::vector<std::string>{"/card/IMG_0001-vtx.jpg", "./IMG_0003-vtx.jpg"}));
  named = NameBatchOutputs("/out/{n}-{first}.tif", series);
  EXPECT_EQ(Names(named.outputs),
            (std::vector<std::string>{"/out/1-IMG_0001.tif", "/out/2-IMG_0003.tif"}));
}

TEST(BatchNaming, PatternsThatCannotNameEverySeriesApartAreRefused) {
  const std::vector<BatchSeries> series = {SeriesOf({"/a/IMG_1.jpg"}), SeriesOf({"/b/IMG_1.jpg"}),
                                           SeriesOf({"/b/IMG_2.jpg"})};
  EXPECT_EQ(NameBatchOutputs("/out/result.jpg", series).refusal,
            "series 1 and 2 would both be written to \"/out/result.jpg\": put {n} or {first} in "
            "the output pattern");
  // Told apart only by their folders, which the pattern leaves behind.
  EXPECT_EQ(NameBatchOutputs("{folder}/../{first}.png", series).refusal,
            "series 1 and 2 would both be written to \"/b/../IMG_1.png\": put {n} or {first} in "
            "the output pattern");
  EXPECT_EQ(NameBatchOutputs("{folder}/{first}.png", series).refusal, "");

  const struct {
    const char* pattern;
    const char* refusal;
  } cases[] = {
      {"", "the output pattern is empty"},
      {"{frist}.jpg",
       "the output pattern has an unknown field {frist} (it may hold {first}, {n} "
       "and {folder})"},
      {"{first.jpg", "the output pattern has a { without its }"},
      {"first}.jpg", "the output pattern has a } without its {"},
      {"{first}", "the output pattern must end in .jpg, .jpeg, .tif, .tiff, .png or .bmp"},
      {"{first}.gif", "the output pattern must end in .jpg, .jpeg, .tif, .tiff, .png or .bmp"},
      {"{folder}/", "the output pattern names no file"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(CheckOutputPattern(c.pattern), c.refusal) << c.pattern;
    EXPECT_EQ(NameBatchOutputs(c.pattern, series).refusal, c.refusal) << c.pattern;
  }
}

TEST(BatchPlan, ResultsOfAnEarlierRunAreLeftOutSoTheSeriesStayTheSame) {
  // A fused picture carries its first picture's capture data, so it would join that series.
  const std::vector<BatchPicture> sources = {Taken("/card/a1.jpg", 0), Taken("/card/a2.jpg", 1),
                                             Taken("/card/b1.jpg", 10), Taken("/card/b2.jpg", 11)};
  for (const char* pattern : {"{folder}/{first}-vtx.jpg", "{folder}/{first} fused.jpg",
                              "{folder}/fused-{n}.jpg", "{folder}/{first}_{n}.jpg"}) {
    const BatchPlan clean = PlanBatch(sources, {{}, pattern});
    ASSERT_EQ(clean.refusal, "") << pattern;
    ASSERT_EQ(clean.series.size(), 2u) << pattern;
    std::vector<BatchPicture> again = sources;
    for (size_t i = 0; i < clean.series.size(); ++i) {
      BatchPicture result = clean.series[i].pictures.front();
      result.path = clean.outputs[i];
      again.push_back(result);
    }
    const BatchPlan rerun = PlanBatch(again, {{}, pattern});
    ASSERT_EQ(rerun.refusal, "") << pattern;
    EXPECT_EQ(Names(rerun.outputs), Names(clean.outputs)) << pattern;
    EXPECT_EQ(Names(rerun.leftOut), Names(clean.outputs)) << pattern;
    for (const BatchSeries& s : rerun.series)
      EXPECT_EQ(s.pictures.size(), 2u) << pattern;
  }
  // A pattern that names a result after its own first picture would write over it.
  EXPECT_EQ(PlanBatch(sources, {{}, "{folder}/{first}.jpg"}).refusal,
            "the output pattern would write over \"/card/a1.jpg\", one of the pictures");
}

TEST(BatchPlan, FoldersGiveTheirPicturesOnceAndInNameOrder) {
  TempFolder folder;
  for (const char* name : {"IMG_10.jpg", "IMG_9.JPG", "c.tif", "d.PNG", "e.bmp", "f.jpeg",
                           "notes.txt", ".hidden.jpg", ".IMG_9.part-123-0.jpg"})
    WriteTextFile(folder / name, "x");
  fs::create_directories(folder / "sub.jpg");
  WriteTextFile(folder / "sub.jpg" / "deep.jpg", "x");
  const std::vector<fs::path> inputs = {folder / "e.bmp", folder.path(), folder / "IMG_9.JPG"};
  const CollectedFiles collected = CollectBatchFiles(inputs);
  EXPECT_EQ(collected.refusal, "");
  std::vector<std::string> names;
  for (const fs::path& p : collected.files)
    names.push_back(p.filename().string());
  EXPECT_EQ(names, (std::vector<std::string>{"e.bmp", "IMG_9.JPG", "IMG_10.jpg", "c.tif", "d.PNG",
                                             "f.jpeg"}));

  const std::vector<fs::path> missing = {folder.path(), folder / "nothing.jpg"};
  EXPECT_EQ(CollectBatchFiles(missing).refusal,
            "\"" + (folder / "nothing.jpg").string() + "\": no such file or folder");
  const std::vector<fs::path> device = {"/dev/null"};
  EXPECT_EQ(CollectBatchFiles(device).refusal, "\"/dev/null\": not a file");
  fs::create_directories(folder / "empty");
  const std::vector<fs::path> empty = {folder / "empty"};
  EXPECT_EQ(CollectBatchFiles(empty).refusal, "no pictures found");
}

// A card's worth of copies of the sample photographs with made-up capture data: series of 3, 5
// and 7 frames shot 2 seconds apart, a set bracketed by hand around a 30-second exposure, a
// second camera shooting at the same time, and edited pictures without capture data.
class CardFolderTest : public ::testing::Test {
 protected:
  void Shoot(const std::string& name, double at, double exposure, std::optional<double> bias,
             const std::string& serial) {
    const fs::path& sample = samples_[count_++ % samples_.size()];
    exif::CopyJpegWithExif(sample, card_ / name, shots::ShotFields(at, exposure, bias, serial));
  }

  std::string PlanOf(const fs::path& folder, GroupingRequest grouping = {}) {
    const std::vector<fs::path> inputs = {folder};
    const CollectedFiles files = CollectBatchFiles(inputs);
    EXPECT_EQ(files.refusal, "");
    std::vector<BatchPicture> pictures;
    EXPECT_FALSE(ReadBatchPictures(files.files, nullptr, &pictures));
    const BatchPlan plan = PlanBatch(pictures, {grouping, std::string(kDefaultOutputPattern)});
    if (!plan.refusal.empty()) return "refused: " + plan.refusal;
    std::string text;
    for (const BatchSeries& s : plan.series) {
      for (const BatchPicture& p : s.pictures)
        text += p.path.stem().string() + " ";
      text.append("(").append(SeriesEndText(s)).append(")\n");
    }
    return text;
  }

  TempFolder folder_;
  fs::path card_ = folder_ / "card";
  std::vector<fs::path> samples_;  // all of one size, as one camera's
  size_t count_ = 0;

  void SetUp() override {
    fs::create_directories(card_);
    const fs::path root(MELVARO_SAMPLES_DIR);
    for (const char* name : {"rovinia/rovinia1.jpg", "rovinia/rovinia2.jpg", "rovinia/rovinia3.jpg",
                             "secretbeach/SecretBeach1.jpg", "secretbeach/SecretBeach2.jpg",
                             "secretbeach/SecretBeach3.jpg"})
      samples_.push_back(root / "bracketed" / name);
  }
};

TEST_F(CardFolderTest, EverySeriesOfTheCardIsFoundWithWhyItEnded) {
  double t = 0.0;
  int n = 0;
  const auto name = [&n](const char* prefix) {
    char text[32];
    std::snprintf(text, sizeof text, "%s_%04d.jpg", prefix, ++n);
    return std::string(text);
  };
  // Camera 111 brackets automatically; camera 222 shoots beside it at the same time.
  for (const std::vector<double>& pattern :
       {std::vector<double>{0, -2, 2}, {0, -1, 1, -2, 2}, {0, -1, 1, -2, 2, -3, 3}}) {
    for (double bias : pattern) {
      Shoot(name("IMG"), t, 1.0 / 125, bias, "111");
      t += 0.4;
    }
    t += 2.0 - 0.4;
  }
  n = 0;
  const double atAndBias[][2] = {{0.2, 0}, {0.5, -1}, {0.9, 1}, {2.9, 0}, {3.3, -1}, {3.6, 1}};
  for (const auto& [at, bias] : atAndBias)
    Shoot(name("DSC"), at, 1.0 / 60, bias, "222");
  // Then by hand around a 30-second exposure (no bias recorded), twice, 5 s apart.
  n = 100;
  const double start = t + 60;
  Shoot(name("IMG"), start, 1.0 / 30, {}, "111");
  Shoot(name("IMG"), start + 1, 2.0, {}, "111");
  Shoot(name("IMG"), start + 4, 30.0, {}, "111");
  Shoot(name("IMG"), start + 35, 1.0 / 250, {}, "111");
  Shoot(name("IMG"), start + 40.5, 1.0 / 30, {}, "111");
  Shoot(name("IMG"), start + 41.5, 2.0, {}, "111");

  EXPECT_EQ(PlanOf(card_),
            "IMG_0001 IMG_0002 IMG_0003 (exposure bias pattern restarted)\n"
            "IMG_0004 IMG_0005 IMG_0006 IMG_0007 IMG_0008 (exposure bias pattern restarted)\n"
            "IMG_0009 IMG_0010 IMG_0011 IMG_0012 IMG_0013 IMG_0014 IMG_0015 (pause of 62 s)\n"
            "IMG_0101 IMG_0102 IMG_0103 IMG_0104 (pause of 5.5 s)\n"
            "IMG_0105 IMG_0106 (camera changed)\n"
            "DSC_0001 DSC_0002 DSC_0003 (exposure bias pattern restarted)\n"
            "DSC_0004 DSC_0005 DSC_0006 (last picture)\n");
}

TEST_F(CardFolderTest, EditedPicturesWithoutCaptureDataNeedAFixedCount) {
  const fs::path edited = folder_ / "edited";
  fs::create_directories(edited);
  const fs::path root(MELVARO_SAMPLES_DIR);
  int i = 0;
  for (const fs::path& sample : samples_)
    fs::copy_file(sample, edited / ("edit" + std::to_string(++i) + ".jpg"));
  fs::copy_file(root / "photos/sunset.jpg", edited / "edit10.jpg");
  EXPECT_EQ(PlanOf(edited),
            "refused: 7 of 7 pictures carry no capture time (edit1.jpg, "
            "edit2.jpg, edit3.jpg and 4 more): group them by a fixed count instead");
  GroupingRequest fixed;
  fixed.fixedGroup = 3;
  EXPECT_EQ(PlanOf(edited, fixed),
            "edit1 edit2 edit3 (fixed group)\nedit4 edit5 edit6 (fixed group)\nedit10 (last "
            "picture)\n");
}
