#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>

// What a camera wrote about a picture when it took it, read from the file's header alone:
// no pixel is decoded, so the data of a thousand files is read in a moment. JPEG (EXIF in
// APP1), TIFF (the first directory and its EXIF directory) and PNG (IHDR and eXIf) are read;
// every field is optional, since edited and generated pictures often carry none of it.

struct CaptureData {
  // When the exposure started, on the camera's own clock (no time zone): microseconds
  // since 1970-01-01 00:00:00. DateTimeOriginal with SubSecTimeOriginal, else DateTime
  // with SubSecTime.
  std::optional<int64_t> timeMicroseconds;
  std::optional<double> exposureSeconds;  // ExposureTime, else ShutterSpeedValue
  std::optional<double> fNumber;          // FNumber, else ApertureValue
  std::optional<uint32_t> iso;            // ISOSpeedRatings, else ISOSpeed
  std::optional<double> exposureBias;     // ExposureBiasValue, in EV
  std::string make;                       // empty when unknown
  std::string model;
  // BodySerialNumber, CameraSerialNumber, or the serial a Canon or Nikon maker note holds.
  std::string serial;
  // The stored picture's size and depth, from the codec's own header; 0 when unknown.
  uint32_t width = 0;
  uint32_t height = 0;
  uint32_t bitsPerComponent = 0;

  bool HasTime() const { return timeMicroseconds.has_value(); }
  // Make, model and serial in one text: two pictures with the same text come from the same
  // camera (as far as the files tell).
  std::string CameraKey() const;
};

// Reads the capture data of an image file; true when the file cannot be opened or is not a
// JPEG, TIFF or PNG file. A file of one of these formats without capture data is no failure:
// its fields are simply empty. Never reads outside the file, whatever its bytes claim.
bool ReadCaptureData(const std::filesystem::path& path, CaptureData* data);

// The same for a file's bytes held in memory.
bool ReadCaptureData(std::span<const uint8_t> bytes, CaptureData* data);

// "YYYY:MM:DD HH:MM:SS" as the EXIF date fields hold it (also with '-' in the date and 'T'
// between date and time), with the digits of a sub-second field: microseconds since 1970 on
// the same clock. Nothing for a blank, zero or impossible date.
std::optional<int64_t> ParseExifTime(std::string_view dateTime, std::string_view subSeconds);

// A capture time for people: "2024-05-01 10:00:00" with ".25" when it has a fraction.
std::string FormatCaptureTime(int64_t microseconds);
