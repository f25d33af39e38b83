#pragma once

#include <vector>

#include "app/panels/PreviewModel.h"
#include "settings/Parameters.h"

// The values of a panel's sliders, free of widgets: each slider's range and value, the step
// rule that turns a scroll into a new value and tells whether to compute again, and the
// defaults.
class SliderSet {
 public:
  // Adds a slider over `range` at `value` (kept as given: a stored value beyond the range
  // stays what the panel computes with until the slider moves); returns its index.
  int Add(const ParameterRange& range, int value);

  int Count() const { return static_cast<int>(sliders_.size()); }
  int Value(int index) const { return sliders_[static_cast<size_t>(index)].value; }
  const ParameterRange& Range(int index) const {
    return sliders_[static_cast<size_t>(index)].range;
  }

  // Slider `index` was scrolled and the toolkit moved it to `position`: its new value, and
  // whether the panel computes again (StepSlider).
  SliderStep Scroll(int index, SliderScroll scroll, int position);
  // The value set directly (limited to the range).
  void Set(int index, int value);
  // Every slider at its range's default.
  void SetDefaults();

 private:
  struct Slider {
    ParameterRange range;
    int value;
  };
  std::vector<Slider> sliders_;
};
