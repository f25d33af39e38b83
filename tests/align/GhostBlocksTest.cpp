// The reduction of a picture to the ghost detector's blocks, against sums
// taken pixel by pixel: every layout of components, both depths, blocks cut
// at the right and bottom edges, clipped and black pixels.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "align/GhostBlocks.h"
#include "picture/CBxPicBufAPI.h"

namespace {

// Noise around a level that changes from block to block, with a share of the
// samples at the very ends of the scale.
void FillRandom(uint32_t seed, SBxPicBuf* picture) {
  std::mt19937 random(seed);
  const uint32_t full = picture->bitsPerComponent == 8 ? 255u : 65535u;
  std::uniform_int_distribution<uint32_t> any(0, full), share(0, 99);
  for (int y = 0; y < picture->height; ++y)
    for (int x = 0; x < picture->width; ++x)
      for (uint32_t c = 0; c < picture->components; ++c) {
        const uint32_t kind = share(random);
        uint32_t v = kind < 3 ? full : kind < 6 ? 0 : any(random);
        if (kind >= 6 && (x / 8 + y / 8) % 3 == 0) v = full / 2 + v % (full / 16);
        if (picture->bitsPerComponent == 8) {
          RowPtr(*picture, y)[static_cast<size_t>(x) * picture->components + c] =
              static_cast<uint8_t>(v);
        } else {
          reinterpret_cast<uint16_t*>(
              RowPtr(*picture, y))[static_cast<size_t>(x) * picture->components + c] =
              static_cast<uint16_t>(v);
        }
      }
}

uint32_t At(const SBxPicBuf& picture, int x, int y, int c) {
  const size_t i = static_cast<size_t>(x) * picture.components + static_cast<size_t>(c);
  if (picture.bitsPerComponent == 8) return RowPtr(picture, y)[i];
  return reinterpret_cast<const uint16_t*>(RowPtr(picture, y))[i];
}

TEST(GhostBlocks, ReductionMatchesSumsTakenPixelByPixel) {
  struct Case {
    uint32_t components, bits;
    int width, height, block;
  };
  const Case cases[] = {{3, 8, 53, 37, 8},  {3, 16, 53, 37, 8}, {1, 8, 41, 30, 12},
                        {1, 16, 64, 24, 8}, {4, 8, 29, 45, 8},  {2, 16, 33, 17, 8},
                        {4, 16, 40, 40, 20}};
  for (const Case& t : cases) {
    SCOPED_TRACE(testing::Message()
                 << t.components << " x " << t.bits << " bits, " << t.width << " x " << t.height);
    ScopedPicBuf picture(t.width, t.height, t.components, t.bits);
    FillRandom(t.components * 100 + t.bits, picture.get());
    GhostBlocks blocks;
    ReduceToBlocks(*picture, t.block, &blocks);
    const int k = t.components >= 3 ? 3 : 1;
    ASSERT_EQ(blocks.components, k);
    ASSERT_EQ(blocks.columns, (t.width + t.block - 1) / t.block);
    ASSERT_EQ(blocks.rows, (t.height + t.block - 1) / t.block);
    const double full = t.bits == 8 ? 255.0 : 65535.0;
    const uint32_t clipAt = static_cast<uint32_t>(std::ceil(kClipLevel * full));
    const uint32_t blackAt = static_cast<uint32_t>(std::floor(kBlackLevel * full));
    int flagged = 0;
    for (int r = 0; r < blocks.rows; ++r)
      for (int c = 0; c < blocks.columns; ++c) {
        const int b = r * blocks.columns + c;
        uint64_t sum[3] = {}, squares[3] = {};
        uint32_t bounded = 0, pixels = 0;
        uint8_t flags = 0;
        for (int y = r * t.block; y < std::min(t.height, (r + 1) * t.block); ++y)
          for (int x = c * t.block; x < std::min(t.width, (c + 1) * t.block); ++x, ++pixels) {
            bool out = false;
            for (int j = 0; j < k; ++j) {
              const uint64_t v = At(*picture, x, y, j);
              sum[j] += v;
              squares[j] += v * v;
              if (v >= clipAt) flags |= kBlockClipped;
              if (v <= blackAt) flags |= kBlockBlack;
              out = out || v >= clipAt || v <= blackAt;
            }
            bounded += out;
          }
        float spread = 0.0f;
        for (int j = 0; j < k; ++j) {
          const double m = static_cast<double>(sum[j]) / pixels;
          const double variance = static_cast<double>(squares[j]) / pixels - m * m;
          ASSERT_EQ(blocks.mean[static_cast<size_t>(b) * k + j], static_cast<float>(m / full))
              << c << ", " << r << " component " << j;
          spread = std::max(spread, static_cast<float>(std::sqrt(std::max(0.0, variance)) / full));
        }
        ASSERT_EQ(blocks.spread[b], spread) << c << ", " << r;
        ASSERT_EQ(blocks.flags[b], flags) << c << ", " << r;
        ASSERT_EQ(blocks.bounded[b], static_cast<uint8_t>(255 * bounded / pixels))
            << c << ", " << r;
        flagged += flags != 0;
      }
    // The random ends make most blocks bounded: the flags are exercised.
    EXPECT_GT(flagged, blocks.Count() / 2);
  }
}

TEST(GhostBlocks, RowOfCellsAsBlockByBlock) {
  // The cells of a row of blocks, summed over whole rows of samples, are
  // those of each block summed on its own: cut blocks and cells at the right
  // and bottom edges, cells of 2 and 3 pixels, every layout of components.
  struct Case {
    uint32_t components, bits;
    int width, height, block;
  };
  const Case cases[] = {
      {3, 8, 53, 37, 8}, {1, 16, 45, 31, 12}, {4, 16, 29, 26, 8}, {2, 8, 35, 19, 8}};
  for (const Case& t : cases) {
    SCOPED_TRACE(testing::Message() << t.components << " x " << t.bits << " bits");
    ScopedPicBuf picture(t.width, t.height, t.components, t.bits);
    FillRandom(t.components * 7 + t.bits, picture.get());
    GhostBlocks blocks;
    ReduceToBlocks(*picture, t.block, &blocks);
    const size_t perBlock = 16 * static_cast<size_t>(blocks.components);
    for (int r = 0; r < blocks.rows; ++r) {
      std::vector<uint16_t> row(perBlock * blocks.columns, 0xabcd);
      std::vector<uint16_t> bounded(blocks.columns, 0xabcd);
      BlockRowCells(*picture, blocks, r, nullptr, row.data(), bounded.data());
      // Blocks not wanted are left as they were.
      std::vector<uint8_t> wanted(blocks.columns);
      for (int c = 0; c < blocks.columns; ++c)
        wanted[c] = static_cast<uint8_t>((c + r) % 2);
      std::vector<uint16_t> some(row.size(), 0xabcd);
      BlockRowCells(*picture, blocks, r, wanted.data(), some.data());
      for (int c = 0; c < blocks.columns; ++c)
        for (size_t i = c * perBlock; i < (c + 1) * perBlock; ++i)
          ASSERT_EQ(some[i], wanted[c] ? row[i] : 0xabcd) << "block " << c << ", " << r;
      for (int c = 0; c < blocks.columns; ++c) {
        std::vector<uint16_t> alone(perBlock, 0xabcd);
        EXPECT_EQ(BlockCells(*picture, blocks, r * blocks.columns + c, alone.data()), bounded[c])
            << "block " << c << ", " << r;
        ASSERT_TRUE(std::equal(alone.begin(), alone.end(), row.begin() + c * perBlock))
            << "block " << c << ", " << r;
      }
    }
  }
}

}  // namespace
