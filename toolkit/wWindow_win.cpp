#include <algorithm>
#include <limits>

#include "runtime/errors.h"
#include "toolkit/wApp.h"
#include "toolkit/wInternal_win.h"
#include "toolkit/wStyle.h"

namespace setup {
namespace {

constexpr UINT kSetSizeFlags = SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOOWNERZORDER;  // 0x214

std::int32_t checked32(std::int64_t value) {
  if (value < std::numeric_limits<std::int32_t>::min() ||
      value > std::numeric_limits<std::int32_t>::max()) {
    throw ValueError("value out of 32-bit range: " + std::to_string(value), "setSize");
  }
  return static_cast<std::int32_t>(value);
}

}  // namespace

std::shared_ptr<wWindow> toolkitWindow(HWND window) {
  if (window == nullptr) return nullptr;
  return wApp::get().findWindow(window);
}

wWindow& wEvent::window() const {
  return static_cast<wWindow&>(target());
}

std::string nativeWindowText(HWND window) {
  const int length = sys.GetWindowTextLengthW(window);
  if (length <= 0) return {};
  std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
  const int copied = sys.GetWindowTextW(window, text.data(), length + 1);
  text.resize(static_cast<std::size_t>(std::max(copied, 0)));
  return toUtf8(text);
}

// --- Window procedures ---

LRESULT CALLBACK wToolkitWindowProc(HWND h, UINT message, WPARAM first, LPARAM second) {
  if (message == WM_NCCREATE) {
    const auto* create = reinterpret_cast<const CREATESTRUCTW*>(second);
    if (create != nullptr && create->lpCreateParams != nullptr) {
      wNativeAccess::adoptHandle(*static_cast<wWindow*>(create->lpCreateParams), h);
    }
  }
  const std::shared_ptr<wWindow> self = toolkitWindow(h);
  if (!self) return sys.DefWindowProcW(h, message, first, second);
  return static_cast<LRESULT>(self->windowProc(message, first, second, false));
}

LRESULT CALLBACK wControlSubclassProc(HWND h, UINT message, WPARAM first, LPARAM second,
                                      UINT_PTR id, DWORD_PTR reference) {
  // The object is kept for the call: its last message may drop it.
  const std::shared_ptr<wWindow> self = std::static_pointer_cast<wWindow>(
      reinterpret_cast<wWindow*>(reference)->weak_from_this().lock());
  if (!self) {
    // Its object is going away; the control goes on without it.
    if (message == WM_NCDESTROY) sys.RemoveWindowSubclass(h, wControlSubclassProc, id);
    return sys.DefSubclassProc(h, message, first, second);
  }
  return static_cast<LRESULT>(self->windowProc(message, first, second, true));
}

std::int64_t wWindow::windowProc(std::uint32_t message, std::uint64_t first, std::int64_t second,
                                 bool subclassed) {
  // The handle goes away inside WM_NCDESTROY; default processing still needs it.
  const HWND h = hwndOf(*this);
  const auto w = static_cast<WPARAM>(first);
  const auto l = static_cast<LPARAM>(second);
  try {
    const wDispatchResult r = processMessage(h, message, first, second);
    if (subclassed && message == WM_NCDESTROY) unsubclass(h);
    if (r.processed) return r.result;
    if (extraProc_) {
      if (std::optional<std::int64_t> handled = extraProc_(message, first, second)) return *handled;
    }
  } catch (...) {
    // Nothing may unwind through the system's frames.
    reportHandlerError(currentHandlerErrorText());
  }
  return subclassed ? sys.DefSubclassProc(h, message, w, l) : sys.DefWindowProcW(h, message, w, l);
}

// --- Life cycle ---

wWindow::wWindow() : native_(std::make_unique<Native>()) {}

wWindow::~wWindow() {
  // The subclass names this object: it must not outlive it.
  if (native_->subclassed) unsubclass(native_->window.get());
  // Normally all this went in WM_NCDESTROY. A window dropped without it (its
  // creation failed half way) must not leave handlers behind on other windows.
  for (Borrowed& b : connectionsOnOthers_) {
    if (const std::shared_ptr<wEventTarget> on = b.on.lock()) on->disconnect(b.connection);
  }
}

wHandle wWindow::handle() const {
  return native_->window.get();
}

void wWindow::adoptHandle(wHandle handle) {
  if (native_->window.get() != hwndOf(handle)) native_->window.reset(hwndOf(handle));
}

void wWindow::initBase(std::string_view className) {
  if (className.empty()) throw wWindowError("wWindow creation failed", "initBase");
  className_ = toWide(className);
  minSize_ = {wDefault, wDefault};
  maxSize_ = {wDefault, wDefault};
  cursor_ = nullptr;
}

void wWindow::registerClass() {
  classRegistered_ = true;
  wApp& app = wApp::get();
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.style = CS_VREDRAW | CS_HREDRAW | CS_DBLCLKS;
  wc.lpfnWndProc = wToolkitWindowProc;
  wc.hInstance = static_cast<HINSTANCE>(app.instance());
  wc.hCursor = sys.LoadCursorW(nullptr, IDC_ARROW);
  wc.lpszClassName = className_.c_str();
  // Failing means the class exists already: it is reused.
  if (const ATOM atom = sys.RegisterClassExW(&wc); atom != 0) {
    app.registeredClasses_[className_] = atom;
  }
}

void wWindow::initVerbosely(wWindow* parent, const wWindowArgs& args, std::string_view className,
                            bool registerClass) {
  initBase(className);
  parent_ = parent;
  setEventParent(parent);

  background_ = args.background != wNoColour ? args.background
                : parent != nullptr          ? parent->background_
                                             : 0xFFFFFF;
  foreground_ = args.foreground != wNoColour ? args.foreground
                : parent != nullptr          ? parent->foreground_
                                             : 0;
  brush_ = makeBrush(background_);

  if (registerClass) this->registerClass();

  wApp& app = wApp::get();
  const HINSTANCE instance = static_cast<HINSTANCE>(app.instance());
  const wNativeStyle style = nativeStyle(args.style, parent != nullptr);
  std::int32_t x = args.position.x;
  std::int32_t y = args.position.y;
  HWND parentHandle = nullptr;
  if (parent == nullptr) {
    if (style.hiddenOwner) {
      native_->hiddenOwner.reset(sys.CreateWindowExW(WS_EX_TOOLWINDOW, className_.c_str(), L"", 0,
                                                     0, 0, 0, 0, nullptr, nullptr, instance,
                                                     nullptr));
      parentHandle = native_->hiddenOwner.get();
    }
    // wDefault is CW_USEDEFAULT: the system places a top-level window.
  } else {
    const wPoint origin = parent->clientOrigin();
    x = (x == wDefault ? 0 : x) + origin.x;
    y = (y == wDefault ? 0 : y) + origin.y;
    parentHandle = hwndOf(*parent);
  }
  const std::int32_t width = args.size.width == wDefault ? 0 : args.size.width;
  const std::int32_t height = args.size.height == wDefault ? 0 : args.size.height;

  const HWND h = sys.CreateWindowExW(
      style.exStyle, className_.c_str(), toWide(args.title).c_str(), style.style, x, y, width,
      height, parentHandle, reinterpret_cast<HMENU>(static_cast<INT_PTR>(args.id)), instance, this);
  if (h == nullptr) {
    // A window refused after WM_NCCREATE was adopted and is gone already:
    // its handle is not ours to destroy.
    native_->window.release();
    native_->hiddenOwner.reset();
    throw wWindowError("wWindow creation failed", "initVerbosely");
  }
  adoptHandle(h);

  try {
    addInitialItems();

    const std::shared_ptr<wWindow> me = self();
    app.windows_[h] = me;
    if (parent == nullptr) {
      app.topLevels_[h] = me;
      setFont(app.defaultFont());
    } else {
      parent->children_.push_back(me);
      setFont(parent->font_);
    }

    wSize size{args.size.width, args.size.height};
    if (size.width == wDefault || size.height == wDefault) {
      const wSize fallback = defaultSize();
      // The present size is read only where the class gives no default.
      const bool readCurrent = (size.width == wDefault && fallback.width == wDefault) ||
                               (size.height == wDefault && fallback.height == wDefault);
      const wSize current = readCurrent ? this->size() : wSize{};
      if (size.width == wDefault) size.width = givenOr(fallback.width, current.width);
      if (size.height == wDefault) size.height = givenOr(fallback.height, current.height);
    }
    sys.SetWindowPos(h, HWND_TOP, 0, 0, size.width, size.height, kSetSizeFlags | SWP_NOMOVE);
    sys.UpdateWindow(h);

    connectBuiltInHandlers(true);
  } catch (...) {
    forget();
    sys.DestroyWindow(h);
    throw;
  }
}

void wWindow::init(wHandle handle) {
  const HWND h = hwndOf(handle);
  wchar_t name[257] = {};
  if (h == nullptr || sys.GetClassNameW(h, name, 257) == 0) {
    throw wWindowError("wWindow creation failed", "init");
  }
  initBase(toUtf8(name));
  // Read before the handle is ours: an object dropped by a failure here
  // would destroy a window that belongs to somebody else (a combo box).
  std::shared_ptr<wFont> font = fontOfNativeWindow(h);
  const std::shared_ptr<wWindow> parent = toolkitWindow(sys.GetParent(h));
  parent_ = parent.get();
  setEventParent(parent_);
  background_ = wNoColour;
  foreground_ = wNoColour;
  font_ = std::move(font);

  adoptHandle(h);
  try {
    wApp::get().windows_[h] = self();
    if (parent_ != nullptr) parent_->children_.push_back(self());
    connectBuiltInHandlers(false);
    subclass();
  } catch (...) {
    // Leaves the tables and gives the handle back alive.
    forget();
    throw;
  }
}

void wWindow::abandonCreation() {
  const HWND h = hwndOf(*this);
  if (h == nullptr) return;  // the failed step cleaned up itself
  // Dropping the window from the tables may drop the last reference.
  const std::shared_ptr<wWindow> keep = self();
  // Its WM_NCDESTROY takes it out of the tables, and its parts with it.
  sys.DestroyWindow(h);
  // A window whose messages did not reach the toolkit yet is still there.
  if (handle() != nullptr) forget();
}

void wWindow::subclass() {
  // Identifier and reference are the object: each object that wraps the
  // control has its own place in the chain, and wrapping again with the same
  // object only renews it.
  const auto id = reinterpret_cast<UINT_PTR>(this);
  if (sys.SetWindowSubclass(hwndOf(*this), wControlSubclassProc, id, id)) {
    native_->subclassed = true;
  }
}

void wWindow::unsubclass(wHandle h) {
  native_->subclassed = false;
  sys.RemoveWindowSubclass(hwndOf(h), wControlSubclassProc, reinterpret_cast<UINT_PTR>(this));
}

void wWindow::connectOn(wWindow& other, std::uint32_t message, wHandler handler, bool system) {
  wConnectionRef c = system ? other.connectSystem(message, std::move(handler))
                            : other.connect(message, std::move(handler));
  connectionsOnOthers_.push_back({other.weak_from_this(), std::move(c)});
}

void wWindow::forget() {
  const HWND h = hwndOf(*this);
  native_->hiddenOwner.reset();

  // Keep the object until the end: dropping it from the tables may drop the last reference.
  const std::shared_ptr<wWindow> keep = self();
  wApp& app = wApp::get();
  app.windows_.erase(h);
  app.topLevels_.erase(h);
  if (parent_ != nullptr) {
    std::erase(parent_->children_, keep);
    std::erase(parent_->dockedBars_, this);
  }
  parent_ = nullptr;
  setEventParent(nullptr);

  if (classRegistered_) {
    if (const std::uint16_t atom = app.registeredClass(className_); atom != 0) {
      sys.PostMessageW(nullptr, wNotice_UnregisterClass, atom, 0);
    }
  }

  for (Borrowed& b : connectionsOnOthers_) {
    if (const std::shared_ptr<wEventTarget> on = b.on.lock()) on->disconnect(b.connection);
  }
  connectionsOnOthers_.clear();
  releaseConnections();
  children_.clear();
  dockedBars_.clear();
  releaseObjects();
  font_.reset();
  brush_.reset();
  extraProc_ = nullptr;
  native_->accelerators.reset();
  // The system is destroying the window itself.
  native_->window.release();
}

void wWindow::destroy() {
  if (const HWND h = hwndOf(*this)) sys.DestroyWindow(h);
}

void wWindow::close() {
  send(WM_CLOSE);
}

// --- Tree ---

std::string wWindow::windowClassName() const {
  return toUtf8(className_);
}

wWindow& wWindow::topLevel() {
  wWindow* w = this;
  while (w->parent_ != nullptr) w = w->parent_;
  return *w;
}

// --- Geometry ---

void wWindow::show() {
  sys.ShowWindow(hwndOf(*this), SW_SHOWNORMAL);
}
void wWindow::hide() {
  sys.ShowWindow(hwndOf(*this), SW_HIDE);
}
bool wWindow::isShown() const {
  return sys.IsWindowVisible(hwndOf(*this)) != FALSE;
}
bool wWindow::isShownItself() const {
  return (style() & WS_VISIBLE) != 0;
}
void wWindow::enable(bool on) {
  sys.EnableWindow(hwndOf(*this), on ? TRUE : FALSE);
}
bool wWindow::isEnabled() const {
  return sys.IsWindowEnabled(hwndOf(*this)) != FALSE;
}

wPoint wWindow::parentOrigin() const {
  return parent_ != nullptr ? parent_->clientOrigin() : wPoint{};
}

wRect wWindow::parentRelative(wRect screen, wPoint origin) const {
  if (parent_ == nullptr) return screen;
  POINT corners[2] = {{screen.left, screen.top}, {screen.right, screen.bottom}};
  sys.ScreenToClient(hwndOf(*parent_), &corners[0]);
  sys.ScreenToClient(hwndOf(*parent_), &corners[1]);
  const std::int32_t x = corners[0].x - origin.x;
  const std::int32_t y = corners[0].y - origin.y;
  return {x, y, x + screen.width(), y + screen.height()};
}

wRect wWindow::rect() const {
  RECT r{};
  sys.GetWindowRect(hwndOf(*this), &r);
  return parentRelative(toRect(r), parentOrigin());
}

wPoint wWindow::position() const {
  const wRect r = rect();
  return {r.left, r.top};
}

wSize wWindow::size() const {
  const wRect r = rect();
  return {r.width(), r.height()};
}

void wWindow::setSize(std::int64_t x, std::int64_t y, std::int64_t width, std::int64_t height) {
  // One origin serves both ways: each reckoning of it asks every docked bar.
  const wPoint origin = parentOrigin();
  RECT present{};
  sys.GetWindowRect(hwndOf(*this), &present);
  const wRect current = parentRelative(toRect(present), origin);
  wRect target;
  target.left = givenOr(checked32(x), current.left);
  target.top = givenOr(checked32(y), current.top);
  const std::int32_t w = givenOr(checked32(width), current.width());
  const std::int32_t h = givenOr(checked32(height), current.height());
  sys.SetWindowPos(hwndOf(*this), HWND_TOP, target.left + origin.x, target.top + origin.y, w, h,
                   kSetSizeFlags);
}

wSize wWindow::clientSize() const {
  RECT r{};
  sys.GetClientRect(hwndOf(*this), &r);
  const wSize native{r.right - r.left, r.bottom - r.top};
  if (isControl(*this)) return native;
  return clientArea(native, margins_, dockedBarRooms()).size;
}

wPoint wWindow::clientOrigin() const {
  if (isControl(*this)) return {0, 0};
  return clientArea({}, margins_, dockedBarRooms()).origin;
}

std::vector<wDockedBarRoom> wWindow::dockedBarRooms() const {
  std::vector<wDockedBarRoom> bars;
  for (const wWindow* bar : dockedBars_) {
    // The bar's own visibility: a window laid out before it is shown must
    // leave room for its bars already. Showing and hiding a bar ask the same.
    if (!bar->isShownItself()) continue;
    const HWND b = hwndOf(*bar);
    const std::uint32_t style = bar->style();
    const auto barStyle = static_cast<std::uint32_t>(sys.SendMessageW(b, TB_GETSTYLE, 0, 0));
    RECT r{};
    sys.GetWindowRect(b, &r);
    bars.push_back({dockedBarSide(barStyle),
                    {r.right - r.left, r.bottom - r.top},
                    dockedBarTakesRoom(true, style)});
  }
  return bars;
}

wSize wWindow::defaultSize() {
  switch (defaultSizeRule(classKind())) {
    case wDefaultSizeRule::frame:
      return wFrameDefaultSize;
    case wDefaultSizeRule::parentClient:
      return parent_ != nullptr ? parent_->clientSize() : wSize{0, 0};
    default:
      // A control class that did not say: keep the native size.
      return {wDefault, wDefault};
  }
}

wSize wWindow::bestSize() {
  std::vector<wRect> rects;
  for (const auto& child : children_) rects.push_back(child->rect());
  RECT window{};
  RECT client{};
  sys.GetWindowRect(hwndOf(*this), &window);
  sys.GetClientRect(hwndOf(*this), &client);
  const wSize nonClient{(window.right - window.left) - (client.right - client.left),
                        (window.bottom - window.top) - (client.bottom - client.top)};
  return plainBestSize(rects, nonClient, size());
}

// --- Text and style ---

std::string wWindow::label() const {
  return nativeWindowText(hwndOf(*this));
}

void wWindow::setLabel(std::string_view text) {
  sys.SetWindowTextW(hwndOf(*this), toWide(text).c_str());
}

std::uint32_t wWindow::style() const {
  return static_cast<std::uint32_t>(sys.GetWindowLongPtrW(hwndOf(*this), GWL_STYLE));
}

void wWindow::addStyle(std::uint64_t bits) {
  const HWND h = hwndOf(*this);
  const wStyleBits split = splitStyleBits(bits);
  if (split.style != 0) {
    const auto old = static_cast<std::uint32_t>(sys.GetWindowLongPtrW(h, GWL_STYLE));
    sys.SetWindowLongPtrW(h, GWL_STYLE, static_cast<LONG_PTR>(old | split.style));
  }
  if (split.exStyle != 0) {
    const auto old = static_cast<std::uint32_t>(sys.GetWindowLongPtrW(h, GWL_EXSTYLE));
    sys.SetWindowLongPtrW(h, GWL_EXSTYLE, static_cast<LONG_PTR>(old | split.exStyle));
  }
  sys.InvalidateRect(h, nullptr, TRUE);
}

void wWindow::removeStyle(std::uint64_t bits) {
  const HWND h = hwndOf(*this);
  const wStyleBits split = splitStyleBits(bits);
  if (split.style != 0) {
    const auto old = static_cast<std::uint32_t>(sys.GetWindowLongPtrW(h, GWL_STYLE));
    sys.SetWindowLongPtrW(h, GWL_STYLE, static_cast<LONG_PTR>(old & ~split.style));
  }
  if (split.exStyle != 0) {
    const auto old = static_cast<std::uint32_t>(sys.GetWindowLongPtrW(h, GWL_EXSTYLE));
    sys.SetWindowLongPtrW(h, GWL_EXSTYLE, static_cast<LONG_PTR>(old & ~split.exStyle));
  }
  sys.InvalidateRect(h, nullptr, TRUE);
}

// --- Colours and font ---

void wWindow::setBackgroundColour(wColour colour) {
  background_ = colour;
  brush_ = makeBrush(colour);
  if (const HWND h = hwndOf(*this)) sys.InvalidateRect(h, nullptr, TRUE);
}

void wWindow::setForegroundColour(wColour colour) {
  foreground_ = colour;
  if (const HWND h = hwndOf(*this)) sys.InvalidateRect(h, nullptr, TRUE);
}

void wWindow::setFont(std::shared_ptr<wFont> font) {
  font_ = std::move(font);
  sys.SendMessageW(hwndOf(*this), WM_SETFONT, reinterpret_cast<WPARAM>(nativeFont(font_.get())),
                   TRUE);
}

wSize wWindow::textExtent(std::string_view text) const {
  const std::wstring wide = toWide(text);
  RECT r{0, 0, 0, 0};
  const WindowDC dc(hwndOf(*this), nativeFont(font_.get()));
  sys.DrawTextW(dc.get(), wide.c_str(), static_cast<int>(wide.size()), &r, DT_CALCRECT);
  return {r.right, r.bottom};
}

// --- Focus ---

bool wWindow::canTakeFocus() const {
  const HWND h = hwndOf(*this);
  return canTakeFocus_ && sys.IsWindowVisible(h) && sys.IsWindowEnabled(h);
}

void wWindow::setFocus() {
  const HWND h = hwndOf(*this);
  if (parent_ != nullptr) {
    // Focus rectangles show from now on, also after a mouse click.
    sys.SendMessageW(hwndOf(*parent_), WM_CHANGEUISTATE, MAKEWPARAM(UIS_CLEAR, UISF_HIDEFOCUS), 0);
  }
  if (sys.GetFocus() == h) {
    sys.SendMessageW(h, WM_SETFOCUS, 0, 0);
  } else {
    sys.SetFocus(h);
  }
}

wWindow* wWindow::firstFocusableDescendant() {
  for (const auto& child : children_) {
    if (child->canTakeFocus()) return child.get();
    if (wWindow* inner = child->firstFocusableDescendant()) return inner;
  }
  return nullptr;
}

// --- Accelerators ---

void wWindow::setAccelerators(std::vector<wAccelerator> table) {
  accelerators_ = std::move(table);
  native_->acceleratorsChanged = true;
}

// --- Messages ---

std::int64_t wWindow::send(std::uint32_t message, std::uint64_t first, std::int64_t second) const {
  return sys.SendMessageW(hwndOf(*this), message, static_cast<WPARAM>(first),
                          static_cast<LPARAM>(second));
}

void wWindow::post(std::uint32_t message, std::uint64_t first, std::int64_t second) const {
  sys.PostMessageW(hwndOf(*this), message, static_cast<WPARAM>(first), static_cast<LPARAM>(second));
}

wDispatchResult wWindow::raise(std::uint32_t event, std::uint64_t first, std::int64_t second) {
  return processMessage(handle(), event, first, second);
}

void wWindow::captureInput(wEvent& event) {
  std::array<std::uint8_t, 256> keyboard{};
  sys.GetKeyboardState(keyboard.data());
  event.setKeyboardState(keyboard);
  const DWORD pos = sys.GetMessagePos();
  event.setMouseScreenPosition(
      {static_cast<std::int16_t>(LOWORD(pos)), static_cast<std::int16_t>(HIWORD(pos))});
}

void wWindow::reportHandlerError(const std::string& text) {
  sys.MessageBoxW(hwndOf(*this), toWide(text).c_str(), toWide(wHandlerErrorCaption).c_str(),
                  MB_ICONERROR);
}

wPoint wWindow::screenToClient(wPoint screen) const {
  POINT p{screen.x, screen.y};
  sys.ScreenToClient(hwndOf(*this), &p);
  return {p.x, p.y};
}

}  // namespace setup
