#include "single/SeriesJobSupport.h"

#include <algorithm>
#include <string>

#include "picture/ImageSave.h"
#include "single/Exposure.h"
#include "single/ProcessorCount.h"

bool SeriesSourceSupported(const SBxPicBuf& source) {
  return source.pixels && source.width > 0 && source.height > 0 &&
         (source.bitsPerComponent == 8 || source.bitsPerComponent == 16) &&
         (source.components == 1 || source.components == 3);
}

SeriesStatus StartSeries(const SBxPicBuf& source, SeriesSink* sink) {
  if (!SeriesSourceSupported(source)) return SeriesStatus::kUnsupported;
  return sink->Open();
}

SeriesStatus SeriesFileSink::Open() {
  return PrepareSeriesFolder(target_.folder, target_.cleanup) ? SeriesStatus::kCompleted
                                                              : SeriesStatus::kFolderUnusable;
}

bool SeriesFileSink::Take(const SBxPicBuf& picture, int number, SeriesOutcome* outcome) {
  return WriteSeriesFile(picture, name_(number), target_, outcome);
}

void ForRowBands(int height, const std::function<void(int first, int end)>& body) {
  // Bands of fewer rows are not worth a thread.
  constexpr int kMinBandRows = 64;
  const int bands = std::clamp(height / kMinBandRows, 1, ProcessorCount());
  RunParallel(bands, [&](int b) { body(height * b / bands, height * (b + 1) / bands); });
}

SBxPicBuf RowBand(const SBxPicBuf& picture, int first, int end) {
  SBxPicBuf band = picture;
  if (!picture.pixels) return band;
  band.pixels = RowPtr(picture, first);
  band.height = end - first;
  band.byteSize = picture.stride * static_cast<uint32_t>(band.height);
  return band;
}

void LevelsWindow(SBxPicBuf* dst, const SBxPicBuf* src, uint32_t low, uint32_t high) {
  ForRowBands(src->height, [&](int first, int end) {
    SBxPicBuf to = RowBand(*dst, first, end);
    const SBxPicBuf from = RowBand(*src, first, end);
    if (src->bitsPerComponent == 8) {
      LevelsWindow_x8(&to, &from, low, high);
    } else {
      LevelsWindow_x16(&to, &from, low, high);
    }
  });
}

void GammaCurve(SBxPicBuf* dst, const SBxPicBuf* src, double gamma) {
  if (src->bitsPerComponent == 8) {
    GammaCurve_x8(dst, src, gamma);
  } else {
    GammaCurve_x16(dst, src, gamma);
  }
}

bool WriteSeriesFile(const SBxPicBuf& picture, const std::filesystem::path& path,
                     const SeriesTarget& target, SeriesOutcome* outcome) {
  if (SaveImageTo(&picture, nullptr, path, target.jpegQuality)) {
    outcome->status = SeriesStatus::kWriteFailed;
    outcome->failedPath = path;
    return false;
  }
  outcome->written.push_back(path);
  return true;
}

void ReportSeriesProgress(JobProgress* progress, const SeriesTexts& texts, int percent,
                          int position) {
  if (!progress) return;
  if (progress->CancelRequested()) {
    progress->SetText(std::string());
  } else {
    progress->SetText(texts.progress + std::to_string(percent) + "%");
  }
  progress->SetPosition(position);
}
