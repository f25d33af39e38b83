#include "settings/TextTable.h"

#include <array>
#include <atomic>
#include <memory>
#include <mutex>
#include <optional>
#include <utility>
#include <vector>

#include "settings/IniFile.h"

namespace {

struct BuiltIn {
  int number;
  std::string_view text;
};

// The English texts used where the language file has none. Numbers not listed are empty.
constexpr BuiltIn kBuiltIns[] = {
    {1, "Preparing images ..."},
    {2, "The application crashed last time. It's probably caused by low memory."},
    {3, "Warning"},
    {4, "File"},
    {5, "Create VTX"},
    {6, "Help"},
    {7, "Progress: 5%"},
    {8, "Save As..."},
    {9, "Close"},
    {10, "Options..."},
    {11, "Exit"},
    {12, "Multi Image VTX..."},
    {13, "Single Image VTX Light..."},
    {14, "Progress: "},
    {15, "Cannot open selected file"},
    {16, "Help Contents"},
    {20, "About..."},
    {21, "VTX image was created but not saved, do you want to continue without saving?"},
    {22, "Showing"},
    {23, "of"},
    {24, "Save Image As (Ctrl+S)"},
    {25, "Zoom In (+)"},
    {26, "Zoom Out (-)"},
    {27, "Zoom Image to Fit the Window"},
    {28, "Set Zoom 100%"},
    {29, "Set Zoom"},
    {30, "Multi Image VTX..."},
    {31, "Use arrows to change it."},
    {32, "Single Image VTX"},
    {33, "Cannot open file:"},
    {38, "Report"},
    {40, "Error"},
    {41, "Image format not supported!"},
    {42, "About"},
    {43, "Select Language:"},
    {44, "Options"},
    {45, "OK"},
    {46, "Cancel"},
    {47, "You have to restart application to affect the language change"},
    {48, "Jpeg Quality:"},
    {49, "Select Source for VTX"},
    {53, "Set Default"},
    {54, "All the files must have the same resolution and number of components!"},
    {55, "Use arrows to change it or F5 to switch to VTX image."},
    {56, "Press F5 to switch between source images and VTX Image."},
    {57, "Canceling ..."},
    {58, "Sharpness weight:"},
    {59, "Saturation weight:"},
    {60, "Exposure weight:"},
    {61, "Exposure:"},
    {62, "VTX Fusion"},
    {63, "Multi Image VTX"},
    {64, "Single Image VTX"},
    {65,
     "There are already pre-generated files in the temporary folder. Do you want to use them and "
     "save your time?"},
    {66, "Batch VTX Fusion"},
    {67, "Batch VTX successfully finished."},
    {68, "Abort"},
    {69, "Estimated time:"},
    {70, "Elapsed time:"},
    {71, "Batch VTX was canceled."},
    {73, "Single Image VTX - Batch Processing..."},
    {75, "Please select the folder"},
    {77, "Please select more than one file as the source, using shift in open dialog."},
    {78, "Load Image..."},
    {79, "Load Image... Ctrl+O"},
    {80,
     "Click and drag to move image or preview rectangle, Right-click for comparison between "
     "original and VTX image"},
    {81, "Right-click for comparison between original and VTX image"},
    {82, "Please set noise reduction level"},
    {83, "Noise Reduction:"},
    {84, "None"},
    {85, "Low"},
    {86, "Medium"},
    {87, "High"},
    {98, "Tone Mapping..."},
    {99, "Single Image Daylight Up..."},
    {100, "Single Image Daylight Down..."},
    {101, "Smart Contrast..."},
    {102, " Levels of details"},
    {103, "Brightness"},
    {104, "Flatness"},
    {105, "Power"},
    {106, "Stretch Histogram"},
    {108, "Preview"},
    {109, "Contrast:"},
    {110, "Noise Aplitude:"},
    {111, "Details Enhancement:"},
    {112, "Tone Equalization:"},
    {113, "Use Extra Colors"},
};

using Texts = std::array<std::string, kTextCount + 1>;  // entry 0 unused

constexpr std::array<std::string_view, kTextCount + 1> kBuiltInByNumber = [] {
  std::array<std::string_view, kTextCount + 1> table{};
  for (const BuiltIn& entry : kBuiltIns)
    table[static_cast<std::size_t>(entry.number)] = entry.text;
  return table;
}();

// Every table ever published stays alive here, so readers on other threads never see an entry
// change or go away under them. A run publishes a handful of tables.
struct Publisher {
  std::mutex mutex;
  std::vector<std::unique_ptr<const Texts>> tables;
  std::atomic<const Texts*> current{nullptr};

  Publisher() {
    auto builtIns = std::make_unique<Texts>();
    for (int n = 1; n <= kTextCount; ++n)
      (*builtIns)[n] = BuiltInText(n);
    Publish(std::move(builtIns));
  }
  void Publish(std::unique_ptr<const Texts> table) {
    const std::lock_guard lock(mutex);
    current.store(table.get(), std::memory_order_release);
    tables.push_back(std::move(table));
  }
  // Publishes a copy of the current table with some entries replaced.
  void PublishChanged(std::span<const std::pair<int, std::string>> changes) {
    const std::lock_guard lock(mutex);
    auto table = std::make_unique<Texts>(*current.load(std::memory_order_relaxed));
    for (const auto& [n, text] : changes)
      (*table)[static_cast<std::size_t>(n)] = text;
    current.store(table.get(), std::memory_order_release);
    tables.push_back(std::move(table));
  }
};

Publisher& TextPublisher() {
  static Publisher publisher;
  return publisher;
}

std::string SectionName(int languageIndex) {
  return std::to_string(languageIndex);
}

std::string ReadText(const IniFile& file, const std::string& section, int n) {
  std::optional<std::string> text = file.Get(section, "string" + std::to_string(n));
  std::string result = text ? std::move(*text) : std::string(BuiltInText(n));
  CutToUnits(&result, kTextMaxChars);
  return result;
}

}  // namespace

std::string_view BuiltInText(int n) {
  if (n < 1 || n > kTextCount) return {};
  return kBuiltInByNumber[static_cast<std::size_t>(n)];
}

const std::string& LangText(int n) {
  static const std::string kEmpty;
  if (n < 1 || n > kTextCount) return kEmpty;
  const Texts* table = TextPublisher().current.load(std::memory_order_acquire);
  return (*table)[static_cast<std::size_t>(n)];
}

void LoadTextTable(const std::filesystem::path& file, int languageIndex) {
  const IniFile language(file);
  const std::string section = SectionName(languageIndex);
  auto table = std::make_unique<Texts>();
  for (int n = 1; n <= kTextCount; ++n)
    (*table)[static_cast<std::size_t>(n)] = ReadText(language, section, n);
  TextPublisher().Publish(std::move(table));
}

void LoadTexts(const std::filesystem::path& file, int languageIndex, std::span<const int> numbers) {
  const IniFile language(file);
  const std::string section = SectionName(languageIndex);
  std::vector<std::pair<int, std::string>> changes;
  for (const int n : numbers) {
    if (n >= 1 && n <= kTextCount) changes.emplace_back(n, ReadText(language, section, n));
  }
  TextPublisher().PublishChanged(changes);
}
