// The Tone Mapping and Smart Contrast panels end to end on the bundled photos: command,
// sliders, preview, OK, Save As, compared with melvaro-cli; Abort, Cancel, a grey picture and
// one too small for the engine.
#include <QApplication>
#include <QCheckBox>
#include <QImage>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSlider>
#include <algorithm>
#include <memory>

#include "app/panels/SmartContrastPanel.h"
#include "app/panels/ToneMappingPanel.h"
#include "settings/Settings.h"
#include "settings/TextTable.h"
#include "tests/app/PanelTestSupport.h"

namespace {

namespace fs = std::filesystem;

class TonePanelsTest : public PanelWindowTest {
 protected:
  template <typename Panel>
  Panel* Open(const fs::path& picture, CommandId command) {
    dialogs_.openFile = picture;
    window_->ExecuteCommand(CommandId::kOpen);
    window_->ExecuteCommand(command);
    return dynamic_cast<Panel*>(window_->ActivePanel());
  }
  bool ResultIsSource() const {
    return SameSamples(State().document.result, State().document.source);
  }
  fs::path GreyPicture(int width, int height) {
    QImage image(width, height, QImage::Format_Grayscale8);
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x)
        image.scanLine(y)[x] = static_cast<uchar>((x * 7 + y * 3) % 256);
    const fs::path path = TempPath("grey" + std::to_string(width) + ".png");
    EXPECT_TRUE(image.save(path.c_str()));
    return path;
  }
};

TEST_F(TonePanelsTest, ToneMappingPreviewsARectangleAndOkMatchesTonemap) {
  auto* panel = Open<ToneMappingPanel>(kSunset, CommandId::kToneMapping);
  ASSERT_NE(panel, nullptr);
  EXPECT_TRUE(panel->ExtraColors()->isVisibleTo(panel));
  EXPECT_EQ(window_->View().previewRect, nullptr);
  EXPECT_TRUE(ResultIsSource());
  EXPECT_FALSE(window_->Commands().IsEnabled(CommandId::kOpen));

  panel->Preview()->setChecked(true);
  ASSERT_NE(panel->Model(), nullptr);
  const CBxRect rect = panel->Model()->IntegerRect();
  EXPECT_EQ(std::make_pair(rect.Width(), rect.Height()), std::make_pair(512, 512));
  EXPECT_EQ(panel->PreviewRuns(), 1);
  ASSERT_TRUE(PreviewShown(panel));
  EXPECT_FALSE(ResultIsSource());

  QTest::keyClick(panel->Slider(0), Qt::Key_Up);  // a line: two steps
  QTest::keyClick(panel->Slider(2), Qt::Key_PageDown);
  EXPECT_EQ(panel->Values().contrast, 12);
  EXPECT_EQ(panel->Values().details, 9);
  EXPECT_EQ(panel->PreviewRuns(), 3);
  // Dragging the rectangle re-computes on release, only when it moved.
  int x = 0, y = 0;
  ViewMap(window_->View()).MapPointSrcToDst(&x, &y, rect.left + 50, rect.top + 50);
  ASSERT_TRUE(panel->ViewMousePress({x, y}));
  panel->ViewMouseRelease({x, y});
  EXPECT_EQ(panel->PreviewRuns(), 3);
  ASSERT_TRUE(panel->ViewMousePress({x, y}));
  EXPECT_TRUE(panel->ViewMouseMove({x - 40, y + 10}, true));
  panel->ViewMouseRelease({x - 40, y + 10});
  EXPECT_EQ(panel->PreviewRuns(), 4);
  ASSERT_TRUE(PreviewShown(dynamic_cast<PanelBase*>(window_->ActivePanel())));
  Screenshot("tone-mapping-panel.png");

  QTest::keyClick(window_->ViewWidget(), Qt::Key_Return);
  EXPECT_FALSE(panel->OkButton()->isEnabled() || panel->CancelButton()->isEnabled() ||
               panel->Preview()->isEnabled());
  ASSERT_TRUE(JobEnded());
  EXPECT_EQ(window_->ActivePanel(), nullptr);
  EXPECT_EQ(window_->View().previewRect, nullptr);
  EXPECT_EQ(State().resultUnsaved, 1);
  EXPECT_EQ(State().busy, 0);
  EXPECT_EQ(window_->Startup().uiPowerT[0], 12);
  EXPECT_EQ(window_->Startup().uiPowerT[2], 9);
  EXPECT_TRUE(window_->Commands().IsEnabled(CommandId::kOpen));
  ExpectSavedAsCli("tone.tif", {"tonemap", "--contrast", "12", "--details", "9", kSunset});
}

