#include "model/jnmaths.h"

#include <cmath>
#include <limits>

namespace qv {

float FitAspect(float w, float h, float boxW, float boxH) {
  if (boxW / boxH >= w / h) return boxH / h;
  return boxW / w;
}

int RoundHalfUp(double x) {
  if (std::isnan(x)) return 0;
  // Out-of-range values saturate rather than invoke an undefined conversion.
  if (x >= static_cast<double>(std::numeric_limits<int>::max()))
    return std::numeric_limits<int>::max();
  if (x <= static_cast<double>(std::numeric_limits<int>::min()))
    return std::numeric_limits<int>::min();
  const double t = std::trunc(x);
  const int r = static_cast<int>(t);
  return x - t > 0.5 ? r + 1 : r;
}

double FracPart(double x) { return x - std::trunc(x); }

}  // namespace qv
