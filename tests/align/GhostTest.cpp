// Ghost weights: what moved between the frames is kept out, the rest is left
// alone, on synthetic exposures of known brightness.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

#include "AlignScenes.h"
#include "align/Ghost.h"
#include "align/GhostBlocks.h"
#include "align/GhostRepair.h"

namespace {

constexpr int kW = 200;
constexpr int kH = 150;

// A scene with a textured square pasted in: a person or a car that stands
// somewhere else in another frame.
template <typename Base = Scene>
struct Pasted {
  const Base& scene;
  double left, top, side;
  double low = 0.15, high = 0.85;

  void At(double x, double y, uint32_t count, double* values) const {
    scene.At(x, y, count, values);
    if (x < left || x >= left + side || y < top || y >= top + side) return;
    const bool light = (static_cast<int>((x - left) / 4) + static_cast<int>((y - top) / 4)) % 2;
    for (uint32_t c = 0; c < count; ++c)
      values[c] = (light ? high : low) * (c == 1 ? 0.8 : 1.0);
  }
};

// Above the horizon a sky brighter than the scene's whites, which only the
// darker exposures hold.
struct BrightSky {
  const Scene& scene;
  double horizon;

  void At(double x, double y, uint32_t count, double* values) const {
    scene.At(x, y, count, values);
    if (y >= horizon) return;
    for (uint32_t c = 0; c < count; ++c)
      values[c] = 1.3 + 0.1 * (horizon - y) / horizon - 0.05 * c;
  }
};

struct Format {
  uint32_t components, bits;
};
constexpr Format kFormats[] = {{1, 8}, {3, 8}, {1, 16}, {3, 16}};

template <typename AnyScene>
void Render(const AnyScene& scene, double stops, Format f, ScopedPicBuf* picture,
            uint32_t noiseSeed = 0) {
  CBxPicBufAPI::ReinitHeap(picture->get(), kW, kH, f.components, f.bits);
  RenderScene(scene, Homography{}, stops, picture->get());
  if (noiseSeed) AddNoise(0.006, noiseSeed, picture->get());
}

// Lowest and highest weight over a rectangle.
std::pair<float, float> Range(const GhostWeights& w, int left, int top, int right, int bottom) {
  float low = 1.0f, high = 0.0f;
  std::vector<float> row(static_cast<size_t>(right - left));
  for (int y = top; y < bottom; ++y) {
    w.Row(y, left, right - left, row.data());
    for (float v : row) {
      low = std::min(low, v);
      high = std::max(high, v);
    }
  }
  return {low, high};
}

// Weights of every picture of a series, reference `reference`.
std::vector<GhostWeights> Detect(const std::vector<const SBxPicBuf*>& series, int reference,
                                 int strength = 5) {
  GhostDetector detector;
  EXPECT_FALSE(
      detector.Start(*series[reference], static_cast<int>(series.size()), reference, strength));
  std::vector<GhostWeights> weights(series.size());
  for (size_t i = 0; i < series.size(); ++i)
    EXPECT_FALSE(detector.Add(static_cast<int>(i), *series[i], &weights[i]));
  return weights;
}

TEST(Ghost, PastedObjectRejectedWhereItMovedAndKeptInTheReference) {
  const Scene scene(7);
  const Pasted<> there{scene, 40, 40, 32}, moved{scene, 120, 80, 32};
  for (const Format f : kFormats) {
    SCOPED_TRACE(testing::Message() << f.components << " x " << f.bits);
    ScopedPicBuf dark, middle, bright;
    Render(moved, -2.0, f, &dark, 1);
    Render(there, 0.0, f, &middle, 2);
    Render(there, 2.0, f, &bright, 3);
    const auto w = Detect({dark.get(), middle.get(), bright.get()}, 1);
    EXPECT_TRUE(w[1].AllOne());
    // The frame in which the object stays where the reference has it is kept.
    EXPECT_GE(Range(w[2], 0, 0, kW, kH).first, 0.99f);
    // The frame in which it moved: out both where it was and where it went
    // (the square's inside; its edge blocks are shared with the background),
    // untouched far from both.
    EXPECT_LE(Range(w[0], 44, 44, 68, 68).second, 0.02f);
    EXPECT_LE(Range(w[0], 124, 84, 148, 108).second, 0.02f);
    EXPECT_GE(Range(w[0], 0, 130, 60, kH).first, 0.99f);
    EXPECT_GE(Range(w[0], 120, 0, kW, 36).first, 0.99f);
    EXPECT_GT(w[0].rejected, 0.02f);
    EXPECT_LT(w[0].rejected, 0.25f);
  }
}

TEST(Ghost, StillSeriesLeftAsItIs) {
  Scene scene(11);
  scene.skyAbove = 30;  // a sky clipped in the brightest frame
  for (const Format f : kFormats) {
    SCOPED_TRACE(testing::Message() << f.components << " x " << f.bits);
    ScopedPicBuf a, b, c, d;
    Render(scene, -2.0, f, &a, 4);
    Render(scene, 0.0, f, &b, 5);
    Render(scene, 1.0, f, &c, 6);
    Render(scene, 2.5, f, &d, 7);
    for (int strength : {5, kGhostStrengthMax}) {
      const auto w = Detect({a.get(), b.get(), c.get(), d.get()}, 1, strength);
      for (size_t i = 0; i < w.size(); ++i)
        EXPECT_TRUE(w[i].AllOne())
            << "picture " << i << " strength " << strength << ", " << w[i].rejected << " rejected";
    }
  }
}

TEST(Ghost, BrightnessMapFoundAcrossTwoAndFourStops) {
  Scene scene(3);
  scene.falloffStops = 5.0 / kW;  // a scene wider than any one exposure holds
  for (const Format f : {Format{3, 8}, Format{1, 16}}) {
    ScopedPicBuf reference;
    Render(scene, 0.0, f, &reference, 8);
    for (double stops : {-4.0, -2.0, 2.0, 4.0}) {
      SCOPED_TRACE(testing::Message() << stops << " EV, " << f.components << " x " << f.bits);
      ScopedPicBuf picture;
      Render(scene, stops, f, &picture, 9);
      GhostDetector detector;
      ASSERT_FALSE(detector.Start(*reference, 2, 0, 5));
      GhostWeights w;
      ASSERT_FALSE(detector.Add(0, *reference, &w));
      ASSERT_FALSE(detector.Add(1, *picture, &w));
      // The exposures differ by a gain of 2^(-stops / 2.2) on the values.
      const double gain = std::exp2(-stops / 2.2);
      int checked = 0;
      for (double v = 0.1; v <= 0.9; v += 0.05) {
        const double expected = v * gain;
        const float mapped = detector.LastCurve(0).Map(static_cast<float>(v));
        if (expected >= 0.1 && expected <= 0.9) {
          EXPECT_NEAR(mapped, expected, 0.015) << "at " << v;
          ++checked;
        } else if (expected > 1.0) {
          // What the reference would show beyond its clipping.
          EXPECT_NEAR(mapped / expected, 1.0, 0.1) << "at " << v;
        }
      }
      EXPECT_GE(checked, 3);
      EXPECT_TRUE(w.AllOne());
    }
  }
}

// Two dark frames (-1.5 and -2 EV) and the reference (0 EV, last), which
// blows out the sky the other two expose: the weights of the three.
template <typename First, typename Second, typename Reference>
std::vector<GhostWeights> UnderABlownOutSky(const First& first, const Second& second,
                                            const Reference& reference, Format f) {
  ScopedPicBuf a, b, r;
  Render(first, -1.5, f, &a, 10);
  Render(second, -2.0, f, &b, 11);
  Render(reference, 0.0, f, &r, 12);
  return Detect({a.get(), b.get(), r.get()}, 2);
}

TEST(Ghost, ClippedReferenceTakenOverByAConsistentFrame) {
  // A bright bird crosses a sky that the reference (the brightest frame) has
  // blown out: the first well-exposed frame shows it, the other is kept out
  // where the two disagree, and every part of the sky keeps a frame.
  const Scene scene(5);
  const BrightSky sky{scene, 70};
  const Pasted<BrightSky> first{sky, 30, 16, 28, 0.8, 1.5}, second{sky, 120, 24, 28, 0.8, 1.5};
  for (const Format f : {Format{3, 8}, Format{1, 16}}) {
    SCOPED_TRACE(testing::Message() << f.components << " x " << f.bits);
    const auto w = UnderABlownOutSky(first, second, first, f);
    EXPECT_GE(Range(w[0], 0, 0, kW, kH).first, 0.99f);
    EXPECT_LE(Range(w[1], 34, 20, 54, 40).second, 0.02f);
    EXPECT_LE(Range(w[1], 124, 28, 144, 48).second, 0.02f);
    EXPECT_GE(Range(w[1], 0, 110, kW, kH).first, 0.99f);
  }
}

// Stripes of 4 pixels along rows or across them: the same mean and spread,
// another texture (leaves or ripples that changed between the frames).
struct Striped {
  const Scene& scene;
  double left, top, side;
  bool across;

