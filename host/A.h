// Basic scalar types of the host's plug-in interface.
#pragma once

#include <cstdint>

typedef int32_t A_long;
typedef uint32_t A_u_long;
typedef int16_t A_short;
typedef uint16_t A_u_short;
typedef int64_t A_longlong;
typedef uint64_t A_u_longlong;
typedef char A_char;
typedef uint8_t A_u_char;
typedef uint8_t A_Boolean;
typedef double A_FpLong;
typedef float A_FpShort;
typedef A_long A_Err;
typedef uint64_t A_HandleSize;

// A host time: seconds = value / scale, value signed, scale unsigned.
struct A_Time {
  A_long value;
  A_u_long scale;
};

struct A_Ratio {
  A_long num;
  A_u_long den;
};
