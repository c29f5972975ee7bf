#include "Copy.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <new>
#include <thread>
#include <type_traits>
#include <vector>

#include "PixelWorld.h"

#if defined(__GNUC__) || defined(_MSC_VER)
#define ZELVAN_RESTRICT __restrict
#else
#define ZELVAN_RESTRICT
#endif

// SSE2 is part of every x86-64 target; other targets, or a build defining
// ZELVAN_PIXELS_PORTABLE, take the portable kernels, which give the same results.
#if !defined(ZELVAN_PIXELS_PORTABLE) && \
    (defined(__SSE2__) || defined(_M_X64) || (defined(_M_IX86_FP) && _M_IX86_FP >= 2))
#define ZELVAN_SSE2 1
#include <emmintrin.h>
#else
#define ZELVAN_SSE2 0
#endif

namespace zelvan::pixels {

namespace {

using i64 = std::int64_t;

// Fixed-point weights of one sample sum to exactly this, so a constant
// colour stays constant and an identity axis is exact.
constexpr int kWeightBits = 14;
constexpr std::uint32_t kWeightOne = 1u << kWeightBits;
// Bounds the filter tables (samples times taps) against absurd reductions.
constexpr i64 kMaxTableEntries = i64{1} << 24;
// Below this many destination pixels a second thread costs more than it saves.
constexpr i64 kMinPixelsPerThread = 64 * 1024;

std::atomic<int> g_callback_threads{1};

struct Rect64 {
  i64 left, top, right, bottom;
};

Rect64 ToRect64(const PF_LRect* r, const PF_EffectWorld& w) {
  if (r == nullptr) return Rect64{0, 0, w.width, w.height};
  return Rect64{r->left, r->top, r->right, r->bottom};
}

bool HasPixels(const PF_EffectWorld& w) { return w.width > 0 && w.height > 0; }

PF_Err CheckWorld(const PF_EffectWorld& w, A_long bpp, A_long bpc) {
  if (w.width < 0 || w.height < 0) return PF_Err_BAD_CALLBACK_PARAM;
  if (!HasPixels(w)) return PF_Err_NONE;
  if (w.data == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
  if (static_cast<i64>(w.rowbytes) < static_cast<i64>(w.width) * bpp) return PF_Err_BAD_CALLBACK_PARAM;
  if (w.rowbytes % bpc != 0 || reinterpret_cast<std::uintptr_t>(w.data) % static_cast<std::uintptr_t>(bpc) != 0)
    return PF_Err_BAD_CALLBACK_PARAM;
  return PF_Err_NONE;
}

// [first, last) byte addresses of a world's pixels.
void ByteSpan(const PF_EffectWorld& w, A_long bpp, std::uintptr_t& first, std::uintptr_t& last) {
  first = reinterpret_cast<std::uintptr_t>(w.data);
  last = first + static_cast<std::uintptr_t>(w.rowbytes) * static_cast<std::uintptr_t>(w.height - 1) +
         static_cast<std::uintptr_t>(w.width) * static_cast<std::uintptr_t>(bpp);
}

bool Overlap(const PF_EffectWorld& a, const PF_EffectWorld& b, A_long bpp) {
  if (!HasPixels(a) || !HasPixels(b)) return false;
  std::uintptr_t a0, a1, b0, b1;
  ByteSpan(a, bpp, a0, a1);
  ByteSpan(b, bpp, b0, b1);
  return a0 < b1 && b0 < a1;
}

unsigned char* RowAt(const PF_EffectWorld& w, i64 y) {
  return static_cast<unsigned char*>(w.data) + static_cast<std::ptrdiff_t>(y) * w.rowbytes;
}

void Zero(unsigned char* row, i64 x0, i64 x1, A_long bpp) {
  if (x1 > x0) std::memset(row + x0 * bpp, 0, static_cast<std::size_t>((x1 - x0) * bpp));
}

// --- equal sizes: exact copy ------------------------------------------------

// Copies this large bypass the cache (streaming stores): ordinary stores
// would first read every destination line, and the copy would evict the
// whole cache anyway. Smaller copies (up to a 1920 x 1080 8-bit world) stay
// cached for whoever reads the result next.
constexpr i64 kStreamingBytes = i64{8} << 20;

void CopyRow(unsigned char* ZELVAN_RESTRICT out, const unsigned char* ZELVAN_RESTRICT in, std::size_t n,
             bool streaming) {
#if ZELVAN_SSE2
  if (streaming && n >= 256) {
    const std::size_t head = (16 - (reinterpret_cast<std::uintptr_t>(out) & 15)) & 15;
    std::memcpy(out, in, head);
    std::size_t i = head;
    for (; i + 64 <= n; i += 64) {
      const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i));
      const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i + 16));
      const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i + 32));
      const __m128i d = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i + 48));
      _mm_stream_si128(reinterpret_cast<__m128i*>(out + i), a);
      _mm_stream_si128(reinterpret_cast<__m128i*>(out + i + 16), b);
      _mm_stream_si128(reinterpret_cast<__m128i*>(out + i + 32), c);
      _mm_stream_si128(reinterpret_cast<__m128i*>(out + i + 48), d);
    }
    std::memcpy(out + i, in + i, n - i);
    return;
  }
