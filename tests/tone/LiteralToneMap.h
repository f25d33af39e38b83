#pragma once

// The tone mapper's plane run done literally, pass by pass: every pass copies
// the whole scratch level, remaps the windows of its grid points, rebuilds the
// scratch pyramid of the whole plane and keeps the coefficients at its grid
// points. Slow, but a direct reading of the algorithm: the engine's point-wise
// passes must reproduce it bit for bit. Shared by the tests and the benchmark.
void RemapFloatPlaneLiteral(float* out, const float* in, int width, int height, int levels,
                            double threshold, double noise, double power, double slope);
