// The daylight family: 39 power-curve and levels variants of one picture,
// listed by brightness.
#include <algorithm>
#include <cmath>
#include <mutex>
#include <new>
#include <vector>

#include "picture/CBxPicBufAPI.h"
#include "single/Exposure.h"
#include "single/SeriesJobSupport.h"
#include "single/SeriesJobs.h"

namespace {

constexpr int kFamilySize = kDaylightFamilySize;  // 9 + 8 + 7 + 6 + 5 + 4

struct BrightnessRecord {
  uint32_t key;
  int number;  // position in generation order
};

struct Variant {
  int row;
  int column;
};

// Row r holds the 9 - r variants of columns 0..8 - r, rows in order.
Variant VariantOf(int number) {
  int row = 0;
  while (number > 8 - row) {
    number -= 9 - row;
    ++row;
  }
  return {row, number};
}

double PlaneMean(const SBxPicBuf& picture) {
  uint64_t sum = 0;
  for (int y = 0; y < picture.height; ++y) {
    const uint8_t* row = RowPtr(picture, y);
    for (int x = 0; x < picture.width; ++x) {
      sum += picture.bitsPerComponent == 8 ? row[x] : reinterpret_cast<const uint16_t*>(row)[x];
    }
  }
  return static_cast<double>(sum) /
         static_cast<double>(static_cast<int64_t>(picture.width) * picture.height);
}

// Variant (row, column) of the source into result; `power` is scratch.
void MakeVariant(SBxPicBuf* result, SBxPicBuf* power, const SBxPicBuf& source,
                 DaylightDirection direction, int row, int column) {
  const uint32_t k = source.bitsPerComponent == 8 ? 1u : 256u;
  const bool up = direction == DaylightDirection::kUp;
  const double gamma = up ? std::pow(1.2, row) : std::pow(1.12, -row);
  GammaCurve(power, &source, gamma);
  if (up) {
    // Samples at or above the white point clip; below it they stretch to the
    // full range: a levels window starting at 0.
    LevelsWindow(result, power, 0, static_cast<uint32_t>(255 - 20 * column) * k);
  } else {
    LevelsWindow(result, power, static_cast<uint32_t>(12 * column) * k,
                 SampleMaximum(source.bitsPerComponent));
  }
}

// What every variant makes of each sample value: entry s of a table is the
// sample s becomes. Made by running the variants over a picture that holds
// every value of the depth once, so a table is exactly its variant's
// arithmetic; one pass through it then makes the variant of a whole picture.
using VariantTable = std::vector<uint16_t>;

bool MakeVariantTables(const SBxPicBuf& source, DaylightDirection direction,
                       std::vector<VariantTable>* tables) {
  const int values = source.bitsPerComponent == 8 ? 256 : 65536;
  const uint32_t bits = source.bitsPerComponent;
  ScopedPicBuf ramp(values, 1, 1, bits), power(values, 1, 1, bits), result(values, 1, 1, bits);
  if (!ramp->pixels || !power->pixels || !result->pixels) return false;
  for (int v = 0; v < values; ++v) {
    if (bits == 8) {
      ramp->pixels[v] = static_cast<uint8_t>(v);
    } else {
      reinterpret_cast<uint16_t*>(ramp->pixels)[v] = static_cast<uint16_t>(v);
    }
  }
  tables->assign(kFamilySize, VariantTable(static_cast<size_t>(values)));
  for (int number = 0; number < kFamilySize; ++number) {
    const Variant variant = VariantOf(number);
    MakeVariant(result.get(), power.get(), *ramp, direction, variant.row, variant.column);
    VariantTable& table = (*tables)[static_cast<size_t>(number)];
    for (int v = 0; v < values; ++v)
      table[static_cast<size_t>(v)] =
          bits == 8 ? result->pixels[v] : reinterpret_cast<const uint16_t*>(result->pixels)[v];
  }
  return true;
}

template <typename T>
void ApplyTable(SBxPicBuf* dst, const SBxPicBuf& src, const VariantTable& table) {
  // The table in the samples' own type (every entry is a sample of the depth):
  // an 8-bit picture then reads a 256-byte table that stays in the cache.
  const std::vector<T> typed(table.begin(), table.end());
  const size_t n = static_cast<size_t>(src.width) * src.components;
  ForRowBands(src.height, [&](int first, int end) {
    for (int y = first; y < end; ++y) {
      const T* s = reinterpret_cast<const T*>(RowPtr(src, y));
      T* d = reinterpret_cast<T*>(RowPtr(*dst, y));
      const T* lookUp = typed.data();  // a local, so byte stores cannot make it reload
      for (size_t i = 0; i < n; ++i)
        d[i] = lookUp[s[i]];
    }
  });
}

// How often each sample value occurs, per component.
using Histogram = std::vector<std::vector<uint64_t>>;

template <typename T>
void CountRows(const SBxPicBuf& picture, int first, int end, Histogram* counts) {
  const size_t c = picture.components;
  for (int y = first; y < end; ++y) {
    const T* s = reinterpret_cast<const T*>(RowPtr(picture, y));
    for (int x = 0; x < picture.width; ++x, s += c) {
      for (size_t k = 0; k < c; ++k)
        ++(*counts)[k][s[k]];
    }
  }
}

// Counted per band and then summed: whole numbers, so the order does not matter.
// False when memory runs out.
template <typename T>
bool CountValues(const SBxPicBuf& picture, size_t values, Histogram* counts) {
  const size_t c = picture.components;
  counts->assign(c, std::vector<uint64_t>(values, 0));
  std::mutex merge;
  bool failed = false;
  ForRowBands(picture.height, [&](int first, int end) {
    try {
      Histogram band(c, std::vector<uint64_t>(values, 0));
      CountRows<T>(picture, first, end, &band);
      std::lock_guard<std::mutex> lock(merge);
      for (size_t k = 0; k < c; ++k)
        for (size_t v = 0; v < values; ++v)
          (*counts)[k][v] += band[k][v];
    } catch (const std::bad_alloc&) {
      std::lock_guard<std::mutex> lock(merge);
      failed = true;
    }
  });
  return !failed;
}

// BrightnessKey of a variant from the source's histogram: the integer sum of
// each component is the same however it is added up, so each mean, and so the
// key, is bit for bit that of the made picture.
uint32_t KeyFromHistogram(const Histogram& counts, const VariantTable& table,
                          const SBxPicBuf& source) {
  const double pixels = static_cast<double>(static_cast<int64_t>(source.width) * source.height);
  double means[3] = {0, 0, 0};
  for (size_t k = 0; k < counts.size(); ++k) {
    uint64_t total = 0;
    for (size_t v = 0; v < table.size(); ++v)
      total += counts[k][v] * table[v];
    means[k] = static_cast<double>(total) / pixels;
  }
  if (source.components == 3) return static_cast<uint32_t>(means[0] + means[1] + means[2] + 0.5);
  return static_cast<uint32_t>(3.0 * means[0] + 0.5);
}

// The variants' numbers in list order: by key, equal keys in generation order
// (so a family always lists the same way); Down mirrors the record order on
// the variant numbers.
std::vector<int> ListOrder(const std::vector<uint32_t>& keys, DaylightDirection direction) {
  const int count = static_cast<int>(keys.size());
  std::vector<BrightnessRecord> records;
  records.reserve(keys.size());
  for (int n = 0; n < count; ++n)
    records.push_back({keys[static_cast<size_t>(n)], n});
  std::stable_sort(
      records.begin(), records.end(),
      [](const BrightnessRecord& a, const BrightnessRecord& b) { return a.key < b.key; });
  std::vector<int> order;
  order.reserve(keys.size());
  for (const BrightnessRecord& record : records)
    order.push_back(direction == DaylightDirection::kUp ? record.number
                                                        : count - 1 - record.number);
  return order;
}

}  // namespace

