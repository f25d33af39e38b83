#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "tests/picture/PictureTestSupport.h"

namespace {

// Sample i of a picture in reading order, whatever its depth.
double Get(const SBxPicBuf& pic, size_t i) {
  const size_t perRow = static_cast<size_t>(pic.width) * pic.components;
  const uint8_t* row = RowPtr(pic, static_cast<int>(i / perRow));
  const size_t x = i % perRow;
  if (pic.bitsPerComponent == 8) return row[x];
  if (pic.bitsPerComponent == 16) return reinterpret_cast<const uint16_t*>(row)[x];
  return reinterpret_cast<const float*>(row)[x];
}

void Set(const SBxPicBuf& pic, size_t i, double v) {
  const size_t perRow = static_cast<size_t>(pic.width) * pic.components;
  uint8_t* row = RowPtr(pic, static_cast<int>(i / perRow));
  const size_t x = i % perRow;
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

// Every colour with channels from `levels` (corners included by the caller).
void FillColourCube(ScopedPicBuf* pic, const std::vector<int>& levels, uint32_t bits) {
  const size_t n = levels.size();
  CBxPicBufAPI::ReinitHeap(pic->get(), static_cast<int>(n * n), static_cast<int>(n), 3, bits);
  for (size_t i = 0; i < Samples(**pic); ++i) {
    const size_t colour = i / 3, c = i % 3;
    Set(**pic, i, levels[(c == 0 ? colour : c == 1 ? colour / n : colour / (n * n)) % n]);
  }
}

// Converts to luma/chroma and back, into a second picture and then in place.
void ExpectYuvRoundTripWithinOneStep(const SBxPicBuf& original) {
  ScopedPicBuf yuv, back(2, 2, 1, 16),
      inPlace(original.width, original.height, 3, original.bitsPerComponent);
  ASSERT_TRUE(CBxPicBufAPI::ConvertRGBtoYUV(yuv.get(), &original));
  ASSERT_TRUE(CBxPicBufAPI::ConvertYUVtoRGB(back.get(), yuv.get()));  // reallocated
  ASSERT_TRUE(SameGeometry(*back, original));
  EXPECT_LE(MaxDifference(*back, original), 1.0);
  CBxPicBufAPI::Copy(inPlace.get(), &original);
  ASSERT_TRUE(CBxPicBufAPI::ConvertRGBtoYUV(inPlace.get(), inPlace.get()));
  EXPECT_EQ(MaxDifference(*inPlace, *yuv), 0.0);
  ASSERT_TRUE(CBxPicBufAPI::ConvertYUVtoRGB(inPlace.get(), inPlace.get()));
  EXPECT_EQ(MaxDifference(*inPlace, *back), 0.0);
}

std::vector<int> SampleLevels(int max, int step) {
  std::vector<int> levels{0, 1, 2, max - 2, max - 1, max};
  for (int v = 3; v < max - 2; v += step)
    levels.push_back(v);
  return levels;
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
  for (size_t v = 0; v < 65536; ++v)
    ASSERT_EQ(Get(*sixteen, v), (v * 255 + 32767) / 65535);
  ASSERT_TRUE(CBxPicBufAPI::ConvertBpcComp(viaFloat.get(), 32, 1));
  EXPECT_EQ(Get(*viaFloat, 54321), 54321.0);
  ASSERT_TRUE(CBxPicBufAPI::ConvertBpcComp(viaFloat.get(), 16, 1));
  for (size_t v = 0; v < 65536; ++v)
    ASSERT_EQ(Get(*viaFloat, v), v);
  for (uint32_t bits : {16u, 32u}) {
    FillRamp(&eight, 255, 8);
    ASSERT_TRUE(CBxPicBufAPI::ConvertBpcComp(eight.get(), bits, 3));
    ASSERT_TRUE(CBxPicBufAPI::ConvertBpcComp(eight.get(), 8, 1));
    for (size_t v = 0; v < 256; ++v)
      ASSERT_EQ(Get(*eight, v), v) << bits;
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
    for (size_t i = 0; i < 3; ++i)
      EXPECT_EQ(Get(*pic, i), luma[i]) << bits;  // grey kept exactly
    for (size_t i = 3; i < 6; ++i)
      EXPECT_NEAR(Get(*pic, i), luma[i], 0.5) << bits;
    ASSERT_TRUE(CBxPicBufAPI::ConvertBpcComp(pic.get(), bits == 8 ? 16 : bits, 3));
    const double scale = bits == 8 ? 257.0 : 1.0;
    for (size_t c = 0; c < 3; ++c)
      EXPECT_EQ(Get(*pic, 3 + c), 77 * scale);
  }
  ScopedPicBuf deepRed(1, 1, 3, 16);  // the noise estimate's path: 16-bit colour to 8-bit grey
  CBxPicBufAPI::SetConst(deepRed.get(), 0);
  Set(*deepRed, 2, 65535);
  ASSERT_TRUE(CBxPicBufAPI::ConvertBpcComp(deepRed.get(), 8, 1));
  EXPECT_EQ(Get(*deepRed, 0), 76);
}

TEST(ConvertBpcComp, RefusesWithoutTouchingThePicture) {
  ScopedPicBuf empty, pic(4, 4, 3, 8);
  EXPECT_FALSE(CBxPicBufAPI::ConvertBpcComp(empty.get(), 8, 3));
  FillPattern8(pic.get());
  const uint8_t* storage = pic->pixels;
  const double sample = Get(*pic, 41);
  EXPECT_FALSE(CBxPicBufAPI::ConvertBpcComp(pic.get(), 12, 3));
  EXPECT_FALSE(CBxPicBufAPI::ConvertBpcComp(pic.get(), 16, 4));
  EXPECT_FALSE(CBxPicBufAPI::ConvertBpcComp(pic.get(), 8, 2));
  EXPECT_TRUE(CBxPicBufAPI::ConvertBpcComp(pic.get(), 8, 3));  // nothing to do
  EXPECT_EQ(pic->pixels, storage);
  EXPECT_TRUE(pic->bitsPerComponent == 8 && pic->components == 3 && Get(*pic, 41) == sample);
}

TEST(ConvertYuv, GreyHasMidRangeChromaAndPrimariesTheUsualValues) {
  for (uint32_t bits : {8u, 16u}) {
    const double one = bits == 8 ? 1.0 : 257.0, mid = bits == 8 ? 128.0 : 32768.0;
    ScopedPicBuf pic(256, 1, 3, bits), yuv;
    for (size_t i = 0; i < 768; ++i)
      Set(*pic, i, static_cast<double>(i / 3) * one);
    ASSERT_TRUE(CBxPicBufAPI::ConvertRGBtoYUV(yuv.get(), pic.get()));
    for (size_t v = 0; v < 256; ++v) {
      ASSERT_EQ(Get(*yuv, 3 * v), static_cast<double>(v) * one);
      ASSERT_EQ(Get(*yuv, 3 * v + 1), mid);
      ASSERT_EQ(Get(*yuv, 3 * v + 2), mid);
    }
  }
  ScopedPicBuf primaries(2, 1, 3, 8), yuv;
  const uint8_t bgr[6] = {0, 0, 255, 255, 0, 0};  // red, then blue
  std::memcpy(primaries->pixels, bgr, 6);
  ASSERT_TRUE(CBxPicBufAPI::ConvertRGBtoYUV(yuv.get(), primaries.get()));
  const uint8_t expected[6] = {76, 85, 255, 29, 255, 107};
  EXPECT_EQ(std::memcmp(yuv->pixels, expected, 6), 0);
}

TEST(ConvertYuv, RoundTripIsWithinOneStepOnColourCubesAndAPhotograph) {
  ScopedPicBuf cube8, cube16, photo;
  FillColourCube(&cube8, SampleLevels(255, 4), 8);
  ExpectYuvRoundTripWithinOneStep(*cube8);
  FillColourCube(&cube16, SampleLevels(65535, 1031), 16);
  ExpectYuvRoundTripWithinOneStep(*cube16);
  LoadSamplePhoto(photo.get(), "sunset.jpg");
  ASSERT_FALSE(IsEmpty(*photo));
  ExpectYuvRoundTripWithinOneStep(*photo);
  // At 16 bits with every low bit in use, not only multiples of 257.
  ASSERT_TRUE(CBxPicBufAPI::ConvertBpcComp(photo.get(), 16, 3));
  for (size_t i = 0; i < Samples(*photo); ++i)
    Set(*photo, i, std::max(0.0, Get(*photo, i) - static_cast<double>(i * 7 % 257)));
  ExpectYuvRoundTripWithinOneStep(*photo);
}

TEST(ConvertYuv, FloatChromaIsCentredOnZero) {
  ScopedPicBuf pic(2, 1, 3, 32), yuv;
  const double bgr[6] = {90, 90, 90, 10.5, 200.25, 1000};
  for (size_t i = 0; i < 6; ++i)
    Set(*pic, i, bgr[i]);
  ASSERT_TRUE(CBxPicBufAPI::ConvertRGBtoYUV(yuv.get(), pic.get()));
  EXPECT_EQ(Get(*yuv, 0), 90.0);
  EXPECT_NEAR(Get(*yuv, 1), 0.0, 1e-4);
  EXPECT_NEAR(Get(*yuv, 2), 0.0, 1e-4);
  ASSERT_TRUE(CBxPicBufAPI::ConvertYUVtoRGB(yuv.get(), yuv.get()));
  for (size_t i = 0; i < 6; ++i)
    EXPECT_NEAR(Get(*yuv, i), bgr[i], 1e-3);
}

TEST(ConvertYuv, RefusesGreyOrEmptySourcesAndLeavesTheDestination) {
  ScopedPicBuf grey(4, 4, 1, 8), empty, dst(4, 4, 3, 8);
  const uint8_t* storage = dst->pixels;
  EXPECT_FALSE(CBxPicBufAPI::ConvertRGBtoYUV(dst.get(), grey.get()));
  EXPECT_FALSE(CBxPicBufAPI::ConvertYUVtoRGB(dst.get(), grey.get()));
  EXPECT_FALSE(CBxPicBufAPI::ConvertRGBtoYUV(dst.get(), empty.get()));
  EXPECT_EQ(dst->pixels, storage);
}
