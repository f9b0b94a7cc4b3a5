#include <windowsx.h>

#include <set>

#include "toolkit/wButton.h"
#include "toolkit/wControl.h"
#include "toolkit/wInternal_win.h"
#include "toolkit/wNavigation.h"
#include "toolkit/wStyle.h"

namespace setup {
namespace {

// Shows or hides a push button's default frame; only a change is written.
void showAsDefault(wWindow& button, bool on) {
  const HWND h = hwndOf(button);
  const auto style = static_cast<std::uint32_t>(sys.GetWindowLongPtrW(h, GWL_STYLE));
  const std::uint32_t wanted = on ? (style | BS_DEFPUSHBUTTON) : (style & ~BS_DEFPUSHBUTTON);
  if (wanted == style) return;
  sys.SetWindowLongPtrW(h, GWL_STYLE, static_cast<LONG_PTR>(wanted));
  sys.InvalidateRect(h, nullptr, TRUE);
}

// Set while a buddy's control computes its default non-client area.
bool inBuddyNcCalcSize = false;

}  // namespace

struct wControl::Buddy {
  wControl* control = nullptr;
  wSide side = wSide::right;
  wBorders borders;
  std::int32_t margin = 0;
  std::weak_ptr<wControl> buddy;
  wSize size = wBuddyDefaultSize;

