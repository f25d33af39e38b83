#pragma once

#include <cstdint>

#include "picture/SBxPicBuf.h"

// Per-sample exposure operations that turn one picture into a differently
// exposed copy, and the two measurements the series generators need. All
// arithmetic is double precision and truncates toward zero, so a synthetic
// exposure is the same on every machine.
//
// Destination and source have the same width, height and component count and
// the destination already has storage; both hold bytes for the _x8 forms and
// 16-bit words for the _x16 forms. Otherwise nothing is written.

// Largest sample of a picture with this many bits per component: 255 for 8,
// 2^bits - 1 otherwise (65535 for 16).
uint32_t SampleMaximum(uint32_t bitsPerComponent);

// Maps the window [low, high) onto the full range, tested in this order:
// s >= high gives the maximum, s < low gives 0, otherwise
// truncate((s - low) / (high - low) * maximum). A window with high <= low
// therefore never divides. The 8-bit form always writes 255 as its maximum;
// the 16-bit form takes the maximum from the destination's depth.
void LevelsWindow_x8(SBxPicBuf* dst, const SBxPicBuf* src, uint32_t low, uint32_t high);
void LevelsWindow_x16(SBxPicBuf* dst, const SBxPicBuf* src, uint32_t low, uint32_t high);

// Power curve: v = (s / maximum)^(1 / gamma) * maximum + 0.5, then 0 when v is
// not above 0 (or not a number), the maximum when v is not below it, else
// truncate(v). Gamma above 1 brightens. The 16-bit form takes the maximum from
// the source's depth.
void GammaCurve_x8(SBxPicBuf* dst, const SBxPicBuf* src, double gamma);
void GammaCurve_x16(SBxPicBuf* dst, const SBxPicBuf* src, double gamma);

// Three-component pictures only: each sum becomes (its entry value + the sum of
// that component over the picture) / (width * height). Callers pass zeros to
// get the component means in storage order.
void ChannelMeans_3x8(double* sum0, double* sum1, double* sum2, const SBxPicBuf* picture);
void ChannelMeans_3x16(double* sum0, double* sum1, double* sum2, const SBxPicBuf* picture);

// Noise level in sample units of an 8-bit, one-component picture: the mean
// absolute response of the 3x3 Laplacian-like mask (1 -2 1 / -2 4 -2 / 1 -2 1)
// over the interior, as sqrt(S / (12 * N) * 3.14159265359). Pictures of fewer
// than 4 rows or 3 columns give 0.
double EstimateNoise(const SBxPicBuf* picture);
