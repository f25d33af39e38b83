// Every command of the window: where it shows, which key runs it, when it is enabled, and
// what it does. To find what a command does, find its id here and follow `run`.
#include "app/CommandRegistry.h"

#include <algorithm>

#include "app/CommandTable.h"
#include "app/ImageView.h"
#include "app/MainWindow.h"
#include "app/SeriesBrowser.h"
#include "app/ViewGeometry.h"
#include "app/panels/FusionPanel.h"
#include "app/panels/SmartContrastPanel.h"
#include "app/panels/ToneMappingPanel.h"

namespace {

// A command's panel, made for the window that docks it.
template <typename Panel>
ToolPanel* MakePanel(PanelHost& host) {
  return new Panel(host);
}

ToolPanel* MakeDaylightPanel(PanelHost& host) {
  return new FusionPanel(host, kDaylightPanel);
}

}  // namespace

std::span<const CommandEntry> CommandEntries() {
  using enum CommandGroup;
  static const CommandEntry kEntries[] = {
      // File.
      {CommandId::kOpen, kOpen, "IDP_FOLDER", TextId::kLoadImageTip, TextId::kLoadImage,
       Accelerator("Ctrl+O"), [](MainWindow& w) { w.CommandOpen(); }},
      {CommandId::kSaveAs, kSave, "IDP_SAVE", TextId::kSaveTip, TextId::kSaveAs,
       Accelerator("Ctrl+S"), [](MainWindow& w) { w.CommandSaveAs(); }},
      {CommandId::kClose, kSave, nullptr, std::nullopt, TextId::kClose, kNoKey,
       [](MainWindow& w) { w.CommandClose(); }},
      {CommandId::kOptions, kAlways, nullptr, std::nullopt, TextId::kOptionsItem, kNoKey,
       [](MainWindow& w) { w.CommandOptions(); }},
      // Through the unsaved question, like the window's close button.
      {CommandId::kExit, kAlways, nullptr, std::nullopt, TextId::kExit, kNoKey,
       [](MainWindow& w) { w.close(); }},
      // Processing.
      {CommandId::kSmartContrast, kSinglePicture, "CONTRAST", TextId::kSmartContrastItem,
       TextId::kSmartContrastItem, kNoKey,
       [](MainWindow& w) {
         w.CommandPicturePanel(MakePanel<SmartContrastPanel>, MainWindow::Depths::kAny);
       }},
      {CommandId::kSingleImage, kSinglePicture, "LIGHT", TextId::kSingleImageItem,
       TextId::kSingleImageItem, kNoKey, [](MainWindow& w) { w.CommandSingleImage(); }},
      {CommandId::kMultiImage, kSeries, "MULTI", TextId::kMultiImageTip, TextId::kMultiImageItem,
       kNoKey, [](MainWindow& w) { w.CommandMultiImage(); }},
      {CommandId::kDaylightUp, kSinglePicture, "LIGHT_UP", TextId::kDaylightUpItem,
       TextId::kDaylightUpItem, kNoKey,
       [](MainWindow& w) { w.CommandDaylight(SeriesKind::kDaylightUp); }},
      {CommandId::kDaylightDown, kSinglePicture, "LIGHT_DOWN", TextId::kDaylightDownItem,
       TextId::kDaylightDownItem, kNoKey,
       [](MainWindow& w) { w.CommandDaylight(SeriesKind::kDaylightDown); }},
      {CommandId::kToneMapping, kSinglePicture, "COLORMAP", TextId::kToneMappingItem,
       TextId::kToneMappingItem, kNoKey,
       [](MainWindow& w) {
         w.CommandPicturePanel(MakePanel<ToneMappingPanel>, MainWindow::Depths::k8Or16Bits);
       }},
      // Sent by the series jobs when their files are written.
      {CommandId::kSeriesReady, kAlways, nullptr, std::nullopt, std::nullopt, kNoKey,
       [](MainWindow& w) { w.CommandSeriesReady(w.hooks_.multiImagePanel); }},
      {CommandId::kDaylightReady, kAlways, nullptr, std::nullopt, std::nullopt, kNoKey,
       [](MainWindow& w) { w.CommandSeriesReady(MakeDaylightPanel); }},
      // The view.
      {CommandId::kZoomIn, kAlways, "IDP_ZOOMIN", TextId::kZoomInTip, std::nullopt,
       CharacterWhenUnused('+'), [](MainWindow& w) { w.imageView_->ZoomBy(kZoomInFactor); }},
      {CommandId::kZoomOut, kAlways, "IDP_ZOOMOUT", TextId::kZoomOutTip, std::nullopt,
       CharacterWhenUnused('-'), [](MainWindow& w) { w.imageView_->ZoomBy(kZoomOutFactor); }},
      {CommandId::kZoom100, kAlways, "IDP_ZOOM100", TextId::kZoom100Tip, std::nullopt, kNoKey,
       [](MainWindow& w) { w.imageView_->ZoomTo100(); }},
      {CommandId::kZoomFit, kAlways, "IDP_ZOOMFIT", TextId::kZoomFitTip, std::nullopt, kNoKey,
       [](MainWindow& w) { w.imageView_->FitToView(); }},
      // Browsing a series. Over a series, an open panel is the Multi Image panel before its OK:
      // no VTX image exists yet.
      {CommandId::kToggleSources, kAlways, nullptr, std::nullopt, std::nullopt,
       KeyWhenUnused(Qt::Key_F5),
       [](MainWindow& w) { w.series_->ToggleSources(w.activePanel_ == nullptr); }},
      {CommandId::kPrevious, kAlways, nullptr, std::nullopt, std::nullopt,
       KeyWhenUnused(Qt::Key_Left), [](MainWindow& w) { w.series_->Step(-1); }},
      {CommandId::kNext, kAlways, nullptr, std::nullopt, std::nullopt, KeyWhenUnused(Qt::Key_Right),
       [](MainWindow& w) { w.series_->Step(1); }},
      // The popup menu, and what only it offers.
      {CommandId::kMenu, kAlways, "IDP_PICKER", std::nullopt, std::nullopt, kNoKey,
       [](MainWindow& w) { w.commands_->ShowMenu(); }},
      {CommandId::kAbout, kAlways, nullptr, std::nullopt, TextId::kAboutItem,
       KeyWhenUnused(Qt::Key_Question, Qt::AltModifier), [](MainWindow& w) { w.CommandAbout(); }},
  };
  return kEntries;
}

