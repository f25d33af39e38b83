// What the window says about a series fusion and about memory, from the text table.
#include <gtest/gtest.h>

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
