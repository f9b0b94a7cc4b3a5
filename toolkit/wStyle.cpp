#include "toolkit/wStyle.h"

#include "toolkit/wTypes.h"

namespace setup {

wNativeStyle nativeStyle(std::uint64_t style, bool hasParent) {
  wNativeStyle result;
  result.style = static_cast<std::uint32_t>(style & 0xFFFFFFFF);
  result.exStyle = static_cast<std::uint32_t>((style >> 32) & 0x0FFFFFFF);
  if (hasParent) {
    result.style |= ws::child | ws::visible;
  } else {
    result.style = (result.style & ~(ws::visible | ws::clipChildren)) | ws::clipChildren;
    result.hiddenOwner = (style & ws::hiddenOwner) != 0;
  }
  if ((style & ws::startHidden) != 0) result.style &= ~ws::visible;
  return result;
}

wStyleBits splitStyleBits(std::uint64_t bits) {
  return {static_cast<std::uint32_t>(bits & 0xFFFFFFFF), static_cast<std::uint32_t>(bits >> 32)};
}

bool startsGroup(std::optional<wClassKind> previousControl, wClassKind kind) {
  if (!previousControl) return true;
  return (*previousControl == wClassKind::radioButton) != (kind == wClassKind::radioButton);
}

wSide dockedBarSide(std::uint32_t toolBarStyle) {
  switch (toolBarStyle & 0x83) {
    case 0x81:
      return wSide::left;
    case 0x83:
      return wSide::right;
    case 0x03:
      return wSide::bottom;
    default:
      return wSide::top;
  }
}

bool dockedBarTakesRoom(bool visible, std::uint32_t style) {
  constexpr std::uint32_t noResize = 4;
  constexpr std::uint32_t noParentAlign = 8;
  return visible && (style & (noResize | noParentAlign)) == 0;
}

std::uint32_t buttonImageAlignment(std::uint32_t side) {
  switch (side) {
    case 32:
      return 1;
    case 64:
      return 2;
    case 128:
      return 3;
    case 48:
    case 192:
      return 4;
    default:
      return 0;
  }
}

}  // namespace setup
