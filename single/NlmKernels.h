#pragma once

#include <cstddef>
#include <cstdint>

#include "picture/SBxPicBuf.h"

// Building blocks of the non-local-means filter: the mirrored border, the
// shifted absolute difference, the 2x2 block sums and the exponential weight
// tables. Row kernels take a pointer and a count and are written so the
// compiler vectorises them without changing a single result.

// Entries of one weight table: every block distance 0..9215. A block of four
// 8-bit differences never exceeds 1020, so only the first 1021 are ever read.
constexpr int kWeightTableSize = 9216;
constexpr int kMaxBlockDistance = 1020;
// The weight of a pixel compared with itself (entry 0 of every table).
constexpr uint32_t kSelfWeight = 10000;

// Fills table[0..9215]: entry d = truncate(2.718281828^(d / -7.0 / h) * 10000
// + 0.5). An h that is not positive (strength or noise 0) gives 10000 for
// d = 0 and 0 elsewhere, so a pixel then keeps its own value.
void BuildWeightTable(uint32_t* table, double h);

// Fills the border of `pad` pixels around the interior of a padded one-component
// plane (8 or 16 bits) by reflection about the outermost interior row and
// column, without repeating them: padded row pad - 1 takes row pad + 1, and so
// on; corners are reflected both ways. On planes too small for one reflection
// the reflection repeats until it lands inside.
void MirrorPad(SBxPicBuf* plane, int pad);

// Difference of an 8-bit padded guide with itself moved by
// d = (secondRow - firstRow, secondCol - firstCol), one of each pair being 0:
// diff(q) = |guide(q + d) - guide(q)| where q and q + d both lie in the guide,
// diff(q) = guide(q) at the positions without a partner. Only guide rows
// [rowBegin, rowEnd) are computed; guide row r goes to row r - rowBegin of
// diff, which is as wide as the guide.
void AbsDiffShifted(const SBxPicBuf* guide, SBxPicBuf* diff, int firstRow, int firstCol,
                    int secondRow, int secondCol, int rowBegin, int rowEnd);

// out[i] = |a[i] - b[i]|.
void AbsDiffRow(const uint8_t* a, const uint8_t* b, uint8_t* out, size_t n);

// out[i] = r0[2i] + r0[2i + 1] + r1[2i] + r1[2i + 1]: the 2x2 block sums of two
// difference rows at half the width.
void BlockSumRow(const uint8_t* r0, const uint8_t* r1, uint16_t* out, size_t halfWidth);

// values[i] = table[values[i]]: block distances become weights, one lookup
// per 2x2 block.
void LookupRow(uint16_t* values, const uint16_t* table, size_t n);
// out[2i] = out[2i + 1] = blocks[i].
void ExpandRow(const uint16_t* blocks, uint16_t* out, size_t halfWidth);

// Accumulation of one offset d and its mirror -d over a row of n pixels:
// weightSum += w1 + w2, weightedSum += w1 * plus + w2 * minus, where plus and
// minus are the values at P + d and P - d.
void AccumulateRow(uint32_t* weightSum, uint32_t* weightedSum, const uint16_t* w1,
                   const uint16_t* w2, const uint8_t* plus, const uint8_t* minus, size_t n);
void AccumulateRow(uint32_t* weightSum, uint64_t* weightedSum, const uint16_t* w1,
                   const uint16_t* w2, const uint16_t* plus, const uint16_t* minus, size_t n);
// The offset (0, 0): every pixel adds its own value with the self weight.
void AccumulateSelfRow(uint32_t* weightSum, uint32_t* weightedSum, const uint8_t* values, size_t n);
void AccumulateSelfRow(uint32_t* weightSum, uint64_t* weightedSum, const uint16_t* values,
                       size_t n);