  void At(double x, double y, uint32_t count, double* values) const {
    scene.At(x, y, count, values);
    if (x < left || x >= left + side || y < top || y >= top + side) return;
    const bool light = static_cast<int>(((across ? x - left : y - top)) / 4) % 2;
    for (uint32_t c = 0; c < count; ++c)
      values[c] = light ? 0.6 : 0.25;
  }
};

TEST(Ghost, TextureChangedWhereTheBrightFrameClipsPartOfIt) {
  // The bright frame clips the light stripes: every block of the region holds
  // clipped pixels, yet its dark stripes show the texture turned, and that
  // frame is kept out there; with the texture unchanged it is kept.
  Scene scene(13);
  // Calm ground, so that the noise measured is the pictures' own.
  for (Scene::Wave& wave : scene.waves)
    wave.amplitude *= 0.2;
  const Striped along{scene, 48, 48, 48, false}, across{scene, 48, 48, 48, true};
  for (const Format f : {Format{3, 8}, Format{1, 16}}) {
    SCOPED_TRACE(testing::Message() << f.components << " x " << f.bits);
    ScopedPicBuf reference, changed, same;
    Render(along, 0.0, f, &reference, 14);
    Render(across, 2.0, f, &changed, 15);
    Render(along, 2.0, f, &same, 16);
    const auto w = Detect({reference.get(), changed.get()}, 0);
    EXPECT_LE(Range(w[1], 56, 56, 88, 88).second, 0.02f);
    EXPECT_GE(Range(w[1], 150, 0, kW, kH).first, 0.99f);
    const auto kept = Detect({reference.get(), same.get()}, 0);
    EXPECT_TRUE(kept[1].AllOne()) << kept[1].rejected << " rejected";
  }
}

// Glints in the sky (sun on a wet roof, a window): a few pixels of every
// block that the brighter of two dark frames clips and the darker holds.
struct Glinting {
  const BrightSky& sky;