uint32_t BrightnessKey(const SBxPicBuf& picture) {
  if (!picture.pixels) return 0;
  if (picture.components == 3) {
    double m0 = 0, m1 = 0, m2 = 0;
    if (picture.bitsPerComponent == 8) {
      ChannelMeans_3x8(&m0, &m1, &m2, &picture);
    } else {
      ChannelMeans_3x16(&m0, &m1, &m2, &picture);
    }
    return static_cast<uint32_t>(m0 + m1 + m2 + 0.5);
  }
  if (picture.components == 1) return static_cast<uint32_t>(3.0 * PlaneMean(picture) + 0.5);
  return 0;
}

SeriesOutcome RunDaylightSeries(const SBxPicBuf& source, DaylightDirection direction,
                                const SeriesTarget& target, JobProgress* progress) {
  SeriesFileSink sink(target, [&](int number) {
    const Variant variant = VariantOf(number);
    return FamilyFileName(target.folder, variant.row, variant.column);
  });
  return MakeDaylightSeries(source, direction, target.texts, &sink, progress);
}

SeriesOutcome MakeDaylightSeries(const SBxPicBuf& source, DaylightDirection direction,
                                 const SeriesTexts& texts, SeriesSink* sink,
                                 JobProgress* progress) {
  SeriesOutcome outcome;
  if (direction != DaylightDirection::kUp && direction != DaylightDirection::kDown) {
    outcome.status = SeriesStatus::kUnsupported;
    return outcome;
  }
  outcome.status = StartSeries(source, sink);
  if (outcome.status != SeriesStatus::kCompleted) return outcome;
  ScopedPicBuf result(source.width, source.height, source.components, source.bitsPerComponent);
  std::vector<VariantTable> tables;
  Histogram counts;
  const bool eightBit = source.bitsPerComponent == 8;
  if (!result->pixels || !MakeVariantTables(source, direction, &tables) ||
      !(eightBit ? CountValues<uint8_t>(source, 256, &counts)
                 : CountValues<uint16_t>(source, 65536, &counts))) {
    outcome.status = SeriesStatus::kNoMemory;
    return outcome;
  }
  std::vector<uint32_t> keys;
  for (const VariantTable& table : tables)
    keys.push_back(KeyFromHistogram(counts, table, source));

  // The variants to make, in the order the sink takes them.
  const int wanted = sink->FusionOrderCount();
  std::vector<int> made;
  if (wanted == SeriesSink::kWholeSeries) {
    for (int n = 0; n < kFamilySize; ++n)
      made.push_back(n);
  } else {
    made = ListOrder(keys, direction);
    made.resize(static_cast<size_t>(std::clamp(wanted, 0, kFamilySize)));
  }
  const int total = static_cast<int>(made.size());
  if (progress) {
    progress->SetRange(0, total + 1);
    progress->SetPosition(0);
    progress->SetText(texts.preparing);
  }
  int count = 0;
  for (const int number : made) {
    const VariantTable& table = tables[static_cast<size_t>(number)];
    if (eightBit) {
      ApplyTable<uint8_t>(result.get(), source, table);
    } else {
      ApplyTable<uint16_t>(result.get(), source, table);
    }
    if (!sink->Take(*result, number, &outcome)) return outcome;
    // 5 % at the first picture, 100 % at the last.
    const int percent = total > 1 ? 5 + 95 * count / (total - 1) : 100;
    ReportSeriesProgress(progress, texts, percent, count + 1);
    if (progress && progress->CancelRequested()) {
      outcome.status = SeriesStatus::kCancelled;
      break;
    }
    ++count;
  }
  // A whole series is listed from the pictures made before a cancel; the
  // first N of the list come in list order already.
  if (wanted == SeriesSink::kWholeSeries) {
    keys.resize(static_cast<size_t>(count));
    made = ListOrder(keys, direction);
  } else {
    made.resize(static_cast<size_t>(count));
  }
  for (const int number : made)
    outcome.listed.push_back(sink->Name(number));
  return outcome;
}
