// A header form the variant generator does not know (a bit-field): it must
// stop and name the place rather than write a variant that leaves it as is.
#pragma once

struct Odd {
  unsigned flags : 3;
};
