// Aligns picture files with the alignment engine's series aligner, streaming
// them in input order, for the comparison scripts: prints each picture's motion
// (its homography and the engine's report) as it settles, the time of the
// engine's calls alone (file decoding and writing left out) and the memory it
// held, and writes the aligned pictures when asked.
//
//   melvaro_align_files [--model auto|shift|rigid|projective] [--reference K]
//                       [--out PREFIX] IN1 IN2 ...
//
// K counts from 1 (default: the middle picture, the (n/2+1)-th). With --out,
// picture i is written as PREFIX<i>.tif (numbered from 1) with its coverage as
// alpha; pictures that are still or left as they were are written unchanged.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "align/SeriesAlign.h"
#include "align/Warp.h"
#include "picture/CBxPicBufAPI.h"
#include "picture/ImageLoad.h"
#include "picture/ImageSave.h"

namespace {

double Milliseconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - since)
      .count();
}

const char* OutcomeName(AlignOutcome outcome) {
  switch (outcome) {
    case AlignOutcome::kAligned:
      return "aligned";
    case AlignOutcome::kStill:
      return "still";
    case AlignOutcome::kLeftAsIs:
      return "left";
  }
  return "left";
}

bool ParseModel(const char* text, AlignModel* model) {
  const std::string s = text;
  if (s == "auto")
    *model = AlignModel::kAuto;
  else if (s == "shift")
    *model = AlignModel::kShift;
  else if (s == "rigid")
    *model = AlignModel::kRigid;
  else if (s == "projective")
    *model = AlignModel::kProjective;
  else
    return false;
  return true;
}

bool Load(const std::string& path, ScopedPicBuf* picture) {
  ScopedPicBuf mask;
  if (LoadImageFile(picture->get(), mask.get(), path)) {
    std::fprintf(stderr, "cannot read %s\n", path.c_str());
    return false;
  }
  return true;
}

// Prints picture k's motion and, with a prefix, writes it aligned.
bool Report(int k, const FrameMotion& motion, double ms, const SBxPicBuf& picture,
            const std::string& prefix, double* warpMs) {
  const auto& m = motion.toSource.m;
  std::printf(
      "frame %d %s %s ms %.1f H %.9g %.9g %.9g %.9g %.9g %.9g %.12g %.12g %.9g shift %.3f %.3f "
      "rot %.4f scale %.5f corner %.3f support %.3f corr %.4f residual %.4f via %d reason "
      "\"%s\"\n",
      k + 1, OutcomeName(motion.outcome), MotionModelName(motion.model), ms, m[0], m[1], m[2], m[3],
      m[4], m[5], m[6], m[7], m[8], motion.shiftX, motion.shiftY, motion.rotationDegrees,
      motion.scale, motion.cornerMotion, motion.support, motion.correlation, motion.residual,
      motion.via + 1, AlignReasonText(motion.reason));
  if (prefix.empty()) return true;
  ScopedPicBuf aligned, coverage;
  const auto start = std::chrono::steady_clock::now();
  if (WarpPicture(picture, motion.toSource, aligned.get(), coverage.get())) {
    std::fprintf(stderr, "cannot resample picture %d\n", k + 1);
    return false;
  }
  *warpMs += Milliseconds(start);
  if (aligned->bitsPerComponent == 16) CBxPicBufAPI::ConvertBpcComp(coverage.get(), 16, 1);
  const std::string out = prefix + std::to_string(k + 1) + ".tif";
  try {
    if (WriteImageFile(aligned.get(), aligned->components == 3 ? coverage.get() : nullptr, out, {},
                       kFormatFromName, 0)) {
      std::fprintf(stderr, "cannot write %s\n", out.c_str());
      return false;
    }
  } catch (const std::exception&) {
    std::fprintf(stderr, "cannot write %s\n", out.c_str());
    return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  AlignModel model = AlignModel::kAuto;
  int reference = 0;
  std::string prefix;
  std::vector<std::string> files;
  for (int i = 1; i < argc; ++i) {
    if (!std::strcmp(argv[i], "--model") && i + 1 < argc) {
      if (!ParseModel(argv[++i], &model)) return 2;
    } else if (!std::strcmp(argv[i], "--reference") && i + 1 < argc) {
      reference = std::atoi(argv[++i]);
    } else if (!std::strcmp(argv[i], "--out") && i + 1 < argc) {
      prefix = argv[++i];
    } else {
      files.push_back(argv[i]);
    }
  }
  if (files.size() < 2) {
    std::fprintf(stderr,
                 "usage: melvaro_align_files [--model M] [--reference K] [--out PREFIX] "
                 "IN1 IN2 ...\n");
    return 2;
  }
  const int count = static_cast<int>(files.size());
  const int ref = reference >= 1 && reference <= count ? reference - 1 : count / 2;

  ScopedPicBuf picture;
  if (!Load(files[static_cast<size_t>(ref)], &picture)) return 1;
  auto start = std::chrono::steady_clock::now();
  std::clock_t cpuStart = std::clock();
  double cpuMs = 0.0;
  auto cpuSince = [](std::clock_t since) {
    return 1000.0 * static_cast<double>(std::clock() - since) / CLOCKS_PER_SEC;
  };
  SeriesAligner aligner;
  if (aligner.Start(*picture, count, ref, model)) {
    std::fprintf(stderr, "cannot prepare the reference\n");
    return 1;
  }
  double totalMs = Milliseconds(start);
  cpuMs += cpuSince(cpuStart);
  std::printf("prepare_ms %.1f reference %d bytes %zu\n", totalMs, ref + 1, aligner.Bytes());
  double warpMs = 0.0;
  std::vector<double> addMs(files.size(), 0.0);
  int reported = 0;
  size_t peakBytes = aligner.Bytes();
  for (int i = 0; i < count; ++i) {
    if (!Load(files[static_cast<size_t>(i)], &picture)) return 1;
    start = std::chrono::steady_clock::now();
    cpuStart = std::clock();
    aligner.Add(i, *picture);
    addMs[static_cast<size_t>(i)] = Milliseconds(start);
    cpuMs += cpuSince(cpuStart);
    totalMs += addMs[static_cast<size_t>(i)];
    peakBytes = std::max(peakBytes, aligner.Bytes());
    for (; reported < aligner.Settled(); ++reported) {
      const int k = reported;
      // A picture that waited for this one is read again to be written.
      ScopedPicBuf again;
      if (k != i && !prefix.empty() && !Load(files[static_cast<size_t>(k)], &again)) return 1;
      if (!Report(k, aligner.Motion(k), addMs[static_cast<size_t>(k)], k != i ? *again : *picture,
                  prefix, &warpMs))
        return 1;
    }
  }
  std::printf("held_bytes %zu\n", peakBytes);
  // Wall time, and the processor time of every thread (the load of other work
  // on the machine changes the first, hardly the second).
  std::printf("estimation_ms %.1f cpu_ms %.1f\n", totalMs, cpuMs);
  if (!prefix.empty()) std::printf("warp_ms %.1f\n", warpMs);
  return 0;
}
