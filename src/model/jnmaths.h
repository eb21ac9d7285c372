// Arithmetic helpers for the image panels and screen scaling.
#pragma once

namespace qv {

// The largest scale at which a w x h picture fits a boxW x boxH box, computed
// in single precision.
float FitAspect(float w, float h, float boxW, float boxH);

// x truncated toward zero, plus one when the dropped fraction exceeds 0.5:
// 2.5 gives 2, 2.51 gives 3, -1.7 gives -1 (exact halves round down and
// negatives truncate; screen scaling depends on exactly this).
int RoundHalfUp(double x);

// x less its part truncated toward zero: -1.25 gives -0.25.
double FracPart(double x);

}  // namespace qv
