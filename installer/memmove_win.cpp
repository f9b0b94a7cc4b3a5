// memmove and memcpy of our own, linked ahead of msvcrt's. Snappy's decoder
// moves 64 bytes at a time through memmove, which GCC does not inline for
// x86-64 without AVX-512; every move then is a call into msvcrt, whose memmove
// under wine is a slow generic routine, and decoding took five times as long
// as natively. These handle the short sizes with a few overlapping SSE2 loads
// and stores, all loads before the first store, so overlap is always safe.
//
// Built with -fno-builtin and without loop-to-library-call rewriting: the
// compiler must not turn these loops back into calls to themselves.
#include <emmintrin.h>

#include <cstddef>
#include <cstdint>

namespace {

using Bytes = unsigned char;

inline __m128i load16(const Bytes* p) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}
inline void store16(Bytes* p, __m128i v) {
  _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v);
}

template <typename T>
inline T loadWord(const Bytes* p) {
  T value;
  __builtin_memcpy(&value, p, sizeof value);
  return value;
}
template <typename T>
inline void storeWord(Bytes* p, T value) {
  __builtin_memcpy(p, &value, sizeof value);
}

// Up to 64 bytes: the first and the last chunks overlap in the middle.
inline void moveShort(Bytes* d, const Bytes* s, std::size_t n) {
  if (n <= 16) {
    if (n >= 8) {
      const auto a = loadWord<std::uint64_t>(s), b = loadWord<std::uint64_t>(s + n - 8);
      storeWord(d, a), storeWord(d + n - 8, b);
    } else if (n >= 4) {
      const auto a = loadWord<std::uint32_t>(s), b = loadWord<std::uint32_t>(s + n - 4);
      storeWord(d, a), storeWord(d + n - 4, b);
    } else if (n >= 2) {
      const auto a = loadWord<std::uint16_t>(s), b = loadWord<std::uint16_t>(s + n - 2);
      storeWord(d, a), storeWord(d + n - 2, b);
    } else if (n == 1) {
      *d = *s;
    }
  } else if (n <= 32) {
    const __m128i a = load16(s), b = load16(s + n - 16);
    store16(d, a), store16(d + n - 16, b);
  } else {
    const __m128i a = load16(s), b = load16(s + 16);
    const __m128i c = load16(s + n - 32), e = load16(s + n - 16);
    store16(d, a), store16(d + 16, b), store16(d + n - 32, c), store16(d + n - 16, e);
  }
}

[[gnu::always_inline]] inline void moveBytes(Bytes* d, const Bytes* s, std::size_t n) {
  if (n <= 64) return moveShort(d, s, n);
  if (reinterpret_cast<std::uintptr_t>(d) - reinterpret_cast<std::uintptr_t>(s) < n) {
    // Destination above an overlapping source: backwards, the head saved first.
    const __m128i h0 = load16(s), h1 = load16(s + 16), h2 = load16(s + 32), h3 = load16(s + 48);
    std::size_t i = n;
    while (i > 64) {
      i -= 64;
      const __m128i a = load16(s + i), b = load16(s + i + 16);
      const __m128i c = load16(s + i + 32), e = load16(s + i + 48);
      store16(d + i, a), store16(d + i + 16, b), store16(d + i + 32, c), store16(d + i + 48, e);
    }
    store16(d, h0), store16(d + 16, h1), store16(d + 32, h2), store16(d + 48, h3);
  } else {
    // Forwards, the tail saved first.
    const __m128i t0 = load16(s + n - 64), t1 = load16(s + n - 48);
    const __m128i t2 = load16(s + n - 32), t3 = load16(s + n - 16);
    for (std::size_t i = 0; i + 64 < n; i += 64) {
      const __m128i a = load16(s + i), b = load16(s + i + 16);
      const __m128i c = load16(s + i + 32), e = load16(s + i + 48);
      store16(d + i, a), store16(d + i + 16, b), store16(d + i + 32, c), store16(d + i + 48, e);
    }
    store16(d + n - 64, t0), store16(d + n - 48, t1), store16(d + n - 32, t2),
        store16(d + n - 16, t3);
  }
}

}  // namespace

extern "C" void* memmove(void* dst, const void* src, std::size_t n) {
  moveBytes(static_cast<Bytes*>(dst), static_cast<const Bytes*>(src), n);
  return dst;
}

extern "C" void* memcpy(void* dst, const void* src, std::size_t n) {
  moveBytes(static_cast<Bytes*>(dst), static_cast<const Bytes*>(src), n);
  return dst;
}
