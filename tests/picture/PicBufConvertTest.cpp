#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <tuple>
#include <vector>

#include "picture/CBxPicBufAPI.h"

namespace {

// Sample i of a picture in reading order, whatever its depth.
double Get(const SBxPicBuf& pic, size_t i) {
  const size_t perRow = static_cast<size_t>(pic.width) * pic.components, x = i % perRow;
  const uint8_t* row = RowPtr(pic, static_cast<int>(i / perRow));
  if (pic.bitsPerComponent == 8) return row[x];
  if (pic.bitsPerComponent == 16) return reinterpret_cast<const uint16_t*>(row)[x];
  return reinterpret_cast<const float*>(row)[x];
}

void Set(const SBxPicBuf& pic, size_t i, double v) {
  const size_t perRow = static_cast<size_t>(pic.width) * pic.components, x = i % perRow;
  uint8_t* row = RowPtr(pic, static_cast<int>(i / perRow));
  if (pic.bitsPerComponent == 8) row[x] = static_cast<uint8_t>(v);
  if (pic.bitsPerComponent == 16) reinterpret_cast<uint16_t*>(row)[x] = static_cast<uint16_t>(v);
  if (pic.bitsPerComponent == 32) reinterpret_cast<float*>(row)[x] = static_cast<float>(v);
}

size_t Samples(const SBxPicBuf& pic) {
  return static_cast<size_t>(pic.width) * pic.height * pic.components;
}

// Holds every value 0..max once (odd width, so rows end in padding).
void FillRamp(ScopedPicBuf* pic, int max, uint32_t bits) {
  CBxPicBufAPI::ReinitHeap(pic->get(), 257, (max + 257) / 257, 1, bits);
  for (size_t i = 0; i < Samples(**pic); ++i)
    Set(**pic, i, static_cast<double>(i % (max + 1)));
}

double MaxDifference(const SBxPicBuf& a, const SBxPicBuf& b) {
  double worst = 0.0;
  for (size_t i = 0; i < Samples(a); ++i)
    worst = std::max(worst, std::fabs(Get(a, i) - Get(b, i)));
  return worst;
}

}  // namespace

TEST(ConvertBpcComp, DepthRoundTripsAreExactAndSixteenToEightRounds) {
  ScopedPicBuf eight, sixteen, viaFloat;
  FillRamp(&eight, 255, 8);
  ASSERT_TRUE(CBxPicBufAPI::ConvertBpcComp(eight.get(), 16, 1));
  for (size_t v = 0; v < 256; ++v)
    ASSERT_EQ(Get(*eight, v), static_cast<double>(v) * 257.0);
  FillRamp(&sixteen, 65535, 16);
  FillRamp(&viaFloat, 65535, 16);
  ASSERT_TRUE(CBxPicBufAPI::ConvertBpcComp(sixteen.get(), 8, 1));
  ASSERT_TRUE(CBxPicBufAPI::ConvertBpcComp(viaFloat.get(), 32, 1));
  EXPECT_EQ(Get(*viaFloat, 54321), 54321.0);
  ASSERT_TRUE(CBxPicBufAPI::ConvertBpcComp(viaFloat.get(), 16, 1));
  for (size_t v = 0; v < 65536; ++v) {
    ASSERT_EQ(Get(*sixteen, v), (v * 255 + 32767) / 65535);
    ASSERT_EQ(Get(*viaFloat, v), v);
  }
}

TEST(ConvertBpcComp, FloatToIntegerRoundsAndClamps) {
  const float inf = std::numeric_limits<float>::infinity();
  const std::vector<float> in{-3.2f, 0.4f, 0.6f, 254.4f, 254.6f, 300.0f, NAN, inf, -inf, 7e4f};
  const std::vector<double> as8{0, 0, 1, 254, 255, 255, 0, 255, 0, 255};
  const std::vector<double> as16{0, 0, 1, 254, 255, 300, 0, 65535, 0, 65535};
  ScopedPicBuf a(5, 2, 1, 32), b(5, 2, 1, 32);
  for (size_t i = 0; i < in.size(); ++i)
    Set(*a, i, in[i]), Set(*b, i, in[i]);
  ASSERT_TRUE(CBxPicBufAPI::ConvertBpcComp(a.get(), 8, 1));
  ASSERT_TRUE(CBxPicBufAPI::ConvertBpcComp(b.get(), 16, 1));
  for (size_t i = 0; i < in.size(); ++i) {
    EXPECT_EQ(Get(*a, i), as8[i]) << in[i];
    EXPECT_EQ(Get(*b, i), as16[i]) << in[i];
  }
}

TEST(ConvertBpcComp, GreyRepeatsIntoColourAndColourGivesLumaWithBlueFirst) {
  // Blue, green, red of: black, grey 77, white, pure blue, pure green, pure red.
  const std::vector<double> bgr{0,   0, 0, 77, 77,  77, 255, 255, 255,
                                255, 0, 0, 0,  255, 0,  0,   0,   255};
  const std::vector<double> luma{0, 77, 255, 29.07, 149.69, 76.25};
  for (uint32_t bits : {8u, 16u, 32u}) {
    ScopedPicBuf pic(3, 2, 3, bits);
    for (size_t i = 0; i < bgr.size(); ++i)
      Set(*pic, i, bgr[i]);
    ASSERT_TRUE(CBxPicBufAPI::ConvertBpcComp(pic.get(), bits, 1));
    for (size_t i = 0; i < 6; ++i)  // grey kept exactly
      EXPECT_NEAR(Get(*pic, i), luma[i], i < 3 ? 0.0 : 0.5) << bits;
    ASSERT_TRUE(CBxPicBufAPI::ConvertBpcComp(pic.get(), bits == 8 ? 16 : bits, 3));
    for (size_t c = 0; c < 3; ++c)
      EXPECT_EQ(Get(*pic, 3 + c), bits == 8 ? 77 * 257 : 77);
  }
  ScopedPicBuf deepRed(1, 1, 3, 16);  // 16-bit colour to 8-bit grey in one step
  CBxPicBufAPI::SetConst(deepRed.get(), 0);
  Set(*deepRed, 2, 65535);
  ASSERT_TRUE(CBxPicBufAPI::ConvertBpcComp(deepRed.get(), 8, 1));
  EXPECT_EQ(Get(*deepRed, 0), 76);
}

