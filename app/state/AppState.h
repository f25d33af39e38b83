#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>

#include "jobs/SourceList.h"
#include "picture/ImageDocument.h"
#include "picture/SBxPicBuf.h"

// The state the main window keeps for the whole run and lends to dialogs and
// jobs. Values that a worker thread reads or writes while the user interface
// runs are atomic; the rest are touched on the user-interface thread only, or
// by one job at a time while the processing commands are disabled.
struct AppState {
  ImageDocument document;
  SBxPicBuf workPicture;  // filled by jobs and by the commands that start them

  std::filesystem::path currentFilePath;     // the last file loaded
  std::filesystem::path metadataSourcePath;  // metadata and profile copied on save
  std::filesystem::path jobSourcePath;       // source reloaded after an aborted job
  SourceList sourceList;

  std::atomic<uint8_t> resultUnsaved{0};
  std::atomic<uint8_t> multiImageMode{0};
  std::atomic<uint8_t> showSources{0};
  std::atomic<uint8_t> toolDialogOpen{0};
  std::atomic<uint8_t> busy{0};             // a tone-mapping job runs
  std::atomic<uint8_t> cancelRequested{0};  // set by "Abort", read by series jobs
  std::atomic<uint8_t> processorCount{0};

  int jpegQuality = 0;
};

// What the main window's creation sets: browsing shows the sources, the series
// is empty, no dialog is open and nothing is unsaved.
void InitAppState(AppState* state);
// Releases the work picture and the document's pictures.
void ReleaseAppState(AppState* state);