#endif
  (void)streaming;
  std::memcpy(out, in, n);
}

void CopyUnscaled(const PF_EffectWorld& src, PF_EffectWorld& dst, const Rect64& s, const Rect64& d, i64 cx0,
                  i64 cy0, i64 cx1, i64 cy1, A_long bpp) {
  const i64 ox = s.left - d.left;
  const i64 oy = s.top - d.top;
  // Whole worlds without padding: one block.
  if (ox == 0 && oy == 0 && cx0 == 0 && cy0 == 0 && cx1 == dst.width && cy1 == dst.height &&
      src.width == dst.width && src.height == dst.height && src.rowbytes == dst.rowbytes &&
      static_cast<i64>(src.rowbytes) == static_cast<i64>(src.width) * bpp) {
    const i64 bytes = static_cast<i64>(src.rowbytes) * src.height;
    CopyRow(static_cast<unsigned char*>(dst.data), static_cast<const unsigned char*>(src.data),
            static_cast<std::size_t>(bytes), bytes >= kStreamingBytes);
#if ZELVAN_SSE2
    if (bytes >= kStreamingBytes) _mm_sfence();
#endif
    return;
  }
  // Destination columns [vx0, vx1) read source columns inside the source world.
  const i64 vx0 = std::clamp<i64>(-ox, cx0, cx1);
  const i64 vx1 = std::clamp<i64>(static_cast<i64>(src.width) - ox, vx0, cx1);
  const bool streaming = (vx1 - vx0) * bpp * (cy1 - cy0) >= kStreamingBytes;
  for (i64 y = cy0; y < cy1; ++y) {
    unsigned char* out = RowAt(dst, y);
    const i64 sy = y + oy;
    if (sy < 0 || sy >= src.height || vx0 >= vx1) {
      Zero(out, cx0, cx1, bpp);
      continue;
    }
    Zero(out, cx0, vx0, bpp);
    CopyRow(out + vx0 * bpp, RowAt(src, sy) + (vx0 + ox) * bpp, static_cast<std::size_t>((vx1 - vx0) * bpp), streaming);
    Zero(out, vx1, cx1, bpp);
  }
#if ZELVAN_SSE2
  if (streaming) _mm_sfence();  // streamed stores reach memory before the caller reads it
#endif
}

// --- different sizes: filter tables ------------------------------------------

// One axis of a scaled copy. Destination indices [d0, d1) are written;
// [z0, z1) are sampled, the rest lie outside the source world.
struct Axis {
  i64 d0 = 0, d1 = 0, z0 = 0, z1 = 0;
  int taps = 0;                      // source pixels per sample
  int stride = 0;                    // weights per sample: taps, rounded up to even for fixed point
  i64 lo = 0, hi = 0;                // source indices any sample reads
  std::vector<std::int32_t> start;   // per sample: first source index
  std::vector<std::int16_t> wfix;    // per sample: weights summing to kWeightOne, zero-padded
  std::vector<float> wflt;           // per sample: weights summing to about 1
  i64 samples() const { return z1 - z0; }
};

