#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "fusion/Pyramid.h"
#include "picture/CBxPicBufAPI.h"

namespace {

// Reduce and expand written pixel by pixel from their definitions, slow and
// plain, to hold the fast paths to the exact same bits.
void NaiveReduce(float* dst, const float* src, uint32_t dw, uint32_t dh, uint32_t sw, uint32_t sh,
                 const float* k) {
  if (dw < 5 || dh < 5) return;
  for (uint32_t y = 0; y < dh; ++y) {
    uint32_t sy = y < 2 ? 0 : 2 * y - 2;
    if (sy + 5 > sh) sy = sh - 5;
    for (uint32_t x = 0; x < dw; ++x) {
      uint32_t sx = x < 2 ? 0 : 2 * x - 2;
      if (sx + 5 > sw) sx = sw - 5;
      float acc = 0.0f;
      for (uint32_t r = 0; r < 5; ++r)
        for (uint32_t c = 0; c < 5; ++c)
          acc += k[r * 5 + c] * src[(sy + r) * sw + sx + c];
      dst[y * dw + x] = acc;
    }
  }
}

void NaiveExpand(float* dst, const float* src, uint32_t dw, uint32_t dh, uint32_t sw, uint32_t sh,
                 const float* k) {
  if (dw < 5 || dh < 5) return;
  for (uint32_t y = 0; y < dh; ++y) {
    uint32_t wy = y <= 2 ? 0 : y - 2;
    if (wy + 5 > dh) wy = dh - 5;
    const uint32_t r0 = wy % 2 ? wy + 1 : wy, r1 = std::min(wy + 5, 2 * sh);
    for (uint32_t x = 0; x < dw; ++x) {
      uint32_t wx = x <= 2 ? 0 : x - 2;
      if (wx + 5 > dw) wx = dw - 5;
      const uint32_t c0 = wx % 2 ? wx + 1 : wx, c1 = std::min(wx + 5, 2 * sw);
      float acc = 0.0f;
      for (uint32_t r = r0; r < r1; r += 2)
        for (uint32_t c = c0; c < c1; c += 2)
          acc += src[(r / 2) * sw + c / 2] * k[(r - wy) * 5 + (c - wx)];
      dst[y * dw + x] = acc * 4.0f;
    }
  }
}

std::vector<float> RandomPlane(uint32_t w, uint32_t h, uint32_t seed) {
  std::mt19937 gen(seed);
  std::uniform_real_distribution<float> dist(-300.0f, 300.0f);
  std::vector<float> p(static_cast<size_t>(w) * h);
  for (auto& v : p)
    v = dist(gen);
  if (!p.empty()) p[0] = -0.0f;  // signed zero must survive the same way
  return p;
}

struct Kernel {
  float k[kPyramidKernelSize];
  Kernel() { MakePyramidKernel(k); }
};

bool SameBits(const std::vector<float>& a, const std::vector<float>& b) {
  return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(float)) == 0;
}

}  // namespace

TEST(PyramidKernel, IsTheOuterProductAndSumsToOne) {
  Kernel kn;
  EXPECT_EQ(kn.k[12], 0.4f * 0.4f);
  EXPECT_EQ(kn.k[1], 0.05f * 0.25f);
  double sum = 0;
  for (float v : kn.k)
    sum += v;
  EXPECT_NEAR(sum, 1.0, 1e-6);
}

