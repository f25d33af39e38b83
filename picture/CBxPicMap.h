#pragma once

// The view's coordinate map between a source picture and a destination
// (the drawing surface): dst = (src - srcC) * scale + dstC. Rotation is not
// supported; the angle is accepted for the interface and must be 0.
class CBxPicMap {
 public:
  void Compute(double dstCx, double dstCy, double srcCx, double srcCy, double angle, double scale);

  // The source point that destination pixel (dx, dy) shows.
  void MapPointDstToSrc(double* sx, double* sy, int dx, int dy) const;
  // The destination pixel of source point (sx, sy), rounded to nearest.
  void MapPointSrcToDst(int* dx, int* dy, double sx, double sy) const;

  double Scale() const { return scale_; }

 private:
  double dstCx_ = 0.0;
  double dstCy_ = 0.0;
  double srcCx_ = 0.0;
  double srcCy_ = 0.0;
  double scale_ = 1.0;
};