// Source rectangle [s0, s0 + slen) maps onto destination [t0, t0 + tlen);
// [d0, d1) is the clipped destination range, world the source world's size.
PF_Err BuildAxis(i64 s0, i64 slen, i64 t0, i64 tlen, i64 d0, i64 d1, i64 world, bool fixed, Axis& a) {
  a.d0 = d0;
  a.d1 = d1;
  a.z0 = a.z1 = d0;
  const i64 lo = std::max<i64>(s0, 0);
  const i64 hi = std::min<i64>(s0 + slen, world);
  if (lo >= hi) return PF_Err_NONE;

  const double scale = static_cast<double>(slen) / static_cast<double>(tlen);
  const double radius = std::max(1.0, scale);
  const double flo = static_cast<double>(lo);
  const double fhi = static_cast<double>(hi);
  auto centre = [&](i64 x) { return static_cast<double>(s0) + (static_cast<double>(x - t0) + 0.5) * scale; };

  // The mapping is monotonic, so the sampled indices form one run.
  i64 x = d0;
  while (x < d1 && !(centre(x) >= flo)) ++x;
  a.z0 = x;
  while (x < d1 && centre(x) < fhi) ++x;
  a.z1 = x;
  const i64 n = a.samples();
  if (n == 0) return PF_Err_NONE;

  // First and last taps inside the source, clamped as doubles before any
  // integer conversion so that no rectangle can overflow one.
  std::vector<i64> first(static_cast<std::size_t>(n)), last(static_cast<std::size_t>(n));
  i64 max_taps = 1;
  for (i64 j = 0; j < n; ++j) {
    const double c = centre(a.z0 + j) - 0.5;
    const double fa = std::clamp(std::floor(c - radius) + 1.0, flo, fhi - 1.0);
    const double fb = std::clamp(std::ceil(c + radius) - 1.0, fa, fhi - 1.0);
    first[j] = static_cast<i64>(fa);
    last[j] = static_cast<i64>(fb);
    max_taps = std::max(max_taps, last[j] - first[j] + 1);
  }
  if (max_taps + 1 > kMaxTableEntries / n) return PF_Err_OUT_OF_MEMORY;
  a.taps = static_cast<int>(max_taps);
  a.stride = fixed ? (a.taps + 1) / 2 * 2 : a.taps;
  const std::size_t entries = static_cast<std::size_t>(n) * static_cast<std::size_t>(a.stride);
  a.start.resize(static_cast<std::size_t>(n));
  if (fixed)
    a.wfix.assign(entries, 0);
  else
    a.wflt.assign(entries, 0.0f);

  std::vector<double> w(static_cast<std::size_t>(max_taps));
  a.lo = hi;
  a.hi = lo;
  for (i64 j = 0; j < n; ++j) {
    const double c = centre(a.z0 + j) - 0.5;
    const i64 ta = first[j], tb = last[j];
    const i64 count = tb - ta + 1;
    for (i64 k = 0; k < count; ++k) w[k] = std::max(0.0, 1.0 - std::fabs(static_cast<double>(ta + k) - c) / radius);
    // Taps beyond the source fold onto its edge pixels (clamp to edge);
    // their sums are taken in closed form, since a huge reduction may have
    // billions of them.
    const double fa = std::floor(c - radius) + 1.0;
    if (fa < flo) {
      const double m = flo - fa;
      const double far_d = c - fa, near_d = c - (flo - 1.0);
      w[0] += std::max(0.0, m * (1.0 - (far_d + near_d) / (2.0 * radius)));
    }
    const double fb = std::ceil(c + radius) - 1.0;
    if (fb > fhi - 1.0) {
      const double m = fb - (fhi - 1.0);
      const double near_d = fhi - c, far_d = fb - c;
      w[count - 1] += std::max(0.0, m * (1.0 - (far_d + near_d) / (2.0 * radius)));
    }
    double total = 0.0;
    for (i64 k = 0; k < count; ++k) total += w[k];
    if (!(total > 0.0)) {
      // Cannot happen for a centre inside the source; keep a valid sample.
      std::fill(w.begin(), w.begin() + count, 0.0);
      w[0] = total = 1.0;
    }

    // Every sample reads max_taps pixels starting inside [lo, hi).
    const i64 st = std::min(ta, hi - max_taps);
    const std::size_t base = static_cast<std::size_t>(j * a.stride + (ta - st));
    a.start[j] = static_cast<std::int32_t>(st);
    a.lo = std::min(a.lo, st);
    a.hi = std::max(a.hi, st + max_taps);
    if (fixed) {
      // Cumulative rounding: non-negative weights with an exact sum.
      double cum = 0.0;
      std::uint32_t prev = 0;
      for (i64 k = 0; k < count; ++k) {
        cum += w[k] / total;
        std::uint32_t q = k + 1 == count
                              ? kWeightOne
                              : static_cast<std::uint32_t>(std::clamp(std::floor(cum * kWeightOne + 0.5), 0.0,
                                                                      static_cast<double>(kWeightOne)));
        q = std::max(q, prev);
        a.wfix[base + static_cast<std::size_t>(k)] = static_cast<std::int16_t>(q - prev);
        prev = q;
      }
    } else {
      for (i64 k = 0; k < count; ++k) a.wflt[base + static_cast<std::size_t>(k)] = static_cast<float>(w[k] / total);
    }
  }
  return PF_Err_NONE;
}

