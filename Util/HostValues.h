// Small host values built field by field. A braced list such as A_Time{v, s}
// fills fields in declaration order, so it holds only for one layout; these
// name every field and hold for any layout of the host's structs.
#pragma once

#include "AE_Effect.h"

namespace zelvan {

inline A_Time MakeTime(A_long value, A_u_long scale) {
  A_Time t{};
  t.value = value;
  t.scale = scale;
  return t;
}

inline PF_LRect MakeRect(A_long left, A_long top, A_long right, A_long bottom) {
  PF_LRect r{};
  r.left = left;
  r.top = top;
  r.right = right;
  r.bottom = bottom;
  return r;
}

inline PF_RationalScale MakeScale(A_long num, A_u_long den) {
  PF_RationalScale s{};
  s.num = num;
  s.den = den;
  return s;
}

}  // namespace zelvan
