// wListBox: a list box. The toolkit only wraps the list part of a combo box
// with it, so that the part's messages pass through the toolkit too.
#pragma once

#include <memory>

#include "toolkit/wControl.h"

namespace setup {

class wListBox : public wControl {
 public:
  // Throws wWindowError when the handle is not a window.
  static std::shared_ptr<wListBox> wrap(wHandle list);

  wClassKind classKind() const override { return wClassKind::listBox; }

 protected:
  wListBox() = default;
};

}  // namespace setup
