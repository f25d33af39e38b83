// The tone jobs both front ends run: the one mapping of the Tone Mapping sliders, the
// picture job around the engine, and Smart Contrast prepared once and applied again.
#include <gtest/gtest.h>

#include "jobs/ToneJobs.h"
#include "tests/fusion/TestPictures.h"
#include "tests/support/TestFiles.h"

namespace {

class RangeRecorder : public JobProgress {
 public:
  void SetRange(int low, int high) override {
    minimum = low;
    maximum = high;
  }
  int minimum = -1;
  int maximum = -1;
};

TEST(ToneJobs, SlidersMapToTheEngineInSinglePrecisionAndAreLimitedToTheirRange) {
  const ToneMapParams p = ToneMapParamsFromSliders(10, 20, 30, 40, false);
  EXPECT_EQ(p.levels, kToneMapLevels);
  EXPECT_EQ(p.threshold, static_cast<double>(11.0f / 50.0f));
  EXPECT_EQ(p.noise, static_cast<double>(21.0f / 50.0f));
  EXPECT_EQ(p.power, static_cast<double>(20.0f / 80.0f));
  EXPECT_EQ(p.slope, static_cast<double>(10.0f / 50.0f));
  EXPECT_FALSE(p.useExtraColors);

  const ToneMapParams low = ToneMapParamsFromSliders(-5, 0, 0, 0, true);
  const ToneMapParams high = ToneMapParamsFromSliders(99, 51, 80, 1000, true);
  const ToneMapParams first = ToneMapParamsFromSliders(1, 1, 1, 1, true);
  const ToneMapParams last = ToneMapParamsFromSliders(50, 50, 50, 50, true);
  EXPECT_EQ(std::tie(low.threshold, low.noise, low.power, low.slope),
            std::tie(first.threshold, first.noise, first.power, first.slope));
  EXPECT_EQ(std::tie(high.threshold, high.noise, high.power, high.slope),
            std::tie(last.threshold, last.noise, last.power, last.slope));

  const ToneMapParams fromStruct = ToneMapParamsFromSliders(ToneSliders{10, 20, 30, 40, false});
  EXPECT_EQ(std::tie(fromStruct.threshold, fromStruct.noise, fromStruct.power, fromStruct.slope,
                     fromStruct.useExtraColors),
            std::tie(p.threshold, p.noise, p.power, p.slope, p.useExtraColors));
  // The panel's start-up values are the parameters' defaults.
  const ToneSliders defaults;
  EXPECT_EQ(defaults.contrast, parameter::kTonePower.defaultValue);
  EXPECT_TRUE(defaults.extraColors);
}

TEST(ToneJobs, ToneMapPictureGivesTheEnginesPictureAndKeepsTheSourceWhenStopped) {
  ScopedPicBuf source(90, 70, 3, 16);
  FillScene(source.get(), 1.0);
  const ToneSliders sliders{12, 5, 30, 9, true};
  ScopedPicBuf want(90, 70, 3, 16), got;
  ASSERT_FALSE(
      LocalLaplacianToneMap(want.get(), source.get(), ToneMapParamsFromSliders(sliders), nullptr));
  RangeRecorder progress;
  ASSERT_FALSE(ToneMapPicture(*source, sliders, &progress, got.get()));  // allocates the result
  EXPECT_TRUE(SameSamples(*got, *want));
  EXPECT_EQ(progress.minimum, 0);
  EXPECT_EQ(progress.maximum, ToneMapProgressSteps(*source, ToneMapParamsFromSliders(sliders)));

  // A result of another size is refused and left alone.
  ScopedPicBuf other(40, 40, 3, 16);
  FillPattern(other.get(), 2);
  ScopedPicBuf otherBefore(40, 40, 3, 16);
  FillPattern(otherBefore.get(), 2);
  EXPECT_TRUE(ToneMapPicture(*source, sliders, nullptr, other.get()));
  EXPECT_TRUE(SameSamples(*other, *otherBefore));

  // Stopped before it starts: the result is the (grey) source.
  ScopedPicBuf grey(64, 48, 1, 8), stopped;
  FillScene(grey.get(), 0.8);
  std::atomic<uint8_t> cancel{1};
  JobProgress cancelled;
  cancelled.WatchCancelFlag(&cancel);
  EXPECT_TRUE(ToneMapPicture(*grey, sliders, &cancelled, stopped.get()));
  EXPECT_TRUE(SameSamples(*stopped, *grey));
}

TEST(ToneJobs, SmartContrastIsPreparedOnceAndAppliedWithAnyGains) {
  ScopedPicBuf source(120, 80, 3, 8);
  FillScene(source.get(), 1.1);
  SmartContrastJob job;
  ASSERT_FALSE(job.Prepare(*source));
  EXPECT_GT(job.Levels(), 0);
  const int keep[kSmartContrastSliders] = {10, 10, 10, 10, 10, 10, 10, 10};
  const int boost[kSmartContrastSliders] = {30, 0, 20, 10, 10, 5, 10, 10};
  ScopedPicBuf kept, boosted, again;
  ASSERT_FALSE(job.Apply(keep, kept.get()));
  ASSERT_FALSE(job.Apply(boost, boosted.get()));
  ASSERT_FALSE(job.Apply(keep, again.get()));
  EXPECT_LE(MaxDifference(*kept, *source), 1.0);  // unit gains give the picture back
  EXPECT_GT(MaxDifference(*boosted, *source), 10.0);
  EXPECT_TRUE(SameSamples(*again, *kept));  // the decomposition is not changed by a collapse

  // Too small to have a level: it comes back unchanged. Not 8 or 16 bits: refused.
  ScopedPicBuf tiny(9, 12, 3, 8), tinyResult;
  FillPattern(tiny.get(), 4);
  SmartContrastJob tinyJob;
  ASSERT_FALSE(tinyJob.Prepare(*tiny));
  EXPECT_EQ(tinyJob.Levels(), 0);
  ASSERT_FALSE(tinyJob.Apply(boost, tinyResult.get()));
  EXPECT_TRUE(SameSamples(*tinyResult, *tiny));
  ScopedPicBuf floats(32, 32, 1, 32);
  EXPECT_TRUE(SmartContrastJob().Prepare(*floats));
}

}  // namespace
