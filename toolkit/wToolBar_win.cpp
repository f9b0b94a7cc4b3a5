#include <algorithm>
#include <limits>

#include "runtime/errors.h"
#include "toolkit/wBitmap.h"
#include "toolkit/wInternal_win.h"
#include "toolkit/wMenu.h"
#include "toolkit/wToolBar.h"

namespace setup {

std::shared_ptr<wToolBar> wToolBar::create(wWindow& parent, wPoint position, wSize size,
                                           std::uint64_t style) {
  std::shared_ptr<wToolBar> bar(new wToolBar);
  const CreationGuard guard(*bar);
  bar->initControl(parent, {.position = position, .size = size, .style = style}, "ToolbarWindow32");
  bar->setCanTakeFocusFlag(false);
  bar->setBackgroundColour(0xFFFFFF);
  bar->send(TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON));
  bar->send(TB_SETEXTENDEDSTYLE, 0, TBSTYLE_EX_DRAWDDARROWS);
  parent.addDockedBar(bar.get());

  wToolBar* b = bar.get();
  bar->connectOn(
      parent, WM_SIZE,
      [b] {
        if ((b->style() & (CCS_NORESIZE | CCS_NOPARENTALIGN)) == 0) b->send(TB_AUTOSIZE);
      },
      true);
  bar->connectNotifications(parent, [b](std::uint32_t code, wEvent& e) {
    if (code == 0) b->raise(wEvent_Menu, e.first(), e.second());
  });
  bar->connect(wEvent_ToolDropDown, [b](wEvent& e) { b->dropDown(e); });
  return bar;
}

bool wToolBar::addTool(std::int64_t id, std::string_view label, std::shared_ptr<wBitmap> bitmap,
                       std::string_view shortHelp, std::string_view longHelp) {
  if (id < std::numeric_limits<std::int32_t>::min() ||
      id > std::numeric_limits<std::int32_t>::max()) {
    throw ValueError("tool identifier out of 32-bit range: " + std::to_string(id), "addTool");
  }
  const auto index = static_cast<WPARAM>(send(TB_BUTTONCOUNT));
  const std::wstring text = toWide(label);
  TBBUTTON button{};
  button.iBitmap = I_IMAGENONE;
  button.idCommand = static_cast<int>(id);
  button.fsState = TBSTATE_ENABLED;
  button.fsStyle = 0;
  button.iString = text.empty() ? 0 : reinterpret_cast<INT_PTR>(text.c_str());
  if (bitmap) {
    send(TB_SETBITMAPSIZE, 0,
         static_cast<std::int64_t>(MAKELONG(bitmap->width(), bitmap->height())));
    TBADDBITMAP add{nullptr, reinterpret_cast<UINT_PTR>(bitmap->handle())};
    const auto image = send(TB_ADDBITMAP, 1, reinterpret_cast<std::int64_t>(&add));
    if (image >= 0) button.iBitmap = static_cast<int>(image);
  }
  if (!send(TB_INSERTBUTTONW, index, reinterpret_cast<std::int64_t>(&button))) return false;
  send(TB_AUTOSIZE);
  tools_.push_back({static_cast<std::int32_t>(id), std::move(bitmap), std::string(shortHelp),
                    std::string(longHelp)});
  return true;
}

void wToolBar::showDocked(bool show) {
  // The bar's own visibility, as the parent's client area counts it: a bar
  // shown or hidden while its window is hidden still moves the client origin.
  const bool was = isShownItself();
  if (show) {
    this->show();
  } else {
    hide();
  }
  if (was != isShownItself() && parent() != nullptr) {
    const wSize client = parent()->clientSize();
    parent()->raise(wEvent_Size, 0, MAKELPARAM(client.width, client.height));
  }
}

std::optional<std::string> wToolBar::toolTip(std::uint32_t toolId) const {
  for (const Tool& tool : tools_) {
    if (static_cast<std::uint32_t>(tool.id) == toolId) return tool.shortHelp;
  }
  return std::nullopt;
}

wSize wToolBar::bestSize() {
  SIZE ideal{};
  send(TB_GETIDEALSIZE, FALSE, reinterpret_cast<std::int64_t>(&ideal));
  const auto button = static_cast<std::uint32_t>(send(TB_GETBUTTONSIZE));
  return {ideal.cx, static_cast<std::int32_t>(HIWORD(button))};
}

wSize wToolBar::defaultSize() {
  SIZE width{};
  SIZE height{};
  send(TB_GETIDEALSIZE, FALSE, reinterpret_cast<std::int64_t>(&width));
  send(TB_GETIDEALSIZE, TRUE, reinterpret_cast<std::int64_t>(&height));
  const auto button = static_cast<std::uint32_t>(send(TB_GETBUTTONSIZE));
  const auto padding = static_cast<std::uint32_t>(send(TB_GETPADDING));
  return toolBarDefaultSize(
      {width.cx, height.cy},
      {static_cast<std::int32_t>(LOWORD(button)), static_cast<std::int32_t>(HIWORD(button))},
      {static_cast<std::int32_t>(LOWORD(padding)), static_cast<std::int32_t>(HIWORD(padding))});
}

wToolBar::Tool* wToolBar::findTool(std::int32_t id) {
  const auto tool =
      std::find_if(tools_.begin(), tools_.end(), [id](const Tool& t) { return t.id == id; });
  return tool == tools_.end() ? nullptr : &*tool;
}

bool wToolBar::setDropDownMenu(std::int32_t id, wHandle menu) {
  Tool* const tool = findTool(id);
  if (tool == nullptr) return false;
  TBBUTTONINFOW info{};
  info.cbSize = sizeof info;
  info.dwMask = TBIF_STYLE;
  if (send(TB_GETBUTTONINFOW, static_cast<std::uint64_t>(id),
           reinterpret_cast<std::int64_t>(&info)) < 0) {
    return false;
  }
  info.fsStyle = static_cast<BYTE>(menu != nullptr ? (info.fsStyle | BTNS_DROPDOWN)
                                                   : (info.fsStyle & ~BTNS_DROPDOWN));
  if (!send(TB_SETBUTTONINFOW, static_cast<std::uint64_t>(id),
            reinterpret_cast<std::int64_t>(&info))) {
    return false;
  }
  tool->menu = menu;
  send(TB_AUTOSIZE);
  return true;
}

void wToolBar::dropDown(wEvent& event) {
  const auto id = static_cast<std::int32_t>(event.first());
  const Tool* const tool = findTool(id);
  if (tool == nullptr || tool->menu == nullptr) return event.skip();
  RECT r{};
  if (!send(TB_GETRECT, static_cast<std::uint64_t>(id), reinterpret_cast<std::int64_t>(&r))) {
    return event.skip();
  }
  sys.MapWindowPoints(hwndOf(*this), nullptr, reinterpret_cast<POINT*>(&r), 2);
  // Owned by the top-level window, which shows the menu help; the chosen
  // item's wEvent_Menu arrives there, as a click on a tool would.
  if (!popupMenu(topLevel(), tool->menu, {r.left, r.bottom})) event.skip();
}

}  // namespace setup