  void At(double x, double y, uint32_t count, double* values) const {
    sky.At(x, y, count, values);
    if (y >= sky.horizon || static_cast<int>(x) % 8 >= 2 || static_cast<int>(y) % 8 >= 2) return;
    for (uint32_t c = 0; c < count; ++c)
      values[c] = 1.7;
  }
};

TEST(Ghost, ClippedReferenceTakenOverByAFrameThatClipsAFewPixels) {
  // The first frame exposing the blown-out sky clips its glints: it still
  // stands in there, and the next frame, in which a bird (darker than the
  // sky, yet beyond what the reference holds) is elsewhere, is kept out
  // where the bird is, not blended in as a ghost.
  const Scene scene(5);
  const BrightSky sky{scene, 70};
  const Glinting glints{sky};
  const Pasted<Glinting> first{glints, 32, 16, 24, 0.9, 1.2}, second{glints, 120, 24, 24, 0.9, 1.2};
  for (const Format f : {Format{3, 8}, Format{1, 16}}) {
    SCOPED_TRACE(testing::Message() << f.components << " x " << f.bits);
    const auto w = UnderABlownOutSky(first, second, first, f);
    EXPECT_GE(Range(w[0], 0, 0, kW, kH).first, 0.99f);
    EXPECT_LE(Range(w[1], 124, 28, 140, 44).second, 0.02f);
    EXPECT_GE(Range(w[1], 0, 110, kW, kH).first, 0.99f);
  }
}

// A pole, brighter than what the reference holds, from the ground up into
// the sky.
struct Pole {
  const BrightSky& sky;
  double left;