// --- different sizes: kernels ------------------------------------------------
//
// Fixed point (8 and 16 bits): the vertical pass leaves each channel in a
// signed 16-bit intermediate, 8-bit values as value * 64 (0..16320) and
// 16-bit values as value - 16384 (-16384..16384), so that both passes can
// multiply 16-bit pairs into 32-bit sums (SSE2 pmaddwd). The weights are
// non-negative and sum to 2^14, so no sum leaves 32 bits. The SSE2 and the
// portable kernels compute the same integers.

template <typename T>
struct Fixed;

template <>
struct Fixed<std::uint8_t> {
  static std::int16_t Vertical(std::uint32_t sum) { return static_cast<std::int16_t>((sum + (1u << 7)) >> 8); }
  static std::uint8_t Horizontal(std::int32_t sum) {
    return static_cast<std::uint8_t>((static_cast<std::uint32_t>(sum) + (1u << 19)) >> 20);
  }
};

template <>
struct Fixed<std::uint16_t> {
  static std::int16_t Vertical(std::uint32_t sum) {
    return static_cast<std::int16_t>(static_cast<std::int32_t>((sum + (1u << 13)) >> 14) - 16384);
  }
  // sum >= -2^28, so the biased sum is non-negative and the shift exact.
  static std::uint16_t Horizontal(std::int32_t sum) {
    return static_cast<std::uint16_t>((static_cast<std::uint32_t>(sum + (1 << 28)) + (1u << 13)) >> 14);
  }
};

// rows holds an even count of row pointers (the last repeated, weight 0).
template <typename T>
void VerticalFixedPortable(const T* const* rows, const std::int16_t* w, int pairs, std::size_t from, std::size_t n,
                           std::int16_t* ZELVAN_RESTRICT out) {
  for (std::size_t i = from; i < n; ++i) {
    std::uint32_t sum = 0;
    for (int k = 0; k < 2 * pairs; ++k)
      sum += static_cast<std::uint32_t>(rows[k][i]) * static_cast<std::uint32_t>(w[k]);
    out[i] = Fixed<T>::Vertical(sum);
  }
}

template <typename T>
void HorizontalFixedPortable(const std::int16_t* ZELVAN_RESTRICT tmp, const std::int32_t* start, const std::int16_t* w,
                             int pairs, std::size_t from, std::size_t count, T* ZELVAN_RESTRICT out) {
  const std::size_t stride = static_cast<std::size_t>(2 * pairs);
  for (std::size_t j = from; j < count; ++j) {
    const std::int16_t* p = tmp + static_cast<std::size_t>(start[j]) * 4;
    const std::int16_t* wj = w + j * stride;
    std::int32_t a[4] = {0, 0, 0, 0};
    for (std::size_t k = 0; k < stride; ++k)
      for (int c = 0; c < 4; ++c) a[c] += p[4 * k + static_cast<std::size_t>(c)] * wj[k];
    for (int c = 0; c < 4; ++c) out[4 * j + static_cast<std::size_t>(c)] = Fixed<T>::Horizontal(a[c]);
  }
}

#if ZELVAN_SSE2
__m128i PairWeights(const std::int16_t* w) {
  std::int32_t v;
  std::memcpy(&v, w, sizeof v);
  return _mm_shuffle_epi32(_mm_cvtsi32_si128(v), 0);
}

