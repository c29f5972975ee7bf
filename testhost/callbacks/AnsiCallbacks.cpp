// The ANSI group of the utility callbacks: the C library functions the host
// lends to effects. sprintf is a real formatter; writing into the out-data's
// return_msg is bounded by that buffer's 256 bytes.
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <vector>

#include "Callbacks.h"
#include "HostCall.h"

namespace zelvan::testhost {
namespace {

// Math functions are traced, since which host calls an effect makes is
// observable, but they answer even without a serving host, and the answer
// never depends on the tracing: it is computed first.
template <const char* Function, class Args, class F>
A_FpLong Traced(const Args& args, F f) noexcept {
  const A_FpLong r = f();
  if (CurrentCore() != nullptr) (void)HostCall<Function>(args, [](HostCore&) -> A_Err { return 0; });
  return r;
}

std::string Num(double x) {
  char text[40];
  std::snprintf(text, sizeof text, "%.17g", x);
  return text;
}

// Each is served under the C library's name for it (see ServedFunctions.h).
#define ZELVAN_UNARY(NAME)                                                                   \
  constexpr char kAnsi_##NAME[] = #NAME;                                                     \
  A_FpLong Ansi_##NAME(A_FpLong x) noexcept {                                                \
    return Traced<kAnsi_##NAME>([x] { return "x=" + Num(x); }, [x] { return std::NAME(x); }); \
  }
#define ZELVAN_BINARY(NAME, A, B)                                                            \
  constexpr char kAnsi_##NAME[] = #NAME;                                                     \
  A_FpLong Ansi_##NAME(A_FpLong A, A_FpLong B) noexcept {                                    \
    return Traced<kAnsi_##NAME>([A, B] { return #A "=" + Num(A) + " " #B "=" + Num(B); },    \
                                [A, B] { return std::NAME(A, B); });                         \
  }

ZELVAN_UNARY(atan)
ZELVAN_BINARY(atan2, y, x)
ZELVAN_UNARY(ceil)
ZELVAN_UNARY(cos)
ZELVAN_UNARY(exp)
ZELVAN_UNARY(fabs)
ZELVAN_UNARY(floor)
ZELVAN_BINARY(fmod, x, y)
ZELVAN_BINARY(hypot, x, y)
ZELVAN_UNARY(log)
ZELVAN_UNARY(log10)
ZELVAN_BINARY(pow, x, y)
ZELVAN_UNARY(sin)
ZELVAN_UNARY(sqrt)
ZELVAN_UNARY(tan)
ZELVAN_UNARY(asin)
ZELVAN_UNARY(acos)

#undef ZELVAN_UNARY
#undef ZELVAN_BINARY

std::string Quoted(const char* text) {
  if (text == nullptr) return "null";
  std::string out = "\"";
  for (const char* p = text; *p != '\0'; ++p) {
    if (*p == '\r') {
      out += "\\r";
    } else if (*p == '\n') {
      out += "\\n";
    } else {
      out += *p;
    }
  }
  return out + "\"";
}

// Formats into buffer; room 0 means the whole text, as the C function writes it.
int Format(A_char* buffer, std::size_t room, const A_char* format, va_list args) {
  va_list again;
  va_copy(again, args);
  const int needed = std::vsnprintf(nullptr, 0, format, args);
  int written = -1;
  if (needed >= 0) {
    const std::size_t size = room == 0 ? std::size_t(needed) + 1 : room;
    std::vsnprintf(buffer, size, format, again);
    written = int(std::strlen(buffer));
  }
  va_end(again);
  return written;
}

constexpr char kAnsi_sprintf[] = "sprintf";
int Ansi_sprintf(A_char* buffer, const A_char* format, ...) noexcept {
  HostCore* core = CurrentCore();
  va_list args;
  va_start(args, format);
  int written = -1;
  if (core == nullptr) {
    if (buffer != nullptr && format != nullptr) written = Format(buffer, 0, format, args);
  } else {
    const bool to_return_msg = buffer != nullptr && core->IsReturnMessage(buffer);
    auto trace_args = [&] {
      return std::string(to_return_msg ? "dest=return_msg" : "dest=other") + " format=" + Quoted(format);
    };
    (void)HostCall<kAnsi_sprintf>(trace_args, [&](HostCore& h) -> A_Err {
      if (buffer == nullptr || format == nullptr) {
        h.accounts().Violation("sprintf with a null buffer or format");
        return 0;
      }
      // Unknown buffers get the whole text; the out-data's message is cut at
      // its size, and the cut is reported.
      std::size_t room = 0;
      if (to_return_msg) {
        va_list probe;
        va_copy(probe, args);
        const int needed = std::vsnprintf(nullptr, 0, format, probe);
        va_end(probe);
        room = sizeof(PF_OutData::return_msg);
        if (needed >= 0 && std::size_t(needed) + 1 > room) {
          // Write first: a report that cannot be recorded must not lose the text.
          written = Format(buffer, room, format, args);
          h.accounts().Violation("sprintf into return_msg needed " + std::to_string(needed + 1) + " bytes, has " +
                               std::to_string(room));
          return 0;
        }
      }
      written = Format(buffer, room, format, args);
      return 0;
    });
  }
  va_end(args);
  return written;
}

// The copy has no way to report a failure, so it never depends on the tracing.
constexpr char kAnsi_strcpy[] = "strcpy";
A_char* Ansi_strcpy(A_char* dest, const A_char* src) noexcept {
  if (dest != nullptr && src != nullptr) std::memmove(dest, src, std::strlen(src) + 1);
  if (CurrentCore() == nullptr) return dest;
  (void)HostCall<kAnsi_strcpy>([&] { return "src=" + Quoted(src); }, [&](HostCore& h) -> A_Err {
    if (dest == nullptr || src == nullptr) h.accounts().Violation("strcpy with a null destination or source");
    return 0;
  });
  return dest;
}

}  // namespace

PF_ANSICallbacks AnsiCallbacks() {
  PF_ANSICallbacks a{};
  a.atan = Ansi_atan;
  a.atan2 = Ansi_atan2;
  a.ceil = Ansi_ceil;
  a.cos = Ansi_cos;
  a.exp = Ansi_exp;
  a.fabs = Ansi_fabs;
  a.floor = Ansi_floor;
  a.fmod = Ansi_fmod;
  a.hypot = Ansi_hypot;
  a.log = Ansi_log;
  a.log10 = Ansi_log10;
  a.pow = Ansi_pow;
  a.sin = Ansi_sin;
  a.sqrt = Ansi_sqrt;
  a.tan = Ansi_tan;
  a.sprintf = Ansi_sprintf;
  a.strcpy = Ansi_strcpy;
  a.asin = Ansi_asin;
  a.acos = Ansi_acos;
  return a;
}

}  // namespace zelvan::testhost
