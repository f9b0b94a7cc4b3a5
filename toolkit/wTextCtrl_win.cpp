#include <algorithm>

#include "toolkit/wApp.h"
#include "toolkit/wInternal_win.h"
#include "toolkit/wNavigation.h"
#include "toolkit/wTextCtrl.h"

namespace setup {
namespace {

// Newer than the Windows headers we build with.
constexpr UINT kSetExtendedStyle = 0x150A;  // EM_SETEXTENDEDSTYLE
constexpr WPARAM kConvertEolOnPaste = 4;    // ES_EX_CONVERT_EOL_ON_PASTE

}  // namespace

std::shared_ptr<wTextCtrl> wTextCtrl::create(wWindow& parent, std::string_view value,
                                             wPoint position, wSize size, std::uint64_t style) {
  std::shared_ptr<wTextCtrl> text(new wTextCtrl);
  const CreationGuard guard(*text);
  text->createdStyle_ = static_cast<std::uint32_t>(style);
  text->acceptsTabs_ = (style & acceptsTabs) != 0;
  text->initControl(
      parent, {.title = std::string(value), .position = position, .size = size, .style = style},
      "Edit");
  text->send(kSetExtendedStyle, kConvertEolOnPaste, kConvertEolOnPaste);
  text->setBackgroundColour(0xFFFFFF);

  wTextCtrl* t = text.get();
  text->connectNotifications(parent, [t](std::uint32_t code, wEvent&) {
    switch (code) {
      case EN_CHANGE:
        if (!t->suppressTextEvent_) t->raise(wEvent_Text);
        break;
      case EN_UPDATE:
        t->raise(wEvent_TextUpdate);
        break;
      case EN_MAXTEXT:
        t->raise(wEvent_TextMaxLength);
        break;
      default:
        break;
    }
  });
  // After the navigation: it sees only an Enter that no default button took.
  if ((style & ES_READONLY) == 0) {
    text->connect(WM_CHAR, [t](wEvent& e) {
      if (e.keyCode() != vk::enter || !t->raise(wEvent_TextEnter).processed) e.skip();
    });
  }
  text->connect(wEvent_Navigation, [t](wEvent& e) {
    if (!textFieldClaims(t->style(), t->acceptsTabs_, e.keyCode(), e.controlDown())) {
      return e.skip();
    }
    e.setResult(1);
  });
  return text;
}

std::shared_ptr<wTextCtrl> wTextCtrl::wrap(wHandle edit, wComboBox* owner) {
  if (!toolkitWindow(sys.GetParent(hwndOf(edit)))) {
    throw wError("cannot wrap this textctrl.", "init");
  }
  std::shared_ptr<wTextCtrl> text(new wTextCtrl);
  text->owner_ = owner;
  text->init(edit);
  text->createdStyle_ = text->style();
  return text;
}

void wTextCtrl::changeValue(std::string_view text) {
  suppressTextEvent_ = true;
  try {
    setLabel(text);
  } catch (...) {
    suppressTextEvent_ = false;
    throw;
  }
  suppressTextEvent_ = false;
}

wSize wTextCtrl::bestSize() {
  const std::string text = value();
  wTextMeasure m;
  for (std::string_view line : splitLines(text)) {
    // An empty line is as high as any other.
    const wSize extent = textExtent(line.empty() ? std::string_view(" ") : line);
    if (!line.empty()) m.widestLine = std::max(m.widestLine, extent.width);
    m.lineHeight = std::max(m.lineHeight, extent.height);
  }
  const auto margins = static_cast<std::uint32_t>(send(EM_GETMARGINS));
  m.leftMargin = LOWORD(margins);
  m.rightMargin = HIWORD(margins);
  m.lineCount = static_cast<std::int32_t>(send(EM_GETLINECOUNT));
  m.vScrollWidth = sys.GetSystemMetrics(SM_CXVSCROLL);
  m.hScrollHeight = sys.GetSystemMetrics(SM_CYHSCROLL);
  return textBestSize(m, style());
}

wSize wTextCtrl::defaultSize() {
  return textDefaultSize(wApp::get().probeComboHeight(font()),
                         (createdStyle_ & es::multiLine) != 0);
}

}  // namespace setup
