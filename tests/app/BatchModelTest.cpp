// The Batch dialog's model, without a display: what it lists for a card of series, pictures
// without capture data counted off in groups, where the results go, results that exist, and
// the choices the run is started with.
#include <gtest/gtest.h>

#include "app/batch/BatchModel.h"
#include "settings/TextTable.h"
#include "tests/app/BatchCard.h"
#include "tests/support/TestFiles.h"

namespace fs = std::filesystem;

namespace {

class BatchModelTest : public ::testing::Test {
 protected:
  void Add(std::initializer_list<fs::path> inputs) {
    const std::vector<fs::path> list(inputs);
    ASSERT_FALSE(model_.AddInputs(list, nullptr));
  }
  void Choose(const std::function<void(BatchChoices&)>& change) {
    BatchChoices choices = model_.Choices();
    change(choices);
    model_.SetChoices(choices);
  }
  std::vector<std::string> Column(std::string BatchListRow::*cell, bool series) const {
    std::vector<std::string> cells;
    for (const BatchListRow& row : model_.Rows())
      if (row.isSeries == series) cells.push_back(row.*cell);
    return cells;
  }

  TempFolder folder_;
  fs::path card_ = folder_ / "card";
  BatchModel model_;
};

}  // namespace

TEST_F(BatchModelTest, ListsEachSeriesWithItsPicturesExposuresAndResultBesideIt) {
  const auto series = batch_card::WriteCard(card_, 2);
  EXPECT_TRUE(model_.Rows().empty());
  EXPECT_FALSE(model_.CanRun());  // nothing chosen yet, and nothing to complain of
  EXPECT_EQ(model_.Problem(), "");

  Add({card_});
  // A folder added again, and a file of it, count once.
  Add({card_, series[1][2]});
  EXPECT_EQ(model_.PictureCount(), 6u);
  EXPECT_EQ(model_.Notes(),
            (std::vector<std::string>{FormatText(TextId::kBatchFound, {"2", "6"})}));
  EXPECT_EQ(Column(&BatchListRow::name, true),
            (std::vector<std::string>{FormatText(TextId::kBatchSeriesName, {"1"}),
                                      FormatText(TextId::kBatchSeriesName, {"2"})}));
  EXPECT_EQ(Column(&BatchListRow::result, true),
            (std::vector<std::string>{batch_card::ResultBeside(series[0]).string(),
                                      batch_card::ResultBeside(series[1]).string()}));
  EXPECT_EQ(Column(&BatchListRow::ended, true),
            (std::vector<std::string>{"pause of 28 s", "last picture"}));
  const std::vector<std::string> names = Column(&BatchListRow::name, false);
  EXPECT_EQ(names, (std::vector<std::string>{"IMG_0001.jpg", "IMG_0002.jpg", "IMG_0003.jpg",
                                             "IMG_0004.jpg", "IMG_0005.jpg", "IMG_0006.jpg"}));
  const std::string under = Column(&BatchListRow::capture, false)[1];
  EXPECT_TRUE(under.ends_with("1/125 s  -2 EV")) << under;
  EXPECT_TRUE(model_.CanRun());
  EXPECT_EQ(model_.OutputPattern(), "{folder}/{first}-vtx.jpg");

  // Pauses up to a minute allowed, the bias pattern starting again still ends the first series.
  Choose([](BatchChoices& c) { c.gapSeconds = 60; });
  EXPECT_EQ(Column(&BatchListRow::ended, true),
            (std::vector<std::string>{"exposure bias pattern restarted", "last picture"}));

  // A folder without pictures adds nothing and says why; what was chosen stays.
  fs::create_directories(folder_ / "empty");
  Add({folder_ / "empty"});
  EXPECT_EQ(model_.Problem(), "no pictures found");
  EXPECT_EQ(model_.PictureCount(), 6u);
  EXPECT_FALSE(model_.CanRun());
  Choose([](BatchChoices& c) { c.gapSeconds = 2; });
  EXPECT_TRUE(model_.CanRun());

  model_.ClearInputs();
  EXPECT_TRUE(model_.Rows().empty());
  EXPECT_FALSE(model_.CanRun());
}

// Without capture times the series can only be counted off in name order, whatever was chosen.
TEST_F(BatchModelTest, PicturesWithoutCaptureTimeAreTakenAFixedNumberAtATime) {
  fs::create_directories(card_);
  for (int i = 0; i < 4; ++i)
    fs::copy_file(batch_card::SampleSeries(0)[i % 3], card_ / ("P" + std::to_string(i) + ".jpg"));
  Add({card_});
  EXPECT_EQ(model_.PicturesWithoutTime(), 4u);
  EXPECT_FALSE(model_.Choices().fixedGroups);
  EXPECT_TRUE(model_.GroupedByCount());
  // Three at a time leaves one picture alone: it is left as it is.
  EXPECT_EQ(Column(&BatchListRow::capture, true),
            (std::vector<std::string>{FormatText(TextId::kBatchPictureCount, {"3"}),
                                      FormatText(TextId::kBatchPictureCount, {"1"})}));
  EXPECT_EQ(Column(&BatchListRow::result, true)[1], LangText(TextId::kBatchLeftAsItIs));
  EXPECT_EQ(model_.Notes().at(1), FormatText(TextId::kBatchWithoutTime, {"4"}));
  EXPECT_TRUE(model_.CanRun());

  Choose([](BatchChoices& c) { c.groupSize = 2; });
  EXPECT_EQ(Column(&BatchListRow::name, true).size(), 2u);
  // A count beyond the range is held to it.
  Choose([](BatchChoices& c) { c.groupSize = 1; });
  EXPECT_EQ(model_.Choices().groupSize, parameter::kGroupSize.minimum);
}

