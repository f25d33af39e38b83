// Reduce and expand against a pixel-by-pixel reading of their definitions, bit
// for bit (border windows shifted inside, the 5 x 5 guards, any row split),
// and the clamping and truncation of float planes into pictures.
#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <limits>
#include <vector>

#include "pyramid/Pyramid.h"
#include "tests/fusion/TestPictures.h"

namespace {

const float kTaps[5] = {0.05f, 0.25f, 0.4f, 0.25f, 0.05f};

// First row or column of the 5-wide window centred on `centre` of a side n:
// never before 0, shifted back inside at the far edge.
uint32_t WindowStart(uint32_t centre, uint32_t n) {
  return std::min(centre < 2 ? 0 : centre - 2, n - 5);
}

void NaiveReduce(float* dst, const float* src, uint32_t dw, uint32_t dh, uint32_t sw, uint32_t sh) {
  if (dw < 5 || dh < 5) return;
  for (uint32_t y = 0; y < dh; ++y)
    for (uint32_t x = 0; x < dw; ++x) {
      const uint32_t sy = WindowStart(2 * y, sh), sx = WindowStart(2 * x, sw);
      float acc = 0.0f;
      for (uint32_t r = 0; r < 5; ++r)
        for (uint32_t c = 0; c < 5; ++c)
          acc += kTaps[r] * kTaps[c] * src[(sy + r) * sw + sx + c];
      dst[y * dw + x] = acc;
    }
}

// Only the even positions of the doubled grid carry source samples.
void NaiveExpand(float* dst, const float* src, uint32_t dw, uint32_t dh, uint32_t sw, uint32_t sh) {
  if (dw < 5 || dh < 5) return;
  for (uint32_t y = 0; y < dh; ++y)
    for (uint32_t x = 0; x < dw; ++x) {
      const uint32_t wy = WindowStart(y, dh), wx = WindowStart(x, dw);
      float acc = 0.0f;
      for (uint32_t r = wy + wy % 2; r < std::min(wy + 5, 2 * sh); r += 2)
        for (uint32_t c = wx + wx % 2; c < std::min(wx + 5, 2 * sw); c += 2)
          acc += src[r / 2 * sw + c / 2] * (kTaps[r - wy] * kTaps[c - wx]);
      dst[y * dw + x] = acc * 4.0f;
    }
}

}  // namespace

TEST(Pyramid, ReduceAndExpandMatchTheDefinitionBitForBit) {
  float kernel[kPyramidKernelSize];
  MakePyramidKernel(kernel);
  // Coarse and fine sizes: even and odd, the smallest, not exactly half or
  // double (callers pass level sizes of their own), and destinations below 5
  // that must stay untouched (reduce into 4 x 9 and 3 x 3, expand into 9 x 4).
  const uint32_t sizes[][4] = {{5, 5, 10, 10},   {5, 5, 11, 13},   {6, 7, 13, 15}, {17, 9, 35, 19},
                               {32, 24, 64, 48}, {31, 23, 63, 47}, {5, 8, 12, 17}, {40, 6, 81, 12},
                               {4, 9, 8, 18},    {3, 3, 9, 4}};
  uint32_t seed = 1;
  for (const auto& [cw, ch, fw, fh] : sizes) {
    SCOPED_TRACE(testing::Message() << cw << "x" << ch << " / " << fw << "x" << fh);
    const auto fine = RandomPlane(fw * fh, -300.0f, 300.0f, seed++);
    const auto coarse = RandomPlane(cw * ch, -300.0f, 300.0f, seed++);
    std::vector<float> fast(cw * ch, 7.0f), split = fast, slow = fast;
    PyrReduce(fast.data(), fine.data(), cw, ch, fw, fh, kernel);
    PyrReduceRows(split.data(), fine.data(), cw, ch, fw, fh, kernel, 0, ch / 3);
    PyrReduceRows(split.data(), fine.data(), cw, ch, fw, fh, kernel, ch / 3, ch);
    NaiveReduce(slow.data(), fine.data(), cw, ch, fw, fh);
    EXPECT_TRUE(SameBits(fast, slow) && SameBits(split, slow)) << "reduce";

    std::vector<float> up(fw * fh, 7.0f), upSplit = up, upSlow = up;
    PyrExpand(up.data(), coarse.data(), fw, fh, cw, ch, kernel);
    PyrExpandRows(upSplit.data(), coarse.data(), fw, fh, cw, ch, kernel, 0, fh / 2 + 1);
    PyrExpandRows(upSplit.data(), coarse.data(), fw, fh, cw, ch, kernel, fh / 2 + 1, fh);
    NaiveExpand(upSlow.data(), coarse.data(), fw, fh, cw, ch);
    EXPECT_TRUE(SameBits(up, upSlow) && SameBits(upSplit, upSlow)) << "expand";
  }
  // The element-wise steps skip a plane below 5 x 5 too.
  const auto a = RandomPlane(36, -1.0f, 1.0f, 3);
  std::vector<float> d(36, 7.0f);
  PlaneSubtract(d.data(), a.data(), a.data(), 9, 4);
  PlaneAdd(d.data(), a.data(), a.data(), 4, 9);
  EXPECT_EQ(d, std::vector<float>(36, 7.0f));
}

// Clamped to the sample range and truncated toward zero, NaN saturating; rows
// are padded, so both directions must follow the stride.
TEST(Pyramid, FloatToPictureClampsAndTruncates) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float row[7] = {-3.7f, 12.9f, 255.0f, 300.0f, 1000.99f, 70000.0f, nan};
  const unsigned want8[7] = {0, 12, 255, 255, 255, 255, 255};
  const unsigned want16[7] = {0, 12, 255, 300, 1000, 65535, 65535};
  std::vector<float> plane(row, row + 7);
  plane.insert(plane.end(), std::rbegin(row), std::rend(row));  // the second row reversed
  for (uint32_t bits : {8u, 16u}) {
    ScopedPicBuf pic(7, 2, 1, bits);
    ASSERT_GT(pic->stride, 7u * bits / 8);
    FloatToPicture(pic.get(), plane.data());
    std::vector<float> back(14);
    PictureToFloat(back.data(), pic.get());
    for (int i = 0; i < 14; ++i) {
      const int source = i < 7 ? i : 13 - i;
      EXPECT_EQ(SampleAt(*pic, i % 7, i / 7, 0), (bits == 8 ? want8 : want16)[source])
          << bits << " bits, " << i;
      EXPECT_EQ(back[i], static_cast<float>(SampleAt(*pic, i % 7, i / 7, 0)));
    }
  }
}
