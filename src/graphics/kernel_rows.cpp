#include "graphics/kernel_rows.h"

#include <cstring>

#include "graphics/kernel.h"

#ifdef __SSE2__
#include <emmintrin.h>
#endif
#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#endif

// Every formula here keeps its 16-bit intermediate below 65536 (weights summing to at most 257
// times a byte), so SSE2's 16-bit lanes give exactly the plain loop's result.

#ifdef __SSE2__
static inline __m128i load16(const uint8_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
static inline void store16(uint8_t* p, __m128i v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v); }
static inline __m128i load8(const uint8_t* p) { return _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)); }
static inline void store8(uint8_t* p, __m128i v) { _mm_storel_epi64(reinterpret_cast<__m128i*>(p), v); }

// (x * wx + y * wy) >> 8 on 16-bit lanes.
static inline __m128i mix16(__m128i x, __m128i wx, __m128i y, __m128i wy) {
  return _mm_srli_epi16(_mm_add_epi16(_mm_mullo_epi16(x, wx), _mm_mullo_epi16(y, wy)), 8);
}

// 16 bytes of x and y mixed with lane weights wx, wy (the same for all 16 bytes).
static inline __m128i mix_bytes(__m128i x, __m128i wx, __m128i y, __m128i wy) {
  const __m128i zero = _mm_setzero_si128();
  __m128i lo = mix16(_mm_unpacklo_epi8(x, zero), wx, _mm_unpacklo_epi8(y, zero), wy);
  __m128i hi = mix16(_mm_unpackhi_epi8(x, zero), wx, _mm_unpackhi_epi8(y, zero), wy);
  return _mm_packus_epi16(lo, hi);
}
#endif

#if defined(__x86_64__) && defined(__GNUC__)
// The blend and the scaler's vertical pass spend their time here: with AVX2, 32 bytes a step.
__attribute__((target("avx2"))) static size_t row_mix8_avx2(uint8_t* out, const uint8_t* first, const uint8_t* second,
                                                             size_t count, int a) {
  const __m256i zero = _mm256_setzero_si256();
  const __m256i w1 = _mm256_set1_epi16(static_cast<short>(a + 1)), w2 = _mm256_set1_epi16(static_cast<short>(256 - a));
  size_t i = 0;
  for (; i + 32 <= count; i += 32) {
    __m256i x = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(first + i));
    __m256i y = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(second + i));
    // Unpacking and packing both work within 128-bit lanes, so the bytes come back in order.
    __m256i lo = _mm256_add_epi16(_mm256_mullo_epi16(_mm256_unpacklo_epi8(x, zero), w1),
                                  _mm256_mullo_epi16(_mm256_unpacklo_epi8(y, zero), w2));
    __m256i hi = _mm256_add_epi16(_mm256_mullo_epi16(_mm256_unpackhi_epi8(x, zero), w1),
                                  _mm256_mullo_epi16(_mm256_unpackhi_epi8(y, zero), w2));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + i),
                        _mm256_packus_epi16(_mm256_srli_epi16(lo, 8), _mm256_srli_epi16(hi, 8)));
  }
  return i;
}

static bool cpu_avx2() {
  static const bool has = __builtin_cpu_supports("avx2");
  return has;
}
#endif

void row_mix8(uint8_t* out, const uint8_t* first, const uint8_t* second, size_t count, int a) {
  a = clamp_level(a, 0, 255);
  size_t i = 0;
#if defined(__x86_64__) && defined(__GNUC__)
  if (count >= 32 && cpu_avx2()) i = row_mix8_avx2(out, first, second, count, a);
#endif
#ifdef __SSE2__
  const __m128i w1 = _mm_set1_epi16(static_cast<short>(a + 1)), w2 = _mm_set1_epi16(static_cast<short>(256 - a));
  for (; i + 16 <= count; i += 16) store16(out + i, mix_bytes(load16(first + i), w1, load16(second + i), w2));
#endif
  for (; i < count; i++) out[i] = static_cast<uint8_t>(((a + 1) * first[i] + (256 - a) * second[i]) >> 8);
}

void row_mix_rgb24(uint8_t* out, const uint8_t* first, const uint8_t* second, size_t pixels, int a) {
  row_mix8(out, first, second, pixels * 3, a);
}

