// What every panel gets from its base: the slider values and steps, the keys it declares,
// OK and Cancel, and a redraw of only the part of the view's cache a preview changed.
#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QTest>

#include "app/RenderView.h"
#include "app/ViewCacheRegion.h"
#include "app/panels/PanelBase.h"
#include "app/panels/SliderSet.h"
#include "tests/app/AppTestSupport.h"
#include "tests/support/TestFiles.h"

namespace {

TEST(SliderSet, ScrollsStepByThePanelsRuleAndDefaultsResetEverySlider) {
  SliderSet sliders;
  EXPECT_EQ(sliders.Add(parameter::kLodGain, 40), 0);  // a stored value beyond the range
  EXPECT_EQ(sliders.Add(parameter::kTonePower, 10), 1);
  EXPECT_EQ(sliders.Value(0), 40);
  // The toolkit moved the thumb to the end; a line beyond it stays at the limit, but the
  // value changed from what the panel computed with, so it computes again.
  SliderStep step = sliders.Scroll(0, SliderScroll::kLineUp, 30);
  EXPECT_EQ(step.value, 30);
  EXPECT_TRUE(step.force);
  step = sliders.Scroll(0, SliderScroll::kLineUp, 30);
  EXPECT_FALSE(step.force);                              // nothing changed now
  step = sliders.Scroll(1, SliderScroll::kLineDown, 9);  // the toolkit's step and one more
  EXPECT_EQ(sliders.Value(1), 8);
  step = sliders.Scroll(1, SliderScroll::kThumbTrack, 20);
  EXPECT_EQ(sliders.Value(1), 20);
  EXPECT_FALSE(step.force);  // dragging the thumb only shows the value
  sliders.Set(1, 99);
  EXPECT_EQ(sliders.Value(1), 50);
  sliders.SetDefaults();
  EXPECT_EQ(sliders.Value(0), 10);
  EXPECT_EQ(sliders.Value(1), 10);
}

// Copies a picture (the view's caches are plain pictures).
void Keep(const SBxPicBuf& picture, ScopedPicBuf* copy) {
  CBxPicBufAPI::ReinitHeap(copy->get(), &picture);
  CBxPicBufAPI::Copy(copy->get(), &picture);
}

bool SamePixel(const SBxPicBuf& a, const SBxPicBuf& b, int x, int y) {
  for (uint32_t c = 0; c < 3; ++c)
    if (SampleAt(a, x, y, c) != SampleAt(b, x, y, c)) return false;
  return true;
}

// The result's cache refreshed in a part gives there the bytes a whole refresh gives and
// keeps the rest, for every depth and component count a result can have.
TEST(ViewCacheRegion, APartRefreshedGivesTheBytesOfAWholeRefreshThereAndKeepsTheRest) {
  for (const auto& [components, bits] : {std::pair{3u, 8u}, {1u, 16u}, {3u, 16u}, {1u, 8u}}) {
    ScopedPicBuf surface(40, 30, 3, 8), picture(37, 23, components, bits);
    ViewContext view;
    view.surface = surface.get();
    FillPattern(picture.get(), 1);
    ASSERT_FALSE(RenderView(&view, kRenderRefresh, picture.get(), kSlotResult, 0, nullptr));
    ScopedPicBuf before, partial;
    Keep(view.resultCache, &before);
    FillPattern(picture.get(), 2);  // a preview changed the picture...
    const CBxRect part{5, 4, 21, 19};
    ASSERT_TRUE(RefreshCacheRegion(&view, *picture, kSlotResult, part));  // ...only here
    Keep(view.resultCache, &partial);
    ASSERT_FALSE(RenderView(&view, kRenderRefresh, picture.get(), kSlotResult, 0, nullptr));
    int wrong = 0;
    for (int y = 0; y < picture->height; ++y)
      for (int x = 0; x < picture->width; ++x) {
        const bool inside = x >= part.left && x < part.right && y >= part.top && y < part.bottom;
        wrong += !SamePixel(*partial, inside ? view.resultCache : *before, x, y);
      }
    EXPECT_EQ(wrong, 0) << components << " x " << bits;
    // A cache of another size is left for a whole refresh.
    ScopedPicBuf other(36, 23, components, bits);
    EXPECT_FALSE(RefreshCacheRegion(&view, *other, kSlotResult, part));
    ReleaseViewCaches(&view);
  }
}

// A panel with two sliders and keys that browse a series, recording what reached it.
class KeyPanel : public PanelBase {
 public:
  KeyPanel(PanelHost& host, bool holdsKeyboard) : PanelBase(host, TextId::kFusionTitle) {
    AddSlider(QStringLiteral("a"), parameter::kExposure, 100);
    AddSlider(QStringLiteral("b"), parameter::kTonePower, 10);
    AddSetDefault();
    AddOkCancel();
    PanelKeys keys = Keys();  // OK and Cancel, as the base asked for them
    keys.holdsKeyboard = holdsKeyboard;
    keys.grabs = {{Qt::Key_Left, true, [this] { browsed.push_back(CommandId::kPrevious); }},
                  {Qt::Key_Right, true, [this] { browsed.push_back(CommandId::kNext); }}};
    AskForKeys(std::move(keys));
    Opened();
  }

