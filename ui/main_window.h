// The installer's window and the program flow of one window run: discover the
// target directories, build the frame with its eleven controls, lay them out,
// connect the five handlers, centre, show, and run the loop until the frame is
// destroyed. A completed installation ends the process from inside its handler.
#pragma once

#include <memory>
#include <string>

#include "installer/system.h"

namespace setup {

class wFrame;
class wPanel;
class wStaticText;
class wComboBox;
class wTextCtrl;
class wButton;

// One window run's shared state; every handler is a closure bound to it.
struct MainWindow {
  std::shared_ptr<wPanel> panel;
  std::shared_ptr<wStaticText> libraryLabel;
  std::shared_ptr<wComboBox> libraryCombo;
  std::shared_ptr<wStaticText> headingLabel;
  std::shared_ptr<wStaticText> paletteLabel;
  std::shared_ptr<wTextCtrl> paletteField;
  std::shared_ptr<wStaticText> scriptLabel;
  std::shared_ptr<wTextCtrl> scriptField;
  std::shared_ptr<wButton> installButton;
  std::shared_ptr<wButton> cancelButton;
  std::shared_ptr<wFrame> frame;
  std::string libraryRoot;  // of the current choice; read by the installation
  std::string standardDir;  // found at start, never changed
};

inline constexpr const char* kWindowTitle = "TORNIVEX 1.0 Installation pour Allplan 2025";
inline constexpr int kPaletteBrowseTool = 5050;
inline constexpr int kScriptBrowseTool = 5051;

// The system the window's installation runs on: Win32, with the installer's
// own message box for its error boxes.
std::unique_ptr<System> makeWindowSystem();

// Builds, shows and runs the window; returns after it was closed. editable
// enables the two fields and their browse buttons. Throws what discovery,
// window creation and the layout throw; exceptions inside handlers are shown
// by the toolkit and the window stays.
void runMainWindow(System& system, bool editable);

// Places the nine laid-out controls of the window's panel (the first call for
// a panel builds the relations; every call solves and moves the controls).
void layoutMainWindow(MainWindow& window);

// The handlers of the two browse tools: the folder picker for their field.
void browsePalette(MainWindow& window);
void browseScript(MainWindow& window);

}  // namespace setup
