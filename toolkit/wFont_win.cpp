#include <windows.h>

#include <cmath>
#include <limits>
#include <span>

#include "runtime/syscalls_win.h"
#include "toolkit/wError.h"
#include "toolkit/wFont.h"
#include "toolkit/wGdiObject_win.h"
#include "toolkit/winstr.h"

namespace setup {

namespace {

static_assert(sizeof(LOGFONTW) == 92);
static_assert(sizeof(NONCLIENTMETRICSW) == 504);

// The system's message font, or the default GUI font when the metrics cannot be read.
LOGFONTW messageFont() {
  NONCLIENTMETRICSW metrics{};
  metrics.cbSize = sizeof metrics;
  if (sys.SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, 0, &metrics, 0)) {
    return metrics.lfMessageFont;
  }
  LOGFONTW logFont{};
  sys.GetObjectW(sys.GetStockObject(DEFAULT_GUI_FONT), sizeof logFont, &logFont);
  return logFont;
}

}  // namespace

std::int32_t screenDpiY() {
  static const std::int32_t dpiY = [] {
    HDC screen = sys.GetDC(nullptr);
    const int value = screen != nullptr ? sys.GetDeviceCaps(screen, LOGPIXELSY) : 0;
    if (screen != nullptr) sys.ReleaseDC(nullptr, screen);
    return value > 0 ? value : 96;
  }();
  return dpiY;
}

wFont::wFont(double pointSize, bool italic, bool underline, bool strikeOut,
             std::string_view faceName) {
  LOGFONTW logFont = messageFont();
  if (std::isfinite(pointSize)) logFont.lfHeight = fontHeightForPoints(pointSize, screenDpiY());
  logFont.lfItalic = italic;
  logFont.lfUnderline = underline;
  logFont.lfStrikeOut = strikeOut;
  logFont.lfWeight = FW_NORMAL;
  if (!faceName.empty()) fillBuffer(std::span<WCHAR>(logFont.lfFaceName), faceName);
  init(logFont);
}

wFont::wFont(const LOGFONTW& logFont) {
  init(logFont);
}

void wFont::init(const LOGFONTW& logFont) {
  HFONT font = sys.CreateFontIndirectW(&logFont);
  if (font == nullptr) throw wFontError("init");
  adopt(font, releaseGdiObject);
  pointSize_ = pointsForFontHeight(logFont.lfHeight, screenDpiY());
  weight_ = logFont.lfWeight;
  italic_ = logFont.lfItalic != 0;
  underline_ = logFont.lfUnderline != 0;
  strikeOut_ = logFont.lfStrikeOut != 0;
  // The field need not hold a terminator; it never reaches past its 32 units.
  std::wstring_view face(logFont.lfFaceName, LF_FACESIZE);
  faceName_ = toUtf8(face.substr(0, face.find(L'\0')));
  charSet_ = logFont.lfCharSet;
}

std::shared_ptr<wFont> wFont::makeDefault() {
  return std::make_shared<wFont>(std::numeric_limits<double>::quiet_NaN(), false, false, false, "");
}

std::shared_ptr<wFont> wFont::ofNativeFont(void* handle) {
  const auto font = static_cast<HGDIOBJ>(handle);
  if (font == nullptr || sys.GetObjectType(font) == 0) return makeDefault();
  LOGFONTW logFont{};
  if (sys.GetObjectW(font, sizeof logFont, &logFont) != sizeof logFont) throw wFontError("init");
  return std::make_shared<wFont>(logFont);
}

}  // namespace setup
