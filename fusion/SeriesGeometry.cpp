#include "fusion/SeriesGeometry.h"

#include <algorithm>

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