TEST(PyramidReduceExpand, MatchTheDefinitionBitForBit) {
  Kernel kn;
  // Even and odd sizes, the smallest legal ones, and destinations that are not
  // exactly half or double (the callers pass level sizes of their own).
  const uint32_t sizes[][4] = {{5, 5, 10, 10},   {5, 5, 11, 13},   {6, 7, 13, 15}, {17, 9, 35, 19},
                               {32, 24, 64, 48}, {31, 23, 63, 47}, {5, 8, 12, 17}, {40, 6, 81, 12}};
  uint32_t seed = 1;
  for (const auto& s : sizes) {
    const uint32_t dw = s[0], dh = s[1], sw = s[2], sh = s[3];
    const auto fine = RandomPlane(sw, sh, seed++);
    std::vector<float> fast(dw * dh, 7.0f), slow(dw * dh, 7.0f);
    PyrReduce(fast.data(), fine.data(), dw, dh, sw, sh, kn.k);
    NaiveReduce(slow.data(), fine.data(), dw, dh, sw, sh, kn.k);
    EXPECT_TRUE(SameBits(fast, slow)) << "reduce " << sw << "x" << sh << " -> " << dw << "x" << dh;

    const auto coarse = RandomPlane(dw, dh, seed++);
    std::vector<float> up(sw * sh, 7.0f), upSlow(sw * sh, 7.0f);
    PyrExpand(up.data(), coarse.data(), sw, sh, dw, dh, kn.k);
    NaiveExpand(upSlow.data(), coarse.data(), sw, sh, dw, dh, kn.k);
    EXPECT_TRUE(SameBits(up, upSlow)) << "expand " << dw << "x" << dh << " -> " << sw << "x" << sh;
  }
}

TEST(PyramidReduceExpand, RowSplitGivesTheSameRows) {
  Kernel kn;
  const auto fine = RandomPlane(61, 45, 9);
  std::vector<float> whole(30 * 22), parts(30 * 22);
  PyrReduce(whole.data(), fine.data(), 30, 22, 61, 45, kn.k);
  PyrReduceRows(parts.data(), fine.data(), 30, 22, 61, 45, kn.k, 0, 7);
  PyrReduceRows(parts.data(), fine.data(), 30, 22, 61, 45, kn.k, 7, 22);
  EXPECT_TRUE(SameBits(whole, parts));
  std::vector<float> up(61 * 45), upParts(61 * 45);
  PyrExpand(up.data(), whole.data(), 61, 45, 30, 22, kn.k);
  PyrExpandRows(upParts.data(), whole.data(), 61, 45, 30, 22, kn.k, 0, 20);
  PyrExpandRows(upParts.data(), whole.data(), 61, 45, 30, 22, kn.k, 20, 45);
  EXPECT_TRUE(SameBits(up, upParts));
}

TEST(PyramidReduceExpand, BorderWindowsAreShiftedInside) {
  Kernel kn;
  // A plane whose value is its column index shows which columns a window read.
  std::vector<float> cols(10 * 10), rows(10 * 10);
  for (uint32_t y = 0; y < 10; ++y)
    for (uint32_t x = 0; x < 10; ++x)
      cols[y * 10 + x] = static_cast<float>(x), rows[y * 10 + x] = static_cast<float>(y);
  std::vector<float> out(25);
  PyrReduce(out.data(), cols.data(), 5, 5, 10, 10, kn.k);
  EXPECT_NEAR(out[0], 2.0f, 1e-5);  // window 0..4
  EXPECT_NEAR(out[1], 2.0f, 1e-5);  // also 0..4
  EXPECT_NEAR(out[2], 4.0f, 1e-5);  // 2..6
  EXPECT_NEAR(out[4], 7.0f, 1e-5);  // clamped from 6..10 to 5..9
  PyrReduce(out.data(), rows.data(), 5, 5, 10, 10, kn.k);
  EXPECT_NEAR(out[4 * 5], 7.0f, 1e-5);

  // Expanding 5 wide into 11: the last column's window starts at 6 and meets
  // source columns 3 and 4 only (doubled positions 6 and 8; 10 is outside).
  std::vector<float> src(5 * 5, 0.0f), wide(11 * 10);
  for (uint32_t y = 0; y < 5; ++y)
    src[y * 5 + 2] = 1000.0f;  // column 2 must not reach x = 10
  PyrExpand(wide.data(), src.data(), 11, 10, 5, 5, kn.k);
  for (uint32_t y = 0; y < 10; ++y)
    EXPECT_EQ(wide[y * 11 + 10], 0.0f) << y;
}

