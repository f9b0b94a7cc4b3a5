// wToolBar: a tool bar ("ToolbarWindow32") that docks in its parent. A click
// on a tool raises wEvent_Menu (32917) on the tool bar with the tool's
// identifier as command identifier; it climbs to the frame, where command
// connections (connectCommand) catch it. A tool bar never takes the focus.
//
// A tool with a drop-down menu (setDropDownMenu) shows an arrow; the arrow
// raises wEvent_ToolDropDown (32930) on the tool bar with the tool's
// identifier, and the tool bar answers it by showing the menu under the tool
// (see wMenu.h for the events of the menu). Without a menu the event climbs
// to the parents like a click.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "toolkit/wControl.h"

namespace setup {

class wBitmap;

class wToolBar : public wControl {
 public:
  // WS_CHILD | WS_VISIBLE | TBSTYLE_CUSTOMERASE | TBSTYLE_FLAT | TBSTYLE_TOOLTIPS
  static constexpr std::uint64_t defaultStyle = 0x50002900;

  // Throws wWindowError.
  static std::shared_ptr<wToolBar> create(wWindow& parent, wPoint position = {wDefault, wDefault},
                                          wSize size = {wDefault, wDefault},
                                          std::uint64_t style = defaultStyle);

  wClassKind classKind() const override { return wClassKind::toolBar; }

  struct Tool {
    std::int32_t id = 0;
    std::shared_ptr<wBitmap> bitmap;
    std::string shortHelp;
    std::string longHelp;
    wHandle menu = nullptr;  // the drop-down menu, the program's
  };

  // Adds a tool at the end. Throws ValueError when id does not fit 32 bits.
  // Returns false, recording nothing, when the system refused the tool; a
  // bitmap the system refused leaves the tool without image.
  bool addTool(std::int64_t id, std::string_view label, std::shared_ptr<wBitmap> bitmap,
               std::string_view shortHelp = {}, std::string_view longHelp = {});
  const std::vector<Tool>& tools() const { return tools_; }

  // Gives the tool an arrow that shows menu under it (null: no arrow). The
  // program keeps the menu while the tool has it. Returns false for an
  // identifier without tool or when the system refused the arrow.
  bool setDropDownMenu(std::int32_t id, wHandle menu);

  // Shows or hides the bar; when its own visibility changed (whether the
  // parent is shown or not), the parent gets wEvent_Size with its client size
  // and lays its docked bars out again.
  void showDocked(bool show);

  std::optional<std::string> toolTip(std::uint32_t toolId) const override;
  // The ideal width and the button height.
  wSize bestSize() override;

 protected:
  wToolBar() = default;
  wSize defaultSize() override;
  void releaseObjects() override { tools_.clear(); }

 private:
  Tool* findTool(std::int32_t id);
  void dropDown(wEvent& event);

  std::vector<Tool> tools_;
};

}  // namespace setup
