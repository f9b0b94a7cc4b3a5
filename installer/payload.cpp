#include "installer/payload.h"

#include <snappy.h>

#include <cstring>

#include "runtime/errors.h"

namespace setup {
namespace {

[[noreturn]] void invalidBuffer() {
  throw SnappyError("Invalid buffer, unable to uncompress", "uncompress");
}

std::uint32_t rotl32(std::uint32_t x, int r) {
  return (x << r) | (x >> (32 - r));
}

std::uint32_t fmix32(std::uint32_t h) {
  h ^= h >> 16;
  h *= 0x85ebca6bu;
  h ^= h >> 13;
  h *= 0xc2b2ae35u;
  h ^= h >> 16;
  return h;
}

}  // namespace

std::string uncompress(std::string_view compressed) {
  std::string out;
  uncompress(compressed, out);
  return out;
}

void uncompress(std::string_view compressed, std::string& out) {
  out.clear();
  std::size_t length = 0;
  // The library parses the preamble strictly: at most five bytes, a fifth
  // byte below 16, and nothing past the input.
  if (!snappy::GetUncompressedLength(compressed.data(), compressed.size(), &length)) {
    invalidBuffer();
  }
  if (length > compressed.size() * kMaxExpansion) invalidBuffer();
  out.resize(length);
  // RawUncompress refuses elements past either end and a decoded length that
  // differs from the declared one.
  if (!snappy::RawUncompress(compressed.data(), compressed.size(), out.data())) {
    out.clear();
    invalidBuffer();
  }
}

std::int64_t contentHash(std::string_view bytes) {
  constexpr std::uint32_t c1 = 0xcc9e2d51u;
  constexpr std::uint32_t c2 = 0x1b873593u;
  const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
  const std::size_t blocks = bytes.size() / 4;
  std::uint32_t h = 0;
  for (std::size_t i = 0; i < blocks; ++i) {
    const unsigned char* p = data + i * 4;
    std::uint32_t k = std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 |
                      std::uint32_t(p[3]) << 24;
    k *= c1;
    k = rotl32(k, 15);
    k *= c2;
    h ^= k;
    h = rotl32(h, 13);
    h = h * 5 + 0xe6546b64u;
  }
  const unsigned char* tail = data + blocks * 4;
  std::uint32_t k = 0;
  switch (bytes.size() & 3) {
    case 3:
      k ^= std::uint32_t(tail[2]) << 16;
      [[fallthrough]];
    case 2:
      k ^= std::uint32_t(tail[1]) << 8;
      [[fallthrough]];
    case 1:
      k ^= tail[0];
      k *= c1;
      k = rotl32(k, 15);
      k *= c2;
      h ^= k;
  }
  h ^= static_cast<std::uint32_t>(bytes.size());
  return static_cast<std::int64_t>(fmix32(h));
}

}  // namespace setup
