// Fonts. A font starts from the system's message font and changes what its
// parameters give; sizes are points at the screen's vertical resolution.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "toolkit/wGdiObject.h"

struct tagLOGFONTW;

namespace setup {

// lfHeight for a size in points at dpiY pixels per inch: -(dpiY x points / 72)
// rounded half away from zero. REQUIRES: points is finite. Throws OverflowError
// when the result leaves the 32-bit range.
std::int32_t fontHeightForPoints(double points, std::int32_t dpiY);

// The size in points of a font of lfHeight at dpiY: -(height x 72) / dpiY.
double pointsForFontHeight(std::int32_t height, std::int32_t dpiY);

class wFont : public wGdiObject {
 public:
  // The message font with these changes: a finite pointSize sets the size (NaN
  // keeps the system's), a non-empty faceName the face; the weight is normal.
  // Throws IndexError "string length too long" for a face name of more than 31
  // UTF-16 units, OverflowError for a size out of range, wFontError when the
  // system makes no font.
  wFont(double pointSize, bool italic, bool underline, bool strikeOut, std::string_view faceName);
  // A font from a native record. Throws wFontError.
  explicit wFont(const tagLOGFONTW& logFont);

  // The default font: wFont(NaN, false, false, false, "").
  static std::shared_ptr<wFont> makeDefault();
  // A new object for a native window's font (its WM_GETFONT answer); a
  // handle that is no font gives the default parameters. Throws wFontError
  // when the handle is a font that cannot be read.
  static std::shared_ptr<wFont> ofNativeFont(void* font);

  double pointSize() const { return pointSize_; }
  std::int32_t weight() const { return weight_; }
  bool italic() const { return italic_; }
  bool underline() const { return underline_; }
  bool strikeOut() const { return strikeOut_; }
  const std::string& faceName() const { return faceName_; }
  std::uint8_t charSet() const { return charSet_; }

 private:
  void init(const tagLOGFONTW& logFont);

  double pointSize_ = 0;
  std::int32_t weight_ = 0;
  bool italic_ = false;
  bool underline_ = false;
  bool strikeOut_ = false;
  std::string faceName_;
  std::uint8_t charSet_ = 0;
};

// The screen's vertical resolution (LOGPIXELSY), read once for the process.
std::int32_t screenDpiY();

}  // namespace setup