void VerticalFixed(const std::uint8_t* const* rows, const std::int16_t* w, int pairs, std::size_t n,
                   std::int16_t* ZELVAN_RESTRICT out) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i round = _mm_set1_epi32(1 << 7);
  std::size_t i = 0;
  for (; i + 16 <= n; i += 16) {
    __m128i acc0 = round, acc1 = round, acc2 = round, acc3 = round;
    for (int p = 0; p < pairs; ++p) {
      const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(rows[2 * p] + i));
      const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(rows[2 * p + 1] + i));
      const __m128i wp = PairWeights(w + 2 * p);
      const __m128i alo = _mm_unpacklo_epi8(a, zero), ahi = _mm_unpackhi_epi8(a, zero);
      const __m128i blo = _mm_unpacklo_epi8(b, zero), bhi = _mm_unpackhi_epi8(b, zero);
      acc0 = _mm_add_epi32(acc0, _mm_madd_epi16(_mm_unpacklo_epi16(alo, blo), wp));
      acc1 = _mm_add_epi32(acc1, _mm_madd_epi16(_mm_unpackhi_epi16(alo, blo), wp));
      acc2 = _mm_add_epi32(acc2, _mm_madd_epi16(_mm_unpacklo_epi16(ahi, bhi), wp));
      acc3 = _mm_add_epi32(acc3, _mm_madd_epi16(_mm_unpackhi_epi16(ahi, bhi), wp));
    }
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i),
                     _mm_packs_epi32(_mm_srli_epi32(acc0, 8), _mm_srli_epi32(acc1, 8)));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i + 8),
                     _mm_packs_epi32(_mm_srli_epi32(acc2, 8), _mm_srli_epi32(acc3, 8)));
  }
  VerticalFixedPortable(rows, w, pairs, i, n, out);
}

void VerticalFixed(const std::uint16_t* const* rows, const std::int16_t* w, int pairs, std::size_t n,
                   std::int16_t* ZELVAN_RESTRICT out) {
  const __m128i half = _mm_set1_epi16(16384);
  const __m128i round = _mm_set1_epi32(1 << 13);
  std::size_t i = 0;
  for (; i + 8 <= n; i += 8) {
    __m128i acc0 = round, acc1 = round;
    for (int p = 0; p < pairs; ++p) {
      const __m128i a = _mm_sub_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(rows[2 * p] + i)), half);
      const __m128i b = _mm_sub_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(rows[2 * p + 1] + i)), half);
      const __m128i wp = PairWeights(w + 2 * p);
      acc0 = _mm_add_epi32(acc0, _mm_madd_epi16(_mm_unpacklo_epi16(a, b), wp));
      acc1 = _mm_add_epi32(acc1, _mm_madd_epi16(_mm_unpackhi_epi16(a, b), wp));
    }
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i),
                     _mm_packs_epi32(_mm_srai_epi32(acc0, 14), _mm_srai_epi32(acc1, 14)));
  }
  VerticalFixedPortable(rows, w, pairs, i, n, out);
}

// The four channel sums of output pixel j; reads one pixel past an odd
// filter's last tap (weight 0, inside the padded intermediate row).
template <int kPairs>
__m128i HorizontalSums(const std::int16_t* tmp, const std::int32_t* start, const std::int16_t* w, int pairs,
                       std::size_t j) {
  const int np = kPairs > 0 ? kPairs : pairs;
  const std::int16_t* p = tmp + static_cast<std::size_t>(start[j]) * 4;
  const std::int16_t* wj = w + j * static_cast<std::size_t>(2 * np);
  __m128i acc = _mm_setzero_si128();
  for (int q = 0; q < np; ++q) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 8 * q));
    const __m128i pairs_of_taps = _mm_unpacklo_epi16(v, _mm_srli_si128(v, 8));
    acc = _mm_add_epi32(acc, _mm_madd_epi16(pairs_of_taps, PairWeights(wj + 2 * q)));
  }
  return acc;
}

template <int kPairs>
void HorizontalFixedN(const std::int16_t* tmp, const std::int32_t* start, const std::int16_t* w, int pairs,
                      std::size_t count, std::uint8_t* ZELVAN_RESTRICT out) {
  const __m128i round = _mm_set1_epi32(1 << 19);
  std::size_t j = 0;
  for (; j + 2 <= count; j += 2) {
    const __m128i a = _mm_srli_epi32(_mm_add_epi32(HorizontalSums<kPairs>(tmp, start, w, pairs, j), round), 20);
    const __m128i b = _mm_srli_epi32(_mm_add_epi32(HorizontalSums<kPairs>(tmp, start, w, pairs, j + 1), round), 20);
    const __m128i packed = _mm_packs_epi32(a, b);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out + 4 * j), _mm_packus_epi16(packed, packed));
  }
  HorizontalFixedPortable(tmp, start, w, pairs, j, count, out);
}

