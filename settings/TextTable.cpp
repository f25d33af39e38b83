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
  TextId id;
  std::string_view text;
};

// The English texts used where the language file has none. Numbers not listed are empty.
constexpr BuiltIn kBuiltIns[] = {
    {TextId::kPreparingImages, "Preparing images ..."},
    {TextId::kCrashedLastTime,
     "The application crashed last time. It's probably caused by low memory."},
    {TextId::kWarning, "Warning"},
    {TextId::kMenuFile, "File"},
    {TextId::kMenuCreate, "Create VTX"},
    {TextId::kMenuHelp, "Help"},
    {TextId::kProgressStart, "Progress: 5%"},
    {TextId::kSaveAs, "Save As..."},
    {TextId::kClose, "Close"},
    {TextId::kOptionsItem, "Options..."},
    {TextId::kExit, "Exit"},
    {TextId::kMultiImageItem, "Multi Image VTX..."},
    {TextId::kSingleImageItem, "Single Image VTX Light..."},
    {TextId::kProgress, "Progress: "},
    {TextId::kCannotOpenSelected, "Cannot open selected file"},
    {TextId::kHelpContents, "Help Contents"},
    {TextId::kAboutItem, "About..."},
    {TextId::kNotSavedQuestion,
     "VTX image was created but not saved, do you want to continue without saving?"},
    {TextId::kShowing, "Showing"},
    {TextId::kOf, "of"},
    {TextId::kSaveTip, "Save Image As (Ctrl+S)"},
    {TextId::kZoomInTip, "Zoom In (+)"},
    {TextId::kZoomOutTip, "Zoom Out (-)"},
    {TextId::kZoomFitTip, "Zoom Image to Fit the Window"},
    {TextId::kZoom100Tip, "Set Zoom 100%"},
    {TextId::kZoomBoxTip, "Set Zoom"},
    {TextId::kMultiImageTip, "Multi Image VTX..."},
    {TextId::kUseArrows, "Use arrows to change it."},
    {TextId::kSingleImageVtx, "Single Image VTX"},
    {TextId::kCannotOpenFile, "Cannot open file:"},
    {TextId::kReport, "Report"},
    {TextId::kError, "Error"},
    {TextId::kNotSupported, "Image format not supported!"},
    {TextId::kAboutCaption, "About"},
    {TextId::kSelectLanguage, "Select Language:"},
    {TextId::kOptionsTitle, "Options"},
    {TextId::kOk, "OK"},
    {TextId::kCancel, "Cancel"},
    {TextId::kRestartNeeded, "You have to restart application to affect the language change"},
    {TextId::kJpegQuality, "Jpeg Quality:"},
    {TextId::kSelectSource, "Select Source for VTX"},
    {TextId::kSetDefault, "Set Default"},
    {TextId::kSameResolution,
     "All the files must have the same resolution and number of components!"},
    {TextId::kArrowsOrF5, "Use arrows to change it or F5 to switch to VTX image."},
    {TextId::kPressF5, "Press F5 to switch between source images and VTX Image."},
    {TextId::kCanceling, "Canceling ..."},
    {TextId::kSharpnessWeight, "Sharpness weight:"},
    {TextId::kSaturationWeight, "Saturation weight:"},
    {TextId::kExposureWeight, "Exposure weight:"},
    {TextId::kExposure, "Exposure:"},
    {TextId::kFusionTitle, "VTX Fusion"},
    {TextId::kMultiImageVtx, "Multi Image VTX"},
    {TextId::kSingleImageVtxTitle, "Single Image VTX"},
    {TextId::kUsePregenerated,
     "There are already pre-generated files in the temporary folder. Do you want to use them and "
     "save your time?"},
    {TextId::kBatchFusion, "Batch VTX Fusion"},
    {TextId::kBatchFinished, "Batch VTX successfully finished."},
    {TextId::kAbort, "Abort"},
    {TextId::kEstimatedTime, "Estimated time:"},
    {TextId::kElapsedTime, "Elapsed time:"},
    {TextId::kBatchCanceled, "Batch VTX was canceled."},
    {TextId::kBatchSingleImage, "Single Image VTX - Batch Processing..."},
    {TextId::kSelectFolder, "Please select the folder"},
    {TextId::kMoreThanOneFile,
     "Please select more than one file as the source, using shift in open dialog."},
    {TextId::kLoadImage, "Load Image..."},
    {TextId::kLoadImageTip, "Load Image... Ctrl+O"},
    {TextId::kDragHint,
     "Click and drag to move image or preview rectangle, Right-click for comparison between "
     "original and VTX image"},
    {TextId::kRightClickHint, "Right-click for comparison between original and VTX image"},
    {TextId::kNoiseTitle, "Please set noise reduction level"},
    {TextId::kNoiseLabel, "Noise Reduction:"},
    {TextId::kNoiseNone, "None"},
    {TextId::kNoiseLow, "Low"},
    {TextId::kNoiseMedium, "Medium"},
    {TextId::kNoiseHigh, "High"},
    {TextId::kToneMappingItem, "Tone Mapping..."},
    {TextId::kDaylightUpItem, "Single Image Daylight Up..."},
    {TextId::kDaylightDownItem, "Single Image Daylight Down..."},
    {TextId::kSmartContrastItem, "Smart Contrast..."},
    {TextId::kLevelsOfDetails, " Levels of details"},
    {TextId::kBrightness, "Brightness"},
    {TextId::kFlatness, "Flatness"},
    {TextId::kPower, "Power"},
    {TextId::kStretchHistogram, "Stretch Histogram"},
    {TextId::kPreview, "Preview"},
    {TextId::kToneContrast, "Contrast:"},
    {TextId::kToneNoise, "Noise Aplitude:"},
    {TextId::kToneDetails, "Details Enhancement:"},
    {TextId::kToneEqualization, "Tone Equalization:"},
    {TextId::kExtraColors, "Use Extra Colors"},
    {TextId::kSkippedFile, "Skipped %s: %s"},
    {TextId::kSkippedMore, " (and %s more)"},
    {TextId::kSkipUnreadable, "cannot be read or has an unsupported format"},
    {TextId::kSkipMismatch,
     "has another size, number of components or bit depth than the first picture"},
    {TextId::kCannotFuse, "Cannot fuse the series: %s"},
    {TextId::kFuseNoFiles, "no files to fuse"},
    {TextId::kFuseNoPicture, "none of the files could be read"},
    {TextId::kFuseUnsupported,
     "the pictures cannot be fused: they need 8 or 16 bits per component and at least 10 pixels "
     "on each side"},
    {TextId::kFuseRegionOutside, "the region to fuse lies outside the pictures"},
    {TextId::kFuseOutputMismatch, "the output picture does not have the fused size and format"},
    {TextId::kFuseFileRejected, "a file cannot be fused with the others"},
    {TextId::kFuseOutOfMemory, "not enough memory to fuse the series"},
    {TextId::kFuseCancelled, "cancelled"},
    {TextId::kMemoryRefusal, "%s needs about %s MB of memory, but only %s MB are available."},
    {TextId::kJobFusing, "Fusing the series"},
    {TextId::kJobToneMapping, "Tone mapping"},
    {TextId::kJobSmartContrast, "Smart Contrast"},
    {TextId::kSeriesUnsupported,
     "The picture cannot be made into a series: it needs 8 or 16 bits per component."},
    {TextId::kSeriesFolderUnusable, "The temporary folder \"%s\" cannot be created or read."},
    {TextId::kSeriesWriteFailed, "The series file \"%s\" could not be written. Is the disk full?"},
    {TextId::kSeriesOutOfMemory, "Not enough memory to make the series."},
    {TextId::kSeriesNoFolder, "No folder for the series can be found."},
    {TextId::kSeriesFolderInUse, "The temporary folder \"%s\" is in use by another Melvaro."},
    {TextId::kSmartContrastUnchanged,
     "Smart Contrast needs a picture of 8 or 16 bits with at least 11 pixels on each side: this "
     "one stays unchanged."},
    {TextId::kAboutProduct, "Melvaro %s"},
    {TextId::kAboutDescription,
     "Exposure fusion, synthetic bracketing, tone mapping and contrast for photographs."},
    {TextId::kSaveFailed, "The picture could not be saved as %s: %s."},
    {TextId::kSaveDiskFull, "the disk is full"},
    {TextId::kSaveTooLarge, "the file would be larger than the system allows"},
    {TextId::kSaveNoPermission, "you have no permission to write there"},
    {TextId::kSaveReadOnly, "the disk is read-only"},
    {TextId::kSaveFolderInTheWay, "a folder of that name is in the way"},
    {TextId::kSaveNoFolder, "its folder does not exist"},
    {TextId::kSaveNameTooLong, "the name is too long"},
    {TextId::kSaveWriteError, "the file could not be written"},
    {TextId::kJobOutOfMemory, "There was not enough memory to finish the work."},
    {TextId::kJobFailed, "The work stopped because of an unexpected failure."},
    {TextId::kBatchItem, "Batch..."},
    {TextId::kBatchTitle, "Batch"},
    {TextId::kBatchPictures, "Pictures:"},
    {TextId::kBatchAddFiles, "Add Files..."},
    {TextId::kBatchAddFolder, "Add Folder..."},
    {TextId::kBatchClear, "Clear"},
    {TextId::kBatchByCapture, "A new series starts after a pause longer than (seconds):"},
    {TextId::kBatchByCount, "Series of a fixed number of pictures:"},
    {TextId::kBatchWithoutTime,
     "%s of the pictures carry no capture time: they are taken in name order, a fixed number at a "
     "time."},
    {TextId::kBatchColumnName, "Series"},
    {TextId::kBatchColumnCapture, "Pictures and exposures"},
    {TextId::kBatchColumnResult, "Result"},
    {TextId::kBatchColumnEnded, "Ended by"},
    {TextId::kBatchSeriesName, "Series %s"},
    {TextId::kBatchPictureCount, "%s pictures"},
    {TextId::kBatchLeftAsItIs, "left as it is: a single picture"},
    {TextId::kBatchResultKept, "%s (exists: kept)"},
    {TextId::kBatchCannotBeRead, "cannot be read"},
    {TextId::kBatchFound, "%s series of %s pictures"},
    {TextId::kBatchLeftOut, "Left out, results of an earlier run: %s"},
    {TextId::kBatchBesideSeries, "Results beside each series"},
    {TextId::kBatchIntoFolder, "Results into the folder:"},
    {TextId::kBatchChoose, "Choose..."},
    {TextId::kBatchOverwrite, "Fuse again a series whose result exists"},
    {TextId::kBatchRun, "Run"},
    {TextId::kBatchSelectPictures, "Select the pictures of the batch"},
    {TextId::kBatchSelectFolder, "Select a folder of bracketed series"},
    {TextId::kBatchSelectOutput, "Select the folder for the results"},
    {TextId::kBatchFolderBraces, "The name of the results folder may not hold { or }."},
    {TextId::kBatchNoSuchFolder, "The results folder %s does not exist."},
    {TextId::kBatchEndGap, "pause of %s s"},
    {TextId::kBatchEndCamera, "camera changed"},
    {TextId::kBatchEndSize, "picture size changed"},
    {TextId::kBatchEndBias, "exposure bias pattern restarted"},
    {TextId::kBatchEndFull, "%s pictures, the most one series holds"},
    {TextId::kBatchEndFixed, "fixed group"},
    {TextId::kBatchEndLast, "last picture"},
    {TextId::kBatchSummaryFused, "%s series fused"},
    {TextId::kBatchSummaryDone, "%s already done"},
    {TextId::kBatchSummarySingle, "1 single picture left as it is"},
    {TextId::kBatchSummarySingles, "%s single pictures left as they are"},
    {TextId::kBatchSummaryFailed, "%s failed: %s"},
    {TextId::kBatchSummarySeries, "series %s: %s"},
    {TextId::kBatchSummaryStopped, "stopped with %s of %s series not run"},
    {TextId::kBatchStageFusing, "Series %s of %s: fusing %s pictures"},
    {TextId::kBatchStageWriting, "Series %s of %s: writing %s"},
    {TextId::kBatchNamesClash,
     "Two series would write results of the same name into that folder: put the results beside "
     "each series, or add the folders one batch at a time."},
    {TextId::kAlignPictures, "Align pictures"},
    {TextId::kAlignFound, "Aligned %s pictures: largest shift %s px, rotation %s\xC2\xB0"},
    {TextId::kAlignNothingMoved, "The pictures did not move: they are fused as they are"},
    {TextId::kAlignLeftAsIs, "%s was left as it was: %s"},
    {TextId::kRemoveGhosts, "Remove ghosts"},
    {TextId::kGhostStrength, "Strength"},
    {TextId::kShowRejected, "Show rejected areas"},
    {TextId::kGhostsFound, "Ghosts: %s of %s pictures kept out over %s %"},
    {TextId::kGhostsNone, "No ghosts found: every picture is fused as it is"},
};

