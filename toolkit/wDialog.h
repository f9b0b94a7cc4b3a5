// wDialog: the base of the toolkit's dialogs (the folder picker, message
// boxes). It has an owner and the default font but no native window of its
// own until a dialog is shown; the class that shows it adopts that window.
#pragma once

#include <memory>

#include "toolkit/wWindow.h"

namespace setup {

class wDialog : public wWindow {
 public:
  wClassKind classKind() const override { return wClassKind::dialog; }
  wWindow* owner() const { return owner_; }

 protected:
  wDialog() = default;
  // No background colour, the default font, the owner kept (not a parent).
  void initDialog(wWindow* owner);

 private:
  wWindow* owner_ = nullptr;
};

}  // namespace setup
