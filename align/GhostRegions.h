#pragma once

#include <vector>

#include "align/Ghost.h"

// From the disagreement of every block (above 1: the picture shows something
// else there) to the picture's weights, deciding over regions: a block with
// fewer than two disagreeing neighbours is noise, a rejected region grows by
// kGhostMargin blocks to take in the edges of what moved (blocks it covers
// only in part), and the weight rises smoothly to 1 over two blocks around
// that. Blocks that disagreed keep weight 0. When nothing is rejected the
// weights stay empty (all 1).

constexpr int kGhostMargin = 3;

void RegionWeights(const std::vector<float>& scores, int columns, int rows, GhostWeights* weights);
