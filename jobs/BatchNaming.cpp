#include "jobs/BatchNaming.h"

#include <map>
#include <system_error>

#include "jobs/JobTexts.h"
#include "picture/ImageSave.h"

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kFields[] = {"{first}", "{n}", "{folder}"};

// The value of the field starting at `at`, and its length; false for no known field.
bool FieldAt(std::string_view pattern, size_t at, const BatchSeries* series, int number,
             std::string* value, size_t* length) {
  for (std::string_view field : kFields) {
    if (pattern.substr(at, field.size()) != field) continue;
    *length = field.size();
    if (series == nullptr) return true;
    const fs::path& first = series->pictures.front().path;
    if (field == "{first}") *value = first.stem().string();
    if (field == "{n}") *value = std::to_string(number);
    if (field == "{folder}")
      *value = first.parent_path().empty() ? std::string(".") : first.parent_path().string();
    return true;
  }
  return false;
}

}  // namespace

std::string CheckOutputPattern(std::string_view pattern) {
  if (pattern.empty()) return "the output pattern is empty";
  for (size_t at = 0; at < pattern.size(); ++at) {
    if (pattern[at] != '{' && pattern[at] != '}') continue;
    std::string value;
    size_t length = 0;
    if (pattern[at] == '{' && FieldAt(pattern, at, nullptr, 0, &value, &length)) {
      at += length - 1;
      continue;
    }
    if (pattern[at] == '}') return "the output pattern has a } without its {";
    const size_t close = pattern.find('}', at);
    if (close == std::string_view::npos) return "the output pattern has a { without its }";
    return "the output pattern has an unknown field " +
           std::string(pattern.substr(at, close - at + 1)) +
           " (it may hold {first}, {n} and {folder})";
  }
  const fs::path name{std::string(pattern)};
  if (!name.has_filename() || name.filename() == "." || name.filename() == "..")
    return "the output pattern names no file";
  if (FormatCodeFromExtension(name) == kFormatFromName)
    return "the output pattern must end in .jpg, .jpeg, .tif, .tiff, .png or .bmp";
  return {};
}

fs::path FillOutputPattern(std::string_view pattern, const BatchSeries& series, int number) {
  std::string filled;
  for (size_t at = 0; at < pattern.size(); ++at) {
    std::string value;
    size_t length = 0;
    if (pattern[at] == '{' && !series.pictures.empty() &&
        FieldAt(pattern, at, &series, number, &value, &length)) {
      filled += value;
      at += length - 1;
    } else {
      filled.push_back(pattern[at]);
    }
  }
  return filled;
}

fs::path SameFileKey(const fs::path& path) {
  std::error_code error;
  fs::path key = fs::weakly_canonical(path, error);
  if (error) key = fs::absolute(path, error).lexically_normal();
  return key;
}

BatchOutputs NameBatchOutputs(std::string_view pattern, std::span<const BatchSeries> series) {
  BatchOutputs named;
  named.refusal = CheckOutputPattern(pattern);
  if (!named.refusal.empty()) return named;
  std::map<fs::path, size_t> writers;  // file -> the series that writes it
  for (size_t i = 0; i < series.size(); ++i) {
    named.outputs.push_back(FillOutputPattern(pattern, series[i], static_cast<int>(i) + 1));
    const auto [it, added] = writers.emplace(SameFileKey(named.outputs.back()), i);
    if (!added) {
      named.refusal = "series " + std::to_string(it->second + 1) + " and " + std::to_string(i + 1) +
                      " would both be written to " + QuotedPath(named.outputs.back()) +
                      ": put {n} or {first} in the output pattern";
      named.outputs.clear();
      return named;
    }
  }
  return named;
}
