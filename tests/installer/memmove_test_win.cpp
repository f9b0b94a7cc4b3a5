// Our memmove and memcpy, which replace msvcrt's in every Windows executable:
// every size around the chunk boundaries, at every overlap in both directions.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

TEST(Memmove, EverySizeAndOverlap) {
  constexpr int kMaxSize = 300;
  constexpr int kMaxShift = 80;
  std::vector<unsigned char> pattern(kMaxSize + 2 * kMaxShift + 32);
  for (std::size_t i = 0; i < pattern.size(); ++i)
    pattern[i] = static_cast<unsigned char>(i * 7 + 1);
  for (int size = 0; size <= kMaxSize; ++size) {
    for (int shift = -kMaxShift; shift <= kMaxShift; ++shift) {
      std::vector<unsigned char> buffer = pattern;
      std::vector<unsigned char> expected = pattern;
      const std::size_t from = kMaxShift + 16;
      const std::size_t to = from + shift;
      for (int i = 0; i < size; ++i) expected[to + i] = pattern[from + i];
      // volatile: the compiler must call the library, not expand the move itself.
      void* (*volatile move)(void*, const void*, std::size_t) = std::memmove;
      move(buffer.data() + to, buffer.data() + from, size);
      ASSERT_EQ(buffer, expected) << "size " << size << " shift " << shift;
      if (shift >= size || -shift >= size) {
        buffer = pattern;
        void* (*volatile copy)(void*, const void*, std::size_t) = std::memcpy;
        copy(buffer.data() + to, buffer.data() + from, size);
        ASSERT_EQ(buffer, expected) << "memcpy size " << size << " shift " << shift;
      }
    }
  }
}

}  // namespace
