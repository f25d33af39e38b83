// Open, Save As and Options, with their dialogs and messages.
#include "app/FileCommands.h"

#include <algorithm>
#include <iterator>
#include <string>

#include "app/UserDialogs.h"
#include "app/state/AppState.h"
#include "jobs/ResultWrite.h"
#include "picture/ImageLoad.h"
#include "picture/ImageSave.h"
#include "settings/Settings.h"
#include "settings/TextTable.h"

namespace {

std::string PathText(const std::filesystem::path& path) {
  return path.string();
}

// Asks for the destination; false when cancelled. Fills the name and format code.
bool AskSaveName(UserDialogs& dialogs, QWidget* parent, const AppState& state, int* quality,
                 std::filesystem::path* name, int* formatCode) {
  const uint32_t bits = state.document.result.bitsPerComponent;
  SaveDialogRequest request;
  request.title = LangText(TextId::kSaveAs);
  request.filters = SaveFilterPatterns(bits);
  if (!state.currentFilePath.empty()) {
    const SaveProposal proposal = ProposeSaveName(state.currentFilePath, bits);
    request.folder = state.currentFilePath.parent_path();  // results beside their original
    request.proposedName = proposal.name;
    request.defaultExtension = proposal.defaultExtension;
    if (!request.defaultExtension.empty() && request.defaultExtension.front() == '.')
      request.defaultExtension.erase(0, 1);
    request.initialFilter = std::max(1, proposal.filterIndex);
  }
  request.jpegFilter = bits == 16 ? 0 : kFormatJpeg;
  request.jpegQuality = *quality;

  SaveDialogAnswer answer;
  if (!dialogs.ChooseSaveFile(parent, request, &answer)) return false;
  *quality = answer.jpegQuality;
  const ChosenSaveName chosen = ResolveChosenSaveName(answer.name, answer.filter, bits);
  *name = chosen.path;
  *formatCode = chosen.formatCode;
  return true;
}

}  // namespace

bool OpenSourceImageAsking(UserDialogs& dialogs, QWidget* parent, AppState* state,
                           std::filesystem::path* path) {
  if (path->empty()) {
    const auto chosen =
        dialogs.ChooseOpenFile(parent, LangText(TextId::kSelectSource), kOpenFilter);
    if (!chosen) return true;
    *path = *chosen;
  }
  if (OpenSourceImage(&state->document, *path, &state->currentFilePath)) {
    dialogs.ShowMessage(parent, LangText(TextId::kError), LangText(TextId::kNotSupported),
                        MessageIcon::kNone);
    return true;
  }
  return false;
}

bool SaveImageAs(UserDialogs& dialogs, QWidget* parent, AppState* state,
                 std::filesystem::path* name) {
  const SBxPicBuf& result = state->document.result;
  if (result.pixels == nullptr) return true;
  int quality = ReadSetting("jpeg", "85");
  std::filesystem::path destination = *name;
  int formatCode = kFormatFromName;
  if (!destination.empty()) {
    formatCode = FormatCodeFromName(PathText(destination), result.bitsPerComponent);
  } else if (!AskSaveName(dialogs, parent, *state, &quality, &destination, &formatCode)) {
    return true;
  }
  state->jpegQuality = quality;

  const auto saveFailed = [&destination](const std::string& why) {
    return FormatText(TextId::kSaveFailed, {PathText(destination), why});
  };
  std::string problem;
  try {
    std::error_code failure;
    if (WriteImageFile(&result, &state->document.mask, destination, state->metadataSourcePath,
                       formatCode, quality, &failure))
      problem = saveFailed(SaveFailureText(destination, failure));
  } catch (const UnsupportedImageFormat&) {
    problem = LangText(TextId::kNotSupported);
  } catch (const ImageReadError&) {
    // The opened file, whose metadata is copied, was moved or deleted since.
    problem = LangText(TextId::kCannotOpenFile) + " " + PathText(state->metadataSourcePath);
  } catch (const std::exception&) {
    problem = saveFailed(LangText(TextId::kSaveWriteError));
  }
  if (!problem.empty()) {
    dialogs.ShowMessage(parent, LangText(TextId::kWarning), problem, MessageIcon::kWarning);
    return true;
  }
  WriteSetting("jpeg", quality);
  *name = destination;
  return false;
}

void RunOptions(UserDialogs& dialogs, QWidget* parent, const std::filesystem::path& languageFile,
                StartupSettings* startup, int* languageIndex) {
  const int before = *languageIndex;
  const LanguageList languages = LoadLanguageList(languageFile);
  // The start-up keys are read again, but what this run holds for the exit write is the
  // user's latest choice (the Tone Mapping values committed by OK, the Multi Image panel's "Align
  // pictures" and "Remove ghosts") and stays; so does the crash flag, which reads this run's own 1
  // now.
  StartupSettings reread = StartupRead();
  reread.crashedLastTime = startup->crashedLastTime;
  std::copy(std::begin(startup->uiPowerT), std::end(startup->uiPowerT), reread.uiPowerT);
  reread.uiUseColors = startup->uiUseColors;
  reread.alignPictures = startup->alignPictures;
  reread.removeGhosts = startup->removeGhosts;
  reread.ghostStrength = startup->ghostStrength;
  *startup = reread;
  std::vector<std::string> names;
  for (const LanguageRecord& language : languages.records)
    names.push_back(language.name);
  const std::optional<int> chosen =
      dialogs.ChooseLanguage(parent, names, SelectedLanguageRow(languages));
  if (!chosen) return;
  *languageIndex = *chosen;
  WriteCurrentLanguage(languageFile, *chosen);  // a read-only program folder keeps the old one
  const TextId reloaded[] = {TextId::kRestartNeeded, TextId::kReport};
  LoadTexts(languageFile, *chosen, reloaded);
  if (*chosen != before)
    dialogs.ShowMessage(parent, LangText(TextId::kReport), LangText(TextId::kRestartNeeded),
                        MessageIcon::kInformation);
}
