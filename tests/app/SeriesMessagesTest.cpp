// What the window says about a series fusion and about memory, from the text table.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/SeriesMessages.h"
#include "settings/TextTable.h"

namespace {

TEST(SeriesMessagesTest, TheReportNamesTheFirstSkippedFileOrWhyNothingWasFused) {
  SeriesFusionReport report;
  report.status = SeriesFusionStatus::kFused;
  EXPECT_EQ(FusionReportText(report), "");
  const auto skipped = [](const char* path, SeriesSkipReason reason) {
    SeriesSkippedFile file;
    file.path = path;
    file.reason = reason;
    return file;
  };
  report.skipped = {skipped("/photos/a.png", SeriesSkipReason::kOtherGeometry)};
  EXPECT_EQ(FusionReportText(report), "Skipped a.png: " + LangText(TextId::kSkipMismatch));
  report.skipped.push_back(skipped("/photos/b.png", SeriesSkipReason::kUnreadable));
  report.skipped.push_back(skipped("/photos/c.png", SeriesSkipReason::kUnreadable));
  EXPECT_EQ(FusionReportText(report),
            "Skipped a.png: " + LangText(TextId::kSkipMismatch) + " (and 2 more)");
  report.skipped.clear();
  report.status = SeriesFusionStatus::kNoPicture;
  EXPECT_EQ(FusionReportText(report), "Cannot fuse the series: none of the files could be read");
  // Every way a fusion can fail has words of its own.
  for (SeriesFusionStatus status :
       {SeriesFusionStatus::kNoFiles, SeriesFusionStatus::kNoPicture,
        SeriesFusionStatus::kUnsupported, SeriesFusionStatus::kRegionOutside,
        SeriesFusionStatus::kOutputMismatch, SeriesFusionStatus::kFileRejected,
        SeriesFusionStatus::kOutOfMemory, SeriesFusionStatus::kCancelled})
    EXPECT_EQ(FusionStatusText(status), SeriesFusionStatusText(status));
}

TEST(SeriesMessagesTest, AMemoryRefusalRoundsTheNeedUpAndWhatIsAvailableDown) {
  constexpr uint64_t kMB = 1024 * 1024;
  EXPECT_EQ(MemoryRefusalText(TextId::kJobToneMapping, 300 * kMB, 300 * kMB), "");
  EXPECT_EQ(MemoryRefusalText(TextId::kJobToneMapping, 300 * kMB + 1, 200 * kMB + kMB - 1),
            "Tone mapping needs about 301 MB of memory, but only 200 MB are available.");
}

}  // namespace

TEST(SeriesMessagesTest, TheAlignmentLineGivesTheLargestMotionAndThePictureLeftAsItWas) {
  SeriesAlignment alignment;
  alignment.reference = 1;
  alignment.motions.resize(4);
  for (FrameMotion& motion : alignment.motions)
    motion.outcome = AlignOutcome::kStill;
  const std::vector<std::filesystem::path> files = {"a/one.jpg", "a/two.jpg", "a/three.jpg",
                                                    "a/four.jpg"};
  EXPECT_EQ(AlignmentStatusText(alignment, files), LangText(TextId::kAlignNothingMoved));

  // The largest shift and the largest turn, either way, may come from different pictures.
  alignment.motions[0].outcome = AlignOutcome::kAligned;
  alignment.motions[0].shiftX = -3.0;
  alignment.motions[0].shiftY = 4.0;
  alignment.motions[0].rotationDegrees = 0.12;
  alignment.motions[2].outcome = AlignOutcome::kAligned;
  alignment.motions[2].shiftX = 1.0;
  alignment.motions[2].rotationDegrees = -0.44;
  EXPECT_EQ(AlignmentStatusText(alignment, files),
            "Aligned 2 pictures: largest shift 5.0 px, rotation 0.4\xC2\xB0");

  alignment.motions[3].outcome = AlignOutcome::kLeftAsIs;
  alignment.motions[3].reason = AlignReason::kPoorMatch;
  EXPECT_EQ(AlignmentStatusText(alignment, files),
            "Aligned 2 pictures: largest shift 5.0 px, rotation 0.4\xC2\xB0; four.jpg was left as "
            "it was: " +
                std::string(AlignReasonText(AlignReason::kPoorMatch)));
  alignment.motions[0].outcome = alignment.motions[2].outcome = AlignOutcome::kStill;
  EXPECT_EQ(
      AlignmentStatusText(alignment, files),
      "four.jpg was left as it was: " + std::string(AlignReasonText(AlignReason::kPoorMatch)));
}
