#pragma once

#include <cstddef>
#include <memory>

#include "align/Motion.h"
#include "picture/SBxPicBuf.h"

// Motion estimation of a series against its reference picture, one picture at
// a time: the reference is prepared once into a compact object (a few reduced
// luminance planes and a few ten thousand sample pixels: about a megabyte,
// whatever the picture's size), then every other picture is estimated against
// it as it is loaded, so memory does not grow with the number of pictures.
//
// How: the pictures are compared through what does not depend on their
// exposure. A whole-pixel shift is searched on rank-threshold bitmaps of
// small levels; it is refined coarse to fine on luminance levels, the
// picture's values mapped onto the reference's by matching their histograms,
// with a gain and offset solved at every step and only pixels well exposed in
// both pictures taking part. The similarity is refined first, then, where the
// model asked for allows them, the camera turn (CameraTurn.h) and the general
// projective map from it on the finest levels; a richer model is kept only
// when it leaves clearly smaller differences. An estimate with thin support, a
// poor match or implausible numbers falls back to a simpler model, and a
// picture that no model explains is left where it lies. A picture that agrees
// with the reference no better aligned than as it is, is left as it is, so
// alignment never makes a picture worse.
//
// Threads: the luminance of a picture, the sample look-ups and their sums run
// on the TBB pool. The results do not depend on the thread count.

struct AlignReferenceData;

class AlignReference {
 public:
  AlignReference();
  ~AlignReference();
  AlignReference(AlignReference&&) noexcept;
  AlignReference& operator=(AlignReference&&) noexcept;
  AlignReference(const AlignReference&) = delete;
  AlignReference& operator=(const AlignReference&) = delete;

  bool Empty() const { return !data_; }
  int Width() const;
  int Height() const;
  // Memory held, in bytes.
  size_t Bytes() const;
  const AlignReferenceData* Data() const { return data_.get(); }
  // Takes over prepared data (the series aligner's).
  explicit AlignReference(std::unique_ptr<AlignReferenceData> data);

 private:
  friend bool PrepareAlignReference(const SBxPicBuf& picture, AlignReference* reference,
                                    AlignReason* reason);
  std::unique_ptr<AlignReferenceData> data_;
};

// Smallest side of a picture that can be aligned.
constexpr int kAlignMinSide = 16;

// Prepares `picture` (8 or 16 bits, any component count; the luminance of
// blue-green-red colour, or the first component) as the reference. True on
// failure, with `reference` emptied and *reason (when given) saying why:
// kUnsupported (no pixels, another depth, a side below kAlignMinSide) or
// kOutOfMemory. A reference without detail (a black frame) is no failure: the
// pictures estimated against it are left as they are.
bool PrepareAlignReference(const SBxPicBuf& picture, AlignReference* reference,
                           AlignReason* reason = nullptr);

// The motion of `picture` against the prepared reference, with at most the
// model asked for. `motion` is always filled and always safe to use: aligned,
// still, or left as it is with the reason. True when the picture could not be
// examined at all (the reference is empty, the picture has no pixels or
// another depth, its size differs from the reference's, memory ran out): the
// picture is then left as it is with that reason.
bool EstimateMotion(const AlignReference& reference, const SBxPicBuf& picture, AlignModel model,
                    FrameMotion* motion);
