#include <windows.h>

#include <string_view>
#include <unordered_set>
#include <vector>

#include "installer/install.h"
#include "installer/locations.h"
#include "installer/payload.h"
#include "installer/system_win.h"
#include "runtime/errors.h"
#include "runtime/syscalls_win.h"
#include "toolkit/wApp.h"
#include "toolkit/wBitmap.h"
#include "toolkit/wButton.h"
#include "toolkit/wComboBox.h"
#include "toolkit/wEvent.h"
#include "toolkit/wFrame.h"
#include "toolkit/wIcon.h"
#include "toolkit/wPanel.h"
#include "toolkit/wStaticText.h"
#include "toolkit/wTextCtrl.h"
#include "toolkit/wToolBar.h"
#include "toolkit/winstr.h"
#include "ui/dialogs.h"
#include "ui/main_window.h"
#include "ui/window_layout.h"

namespace setup {
namespace {

constexpr std::uint64_t kFrameStyle = 0x02C80000;  // WS_CLIPCHILDREN | WS_CAPTION | WS_SYSMENU
constexpr std::uint64_t kLabelStyle = 0x50000100;
constexpr std::uint64_t kComboStyle = 0x50010003;  // WS_TABSTOP, CBS_DROPDOWNLIST
constexpr std::uint64_t kFieldStyle = 0x50010080;
constexpr std::uint64_t kToolBarExtraStyle =
    76;  // CCS_NORESIZE | CCS_NOPARENTALIGN | CCS_NODIVIDER
constexpr wColour kWhite = 0xFFFFFF;
constexpr std::int32_t kPanelMargin = 20;
constexpr const char* kFrameIcon = "shell32.dll,5";
constexpr const char* kBrowseIcon = "shell32.dll,4";
constexpr const char* kInstallIcon = "shell32.dll,5";
constexpr const char* kCancelIcon = "shell32.dll,27";

// The layout of the panel laid out last, kept for the process.
struct WindowLayout {
  std::shared_ptr<wWindow> container;
  layout::Solver solver;
  // The laid-out windows; the set's own order is the order of visiting.
  std::unordered_set<std::shared_ptr<wWindow>> windows;
};
std::unique_ptr<WindowLayout> currentLayout;

LayoutWindow layoutWindowOf(wWindow& window) {
  return {window.leftVariable(), window.topVariable(), window.widthVariable(),
          window.heightVariable(), [&window] {
            const wSize best = window.bestSize();
            return LayoutSize{best.width, best.height};
          }};
}

// Visits every laid-out window; a visit must leave the set as it found it.
template <typename Visit>
void visitLaidOut(const WindowLayout& state, Visit visit) {
  for (const std::shared_ptr<wWindow>& window : state.windows) {
    const std::size_t before = state.windows.size();
    visit(*window);
    if (state.windows.size() != before) {
      throw AssertionDefect("laid-out windows changed while they were visited", "layoutMainWindow");
    }
  }
}

// Fills a browse tool bar and docks it in its field.
void equipBrowseButton(wToolBar& bar, wTextCtrl& field, int toolId) {
  bar.setBackgroundColour(kWhite);
  bar.addTool(toolId, "", std::make_shared<wBitmap>(wIcon(kBrowseIcon)), "", "");
  bar.addStyle(kToolBarExtraStyle);
  field.setBuddy(std::static_pointer_cast<wControl>(bar.self()));
}

void browse(MainWindow& window, wTextCtrl& field) {
  const DWORD attributes = sys.GetFileAttributesW(toWide(field.value()).c_str());
  const bool directory =
      attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  const std::string start = directory ? field.value() : kFallbackStartFolder;
  const auto dialog = FolderDialog::create(window.frame.get(), kPickerTitle, start);
  const std::string chosen = chooseFolder(*dialog);
  if (!chosen.empty()) field.setValue(chosen);
}

void centre(wFrame& frame) {
  const HWND handle = static_cast<HWND>(frame.handle());
  RECT r{};
  sys.GetWindowRect(handle, &r);
  RECT area{};
  if (const HWND parent = sys.GetParent(handle)) {
    sys.GetWindowRect(parent, &area);
  } else {
    sys.GetClientRect(sys.GetDesktopWindow(), &area);
  }
  const CentredOrigin origin = centredOrigin(
      r.right - r.left, r.bottom - r.top, area.left, area.top, area.right - area.left,
      area.bottom - area.top, sys.GetSystemMetrics(SM_CXSCREEN), sys.GetSystemMetrics(SM_CYSCREEN));
  sys.SetWindowPos(handle, nullptr, origin.x, origin.y, 0, 0,
                   SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOOWNERZORDER);
}

// The installation's system: its error box is the installer's message box,
// owned by the window of the owner handle.
class WindowSystem : public WindowsSystem {
 public:
  void messageBox(NativeWindow owner, std::string_view text, std::string_view caption,
                  std::uint32_t style) override {
    const auto box =
        MessageBoxDialog::create(owner, std::string(text), std::string(caption), style);
    showMessageBox(*box);
  }
};

}  // namespace

std::unique_ptr<System> makeWindowSystem() {
  return std::make_unique<WindowSystem>();
}

void layoutMainWindow(MainWindow& w) {
  if (!currentLayout || currentLayout->container != w.panel) {
    const std::shared_ptr<wWindow> controls[] = {w.libraryLabel, w.libraryCombo,  w.headingLabel,
                                                 w.paletteLabel, w.paletteField,  w.scriptLabel,
                                                 w.scriptField,  w.installButton, w.cancelButton};
    auto built = std::make_unique<WindowLayout>();
    built->container = w.panel;
    MainWindowControls items;
    for (std::size_t i = 0; i < kMainWindowControls; ++i) {
      items[i] = layoutWindowOf(*controls[i]);
      built->windows.insert(controls[i]);
    }
    buildMainWindowRelations(built->solver, layoutWindowOf(*w.panel), items);
    currentLayout = std::move(built);
  }
  WindowLayout& state = *currentLayout;
  const wSize inner = w.panel->clientSize();
  suggestPanel(state.solver, layoutWindowOf(*w.panel), inner.width, inner.height);
  visitLaidOut(state, [&](wWindow& window) {
    const wRect r = window.rect();
    suggestPresent(state.solver, layoutWindowOf(window), {r.left, r.top, r.width(), r.height()});
  });
  state.solver.refreshVariables();
  visitLaidOut(state, [](wWindow& window) {
    const LayoutRect r = solvedRect(layoutWindowOf(window));
    window.setSize(r.left, r.top, r.width, r.height);
  });
}

void browsePalette(MainWindow& window) {
  browse(window, *window.paletteField);
}
void browseScript(MainWindow& window) {
  browse(window, *window.scriptField);
}

void runMainWindow(System& system, bool editable) {
  auto record = std::make_shared<MainWindow>();
  MainWindow& w = *record;
  w.standardDir = discoverLocations(system);
  const InstallLocations start = locationsForChoice(system, "Bureau", w.standardDir);
  wApp& app = wApp::get();

  w.frame = wFrame::create(kWindowTitle, {wDefault, wDefault}, {680, 250}, kFrameStyle,
                           static_cast<wColour>(sys.GetSysColor(COLOR_APPWORKSPACE)));
  w.panel = wPanel::create(*w.frame, {wDefault, wDefault}, {wDefault, wDefault}, 0,
                           static_cast<wColour>(sys.GetSysColor(COLOR_BTNFACE)));
  wPanel& panel = *w.panel;
  w.libraryLabel =
      wStaticText::create(panel, "Installer dans la bibliothèque:", {wDefault, wDefault},
                          {wDefault, wDefault}, kLabelStyle);
  w.libraryCombo = wComboBox::create(panel, "Bureau", {"Bureau", "Privé"}, kComboStyle);
  w.headingLabel = wStaticText::create(panel, "Répertoires d'installation Allplan PythonParts",
                                       {wDefault, wDefault}, {wDefault, wDefault}, kLabelStyle);
  w.paletteLabel = wStaticText::create(panel, "Palette:", {wDefault, wDefault},
                                       {wDefault, wDefault}, kLabelStyle);
  w.paletteField = wTextCtrl::create(panel, start.paletteDir, {wDefault, wDefault},
                                     {wDefault, wDefault}, kFieldStyle);
  w.scriptLabel = wStaticText::create(panel, "Script:", {wDefault, wDefault}, {wDefault, wDefault},
                                      kLabelStyle);
  w.scriptField = wTextCtrl::create(panel, start.scriptDir, {wDefault, wDefault},
                                    {wDefault, wDefault}, kFieldStyle);
  const auto paletteBrowse = wToolBar::create(panel);
  const auto scriptBrowse = wToolBar::create(panel);
  w.installButton = wButton::create(panel, "&Installer");
  w.cancelButton = wButton::create(panel, "&Annuler");

  if (!editable) {
    w.paletteField->enable(false);
    paletteBrowse->enable(false);
    w.scriptField->enable(false);
    scriptBrowse->enable(false);
  }
  w.libraryRoot = w.standardDir;
  w.frame->setIcon(std::make_shared<wIcon>(kFrameIcon));
  panel.setMargins({kPanelMargin, kPanelMargin, kPanelMargin, kPanelMargin});
  equipBrowseButton(*paletteBrowse, *w.paletteField, kPaletteBrowseTool);
  equipBrowseButton(*scriptBrowse, *w.scriptField, kScriptBrowseTool);
  w.installButton->setDefault();
  w.installButton->setIcon(std::make_shared<wIcon>(kInstallIcon));
  w.cancelButton->setIcon(std::make_shared<wIcon>(kCancelIcon));

  layoutMainWindow(w);

  // The handlers share the record; the cycle through the windows' connections
  // ends when the windows are destroyed.
  w.frame->connectCommand(kPaletteBrowseTool, [record] { browsePalette(*record); });
  w.frame->connectCommand(kScriptBrowseTool, [record] { browseScript(*record); });
  w.cancelButton->connect(wEvent_Button, [frame = w.frame.get()] { frame->send(WM_CLOSE); });
  w.installButton->connect(wEvent_Button, [record, &system] {
    installPayload(system, record->paletteField->value(), record->scriptField->value(),
                   record->libraryRoot, record->frame->handle(), payloadTable);
  });
  w.libraryCombo->connect(wEvent_ComboBox, [record, &system] {
    const InstallLocations chosen =
        locationsForChoice(system, record->libraryCombo->value(), record->standardDir);
    record->paletteField->setValue(chosen.paletteDir);
    record->scriptField->setValue(chosen.scriptDir);
    record->libraryRoot = chosen.libraryRoot;
  });

  centre(*w.frame);
  w.frame->show();
  if (app.hasTopLevelWindows()) app.mainLoop();
}

}  // namespace setup