void row_mix_pal8(uint8_t* dst24, const uint8_t* src8, const rgb_quad* palette, size_t pixels, int a) {
  a = clamp_level(a, 0, 255);
  uint8_t t1[256], t2[256];
  for (int i = 0; i < 256; i++) {
    t1[i] = static_cast<uint8_t>(i * (a + 1) >> 8);
    t2[i] = static_cast<uint8_t>(i * (256 - a) >> 8);
  }
  for (size_t x = 0; x < pixels; x++, dst24 += 3) {
    const rgb_quad& c = palette[src8[x]];
    dst24[0] = static_cast<uint8_t>(t1[dst24[0]] + t2[c.blue]);
    dst24[1] = static_cast<uint8_t>(t1[dst24[1]] + t2[c.green]);
    dst24[2] = static_cast<uint8_t>(t1[dst24[2]] + t2[c.red]);
  }
}

void row_mul8(uint8_t* dst, const uint8_t* src, size_t count) {
  size_t i = 0;
#ifdef __SSE2__
  const __m128i zero = _mm_setzero_si128(), one = _mm_set1_epi16(1);
  for (; i + 16 <= count; i += 16) {
    __m128i d = load16(dst + i), s = load16(src + i);
    __m128i lo = _mm_srli_epi16(
        _mm_mullo_epi16(_mm_unpacklo_epi8(d, zero), _mm_add_epi16(_mm_unpacklo_epi8(s, zero), one)), 8);
    __m128i hi = _mm_srli_epi16(
        _mm_mullo_epi16(_mm_unpackhi_epi8(d, zero), _mm_add_epi16(_mm_unpackhi_epi8(s, zero), one)), 8);
    store16(dst + i, _mm_packus_epi16(lo, hi));
  }
#endif
  for (; i < count; i++) dst[i] = static_cast<uint8_t>(dst[i] * (src[i] + 1) >> 8);
}

void row_revmul8(uint8_t* dst, const uint8_t* src, size_t count) {
  for (size_t i = 0; i < count; i++) dst[i] = static_cast<uint8_t>(255 - ((255 - dst[i]) * (256 - src[i]) >> 8));
}

// Weights of the alpha rule for s = t + level: s <= 1 takes the source whole, s >= 254 keeps the
// destination, between them src * (256 - s) + dst * (s + 1).
static inline void alpha_weights(int s, int& ws, int& wd) {
  if (s <= 1)
    ws = 256, wd = 0;
  else if (s >= 254)
    ws = 0, wd = 256;
  else
    ws = 256 - s, wd = s + 1;
}

#ifdef __SSE2__
// Lane weights for eight transparency bytes (16-bit lanes, already widened) at the level.
static inline void alpha_weights8(__m128i t16, __m128i level16, __m128i& ws, __m128i& wd) {
  const __m128i two = _mm_set1_epi16(2), k253 = _mm_set1_epi16(253), k256 = _mm_set1_epi16(256);
  __m128i s = _mm_add_epi16(t16, level16);
  __m128i lo = _mm_cmplt_epi16(s, two), hi = _mm_cmpgt_epi16(s, k253), mid = _mm_andnot_si128(_mm_or_si128(lo, hi), _mm_set1_epi16(-1));
  ws = _mm_or_si128(_mm_and_si128(_mm_sub_epi16(k256, s), mid), _mm_and_si128(k256, lo));
  wd = _mm_or_si128(_mm_and_si128(_mm_add_epi16(s, _mm_set1_epi16(1)), mid), _mm_and_si128(k256, hi));
}

// Spreads eight pixel weights over the 24 bytes of those pixels: three vectors of 16-bit lanes.
static inline void spread3(__m128i w, __m128i out[3]) {
  out[0] = _mm_shufflehi_epi16(_mm_shufflelo_epi16(_mm_unpacklo_epi64(w, w), _MM_SHUFFLE(1, 0, 0, 0)), _MM_SHUFFLE(2, 2, 1, 1));
  out[1] = _mm_shufflehi_epi16(_mm_shufflelo_epi16(w, _MM_SHUFFLE(3, 3, 3, 2)), _MM_SHUFFLE(1, 0, 0, 0));
  out[2] = _mm_shufflehi_epi16(_mm_shufflelo_epi16(_mm_unpackhi_epi64(w, w), _MM_SHUFFLE(2, 2, 1, 1)), _MM_SHUFFLE(3, 3, 3, 2));
}