const CommandEntry* FindCommand(CommandId id) {
  const std::span<const CommandEntry> entries = CommandEntries();
  const auto it = std::find_if(entries.begin(), entries.end(),
                               [id](const CommandEntry& entry) { return entry.id == id; });
  return it == entries.end() ? nullptr : &*it;
}

std::optional<bool> GroupEnabledAfter(CommandGroup group, EnablingEvent event,
                                      bool multiImageMode) {
  using enum EnablingEvent;
  switch (group) {
    case CommandGroup::kAlways:
      return std::nullopt;
    case CommandGroup::kOpen:
      if (event == kNoPicture) return true;
      break;
    case CommandGroup::kSeries:
      break;
    case CommandGroup::kSave:
    case CommandGroup::kZoomBox:
      if (event == kNoPicture) return false;
      if (event == kPictureOpened) return true;
      if (group == CommandGroup::kZoomBox) return std::nullopt;
      break;
    case CommandGroup::kSinglePicture:
      if (event == kNoPicture) return false;
      if (event == kPictureOpened) return true;
      // A series result is no single picture: its commands wait for the next Open.
      if (event == kProcessingEnded && multiImageMode) return std::nullopt;
      break;
  }
  if (event == kProcessing) return false;
  if (event == kProcessingEnded) return true;
  return std::nullopt;
}

std::span<const ToolbarItem> ToolbarLayout() {
  using enum ToolbarItem::Kind;
  static constexpr ToolbarItem kItems[] = {
      {kButton, CommandId::kOpen},
      {kButton, CommandId::kSaveAs},
      {kSeparator},
      {kButton, CommandId::kSmartContrast},
      {kButton, CommandId::kSingleImage},
      {kButton, CommandId::kMultiImage},
      {kSeparator},
      {kButton, CommandId::kDaylightUp},
      {kButton, CommandId::kDaylightDown},
      {kButton, CommandId::kToneMapping},
      {kBlank},
      {kSpacer},
      {kButton, CommandId::kZoomIn},
      {kButton, CommandId::kZoomOut},
      {kButton, CommandId::kZoom100},
      {kButton, CommandId::kZoomFit},
      {kZoomBox},
      {kButton, CommandId::kMenu},
  };
  return kItems;
}

std::span<const MenuItem> MenuLayout() {
  using enum MenuItem::Kind;
  static constexpr MenuItem kItems[] = {
      {kSubmenu, TextId::kMenuFile},
      {kCommand, {}, CommandId::kOpen},
      {kCommand, {}, CommandId::kSaveAs},
      {kCommand, {}, CommandId::kClose},
      {kSeparator},
      {kCommand, {}, CommandId::kOptions},
      {kSeparator},
      {kCommand, {}, CommandId::kExit},
      {kSubmenu, TextId::kMenuCreate},
      {kCommand, {}, CommandId::kSmartContrast},
      {kCommand, {}, CommandId::kSingleImage},
      {kCommand, {}, CommandId::kMultiImage},
      {kCommand, {}, CommandId::kDaylightUp},
      {kCommand, {}, CommandId::kDaylightDown},
      {kCommand, {}, CommandId::kToneMapping},
      {kSubmenu, TextId::kMenuHelp},
      {kCommand, {}, CommandId::kAbout},
  };
  return kItems;
}
