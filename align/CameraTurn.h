#pragma once

#include <array>

#include "align/Motion.h"

// A turn of the camera about its centre of projection, with a change of zoom:
// what a hand-held camera does between two frames of a distant scene. It maps
// the picture by R_z S M, where M turns the view about an axis in the picture
// plane so that the centre moves by (shiftX, shiftY), R_z S rolls and zooms
// about the centre, and the perspective that goes with the turn follows from
// the shift and the lens: `curvature` is (half diagonal / focal length)^2 (0: a
// very long lens, where the turn is a shift; about 0.19 for a normal lens, 1
// for a wide one).
//
// Five numbers where a general projective map has eight: where only part of
// the picture holds detail (a sky without texture, a clipped half), the turn
// is still pinned down everywhere, while the projective map's extra freedom
// bends the empty part.
//
// Coordinates: the full-size picture's, centred and divided by its half
// diagonal; every parameter then moves the corners by comparable amounts.
struct CameraTurn {
  static constexpr int kParameters = 5;
  enum Parameter { kShiftX, kShiftY, kAngle, kLogScale, kCurvature };

  // The frame: centre and half diagonal of the full-size picture, in pixels.
  double centreX = 0.0, centreY = 0.0, radius = 1.0;
  std::array<double, kParameters> p{};
};

// The identity turn of a width x height picture.
CameraTurn IdentityTurn(int width, int height);
// The turn with the shift, roll and zoom of `similarity` (a map with no
// perspective part) and no curvature.
CameraTurn TurnFromSimilarity(const Homography& similarity, int width, int height);
// The turn as a map of the full-size picture (reference pixel -> source point);
// false when the curvature is beyond what any lens gives for this shift.
bool TurnMap(const CameraTurn& turn, Homography* map);
// How the map `atLevel` (the turn seen between the planes of `level`, then in
// the coordinates `toFrame` takes them to) changes with each parameter, as maps
// composed after it: tangent k is atLevel^-1 d(atLevel)/dp_k. Displacing a
// point x of that frame by parameter step d_k moves it along G_k x. False as
// for TurnMap.
bool TurnTangents(const CameraTurn& turn, int level, const Homography& toFrame,
                  std::array<std::array<double, 9>, CameraTurn::kParameters>* tangents);