template <int kPairs>
void HorizontalFixedN(const std::int16_t* tmp, const std::int32_t* start, const std::int16_t* w, int pairs,
                      std::size_t count, std::uint16_t* ZELVAN_RESTRICT out) {
  // Biased as in Fixed<uint16_t>::Horizontal, then moved down by 32768 so
  // that a signed pack saturates nothing; the top bit comes back after it.
  const __m128i round = _mm_set1_epi32((1 << 28) + (1 << 13));
  const __m128i down = _mm_set1_epi32(32768);
  const __m128i flip = _mm_set1_epi16(static_cast<short>(0x8000));
  std::size_t j = 0;
  for (; j + 2 <= count; j += 2) {
    const __m128i a = _mm_srli_epi32(_mm_add_epi32(HorizontalSums<kPairs>(tmp, start, w, pairs, j), round), 14);
    const __m128i b = _mm_srli_epi32(_mm_add_epi32(HorizontalSums<kPairs>(tmp, start, w, pairs, j + 1), round), 14);
    const __m128i packed = _mm_packs_epi32(_mm_sub_epi32(a, down), _mm_sub_epi32(b, down));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 4 * j), _mm_xor_si128(packed, flip));
  }
  HorizontalFixedPortable(tmp, start, w, pairs, j, count, out);
}

template <typename T>
void HorizontalFixed(const std::int16_t* tmp, const std::int32_t* start, const std::int16_t* w, int pairs,
                     std::size_t count, T* out) {
  switch (pairs) {
    case 1: return HorizontalFixedN<1>(tmp, start, w, pairs, count, out);
    case 2: return HorizontalFixedN<2>(tmp, start, w, pairs, count, out);
    default: return HorizontalFixedN<0>(tmp, start, w, pairs, count, out);
  }
}
#else
template <typename T>
void VerticalFixed(const T* const* rows, const std::int16_t* w, int pairs, std::size_t n, std::int16_t* out) {
  VerticalFixedPortable(rows, w, pairs, 0, n, out);
}

template <typename T>
void HorizontalFixed(const std::int16_t* tmp, const std::int32_t* start, const std::int16_t* w, int pairs,
                     std::size_t count, T* out) {
  HorizontalFixedPortable(tmp, start, w, pairs, 0, count, out);
}
#endif

// Float: every kernel adds the taps in order from the first, starting at 0,
// so the result is the same whichever kernel or thread computes it.
template <int N>
void VerticalFloatN(const float* const* rows, const float* w, std::size_t n, float* ZELVAN_RESTRICT out) {
  const float* r[N];
  float wk[N];
  for (int k = 0; k < N; ++k) {
    r[k] = rows[k];
    wk[k] = w[k];
  }
  for (std::size_t i = 0; i < n; ++i) {
    float acc = 0.0f;
    for (int k = 0; k < N; ++k) acc += r[k][i] * wk[k];
    out[i] = acc;
  }
}

void VerticalFloat(const float* const* rows, const float* w, int taps, std::size_t n, float* ZELVAN_RESTRICT out) {
  switch (taps) {
    case 1: return VerticalFloatN<1>(rows, w, n, out);
    case 2: return VerticalFloatN<2>(rows, w, n, out);
    case 3: return VerticalFloatN<3>(rows, w, n, out);
    case 4: return VerticalFloatN<4>(rows, w, n, out);
    default: break;
  }
  std::fill(out, out + n, 0.0f);
  for (int k = 0; k < taps; ++k) {
    const float* ZELVAN_RESTRICT r = rows[k];
    const float wk = w[k];
    for (std::size_t i = 0; i < n; ++i) out[i] += r[i] * wk;
  }
}

void HorizontalFloat(const float* ZELVAN_RESTRICT tmp, const std::int32_t* start, const float* w, std::size_t count,
                     int taps, float* ZELVAN_RESTRICT out) {
  const std::size_t nt = static_cast<std::size_t>(taps);
  for (std::size_t j = 0; j < count; ++j) {
    const float* p = tmp + static_cast<std::size_t>(start[j]) * 4;
    const float* wj = w + j * nt;
#if ZELVAN_SSE2
    __m128 acc = _mm_setzero_ps();
    for (std::size_t k = 0; k < nt; ++k) acc = _mm_add_ps(acc, _mm_mul_ps(_mm_loadu_ps(p + 4 * k), _mm_set1_ps(wj[k])));
    _mm_storeu_ps(out + 4 * j, acc);
#else
    float a[4] = {0.0f, 0.0f, 0.0f, 0.0f};
    for (std::size_t k = 0; k < nt; ++k)
      for (std::size_t c = 0; c < 4; ++c) a[c] += p[4 * k + c] * wj[k];
    for (std::size_t c = 0; c < 4; ++c) out[4 * j + c] = a[c];
#endif
  }
}

