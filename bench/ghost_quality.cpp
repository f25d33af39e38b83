// Quality of the ghost weights on series with known motion, built from the
// bundled brackets: a patch of the scene pasted somewhere else in one frame, a
// region whose texture changes in one frame (mirrored in place), and a patch
// that moves inside a region the reference (the brightest frame) has blown
// out. Each is fused with the ghost weights and compared with the plain fusion
// of the same series without the motion (every frame as the reference has
// it); the plain fusion of the series with motion is printed beside it, as
// what the motion costs without them, and the fusion with the weights and the
// pictures kept out repaired from the reference. Still series: the fusion
// with the ghost weights and repair against the fusion without.
//
//   melvaro_ghost_quality [--strength S] [--crops DIR]
//   melvaro_ghost_quality --speed plain|weights|repaired
//   melvaro_ghost_quality --write DIR
//
// --crops writes before/after crops of the aligned St. Louis series (fountain
// and people) as small JPEGs. --speed fuses a -2/0/+2 EV bracket of the sunset
// photograph scaled to 12 megapixels, in memory, as the mode says, and prints
// the time of the fusion (with the ghost work) and the process's peak memory.
// --write writes that bracket, with a patch moved in its first frame, as quality-95 JPEGs
// ghost0.jpg..ghost2.jpg into DIR, for bench/deghost_vs_fuse.sh.
//
// Differences are in levels of 255, over all components: the mean inside the
// moved areas and outside them, and for still series the mean, the largest and
// the share of pixels more than 2 levels apart.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <sys/resource.h>
#include "align/Ghost.h"
#include "align/SeriesAlign.h"
#include "align/Warp.h"
#include "fusion/FusionAccumulator.h"

#include "picture/CBxPicBufAPI.h"
#include "picture/CBxPicMap.h"
#include "picture/ImageLoad.h"
#include "picture/ImageSave.h"

