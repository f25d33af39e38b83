#pragma once

#include <QString>
#include <functional>
#include <vector>

#include "app/ToolPanel.h"
#include "app/panels/SliderSet.h"
#include "jobs/PreviewWorker.h"
#include "picture/SBxPicBuf.h"
#include "settings/TextIds.h"

class PanelHost;
class PreviewQueue;
class QGridLayout;
class QLabel;
class QPushButton;
class QSlider;
class QVBoxLayout;

// The base of every tool panel docked at the right of the view: the title, rows of sliders
// with their names and values stepping by the panels' rule, Set Default, OK and Cancel,
// previews computed off the interface thread and pasted into the shown result, and the steps
// of opening and closing. A panel adds its own controls, says what OK and Cancel do and what
// a slider change recomputes.
//
// Opening: the constructor marks the tool panel open, shows the wait cursor and asks for
// Enter = OK and Escape = Cancel (a panel that wants more keys asks again with AskForKeys);
// the panel builds its controls (AddSlider, AddSetDefault, AddOkCancel) and calls Opened().
// Closing: Close() stops the previews, undocks the panel (the view forgets the rectangle, the
// commands come back), runs the panel's Closed() and redraws.
class PanelBase : public ToolPanel {
  Q_OBJECT

 public:
  ~PanelBase() override;

  // OK and Cancel as the buttons and keys give them: nothing while the button is disabled
  // or once the panel is closing.
  void Ok();
  void Cancel();
  // Every slider back to its default, then the panel computes again.
  void SetDefault();

  QSlider* Slider(int index) const { return Row(index).slider; }
  QLabel* ValueLabel(int index) const { return Row(index).value; }
  int Value(int index) const { return sliders_.Value(index); }
  QPushButton* OkButton() const { return ok_; }
  QPushButton* CancelButton() const { return cancel_; }
  QPushButton* SetDefaultButton() const { return setDefault_; }
  // Previews asked for since opening, and whether one is still being computed.
  int PreviewRuns() const { return previewRuns_; }
  bool PreviewPending() const;

 protected:
  PanelBase(PanelHost& host, TextId titleText);

  // Building, in the panel's constructor, top to bottom below the title.
  QVBoxLayout* Body() const { return body_; }
  // A slider row (name and value, the slider below) over `range` at `value`; the rows share
  // one grid, placed where the first row is added. Returns the slider's index.
  int AddSlider(const QString& name, const ParameterRange& range, int value);
  void AddSetDefault();
  // The OK (default) and Cancel buttons at the bottom right; the panel gets its size.
  void AddOkCancel();
  // Fits the panel's height to what it shows now.
  void FitHeight();
  // The end of opening: the commands off, the arrow cursor.
  void Opened();

  // Slider `index` now holds Value(index); `recompute` when the panel must compute again.
  virtual void SliderMoved(int /*index*/, bool /*recompute*/) {}
  // After Set Default.
  virtual void SlidersReset() {}
  // OK and Cancel themselves.
  virtual void Accept() = 0;
  virtual void Reject() = 0;
  // The panel's own closing steps, after it was undocked and before the redraw.
  virtual void Closed(bool /*accepted*/) {}

  // A value set by the panel (shown on its slider and label).
  void SetValue(int index, int value);
  // The value label shows `text` instead of the number.
  void SetValueText(int index, const QString& text);
  // The slider rows, Set Default, OK and Cancel on or off together.
  void SetControlsEnabled(bool enabled);
  void SetRowEnabled(int index, bool enabled);

  // Computes `work` off the interface thread; `show` then runs on it unless a newer preview
  // came first or the previews were stopped (see PreviewQueue).
  void StartPreview(PreviewWorker::Work work, std::function<void()> show);
  // Stops the previews; true when one asked for was not shown.
  bool StopPreviews();
  // Waits for the newest preview and shows it.
  void FinishPreviews();

  // The shown result is the source again, and the view shows it.
  void ShowSource();
  // The result becomes the source with `preview` pasted at (at.left, at.top), writing only
  // what changed since the last paste, and the view redraws that part.
  void ShowPreviewInResult(const SBxPicBuf& preview, const CBxRect& at);
  // The source changed under the result (a picture of the series was loaded): the next paste
  // writes the whole result and the view refreshes both pictures.
  void SourceChanged();
  // `picture` becomes the result (their storage is exchanged) and the view redraws it.
  void ReplaceResult(SBxPicBuf* picture);

  void Close(bool accepted);
  bool IsClosed() const { return closed_; }

  PanelHost& host_;

 private:
  struct SliderRow {
    QLabel* name = nullptr;
    QSlider* slider = nullptr;
    QLabel* value = nullptr;
  };
  const SliderRow& Row(int index) const { return rows_[static_cast<size_t>(index)]; }
  void OnSliderAction(int index, int action);
  // Redraws the part of the result that a preview wrote.
  void RedrawResult(const CBxRect& written);

  QVBoxLayout* body_ = nullptr;
  QGridLayout* grid_ = nullptr;
  std::vector<SliderRow> rows_;
  SliderSet sliders_;
  QPushButton* setDefault_ = nullptr;
  QPushButton* ok_ = nullptr;
  QPushButton* cancel_ = nullptr;
  PreviewQueue* previews_;
  int previewRuns_ = 0;
  CBxRect pasted_{};  // where the shown result may differ from the source
  bool sourceChanged_ = false;
  bool closed_ = false;
};
