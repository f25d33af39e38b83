// Reading the capture data of 1,000 JPEG files, as a batch does before it groups them: our
// own header reader against the image library's header-only load (FIF_LOAD_NOPIXELS).
//
//   build/release/bench/melvaro_capture_bench [--folder=DIR]   (default build/bench-capture)
//
// The files are copies of the bundled samples, each with capture data of its own (time,
// exposure, bias, camera, a maker note for some); they are made once and kept in DIR. With
// argument 0 the page cache holds them, as it does for a folder just copied from a card; with
// 1 their pages are dropped before each pass (posix_fadvise, these files only), so the
// headers come from the disk.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "picture/CaptureData.h"
#include "tests/support/ExifWriter.h"
#include "tests/support/FreeImageCapture.h"

namespace fs = std::filesystem;

namespace {

constexpr int kFiles = 1000;
fs::path folder = "build/bench-capture";

exif::Fields FieldsOf(int i) {
  exif::Fields f;
  const bool canon = i % 2 == 0;
  f.make = canon ? "Canon" : "NIKON CORPORATION";
  f.model = canon ? "Canon EOS Body" : "NIKON Body";
  f.makerNote = canon ? exif::CanonMakerNote(1000 + static_cast<uint32_t>(i % 3))
                      : exif::NikonMakerNote(std::to_string(3000 + i % 3));
  f.dateTimeOriginal = exif::ExifTime(i * 3);
  f.subSecOriginal = std::to_string(i % 100);
  f.exposure = {{1, static_cast<uint32_t>(30 << (i % 3))}};
  f.fNumber = {{8, 1}};
  f.iso = 100;
  f.bias = {{(i % 3 - 1) * 2, 1}};
  f.bigEndian = !canon;
  return f;
}

const std::vector<fs::path>& Files() {
  static std::vector<fs::path> files;
  if (!files.empty()) return files;
  std::vector<fs::path> samples;
  for (const auto& entry :
       fs::recursive_directory_iterator(fs::path(MELVARO_SAMPLES_DIR) / "bracketed"))
    if (entry.path().extension() == ".jpg") samples.push_back(entry.path());
  for (const auto& entry : fs::directory_iterator(fs::path(MELVARO_SAMPLES_DIR) / "photos"))
    samples.push_back(entry.path());
  std::sort(samples.begin(), samples.end());
  fs::create_directories(folder);
  std::vector<std::string> contents;
  for (const fs::path& sample : samples)
    contents.push_back(ReadWholeFile(sample));
  for (int i = 0; i < kFiles; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "IMG_%04d.jpg", i);
    files.push_back(folder / name);
    if (!fs::exists(files.back()))
      WriteTextFile(
          files.back(),
          exif::JpegWithExif(contents[static_cast<size_t>(i) % contents.size()], FieldsOf(i)));
  }
  return files;
}

// Drops the files' pages from the page cache (theirs only), so the next reads go to the disk.
void Evict(const std::vector<fs::path>& files) {
  for (const fs::path& file : files) {
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) continue;
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
    ::close(fd);
  }
}

// The argument: 0 with the files in the page cache, 1 read from the disk.
template <bool (*Read)(const fs::path&, CaptureData*)>
void ReadAll(benchmark::State& state) {
  const std::vector<fs::path>& files = Files();
  const bool cold = state.range(0) != 0;
  CaptureData data;
  for (const fs::path& file : files)  // into the page cache, and a check of the reader
    if (Read(file, &data) || !data.HasTime()) state.SkipWithError("a file was not read");
  for (auto _ : state) {
    if (cold) {
      state.PauseTiming();
      Evict(files);
      state.ResumeTiming();
    }
    int withTime = 0;
    for (const fs::path& file : files) {
      Read(file, &data);
      withTime += data.HasTime() ? 1 : 0;
    }
    benchmark::DoNotOptimize(withTime);
  }
  state.counters["files"] = static_cast<double>(files.size());
}

bool OwnReader(const fs::path& path, CaptureData* data) {
  return ReadCaptureData(path, data);
}

void BM_CaptureData1000Files_Own(benchmark::State& state) {
  ReadAll<OwnReader>(state);
}
void BM_CaptureData1000Files_ImageLibrary(benchmark::State& state) {
  ReadAll<freeimage_capture::Read>(state);
}

}  // namespace

BENCHMARK(BM_CaptureData1000Files_Own)
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_CaptureData1000Files_ImageLibrary)
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

int main(int argc, char** argv) {
  std::vector<char*> rest;
  for (int i = 0; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg.rfind("--folder=", 0) == 0)
      folder = arg.substr(9);
    else
      rest.push_back(argv[i]);
  }
  int count = static_cast<int>(rest.size());
  benchmark::Initialize(&count, rest.data());
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
