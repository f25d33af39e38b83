#include "jobs/MemoryNeed.h"

#include <sys/resource.h>

#include <algorithm>
#include <fstream>
#include <sstream>

#include "align/GhostBlocks.h"
#include "picture/PictureHeader.h"

namespace {

constexpr uint64_t kFloat = 4;
constexpr uint64_t kMB = 1024 * 1024;

uint64_t Pixels(const SBxPicBuf& g) {
  return static_cast<uint64_t>(g.width > 0 ? g.width : 0) *
         static_cast<uint64_t>(g.height > 0 ? g.height : 0);
}

uint64_t SampleBytes(const SBxPicBuf& g) {
  return Pixels(g) * g.components * (g.bitsPerComponent > 8 ? 2 : 1);
}

// Planes of `pixels` floats, in thirds (a pyramid is 4/3 of its finest level).
uint64_t FloatThirds(uint64_t pixels, uint64_t thirds) {
  return pixels * kFloat * thirds / 3;
}

}  // namespace

uint64_t FusionBytes(const SBxPicBuf& g) {
  const uint64_t c = std::max<uint64_t>(g.components, 1);
  // Accumulator: a value-sum pyramid per component and the weight sums (one pyramid shared
  // by the components of a colour picture, one each otherwise); add step: the Gaussian
  // levels from 1 on (a third of the pixels) of the components added together.
  const uint64_t sumPyramids = c == 3 ? 4 : 2 * c;
  const uint64_t working = c == 3 ? 3 : 1;
  // Pictures: the one being added, the next two being decoded (each also in the decoder's
  // own copy for a moment) and the result.
  return FloatThirds(Pixels(g), 4 * sumPyramids + working) + 6 * SampleBytes(g);
}

namespace {

// The pictures of a series as the file's header claims them: counted as colour, at 16 bits
// when the file holds more than 32 bits a pixel.
std::optional<SBxPicBuf> ClaimedGeometry(const std::filesystem::path& file) {
  PictureClaim claim;
  if (!ReadPictureClaim(file, &claim)) return std::nullopt;
  SBxPicBuf geometry;
  geometry.width = static_cast<int>(std::min<uint64_t>(claim.width, INT32_MAX));
  geometry.height = static_cast<int>(std::min<uint64_t>(claim.height, INT32_MAX));
  geometry.components = 3;
  geometry.bitsPerComponent = claim.bitsPerPixel > 32 ? 16 : 8;
  return geometry;
}

}  // namespace

std::optional<uint64_t> FusionBytesFromHeader(const std::filesystem::path& file) {
  const std::optional<SBxPicBuf> geometry = ClaimedGeometry(file);
  if (!geometry) return std::nullopt;
  return FusionBytes(*geometry);
}

uint64_t AlignedFusionBytes(const SBxPicBuf& geometry) {
  // The estimation's pictures (the reference and one handed over waiting for the fusion, the
  // one examined and the next being decoded), the coverage of the two resampled pictures in
  // flight, and the coverage's levels from 1 on as floats.
  return FusionBytes(geometry) + 4 * SampleBytes(geometry) + 2 * Pixels(geometry) +
         FloatThirds(Pixels(geometry), 1);
}

std::optional<uint64_t> AlignedFusionBytesFromHeader(const std::filesystem::path& file) {
  const std::optional<SBxPicBuf> geometry = ClaimedGeometry(file);
  if (!geometry) return std::nullopt;
  return AlignedFusionBytes(*geometry);
}

uint64_t GhostFusionBytes(const SBxPicBuf& geometry, bool aligned) {
  const uint64_t pixels = Pixels(geometry);
  const int side = GhostBlockSide(std::max(geometry.width, 8), std::max(geometry.height, 8));
  const uint64_t blocks = pixels / static_cast<uint64_t>(side * side) + 1;
  const uint64_t cells =
      pixels * kCellsPerSide * kCellsPerSide / static_cast<uint64_t>(side * side);
  // The detector: the reference's blocks (three means and a spread) and the stand-ins (three
  // values and four figures) per block, the luminance of the reference's cells, and while a
  // picture is compared its own blocks, scores and weights.
  const uint64_t detector = blocks * (4 + 7 + 6) * kFloat + cells * kFloat;
  // The reference kept; without alignment also a picture's 8-bit factor plane (aligned, the
  // coverage's, counted already). The factor levels are gone before the fusion composes its
  // result, where it peaks.
  const uint64_t factors = aligned ? 0 : pixels;
  return (aligned ? AlignedFusionBytes(geometry) : FusionBytes(geometry)) + SampleBytes(geometry) +
         factors + detector;
}

std::optional<uint64_t> GhostFusionBytesFromHeader(const std::filesystem::path& file,
                                                   bool aligned) {
  const std::optional<SBxPicBuf> geometry = ClaimedGeometry(file);
  if (!geometry) return std::nullopt;
  return GhostFusionBytes(*geometry, aligned);
}

uint64_t ToneMapBytes(const SBxPicBuf& g) {
  const uint64_t c = std::max<uint64_t>(g.components, 1);
  // Padding adds at most a block of 32 on each side; count 10 % more pixels for it.
  const uint64_t padded = Pixels(g) + Pixels(g) / 10 + 4096;
  // The colour planes, and per plane the Gaussian, Laplacian and output pyramids.
  return FloatThirds(padded, 3 * c + 3 * 4) + 2 * SampleBytes(g);
}

uint64_t SmartContrastBytes(const SBxPicBuf& g) {
  const uint64_t c = std::max<uint64_t>(g.components, 1);
  // Padding to whole blocks with spare ones may double each side at worst.
  const uint64_t padded = 4 * Pixels(g) + 4096;
  return FloatThirds(padded, 2 * 4 * c) + 2 * padded * c * (g.bitsPerComponent > 8 ? 2 : 1);
}

uint64_t AvailableMemoryBytes() {
  uint64_t available = 0;
  std::ifstream meminfo("/proc/meminfo");
  std::string line;
  while (std::getline(meminfo, line)) {
    if (line.rfind("MemAvailable:", 0) == 0) {
      std::istringstream in(line.substr(13));
      uint64_t kb = 0;
      in >> kb;
      available = kb * 1024;
      break;
    }
  }
  if (available == 0) available = UINT64_MAX;  // unknown: do not refuse on a guess
  rlimit limit{};
  if (getrlimit(RLIMIT_AS, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY)
    available = std::min<uint64_t>(available, limit.rlim_cur);
  return available;
}

std::string MemoryRefusal(const std::string& job, uint64_t need, uint64_t available) {
  if (need <= available) return {};
  return job + " needs about " + std::to_string((need + kMB - 1) / kMB) +
         " MB of memory, but only " + std::to_string(available / kMB) + " MB are available";
}

std::string MemoryRefusal(const std::string& job, uint64_t need) {
  return MemoryRefusal(job, need, AvailableMemoryBytes());
}
