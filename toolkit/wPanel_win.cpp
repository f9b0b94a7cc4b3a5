#include "toolkit/wPanel.h"

namespace setup {

std::shared_ptr<wPanel> wPanel::create(wWindow& parent, wPoint position, wSize size,
                                       std::uint64_t style, wColour background) {
  std::shared_ptr<wPanel> panel(new wPanel);
  wWindowArgs args;
  args.position = position;
  args.size = size;
  args.style = style;
  args.background = background;
  panel->initVerbosely(&parent, args, "wPanel", true);
  return panel;
}

}  // namespace setup
