#include "toolkit/wApp.h"
#include "toolkit/wInternal_win.h"
#include "toolkit/wStaticText.h"

namespace setup {

std::shared_ptr<wStaticText> wStaticText::create(wWindow& parent, std::string_view label,
                                                 wPoint position, wSize size, std::uint64_t style) {
  std::shared_ptr<wStaticText> text(new wStaticText);
  const CreationGuard guard(*text);
  text->initControl(
      parent, {.title = std::string(label), .position = position, .size = size, .style = style},
      "Static");
  text->setCanTakeFocusFlag(false);
  text->connectNotifications(parent, [t = text.get()](std::uint32_t code, wEvent& e) {
    switch (code) {
      case STN_CLICKED:
        t->raise(wEvent_Click, e.first(), e.second());
        break;
      case STN_DBLCLK:
        t->raise(wEvent_DoubleClick, e.first(), e.second());
        break;
      default:
        break;
    }
  });
  // A label drawn centred or right-aligned is drawn anew in full when it grows.
  text->connectSystem(WM_SIZE, [t = text.get()] { sys.InvalidateRect(hwndOf(*t), nullptr, TRUE); });
  return text;
}

wSize wStaticText::bestSize() {
  return staticBestSize(textExtent(label()));
}

wSize wStaticText::defaultSize() {
  return {bestSize().width, wApp::get().probeComboHeight(font())};
}

}  // namespace setup
