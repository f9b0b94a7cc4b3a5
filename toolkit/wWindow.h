// wWindow: a toolkit window, the owner of one native window.
//
// A window object is made by the create() of its class and is shared: the
// application's window table holds it while the native window exists, its
// parent holds it among its children, the program may hold it too. When the
// native window is destroyed (WM_NCDESTROY) the window leaves every table and
// drops its connections, objects and native handles, in that order; messages
// that still arrive for its handle find nothing. An object outlived by its
// native window keeps its fields but has a null handle.
//
// Positions are relative to the parent's client origin (the corner of its
// client area inside its margins and docked bars); sizes are outer sizes.
// wDefault in a position or size means "not given".
#pragma once

#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "layout/expression.h"
#include "toolkit/wError.h"
#include "toolkit/wEventTarget.h"
#include "toolkit/wScroll.h"
#include "toolkit/wSizing.h"
#include "toolkit/wTypes.h"

namespace setup {

class wFont;
class wBrush;
class wApp;

// One entry of a window's accelerator table (the native ACCEL).
struct wAccelerator {
  std::uint8_t flags = 0;  // FVIRTKEY, FSHIFT, FCONTROL, FALT
  std::uint16_t key = 0;
  std::uint16_t command = 0;  // raised as wEvent_Menu with this identifier
};

// Creation arguments shared by every window class.
struct wWindowArgs {
  std::int32_t id = 0;
  std::string title;
  wPoint position{wDefault, wDefault};
  wSize size{wDefault, wDefault};
  std::uint64_t style = 0;  // see nativeStyle() in wStyle.h
  wColour background = wNoColour;
  wColour foreground = wNoColour;
};

class wWindow : public wEventTarget {
 public:
  ~wWindow() override;

  wClassKind classKind() const override { return wClassKind::window; }

  // --- Identity and tree ---
  wHandle handle() const;
  wWindow* parent() const { return parent_; }
  const std::vector<std::shared_ptr<wWindow>>& children() const { return children_; }
  // The native window class name (UTF-8).
  std::string windowClassName() const;
  // The top-level window this one belongs to (itself without parent).
  wWindow& topLevel();
  std::shared_ptr<wWindow> self() { return std::static_pointer_cast<wWindow>(shared_from_this()); }

  // The four layout variables (left, top, width, height), each ":anonymous".
  const layout::Variable& leftVariable() const { return left_; }
  const layout::Variable& topVariable() const { return top_; }
  const layout::Variable& widthVariable() const { return width_; }
  const layout::Variable& heightVariable() const { return height_; }

  // --- Geometry ---
  void show();  // SW_SHOWNORMAL
  void hide();
  // Shown, it and all its parents (IsWindowVisible).
  bool isShown() const;
  // Its own WS_VISIBLE, whether its parents are shown or not.
  bool isShownItself() const;
  void enable(bool on = true);
  bool isEnabled() const;
  // Outer rectangle relative to the parent's client origin (screen for a top level).
  wRect rect() const;
  wPoint position() const;
  wSize size() const;
  // Moves and sizes; a component given as wDefault keeps its value. Throws
  // ValueError when a value does not fit a 32-bit integer.
  void setSize(std::int64_t x, std::int64_t y, std::int64_t width, std::int64_t height);
  void setSize(wSize size) { setSize(wDefault, wDefault, size.width, size.height); }
  void setPosition(wPoint p) { setSize(p.x, p.y, wDefault, wDefault); }
  // The area children live in; for a control its whole native client area.
  wSize clientSize() const;
  wPoint clientOrigin() const;
  wMargins margins() const { return margins_; }
  void setMargins(wMargins margins) { margins_ = margins; }
  wSize minSize() const { return minSize_; }
  wSize maxSize() const { return maxSize_; }
  void setMinSize(wSize size) { minSize_ = size; }
  void setMaxSize(wSize size) { maxSize_ = size; }
  // The size the window would like; a plain window covers its children.
  virtual wSize bestSize();

