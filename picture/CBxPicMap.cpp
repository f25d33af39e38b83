#include "picture/CBxPicMap.h"

#include <cmath>

void CBxPicMap::Compute(double dstCx, double dstCy, double srcCx, double srcCy, double /*angle*/,
                        double scale) {
  dstCx_ = dstCx;
  dstCy_ = dstCy;
  srcCx_ = srcCx;
  srcCy_ = srcCy;
  scale_ = scale;
}

void CBxPicMap::MapPointDstToSrc(double* sx, double* sy, int dx, int dy) const {
  *sx = (dx - dstCx_) / scale_ + srcCx_;
  *sy = (dy - dstCy_) / scale_ + srcCy_;
}

void CBxPicMap::MapPointSrcToDst(int* dx, int* dy, double sx, double sy) const {
  *dx = static_cast<int>(std::floor((sx - srcCx_) * scale_ + dstCx_ + 0.5));
  *dy = static_cast<int>(std::floor((sy - srcCy_) * scale_ + dstCy_ + 0.5));
}