TEST(PicBufConvert, RefusalsLeaveThePicturesAlone) {
  ScopedPicBuf empty, pic(4, 4, 3, 8), grey(4, 4, 1, 8);
  EXPECT_FALSE(CBxPicBufAPI::ConvertBpcComp(empty.get(), 8, 3));
  CBxPicBufAPI::SetConst(pic.get(), 42);
  const uint8_t* storage = pic->pixels;
  EXPECT_FALSE(CBxPicBufAPI::ConvertBpcComp(pic.get(), 12, 3));
  EXPECT_FALSE(CBxPicBufAPI::ConvertBpcComp(pic.get(), 16, 4));
  EXPECT_FALSE(CBxPicBufAPI::ConvertBpcComp(pic.get(), 8, 2));
  EXPECT_TRUE(CBxPicBufAPI::ConvertBpcComp(pic.get(), 8, 3));  // nothing to do
  EXPECT_FALSE(CBxPicBufAPI::ConvertRGBtoYUV(pic.get(), grey.get()));
  EXPECT_FALSE(CBxPicBufAPI::ConvertYUVtoRGB(pic.get(), grey.get()));
  EXPECT_FALSE(CBxPicBufAPI::ConvertRGBtoYUV(pic.get(), empty.get()));
  EXPECT_EQ(pic->pixels, storage);
  EXPECT_TRUE(pic->bitsPerComponent == 8 && pic->components == 3 && Get(*pic, 41) == 42);
}

TEST(ConvertYuv, GreyHasMidRangeChromaAndPrimariesTheUsualValues) {
  for (uint32_t bits : {8u, 16u, 32u}) {  // float chroma is centred on zero
    const double one = bits == 16 ? 257.0 : 1.0, mid = bits == 8 ? 128 : bits == 16 ? 32768 : 0;
    ScopedPicBuf pic(256, 1, 3, bits), yuv;
    for (size_t i = 0; i < 768; ++i)
      Set(*pic, i, static_cast<double>(i / 3) * one);
    ASSERT_TRUE(CBxPicBufAPI::ConvertRGBtoYUV(yuv.get(), pic.get()));
    for (size_t i = 0; i < 768; ++i)
      ASSERT_EQ(Get(*yuv, i), i % 3 ? mid : static_cast<double>(i / 3) * one) << i;
  }
  ScopedPicBuf primaries(2, 1, 3, 8), yuv;
  const uint8_t bgr[6] = {0, 0, 255, 255, 0, 0};  // red, then blue
  std::memcpy(primaries->pixels, bgr, 6);
  ASSERT_TRUE(CBxPicBufAPI::ConvertRGBtoYUV(yuv.get(), primaries.get()));
  const uint8_t expected[6] = {76, 85, 255, 29, 255, 107};
  EXPECT_EQ(std::memcmp(yuv->pixels, expected, 6), 0);
}

// Every colour with channels from 0, 1, 2, max - 2, max - 1, max and a step
// between, into a second picture and then in place; float keeps any range
// and is not rounded.
TEST(ConvertYuv, RoundTripIsWithinOneStepOnColourCubes) {
  for (const auto& [bits, max, step] :
       {std::tuple{8u, 255, 4}, std::tuple{16u, 65535, 1031}, std::tuple{32u, 1000, 37}}) {
    std::vector<int> levels{0, 1, 2, max - 2, max - 1, max};
    for (int v = 3; v < max - 2; v += step)
      levels.push_back(v);
    const size_t n = levels.size();
    ScopedPicBuf original(static_cast<int>(n * n), static_cast<int>(n), 3, bits), yuv,
        back(2, 2, 1, 16), inPlace;
    for (size_t i = 0; i < Samples(*original); ++i) {
      const size_t colour = i / 3, c = i % 3;
      Set(*original, i, levels[(c == 0 ? colour : c == 1 ? colour / n : colour / (n * n)) % n]);
    }
    ASSERT_TRUE(CBxPicBufAPI::ConvertRGBtoYUV(yuv.get(), original.get()));
    ASSERT_TRUE(CBxPicBufAPI::ConvertYUVtoRGB(back.get(), yuv.get()));  // reallocated
    ASSERT_TRUE(SameGeometry(*back, *original));
    EXPECT_LE(MaxDifference(*back, *original), bits == 32 ? 1e-3 : 1.0) << bits;
    CBxPicBufAPI::ReinitHeap(inPlace.get(), original.get());
    CBxPicBufAPI::Copy(inPlace.get(), original.get());
    ASSERT_TRUE(CBxPicBufAPI::ConvertRGBtoYUV(inPlace.get(), inPlace.get()));
    EXPECT_EQ(MaxDifference(*inPlace, *yuv), 0.0);
    ASSERT_TRUE(CBxPicBufAPI::ConvertYUVtoRGB(inPlace.get(), inPlace.get()));
    EXPECT_EQ(MaxDifference(*inPlace, *back), 0.0);
  }
}