  // --- Text and style ---
  std::string label() const;
  void setLabel(std::string_view text);
  std::uint32_t style() const;
  // Low 32 bits to the window style, high 32 bits to the extended style.
  void addStyle(std::uint64_t bits);
  void removeStyle(std::uint64_t bits);

  // --- Colours, font, cursor ---
  wColour backgroundColour() const { return background_; }
  wColour foregroundColour() const { return foreground_; }
  // Stores the colour and makes the brush (the shared transparent one for wNoColour).
  void setBackgroundColour(wColour colour);
  void setForegroundColour(wColour colour);
  const std::shared_ptr<wFont>& font() const { return font_; }
  void setFont(std::shared_ptr<wFont> font);
  // Native cursor handles: 0 means as the parent, -1 none.
  void setCursorHandle(wHandle cursor) { cursor_ = cursor; }
  void setOverrideCursorHandle(wHandle cursor) { overrideCursor_ = cursor; }

  // --- Focus ---
  // Visible, enabled and of a class that takes the focus.
  bool canTakeFocus() const;
  void setFocus();
  // Depth first, children in creation order; null when none.
  wWindow* firstFocusableDescendant();
  wHandle lastFocusedChild() const { return lastFocused_; }
  void setLastFocusedChild(wHandle child) { lastFocused_ = child; }

  // --- Accelerators (used by the loop while wApp::acceleratorsEnabled) ---
  void setAccelerators(std::vector<wAccelerator> table);
  const std::vector<wAccelerator>& accelerators() const { return accelerators_; }

  // --- Scroll bars (WS_HSCROLL, WS_VSCROLL), see wScroll.h ---
  // Shows the bar while its range is larger than its page.
  void setScrollRange(wScrollBar bar, const wScrollRange& range);
  wScrollRange scrollRange(wScrollBar bar) const;

  // --- Docked bars ---
  const std::vector<wWindow*>& dockedBars() const { return dockedBars_; }

  // --- Messages ---
  // Asked before the native default procedure for messages no handler
  // processed; returns the result when it handled the message.
  using ExtraProc = std::function<std::optional<std::int64_t>(
      std::uint32_t message, std::uint64_t first, std::int64_t second)>;
  void setExtraMessageProc(ExtraProc proc) { extraProc_ = std::move(proc); }
  std::int64_t send(std::uint32_t message, std::uint64_t first = 0, std::int64_t second = 0) const;
  void post(std::uint32_t message, std::uint64_t first = 0, std::int64_t second = 0) const;
  // Processes a toolkit event on this window with the given parameters.
  wDispatchResult raise(std::uint32_t event, std::uint64_t first = 0, std::int64_t second = 0);
  // DestroyWindow; the object lets go of everything through WM_NCDESTROY.
  void destroy();
  // WM_CLOSE, as the close box sends it.
  void close();

  // The tip of a tool in this window (tool bars), nothing for other windows.
  virtual std::optional<std::string> toolTip(std::uint32_t /*toolId*/) const { return {}; }

  // The text extent of text in this window's font (DrawTextW DT_CALCRECT).
  wSize textExtent(std::string_view text) const;

  // The dispatch's platform part.
  void captureInput(wEvent& event) override;
  void reportHandlerError(const std::string& text) override;
  wPoint screenToClient(wPoint screen) const override;

  // The procedures every toolkit window runs through (internal).
  std::int64_t windowProc(std::uint32_t message, std::uint64_t first, std::int64_t second,
                          bool subclassed);

 protected:
  wWindow();

  // Creation, in the documented order: base fields, parent, colours, class
  // registration, native style and position, CreateWindowExW with this object
  // as the creation parameter, initial items, tables, size, built-in handlers.
  // Throws wWindowError "wWindow creation failed".
  void initVerbosely(wWindow* parent, const wWindowArgs& args, std::string_view className,
                     bool registerClass);
  // Wraps an existing native window (a combo box's parts). Throws
  // wWindowError, or wFontError when the window's font cannot be read; a
  // failed wrapping leaves the native window alive and not the toolkit's.
  void init(wHandle handle);
  // Fields shared by creation and wrapping. Throws wWindowError for an empty name.
  void initBase(std::string_view className);

