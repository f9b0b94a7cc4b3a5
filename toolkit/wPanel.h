// wPanel: a plain child container (window class "wPanel"). Created without a
// size it takes its parent's client size; its margins shrink the area its
// children and the layout use.
#pragma once

#include <memory>

#include "toolkit/wWindow.h"

namespace setup {

class wPanel : public wWindow {
 public:
  // Throws wWindowError.
  static std::shared_ptr<wPanel> create(wWindow& parent, wPoint position = {wDefault, wDefault},
                                        wSize size = {wDefault, wDefault}, std::uint64_t style = 0,
                                        wColour background = wNoColour);

  wClassKind classKind() const override { return wClassKind::panel; }

 protected:
  wPanel() = default;
};

}  // namespace setup
