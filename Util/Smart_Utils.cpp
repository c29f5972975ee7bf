#include "Smart_Utils.h"

bool IsEmptyRect(const PF_LRect* r) { return r->left >= r->right || r->top >= r->bottom; }

void UnionLRect(const PF_LRect* src, PF_LRect* dst) {
  if (IsEmptyRect(dst)) {
    *dst = *src;
  } else if (!IsEmptyRect(src)) {
    if (src->left < dst->left) dst->left = src->left;
    if (src->top < dst->top) dst->top = src->top;
    if (src->right > dst->right) dst->right = src->right;
    if (src->bottom > dst->bottom) dst->bottom = src->bottom;
  }
}

bool IsEdgePixel(PF_LRect* r, A_long x, A_long y) {
  const bool on_vertical_side = x == r->left || x == r->right;
  const bool on_horizontal_side = y == r->top || y == r->bottom;
  if (on_vertical_side) {
    return r->top <= y && y <= r->bottom;
  }
  if (on_horizontal_side) {
    return r->left <= x && x <= r->right;
  }
  return false;
}
