#pragma once
// A bracketed series in which one thing moved: three exposures of a window of a bundled
// photograph, a patch of the scene pasted at kPatchStays in every frame, or at kPatchMoved in
// the frames `movedIn` names. Written as PNG files for the job and window tests.
#include <algorithm>
#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include "picture/CBxPicBufAPI.h"
#include "picture/ImageLoad.h"
#include "picture/ImageSave.h"

namespace moving_series {

constexpr int kWidth = 360, kHeight = 240;
constexpr CBxRect kPatchFrom{40, 150, 100, 210}, kPatchStays{60, 40, 120, 100},
    kPatchMoved{250, 120, 310, 180};

inline std::vector<std::filesystem::path> WriteMovingSeries(const std::filesystem::path& folder,
                                                            const std::string& prefix,
                                                            const std::vector<bool>& movedIn) {
  ScopedPicBuf photo, mask;
  std::vector<std::filesystem::path> files;
  if (LoadImageFile(photo.get(), mask.get(),
                    std::filesystem::path(MELVARO_SAMPLES_DIR) / "photos" / "sunset.jpg"))
    return files;
  const double stops[] = {-1.5, 0.0, 1.5};
  for (size_t k = 0; k < movedIn.size(); ++k) {
    ScopedPicBuf frame(kWidth, kHeight, 3, 8);
    CBxPicBufAPI::CopyRect(frame.get(), photo.get(), {0, 0}, {400, 300}, {kWidth, kHeight});
    const CBxRect to = movedIn[k] ? kPatchMoved : kPatchStays;
    CBxPicBufAPI::CopyRect(frame.get(), photo.get(), {to.left, to.top},
                           {400 + kPatchFrom.left, 300 + kPatchFrom.top},
                           {kPatchFrom.Width(), kPatchFrom.Height()});
    // The exposure: values as radiance through a 2.2 gamma.
    for (int y = 0; y < kHeight; ++y)
      for (int i = 0; i < kWidth * 3; ++i) {
        uint8_t& v = RowPtr(*frame, y)[i];
        v = static_cast<uint8_t>(std::lround(
            255.0 *
            std::pow(std::min(1.0, std::pow(v / 255.0, 2.2) * std::exp2(stops[k % 3])), 1 / 2.2)));
      }
    files.push_back(folder / (prefix + std::to_string(k) + ".png"));
    if (WriteImageFile(frame.get(), nullptr, files.back(), {}, 0, 0)) return {};
  }
  return files;
}

}  // namespace moving_series
