#pragma once

// The number of every text of the text table: entry n is the key "string<n>" of the language
// file. The numbers are the language files' own and never change; a new text takes the next
// free number after the last. Entries marked unused are loaded like the others (so language
// files keep their numbering) and shown nowhere.
enum class TextId : int {
  kPreparingImages = 1,
  kCrashedLastTime = 2,
  kWarning = 3,  // the caption of most message boxes
  kMenuFile = 4,
  kMenuCreate = 5,
  kMenuHelp = 6,
  kProgressStart = 7,  // "Progress: 5%"
  kSaveAs = 8,
  kClose = 9,
  kOptionsItem = 10,
  kExit = 11,
  kMultiImageItem = 12,
  kSingleImageItem = 13,
  kProgress = 14,  // "Progress: ", followed by the percentage
  kCannotOpenSelected = 15,
  kHelpContents = 16,
  kUnused17 = 17,
  kUnused18 = 18,
  kUnused19 = 19,
  kAboutItem = 20,
  kNotSavedQuestion = 21,
  kShowing = 22,
  kOf = 23,
  kSaveTip = 24,
  kZoomInTip = 25,
  kZoomOutTip = 26,
  kZoomFitTip = 27,
  kZoom100Tip = 28,
  kZoomBoxTip = 29,
  kMultiImageTip = 30,
  kUseArrows = 31,
  kSingleImageVtx = 32,
  kCannotOpenFile = 33,
  kUnused34 = 34,
  kUnused35 = 35,
  kUnused36 = 36,
  kUnused37 = 37,
  kReport = 38,
  kUnused39 = 39,
  kError = 40,
  kNotSupported = 41,
  kAboutCaption = 42,
  kSelectLanguage = 43,
  kOptionsTitle = 44,
  kOk = 45,
  kCancel = 46,
  kRestartNeeded = 47,
  kJpegQuality = 48,
  kSelectSource = 49,  // the Open dialogs' title
  kUnused50 = 50,
  kUnused51 = 51,
  kUnused52 = 52,
  kSetDefault = 53,
  kSameResolution = 54,
  kArrowsOrF5 = 55,
  kPressF5 = 56,
  kCanceling = 57,
  kSharpnessWeight = 58,
  kSaturationWeight = 59,
  kExposureWeight = 60,
  kExposure = 61,
  kFusionTitle = 62,
  kMultiImageVtx = 63,
  kSingleImageVtxTitle = 64,
  kUsePregenerated = 65,
  kBatchFusion = 66,
  kBatchFinished = 67,
  kAbort = 68,
  kEstimatedTime = 69,
  kElapsedTime = 70,
  kBatchCanceled = 71,
  kUnused72 = 72,
  kBatchSingleImage = 73,
  kUnused74 = 74,
  kSelectFolder = 75,
  kUnused76 = 76,
  kMoreThanOneFile = 77,
  kLoadImage = 78,
  kLoadImageTip = 79,
  kDragHint = 80,  // "Click and drag to move image or preview rectangle, ..."
  kRightClickHint = 81,
  kNoiseTitle = 82,
  kNoiseLabel = 83,
  kNoiseNone = 84,
  kNoiseLow = 85,
  kNoiseMedium = 86,
  kNoiseHigh = 87,
  kUnused88 = 88,
  kUnused89 = 89,
  kUnused90 = 90,
  kUnused91 = 91,
  kUnused92 = 92,
  kUnused93 = 93,
  kUnused94 = 94,
  kUnused95 = 95,
  kUnused96 = 96,
  kUnused97 = 97,
  kToneMappingItem = 98,
  kDaylightUpItem = 99,
  kDaylightDownItem = 100,
  kSmartContrastItem = 101,
  kLevelsOfDetails = 102,
  kBrightness = 103,
  kFlatness = 104,
  kPower = 105,
  kStretchHistogram = 106,
  kUnused107 = 107,
  kPreview = 108,
  kToneContrast = 109,
  kToneNoise = 110,
  kToneDetails = 111,
  kToneEqualization = 112,
  kExtraColors = 113,
  kUnused114 = 114,

  // Texts of the window added after the first 114. "%s" marks where FormatText puts a value.
  kSkippedFile = 115,     // "Skipped %s: %s" (file name, then why)
  kSkippedMore = 116,     // " (and %s more)"
  kSkipUnreadable = 117,  // why a series file was skipped
  kSkipMismatch = 118,
  kCannotFuse = 119,  // "Cannot fuse the series: %s" (one of the next eight)
  kFuseNoFiles = 120,
  kFuseNoPicture = 121,
  kFuseUnsupported = 122,
  kFuseRegionOutside = 123,
  kFuseOutputMismatch = 124,
  kFuseFileRejected = 125,
  kFuseOutOfMemory = 126,
  kFuseCancelled = 127,
  kMemoryRefusal = 128,  // "%s needs about %s MB of memory, but only %s MB are available."
  kJobFusing = 129,      // the jobs a memory refusal names
  kJobToneMapping = 130,
  kJobSmartContrast = 131,
  kSeriesUnsupported = 132,
  kSeriesFolderUnusable = 133,  // %s: the folder
  kSeriesWriteFailed = 134,     // %s: the file
  kSeriesOutOfMemory = 135,
  kSeriesNoFolder = 136,
  kSeriesFolderInUse = 137,  // %s: the folder
  kSmartContrastUnchanged = 138,
  kAboutProduct = 139,      // "Melvaro %s" (the version)
  kAboutDescription = 140,  // below it, after an empty line
  kSaveFailed = 141,        // "The picture could not be saved as %s: %s." (file, why)
  kSaveDiskFull = 142,      // why a save failed
  kSaveTooLarge = 143,
  kSaveNoPermission = 144,
  kSaveReadOnly = 145,
  kSaveFolderInTheWay = 146,
  kSaveNoFolder = 147,
  kSaveNameTooLong = 148,
  kSaveWriteError = 149,
  kJobOutOfMemory = 150,  // a background job ran out of memory
  kJobFailed = 151,       // a background job failed in a way it did not foresee
};

// The highest text number.
constexpr int kTextCount = 151;

constexpr int TextNumber(TextId id) {
  return static_cast<int>(id);
}