namespace {

namespace fs = std::filesystem;

struct Series {
  std::vector<ScopedPicBuf*> frames;  // owned below
  std::vector<std::unique_ptr<ScopedPicBuf>> storage;
  int reference = 0;
};

std::unique_ptr<ScopedPicBuf> Copy(const SBxPicBuf& picture) {
  auto copy = std::make_unique<ScopedPicBuf>();
  CBxPicBufAPI::ReinitHeap(copy->get(), &picture);
  CBxPicBufAPI::Copy(copy->get(), &picture);
  return copy;
}

// The frames moved onto the reference's (the middle one's): the bundled
// brackets are hand-held, and ghost weights compare pictures that lie on each
// other, as the fusion hands them over after alignment.
void Align(Series* series) {
  const int count = static_cast<int>(series->frames.size());
  SeriesAligner aligner;
  if (aligner.Start(**series->frames[series->reference], count, series->reference,
                    AlignModel::kAuto))
    std::exit(1);
  for (int i = 0; i < count; ++i)
    if (aligner.Add(i, **series->frames[i])) std::exit(1);
  for (int i = 0; i < count; ++i) {
    const FrameMotion& motion = aligner.Motion(i);
    if (motion.outcome != AlignOutcome::kAligned) continue;
    auto moved = std::make_unique<ScopedPicBuf>();
    if (WarpPicture(**series->frames[i], motion.toSource, moved->get())) std::exit(1);
    series->frames[i] = moved.get();
    series->storage[i] = std::move(moved);
  }
}

Series Load(const std::vector<fs::path>& files) {
  Series series;
  for (const fs::path& file : files) {
    auto picture = std::make_unique<ScopedPicBuf>();
    ScopedPicBuf mask;
    if (LoadImageFile(picture->get(), mask.get(), file)) {
      std::fprintf(stderr, "cannot read %s\n", file.c_str());
      std::exit(1);
    }
    series.frames.push_back(picture.get());
    series.storage.push_back(std::move(picture));
  }
  series.reference = static_cast<int>(files.size()) / 2;
  Align(&series);
  return series;
}

// Exposures -2, 0 and +2 EV of one photograph (its values taken as radiance
// through a 2.2 gamma): a bracket in which nothing moves.
Series Bracket(const fs::path& file) {
  Series series;
  ScopedPicBuf photo, mask;
  if (LoadImageFile(photo.get(), mask.get(), file)) {
    std::fprintf(stderr, "cannot read %s\n", file.c_str());
    std::exit(1);
  }
  for (double stops : {-2.0, 0.0, 2.0}) {
    auto frame = std::make_unique<ScopedPicBuf>();
    CBxPicBufAPI::ReinitHeap(frame->get(), photo.get());
    uint8_t table[256];
    for (int v = 0; v < 256; ++v)
      table[v] = static_cast<uint8_t>(std::lround(
          255.0 * std::pow(std::min(1.0, std::pow(v / 255.0, 2.2) * std::exp2(stops)), 1 / 2.2)));
    for (int y = 0; y < photo->height; ++y)
      for (size_t i = 0; i < static_cast<size_t>(photo->width) * photo->components; ++i)
        RowPtr(**frame, y)[i] = table[RowPtr(*photo, y)[i]];
    series.frames.push_back(frame.get());
    series.storage.push_back(std::move(frame));
  }
  series.reference = 1;
  return series;
}

Series Duplicate(const Series& source) {
  Series copy;
  copy.reference = source.reference;
  for (ScopedPicBuf* frame : source.frames) {
    copy.storage.push_back(Copy(**frame));
    copy.frames.push_back(copy.storage.back().get());
  }
  return copy;
}

// The fusion of the series (exposure target 100), with the ghost weights at
// `strength` or without (strength < 0); with `repair`, pictures kept out are
// given the reference's pixels at their brightness there.
std::unique_ptr<ScopedPicBuf> Fuse(const Series& series, int strength, bool repair = false) {
  const SBxPicBuf& reference = **series.frames[series.reference];
  cFusionAccumulator acc;
  if (FusionInit(&acc, &reference, 100)) std::exit(1);
  GhostDetector detector;
  if (strength >= 0 &&
      detector.Start(reference, static_cast<int>(series.frames.size()), series.reference, strength))
    std::exit(1);
  for (size_t i = 0; i < series.frames.size(); ++i) {
    const SBxPicBuf* frame = series.frames[i]->get();
    GhostWeights weights;
    ScopedPicBuf factors;
    std::unique_ptr<ScopedPicBuf> repaired;
    if (strength >= 0) {
      if (detector.Add(static_cast<int>(i), *frame, &weights)) std::exit(1);
      if (repair && !weights.AllOne()) {
        repaired = Copy(*frame);
        if (detector.Repair(reference, repaired->get(), &weights)) std::exit(1);
        frame = repaired->get();
      }
      if (!weights.AllOne() && ExpandGhostWeights(weights, factors.get())) std::exit(1);
    }
    if (FusionAddWeightedPicture(&acc, frame, IsEmpty(*factors) ? nullptr : factors.get()))
      std::exit(1);
  }
  auto result = std::make_unique<ScopedPicBuf>();
  CBxPicBufAPI::ReinitHeap(result->get(), &reference);
  if (FusionResult(result->get(), &acc)) std::exit(1);
  FusionFree(&acc);
  return result;
}

struct Difference {
  double inside = 0.0, outside = 0.0, largest = 0.0, over2 = 0.0;
};

Difference Compare(const SBxPicBuf& a, const SBxPicBuf& b, const std::vector<CBxRect>& moved) {
  Difference d;
  double inCount = 0, outCount = 0;
  const size_t samples = static_cast<size_t>(a.width) * a.components;
  for (int y = 0; y < a.height; ++y) {
    const uint8_t* pa = RowPtr(a, y);
    const uint8_t* pb = RowPtr(b, y);
    for (size_t i = 0; i < samples; ++i) {
      const int x = static_cast<int>(i / a.components);
      const double diff = std::abs(static_cast<int>(pa[i]) - static_cast<int>(pb[i]));
      const bool in = std::any_of(moved.begin(), moved.end(), [&](const CBxRect& r) {
        return x >= r.left && x < r.right && y >= r.top && y < r.bottom;
      });
      (in ? d.inside : d.outside) += diff;
      (in ? inCount : outCount) += 1;
      d.largest = std::max(d.largest, diff);
      d.over2 += diff > 2.0;
    }
  }
  d.inside /= std::max(inCount, 1.0);
  d.outside /= std::max(outCount, 1.0);
  d.over2 /= static_cast<double>(samples) * a.height;
  return d;
}

CBxRect Window(const SBxPicBuf& p, double x, double y, int side) {
  const int left = static_cast<int>(x * (p.width - side)),
            top = static_cast<int>(y * (p.height - side));
  return {left, top, left + side, top + side};
}

// Pastes frame's own pixels of `from` at `to` (same size): exposed as the frame is.
void Paste(SBxPicBuf* frame, const CBxRect& from, const CBxRect& to) {
  auto source = Copy(*frame);
  CBxPicBufAPI::CopyRect(frame, source->get(), {to.left, to.top}, {from.left, from.top},
                         {from.Width(), from.Height()});
}

// Mirrors the rows of `r` in place: the same brightness, another texture.
void Mirror(SBxPicBuf* frame, const CBxRect& r) {
  const size_t bytes = static_cast<size_t>(r.Width()) * BytesPerPixel(*frame);
  std::vector<uint8_t> row(bytes);
  for (int y = 0; y < r.Height() / 2; ++y) {
    uint8_t* a = RowPtr(*frame, r.top + y) + static_cast<size_t>(r.left) * BytesPerPixel(*frame);
    uint8_t* b =
        RowPtr(*frame, r.bottom - 1 - y) + static_cast<size_t>(r.left) * BytesPerPixel(*frame);
    std::memcpy(row.data(), a, bytes);
    std::memcpy(a, b, bytes);
    std::memcpy(b, row.data(), bytes);
  }
}

// The window of `side` whose pixels the frame has clipped the most (on a grid
// of steps of side / 2), leaving out `avoid`.
CBxRect MostClipped(const SBxPicBuf& frame, int side, const std::vector<CBxRect>& avoid) {
  CBxRect best{};
  double bestShare = -1.0;
  for (int top = 0; top + side <= frame.height; top += side / 2)
    for (int left = 0; left + side <= frame.width; left += side / 2) {
      const CBxRect r{left, top, left + side, top + side};
      if (std::any_of(avoid.begin(), avoid.end(), [&](const CBxRect& a) {
            return r.left < a.right && a.left < r.right && r.top < a.bottom && a.top < r.bottom;
          }))
        continue;
      double clipped = 0;
      for (int y = r.top; y < r.bottom; ++y)
        for (int x = r.left; x < r.right; ++x)
          clipped += RowPtr(frame, y)[static_cast<size_t>(x) * frame.components + 1] >= 250;
      const double share = clipped / (static_cast<double>(side) * side);
      if (share > bestShare) {
        bestShare = share;
        best = r;
      }
    }
  return best;
}

void Report(const char* set, const char* scene, const Series& still, const Series& moved,
            const std::vector<CBxRect>& areas, int strength) {
  const auto truth = Fuse(still, -1);
  const auto plain = Fuse(moved, -1);
  const auto deghosted = Fuse(moved, strength);
  const auto repaired = Fuse(moved, strength, true);
  const Difference before = Compare(**plain, **truth, areas);
  const Difference after = Compare(**deghosted, **truth, areas);
  const Difference mended = Compare(**repaired, **truth, areas);
  std::printf("| %s | %s | %.2f | %.2f | %.2f | %.3f | %.3f | %.3f |\n", set, scene, before.inside,
              after.inside, mended.inside, before.outside, after.outside, mended.outside);
}

// The bracket scaled to 4000 x 3000.
Series Enlarge(const Series& small) {
  Series big;
  big.reference = small.reference;
  for (ScopedPicBuf* frame : small.frames) {
    auto out = std::make_unique<ScopedPicBuf>(4000, 3000, (*frame)->components, 8);
    CBxPicMap map;
    map.Compute(2000.0, 1500.0, (*frame)->width / 2.0, (*frame)->height / 2.0, 0.0,
                4000.0 / (*frame)->width);
    CBxPicBufAPI::TransformBilinearFast(out->get(), frame->get(), map);
    big.frames.push_back(out.get());
    big.storage.push_back(std::move(out));
  }
  return big;
}

int Speed(const Series& bracket, const char* mode) {
  const Series big = Enlarge(bracket);
  const int strength = std::strcmp(mode, "plain") == 0 ? -1 : 5;
  const bool repair = std::strcmp(mode, "repaired") == 0;
  const auto cpuSeconds = [] {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) * 1e-6;
  };
  double best = 1e30, bestCpu = 1e30;
  for (int run = 0; run < 3; ++run) {
    const auto start = std::chrono::steady_clock::now();
    const double cpuStart = cpuSeconds();
    const auto result = Fuse(big, strength, repair);
    best = std::min(
        best, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    bestCpu = std::min(bestCpu, cpuSeconds() - cpuStart);
  }
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  std::printf("%-8s wall %.3f s  cpu %.3f s (best of 3)  peak %.0f MB\n", mode, best, bestCpu,
              static_cast<double>(usage.ru_maxrss) / 1024.0);
  return 0;
}

int WriteBracket(const Series& bracket, const fs::path& folder) {
  const Series big = Enlarge(bracket);
  const SBxPicBuf& first = **big.frames[0];
  Paste(big.frames[0]->get(), Window(first, 0.55, 0.6, 500), Window(first, 0.8, 0.3, 500));
  for (size_t i = 0; i < big.frames.size(); ++i)
    if (WriteImageFile(big.frames[i]->get(), nullptr,
                       folder / ("ghost" + std::to_string(i) + ".jpg"), {}, 0, 95))
      return 1;
  return 0;
}

// Crops of the fused St. Louis series without and with the ghost weights.
void Crops(const Series& stlouis, const fs::path& folder, int strength) {
  const auto plain = Fuse(stlouis, -1);
  const auto deghosted = Fuse(stlouis, strength, true);
  const std::pair<const char*, CBxRect> crops[] = {{"fountain", {380, 780, 1000, 1010}},
                                                   {"people", {0, 820, 420, 1010}}};
  for (const auto& [name, r] : crops)
    for (const auto& [which, picture] :
         {std::pair{"before", plain.get()}, std::pair{"after", deghosted.get()}}) {
      ScopedPicBuf crop(r.Width(), r.Height(), (*picture)->components, 8);
      CBxPicBufAPI::CopyRect(crop.get(), picture->get(), {0, 0}, {r.left, r.top},
                             {r.Width(), r.Height()});
      const fs::path out = folder / ("stlouis_" + std::string(name) + "_" + which + ".jpg");
      if (WriteImageFile(crop.get(), nullptr, out, {}, 0, 85)) std::exit(1);
    }
}

}  // namespace

