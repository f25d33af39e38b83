#include "app/panels/SliderSet.h"

int SliderSet::Add(const ParameterRange& range, int value) {
  sliders_.push_back({range, value});
  return Count() - 1;
}

SliderStep SliderSet::Scroll(int index, SliderScroll scroll, int position) {
  Slider& slider = sliders_[static_cast<size_t>(index)];
  const SliderStep step = StepSlider(slider.range, scroll, position, slider.value);
  slider.value = step.value;
  return step;
}

void SliderSet::Set(int index, int value) {
  Slider& slider = sliders_[static_cast<size_t>(index)];
  slider.value = slider.range.Clamp(value);
}

void SliderSet::SetDefaults() {
  for (Slider& slider : sliders_)
    slider.value = slider.range.defaultValue;
}
