#include "installer/payload.h"

#include <snappy.h>

#include <cstring>

#include "runtime/errors.h"

namespace setup {
namespace {

[[noreturn]] void invalidBuffer() {
  throw SnappyError("Invalid buffer, unable to uncompress", "uncompress");
}

// The library counts a literal's length in 32 bits: a literal of 2^32 bytes
// (length field 0xFFFFFFFF) reads as empty, and a block holding one passes.
// A walk over the elements, skipping their bytes, refuses every literal that
// runs past the input. in starts after the preamble.
constexpr std::string_view kOverflowingLiteral("\xFC\xFF\xFF\xFF\xFF", 5);

bool literalsFitInput(std::string_view in) {
  std::size_t pos = 0;
  while (pos < in.size()) {
    const auto tag = static_cast<unsigned char>(in[pos++]);
    std::uint64_t skip = 4;  // a copy with a four-byte offset
    if ((tag & 3) == 1) {
      skip = 1;
    } else if ((tag & 3) == 2) {
      skip = 2;
    } else if ((tag & 3) == 0) {
      skip = (tag >> 2) + 1;
      if (skip > 60) {  // the length in 1 to 4 bytes that follow, minus one
        const std::size_t bytes = skip - 60;
        if (in.size() - pos < bytes) return false;
        skip = 0;
        for (std::size_t i = 0; i < bytes; ++i) {
          skip |= std::uint64_t(static_cast<unsigned char>(in[pos + i])) << (8 * i);
        }
        skip += 1;
        pos += bytes;
      }
    }
    if (in.size() - pos < skip) return false;
    pos += skip;
  }
  return true;
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
  // Only a literal tag with a four-byte length of 0xFFFFFFFF is misread, so
  // the walk over the elements is needed only where those five bytes occur.
  if (compressed.find(kOverflowingLiteral) != std::string_view::npos) {
    std::size_t preamble = 1;
    while (static_cast<unsigned char>(compressed[preamble - 1]) & 0x80) ++preamble;
    if (!literalsFitInput(compressed.substr(preamble))) invalidBuffer();
  }
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
