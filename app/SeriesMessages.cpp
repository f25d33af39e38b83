#include "app/SeriesMessages.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "settings/TextTable.h"

std::string FusionStatusText(SeriesFusionStatus status) {
  switch (status) {
    case SeriesFusionStatus::kFused:
      return {};
    case SeriesFusionStatus::kNoFiles:
      return LangText(TextId::kFuseNoFiles);
    case SeriesFusionStatus::kNoPicture:
      return LangText(TextId::kFuseNoPicture);
    case SeriesFusionStatus::kUnsupported:
      return LangText(TextId::kFuseUnsupported);
    case SeriesFusionStatus::kRegionOutside:
      return LangText(TextId::kFuseRegionOutside);
    case SeriesFusionStatus::kOutputMismatch:
      return LangText(TextId::kFuseOutputMismatch);
    case SeriesFusionStatus::kFileRejected:
      return LangText(TextId::kFuseFileRejected);
    case SeriesFusionStatus::kOutOfMemory:
      return LangText(TextId::kFuseOutOfMemory);
    case SeriesFusionStatus::kCancelled:
      return LangText(TextId::kFuseCancelled);
  }
  return {};
}

std::string CannotFuseText(SeriesFusionStatus status) {
  return FormatText(TextId::kCannotFuse, {FusionStatusText(status)});
}

std::string SkipReasonText(SeriesSkipReason reason) {
  return LangText(reason == SeriesSkipReason::kUnreadable ? TextId::kSkipUnreadable
                                                          : TextId::kSkipMismatch);
}

std::string FusionReportText(const SeriesFusionReport& report) {
  if (!report.skipped.empty()) {
    const SeriesSkippedFile& first = report.skipped.front();
    std::string text = FormatText(TextId::kSkippedFile,
                                  {first.path.filename().string(), SkipReasonText(first.reason)});
    if (report.skipped.size() > 1)
      text += FormatText(TextId::kSkippedMore, {std::to_string(report.skipped.size() - 1)});
    return text;
  }
  if (report.status != SeriesFusionStatus::kFused) return CannotFuseText(report.status);
  return {};
}

std::string MemoryRefusalText(TextId job, uint64_t need, uint64_t available) {
  if (need <= available) return {};
  constexpr uint64_t kMB = 1024 * 1024;
  return FormatText(TextId::kMemoryRefusal, {LangText(job), std::to_string((need + kMB - 1) / kMB),
                                             std::to_string(available / kMB)});
}

namespace {

std::string OneDecimal(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f", value);
  return text;
}

}  // namespace

std::string AlignmentStatusText(const SeriesAlignment& alignment,
                                std::span<const std::filesystem::path> files) {
  int moved = 0;
  double shift = 0.0;
  double rotation = 0.0;
  int leftAsIs = -1;
  for (int i = 0; i < static_cast<int>(alignment.motions.size()); ++i) {
    const FrameMotion& motion = alignment.motions[static_cast<size_t>(i)];
    if (alignment.LeftAsIs(i) && leftAsIs < 0 && i != alignment.reference) leftAsIs = i;
    if (!alignment.Moved(i)) continue;
    ++moved;
    shift = std::max(shift, std::hypot(motion.shiftX, motion.shiftY));
    rotation = std::max(rotation, std::abs(motion.rotationDegrees));
  }
  std::string text =
      moved > 0 ? FormatText(TextId::kAlignFound,
                             {std::to_string(moved), OneDecimal(shift), OneDecimal(rotation)})
                : std::string();
  if (leftAsIs >= 0) {
    const std::string name = static_cast<size_t>(leftAsIs) < files.size()
                                 ? files[static_cast<size_t>(leftAsIs)].filename().string()
                                 : std::to_string(leftAsIs + 1);
    const std::string why = FormatText(
        TextId::kAlignLeftAsIs,
        {name, AlignReasonText(alignment.motions[static_cast<size_t>(leftAsIs)].reason)});
    text = text.empty() ? why : text + "; " + why;
  }
  return text.empty() ? LangText(TextId::kAlignNothingMoved) : text;
}

std::string GhostStatusText(const SeriesGhosts& ghosts) {
  const int keptOut = ghosts.KeptOutCount();
  if (keptOut == 0) return LangText(TextId::kGhostsNone);
  return FormatText(TextId::kGhostsFound,
                    {std::to_string(keptOut), std::to_string(ghosts.rejected.size()),
                     OneDecimal(100.0 * ghosts.LargestShare())});
}