using Texts = std::array<std::string, kTextCount + 1>;  // entry 0 unused

constexpr std::array<std::string_view, kTextCount + 1> kBuiltInByNumber = [] {
  std::array<std::string_view, kTextCount + 1> table{};
  for (const BuiltIn& entry : kBuiltIns)
    table[static_cast<std::size_t>(TextNumber(entry.id))] = entry.text;
  return table;
}();

std::string_view BuiltInNumber(int n) {
  if (n < 1 || n > kTextCount) return {};
  return kBuiltInByNumber[static_cast<std::size_t>(n)];
}

// Every table ever published stays alive here, so readers on other threads never see an entry
// change or go away under them. A run publishes a handful of tables.
struct Publisher {
  std::mutex mutex;
  std::vector<std::unique_ptr<const Texts>> tables;
  std::atomic<const Texts*> current{nullptr};

  Publisher() {
    auto builtIns = std::make_unique<Texts>();
    for (int n = 1; n <= kTextCount; ++n)
      (*builtIns)[n] = BuiltInNumber(n);
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
  std::string result = text ? std::move(*text) : std::string(BuiltInNumber(n));
  CutToUnits(&result, kTextMaxChars);
  return result;
}

}  // namespace

std::string_view BuiltInText(TextId id) {
  return BuiltInNumber(TextNumber(id));
}

const std::string& LangText(TextId id) {
  static const std::string kEmpty;
  const int n = TextNumber(id);
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

void LoadTexts(const std::filesystem::path& file, int languageIndex, std::span<const TextId> ids) {
  const IniFile language(file);
  const std::string section = SectionName(languageIndex);
  std::vector<std::pair<int, std::string>> changes;
  for (const TextId id : ids) {
    const int n = TextNumber(id);
    if (n >= 1 && n <= kTextCount) changes.emplace_back(n, ReadText(language, section, n));
  }
  TextPublisher().PublishChanged(changes);
}

std::string FillText(std::string_view pattern, std::initializer_list<std::string_view> values) {
  std::string text;
  text.reserve(pattern.size());
  const std::string_view* next = values.begin();
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    if (pattern[i] == '%' && i + 1 < pattern.size() && pattern[i + 1] == 's') {
      if (next != values.end()) text += *next++;
      ++i;
      continue;
    }
    text += pattern[i];
  }
  return text;
}

std::string FormatText(TextId id, std::initializer_list<std::string_view> values) {
  return FillText(LangText(id), values);
}
