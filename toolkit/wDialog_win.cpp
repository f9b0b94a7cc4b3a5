#include "toolkit/wApp.h"
#include "toolkit/wDialog.h"

namespace setup {

void wDialog::initDialog(wWindow* owner) {
  initBase("wDialog");
  owner_ = owner;
  setBackgroundColour(wNoColour);
  setFont(wApp::get().defaultFont());  // no native window yet: only stored
}

}  // namespace setup