TEST_F(TonePanelsTest, AbortGivesTheSourceBackAndTheSlidersCancelClosesUnchanged) {
  auto* panel = Open<ToneMappingPanel>(kSunset, CommandId::kToneMapping);
  ASSERT_NE(panel, nullptr);
  QTest::keyClick(panel->Slider(1), Qt::Key_PageUp);
  panel->Ok();
  ASSERT_TRUE(panel->JobRunning());
  EXPECT_TRUE(panel->AbortButton()->isVisibleTo(panel));
  panel->AbortButton()->click();
  ASSERT_TRUE(JobEnded());
  ASSERT_EQ(window_->ActivePanel(), panel);
  EXPECT_TRUE(panel->Slider(0)->isEnabled() && panel->OkButton()->isEnabled());
  EXPECT_FALSE(panel->AbortButton()->isVisibleTo(panel));
  EXPECT_TRUE(ResultIsSource());
  EXPECT_EQ(State().resultUnsaved, 0);
  EXPECT_EQ(State().busy, 0);
  EXPECT_EQ(window_->Startup().uiPowerT[1], 11);  // committed by OK, kept after Abort

  QTest::keyClick(panel, Qt::Key_Escape);
  EXPECT_EQ(window_->ActivePanel(), nullptr);
  EXPECT_TRUE(ResultIsSource());
  EXPECT_EQ(State().toolDialogOpen, 0);
}

TEST_F(TonePanelsTest, ClosingTheWindowDuringTheJobStopsItFirst) {
  auto* panel = Open<ToneMappingPanel>(kSunset, CommandId::kToneMapping);
  ASSERT_NE(panel, nullptr);
  panel->Ok();
  ASSERT_TRUE(panel->JobRunning());
  window_.reset();  // waits for the worker, which stops at its next poll
  SUCCEED();
}

TEST_F(TonePanelsTest, AGreyPictureHasNoExtraColoursAndASmallOneIsPreviewedWhole) {
  const fs::path grey = GreyPicture(300, 200);
  auto* panel = Open<ToneMappingPanel>(grey, CommandId::kToneMapping);
  ASSERT_NE(panel, nullptr);
  EXPECT_FALSE(panel->ExtraColors()->isVisibleTo(panel));
  panel->Preview()->setChecked(true);
  const CBxRect rect = panel->Model()->IntegerRect();
  EXPECT_EQ(std::make_tuple(rect.left, rect.top, rect.right, rect.bottom),
            std::make_tuple(0, 0, 300, 200));
  panel->Ok();
  ASSERT_TRUE(JobEnded());
  ExpectSavedAsCli("grey.tif", {"tonemap", grey});
}

TEST_F(TonePanelsTest, SmartContrastShowsTheStoredGainsRebuildsAndOkMatchesContrast) {
  WriteSetting(setting::kLod[3].key, "25");
  WriteSetting(setting::kLod[5].key, "40");  // shown as read, the slider at its limit
  auto* panel = Open<SmartContrastPanel>(kSunset, CommandId::kSmartContrast);
  ASSERT_NE(panel, nullptr);
  EXPECT_EQ(panel->Levels(), 7);  // 800 halved while at least 11: 400 .. 12
  EXPECT_EQ(panel->ValueLabel(3)->text(), QStringLiteral("25"));
  EXPECT_EQ(panel->Slider(3)->value(), 25);
  EXPECT_EQ(panel->ValueLabel(5)->text(), QStringLiteral("40"));
  EXPECT_EQ(panel->Slider(5)->value(), 30);
  EXPECT_TRUE(panel->Slider(6)->isEnabled());
  EXPECT_FALSE(panel->Slider(7)->isEnabled());
  ASSERT_TRUE(PreviewShown(panel));
  EXPECT_FALSE(ResultIsSource());
  const int rebuilds = panel->Rebuilds();
  QTest::keyClick(panel->Slider(0), Qt::Key_Up);
  EXPECT_EQ(panel->ValueLabel(0)->text(), QStringLiteral("12"));
  EXPECT_EQ(panel->Rebuilds(), rebuilds + 1);
  ASSERT_TRUE(PreviewShown(dynamic_cast<PanelBase*>(window_->ActivePanel())));
  Screenshot("smart-contrast-panel.png");

  QTest::keyClick(panel, Qt::Key_Return);
  EXPECT_EQ(window_->ActivePanel(), nullptr);
  EXPECT_EQ(ReadSettingText(setting::kLod[0]), "12");
  EXPECT_EQ(ReadSettingText(setting::kLod[5]), "40");
  EXPECT_EQ(State().resultUnsaved, 1);
  EXPECT_EQ(window_->StatusText().toStdString(), LangText(TextId::kRightClickHint));
  ExpectSavedAsCli("contrast.tif", {"contrast", "--lod", "12,10,10,25,10,30,10,10", kSunset});
}

