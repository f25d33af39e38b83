// The fusion accumulator: geometry, sums and the merge (the add step has a
// file of its own).
#include "fusion/FusionAccumulator.h"

#include <algorithm>
#include <new>

#include <tbb/blocked_range.h>
#include <tbb/parallel_for.h>

#include "fusion/FusionWorkspace.h"

namespace {

// Whether component record c's weight plane of level l is its own, or the
// colour weight plane it shares with record 0.
bool OwnsWeightPlane(const cFusionAccumulator& acc, uint32_t c, uint32_t l) {
  return c == 0 || acc.componentRecords[c].weightSum[l] != acc.componentRecords[0].weightSum[l];
}

bool SameGeometry(const cFusionAccumulator& a, const cFusionAccumulator& b) {
  return a.components == b.components && a.bitsPerComponent == b.bitsPerComponent &&
         a.width == b.width && a.height == b.height && a.levelCount == b.levelCount &&
         a.componentRecords != nullptr && b.componentRecords != nullptr;
}

void AddPlane(float* dst, const float* src, size_t count) {
  tbb::parallel_for(tbb::blocked_range<size_t>(0, count, 1 << 16),
                    [=](const tbb::blocked_range<size_t>& r) {
                      for (size_t i = r.begin(); i != r.end(); ++i)
                        dst[i] += src[i];
                    });
}

}  // namespace

uint32_t FusionLevelCount(uint32_t width, uint32_t height) {
  const uint32_t shorter = std::min(width, height);
  uint32_t n = 0;
  while (n < kFusionMaxLevel && (shorter >> (n + 1)) >= kFusionMinCoarseSide)
    ++n;
  return n;
}

bool FusionGeometrySupported(const SBxPicBuf& picture) {
  return (picture.bitsPerComponent == 8 || picture.bitsPerComponent == 16) &&
         picture.components >= 1 && picture.width >= kFusionMinPictureSide &&
         picture.height >= kFusionMinPictureSide;
}

uint8_t FusionInit(cFusionAccumulator* acc, const SBxPicBuf* first, uint32_t exposure) {
  FusionFree(acc);
  if (first == nullptr || !FusionGeometrySupported(*first)) return 1;
  acc->exposure = exposure;
  acc->components = first->components;
  acc->bitsPerComponent = first->bitsPerComponent;
  acc->width = static_cast<uint32_t>(first->width);
  acc->height = static_cast<uint32_t>(first->height);
  acc->componentRecords = new (std::nothrow) cFusionComponent[acc->components];
  if (acc->componentRecords == nullptr) return 1;
  acc->levelCount = FusionLevelCount(acc->width, acc->height);
  for (uint32_t l = 0; l <= acc->levelCount; ++l) {
    acc->levelWidth[l] = acc->width >> l;
    acc->levelHeight[l] = acc->height >> l;
  }
  for (uint32_t c = 0; c < acc->components; ++c) {
    cFusionComponent& rec = acc->componentRecords[c];
    for (uint32_t l = 0; l <= acc->levelCount; ++l) {
      const bool shared = acc->components == 3 && c > 0;
      rec.weightSum[l] = shared ? acc->componentRecords[0].weightSum[l]
                                : AllocateZeroPlane(FusionLevelSize(*acc, l));
      rec.valueSum[l] = AllocateZeroPlane(FusionLevelSize(*acc, l));
      if (rec.weightSum[l] == nullptr || rec.valueSum[l] == nullptr) return 1;
    }
  }
  MakePyramidKernel(acc->kernel);
  return 0;
}

uint8_t FusionAddPicture(cFusionAccumulator* acc, const SBxPicBuf* picture) {
  return FusionAddWeightedPicture(acc, picture, nullptr);
}

uint8_t FusionAddWeightedPicture(cFusionAccumulator* acc, const SBxPicBuf* picture,
                                 const SBxPicBuf* factors) {
  if (acc->componentRecords == nullptr || picture == nullptr || picture->pixels == nullptr)
    return 1;
  if (factors != nullptr &&
      (factors->pixels == nullptr || factors->components != 1 ||
       (factors->bitsPerComponent != 8 && factors->bitsPerComponent != 32) ||
       factors->width != picture->width || factors->height != picture->height)) {
    return 1;
  }
  if (picture->components != acc->components ||
      picture->bitsPerComponent != acc->bitsPerComponent ||
      static_cast<uint32_t>(picture->width) != acc->width ||
      static_cast<uint32_t>(picture->height) != acc->height) {
    return 1;
  }
  try {
    AddPictureToSums(acc, *picture, factors);
  } catch (const std::bad_alloc&) {
    FusionReleaseWorkspace(acc);
    return 1;
  }
  return 0;
}

uint8_t FusionMerge(cFusionAccumulator* acc, const cFusionAccumulator* other) {
  if (!SameGeometry(*acc, *other) || acc->exposure != other->exposure) return 1;
  for (uint32_t c = 0; c < acc->components; ++c) {
    const cFusionComponent& src = other->componentRecords[c];
    cFusionComponent& dst = acc->componentRecords[c];
    for (uint32_t l = 0; l <= acc->levelCount; ++l) {
      AddPlane(dst.valueSum[l], src.valueSum[l], FusionLevelSize(*acc, l));
      // A shared colour weight plane is added once, with record 0.
      if (OwnsWeightPlane(*acc, c, l)) {
        AddPlane(dst.weightSum[l], src.weightSum[l], FusionLevelSize(*acc, l));
      }
    }
  }
  return 0;
}

uint8_t FusionFree(cFusionAccumulator* acc) {
  if (acc->componentRecords != nullptr) {
    // Shared weight planes are freed with the record that owns them; records
    // are released from the last so that ownership is judged while record 0
    // still holds its pointers.
    for (uint32_t c = acc->components; c-- > 0;) {
      cFusionComponent& rec = acc->componentRecords[c];
      for (uint32_t l = 0; l < kFusionLevelSlots; ++l) {
        const size_t size = l <= acc->levelCount ? FusionLevelSize(*acc, l) : 0;
        if (OwnsWeightPlane(*acc, c, l)) FreePlane(rec.weightSum[l], size);
        FreePlane(rec.valueSum[l], size);
      }
    }
    delete[] acc->componentRecords;
  }
  FusionReleaseWorkspace(acc);
  *acc = cFusionAccumulator{};
  return 0;
}

void FusionReleaseWorkspace(cFusionAccumulator* acc) {
  delete acc->workspace;
  acc->workspace = nullptr;
}