  // Declared in a class's create() before its creation starts: when an
  // exception leaves create() after the native window exists (a part that
  // cannot be wrapped, a font that cannot be read), the window is destroyed
  // and leaves the window table and its parent's children, as if it had never
  // been made. A creation that finishes is left alone.
  class CreationGuard {
   public:
    explicit CreationGuard(wWindow& window)
        : window_(window), exceptions_(std::uncaught_exceptions()) {}
    CreationGuard(const CreationGuard&) = delete;
    CreationGuard& operator=(const CreationGuard&) = delete;
    ~CreationGuard() {
      if (std::uncaught_exceptions() > exceptions_) window_.abandonCreation();
    }

   private:
    wWindow& window_;
    int exceptions_;
  };

  // Hooks for classes: items added right after creation, the size used for a
  // component created as wDefault.
  virtual void addInitialItems() {}
  virtual wSize defaultSize();

  // A connection this window makes on another window (usually its parent),
  // dropped when this window goes away.
  void connectOn(wWindow& other, std::uint32_t message, wHandler handler, bool system);

  void setCanTakeFocusFlag(bool on) { canTakeFocus_ = on; }
  bool canTakeFocusFlag() const { return canTakeFocus_; }
  void addDockedBar(wWindow* bar) { dockedBars_.push_back(bar); }
  bool classRegistered() const { return classRegistered_; }

  // Subclasses the native window with the control procedure (controls, wrapped parts).
  void subclass();

  // Releases what a class holds for its native window (icons, image lists,
  // wrapped parts); run in the window's WM_NCDESTROY.
  virtual void releaseObjects() {}

 private:
  friend class wApp;
  friend class wToolBar;  // docks itself in its parent
  friend struct wNativeAccess;

  // The handlers every window gets; a wrapped window only those that track
  // the mouse and its own end.
  void connectBuiltInHandlers(bool created);
  void registerClass();
  void adoptHandle(wHandle handle);
  // Destroys the native window of a failed creation and leaves every table.
  void abandonCreation();
  void unsubclass(wHandle handle);
  // Leaves every table and drops connections and objects (WM_NCDESTROY).
  void forget();
  // The parent's client origin, (0, 0) without parent.
  wPoint parentOrigin() const;
  // A screen rectangle relative to the parent's client origin.
  wRect parentRelative(wRect screen, wPoint origin) const;
  std::vector<wDockedBarRoom> dockedBarRooms() const;

  layout::Variable left_, top_, width_, height_;
  struct Native;
  std::unique_ptr<Native> native_;  // the native window and the other handles
  wWindow* parent_ = nullptr;
  std::vector<std::shared_ptr<wWindow>> children_;
  std::wstring className_;
  bool classRegistered_ = false;
  wMargins margins_;
  std::vector<wWindow*> dockedBars_;
  std::shared_ptr<wFont> font_;
  wColour background_ = wNoColour;
  wColour foreground_ = wNoColour;
  std::shared_ptr<wBrush> brush_;
  wHandle cursor_ = nullptr;
  wHandle overrideCursor_ = nullptr;
  wHandle lastFocused_ = nullptr;
  bool canTakeFocus_ = false;
  wSize maxSize_{wDefault, wDefault};
  wSize minSize_{wDefault, wDefault};
  bool mouseInside_ = false;
  ExtraProc extraProc_;
  std::vector<wAccelerator> accelerators_;
  struct Borrowed {
    std::weak_ptr<wEventTarget> on;
    wConnectionRef connection;
  };
  std::vector<Borrowed> connectionsOnOthers_;
};

}  // namespace setup
