#include "toolkit/wApp.h"
#include "toolkit/wInternal_win.h"
#include "toolkit/wStaticText.h"

namespace setup {

std::shared_ptr<wStaticText> wStaticText::create(wWindow& parent, std::string_view label,
                                                 wPoint position, wSize size, std::uint64_t style) {
  std::shared_ptr<wStaticText> text(new wStaticText);
  wWindowArgs args;
  args.title = std::string(label);
  args.position = position;
  args.size = size;
  args.style = style;
  text->initControl(parent, args, "Static");
  text->setCanTakeFocusFlag(false);
  text->connectOn(
      parent, WM_COMMAND,
      [t = text.get()](wEvent& e) {
        if (hwndOf(reinterpret_cast<wHandle>(e.second())) != hwndOf(*t)) return;
        switch (HIWORD(e.first())) {
          case STN_CLICKED:
            t->raise(wEvent_Click, e.first(), e.second());
            break;
          case STN_DBLCLK:
            t->raise(wEvent_DoubleClick, e.first(), e.second());
            break;
          default:
            break;
        }
      },
      true);
  // A label drawn centred or right-aligned is drawn anew in full when it grows.
  text->connectSystem(WM_SIZE, [t = text.get()] { sys.InvalidateRect(hwndOf(*t), nullptr, TRUE); });
  return text;
}

wSize wStaticText::bestSize() {
  return staticBestSize(textExtent(label()));
}

wSize wStaticText::defaultSize() {
  return {bestSize().width, wApp::get().probeComboHeight(font().get())};
}

}  // namespace setup