// Eight 24-bit pixels by lane weights.
static inline void alpha_block8(uint8_t* dst, const uint8_t* src, __m128i t16, __m128i level16) {
  const __m128i zero = _mm_setzero_si128();
  __m128i ws, wd, es[3], ed[3];
  alpha_weights8(t16, level16, ws, wd);
  spread3(ws, es);
  spread3(wd, ed);
  __m128i s01 = load16(src), s2 = load8(src + 16), d01 = load16(dst), d2 = load8(dst + 16);
  __m128i r0 = mix16(_mm_unpacklo_epi8(s01, zero), es[0], _mm_unpacklo_epi8(d01, zero), ed[0]);
  __m128i r1 = mix16(_mm_unpackhi_epi8(s01, zero), es[1], _mm_unpackhi_epi8(d01, zero), ed[1]);
  __m128i r2 = mix16(_mm_unpacklo_epi8(s2, zero), es[2], _mm_unpacklo_epi8(d2, zero), ed[2]);
  store16(dst, _mm_packus_epi16(r0, r1));
  store8(dst + 16, _mm_packus_epi16(r2, r2));
}

// True when every byte of t is <= c (c a byte).
static inline bool all_at_most(__m128i t, __m128i c) {
  return _mm_movemask_epi8(_mm_cmpeq_epi8(_mm_max_epu8(t, c), c)) == 0xFFFF;
}
static inline bool all_at_least(__m128i t, __m128i c) {
  return _mm_movemask_epi8(_mm_cmpeq_epi8(_mm_max_epu8(t, c), t)) == 0xFFFF;
}
#endif

#if defined(__x86_64__) && defined(__GNUC__)
// The alpha rule as one formula: with s held to 0 where the rule copies and to 255 where it keeps,
// (src * (256 - s) + dst * (s + 1)) >> 8 is src, or dst, exactly there. Pixels biased to signed
// bytes (p ^ 0x80) meet the byte weight pair (255 - s, s) in pmaddubsw, giving
// (255 - s) src + s dst - 32640 without saturation, and the pair (1, 1), giving src + dst - 256;
// the two plus 32896 are the numerator, at most 257 * 255, so 16-bit lanes hold it exactly.
// 32 pixels a step; whole steps that only copy or only keep move without arithmetic.
__attribute__((target("avx2"))) static size_t row_alpha24_avx2(uint8_t* dst, const uint8_t* src, const uint8_t* alpha,
                                                               size_t pixels, int level) {
  // A group of 8 channels takes the weight pairs of pixels 0-2, 2-5 or 5-7 of its 8-pixel block.
  const __m128i p0 = _mm_setr_epi8(0, 1, 0, 1, 0, 1, 2, 3, 2, 3, 2, 3, 4, 5, 4, 5);
  const __m128i p1 = _mm_setr_epi8(4, 5, 6, 7, 6, 7, 6, 7, 8, 9, 8, 9, 8, 9, 10, 11);
  const __m128i p2 = _mm_setr_epi8(10, 11, 10, 11, 12, 13, 12, 13, 12, 13, 14, 15, 14, 15, 14, 15);
  const __m256i m02 = _mm256_set_m128i(p2, p0), m10 = _mm256_set_m128i(p0, p1), m21 = _mm256_set_m128i(p1, p2);
  const __m256i add = _mm256_set1_epi8(static_cast<char>(level > 0 ? level : 0));
  const __m256i sub = _mm256_set1_epi8(static_cast<char>(level < -255 ? 255 : level < 0 ? -level : 0));
  const __m256i two = _mm256_set1_epi8(2), k254 = _mm256_set1_epi8(static_cast<char>(254));
  const __m256i bias = _mm256_set1_epi8(static_cast<char>(0x80)), ones = _mm256_set1_epi8(1);
  const __m256i all = _mm256_set1_epi8(-1), round = _mm256_set1_epi16(-32640);  // 0x8080
  size_t x = 0;
  for (; x + 32 <= pixels; x += 32) {
    uint8_t* d = dst + 3 * x;
    const uint8_t* s = src + 3 * x;
    __m256i sv = _mm256_subs_epu8(_mm256_adds_epu8(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(alpha + x)), add), sub);
    __m256i mid = _mm256_cmpeq_epi8(_mm256_max_epu8(sv, two), sv);    // s >= 2
    __m256i keep = _mm256_cmpeq_epi8(_mm256_max_epu8(sv, k254), sv);  // s >= 254
    int mid_bits = _mm256_movemask_epi8(mid);
    if (_mm256_movemask_epi8(keep) == -1) continue;
    if (mid_bits == 0) {
      memcpy(d, s, 96);
      continue;
    }
    sv = _mm256_or_si256(_mm256_and_si256(sv, mid), keep);
    // Weight pairs of pixels 0-7 and 16-23 (ac), 8-15 and 24-31 (bd), then per pair vector.
    __m256i ac = _mm256_unpacklo_epi8(_mm256_xor_si256(sv, all), sv);
    __m256i bd = _mm256_unpackhi_epi8(_mm256_xor_si256(sv, all), sv);
    __m256i w[6] = {
        _mm256_shuffle_epi8(_mm256_permute2x128_si256(ac, ac, 0x00), m02),
        _mm256_shuffle_epi8(_mm256_permute2x128_si256(ac, bd, 0x20), m10),
        _mm256_shuffle_epi8(_mm256_blend_epi32(ac, bd, 0x0F), m10),
        _mm256_shuffle_epi8(_mm256_blend_epi32(ac, bd, 0x0F), m21),
        _mm256_shuffle_epi8(_mm256_permute2x128_si256(ac, bd, 0x31), m21),
        _mm256_shuffle_epi8(_mm256_permute2x128_si256(bd, bd, 0x11), m02),
    };
#pragma GCC unroll 3
    for (int k = 0; k < 3; k++) {
      __m256i sp = _mm256_xor_si256(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(s + 32 * k)), bias);
      __m256i dp = _mm256_xor_si256(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(d + 32 * k)), bias);
      __m256i lo = _mm256_unpacklo_epi8(sp, dp), hi = _mm256_unpackhi_epi8(sp, dp);
      lo = _mm256_add_epi16(_mm256_add_epi16(_mm256_maddubs_epi16(w[2 * k], lo), _mm256_maddubs_epi16(ones, lo)), round);
      hi = _mm256_add_epi16(_mm256_add_epi16(_mm256_maddubs_epi16(w[2 * k + 1], hi), _mm256_maddubs_epi16(ones, hi)), round);
      _mm256_storeu_si256(reinterpret_cast<__m256i*>(d + 32 * k),
                          _mm256_packus_epi16(_mm256_srli_epi16(lo, 8), _mm256_srli_epi16(hi, 8)));
    }
  }
  return x;
}
#endif

