// The handlers every toolkit window gets at creation, in their order.
#include "toolkit/wApp.h"
#include "toolkit/wInternal_win.h"
#include "toolkit/wNavigation.h"

namespace setup {
namespace {

bool cursorOver(HWND window) {
  POINT p{};
  RECT r{};
  if (!sys.GetCursorPos(&p) || !sys.GetWindowRect(window, &r)) return false;
  return sys.PtInRect(&r, p) != FALSE;
}

bool isSpecialCursor(wHandle cursor) {
  return cursor == nullptr || cursor == reinterpret_cast<wHandle>(static_cast<INT_PTR>(-1));
}

// NM_CLICK and its kin become command events of the control that sent them,
// climbing to its parents; true when the notification was one of them. A
// handler's result goes back to the control (NM_RCLICK: non-zero keeps the
// control's own handling from running).
bool raiseCommonMouse(wEvent& notify, const NMHDR& header) {
  const std::optional<std::uint32_t> event = commonMouseEventFor(header.code);
  if (!event) return false;
  const std::shared_ptr<wWindow> control = toolkitWindow(header.hwndFrom);
  if (!control) {
    notify.skip();
    return true;
  }
  const wDispatchResult r = control->raise(*event, header.idFrom, notify.second());
  if (r.processed) {
    notify.setResult(r.result);
  } else {
    notify.skip();
  }
  return true;
}

}  // namespace

void wWindow::connectBuiltInHandlers(bool created) {
  // --- System connections: they always run, whatever else handles the message.
  connectSystem(WM_MOUSEMOVE, [this](wEvent& e) {
    const HWND h = hwndOf(*this);
    if (hwndOf(e.handle()) != h) return;
    if (!mouseInside_) {
      if (sys.GetCapture() != h || cursorOver(h)) {
        mouseInside_ = true;
        raise(wEvent_MouseEnter, e.first(), e.second());
        TRACKMOUSEEVENT track{sizeof(TRACKMOUSEEVENT), TME_HOVER | TME_LEAVE, h, HOVER_DEFAULT};
        sys.TrackMouseEvent(&track);
      }
    } else if (sys.GetCapture() == h && !cursorOver(h)) {
      raise(WM_MOUSELEAVE, e.first(), e.second());
    }
  });
  connectSystem(WM_MOUSELEAVE, [this] { mouseInside_ = false; });
  if (created) {
    connectSystem(WM_SIZE, [this](wEvent& e) {
      for (std::uint32_t event : sizeEventsFor(e.first())) raise(event, e.first(), e.second());
    });
  }
  connectSystem(WM_DESTROY, [this] {
    const HWND h = hwndOf(*this);
    raise(wEvent_Destroy);
    if (parent_ == nullptr && wApp::get().topLevels_.contains(h)) {
      sys.PostMessageW(nullptr, wNotice_TopLevelDestroyed, 0, reinterpret_cast<LPARAM>(h));
    }
  });
  // Wrapped windows leave the tables too, or a later window with a reused
  // handle would find a stale object.
  connectSystem(WM_NCDESTROY, [this] { forget(); });
  if (!created) return;
  connectSystem(WM_GETMINMAXINFO, [this](wEvent& e) {
    auto* info = reinterpret_cast<MINMAXINFO*>(e.second());
    if (info == nullptr) return;
    if (minSize_.width != wDefault) info->ptMinTrackSize.x = minSize_.width;
    if (minSize_.height != wDefault) info->ptMinTrackSize.y = minSize_.height;
    if (maxSize_.width != wDefault) info->ptMaxTrackSize.x = maxSize_.width;
    if (maxSize_.height != wDefault) info->ptMaxTrackSize.y = maxSize_.height;
  });
  if (classRegistered_) connectScrollBarHandlers(*this);

  // --- Ordinary connections, before any the program makes.
  connect(WM_COMMAND, [this](wEvent& e) {
    const std::optional<std::uint32_t> command = acceleratorCommand(e.first(), e.second());
    if (!command || !raise(wEvent_Menu, *command, 0).processed) e.skip();
  });
  connect(WM_NOTIFY, [this](wEvent& e) {
    const auto* header = reinterpret_cast<const NMHDR*>(e.second());
    if (header == nullptr) return e.skip();
    if (raiseCommonMouse(e, *header)) return;
    if (header->code == TBN_DROPDOWN) {
      const auto* drop = reinterpret_cast<const NMTOOLBARW*>(header);
      if (const std::shared_ptr<wWindow> bar = toolkitWindow(header->hwndFrom)) {
        const wDispatchResult r =
            bar->raise(wEvent_ToolDropDown, static_cast<std::uint32_t>(drop->iItem), 0);
        if (r.processed) return e.setResult(TBDDRET_DEFAULT);
      }
      return e.skip();
    }
    if (header->code == TTN_GETDISPINFOW) {
      // The text must outlive this call: the tip copies it afterwards.
      static std::wstring tip;
      auto* info = reinterpret_cast<NMTTDISPINFOW*>(e.second());
      for (const auto& child : children_) {
        if (std::optional<std::string> text =
                child->toolTip(static_cast<std::uint32_t>(header->idFrom))) {
          tip = toWide(*text);
          info->lpszText = tip.data();
          return;
        }
      }
    }
    e.skip();
  });
  connect(WM_CLOSE, [this](wEvent& e) {
    const wDispatchResult r = raise(wEvent_Close, e.first(), e.second());
    if (!(r.processed && r.result == 1)) sys.DestroyWindow(hwndOf(*this));
  });
  for (UINT message : {WM_CTLCOLORBTN, WM_CTLCOLOREDIT, WM_CTLCOLORSTATIC, WM_CTLCOLORLISTBOX}) {
    connect(message, [](wEvent& e) {
      const std::shared_ptr<wWindow> child = toolkitWindow(reinterpret_cast<HWND>(e.second()));
      if (!child || !child->brush_) return e.skip();
      const auto dc = reinterpret_cast<HDC>(e.first());
      if (child->background_ != wNoColour) {
        sys.SetBkColor(dc, static_cast<COLORREF>(child->background_));
      }
      if (child->foreground_ != wNoColour) {
        sys.SetTextColor(dc, static_cast<COLORREF>(child->foreground_));
      }
      e.setResult(reinterpret_cast<std::int64_t>(nativeBrush(child->brush_.get())));
    });
  }
  if (classRegistered_) {
    connect(WM_ERASEBKGND, [this](wEvent& e) {
      if (background_ == wNoColour) return e.skip();
      const auto dc = reinterpret_cast<HDC>(e.first());
      const COLORREF old = sys.SetBkColor(dc, static_cast<COLORREF>(background_));
      RECT r{};
      sys.GetClientRect(hwndOf(*this), &r);
      sys.ExtTextOutW(dc, 0, 0, ETO_OPAQUE, &r, nullptr, 0, nullptr);
      sys.SetBkColor(dc, old);
      e.setResult(1);
    });
  }
  connect(WM_SETCURSOR, [this](wEvent& e) {
    if (hwndOf(reinterpret_cast<wHandle>(e.first())) != hwndOf(*this) ||
        LOWORD(e.second()) != HTCLIENT) {
      return e.skip();
    }
    const wDispatchResult asked = raise(wEvent_SetCursor, e.first(), e.second());
    wHandle cursor = nullptr;
    if (asked.processed && asked.result != 0) {
      cursor = reinterpret_cast<wHandle>(asked.result);
    } else if (!isSpecialCursor(overrideCursor_)) {
      cursor = overrideCursor_;
    } else if (cursor_ == nullptr) {
      for (const wWindow* w = parent_; w != nullptr; w = w->parent_) {
        if (!isSpecialCursor(w->cursor_)) {
          cursor = w->cursor_;
          break;
        }
      }
    } else if (!isSpecialCursor(cursor_)) {
      cursor = cursor_;
    }
    if (cursor == nullptr) return e.skip();  // the class cursor
    sys.SetCursor(static_cast<HCURSOR>(cursor));
    e.setResult(TRUE);
  });
  connectMenuHandlers(*this);
}

}  // namespace setup
