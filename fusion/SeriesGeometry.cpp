#include "fusion/SeriesGeometry.h"

#include <algorithm>
#include <cmath>

namespace {

// One axis of the preview rectangle: [low, high) for the rounded point p.
void PlaceSpan(double p, int size, int side, int reach, double* low, double* high) {
  const double extent = static_cast<double>(size);
  double end = std::min(p + reach, extent);
  const double start = end - side > 0.0 ? end - side : 0.0;
  end = start + side < extent ? start + side : extent;
  *low = start;
  *high = end;
}

int WholeEdge(double edge, int limit) {
  const int v = std::min(static_cast<int>(edge + 0.5), limit);
  return v < 1 ? 0 : v;
}

}  // namespace

PreviewRect PlacePreviewRect(double centreX, double centreY, int width, int height, int side,
                             int reach) {
  PreviewRect r;
  PlaceSpan(std::floor(centreX + 0.5), width, side, reach, &r.left, &r.right);
  PlaceSpan(std::floor(centreY + 0.5), height, side, reach, &r.top, &r.bottom);
  return r;
}

CBxRect IntegerPreviewRect(const PreviewRect& rect, int width, int height) {
  return CBxRect{WholeEdge(rect.left, width), WholeEdge(rect.top, height),
                 WholeEdge(rect.right, width), WholeEdge(rect.bottom, height)};
}

CBxRect WorkRegion(const CBxRect& preview, int width, int height, int margin) {
  const int left = preview.left - margin;
  const int top = preview.top - margin;
  return CBxRect{left < 1 ? 0 : left, top < 1 ? 0 : top, std::min(preview.right + margin, width),
                 std::min(preview.bottom + margin, height)};
}

std::vector<SeriesPart> SplitSeries(int count) {
  if (count < 5) return {{0, count}};
  if (count < 9) return {{0, count / 2}, {count / 2, count}};
  const int third = count / 3;
  return {{0, third}, {third, 2 * third}, {2 * third, count}};
}
