// Host values made field by field: the host's structures are reached by name
// only, never by the order of their members.
#pragma once

#include "AE_Effect.h"

namespace zelvan {

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

inline A_Time MakeTime(A_long value, A_u_long scale) {
  A_Time t{};
  t.value = value;
  t.scale = scale;
  return t;
}

}  // namespace zelvan
