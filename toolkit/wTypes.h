// Values shared by every part of the toolkit: the unset marker, geometry, the
// native message numbers that portable code needs, and the style
// bits it computes with. Nothing here needs the Windows headers, so the logic
// built on it runs and is tested on any platform.
#pragma once

#include <cstdint>
#include <limits>

namespace setup {

// A position or size component that was not given.
inline constexpr std::int32_t wDefault = std::numeric_limits<std::int32_t>::min();

// A colour in the COLORREF layout 0x00BBGGRR; wNoColour means none.
using wColour = std::int32_t;
inline constexpr wColour wNoColour = -1;

// A native window handle as portable code sees it: only compared and passed on.
using wHandle = void*;

struct wPoint {
  std::int32_t x = 0;
  std::int32_t y = 0;
  friend bool operator==(const wPoint&, const wPoint&) = default;
};

struct wSize {
  std::int32_t width = 0;
  std::int32_t height = 0;
  friend bool operator==(const wSize&, const wSize&) = default;
};

struct wRect {
  std::int32_t left = 0;
  std::int32_t top = 0;
  std::int32_t right = 0;
  std::int32_t bottom = 0;
  std::int32_t width() const { return right - left; }
  std::int32_t height() const { return bottom - top; }
  bool contains(wPoint p) const { return p.x >= left && p.x < right && p.y >= top && p.y < bottom; }
  friend bool operator==(const wRect&, const wRect&) = default;
};

struct wMargins {
  std::int32_t left = 0;
  std::int32_t top = 0;
  std::int32_t right = 0;
  std::int32_t bottom = 0;
  friend bool operator==(const wMargins&, const wMargins&) = default;
};

// Native message numbers for code built without the Windows headers, which
// define the usual names as macros.
namespace wm {
inline constexpr std::uint32_t mouseMove = 512;
}  // namespace wm

// Virtual-key codes the keyboard navigation looks at.
namespace vk {
inline constexpr std::uint32_t tab = 9;
inline constexpr std::uint32_t enter = 13;
inline constexpr std::uint32_t shift = 0x10;
inline constexpr std::uint32_t control = 0x11;
inline constexpr std::uint32_t pageUp = 33;
inline constexpr std::uint32_t left = 37;
inline constexpr std::uint32_t up = 38;
inline constexpr std::uint32_t right = 39;
inline constexpr std::uint32_t down = 40;
inline constexpr std::uint32_t leftShift = 0xA0;
inline constexpr std::uint32_t rightShift = 0xA1;
inline constexpr std::uint32_t leftControl = 0xA2;
inline constexpr std::uint32_t rightControl = 0xA3;
}  // namespace vk

// Window style bits the toolkit computes with.
namespace ws {
inline constexpr std::uint32_t hScroll = 0x00100000;
inline constexpr std::uint32_t vScroll = 0x00200000;
inline constexpr std::uint32_t clipChildren = 0x02000000;
inline constexpr std::uint32_t visible = 0x10000000;
inline constexpr std::uint32_t child = 0x40000000;
// Bits of the toolkit's 64-bit style beyond the extended style.
inline constexpr std::uint64_t hiddenOwner = std::uint64_t{1} << 60;
inline constexpr std::uint64_t startHidden = std::uint64_t{1} << 61;
}  // namespace ws

}  // namespace setup
