// wFrame: a top-level frame window (window class "wFrame").
//
// A frame keeps its single content child (the one child that is not a docked
// bar) at (0, 0) filling its client area after every size event, and gives
// the keyboard focus back to the control that last had it when it is
// activated again. Command connections on a frame (connectCommand) listen for
// wEvent_Menu: tool-bar commands climb to it.
#pragma once

#include <memory>
#include <string_view>

#include "toolkit/wWindow.h"

namespace setup {

class wIcon;

class wFrame : public wWindow {
 public:
  // WS_OVERLAPPEDWINDOW: caption, system menu, sizing border, min and max boxes.
  static constexpr std::uint64_t defaultStyle = 0x00CF0000;

  // background: wNoColour gives white. Throws wWindowError.
  static std::shared_ptr<wFrame> create(std::string_view title,
                                        wPoint position = {wDefault, wDefault},
                                        wSize size = {wDefault, wDefault},
                                        std::uint64_t style = defaultStyle,
                                        wColour background = wNoColour);

  wClassKind classKind() const override { return wClassKind::frame; }

  // The small icon of the title bar (WM_SETICON, ICON_SMALL). The frame keeps
  // the icon: the system only borrows its handle.
  void setIcon(std::shared_ptr<wIcon> icon);
  const std::shared_ptr<wIcon>& icon() const { return icon_; }

 protected:
  wFrame() = default;
  void releaseObjects() override { icon_.reset(); }

 private:
  void fitContent(wEvent& event);
  void restoreFocus(wEvent& event);

  std::shared_ptr<wIcon> icon_;
};

}  // namespace setup