TEST_F(TonePanelsTest, SmartContrastCancelAndAPictureTooSmallLeaveTheSource) {
  auto* panel = Open<SmartContrastPanel>(kSunset, CommandId::kSmartContrast);
  ASSERT_NE(panel, nullptr);
  QTest::keyClick(panel->Slider(1), Qt::Key_Up);
  panel->Cancel();
  EXPECT_TRUE(ResultIsSource());
  EXPECT_EQ(ReadSettingText(setting::kLod[1]), "10");
  EXPECT_EQ(State().resultUnsaved, 0);

  auto* tiny = Open<SmartContrastPanel>(GreyPicture(8, 8), CommandId::kSmartContrast);
  ASSERT_NE(tiny, nullptr);
  EXPECT_EQ(tiny->Levels(), 0);
  EXPECT_FALSE(tiny->Slider(0)->isEnabled());
  EXPECT_TRUE(ResultIsSource());
  EXPECT_NE(window_->StatusText().toStdString().find("stays unchanged"), std::string::npos);
  tiny->Ok();
  EXPECT_TRUE(ResultIsSource());
}

// Both panels open from their commands after the unsaved question; only Tone Mapping needs
// 8 or 16 bits per component (Smart Contrast leaves any other picture as it is).
TEST_F(TonePanelsTest, TheirCommandsAskFirstAndOnlyToneMappingRefusesOtherDepths) {
  dialogs_.openFile = kSunset;
  window_->ExecuteCommand(CommandId::kOpen);
  State().resultUnsaved = 1;
  dialogs_.answerYes = false;
  window_->ExecuteCommand(CommandId::kSmartContrast);
  window_->ExecuteCommand(CommandId::kToneMapping);
  EXPECT_EQ(window_->ActivePanel(), nullptr);
  EXPECT_EQ(dialogs_.questions.size(), 2u);
  EXPECT_EQ(State().resultUnsaved, 1);

  dialogs_.answerYes = true;
  SBxPicBuf& source = State().document.source;
  CBxPicBufAPI::ReinitHeap(&source, 64, 48, 3, 32);
  ASSERT_FALSE(IsEmpty(source));
  for (int y = 0; y < source.height; ++y)  // a black picture of float samples
    std::fill_n(reinterpret_cast<float*>(RowPtr(source, y)), source.width * 3, 0.0f);
  window_->ExecuteCommand(CommandId::kToneMapping);
  EXPECT_EQ(window_->ActivePanel(), nullptr);
  EXPECT_EQ(dialogs_.messages, std::vector<std::string>{LangText(TextId::kNotSupported)});
  EXPECT_EQ(State().toolDialogOpen, 0);
  window_->ExecuteCommand(CommandId::kSmartContrast);
  auto* panel = dynamic_cast<SmartContrastPanel*>(window_->ActivePanel());
  ASSERT_NE(panel, nullptr);
  EXPECT_EQ(panel->Levels(), 0);
  EXPECT_EQ(State().resultUnsaved, 0);
  panel->Cancel();
  EXPECT_EQ(State().toolDialogOpen, 0);
}

}  // namespace