// Buffers of one band of rows: the vertically filtered span of source
// columns (one pixel longer, for the paired taps), horizontal starts relative
// to the span, and the source rows of one sample.
template <typename T, typename Tmp>
struct Scratch {
  std::vector<Tmp> tmp;
  std::vector<std::int32_t> hstart;
  std::vector<const T*> rowptr;
};

template <typename T>
struct ScaledCopy {
  static constexpr bool kFixed = !std::is_same<T, float>::value;
  using Tmp = typename std::conditional<kFixed, std::int16_t, float>::type;

  const PF_EffectWorld& src;
  PF_EffectWorld& dst;
  const Axis& ax;
  const Axis& ay;
  A_long bpp;

  // Allocates nothing, so a band can run on a worker thread without throwing.
  void rows(i64 y0, i64 y1, Scratch<T, Tmp>& s) const {
    const std::size_t span = static_cast<std::size_t>((ax.hi - ax.lo) * 4);
    const std::size_t nx = static_cast<std::size_t>(ax.samples());
    for (i64 y = y0; y < y1; ++y) {
      unsigned char* out = RowAt(dst, y);
      if (y < ay.z0 || y >= ay.z1 || nx == 0) {
        Zero(out, ax.d0, ax.d1, bpp);
        continue;
      }
      const std::size_t j = static_cast<std::size_t>(y - ay.z0);
      const T** rp = s.rowptr.data();
      for (int k = 0; k < ay.taps; ++k)
        rp[k] = reinterpret_cast<const T*>(RowAt(src, ay.start[j] + k)) + ax.lo * 4;
      for (int k = ay.taps; k < ay.stride; ++k) rp[k] = rp[ay.taps - 1];
      T* px = reinterpret_cast<T*>(out) + ax.z0 * 4;
      if constexpr (kFixed) {
        VerticalFixed(rp, &ay.wfix[j * static_cast<std::size_t>(ay.stride)], ay.stride / 2, span, s.tmp.data());
        HorizontalFixed(s.tmp.data(), s.hstart.data(), ax.wfix.data(), ax.stride / 2, nx, px);
      } else {
        VerticalFloat(rp, &ay.wflt[j * static_cast<std::size_t>(ay.stride)], ay.taps, span, s.tmp.data());
        HorizontalFloat(s.tmp.data(), s.hstart.data(), ax.wflt.data(), nx, ax.stride, px);
      }
      Zero(out, ax.d0, ax.z0, bpp);
      Zero(out, ax.z1, ax.d1, bpp);
    }
  }

  void prepare(Scratch<T, Tmp>& s) const {
    s.tmp.assign(static_cast<std::size_t>((std::max<i64>(ax.hi - ax.lo, 0) + 1) * 4), Tmp{});
    s.rowptr.resize(static_cast<std::size_t>(std::max(ay.stride, 1)));
    s.hstart.resize(ax.start.size());
    for (std::size_t j = 0; j < ax.start.size(); ++j) s.hstart[j] = static_cast<std::int32_t>(ax.start[j] - ax.lo);
  }

  void run(int threads) const {
    const i64 height = ay.d1 - ay.d0;
    const i64 pixels = height * (ax.d1 - ax.d0);
    const i64 bands = std::clamp<i64>(std::min<i64>(threads, pixels / kMinPixelsPerThread), 1, height);
    std::vector<Scratch<T, Tmp>> scratch(static_cast<std::size_t>(bands));
    for (auto& s : scratch) prepare(s);
    auto band_begin = [&](i64 b) { return ay.d0 + height * b / bands; };
    std::vector<std::thread> workers;
    workers.reserve(static_cast<std::size_t>(bands));
    i64 inline_from = bands;
    for (i64 b = 1; b < bands; ++b) {
      try {
        workers.emplace_back([this, &scratch, b, &band_begin] {
          rows(band_begin(b), band_begin(b + 1), scratch[static_cast<std::size_t>(b)]);
        });
      } catch (...) {
        inline_from = b;  // no thread available: do the rest here
        break;
      }
    }
    rows(band_begin(0), band_begin(1), scratch[0]);
    for (i64 b = inline_from; b < bands; ++b) rows(band_begin(b), band_begin(b + 1), scratch[static_cast<std::size_t>(b)]);
    for (auto& t : workers) t.join();
  }
};

