#include <algorithm>

#include "toolkit/wApp.h"
#include "toolkit/wComboBox.h"
#include "toolkit/wInternal_win.h"
#include "toolkit/wListBox.h"
#include "toolkit/wNavigation.h"
#include "toolkit/wTextCtrl.h"

namespace setup {

std::shared_ptr<wListBox> wListBox::wrap(wHandle list) {
  std::shared_ptr<wListBox> box(new wListBox);
  box->init(list);
  return box;
}

std::shared_ptr<wComboBox> wComboBox::create(wWindow& parent, std::string_view value,
                                             std::vector<std::string> items, std::uint64_t style,
                                             wPoint position, wSize size) {
  std::shared_ptr<wComboBox> combo(new wComboBox);
  const CreationGuard guard(*combo);
  combo->items_ = std::move(items);
  combo->initControl(parent, {.position = position, .size = size, .style = style}, "ComboBox");
  wComboBox* c = combo.get();
  const HWND h = hwndOf(*c);

  COMBOBOXINFO info{};
  info.cbSize = sizeof info;
  if (sys.GetComboBoxInfo(h, &info)) {
    // A drop-down list has no edit part: the system reports none or the combo box itself.
    if (info.hwndItem != nullptr && info.hwndItem != h) c->wrapEditPart(info.hwndItem);
    if (info.hwndList != nullptr && info.hwndList != h) c->list_ = wListBox::wrap(info.hwndList);
  }

  if ((style & dropDownList) == dropDownList) {
    const auto found = std::find(c->items_.begin(), c->items_.end(), value);
    c->select(found == c->items_.end() ? -1 : static_cast<int>(found - c->items_.begin()));
  } else {
    c->setLabel(value);
  }
  c->raise(wEvent_Text);

  combo->connectNotifications(parent, [c](std::uint32_t code, wEvent& e) {
    switch (code) {
      case CBN_DBLCLK:
        c->raise(wEvent_DoubleClick, e.first(), e.second());
        break;
      case CBN_SETFOCUS:
        c->raise(wEvent_ControlSetFocus, e.first(), e.second());
        break;
      case CBN_KILLFOCUS:
        c->raise(wEvent_ControlKillFocus, e.first(), e.second());
        break;
      case CBN_DROPDOWN:
        c->raise(wEvent_ComboBoxOpen, e.first(), e.second());
        break;
      case CBN_CLOSEUP:
        c->raise(wEvent_ComboBoxClose, e.first(), e.second());
        break;
      case CBN_SELENDOK:
        // Handlers read the value: it must be the chosen item's already.
        if (const int chosen = c->selection(); chosen >= 0) c->setLabel(c->itemText(chosen));
        c->raise(wEvent_ComboBox, e.first(), e.second());
        break;
      default:
        break;
    }
  });
  combo->connect(wEvent_Navigation, [](wEvent& e) {
    if (!comboBoxClaims(e.keyCode())) return e.skip();
    e.setResult(1);
  });
  combo->connect(WM_KEYDOWN, [c](wEvent& e) {
    if (e.keyCode() != vk::enter) return e.skip();
    // An open list is closed by the combo box itself, which confirms the
    // highlighted item; hiding it from here would cancel the choice.
    if (c->isDroppedDown()) return e.skip();
    c->showDropDown(true);
  });
  return combo;
}

void wComboBox::releaseObjects() {
  // Each part leaves the window table with its own native window.
  edit_.reset();
  list_.reset();
}

void wComboBox::wrapEditPart(wHandle editHandle) {
  edit_ = wTextCtrl::wrap(editHandle, this);
  const HWND edit = hwndOf(editHandle);
  // The edit part's notifications reach the combo box itself.
  connectSystem(WM_COMMAND, [this, edit](wEvent& e) {
    if (reinterpret_cast<HWND>(e.second()) != edit) return;
    switch (HIWORD(e.first())) {
      case EN_CHANGE:
        raise(wEvent_Text);
        break;
      case EN_UPDATE:
        raise(wEvent_TextUpdate);
        break;
      case EN_MAXTEXT:
        raise(wEvent_TextMaxLength);
        break;
      default:
        break;
    }
  });
  edit_->connectSystem(WM_SETFOCUS, [this] { focusGained(); });
  edit_->connectSystem(WM_KILLFOCUS,
                       [this](wEvent& e) { focusLost(reinterpret_cast<wHandle>(e.first())); });
  edit_->connect(WM_CHAR, [this](wEvent& e) {
    const wDispatchResult r =
        e.keyCode() == vk::enter ? raise(wEvent_TextEnter) : raise(WM_CHAR, e.first(), e.second());
    if (!r.processed) e.skip();
  });
  for (UINT message : {WM_KEYDOWN, WM_SYSCHAR}) {
    edit_->connect(message, [this](wEvent& e) { navigate(e); });
  }
}

void wComboBox::addInitialItems() {
  for (const std::string& item : items_) {
    send(CB_ADDSTRING, 0, reinterpret_cast<std::int64_t>(toWide(item).c_str()));
  }
}

int wComboBox::selection() const {
  return static_cast<int>(send(CB_GETCURSEL));
}
void wComboBox::select(int index) {
  send(CB_SETCURSEL, static_cast<std::uint64_t>(index));
}
int wComboBox::count() const {
  return static_cast<int>(send(CB_GETCOUNT));
}

std::string wComboBox::itemText(int index) const {
  const auto length = send(CB_GETLBTEXTLEN, static_cast<std::uint64_t>(index));
  if (length <= 0) return {};
  std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
  const auto copied = send(CB_GETLBTEXT, static_cast<std::uint64_t>(index),
                           reinterpret_cast<std::int64_t>(text.data()));
  text.resize(static_cast<std::size_t>(std::max<std::int64_t>(copied, 0)));
  return toUtf8(text);
}

void wComboBox::showDropDown(bool show) {
  send(CB_SHOWDROPDOWN, show ? TRUE : FALSE);
}
bool wComboBox::isDroppedDown() const {
  return send(CB_GETDROPPEDSTATE) != 0;
}

wSize wComboBox::sizeAtScale(double scale) {
  const std::int32_t probe = wApp::get().probeComboHeight(font());
  std::vector<std::int32_t> widths;
  const int n = count();
  for (int i = 0; i < n; ++i) widths.push_back(textExtent(itemText(i)).width);
  COMBOBOXINFO info{};
  info.cbSize = sizeof info;
  std::int32_t button = 0;
  if (sys.GetComboBoxInfo(hwndOf(*this), &info)) {
    button = info.rcButton.right - info.rcButton.left;
  }
  return {comboBestWidth(probe, widths, scale, button), size().height};
}

wSize wComboBox::bestSize() {
  return withSimpleList(sizeAtScale(1.0));
}
wSize wComboBox::defaultSize() {
  return withSimpleList(sizeAtScale(wDefaultSizeScale));
}

wSize wComboBox::withSimpleList(wSize dropDownSize) {
  if ((style() & 3) != CBS_SIMPLE) return dropDownSize;
  wSimpleComboMeasure m;
  m.width = dropDownSize.width;
  m.probeHeight = wApp::get().probeComboHeight(font());
  m.itemHeight = static_cast<std::int32_t>(send(CB_GETITEMHEIGHT, 0));
  m.itemCount = count();
  m.vScrollWidth = sys.GetSystemMetrics(SM_CXVSCROLL);
  return simpleComboSize(m);
}

}  // namespace setup
