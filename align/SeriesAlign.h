#pragma once

#include <cstddef>
#include <memory>
#include <vector>

#include "align/Align.h"

// Alignment of a whole series, its pictures handed over one at a time in input
// order, as a caller streams them from their files: memory stays flat (no
// picture is kept; about a megabyte of prepared data per 12-megapixel picture).
//
// Every picture is estimated against the reference first. A picture that
// cannot be matched with the reference directly, typically one several stops
// brighter or darker, is estimated against a picture that lies between it and
// the reference in brightness and did align, and the two motions are composed:
// steps of 3 EV match where 6 EV do not. The partner is the earlier such
// picture nearest to it in brightness; when there is none, the picture waits
// for the next one in input order (a bracket shot from dark to bright has its
// darkest frames first), and settles when that one does.
//
// Contract for a streaming caller:
// - Start with the reference picture, then Add every picture 0..count-1 in
//   increasing order, each once, the reference's too (its picture is not looked
//   at and may be empty). A picture that could not be read is added empty and
//   left as it is.
// - After Add(i), pictures 0..Settled()-1 have their final motion. That is
//   i + 1 unless picture i (and the pictures before it that wait for it) waits
//   for picture i + 1: then their motions come with a later Add. After the last
//   picture every picture is settled. A caller that must use each motion at
//   once holds the waiting pictures (none in a series the reference matches
//   directly; in a bracket, the frames before the first one that matches) or
//   reads them again.
// - The motions are the same whether the caller holds, reads again or runs a
//   first pass for the motions alone: they depend on the pictures and their
//   order only, not on the thread count.
//
// Memory: the reference's prepared data and that of every picture that
// matched (a partner for later ones) or waits, about a megabyte each at 12
// megapixels; the partners' is released after the last picture. Time: a
// picture that matches the reference costs its estimate and the choice of its
// sample pixels (its prepared data); a partner's match costs one estimate more.
//
// Not thread-safe: one caller at a time.

struct SeriesAlignerState;

class SeriesAligner {
 public:
  SeriesAligner();
  ~SeriesAligner();
  SeriesAligner(const SeriesAligner&) = delete;
  SeriesAligner& operator=(const SeriesAligner&) = delete;

  // Starts a series of `count` pictures whose picture `reference` (from 0) is
  // `referencePicture`, asking for at most `model`; a series in progress is
  // dropped. True when the reference cannot be prepared (*reason, when given,
  // says why, as for PrepareAlignReference) or the numbers make no series:
  // every picture is then left as it is with that reason.
  bool Start(const SBxPicBuf& referencePicture, int count, int reference, AlignModel model,
             AlignReason* reason = nullptr);

  // Picture `index`, the next in input order. True when there is no series or
  // `index` is not the next one (nothing is done), or when memory ran out (the
  // picture is left as it is).
  bool Add(int index, const SBxPicBuf& picture);

  int Count() const;
  // Pictures 0..Settled()-1 have their final motion.
  int Settled() const;
  // The motion of a settled picture; for others, what is known so far (0 <=
  // index < Count()).
  const FrameMotion& Motion(int index) const;
  // Memory held, in bytes.
  size_t Bytes() const;

 private:
  std::unique_ptr<SeriesAlignerState> state_;
};