  wRect rect() const {
    RECT r{};
    sys.GetWindowRect(hwndOf(*control), &r);
    return buddyRect(toRect(r), borders, side, size);
  }
};

void wControl::initControl(wWindow& parent, const wWindowArgs& args, std::string_view nativeClass) {
  std::optional<wClassKind> previous;
  for (auto it = parent.children().rbegin(); it != parent.children().rend(); ++it) {
    if (isControl(**it)) {
      previous = (*it)->classKind();
      break;
    }
  }
  wWindowArgs a = args;
  a.id = -1;  // never addressed by identifier: command identifiers read 0xFFFF
  a.style |= WS_CHILD;
  if (startsGroup(previous, classKind())) a.style |= WS_GROUP;
  initVerbosely(&parent, a, nativeClass, false);
  subclass();
  setCanTakeFocusFlag(true);

  connectSystem(WM_KILLFOCUS,
                [this](wEvent& e) { focusLost(reinterpret_cast<wHandle>(e.first())); });
  connectSystem(WM_SETFOCUS, [this] { focusGained(); });
  for (UINT message : {WM_CHAR, WM_KEYDOWN, WM_SYSCHAR}) {
    connect(message, [this](wEvent& e) { navigate(e); });
  }
}

void wControl::connectNotifications(wWindow& parent,
                                    std::function<void(std::uint32_t code, wEvent&)> handler) {
  connectOn(
      parent, WM_COMMAND,
      [this, handler = std::move(handler)](wEvent& e) {
        if (hwndOf(reinterpret_cast<wHandle>(e.second())) == hwndOf(*this)) {
          handler(HIWORD(e.first()), e);
        }
      },
      true);
}

// --- Focus bookkeeping ---

void wControl::focusGained() {
  if (parent() == nullptr) return;
  const bool focusedIsButton = classKind() == wClassKind::button;
  for (const auto& sibling : parent()->children()) {
    if (sibling->classKind() != wClassKind::button) continue;
    const auto& button = static_cast<const wButton&>(*sibling);
    showAsDefault(*sibling,
                  showsAsDefault(focusedIsButton, sibling.get() == this, button.isDefault()));
  }
}

void wControl::focusLost(wHandle newFocus) {
  topLevel().setLastFocusedChild(handle());
  if (parent() == nullptr) return;
  const std::shared_ptr<wWindow> next = toolkitWindow(hwndOf(newFocus));
  if (next && next->parent() == parent()) return;
  for (const auto& sibling : parent()->children()) {
    if (sibling->classKind() == wClassKind::button) showAsDefault(*sibling, false);
  }
}

// --- Keyboard navigation ---

bool wControl::navigationClaims(const wEvent& key) {
  const wDispatchResult r = raise(wEvent_Navigation, key.first(), key.second());
  return r.processed && r.result == 1;
}

void wControl::navigate(wEvent& event) {
  const std::uint32_t key = event.keyCode();
  bool used = false;
  switch (event.id()) {
    case WM_CHAR:
      if (key == vk::tab && !navigationClaims(event)) {
        used = moveFocus(true, event.shiftDown());
      } else if (key == vk::enter && !event.shiftDown() && !navigationClaims(event)) {
        used = pressEnter();
      }
      break;
    case WM_SYSCHAR:
      if (const std::optional<char> letter = mnemonicKey(key)) {
        if (!navigationClaims(event)) used = pressMnemonic(*letter);
      }
      break;
    case WM_KEYDOWN:
      if ((key == vk::left || key == vk::up) && !navigationClaims(event)) {
        used = moveFocus(false, true);
      } else if ((key == vk::right || key == vk::down) && !navigationClaims(event)) {
        used = moveFocus(false, false);
      } else if (key == vk::tab && event.controlDown() && !navigationClaims(event)) {
        // No notebook to switch pages in: Ctrl+Tab moves like Tab.
        used = moveFocus(true, event.shiftDown());
      }
      break;
    default:
      break;
  }
  if (!used) event.skip();
}

bool wControl::moveFocus(bool tabOrder, bool previous) {
  if (parent() == nullptr) return false;
  const HWND container = hwndOf(*parent());
  const HWND start = hwndOf(*this);
  std::set<HWND> seen;
  HWND candidate = start;
  for (;;) {
    candidate = tabOrder ? sys.GetNextDlgTabItem(container, candidate, previous)
                         : sys.GetNextDlgGroupItem(container, candidate, previous);
    // Back at the start, or around a cycle that does not hold it.
    if (candidate == nullptr || candidate == start || !seen.insert(candidate).second) return false;
    const std::shared_ptr<wWindow> w = toolkitWindow(candidate);
    if (w && isControl(*w) && w->canTakeFocus()) {
      w->setFocus();
      return true;
    }
  }
}

bool wControl::pressEnter() {
  wButton* defaultButton = nullptr;
  if (parent() != nullptr) {
    for (const auto& sibling : parent()->children()) {
      if (sibling->classKind() == wClassKind::button &&
          static_cast<wButton&>(*sibling).isDefault()) {
        defaultButton = static_cast<wButton*>(sibling.get());
        break;
      }
    }
  }
  switch (enterAction(classKind(), defaultButton != nullptr)) {
    case wEnterAction::clickFocused:
      send(BM_CLICK);
      return true;
    case wEnterAction::clickDefault:
      defaultButton->click();
      return true;
    case wEnterAction::none:
      return false;
  }
  return false;
}

bool wControl::pressMnemonic(char key) {
  if (parent() == nullptr) return false;
  const auto& siblings = parent()->children();
  std::vector<std::string> labels;
  std::vector<wMnemonicCandidate> candidates;
  std::size_t focused = 0;
  labels.reserve(siblings.size());
  for (std::size_t i = 0; i < siblings.size(); ++i) {
    labels.push_back(siblings[i]->label());
    if (siblings[i].get() == this) focused = i;
  }
  for (std::size_t i = 0; i < siblings.size(); ++i) {
    candidates.push_back({labels[i], isControl(*siblings[i]) && siblings[i]->canTakeFocus()});
  }
  const std::optional<std::size_t> target = mnemonicTarget(candidates, focused, key);
  if (!target) return false;
  const std::shared_ptr<wWindow> chosen = siblings[*target];
  chosen->setFocus();
  if (clickedByMnemonic(chosen->classKind())) chosen->send(BM_CLICK);
  return true;
}

// --- Buddy ---

wControl* wControl::buddy() const {
  return buddy_ ? buddy_->buddy.lock().get() : nullptr;
}

void wControl::setBuddy(const std::shared_ptr<wControl>& buddy) {
  disconnect(WM_NCHITTEST, &buddyNcHitTest);
  disconnect(WM_NCCALCSIZE, &buddyNcCalcSize);
  disconnect(wEvent_Size, &buddyFollow);
  disconnect(WM_MOVE, &buddyFollow);
  buddy_ = std::make_shared<Buddy>();
  buddy_->control = this;
  buddy_->buddy = buddy;

  if (buddy && buddy_->side != wSide::none) {
    if (buddy->parent() != parent()) {
      throw wError("buddy control must have the same parent", "setBuddy");
    }
    connect(WM_NCHITTEST, wHandler(&buddyNcHitTest, buddy_.get()));
    connect(WM_NCCALCSIZE, wHandler(&buddyNcCalcSize, buddy_.get()));
    connect(wEvent_Size, wHandler(&buddyFollow, buddy_.get()));
    // A move alone brings no size event; the buddy must follow it too.
    connect(WM_MOVE, wHandler(&buddyFollow, buddy_.get()));
  }
  sys.SetWindowPos(hwndOf(*this), nullptr, 0, 0, 0, 0,
                   SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
  raise(wEvent_Size);
}

void wControl::buddyNcCalcSize(wEvent& event, Buddy* b) {
  if (inBuddyNcCalcSize) return event.skip();
  const HWND h = hwndOf(*b->control);
  // Both forms of the message carry the window rectangle first and get the
  // client rectangle back in its place.
  auto* rect = event.first() != 0 ? &reinterpret_cast<NCCALCSIZE_PARAMS*>(event.second())->rgrc[0]
                                  : reinterpret_cast<RECT*>(event.second());
  const wRect oldWindow = toRect(*rect);
  inBuddyNcCalcSize = true;
  LRESULT result = 0;
  try {
    result = sys.SendMessageW(h, WM_NCCALCSIZE, static_cast<WPARAM>(event.first()),
                              static_cast<LPARAM>(event.second()));
  } catch (...) {
    inBuddyNcCalcSize = false;
    throw;
  }
  inBuddyNcCalcSize = false;
  b->borders = measureBorders(oldWindow, toRect(*rect), b->margin);
  *rect = toRECT(clientWithoutBuddy(toRect(*rect), b->side, b->size));
  event.setResult(result);
}

void wControl::buddyNcHitTest(wEvent& event, Buddy* b) {
  const POINT p{GET_X_LPARAM(event.second()), GET_Y_LPARAM(event.second())};
  const RECT r = toRECT(b->rect());
  if (!sys.PtInRect(&r, p)) return event.skip();
  event.setResult(HTTRANSPARENT);
}

void wControl::buddyFollow(wEvent& event, Buddy* b) {
  event.skip();  // other size handlers run as well
  const std::shared_ptr<wControl> buddy = b->buddy.lock();
  if (!buddy || b->control->parent() == nullptr) return;
  const wRect r = b->rect();
  const HWND parent = hwndOf(*b->control->parent());
  POINT corners[2] = {{r.left, r.top}, {r.right, r.bottom}};
  sys.MapWindowPoints(nullptr, parent, corners, 2);
  sys.SetWindowPos(hwndOf(*buddy), HWND_TOP, corners[0].x, corners[0].y, r.width(), r.height(),
                   SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOOWNERZORDER);
}

}  // namespace setup