TEST(PyramidReduceExpand, ConstantPlaneStaysConstantInside) {
  Kernel kn;
  std::vector<float> flat(40 * 30, 100.0f), half(20 * 15), back(40 * 30);
  PyrReduce(half.data(), flat.data(), 20, 15, 40, 30, kn.k);
  for (float v : half)
    EXPECT_NEAR(v, 100.0f, 1e-3);
  PyrExpand(back.data(), half.data(), 40, 30, 20, 15, kn.k);
  for (uint32_t y = 3; y < 27; ++y)
    for (uint32_t x = 3; x < 37; ++x)
      EXPECT_NEAR(back[y * 40 + x], 100.0f, 1e-3) << x << "," << y;
}

TEST(PyramidPrimitives, LeaveDestinationsBelowFiveUntouched) {
  Kernel kn;
  const auto src = RandomPlane(20, 20, 3);
  for (auto [w, h] : {std::pair{4u, 9u}, std::pair{9u, 4u}}) {
    std::vector<float> dst(w * h, 42.0f);
    PyrReduce(dst.data(), src.data(), w, h, 2 * w, 2 * h, kn.k);
    PyrExpand(dst.data(), src.data(), w, h, 10, 10, kn.k);
    PlaneSubtract(dst.data(), src.data(), src.data(), w, h);
    PlaneAdd(dst.data(), src.data(), src.data(), w, h);
    for (float v : dst)
      EXPECT_EQ(v, 42.0f);
  }
}

TEST(PyramidPrimitives, SubtractAndAddMayWriteOverAnOperand) {
  auto a = RandomPlane(6, 5, 4);
  const auto b = RandomPlane(6, 5, 5);
  const auto a0 = a;
  PlaneSubtract(a.data(), a.data(), b.data(), 6, 5);
  PlaneAdd(a.data(), a.data(), b.data(), 6, 5);
  for (size_t i = 0; i < a.size(); ++i)
    EXPECT_NEAR(a[i], a0[i], 1e-4);
}

TEST(FloatToPicture, ClampsAndTruncates8Bit) {
  ScopedPicBuf pic(5, 1, 1, 8);
  const float values[5] = {-3.7f, 12.9f, 255.0f, 300.0f, std::numeric_limits<float>::quiet_NaN()};
  FloatToPicture(pic.get(), values);
  const uint8_t expected[5] = {0, 12, 255, 255, 255};
  EXPECT_EQ(std::memcmp(pic->pixels, expected, 5), 0);
}

TEST(FloatToPicture, ClampsAndTruncates16Bit) {
  ScopedPicBuf pic(4, 1, 1, 16);
  const float values[4] = {70000.0f, 1000.99f, -1.0f, std::numeric_limits<float>::quiet_NaN()};
  FloatToPicture(pic.get(), values);
  const auto* d = reinterpret_cast<const uint16_t*>(pic->pixels);
  EXPECT_EQ(d[0], 65535);
  EXPECT_EQ(d[1], 1000);
  EXPECT_EQ(d[2], 0);
  EXPECT_EQ(d[3], 65535);
}

TEST(PictureToFloat, RoundTripsThroughPaddedRows) {
  for (uint32_t bits : {8u, 16u}) {
    ScopedPicBuf pic(7, 3, 1, bits), back(7, 3, 1, bits);
    ASSERT_GT(pic->stride, 7u * bits / 8);  // rows are padded: stride must be honoured
    for (int y = 0; y < 3; ++y)
      for (int x = 0; x < 7; ++x) {
        const auto v = static_cast<uint16_t>(y * 1000 + x * 31);
        if (bits == 8)
          RowPtr(*pic, y)[x] = static_cast<uint8_t>(v);
        else
          reinterpret_cast<uint16_t*>(RowPtr(*pic, y))[x] = v;
      }
    std::vector<float> plane(21);
    PictureToFloat(plane.data(), pic.get());
    EXPECT_EQ(plane[7 + 2], bits == 8 ? static_cast<float>(static_cast<uint8_t>(1062)) : 1062.0f);
    FloatToPicture(back.get(), plane.data());
    for (int y = 0; y < 3; ++y)
      EXPECT_EQ(std::memcmp(RowPtr(*pic, y), RowPtr(*back, y), 7 * bits / 8), 0);
  }
}