void row_alpha24(uint8_t* dst, const uint8_t* src, const uint8_t* alpha, size_t pixels, int level) {
  // Below -255 every pixel is copied either way; holding the level keeps s in 16 bits.
  level = clamp_level(level, -256, 254);
  size_t x = 0;
#if defined(__x86_64__) && defined(__GNUC__)
  if (pixels >= 32 && cpu_avx2()) x = row_alpha24_avx2(dst, src, alpha, pixels, level);
#endif
#ifdef __SSE2__
  // Whole blocks of 16 pixels that are all copied or all kept (the usual case for sprites) move
  // without arithmetic.
  const int copy_max = 1 - level, keep_min = 254 - level;
  const __m128i copy_c = _mm_set1_epi8(static_cast<char>(clamp_level(copy_max, 0, 255)));
  const __m128i keep_c = _mm_set1_epi8(static_cast<char>(clamp_level(keep_min, 0, 255)));
  const __m128i level16 = _mm_set1_epi16(static_cast<short>(level)), zero = _mm_setzero_si128();
  for (; x + 16 <= pixels; x += 16) {
    __m128i t = load16(alpha + x);
    uint8_t* d = dst + 3 * x;
    const uint8_t* s = src + 3 * x;
    if (keep_min <= 255 && all_at_least(t, keep_c)) continue;
    if (copy_max >= 0 && all_at_most(t, copy_c)) {
      memcpy(d, s, 48);
      continue;
    }
    alpha_block8(d, s, _mm_unpacklo_epi8(t, zero), level16);
    alpha_block8(d + 24, s + 24, _mm_unpackhi_epi8(t, zero), level16);
  }
#endif
  for (; x < pixels; x++) {
    int ws, wd;
    alpha_weights(alpha[x] + level, ws, wd);
    for (int c = 0; c < 3; c++)
      dst[3 * x + c] = static_cast<uint8_t>((src[3 * x + c] * ws + dst[3 * x + c] * wd) >> 8);
  }
}

void row_alpha8(uint8_t* dst, const uint8_t* src, const uint8_t* alpha, size_t count, int level) {
  level = clamp_level(level, -256, 254);
  size_t x = 0;
#ifdef __SSE2__
  const __m128i level16 = _mm_set1_epi16(static_cast<short>(level)), zero = _mm_setzero_si128();
  for (; x + 16 <= count; x += 16) {
    __m128i t = load16(alpha + x), s = load16(src + x), d = load16(dst + x), ws, wd;
    alpha_weights8(_mm_unpacklo_epi8(t, zero), level16, ws, wd);
    __m128i lo = mix16(_mm_unpacklo_epi8(s, zero), ws, _mm_unpacklo_epi8(d, zero), wd);
    alpha_weights8(_mm_unpackhi_epi8(t, zero), level16, ws, wd);
    __m128i hi = mix16(_mm_unpackhi_epi8(s, zero), ws, _mm_unpackhi_epi8(d, zero), wd);
    store16(dst + x, _mm_packus_epi16(lo, hi));
  }
#endif
  for (; x < count; x++) {
    int ws, wd;
    alpha_weights(alpha[x] + level, ws, wd);
    dst[x] = static_cast<uint8_t>((src[x] * ws + dst[x] * wd) >> 8);
  }
}