  void At(double x, double y, uint32_t count, double* values) const {
    sky.At(x, y, count, values);
    if (x < left || x >= left + 12) return;
    for (uint32_t c = 0; c < count; ++c)
      values[c] = 1.1;
  }
};

TEST(Ghost, FrameKeptOutBesideABlownOutSkyDoesNotStandInThere) {
  // The first frame shows the pole elsewhere: kept out where the reference
  // shows the ground, and over the edge of that region into the sky. There
  // it must not stand in, or the next frame, which shows the sky, would be
  // kept out too, and the sky would be left with the blown-out reference.
  const Scene scene(5);
  const BrightSky sky{scene, 70};
  const Pole there{sky, 40}, elsewhere{sky, 120};
  for (const Format f : {Format{3, 8}, Format{1, 16}}) {
    SCOPED_TRACE(testing::Message() << f.components << " x " << f.bits);
    const auto w = UnderABlownOutSky(elsewhere, there, there, f);
    // The first frame out below the horizon and just above it, the next in
    // there (its own region's feathered edge lies a few blocks higher).
    EXPECT_LE(Range(w[0], 120, 60, 132, 120).second, 0.1f);
    EXPECT_GE(Range(w[1], 116, 60, 136, 68).first, 0.9f);
  }
}

TEST(Ghost, RepairGivesTheReferenceAtThePicturesBrightness) {
  // Kept out, a frame would take its exposure out of the blend under the
  // moving thing; repaired, it shows there what the reference shows, at its
  // own brightness, and keeps its weight. Where the reference is blown out
  // nothing can be given back: the weights stay.
  Scene scene(7);
  for (auto& wave : scene.waves)  // the scene's clipped and black pixels are few
    wave.amplitude *= 0.6;
  const Pasted<> there{scene, 40, 40, 32}, moved{scene, 120, 80, 32};
  for (const Format f : kFormats) {
    SCOPED_TRACE(testing::Message() << f.components << " x " << f.bits);
    ScopedPicBuf reference, picture, truth, original;
    Render(there, 0.0, f, &reference);
    Render(moved, -1.0, f, &picture);
    Render(there, -1.0, f, &truth);  // the frame had nothing moved
    Render(moved, -1.0, f, &original);
    GhostDetector detector;
    ASSERT_FALSE(detector.Start(*reference, 2, 0, 5));
    GhostWeights w;
    ASSERT_FALSE(detector.Add(0, *reference, &w));
    ASSERT_FALSE(detector.Add(1, *picture, &w));
    ASSERT_FALSE(w.AllOne());
    ASSERT_FALSE(detector.Repair(*reference, picture.get(), &w));
    const double level = f.bits == 8 ? 1.0 : 257.0;
    double far = 0.0, under = 0.0;
    int counted = 0, raised = 0;
    std::vector<float> weights(kW);
    for (int y = 0; y < kH; ++y) {
      w.Row(y, 0, kW, weights.data());
      for (int x = 0; x < kW; ++x) {
        const bool nearObject =
            (x >= 32 && x < 80 && y >= 32 && y < 80) || (x >= 112 && x < 160 && y >= 72 && y < 120);
        raised += nearObject && weights[x] >= 0.99f;
        for (uint32_t c = 0; c < f.components; ++c) {
          const double repaired = Sample(*picture, x, y, c);
          if (nearObject && weights[x] >= 0.99f) {
            under += std::abs(repaired - Sample(*truth, x, y, c)) / level;
            ++counted;
          } else if (x >= 120 && y < 32) {
            far = std::max(far, std::abs(repaired - Sample(*original, x, y, c)));
          }
        }
      }
    }
    // Most of both places keep their weight (not where the reference has
    // clipped or black pixels), and show there what the frame would have.
    EXPECT_GE(raised, 2 * 48 * 48 * 6 / 10);
    EXPECT_LE(under / counted, 1.0);  // levels of 255
    EXPECT_EQ(far, 0.0);
  }
  // A reference blown out where the thing moved: the weights stay.
  const Scene base(5);
  const BrightSky sky{base, 70};
  const Pasted<BrightSky> first{sky, 30, 16, 28, 0.8, 1.5}, second{sky, 120, 24, 28, 0.8, 1.5};
  ScopedPicBuf a, b, reference;
  Render(first, -1.5, {3, 8}, &a, 10);
  Render(second, -2.0, {3, 8}, &b, 11);
  Render(first, 0.0, {3, 8}, &reference, 12);
  GhostDetector detector;
  ASSERT_FALSE(detector.Start(*reference, 3, 2, 5));
  GhostWeights w;
  ASSERT_FALSE(detector.Add(0, *a, &w));
  ASSERT_FALSE(detector.Add(1, *b, &w));
  ASSERT_FALSE(detector.Repair(*reference, b.get(), &w));
  EXPECT_LE(Range(w, 124, 28, 144, 48).second, 0.02f);
  EXPECT_TRUE(detector.Repair(*reference, a.get(), &w) == false);
  ScopedPicBuf grey;
  Render(first, 0.0, {1, 8}, &grey);
  EXPECT_TRUE(detector.Repair(*grey, b.get(), &w));
}

void SetSample(SBxPicBuf* picture, int x, int y, uint32_t c, double value) {
  const size_t i = static_cast<size_t>(x) * picture->components + c;
  if (picture->bitsPerComponent == 8) {
    RowPtr(*picture, y)[i] = static_cast<uint8_t>(std::lround(value));
  } else {
    reinterpret_cast<uint16_t*>(RowPtr(*picture, y))[i] = static_cast<uint16_t>(std::lround(value));
  }
}

TEST(Ghost, RepairKeepsWhatTheReferenceTellsOfAPartlyBlackPixel) {
  // A deep blue in the reference: its blue is black, its red and green well
  // exposed. Where the picture is kept out, red and green come from the
  // reference and blue is held to what a black sample allows, not left as
  // the moving thing showed it.
  for (const uint32_t bits : {8u, 16u}) {
    SCOPED_TRACE(bits);
    const double full = bits == 8 ? 255.0 : 65535.0;
    ScopedPicBuf reference(16, 16, 3, bits), picture(16, 16, 3, bits);
    for (int y = 0; y < 16; ++y)
      for (int x = 0; x < 16; ++x)
        for (uint32_t c = 0; c < 3; ++c) {
          SetSample(reference.get(), x, y, c, c == 0 ? 0.01 * full : 0.5 * full);
          SetSample(picture.get(), x, y, c, 0.8 * full);
        }
    std::array<GhostCurve, kGhostMaxComponents> identity;
    for (GhostCurve& curve : identity)
      for (int i = 0; i < kGhostCurvePoints; ++i)
        curve.points[i] = static_cast<float>(i) / (kGhostCurvePoints - 1);
    GhostWeights w;
    w.width = w.height = 16;
    w.block = 8;
    w.columns = w.rows = 2;
    w.values.assign(4, 0.0f);
    RepairFromReference(*reference, identity, std::vector<uint8_t>(4, 0), picture.get(), &w);
    EXPECT_TRUE(w.AllOne());
    for (int y = 0; y < 16; ++y)
      for (int x = 0; x < 16; ++x) {
        EXPECT_LE(Sample(*picture, x, y, 0), std::floor(kBlackLevel * full)) << x << ", " << y;
        EXPECT_NEAR(Sample(*picture, x, y, 1), 0.5 * full, 0.01 * full) << x << ", " << y;
        EXPECT_NEAR(Sample(*picture, x, y, 2), 0.5 * full, 0.01 * full) << x << ", " << y;
      }
  }
}

TEST(Ghost, RejectedRegionFeatheredWithoutSeam) {
  // Two frames of a calm scene that differ by a few levels everywhere (what
  // noise and tone curves leave) and by an object in one: blended with the
  // weights, the step between "both frames" and "the reference alone" is
  // spread out, never a visible edge.
  Scene scene(9);
  for (auto& wave : scene.waves)
    wave.amplitude *= 0.1;
  for (auto& edge : scene.edges)
    edge.amplitude = 0;
  const Pasted<> object{scene, 90, 60, 30};
  ScopedPicBuf reference, picture;
  Render(scene, 0.0, {1, 8}, &reference);
  Render(object, 0.08, {1, 8}, &picture);
  const auto w = Detect({reference.get(), picture.get()}, 0);
  ASSERT_FALSE(w[1].AllOne());
  std::vector<float> weights(kW);
  double steepestBlend = 0.0, steepestInput = 0.0, widestDifference = 0.0;
  for (int y = 70; y < 80; ++y) {  // rows through the object, left of it
    w[1].Row(y, 0, kW, weights.data());
    double previous = 0.0;
    for (int x = 0; x < 86; ++x) {
      const double r = Sample(*reference, x, y, 0), p = Sample(*picture, x, y, 0);
      const double blend = (r + weights[x] * p) / (1.0 + weights[x]);
      if (x > 0) steepestBlend = std::max(steepestBlend, std::abs(blend - previous));
      if (x > 0)
        steepestInput = std::max({steepestInput, std::abs(r - Sample(*reference, x - 1, y, 0)),
                                  std::abs(p - Sample(*picture, x - 1, y, 0))});
      widestDifference = std::max(widestDifference, std::abs(p - r));
      previous = blend;
    }
    EXPECT_GE(weights[0], 0.99f);
    EXPECT_LE(weights[85], 0.3f);  // the edge is crossed on these rows
  }
  ASSERT_GE(widestDifference, 2.0);  // else there would be nothing to see
  EXPECT_LE(steepestBlend, steepestInput + 0.5);
}

TEST(Ghost, StrengthAndContract) {
  const Scene scene(13);
  const Pasted<> there{scene, 40, 40, 32}, moved{scene, 52, 52, 32};
  ScopedPicBuf reference, picture, small;
  Render(there, 0.0, {3, 8}, &reference, 1);
  Render(moved, -1.0, {3, 8}, &picture, 2);
  // Stronger rejects at least as much; 0 nothing.
  float previous = -1.0f;
  for (int strength : {0, 2, 5, 8, 10}) {
    const auto w = Detect({reference.get(), picture.get()}, 0, strength);
    if (strength == 0) {
      EXPECT_TRUE(w[1].AllOne());
    }
    EXPECT_GE(w[1].rejected, previous);
    previous = w[1].rejected;
  }
  EXPECT_GT(previous, 0.0f);
  // Out of order, another size, no series: weights all 1 and a failure.
  GhostDetector detector;
  GhostWeights w;
  EXPECT_TRUE(detector.Add(0, *picture, &w));
  EXPECT_TRUE(w.AllOne());
  ASSERT_FALSE(detector.Start(*reference, 3, 0, 5));
  EXPECT_TRUE(detector.Add(1, *picture, &w));
  EXPECT_FALSE(detector.Add(0, *reference, &w));
  CBxPicBufAPI::ReinitHeap(small.get(), kW - 1, kH, 3, 8);
  EXPECT_TRUE(detector.Add(1, *small, &w));
  ScopedPicBuf grey;
  Render(moved, -1.0, {1, 8}, &grey);
  EXPECT_TRUE(detector.Add(2, *grey, &w));  // colour reference, grey picture
  EXPECT_TRUE(w.AllOne());
  EXPECT_TRUE(w.AllOne());
  EXPECT_EQ(w.width, kW);
  EXPECT_TRUE(detector.Start(*small, 2, 2, 5));
  EXPECT_TRUE(detector.Add(0, *small, &w));
  // Expanded to a plane: 0 where it moved to, 255 far from it.
  const auto moving = Detect({reference.get(), picture.get()}, 0);
  ScopedPicBuf plane;
  ASSERT_FALSE(ExpandGhostWeights(moving[1], plane.get()));
  EXPECT_EQ(RowPtr(*plane, 76)[76], 0);
  EXPECT_EQ(RowPtr(*plane, kH - 1)[kW - 1], 255);
  EXPECT_TRUE(ExpandGhostWeights(moving[1], small.get()));
}

TEST(Ghost, RowsLeftAtOneAndExpandedPlanesMatchTheWeights) {
  // Callers skip the rows OneRows marks: it must mark exactly the rows whose
  // weights are all 1, wherever the lowered blocks lie (first, inner, last
  // row of blocks; a picture side not a multiple of the block), and the
  // planes must hold Row's values in every row, skipped or not.
  struct Case {
    int width, height, block, loweredRow;
  };
  for (const Case k :
       {Case{40, 33, 8, 0}, Case{40, 33, 8, 2}, Case{37, 45, 12, 3}, Case{64, 64, 16, 3}}) {
    SCOPED_TRACE(testing::Message() << k.width << " x " << k.height << " row " << k.loweredRow);
    GhostWeights w;
    w.width = k.width;
    w.height = k.height;
    w.block = k.block;
    w.columns = (k.width + k.block - 1) / k.block;
    w.rows = (k.height + k.block - 1) / k.block;
    w.values.assign(static_cast<size_t>(w.columns) * w.rows, 1.0f);
    w.values[static_cast<size_t>(k.loweredRow) * w.columns + 1] = 0.25f;
    const std::vector<uint8_t> ones = w.OneRows();
    ASSERT_EQ(ones.size(), static_cast<size_t>(k.height));
    ScopedPicBuf bytes, floats(k.width, k.height, 1, 32);
    ASSERT_FALSE(ExpandGhostWeights(w, bytes.get()));
    ASSERT_FALSE(ExpandGhostWeights(w, floats.get()));
    std::vector<float> row(static_cast<size_t>(k.width));
    int skipped = 0;
    for (int y = 0; y < k.height; ++y) {
      w.Row(y, 0, k.width, row.data());
      const bool allOne = std::all_of(row.begin(), row.end(), [](float v) { return v == 1.0f; });
      EXPECT_EQ(ones[y] != 0, allOne) << "row " << y;
      skipped += ones[y];
      const float* expandedFloats = reinterpret_cast<const float*>(RowPtr(*floats, y));
      for (int x = 0; x < k.width; ++x) {
        ASSERT_EQ(expandedFloats[x], row[x]) << x << ", " << y;
        ASSERT_EQ(RowPtr(*bytes, y)[x], static_cast<uint8_t>(row[x] * 255.0f + 0.5f))
            << x << ", " << y;
      }
    }
    EXPECT_GT(skipped, 0);
    EXPECT_LT(skipped, k.height);
    // A region of the plane, as a preview takes it, holds the whole plane's values there.
    const CBxRect region{3, 5, k.width - 2, k.height - 1};
    ScopedPicBuf part;
    ASSERT_FALSE(ExpandGhostWeights(w, region, part.get()));
    ASSERT_EQ(part->width, region.Width());
    for (int y = 0; y < region.Height(); ++y)
      ASSERT_TRUE(std::equal(RowPtr(*part, y), RowPtr(*part, y) + region.Width(),
                             RowPtr(*bytes, region.top + y) + region.left))
          << "row " << y;
    EXPECT_TRUE(ExpandGhostWeights(w, {0, 0, k.width + 1, k.height}, part.get()));
  }
  GhostWeights none;
  none.width = 5;
  none.height = 3;
  EXPECT_EQ(none.OneRows(), std::vector<uint8_t>(3, 1));
}

TEST(Ghost, CellsSummedFromThePixelsWhereverTheyLie) {
  // A block's cells are summed from the pixels when compared: every cell must
  // be the mean of its own pixels, cut cells at the right and bottom edges
  // included, 8 and 16 bits, grey and colour (the fourth component ignored);
  // the luminance plane puts each cell where it lies; the cells holding a
  // sample near either end are marked.
  const Scene scene(21);
  for (const Format f : {Format{1, 8}, Format{3, 16}, Format{4, 8}}) {
    SCOPED_TRACE(testing::Message() << f.components << " x " << f.bits);
    ScopedPicBuf picture(37, 29, f.components, f.bits);
    RenderScene(scene, Homography{}, 0.0, picture.get());
    AddNoise(0.05, 3, picture.get());
    GhostBlocks blocks;
    ReduceToBlocks(*picture, 8, &blocks);
    ASSERT_EQ(blocks.cellColumns, 19);
    ASSERT_EQ(blocks.cellRows, 15);
    const int k = blocks.components;
    const double full = f.bits == 8 ? 255.0 : 65535.0;
    std::vector<uint16_t> boundedCells;
    const std::vector<float> luma = CellLuma(*picture, blocks, nullptr, &boundedCells);
    int anyBounded = 0;
    for (int b = 0; b < blocks.Count(); ++b) {
      uint16_t cells[4 * 4 * kGhostMaxComponents];
      const uint16_t bounded = BlockCells(*picture, blocks, b, cells);
      uint16_t expectedBounded = 0;
      const int cx0 = b % blocks.columns * 4, cy0 = b / blocks.columns * 4;
      for (int cy = cy0; cy < std::min(cy0 + 4, blocks.cellRows); ++cy)
        for (int cx = cx0; cx < std::min(cx0 + 4, blocks.cellColumns); ++cx) {
          const uint16_t* cell = &cells[((cy - cy0) * 4 + (cx - cx0)) * k];
          for (int j = 0; j < k; ++j) {
            double sum = 0.0;
            int n = 0;
            for (int y = cy * 2; y < std::min(cy * 2 + 2, 29); ++y)
              for (int x = cx * 2; x < std::min(cx * 2 + 2, 37); ++x, ++n) {
                const double v = Sample(*picture, x, y, static_cast<uint32_t>(j));
                sum += v;
                // Near either end of the scale a cell tells only a bound.
                if (v >= std::ceil(kCellHighLevel * full) || v <= std::floor(kCellLowLevel * full))
                  expectedBounded |= static_cast<uint16_t>(1 << ((cy - cy0) * 4 + (cx - cx0)));
              }
            ASSERT_NEAR(cell[j], sum / n / full * 65535.0, 0.51) << cx << ", " << cy;
          }
          if (k == 1) {
            EXPECT_EQ(luma[static_cast<size_t>(cy) * blocks.cellColumns + cx],
                      static_cast<float>(cell[0]) / 65535.0f);
          }
        }
      EXPECT_EQ(bounded, expectedBounded) << "block " << b;
      EXPECT_EQ(boundedCells[b], bounded);
      anyBounded += bounded != 0;
    }
    EXPECT_GT(anyBounded, 0);
  }
}

}  // namespace
