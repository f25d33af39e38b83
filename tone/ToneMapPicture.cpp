// The local Laplacian engine on pictures: padding, the luma/chroma split, the
// integer <-> float round trip and the crop back.
#include <algorithm>
#include <cstring>
#include <new>
#include <utility>
#include <vector>

#include "picture/CBxPicBufAPI.h"
#include "tone/TonePlaneRun.h"

namespace {

// 16-bit samples are processed on the same 0..255 scale as 8-bit ones.
constexpr float kSixteenToWorking = 0.00390625f;
constexpr float kWorkingToSixteen = 256.0f;

// Rows [y0, y1) of a picture as a picture of its own.
SBxPicBuf Rows(const SBxPicBuf& pic, int y0, int y1) {
  SBxPicBuf band = pic;
  band.pixels = RowPtr(pic, y0);
  band.height = y1 - y0;
  band.byteSize = band.stride * static_cast<uint32_t>(y1 - y0);
  return band;
}

// True when step(dst rows, src rows) succeeded on every band of rows (on this
// thread for a picture of fewer than kParallelElements pixels); the conversions
// and copies between components work row by row, so the bands give the same
// pixels as one call.
template <class Step>
bool OverRowBands(SBxPicBuf* dst, const SBxPicBuf* src, Step step) {
  constexpr int kBandRows = 32;
  const int bands = (src->height + kBandRows - 1) / kBandRows;
  bool done = true;
  const size_t pixels = static_cast<size_t>(src->width) * static_cast<size_t>(src->height);
#pragma omp parallel for schedule(dynamic, 1) reduction(&& : done) if (pixels >= kParallelElements)
  for (int b = 0; b < bands; ++b) {
    const int y0 = b * kBandRows, y1 = std::min(src->height, y0 + kBandRows);
    SBxPicBuf to = Rows(*dst, y0, y1);
    const SBxPicBuf from = Rows(*src, y0, y1);
    done = step(&to, &from) != 0 && done;
  }
  return done;
}

bool IsFloatPlane(const SBxPicBuf& pic) {
  return !IsEmpty(pic) && pic.components == 1 && pic.bitsPerComponent == 32;
}

bool IsPacked(const SBxPicBuf& pic) {
  return pic.stride == static_cast<uint32_t>(pic.width) * sizeof(float);
}

void ScaleFloatPicture(SBxPicBuf* pic, float factor) {
  for (int y = 0; y < pic->height; ++y)
    FloatPlaneScale(reinterpret_cast<float*>(RowPtr(*pic, y)), pic->width, 1, factor);
}

// Rows of a float picture into a packed plane and back.
void PackRows(float* plane, const SBxPicBuf& pic) {
  const size_t rowBytes = static_cast<size_t>(pic.width) * sizeof(float);
  for (int y = 0; y < pic.height; ++y)
    std::memcpy(plane + static_cast<size_t>(y) * static_cast<size_t>(pic.width), RowPtr(pic, y),
                rowBytes);
}
void UnpackRows(SBxPicBuf* pic, const float* plane) {
  const size_t rowBytes = static_cast<size_t>(pic->width) * sizeof(float);
  for (int y = 0; y < pic->height; ++y)
    std::memcpy(RowPtr(*pic, y), plane + static_cast<size_t>(y) * static_cast<size_t>(pic->width),
                rowBytes);
}

PlaneRunOutcome RemapPicturePlane(SBxPicBuf* out, const SBxPicBuf* in, const ToneMapParams& params,
                                  JobProgress* progress) {
  if (!out || !in || !IsFloatPlane(*out) || !IsFloatPlane(*in) || out->width != in->width ||
      out->height != in->height)
    return PlaneRunOutcome::kRefused;
  const int w = in->width, h = in->height;
  if (IsPacked(*out) && IsPacked(*in)) {
    return RemapFloatPlaneRun(reinterpret_cast<float*>(out->pixels),
                              reinterpret_cast<const float*>(in->pixels), w, h, params, progress);
  }
  try {
    std::vector<float> plane(static_cast<size_t>(w) * static_cast<size_t>(h));
    PackRows(plane.data(), *in);
    const PlaneRunOutcome outcome =
        RemapFloatPlaneRun(plane.data(), plane.data(), w, h, params, progress);
    UnpackRows(out, plane.data());
    return outcome;
  } catch (const std::bad_alloc&) {
    return PlaneRunOutcome::kNoMemory;
  }
}

// Tone-maps a one-component 8- or 16-bit picture in place through float.
PlaneRunOutcome ToneMapIntegerPlane(SBxPicBuf* plane, const ToneMapParams& params,
                                    JobProgress* progress) {
  const uint32_t bits = plane->bitsPerComponent;
  if (!CBxPicBufAPI::ConvertBpcComp(plane, 32, 1)) return PlaneRunOutcome::kNoMemory;
  ScopedPicBuf result(plane->width, plane->height, 1, 32);
  if (IsEmpty(*result)) return PlaneRunOutcome::kNoMemory;
  if (bits == 16) ScaleFloatPicture(plane, kSixteenToWorking);
  const PlaneRunOutcome outcome = RemapPicturePlane(result.get(), plane, params, progress);
  if (bits == 16) ScaleFloatPicture(result.get(), kWorkingToSixteen);
  if (!CBxPicBufAPI::ConvertBpcComp(result.get(), bits, 1)) return PlaneRunOutcome::kNoMemory;
  std::swap(*plane, *result);  // each keeps storage made by ReinitHeap
  return outcome;
}

bool Stopped(PlaneRunOutcome o) {
  return o != PlaneRunOutcome::kDone;
}
bool Failed(PlaneRunOutcome o) {
  return o == PlaneRunOutcome::kRefused || o == PlaneRunOutcome::kNoMemory;
}

// Luma first, then the two chroma components when asked; result gets the padded
// colour picture back.
PlaneRunOutcome ToneMapColour(SBxPicBuf* result, const SBxPicBuf* padded,
                              const ToneMapParams& params, JobProgress* progress) {
  const int pw = padded->width, ph = padded->height;
  const uint32_t bits = padded->bitsPerComponent;
  ScopedPicBuf yuv(pw, ph, 3, bits);
  if (IsEmpty(*yuv) || !OverRowBands(yuv.get(), padded, CBxPicBufAPI::ConvertRGBtoYUV))
    return PlaneRunOutcome::kNoMemory;
  PlaneRunOutcome outcome = PlaneRunOutcome::kDone;
  const int planes = params.useExtraColors ? 3 : 1;
  for (int c = 0; c < planes; ++c) {
    ScopedPicBuf plane(pw, ph, 1, bits);
    if (IsEmpty(*plane)) return PlaneRunOutcome::kNoMemory;
    OverRowBands(plane.get(), yuv.get(), [c](SBxPicBuf* to, const SBxPicBuf* from) {
      return CBxPicBufAPI::ExtractComponent(to, c, from);
    });
    const PlaneRunOutcome o = ToneMapIntegerPlane(plane.get(), params, progress);
    if (Failed(o)) return o;
    if (Stopped(o)) outcome = o;  // a cancel: the later planes stop at once
    OverRowBands(yuv.get(), plane.get(), [c](SBxPicBuf* to, const SBxPicBuf* from) {
      return CBxPicBufAPI::InsertComponent(to, c, from);
    });
  }
  CBxPicBufAPI::ReinitHeap(result, pw, ph, 3, bits);
  if (IsEmpty(*result) || !OverRowBands(result, yuv.get(), CBxPicBufAPI::ConvertYUVtoRGB))
    return PlaneRunOutcome::kNoMemory;
  return outcome;
}

bool Supported(const SBxPicBuf& pic) {
  return (pic.bitsPerComponent == 8 || pic.bitsPerComponent == 16) &&
         (pic.components == 1 || pic.components == 3);
}

}  // namespace

