#include "toolkit/wFrame.h"
#include "toolkit/wIcon.h"
#include "toolkit/wInternal_win.h"

namespace setup {

std::shared_ptr<wFrame> wFrame::create(std::string_view title, wPoint position, wSize size,
                                       std::uint64_t style, wColour background) {
  std::shared_ptr<wFrame> frame(new wFrame);
  const CreationGuard guard(*frame);
  frame->initVerbosely(nullptr,
                       {.title = std::string(title),
                        .position = position,
                        .size = size,
                        .style = style,
                        .background = background},
                       "wFrame", true);
  frame->connect(wEvent_Size, [f = frame.get()](wEvent& e) { f->fitContent(e); });
  frame->connect(WM_SETFOCUS, [f = frame.get()](wEvent& e) { f->restoreFocus(e); });
  connectMenuHelp(*frame);
  return frame;
}

void wFrame::setIcon(std::shared_ptr<wIcon> icon) {
  // Sent before the old icon goes, so the title bar never holds a destroyed handle.
  send(WM_SETICON, ICON_SMALL, icon ? reinterpret_cast<std::int64_t>(icon->handle()) : 0);
  icon_ = std::move(icon);
}

void wFrame::fitContent(wEvent& event) {
  wWindow* content = nullptr;
  for (const auto& child : children()) {
    if (isDockedBar(child->classKind())) continue;
    if (content != nullptr) return event.skip();  // two or more: the program places them
    content = child.get();
  }
  if (content != nullptr) {
    const wSize client = clientSize();
    content->setSize(0, 0, client.width, client.height);
  }
  event.skip();  // the program's size handlers run as well
}

void wFrame::restoreFocus(wEvent& event) {
  // The remembered handle may be a native part of a control (a combo box's
  // edit): its first toolkit ancestor is the control.
  HWND h = hwndOf(lastFocusedChild());
  while (h != nullptr && !toolkitWindow(h)) h = sys.GetAncestor(h, GA_PARENT);
  std::shared_ptr<wWindow> target;
  if (h != nullptr && h != hwndOf(*this) && sys.IsWindow(h)) target = toolkitWindow(h);
  if (!target) {
    wWindow* first = firstFocusableDescendant();
    if (first == nullptr) return event.skip();
    target = first->self();
    setLastFocusedChild(target->handle());
  }
  target->setFocus();
}

}  // namespace setup