int main(int argc, char** argv) {
  int strength = 5;
  const char* crops = nullptr;
  for (int i = 1; i + 1 < argc; ++i) {
    if (std::strcmp(argv[i], "--strength") == 0) strength = std::atoi(argv[i + 1]);
    if (std::strcmp(argv[i], "--crops") == 0) crops = argv[i + 1];
    if (std::strcmp(argv[i], "--write") == 0)
      return WriteBracket(Bracket(fs::path(MELVARO_SAMPLES_DIR) / "photos" / "sunset.jpg"),
                          argv[i + 1]);
    if (std::strcmp(argv[i], "--speed") == 0)
      return Speed(Bracket(fs::path(MELVARO_SAMPLES_DIR) / "photos" / "sunset.jpg"), argv[i + 1]);
  }
  const fs::path samples = fs::path(MELVARO_SAMPLES_DIR) / "bracketed";
  const std::vector<std::pair<const char*, std::vector<fs::path>>> sets = {
      {"stlouis",
       {samples / "stlouis/stlouis0.jpg", samples / "stlouis/stlouis1.jpg",
        samples / "stlouis/stlouis2.jpg", samples / "stlouis/stlouis3.jpg"}},
      {"rovinia",
       {samples / "rovinia/rovinia1.jpg", samples / "rovinia/rovinia2.jpg",
        samples / "rovinia/rovinia3.jpg"}},
      {"secretbeach",
       {samples / "secretbeach/SecretBeach1.jpg", samples / "secretbeach/SecretBeach2.jpg",
        samples / "secretbeach/SecretBeach3.jpg"}},
  };
  const fs::path photos = fs::path(MELVARO_SAMPLES_DIR) / "photos";
  std::vector<std::pair<std::string, Series>> all;
  for (const auto& [name, files] : sets)
    all.emplace_back(std::string(name) + " (aligned)", Load(files));
  if (crops) Crops(all.front().second, crops, strength);
  for (const char* photo : {"sunset", "picosdeeuropa", "seeding"})
    all.emplace_back(std::string(photo) + " -2/0/+2 EV",
                     Bracket(photos / (std::string(photo) + ".jpg")));
  std::printf("strength %d\n\n", strength);
  std::printf(
      "| set | motion | inside: plain | weights | weights, repaired | outside: plain | weights | "
      "weights, repaired |\n|---|---|---|---|---|---|---|---|\n");
  std::vector<std::string> stillRows;
  for (const auto& [label, still] : all) {
    const char* name = label.c_str();
    const SBxPicBuf& first = **still.frames[0];
    const int side = std::min(first.width, first.height) / 6;
    {  // A patch of the scene at another place in the first frame.
      const CBxRect from = Window(first, 0.55, 0.6, side), at = Window(first, 0.2, 0.65, side),
                    elsewhere = Window(first, 0.8, 0.3, side);
      Series truth = Duplicate(still), moved = Duplicate(still);
      for (size_t i = 0; i < still.frames.size(); ++i) {
        Paste(truth.frames[i]->get(), from, at);
        Paste(moved.frames[i]->get(), from, i == 0 ? elsewhere : at);
      }
      Report(name, "patch moved in one frame", truth, moved, {at, elsewhere}, strength);
    }
    {  // A region whose texture changes in one frame.
      const CBxRect region = Window(first, 0.4, 0.7, side);
      Series moved = Duplicate(still);
      Mirror(moved.frames.back()->get(), region);
      Report(name, "texture changed in one frame", still, moved, {region}, strength);
    }
    {  // A patch moving inside what the brightest frame, the reference, blows out.
      Series truth = Duplicate(still), moved = Duplicate(still), asFirst = Duplicate(still);
      truth.reference = moved.reference = asFirst.reference =
          static_cast<int>(still.frames.size()) - 1;
      const SBxPicBuf& bright = **still.frames.back();
      const CBxRect at = MostClipped(bright, side, {});
      const CBxRect elsewhere = MostClipped(bright, side, {at});
      const CBxRect from = MostClipped(bright, side, {at, elsewhere});
      for (size_t i = 0; i < still.frames.size(); ++i) {
        Paste(truth.frames[i]->get(), from, at);
        Paste(moved.frames[i]->get(), from, i == 0 ? elsewhere : at);
        Paste(asFirst.frames[i]->get(), from, elsewhere);
      }
      Report(name, "patch moved where the reference is clipped", truth, moved, {at, elsewhere},
             strength);
      // The reference shows the patch nowhere: the series in which every
      // frame has it where the first frame does is as true.
      Report(name, "the same, against the patch where the first frame has it", asFirst, moved,
             {at, elsewhere}, strength);
    }
    {  // Still: what the ghost weights change.
      const auto plain = Fuse(still, -1);
      const auto deghosted = Fuse(still, strength, true);
      const Difference d = Compare(**deghosted, **plain, {});
      char row[256];
      std::snprintf(row, sizeof row, "| %s | %.3f | %.0f | %.4f %% |\n", name, d.outside, d.largest,
                    100.0 * d.over2);
      stillRows.push_back(row);
    }
  }
  std::printf(
      "\nStill series, with the ghost weights and repair against without:\n\n"
      "| set | mean | largest | pixels more than 2 levels apart |\n|---|---|---|---|\n");
  for (const std::string& row : stillRows)
    std::printf("%s", row.c_str());
  return 0;
}