  int accepted = 0, rejected = 0, resets = 0, recomputes = 0;
  std::vector<CommandId> browsed;

 protected:
  void SliderMoved(int, bool recompute) override { recomputes += recompute; }
  void SlidersReset() override { ++resets; }
  void Accept() override { ++accepted; }
  void Reject() override { ++rejected; }
};

class PanelBaseTest : public WindowTest {};

TEST_F(PanelBaseTest, DeclaredKeysAnswerOnPressOrReleaseAndADisabledOkIgnoresEnter) {
  auto* panel = new KeyPanel(*window_, false);
  window_->OpenPanel(panel);
  QTest::keyClick(panel, Qt::Key_Return);
  QTest::keyClick(panel, Qt::Key_Escape);
  EXPECT_EQ(std::make_pair(panel->accepted, panel->rejected), std::make_pair(1, 1));
  // Browsing answers the release, once per press: a held key's repeats do nothing.
  QTest::keyPress(panel, Qt::Key_Right);
  EXPECT_TRUE(panel->browsed.empty());
  QKeyEvent repeated(QEvent::KeyRelease, Qt::Key_Right, Qt::NoModifier, QString(), true);
  QApplication::sendEvent(panel, &repeated);
  EXPECT_TRUE(panel->browsed.empty());
  QTest::keyRelease(panel, Qt::Key_Right);
  EXPECT_EQ(panel->browsed, std::vector<CommandId>{CommandId::kNext});

  panel->OkButton()->setEnabled(false);
  QTest::keyClick(panel, Qt::Key_Enter);
  EXPECT_EQ(panel->accepted, 1);

  // The slider steps by the rule: a line moves two, and asks for a recompute.
  QTest::keyClick(panel->Slider(1), Qt::Key_Up);
  EXPECT_EQ(panel->Value(1), 12);
  EXPECT_EQ(panel->ValueLabel(1)->text(), QStringLiteral("12"));
  EXPECT_EQ(panel->recomputes, 1);
  panel->SetDefaultButton()->click();
  EXPECT_EQ(panel->Value(1), 10);
  EXPECT_EQ(panel->Slider(1)->value(), 10);
  EXPECT_EQ(panel->resets, 1);
  window_->ClosePanel(panel);
}

TEST_F(PanelBaseTest, APanelHoldingTheKeyboardGetsItsKeysEverywhereAndItsControlsKeepTheirs) {
  auto* panel = new KeyPanel(*window_, true);
  window_->OpenPanel(panel);
  auto* elsewhere = new QLineEdit(window_.get());
  elsewhere->show();
  elsewhere->setFocus();
  QTest::keyClick(elsewhere, Qt::Key_Left);
  QTest::keyClick(elsewhere, Qt::Key_A);  // swallowed: the rest of the window gets no key
  EXPECT_EQ(panel->browsed, std::vector<CommandId>{CommandId::kPrevious});
  EXPECT_TRUE(elsewhere->text().isEmpty());
  QTest::keyClick(elsewhere, Qt::Key_Return);
  EXPECT_EQ(panel->accepted, 1);
  QTest::keyClick(panel->Slider(0), Qt::Key_PageUp);  // the panel's slider keeps its keys
  EXPECT_EQ(panel->Value(0), 101);
  // Typed as a person does, the key reaches the window first and then the focused slider.
  window_->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(window_.get()));
  panel->Slider(0)->setFocus();
  QTest::keyClick(window_->windowHandle(), Qt::Key_PageUp);
  EXPECT_EQ(panel->Value(0), 102);
  QTest::keyClick(window_->windowHandle(), Qt::Key_Right);
  EXPECT_EQ(panel->browsed.back(), CommandId::kNext);
  EXPECT_EQ(panel->browsed.size(), 2u);  // answered once, not again by the slider
  window_->ClosePanel(panel);            // closed, it holds no key
  QTest::keyClick(elsewhere, Qt::Key_A);
  EXPECT_EQ(elsewhere->text(), QStringLiteral("a"));
}

}  // namespace
