// Reading capture data from the headers of JPEG, PNG and TIFF files: the containers are
// walked here, the EXIF directories they hold in ExifFields.cpp.
#include "picture/CaptureData.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <vector>

#include "picture/ExifFields.h"

namespace {

using capture::ByteSource;
using capture::MemorySource;
using capture::TiffSpan;

// A file read through its first block, which holds the EXIF directories of nearly every JPEG,
// and single reads beyond it. 16 KB: a larger block costs more than it saves once the files
// are not in the page cache (measured with bench/capture_bench.cpp: 64 KB took a third longer
// for 1,000 files read from the disk).
class FileSource final : public ByteSource {
 public:
  explicit FileSource(const std::filesystem::path& path)
      // Not blocking: a named pipe given as a picture must not hang the reader.
      : fd_(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK)) {
    struct stat info {};
    if (fd_ < 0 || ::fstat(fd_, &info) != 0 || !S_ISREG(info.st_mode)) return;
    size_ = static_cast<uint64_t>(info.st_size);
    head_.resize(static_cast<size_t>(std::min<uint64_t>(size_, kHeadBytes)));
    if (!ReadFromFile(0, head_.data(), head_.size())) head_.clear(), size_ = 0;
  }
  ~FileSource() override {
    if (fd_ >= 0) ::close(fd_);
  }
  FileSource(const FileSource&) = delete;
  FileSource& operator=(const FileSource&) = delete;

  bool Open() const { return size_ > 0; }
  uint64_t Size() const override { return size_; }
  bool Read(uint64_t offset, void* out, size_t count) const override {
    if (offset > size_ || count > size_ - offset) return false;
    if (offset + count <= head_.size()) {
      if (count > 0) std::memcpy(out, head_.data() + offset, count);
      return true;
    }
    return ReadFromFile(offset, out, count);
  }

 private:
  static constexpr uint64_t kHeadBytes = 16 * 1024;

  bool ReadFromFile(uint64_t offset, void* out, size_t count) const {
    auto* to = static_cast<uint8_t*>(out);
    while (count > 0) {
      const ssize_t got = ::pread(fd_, to, count, static_cast<off_t>(offset));
      if (got <= 0) return false;  // the file shrank, or cannot be read
      to += got;
      offset += static_cast<uint64_t>(got);
      count -= static_cast<size_t>(got);
    }
    return true;
  }

  int fd_ = -1;
  uint64_t size_ = 0;
  std::vector<uint8_t> head_;
};

uint32_t Big16(const uint8_t* p) {
  return static_cast<uint32_t>(p[0] << 8 | p[1]);
}
uint32_t Big32(const uint8_t* p) {
  return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | uint32_t{p[3]};
}

bool IsStartOfFrame(uint8_t marker) {
  return marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
}

// The segments before the scan: the first EXIF APP1 and the frame header.
void ReadJpeg(const ByteSource& file, CaptureData* data) {
  bool haveExif = false, haveFrame = false;
  uint64_t at = 2;
  for (int markers = 0; markers < 10000 && !(haveExif && haveFrame); ++markers) {
    uint8_t m[4];
    if (!file.Read(at, m, 2) || m[0] != 0xFF) return;
    const uint8_t marker = m[1];
    if (marker == 0xFF) {  // fill byte
      ++at;
      continue;
    }
    if (marker == 0x01 || marker == 0xD8 || (marker >= 0xD0 && marker <= 0xD7)) {
      at += 2;  // markers without a length
      continue;
    }
    if (marker == 0xD9 || marker == 0xDA || !file.Read(at + 2, m + 2, 2)) return;
    const uint32_t length = Big16(m + 2);
    if (length < 2) return;
    const uint64_t payload = at + 4, payloadBytes = length - 2;
    if (marker == 0xE1 && !haveExif && payloadBytes > 6) {
      uint8_t signature[6];
      if (!file.Read(payload, signature, 6)) return;
      if (std::memcmp(signature, "Exif\0\0", 6) == 0) {
        haveExif = true;
        // Read where it lies: the segment may end in a thumbnail that is of no use here.
        capture::ReadTiffCapture(file, TiffSpan{payload + 6, payloadBytes - 6}, false, data);
      }
    } else if (IsStartOfFrame(marker) && !haveFrame && payloadBytes >= 5) {
      uint8_t frame[5];
      if (!file.Read(payload, frame, 5)) return;
      haveFrame = true;
      data->bitsPerComponent = frame[0];
      data->height = Big16(frame + 1);
      data->width = Big16(frame + 3);
    }
    at += 2 + uint64_t{length};
  }
}

