#include "jobs/BatchGrouping.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <optional>

#include "jobs/SourceList.h"

namespace fs = std::filesystem;

static_assert(parameter::kMaxSeriesPictures == SourceList::kCapacity,
              "a series of a batch is fused as the program's series is");

namespace {

// Biases closer than this are one step of a pattern: cameras write thirds as 0.33 or 1/3.
constexpr double kBiasTolerance = 0.05;

bool SameBias(double a, double b) {
  return std::fabs(a - b) < kBiasTolerance;
}

double Seconds(int64_t microseconds) {
  return static_cast<double>(microseconds) / 1e6;
}

// When the picture's exposure ended, on the camera's clock.
int64_t ExposureEnd(const CaptureData& c) {
  return *c.timeMicroseconds +
         static_cast<int64_t>(std::llround(c.exposureSeconds.value_or(0.0) * 1e6));
}

std::string Names(const std::vector<const BatchPicture*>& pictures) {
  std::string text;
  const size_t shown = std::min<size_t>(pictures.size(), 3);
  for (size_t i = 0; i < shown; ++i)
    text += (i > 0 ? ", " : "") + pictures[i]->path.filename().string();
  if (pictures.size() > shown) text += " and " + std::to_string(pictures.size() - shown) + " more";
  return text;
}

// Why the picture `next` cannot follow the series, if it cannot.
std::optional<SeriesEnd> EndBefore(const BatchSeries& series, int64_t latestEnd,
                                   const BatchPicture& next, double gapSeconds, double* gap) {
  const CaptureData& last = series.pictures.back().capture;
  const CaptureData& first = series.pictures.front().capture;
  const CaptureData& c = next.capture;
  if (c.CameraKey() != last.CameraKey()) return SeriesEnd::kCameraChanged;
  if (c.width != last.width || c.height != last.height) return SeriesEnd::kSizeChanged;
  *gap = Seconds(*c.timeMicroseconds - latestEnd);
  if (*gap > gapSeconds) return SeriesEnd::kGap;
  if (c.exposureBias && first.exposureBias && last.exposureBias &&
      SameBias(*c.exposureBias, *first.exposureBias) &&
      !SameBias(*last.exposureBias, *c.exposureBias))
    return SeriesEnd::kBiasRestarted;
  if (static_cast<int>(series.pictures.size()) >= parameter::kMaxSeriesPictures)
    return SeriesEnd::kFull;
  return {};
}

// Time order with name order between equal times, then camera by camera in the order the
// cameras first appear.
void OrderByCameraAndTime(std::vector<BatchPicture>* pictures) {
  std::stable_sort(pictures->begin(), pictures->end(),
                   [](const BatchPicture& a, const BatchPicture& b) {
                     return *a.capture.timeMicroseconds < *b.capture.timeMicroseconds;
                   });
  std::map<std::string, size_t> cameraRank;
  for (const BatchPicture& p : *pictures)
    cameraRank.emplace(p.capture.CameraKey(), cameraRank.size());
  std::stable_sort(pictures->begin(), pictures->end(),
                   [&cameraRank](const BatchPicture& a, const BatchPicture& b) {
                     return cameraRank[a.capture.CameraKey()] < cameraRank[b.capture.CameraKey()];
                   });
}

BatchGrouping GroupByCaptureData(std::vector<BatchPicture> pictures, double gapSeconds) {
  BatchGrouping grouping;
  std::vector<const BatchPicture*> timeless;
  for (const BatchPicture& p : pictures)
    if (!p.capture.HasTime()) timeless.push_back(&p);
  if (!timeless.empty()) {
    grouping.refusal = std::to_string(timeless.size()) + " of " + std::to_string(pictures.size()) +
                       " pictures carry no capture time (" + Names(timeless) +
                       "): group them by a fixed count instead";
    return grouping;
  }
  OrderByCameraAndTime(&pictures);
  int64_t latestEnd = 0;
  for (BatchPicture& picture : pictures) {
    double gap = 0.0;
    std::optional<SeriesEnd> end;
    if (!grouping.series.empty())
      end = EndBefore(grouping.series.back(), latestEnd, picture, gapSeconds, &gap);
    if (grouping.series.empty() || end) {
      if (end) {
        grouping.series.back().end = *end;
        grouping.series.back().gapSeconds = *end == SeriesEnd::kGap ? gap : 0.0;
      }
      grouping.series.emplace_back();
      latestEnd = ExposureEnd(picture.capture);
    }
    latestEnd = std::max(latestEnd, ExposureEnd(picture.capture));
    grouping.series.back().pictures.push_back(std::move(picture));
  }
  return grouping;
}

BatchGrouping GroupByCount(std::vector<BatchPicture> pictures, int count) {
  BatchGrouping grouping;
  for (size_t i = 0; i < pictures.size(); ++i) {
    if (i % static_cast<size_t>(count) == 0) {
      if (!grouping.series.empty()) grouping.series.back().end = SeriesEnd::kFixedGroup;
      grouping.series.emplace_back();
    }
    grouping.series.back().pictures.push_back(std::move(pictures[i]));
  }
  return grouping;
}

std::string Trimmed(double value, const char* format) {
  char text[32];
  std::snprintf(text, sizeof text, format, value);
  std::string s = text;
  if (s.find('.') != std::string::npos) {
    s.erase(s.find_last_not_of('0') + 1);
    if (s.back() == '.') s.pop_back();
  }
  return s;
}

std::string ExposureText(double seconds) {
  // Short exposures as cameras show them: 1/250 s.
  if (seconds < 0.5) return "1/" + Trimmed(std::round(1.0 / seconds), "%.0f") + " s";
  return Trimmed(seconds, "%.1f") + " s";
}

}  // namespace

