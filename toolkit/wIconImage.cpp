#include "toolkit/wIconImage.h"

namespace setup {

namespace {

constexpr std::size_t dibHeaderSize = 40;
constexpr std::size_t iconDirectorySize = 6;
constexpr std::size_t iconEntrySize = 16;
constexpr std::int32_t largestSide = 1 << 16;

// REQUIRES: at + 2 (or 4) <= bytes.size().
std::uint16_t readU16(std::string_view bytes, std::size_t at) {
  return static_cast<std::uint16_t>(static_cast<std::uint8_t>(bytes[at]) |
                                    static_cast<std::uint8_t>(bytes[at + 1]) << 8);
}

std::uint32_t readU32(std::string_view bytes, std::size_t at) {
  return static_cast<std::uint32_t>(readU16(bytes, at)) |
         static_cast<std::uint32_t>(readU16(bytes, at + 2)) << 16;
}

void writeU16(std::string& out, std::uint32_t value) {
  out += static_cast<char>(value & 0xFF);
  out += static_cast<char>((value >> 8) & 0xFF);
}

void writeU32(std::string& out, std::uint32_t value) {
  writeU16(out, value & 0xFFFF);
  writeU16(out, value >> 16);
}

std::size_t rowBytes(std::int32_t width, std::uint32_t bitCount) {
  return (static_cast<std::size_t>(width) * bitCount + 31) / 32 * 4;
}

struct Candidate {
  std::int32_t width;
  std::int32_t height;
  std::uint32_t depth;
  std::string_view image;
  wPoint hotSpot;
};

// Better for a width x height request: the exact size, else the smallest that
// is larger, else the largest; more colours break ties.
bool better(const Candidate& a, const Candidate& b, std::int32_t width, std::int32_t height) {
  const auto rank = [&](const Candidate& c) {
    if (c.width == width && c.height == height) return 0;
    if (c.width >= width && c.height >= height) return 1;
    return 2;
  };
  if (rank(a) != rank(b)) return rank(a) < rank(b);
  const std::int64_t areaA = std::int64_t{a.width} * a.height;
  const std::int64_t areaB = std::int64_t{b.width} * b.height;
  if (areaA != areaB) return rank(a) == 1 ? areaA < areaB : areaA > areaB;
  return a.depth > b.depth;
}

}  // namespace

bool isPng(std::string_view image) {
  constexpr std::string_view signature("\x89PNG\r\n\x1A\n", 8);
  return image.substr(0, signature.size()) == signature;
}

std::optional<DibImageInfo> dibImageInfo(std::string_view image) {
  if (image.size() < dibHeaderSize) return std::nullopt;
  const std::uint32_t headerSize = readU32(image, 0);
  const auto width = static_cast<std::int32_t>(readU32(image, 4));
  const auto fullHeight = static_cast<std::int32_t>(readU32(image, 8));
  const std::uint16_t bitCount = readU16(image, 14);
  const std::uint32_t compression = readU32(image, 16);
  if (headerSize < dibHeaderSize || headerSize > image.size()) return std::nullopt;
  if (width <= 0 || width > largestSide || fullHeight < 2 || fullHeight > 2 * largestSide) {
    return std::nullopt;
  }
  switch (bitCount) {
    case 1:
    case 4:
    case 8:
    case 16:
    case 24:
    case 32:
      break;
    default:
      return std::nullopt;
  }
  DibImageInfo info{width, fullHeight / 2, bitCount, compression, headerSize, 0};
  info.pixelBytes = rowBytes(width, bitCount) * static_cast<std::size_t>(info.height);
  // Uncompressed pixels right after the header are read in place: they must be there.
  if (compression == 0 && bitCount >= 16 && headerSize + info.pixelBytes > image.size()) {
    return std::nullopt;
  }
  return info;
}

std::optional<wIconImage> iconFileImage(std::string_view file, std::int32_t width,
                                        std::int32_t height) {
  if (file.size() < iconDirectorySize) return std::nullopt;
  const std::uint16_t type = readU16(file, 2);
  const std::uint16_t count = readU16(file, 4);
  if (readU16(file, 0) != 0 || (type != 1 && type != 2) || count == 0) return std::nullopt;
  if (file.size() < iconDirectorySize + count * iconEntrySize) return std::nullopt;
  std::optional<Candidate> best;
  for (std::size_t i = 0; i < count; ++i) {
    const std::size_t entry = iconDirectorySize + i * iconEntrySize;
    const std::uint32_t size = readU32(file, entry + 8);
    const std::uint32_t offset = readU32(file, entry + 12);
    if (size == 0 || offset > file.size() || size > file.size() - offset) continue;
    Candidate candidate{};
    candidate.width = static_cast<std::uint8_t>(file[entry]);
    candidate.height = static_cast<std::uint8_t>(file[entry + 1]);
    if (candidate.width == 0) candidate.width = 256;
    if (candidate.height == 0) candidate.height = 256;
    candidate.image = file.substr(offset, size);
    if (std::optional<DibImageInfo> info = dibImageInfo(candidate.image)) {
      candidate.depth = info->bitCount;
    } else if (isPng(candidate.image)) {
      candidate.depth = 32;
    } else {
      continue;
    }
    candidate.hotSpot =
        type == 2 ? wPoint{readU16(file, entry + 4), readU16(file, entry + 6)} : iconHotSpot;
    if (!best || better(candidate, *best, width, height)) best = candidate;
  }
  if (!best) return std::nullopt;
  return wIconImage(std::string(best->image), best->hotSpot);
}

std::string buildIconImage(std::int32_t width, std::int32_t height, std::uint16_t bitCount,
                           std::string_view colourBits, std::string_view maskBits) {
  if (width <= 0 || height <= 0 || width > largestSide || height > largestSide) return {};
  if (bitCount != 16 && bitCount != 24 && bitCount != 32) return {};
  const std::size_t colourSize = rowBytes(width, bitCount) * static_cast<std::size_t>(height);
  const std::size_t maskSize = rowBytes(width, 1) * static_cast<std::size_t>(height);
  if (colourBits.size() != colourSize || maskBits.size() != maskSize) return {};
  std::string image;
  image.reserve(dibHeaderSize + colourSize + maskSize);
  writeU32(image, dibHeaderSize);
  writeU32(image, static_cast<std::uint32_t>(width));
  writeU32(image, static_cast<std::uint32_t>(2 * height));  // colour pixels and mask
  writeU16(image, 1);                                       // planes
  writeU16(image, bitCount);
  writeU32(image, 0);  // uncompressed
  writeU32(image, static_cast<std::uint32_t>(colourSize + maskSize));
  for (int i = 0; i < 4; ++i) writeU32(image, 0);  // resolution, colour counts
  image += colourBits;
  image += maskBits;
  return image;
}

std::string singleImageIconFile(std::string_view image) {
  const DibImageInfo info = *dibImageInfo(image);
  std::string file;
  writeU16(file, 0);
  writeU16(file, 1);  // icon
  writeU16(file, 1);  // one entry
  file += static_cast<char>(info.width >= 256 ? 0 : info.width);
  file += static_cast<char>(info.height >= 256 ? 0 : info.height);
  file += static_cast<char>(info.bitCount < 8 ? 1 << info.bitCount : 0);
  file += '\0';
  writeU16(file, 1);  // planes
  writeU16(file, info.bitCount);
  writeU32(file, static_cast<std::uint32_t>(image.size()));
  writeU32(file, static_cast<std::uint32_t>(iconDirectorySize + iconEntrySize));
  file += image;
  return file;
}

}  // namespace setup