void row_add8(uint8_t* dst, const uint8_t* src, size_t count, int b) {
  size_t i = 0;
#ifdef __SSE2__
  if (b == 256) {
    for (; i + 16 <= count; i += 16) store16(dst + i, _mm_adds_epu8(load16(dst + i), load16(src + i)));
  } else {
    const __m128i zero = _mm_setzero_si128(), wb = _mm_set1_epi16(static_cast<short>(b));
    for (; i + 16 <= count; i += 16) {
      __m128i s = load16(src + i);
      __m128i lo = _mm_srli_epi16(_mm_mullo_epi16(_mm_unpacklo_epi8(s, zero), wb), 8);
      __m128i hi = _mm_srli_epi16(_mm_mullo_epi16(_mm_unpackhi_epi8(s, zero), wb), 8);
      store16(dst + i, _mm_adds_epu8(load16(dst + i), _mm_packus_epi16(lo, hi)));
    }
  }
#endif
  for (; i < count; i++) {
    int v = dst[i] + (b * src[i] >> 8);
    dst[i] = static_cast<uint8_t>(v > 255 ? 255 : v);
  }
}

void row_multiply_blend8(uint8_t* dst, const uint8_t* src, size_t count, int b) {
  size_t i = 0;
#ifdef __SSE2__
  const __m128i zero = _mm_setzero_si128(), one = _mm_set1_epi16(1);
  const __m128i wb = _mm_set1_epi16(static_cast<short>(b)), wm = _mm_set1_epi16(static_cast<short>(256 - b));
  for (; i + 16 <= count; i += 16) {
    __m128i d = load16(dst + i), s = load16(src + i);
    __m128i dlo = _mm_unpacklo_epi8(d, zero), dhi = _mm_unpackhi_epi8(d, zero);
    __m128i mlo = _mm_srli_epi16(_mm_mullo_epi16(dlo, _mm_add_epi16(_mm_unpacklo_epi8(s, zero), one)), 8);
    __m128i mhi = _mm_srli_epi16(_mm_mullo_epi16(dhi, _mm_add_epi16(_mm_unpackhi_epi8(s, zero), one)), 8);
    store16(dst + i, _mm_packus_epi16(mix16(dlo, wb, mlo, wm), mix16(dhi, wb, mhi, wm)));
  }
#endif
  for (; i < count; i++) {
    int m = dst[i] * (src[i] + 1) >> 8;
    dst[i] = static_cast<uint8_t>((b * dst[i] + (256 - b) * m) >> 8);
  }
}

void row_expand_pal8(uint8_t* dst24, const uint8_t* src8, const rgb_quad* palette, size_t pixels) {
  for (size_t x = 0; x < pixels; x++, dst24 += 3) {
    const rgb_quad& c = palette[src8[x]];
    dst24[0] = c.blue;
    dst24[1] = c.green;
    dst24[2] = c.red;
  }
}

void row_blend_fill(uint8_t* row, size_t count, const uint8_t* values, int period, int b) {
  // A pattern of 48 bytes holds whole periods of 1 and 3 and whole SSE2 blocks.
  uint8_t pattern[48];
  for (int i = 0; i < 48; i++) pattern[i] = values[i % period];
  size_t i = 0;
#ifdef __SSE2__
  const __m128i wb = _mm_set1_epi16(static_cast<short>(b)), wc = _mm_set1_epi16(static_cast<short>(257 - b));
  __m128i pv[3] = {load16(pattern), load16(pattern + 16), load16(pattern + 32)};
  for (; i + 48 <= count; i += 48)
    for (int k = 0; k < 3; k++) store16(row + i + 16 * k, mix_bytes(load16(row + i + 16 * k), wb, pv[k], wc));
#endif
  for (; i < count; i++) row[i] = static_cast<uint8_t>((b * row[i] + (257 - b) * pattern[i % 48]) >> 8);
}

void row_fill24(uint8_t* row, size_t pixels, const uint8_t bgr[3]) {
  uint8_t pattern[48];
  for (int i = 0; i < 48; i++) pattern[i] = bgr[i % 3];
  size_t bytes = pixels * 3, i = 0;
  for (; i + 48 <= bytes; i += 48) memcpy(row + i, pattern, 48);
  memcpy(row + i, pattern, bytes - i);
}