bool ReadBatchPictures(std::span<const fs::path> files, JobProgress* progress,
                       std::vector<BatchPicture>* pictures) {
  pictures->clear();
  pictures->reserve(files.size());
  if (progress) progress->SetRange(0, static_cast<int>(files.size()));
  for (const fs::path& file : files) {
    if (progress && progress->CancelRequested()) return true;
    BatchPicture picture;
    picture.path = file;
    picture.headerRead = !ReadCaptureData(file, &picture.capture);
    pictures->push_back(std::move(picture));
    if (progress) progress->Advance(1);
  }
  return false;
}

BatchGrouping GroupBatchPictures(std::vector<BatchPicture> pictures,
                                 const GroupingRequest& request) {
  BatchGrouping grouping;
  if (pictures.empty()) {
    grouping.refusal = "no pictures to group";
    return grouping;
  }
  if (request.fixedGroup != 0 && !parameter::kGroupSize.Contains(request.fixedGroup)) {
    grouping.refusal = "a fixed group holds " + std::to_string(parameter::kGroupSize.minimum) +
                       " to " + std::to_string(parameter::kGroupSize.maximum) + " pictures";
    return grouping;
  }
  if (request.fixedGroup == 0 && !parameter::kSeriesGap.Contains(request.gapSeconds)) {
    grouping.refusal = "the pause that ends a series must be " +
                       Trimmed(parameter::kSeriesGap.minimum, "%.1f") + " to " +
                       Trimmed(parameter::kSeriesGap.maximum, "%.1f") + " seconds";
    return grouping;
  }
  std::stable_sort(
      pictures.begin(), pictures.end(),
      [](const BatchPicture& a, const BatchPicture& b) { return NameOrderLess(a.path, b.path); });
  return request.fixedGroup > 0 ? GroupByCount(std::move(pictures), request.fixedGroup)
                                : GroupByCaptureData(std::move(pictures), request.gapSeconds);
}

bool NameOrderLess(const fs::path& a, const fs::path& b) {
  const std::string& x = a.native();
  const std::string& y = b.native();
  size_t i = 0, j = 0;
  const auto digit = [](char c) { return c >= '0' && c <= '9'; };
  while (i < x.size() && j < y.size()) {
    if (digit(x[i]) && digit(y[j])) {
      // Leading zeros aside, a longer run is a larger number.
      size_t i0 = i, j0 = j;
      while (i0 < x.size() && x[i0] == '0')
        ++i0;
      while (j0 < y.size() && y[j0] == '0')
        ++j0;
      size_t i1 = i0, j1 = j0;
      while (i1 < x.size() && digit(x[i1]))
        ++i1;
      while (j1 < y.size() && digit(y[j1]))
        ++j1;
      if (i1 - i0 != j1 - j0) return i1 - i0 < j1 - j0;
      const int order = x.compare(i0, i1 - i0, y, j0, j1 - j0);
      if (order != 0) return order < 0;
      i = i1;
      j = j1;
      continue;
    }
    if (x[i] != y[j]) return static_cast<unsigned char>(x[i]) < static_cast<unsigned char>(y[j]);
    ++i;
    ++j;
  }
  if ((i < x.size()) != (j < y.size())) return j < y.size();
  return x < y;  // equal but for leading zeros: a fixed order all the same
}

std::string SeriesEndText(const BatchSeries& series) {
  switch (series.end) {
    case SeriesEnd::kGap:
      return "pause of " + Trimmed(series.gapSeconds, "%.1f") + " s";
    case SeriesEnd::kCameraChanged:
      return "camera changed";
    case SeriesEnd::kSizeChanged:
      return "picture size changed";
    case SeriesEnd::kBiasRestarted:
      return "exposure bias pattern restarted";
    case SeriesEnd::kFull:
      return std::to_string(parameter::kMaxSeriesPictures) + " pictures, the most one series holds";
    case SeriesEnd::kFixedGroup:
      return "fixed group";
    case SeriesEnd::kLastPicture:
      return "last picture";
  }
  return {};
}

std::string CaptureSummary(const CaptureData& c) {
  std::vector<std::string> parts;
  if (c.timeMicroseconds) parts.push_back(FormatCaptureTime(*c.timeMicroseconds));
  if (c.exposureSeconds) parts.push_back(ExposureText(*c.exposureSeconds));
  if (c.fNumber) parts.push_back("f/" + Trimmed(*c.fNumber, "%.1f"));
  if (c.iso) parts.push_back("ISO " + std::to_string(*c.iso));
  if (c.exposureBias) {
    const double bias = std::fabs(*c.exposureBias) < kBiasTolerance ? 0.0 : *c.exposureBias;
    parts.push_back((bias > 0.0 ? "+" : "") + Trimmed(bias, "%.1f") + " EV");
  }
  if (parts.empty()) return "no capture data";
  std::string text = parts.front();
  for (size_t i = 1; i < parts.size(); ++i)
    text += "  " + parts[i];
  return text;
}
