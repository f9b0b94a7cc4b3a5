// A window with every control class, for the screenshot kept with the test
// run. Argument: the file whose appearance closes it.
#include <windows.h>

#include <cstdio>
#include <memory>
#include <string>

#include "runtime/syscalls_win.h"
#include "toolkit/wApp.h"
#include "toolkit/wBitmap.h"
#include "toolkit/wButton.h"
#include "toolkit/wComboBox.h"
#include "toolkit/wFrame.h"
#include "toolkit/wIcon.h"
#include "toolkit/wPanel.h"
#include "toolkit/wStaticText.h"
#include "toolkit/wTextCtrl.h"
#include "toolkit/wToolBar.h"

namespace {

std::wstring doneFile;
HWND frameHandle = nullptr;

void CALLBACK checkDone(HWND, UINT, UINT_PTR, DWORD) {
  if (GetFileAttributesW(doneFile.c_str()) != INVALID_FILE_ATTRIBUTES) {
    PostMessageW(frameHandle, WM_CLOSE, 0, 0);
  }
}

std::shared_ptr<setup::wIcon> loaded(const char* reference) {
  try {
    return std::make_shared<setup::wIcon>(reference);
  } catch (const setup::Error& e) {
    std::fprintf(stderr, "%s: %s\n", reference, e.message().c_str());
    return nullptr;
  }
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  using namespace setup;
  if (argc != 2) return 2;
  doneFile = argv[1];
  bindSystemFunctions();
  wApp::get();

  auto frame = wFrame::create("Galerie de la bo\xc3\xaete \xc3\xa0 outils", {wDefault, wDefault},
                              {560, 330}, 0x02C80000);
  auto panel = wPanel::create(*frame, {wDefault, wDefault}, {wDefault, wDefault}, 0,
                              static_cast<wColour>(GetSysColor(COLOR_BTNFACE)));
  panel->setMargins({20, 20, 20, 20});
  // Docked first: the controls made afterwards sit below it.
  auto docked = wToolBar::create(*panel);
  docked->addTool(1, "Outil", nullptr);

  wStaticText::create(*panel, "Installer dans la biblioth\xc3\xa8que:", {0, 0});
  auto combo = wComboBox::create(*panel, "Bureau", {"Bureau", "Priv\xc3\xa9"}, 0x50010003, {220, 0},
                                 {200, wDefault});
  wStaticText::create(*panel, "Palette:", {0, 40});
  auto field = wTextCtrl::create(*panel, "C:\\ProgramData\\Nemetschek\\Allplan\\Palette", {80, 40},
                                 {400, wDefault});
  wStaticText::create(*panel, "Libre:", {0, 80});
  auto editable = wComboBox::create(*panel, "Une valeur \xc3\xa0 choisir", {"Un", "Deux"},
                                    wComboBox::defaultStyle, {80, 80}, {200, wDefault});
  auto bar = wToolBar::create(*panel);
  bar->setBackgroundColour(0xFFFFFF);
  const auto folder = loaded("shell32.dll,-4");
  bar->addTool(5050, "", folder ? std::make_shared<wBitmap>(*folder) : nullptr);
  bar->addStyle(76);
  field->setBuddy(bar);
  auto install = wButton::create(*panel, "&Installer", {260, 180}, {120, 34});
  auto cancel = wButton::create(*panel, "&Annuler", {390, 180}, {120, 34});
  if (auto icon = loaded("shell32.dll,-5")) install->setIcon(icon);
  if (auto icon = loaded("shell32.dll,-27")) cancel->setIcon(icon);
  install->setDefault();
  wButton::create(*panel,
                  "D\xc3\xa9"
                  "faut",
                  {0, 180});

  RECT desktop{};
  GetClientRect(GetDesktopWindow(), &desktop);
  RECT r{};
  GetWindowRect(static_cast<HWND>(frame->handle()), &r);
  SetWindowPos(static_cast<HWND>(frame->handle()), nullptr,
               (desktop.right - (r.right - r.left)) / 2, (desktop.bottom - (r.bottom - r.top)) / 2,
               0, 0, SWP_NOSIZE | SWP_NOZORDER);
  frame->show();
  combo->setFocus();
  frameHandle = static_cast<HWND>(frame->handle());
  SetTimer(nullptr, 0, 50, checkDone);
  wApp::get().mainLoop();
  return 0;
}
