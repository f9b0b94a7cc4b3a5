// The windows' side of the graphic objects.
#include "toolkit/wApp.h"
#include "toolkit/wBrush.h"
#include "toolkit/wFont.h"
#include "toolkit/wInternal_win.h"

namespace setup {

HFONT nativeFont(const wFont* font) {
  return font != nullptr ? static_cast<HFONT>(font->handle()) : nullptr;
}

std::shared_ptr<wFont> makeDefaultFont() {
  return wFont::makeDefault();
}

std::shared_ptr<wFont> fontOfNativeWindow(HWND window) {
  const auto font = reinterpret_cast<void*>(sys.SendMessageW(window, WM_GETFONT, 0, 0));
  // No font of its own: the system font, which is the application's default.
  if (font == nullptr) return wApp::get().defaultFont();
  return wFont::ofNativeFont(font);
}

std::shared_ptr<wBrush> makeBrush(wColour colour) {
  if (colour == wNoColour) return wBrush::transparent();
  return std::make_shared<wBrush>(colour, 0);
}

HBRUSH nativeBrush(const wBrush* brush) {
  return brush != nullptr ? static_cast<HBRUSH>(brush->handle()) : nullptr;
}

}  // namespace setup
