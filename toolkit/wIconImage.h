// The bytes of one icon or cursor image as a resource or an .ico/.cur file
// stores them: a DIB (header, colour pixels, AND mask) or a PNG stream; and
// the rules for reading and building them. Untrusted bytes: every reader here
// checks each declared size and offset against the input before using it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "toolkit/wTypes.h"

namespace setup {

struct IconReference;

class wIconImage {
 public:
  // hotSpot is wDefault (both coordinates) for icons.
  wIconImage(std::string bytes, wPoint hotSpot) : bytes_(std::move(bytes)), hotSpot_(hotSpot) {}

  // The image that reference names, for a 16 x 16 icon (see wIcon). Throws
  // wIconImageError when there is none.
  static wIconImage load(const IconReference& reference);

  const std::string& bytes() const { return bytes_; }
  wPoint hotSpot() const { return hotSpot_; }

 private:
  std::string bytes_;
  wPoint hotSpot_;
};

inline constexpr wPoint iconHotSpot{wDefault, wDefault};

// The image of an .ico or .cur file best for the desired size: the exact size
// with the most colours, else the smallest larger one, else the largest. For a
// .cur file the hot spot comes from its directory entry. Nothing for bytes
// that are not such a file or whose chosen entry lies outside them.
std::optional<wIconImage> iconFileImage(std::string_view file, std::int32_t width,
                                        std::int32_t height);

// A PNG stream begins with 0x89 "PNG" CR LF 0x1A LF.
bool isPng(std::string_view image);

// The header of an icon image's DIB: its height counts the colour pixels and
// the mask, so the image is half as high.
struct DibImageInfo {
  std::int32_t width;
  std::int32_t height;  // of the image
  std::uint16_t bitCount;
  std::uint32_t compression;
  std::size_t pixelOffset;  // the header's size
  std::size_t pixelBytes;   // colour pixels, rows padded to 4 bytes
};
std::optional<DibImageInfo> dibImageInfo(std::string_view image);

// An icon image: a 40-byte DIB header, the colour pixels and the AND mask,
// rows bottom-up and padded to 4 bytes. Empty when the pieces do not match the
// size (colour bits of 16 bits per pixel and more only: no colour table).
std::string buildIconImage(std::int32_t width, std::int32_t height, std::uint16_t bitCount,
                           std::string_view colourBits, std::string_view maskBits);

// An .ico file of one entry holding image, for decoders that read files.
// REQUIRES: image is a DIB icon image (dibImageInfo succeeds).
std::string singleImageIconFile(std::string_view image);

}  // namespace setup