// IHDR and the eXIf chunk, wherever it lies before IEND.
void ReadPng(const ByteSource& file, CaptureData* data) {
  // An eXIf chunk larger than this is not a camera's.
  constexpr uint32_t kMaxExifBytes = 4 * 1024 * 1024;
  bool haveExif = false, haveHeader = false;
  uint64_t at = 8;
  for (int chunks = 0; chunks < 1'000'000 && !(haveExif && haveHeader); ++chunks) {
    uint8_t c[8];
    if (!file.Read(at, c, 8)) return;
    const uint32_t length = Big32(c);
    if (length > 0x7fffffffu || std::memcmp(c + 4, "IEND", 4) == 0) return;
    if (std::memcmp(c + 4, "IHDR", 4) == 0 && length >= 13 && !haveHeader) {
      uint8_t h[9];
      if (!file.Read(at + 8, h, 9)) return;
      haveHeader = true;
      data->width = Big32(h);
      data->height = Big32(h + 4);
      data->bitsPerComponent = h[8];
    } else if (std::memcmp(c + 4, "eXIf", 4) == 0 && length <= kMaxExifBytes && !haveExif) {
      haveExif = true;
      // Some writers keep the JPEG segment's "Exif" signature in front of the structure.
      uint8_t signature[6] = {};
      const uint64_t skip = length > 6 && file.Read(at + 8, signature, 6) &&
                                    std::memcmp(signature, "Exif\0\0", 6) == 0
                                ? 6
                                : 0;
      capture::ReadTiffCapture(file, TiffSpan{at + 8 + skip, length - skip}, false, data);
    }
    at += 12 + uint64_t{length};
  }
}

bool ReadFrom(const ByteSource& file, CaptureData* data) {
  *data = {};
  uint8_t signature[8];
  if (!file.Read(0, signature, std::min<uint64_t>(8, file.Size()))) return true;
  if (file.Size() >= 2 && signature[0] == 0xFF && signature[1] == 0xD8) {
    ReadJpeg(file, data);
    return false;
  }
  static const uint8_t kPng[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
  if (file.Size() >= 8 && std::memcmp(signature, kPng, 8) == 0) {
    ReadPng(file, data);
    return false;
  }
  return !capture::ReadTiffCapture(file, TiffSpan{0, file.Size()}, true, data);
}

// Digits of `text` from `at` as a number; false unless all `count` are digits.
bool Digits(std::string_view text, size_t at, size_t count, int* value) {
  if (at + count > text.size()) return false;
  *value = 0;
  for (size_t i = at; i < at + count; ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
    *value = *value * 10 + (text[i] - '0');
  }
  return true;
}

}  // namespace

std::string CaptureData::CameraKey() const {
  // The unit separator cannot occur in the texts: they hold no control characters.
  return make + '\x1f' + model + '\x1f' + serial;
}

bool ReadCaptureData(const std::filesystem::path& path, CaptureData* data) {
  *data = {};
  const FileSource file(path);
  return !file.Open() || ReadFrom(file, data);
}

bool ReadCaptureData(std::span<const uint8_t> bytes, CaptureData* data) {
  *data = {};
  return bytes.empty() || ReadFrom(MemorySource(bytes), data);
}

std::optional<int64_t> ParseExifTime(std::string_view dateTime, std::string_view subSeconds) {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
  if (dateTime.size() < 19 || !Digits(dateTime, 0, 4, &year) || !Digits(dateTime, 5, 2, &month) ||
      !Digits(dateTime, 8, 2, &day) || !Digits(dateTime, 11, 2, &hour) ||
      !Digits(dateTime, 14, 2, &minute) || !Digits(dateTime, 17, 2, &second))
    return {};
  const char dateSeparator = dateTime[4];
  if ((dateSeparator != ':' && dateSeparator != '-') || dateTime[7] != dateSeparator ||
      (dateTime[10] != ' ' && dateTime[10] != 'T') || dateTime[13] != ':' || dateTime[16] != ':')
    return {};
  using namespace std::chrono;
  const year_month_day date{std::chrono::year{year},
                            std::chrono::month{static_cast<unsigned>(month)},
                            std::chrono::day{static_cast<unsigned>(day)}};
  // A leap second is taken as the next minute's first.
  if (year < 1900 || !date.ok() || hour > 23 || minute > 59 || second > 60) return {};
  int64_t micros = 0;
  int64_t scale = 100'000;
  // Some cameras pad the fraction's digits with spaces in front.
  subSeconds.remove_prefix(std::min(subSeconds.find_first_not_of(' '), subSeconds.size()));
  for (size_t i = 0; i < subSeconds.size() && subSeconds[i] >= '0' && subSeconds[i] <= '9';
       ++i, scale /= 10)
    micros += (subSeconds[i] - '0') * scale;
  const int64_t days = sys_days(date).time_since_epoch().count();
  return ((days * 24 + hour) * 60 + minute) * int64_t{60'000'000} + second * int64_t{1'000'000} +
         micros;
}

std::string FormatCaptureTime(int64_t microseconds) {
  using namespace std::chrono;
  const sys_time<std::chrono::microseconds> at{std::chrono::microseconds{microseconds}};
  const sys_days day = floor<days>(at);
  const year_month_day date{day};
  const auto inDay = duration_cast<std::chrono::microseconds>(at - day).count();
  const int64_t seconds = inDay / 1'000'000, fraction = inDay % 1'000'000;
  char text[48];
  std::snprintf(text, sizeof text, "%04d-%02u-%02u %02lld:%02lld:%02lld",
                static_cast<int>(date.year()), static_cast<unsigned>(date.month()),
                static_cast<unsigned>(date.day()), static_cast<long long>(seconds / 3600),
                static_cast<long long>(seconds / 60 % 60), static_cast<long long>(seconds % 60));
  std::string result = text;
  if (fraction != 0) {
    std::snprintf(text, sizeof text, ".%06lld", static_cast<long long>(fraction));
    std::string digits = text;
    digits.erase(digits.find_last_not_of('0') + 1);
    result += digits;
  }
  return result;
}
