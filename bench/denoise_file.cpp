// Denoises one binary PPM file (P6, 8-bit) with the series denoiser and
// prints the time of the denoising call alone, so that the comparison with
// other denoisers leaves file decoding out.
//
//   melvaro_denoise_file IN.ppm STRENGTH [OUT.ppm]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <string>

#include "picture/CBxPicBufAPI.h"
#include "single/Denoise.h"

namespace {

// Reads a P6 file with maxval 255 into a blue-green-red picture.
bool ReadPpm(const char* path, ScopedPicBuf* pic) {
  std::ifstream in(path, std::ios::binary);
  std::string magic;
  int w = 0, h = 0, maxval = 0;
  in >> magic >> w >> h >> maxval;
  in.get();
  if (!in || magic != "P6" || maxval != 255 || w <= 0 || h <= 0) return false;
  CBxPicBufAPI::ReinitHeap(pic->get(), w, h, 3, 8);
  if (!(*pic)->pixels) return false;
  std::string row(static_cast<size_t>(w) * 3, '\0');
  for (int y = 0; y < h; ++y) {
    if (!in.read(row.data(), static_cast<std::streamsize>(row.size()))) return false;
    uint8_t* d = RowPtr(**pic, y);
    for (size_t x = 0; x < static_cast<size_t>(w); ++x) {
      d[3 * x] = static_cast<uint8_t>(row[3 * x + 2]);
      d[3 * x + 1] = static_cast<uint8_t>(row[3 * x + 1]);
      d[3 * x + 2] = static_cast<uint8_t>(row[3 * x]);
    }
  }
  return true;
}

bool WritePpm(const char* path, const SBxPicBuf& pic) {
  std::ofstream out(path, std::ios::binary);
  out << "P6\n" << pic.width << " " << pic.height << "\n255\n";
  std::string row(static_cast<size_t>(pic.width) * 3, '\0');
  for (int y = 0; y < pic.height; ++y) {
    const uint8_t* s = RowPtr(pic, y);
    for (size_t x = 0; x < static_cast<size_t>(pic.width); ++x) {
      row[3 * x] = static_cast<char>(s[3 * x + 2]);
      row[3 * x + 1] = static_cast<char>(s[3 * x + 1]);
      row[3 * x + 2] = static_cast<char>(s[3 * x]);
    }
    out.write(row.data(), static_cast<std::streamsize>(row.size()));
  }
  return static_cast<bool>(out);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: %s IN.ppm STRENGTH [OUT.ppm]\n", argv[0]);
    return 2;
  }
  ScopedPicBuf source, result;
  if (!ReadPpm(argv[1], &source)) {
    std::fprintf(stderr, "%s: not an 8-bit binary PPM file\n", argv[1]);
    return 1;
  }
  CBxPicBufAPI::ReinitHeap(result.get(), source.get());
  const double strength = std::atof(argv[2]);
  NoiseRecord noise;
  const auto wall0 = std::chrono::steady_clock::now();
  const std::clock_t cpu0 = std::clock();
  const int failed =
      DenoiseTiled(result.get(), source.get(), strength, strength, 1.0, &noise, ProcessorCount());
  const double cpu = static_cast<double>(std::clock() - cpu0) / CLOCKS_PER_SEC;
  const double wall =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - wall0).count();
  if (failed) {
    std::fprintf(stderr, "denoising failed\n");
    return 1;
  }
  std::printf("wall %.3f cpu %.3f noise %.3f threads %d\n", wall, cpu, noise.luma,
              ProcessorCount());
  if (argc > 3 && !WritePpm(argv[3], *result)) return 1;
  return 0;
}
