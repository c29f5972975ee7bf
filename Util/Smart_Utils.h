// Rectangle utilities for the smart-render protocol.
#pragma once

#include "AE_Effect.h"

// left >= right or top >= bottom.
bool IsEmptyRect(const PF_LRect* r);

// Grows dst to include src. An empty dst takes src whole, even an empty src;
// an empty src leaves a non-empty dst alone.
void UnionLRect(const PF_LRect* src, PF_LRect* dst);

// True when (x, y) lies on the border of r; all four sides count inclusively.
bool IsEdgePixel(PF_LRect* r, A_long x, A_long y);