TEST_F(BatchModelTest, ResultsGoToTheChosenFolderAndThoseThatExistAreKeptUnlessOverwritten) {
  const auto series = batch_card::WriteCard(card_, 2);
  const fs::path out = folder_ / "out";
  fs::create_directories(out);
  Add({card_});
  Choose([&](BatchChoices& c) { c.outputFolder = out; });
  EXPECT_EQ(Column(&BatchListRow::result, true),
            (std::vector<std::string>{(out / "IMG_0001-vtx.jpg").string(),
                                      (out / "IMG_0004-vtx.jpg").string()}));

  // Another card whose first picture has the same name: beside their series the results are
  // told apart, in one folder they would clash.
  fs::create_directories(folder_ / "card2");
  for (int i = 0; i < 3; ++i)
    fs::copy_file(batch_card::SampleSeries(1)[i], folder_ / "card2" / series[0][i].filename());
  Add({folder_ / "card2"});  // without capture data: all are taken three at a time
  EXPECT_EQ(model_.Problem(), LangText(TextId::kBatchNamesClash));
  EXPECT_FALSE(model_.CanRun());
  Choose([&](BatchChoices& c) { c.outputFolder.clear(); });
  EXPECT_EQ(model_.Problem(), "");
  EXPECT_TRUE(model_.CanRun());
  model_.ClearInputs();
  Add({card_});
  Choose([&](BatchChoices& c) { c.outputFolder = out; });
  EXPECT_TRUE(model_.CanRun());

  // A folder that is not there, or whose name the pattern would read as fields, is refused.
  Choose([&](BatchChoices& c) { c.outputFolder = folder_ / "missing"; });
  EXPECT_EQ(model_.Problem(),
            FormatText(TextId::kBatchNoSuchFolder, {(folder_ / "missing").string()}));
  EXPECT_FALSE(model_.CanRun());
  const fs::path braces = folder_ / "trip {n}";
  fs::create_directories(braces);
  Choose([&](BatchChoices& c) { c.outputFolder = braces; });
  EXPECT_EQ(model_.Problem(), LangText(TextId::kBatchFolderBraces));
  EXPECT_FALSE(model_.CanRun());

  // Results beside the series: the first exists and is kept, the second is still to fuse.
  Choose([&](BatchChoices& c) { c.outputFolder.clear(); });
  WriteTextFile(batch_card::ResultBeside(series[0]), "done");
  model_.SetChoices(model_.Choices());
  EXPECT_EQ(Column(&BatchListRow::result, true)[0],
            FormatText(TextId::kBatchResultKept, {batch_card::ResultBeside(series[0]).string()}));
  EXPECT_TRUE(model_.CanRun());
  WriteTextFile(batch_card::ResultBeside(series[1]), "done");
  model_.SetChoices(model_.Choices());
  EXPECT_FALSE(model_.CanRun());
  Choose([](BatchChoices& c) {
    c.overwrite = true;
    c.exposure = 1000;
  });
  EXPECT_TRUE(model_.CanRun());
  const BatchRunOptions options = model_.RunOptions({});
  EXPECT_TRUE(options.overwrite);
  EXPECT_EQ(options.exposure, parameter::kExposure.maximum);
  EXPECT_FALSE(options.align || options.deghost);  // fused as they lie unless asked
  Choose([](BatchChoices& c) {
    c.align = true;
    c.removeGhosts = true;
    c.ghostStrength = 42;
  });
  const BatchRunOptions moving = model_.RunOptions({});
  ASSERT_TRUE(moving.align && moving.deghost);
  EXPECT_EQ(moving.deghost->strength, parameter::kDeghostStrength.maximum);
  EXPECT_EQ(moving.deghost->reference, parameter::kAlignReferenceMiddle);
}

// A folder of nothing but results (one given by mistake) has nothing to fuse.
TEST_F(BatchModelTest, AFolderOfResultsHasNothingToRun) {
  fs::create_directories(card_);
  for (const char* name : {"a-vtx.jpg", "b-vtx.jpg"})
    fs::copy_file(batch_card::SampleSeries(0)[0], card_ / name);
  Add({card_});
  EXPECT_EQ(model_.Problem(), "no pictures to fuse: all 2 pictures are results of an earlier run");
  EXPECT_TRUE(model_.Plan().onlyResults);
  EXPECT_FALSE(model_.CanRun());
}
