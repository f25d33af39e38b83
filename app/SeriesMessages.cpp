#include "app/SeriesMessages.h"

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