template <typename T>
PF_Err RunScaled(const PF_EffectWorld& src, PF_EffectWorld& dst, const Axis& ax, const Axis& ay, A_long bpp,
                 int threads) {
  ScaledCopy<T>{src, dst, ax, ay, bpp}.run(threads);
  return PF_Err_NONE;
}

PF_Err CopyScaled(const PF_EffectWorld& src, PF_EffectWorld& dst, const Rect64& s, const Rect64& d, i64 cx0, i64 cy0,
                  i64 cx1, i64 cy1, Depth depth, A_long bpp, int threads) {
  const bool fixed = depth != Depth::kFloat;
  Axis ax, ay;
  PF_Err err = BuildAxis(s.left, s.right - s.left, d.left, d.right - d.left, cx0, cx1, src.width, fixed, ax);
  if (err == PF_Err_NONE)
    err = BuildAxis(s.top, s.bottom - s.top, d.top, d.bottom - d.top, cy0, cy1, src.height, fixed, ay);
  if (err != PF_Err_NONE) return err;
  switch (depth) {
    case Depth::k8:
      return RunScaled<std::uint8_t>(src, dst, ax, ay, bpp, threads);
    case Depth::k16:
      return RunScaled<std::uint16_t>(src, dst, ax, ay, bpp, threads);
    case Depth::kFloat:
    default:
      return RunScaled<float>(src, dst, ax, ay, bpp, threads);
  }
}

}  // namespace

PF_Err CopyWorld(const PF_EffectWorld* src, PF_EffectWorld* dst, const PF_LRect* src_r, const PF_LRect* dst_r,
                 const CopyOptions& options) {
  if (src == nullptr || dst == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
  const Depth depth = DepthOf(*src);
  if (depth != DepthOf(*dst)) return PF_Err_BAD_CALLBACK_PARAM;
  const A_long bpp = BytesPerPixel(depth);
  const A_long bpc = BytesPerChannel(depth);
  if (PF_Err err = CheckWorld(*src, bpp, bpc)) return err;
  if (PF_Err err = CheckWorld(*dst, bpp, bpc)) return err;
  if (Overlap(*src, *dst, bpp)) return PF_Err_BAD_CALLBACK_PARAM;

  const Rect64 s = ToRect64(src_r, *src);
  const Rect64 d = ToRect64(dst_r, *dst);
  if (s.left >= s.right || s.top >= s.bottom || d.left >= d.right || d.top >= d.bottom) return PF_Err_NONE;
  const i64 cx0 = std::max<i64>(d.left, 0), cx1 = std::min<i64>(d.right, dst->width);
  const i64 cy0 = std::max<i64>(d.top, 0), cy1 = std::min<i64>(d.bottom, dst->height);
  if (cx0 >= cx1 || cy0 >= cy1) return PF_Err_NONE;

  try {
    if (s.right - s.left == d.right - d.left && s.bottom - s.top == d.bottom - d.top) {
      CopyUnscaled(*src, *dst, s, d, cx0, cy0, cx1, cy1, bpp);
      return PF_Err_NONE;
    }
    return CopyScaled(*src, *dst, s, d, cx0, cy0, cx1, cy1, depth, bpp, std::max(1, options.threads));
  } catch (const std::bad_alloc&) {
    return PF_Err_OUT_OF_MEMORY;
  }
}

PF_Err CopyWorld(const PF_EffectWorld* src, PF_EffectWorld* dst, const PF_LRect* src_r, const PF_LRect* dst_r) {
  return CopyWorld(src, dst, src_r, dst_r, CopyOptions{});
}

void SetCallbackCopyThreads(int threads) { g_callback_threads.store(std::max(1, threads)); }

int CallbackCopyThreads() { return g_callback_threads.load(); }

PF_Err CopyCallback(PF_ProgPtr /*effect_ref*/, PF_EffectWorld* src, PF_EffectWorld* dst, PF_Rect* src_r,
                    PF_Rect* dst_r) {
  return CopyWorld(src, dst, src_r, dst_r, CopyOptions{CallbackCopyThreads()});
}

}  // namespace zelvan::pixels
