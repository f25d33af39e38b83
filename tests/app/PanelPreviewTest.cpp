// Previews computed off the interface thread: after changes made faster than the previews
// run, the window shows what a synchronous preview of the last request shows, in the result
// and in the view's cache; closing a panel or the window while a preview runs is safe.
#include <QCheckBox>
#include <QSlider>
#include <memory>

#include "app/panels/FusionPanel.h"
#include "app/panels/ToneMappingPanel.h"
#include "jobs/PanelPreviews.h"
#include "tests/app/PanelTestSupport.h"

namespace {

namespace fs = std::filesystem;

class PanelPreviewTest : public PanelWindowTest {
 protected:
  FusionPanel* OpenSeries() {
    dialogs_.openFiles = kSeries;
    window_->ExecuteCommand(CommandId::kMultiImage);
    return dynamic_cast<FusionPanel*>(window_->ActivePanel());
  }
  ToneMappingPanel* OpenTone() {
    dialogs_.openFile = kSunset;
    window_->ExecuteCommand(CommandId::kOpen);
    window_->ExecuteCommand(CommandId::kToneMapping);
    return dynamic_cast<ToneMappingPanel*>(window_->ActivePanel());
  }
  // Drags the rectangle by (dx, dy) view pixels and releases it, as the view hands it on.
  void Drag(ToolPanel* panel, const CBxRect& rect, int dx, int dy) {
    int x = 0, y = 0;
    ViewMap(window_->View()).MapPointSrcToDst(&x, &y, rect.left + 60, rect.top + 60);
    ASSERT_TRUE(panel->ViewMousePress({x, y}));
    panel->ViewMouseMove({x + dx, y + dy}, true);
    panel->ViewMouseRelease({x + dx, y + dy});
  }
  // The result as the synchronous panels made it: the source, the preview pasted.
  void ExpectResultIs(const SBxPicBuf& preview, const CBxRect& at) {
    const ImageDocument& document = State().document;
    ScopedPicBuf want;
    CopyPicture(want.get(), document.source);
    ASSERT_FALSE(IsEmpty(preview));
    CBxPicBufAPI::CopyRect(want.get(), &preview, CBxPoint{at.left, at.top}, CBxPoint{0, 0},
                           CBxSize{preview.width, preview.height});
    EXPECT_TRUE(SameSamples(document.result, *want));
  }
  // The view's cache of the result, updated part by part, is what a whole refresh makes.
  void ExpectCacheIsWhole() {
    ScopedPicBuf cached;
    CopyPicture(cached.get(), window_->View().resultCache);
    window_->SendMessage(AppMessage::kRedraw);
    EXPECT_TRUE(SameSamples(*cached, window_->View().resultCache));
  }
};

TEST_F(PanelPreviewTest, FusionChangesFasterThanThePreviewsShowTheLastRequestOnly) {
  FusionPanel* panel = OpenSeries();
  ASSERT_NE(panel, nullptr);
  EXPECT_TRUE(panel->PreviewPending());  // asked for, not computed on the interface thread
  const CBxRect first = panel->Model().IntegerRect();
  QTest::keyClick(panel->Slider(), Qt::Key_Up);
  Drag(panel, first, -70, 40);
  QTest::keyClick(panel->Slider(), Qt::Key_PageUp);
  QTest::keyClick(panel->Slider(), Qt::Key_PageUp);
  EXPECT_EQ(panel->Value(), 104);
  ASSERT_TRUE(PreviewShown(panel));
  const CBxRect rect = panel->Model().IntegerRect();
  EXPECT_NE(rect.left, first.left);

  SeriesPictureCache cache;
  ScopedPicBuf preview;
  ASSERT_EQ(
      FusePreviewRect(cache, kSeries, panel->Model().Region(), rect, 104, nullptr, preview.get())
          .status,
      SeriesFusionStatus::kFused);
  ExpectResultIs(*preview, rect);
  ExpectCacheIsWhole();
  // Browsing shows the next picture with the same preview pasted.
  QTest::keyClick(window_.get(), Qt::Key_Right);
  EXPECT_EQ(State().sourceList.index, 1);
  ExpectResultIs(*preview, rect);
  ExpectCacheIsWhole();
}

TEST_F(PanelPreviewTest, ToneChangesFasterThanThePreviewsShowTheLastRequestOnly) {
  ToneMappingPanel* panel = OpenTone();
  ASSERT_NE(panel, nullptr);
  panel->Preview()->setChecked(true);
  const CBxRect first = panel->Model()->IntegerRect();
  QTest::keyClick(panel->Slider(0), Qt::Key_Up);
  QTest::keyClick(panel->Slider(3), Qt::Key_PageDown);
  Drag(panel, first, 50, -30);
  QTest::keyClick(panel->Slider(1), Qt::Key_Up);
  EXPECT_TRUE(panel->PreviewPending());
  ASSERT_TRUE(PreviewShown(panel));
  const CBxRect rect = panel->Model()->IntegerRect();
  EXPECT_NE(rect.left, first.left);

  ScopedPicBuf part, preview;
  CutRect(State().document.source, rect, part.get());
  ToneMapPreview(*part, panel->Values(), nullptr, preview.get());
  ExpectResultIs(*preview, rect);
  ExpectCacheIsWhole();

  // Preview off while one is computed: the source, and nothing pasted later.
  QTest::keyClick(panel->Slider(2), Qt::Key_Up);
  panel->Preview()->setChecked(false);
  QTest::qWait(300);
  EXPECT_TRUE(SameSamples(State().document.result, State().document.source));
}

TEST_F(PanelPreviewTest, ClosingThePanelOrTheWindowWhileAPreviewRunsIsSafe) {
  FusionPanel* panel = OpenSeries();
  ASSERT_NE(panel, nullptr);
  ASSERT_TRUE(panel->PreviewPending());
  QTest::keyClick(window_.get(), Qt::Key_Escape);  // Cancel: the series closes
  EXPECT_EQ(window_->ActivePanel(), nullptr);
  QTest::qWait(300);
  EXPECT_EQ(State().document.source.pixels, nullptr);

  ToneMappingPanel* tone = OpenTone();
  ASSERT_NE(tone, nullptr);
  tone->Preview()->setChecked(true);
  ASSERT_TRUE(tone->PreviewPending());
  tone->Cancel();
  QTest::qWait(300);
  EXPECT_TRUE(SameSamples(State().document.result, State().document.source));

  ASSERT_NE(OpenSeries(), nullptr);
  window_.reset();  // the panel and its preview worker go with the window
  SUCCEED();
}

}  // namespace
