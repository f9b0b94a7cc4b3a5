#include "toolkit/wPanel.h"

namespace setup {

std::shared_ptr<wPanel> wPanel::create(wWindow& parent, wPoint position, wSize size,
                                       std::uint64_t style, wColour background) {
  std::shared_ptr<wPanel> panel(new wPanel);
  panel->initVerbosely(
      &parent, {.position = position, .size = size, .style = style, .background = background},
      "wPanel", true);
  return panel;
}

}  // namespace setup