int ToneMapProgressSteps(const SBxPicBuf& src, const ToneMapParams& params) {
  const int planes = src.components == 3 && params.useExtraColors ? 3 : 1;
  return 3 * params.levels * planes;
}

void PadReplicateEdges(SBxPicBuf* picture, int width, int height) {
  if (!picture || IsEmpty(*picture) || width <= 0 || height <= 0 || width > picture->width ||
      height > picture->height)
    return;
  const size_t bpp = BytesPerPixel(*picture);
  for (int y = 0; y < height; ++y) {
    uint8_t* row = RowPtr(*picture, y);
    const uint8_t* last = row + bpp * static_cast<size_t>(width - 1);
    for (int x = width; x < picture->width; ++x)
      std::memcpy(row + bpp * static_cast<size_t>(x), last, bpp);
  }
  for (int y = height; y < picture->height; ++y)
    std::memcpy(RowPtr(*picture, y), RowPtr(*picture, height - 1), picture->stride);
}

bool RemapPyramidPlane(SBxPicBuf* out, const SBxPicBuf* in, int levels, double threshold,
                       double noise, double power, double slope, JobProgress* progress) {
  ToneMapParams p;
  p.levels = levels, p.threshold = threshold, p.noise = noise, p.power = power, p.slope = slope;
  return RemapPicturePlane(out, in, p, progress) != PlaneRunOutcome::kDone;
}

bool LocalLaplacianToneMap(SBxPicBuf* dst, const SBxPicBuf* src, const ToneMapParams& params,
                           JobProgress* progress) {
  if (!dst || !src || IsEmpty(*src) || IsEmpty(*dst) || !SameGeometry(*dst, *src)) return true;
  if (!Supported(*src) || !ToneMapParamsValid(params)) {
    CBxPicBufAPI::Copy(dst, src);
    return true;
  }
  const int w = src->width, h = src->height;
  const int pw = ToneMapPaddedSize(w, params.levels), ph = ToneMapPaddedSize(h, params.levels);
  ScopedPicBuf padded(pw, ph, src->components, src->bitsPerComponent);
  ScopedPicBuf result;
  PlaneRunOutcome outcome = PlaneRunOutcome::kNoMemory;
  if (!IsEmpty(*padded)) {
    CBxPicBufAPI::CopyRect(padded.get(), src, CBxPoint{0, 0}, CBxPoint{0, 0}, CBxSize{w, h});
    PadReplicateEdges(padded.get(), w, h);
    if (src->components == 1) {
      std::swap(*result, *padded);
      outcome = ToneMapIntegerPlane(result.get(), params, progress);
    } else {
      outcome = ToneMapColour(result.get(), padded.get(), params, progress);
    }
  }
  if (Failed(outcome)) {
    CBxPicBufAPI::Copy(dst, src);
    return true;
  }
  CBxPicBufAPI::CopyRect(dst, result.get(), CBxPoint{0, 0}, CBxPoint{0, 0}, CBxSize{w, h});
  return Stopped(outcome);
}
