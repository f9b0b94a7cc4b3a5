// setup.exe itself, started and worked by the driver as a person would, in a
// prefix prepared by the test: the window, the library choice, the installation,
// the error box, the editable mode with the folder picker and the keys, the
// command line and a failed discovery.
#include <gtest/gtest.h>
#include <windows.h>

#include <cmath>
#include <cstdlib>
#include <thread>

#include "tests/driver/driver.h"
#include "tests/installer/installed_tree.h"
#include "toolkit/wEventTarget.h"
#include "toolkit/winstr.h"

namespace setup {
namespace {

using namespace driver;
using namespace setup::testing;

const wchar_t* const kTitle = L"TORNIVEX 1.0 Installation pour Allplan 2025";

// The frame's controls, in creation order.
struct Controls {
  HWND panel = nullptr;
  HWND libraryLabel, combo, heading, paletteLabel, paletteField, scriptLabel, scriptField,
      paletteBrowse, scriptBrowse, install, cancel;
};

// A rectangle in the panel's client coordinates.
struct Box {
  LONG left, top, right, bottom;
  LONG width() const { return right - left; }
  LONG height() const { return bottom - top; }
};

Box boxIn(HWND panel, HWND control) {
  RECT r = windowRect(control);
  MapWindowPoints(nullptr, panel, reinterpret_cast<POINT*>(&r), 2);
  return {r.left, r.top, r.right, r.bottom};
}

Controls controlsOf(HWND frame) {
  Controls c;
  c.panel = GetWindow(frame, GW_CHILD);
  EXPECT_EQ(className(c.panel), L"wPanel");
  const std::wstring classes[] = {
      L"Static", L"ComboBox",        L"Static",          L"Static", L"Edit",  L"Static",
      L"Edit",   L"ToolbarWindow32", L"ToolbarWindow32", L"Button", L"Button"};
  HWND* slots[] = {&c.libraryLabel, &c.combo,       &c.heading,     &c.paletteLabel,
                   &c.paletteField, &c.scriptLabel, &c.scriptField, &c.paletteBrowse,
                   &c.scriptBrowse, &c.install,     &c.cancel};
  HWND child = GetWindow(c.panel, GW_CHILD);
  for (std::size_t i = 0; i < std::size(slots); ++i) {
    EXPECT_EQ(className(child), classes[i]) << i;
    *slots[i] = child;
    child = GetWindow(child, GW_HWNDNEXT);
  }
  EXPECT_EQ(child, nullptr) << "more children than the eleven controls";
  return c;
}

// Presses a tool bar's only tool, which fills it, as the mouse does. (The tool's
// own rectangle cannot be asked for: tool-bar messages carry no pointers
// between processes.)
void pressTool(HWND toolBar) {
  RECT client{};
  GetClientRect(toolBar, &client);
  const LPARAM at = MAKELPARAM(client.right / 2, client.bottom / 2);
  PostMessageW(toolBar, WM_LBUTTONDOWN, MK_LBUTTON, at);
  PostMessageW(toolBar, WM_LBUTTONUP, 0, at);
}

// The build's own setup.exe, or another copy of it (a signed one).
std::string exePath() {
  const char* other = std::getenv("SETUP_EXE_UNDER_TEST");
  return other && *other ? other : SETUP_EXE_UNIX_PATH;
}

class SetupWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    static int run = 0;
    prefix_ = std::make_unique<PreparedPrefix>(
        "C:\\setup-window-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++run));
  }
  void TearDown() override {
    process_.reset();
    prefix_.reset();
  }

  Process& start(const std::wstring& arguments) {
    process_ = std::make_unique<Process>(
        fromUnixPath(exePath()), arguments,
        std::vector<std::wstring>{L"USERPROFILE=" + toWide(prefix_->home())});
    return *process_;
  }
  HWND frame() { return waitForWindow(L"wFrame", kTitle, process_->id()); }

  InstallLocations bureau() const {
    const std::string s = prefix_->standardDir();
    return {s, s, s + "\\Library\\MELDRA", s + "\\PythonPartsScripts\\MELDRA"};
  }
  InstallLocations prive() const {
    const std::string p = prefix_->home() + "\\Documents\\Nemetschek\\Allplan\\2025\\Usr\\Local";
    return {prefix_->standardDir(), p, p + "\\Library\\MELDRA", p + "\\PythonPartsScripts\\MELDRA"};
  }
  // Waits for the focus to settle on a control of the window.
  HWND focusIn(HWND window) {
    HWND focus = nullptr;
    for (int i = 0; i < 100 && !(focus = focusOf(window)); ++i) Sleep(20);
    return focus;
  }

  std::unique_ptr<PreparedPrefix> prefix_;
  std::unique_ptr<Process> process_;
};

TEST_F(SetupWindow, OpensCentredAndReadOnlyWithTheBureauDirectories) {
  Process& setup = start(L"");
  const HWND window = frame();
  ASSERT_NE(window, nullptr);
  const Controls c = controlsOf(window);

  const RECT r = windowRect(window);
  EXPECT_EQ(r.right - r.left, 680);
  EXPECT_EQ(r.bottom - r.top, 250);
  RECT desktop{};
  GetClientRect(GetDesktopWindow(), &desktop);
  EXPECT_EQ(r.left, std::max<LONG>(0, (desktop.right - 680) / 2));
  EXPECT_EQ(r.top, std::max<LONG>(0, (desktop.bottom - 250) / 2));
  const LONG_PTR frameStyle = style(window);
  EXPECT_EQ(frameStyle & (WS_CAPTION | WS_SYSMENU), WS_CAPTION | WS_SYSMENU);
  EXPECT_EQ(frameStyle & (WS_MAXIMIZEBOX | WS_MINIMIZEBOX | WS_THICKFRAME), 0);

  EXPECT_EQ(text(c.libraryLabel), "Installer dans la bibliothèque:");
  EXPECT_EQ(text(c.combo), "Bureau");
  EXPECT_EQ(text(c.heading), "Répertoires d'installation Allplan PythonParts");
  EXPECT_EQ(text(c.paletteLabel), "Palette:");
  EXPECT_EQ(text(c.scriptLabel), "Script:");
  EXPECT_EQ(text(c.paletteField), bureau().paletteDir);
  EXPECT_EQ(text(c.scriptField), bureau().scriptDir);
  EXPECT_EQ(text(c.install), "&Installer");
  EXPECT_EQ(text(c.cancel), "&Annuler");
  for (HWND off : {c.paletteField, c.scriptField, c.paletteBrowse, c.scriptBrowse}) {
    EXPECT_FALSE(enabled(off));
  }
  for (HWND on : {c.combo, c.install, c.cancel}) EXPECT_TRUE(enabled(on));
  EXPECT_EQ(style(c.install) & BS_DEFPUSHBUTTON, BS_DEFPUSHBUTTON);
  EXPECT_EQ(focusIn(window), c.combo);

  // The relations of the layout, as the controls stand: inner area inside 20
  // pixel margins, rows 10 apart, fields to the right edge, buttons at the bottom.
  RECT client{};
  GetClientRect(c.panel, &client);
  const LONG right = client.right - 20, bottom = client.bottom - 20;
  const Box l1 = boxIn(c.panel, c.libraryLabel), cb = boxIn(c.panel, c.combo),
            g = boxIn(c.panel, c.heading), lp = boxIn(c.panel, c.paletteLabel),
            tp = boxIn(c.panel, c.paletteField), ls = boxIn(c.panel, c.scriptLabel),
            ts = boxIn(c.panel, c.scriptField), bi = boxIn(c.panel, c.install),
            bc = boxIn(c.panel, c.cancel);
  EXPECT_EQ(l1.left, 20);
  EXPECT_EQ(l1.top, 20 + std::lround(std::round((cb.height() - l1.height()) * 0.5)));
  EXPECT_EQ(cb.left, l1.right + 10);
  EXPECT_EQ(cb.top, 20);
  EXPECT_EQ(g.left, 20);
  EXPECT_EQ(g.top, cb.bottom + 10);
  EXPECT_EQ(lp.left, 20);
  EXPECT_EQ(lp.top, g.bottom + 10);
  EXPECT_EQ(tp.left, lp.right);
  EXPECT_EQ(tp.top, lp.top);
  EXPECT_EQ(tp.right, right);
  EXPECT_EQ(ls.left, 20);
  EXPECT_EQ(ls.width(), lp.width());
  EXPECT_EQ(ls.top, tp.bottom + 10);
  EXPECT_EQ(ts.left, tp.left);
  EXPECT_EQ(ts.top, ls.top);
  EXPECT_EQ(ts.right, right);
  EXPECT_EQ(bi.left, 20);
  EXPECT_EQ(bi.bottom, bottom);
  EXPECT_EQ(bc.right, right);
  EXPECT_EQ(bc.bottom, bottom);
  EXPECT_EQ(bc.width(), bi.width());
  EXPECT_EQ(bc.height(), bi.height());
  // Each browse button sits inside its field's right end.
  for (const auto& [field, bar] :
       {std::pair{c.paletteField, c.paletteBrowse}, std::pair{c.scriptField, c.scriptBrowse}}) {
    const RECT f = windowRect(field), b = windowRect(bar);
    EXPECT_TRUE(b.left >= f.left && b.right <= f.right && b.top >= f.top && b.bottom <= f.bottom);
    EXPECT_GT(b.left, (f.left + f.right) / 2);
  }

  screenshot(window, L"setup_window.png");
  click(c.cancel);
  EXPECT_EQ(setup.wait(), std::optional<DWORD>(0));
  EXPECT_EQ(setup.output(), "");
  EXPECT_TRUE(filesBelow(prefix_->base() + "\\Net").empty());
}

TEST_F(SetupWindow, LibraryChoiceRewritesBothFieldsAndRestoresThem) {
  start(L"");
  const HWND window = frame();
  ASSERT_NE(window, nullptr);
  const Controls c = controlsOf(window);
  selectComboItem(c.combo, 1);
  Sleep(300);
  EXPECT_EQ(text(c.combo), "Privé");
  EXPECT_EQ(text(c.paletteField), prive().paletteDir);
  EXPECT_EQ(text(c.scriptField), prive().scriptDir);
  selectComboItem(c.combo, 0);
  Sleep(300);
  EXPECT_EQ(text(c.paletteField), bureau().paletteDir);
  EXPECT_EQ(text(c.scriptField), bureau().scriptDir);
}

TEST_F(SetupWindow, InstallWritesThePayloadAndEndsWithCodeZero) {
  Process& setup = start(L"");
  const HWND window = frame();
  ASSERT_NE(window, nullptr);
  selectComboItem(controlsOf(window).combo, 1);
  Sleep(300);
  click(controlsOf(window).install);
  EXPECT_EQ(setup.wait(60s), std::optional<DWORD>(0));
  EXPECT_EQ(setup.output(), "");
  const auto written = filesBelow(prive().libraryRoot);
  EXPECT_EQ(written.size(), 100u);
  EXPECT_TRUE(written == expectedFiles(prive()));
  EXPECT_TRUE(filesBelow(prefix_->standardDir()).empty());
}

TEST_F(SetupWindow, DirectoriesThatCannotBeCreatedShowTheErrorBoxesAndKeepTheWindow) {
  // A drive that does not exist: every one of the five directories fails.
  writeContent(pathOf(prefix_->base() + "\\ProgramData\\install_type_info.txt"),
               "NetPath=Q:\\Net\r\n");
  Process& setup = start(L"");
  const HWND window = frame();
  ASSERT_NE(window, nullptr);
  click(controlsOf(window).install);
  for (int box = 0; box < 5; ++box) {
    const HWND shown = waitForWindow(L"#32770", L"Erreur!", setup.id());
    ASSERT_NE(shown, nullptr) << "box " << box;
    EXPECT_EQ(GetWindow(shown, GW_OWNER), window);
    EXPECT_EQ(answerMessageBox(L"Erreur!", setup.id()),
              std::optional<std::string>("Le répertoire n'a pas pu être créé"));
  }
  Sleep(300);
  EXPECT_TRUE(setup.running());
  EXPECT_TRUE(IsWindow(window));
  EXPECT_EQ(waitForWindow(L"#32770", L"Erreur!", setup.id(), 500ms), nullptr);
  EXPECT_TRUE(filesBelow(prefix_->base()).size() == 1u);  // install_type_info.txt only
}

// Typed texts that name no directory Windows can create: the directory
// step's boxes, as many as its calls that fail, nothing is written, not even
// a lock, and the window stays open for a corrected attempt.
TEST_F(SetupWindow, TypedDirectoriesThatCannotBeShowTheBoxesAndWriteNothing) {
  struct Row {
    std::string palette, script;
    int boxes;
  };
  const std::string base = prefix_->base();
  const Row rows[] = {
      {base + "\\bad<>dir", base + "\\S", 1},
      {base + "\\ok\\sub|x", base + "\\S", 1},
      {base + "\\P:x", base + "\\S", 1},
      {base + "\\P", base + "\\con", 4},
  };
  Process& setup = start(L"-e");
  const HWND window = frame();
  ASSERT_NE(window, nullptr);
  const Controls c = controlsOf(window);
  const auto before = filesBelow(base);
  for (const Row& row : rows) {
    SCOPED_TRACE(row.palette + " " + row.script);
    setText(c.paletteField, row.palette);
    setText(c.scriptField, row.script);
    click(c.install);
    for (int box = 0; box < row.boxes; ++box) {
      EXPECT_EQ(answerMessageBox(L"Erreur!", setup.id()),
                std::optional<std::string>("Le répertoire n'a pas pu être créé"))
          << "box " << box;
    }
    EXPECT_EQ(waitForWindow(L"#32770", L"Erreur!", setup.id(), 500ms), nullptr);
    EXPECT_TRUE(setup.running());
    EXPECT_TRUE(IsWindow(window));
    EXPECT_TRUE(filesBelow(base) == before);
    EXPECT_FALSE(fs::exists(pathOf(base + "\\P")));
    EXPECT_FALSE(fs::exists(pathOf(base + "\\S")));
  }
  click(c.cancel);
  EXPECT_EQ(setup.wait(), std::optional<DWORD>(0));
}

// A damaged download: a copy of setup.exe with one byte changed inside an
// entry in the middle of the payload. The click installs the entries before
// it, meets the damage, undoes everything and says so.
TEST_F(SetupWindow, DamagedPayloadIsNamedAndNothingIsWritten) {
  const PayloadEntry& damaged = payloadTable[payloadTable.size() / 2];
  std::string exe = contentOf(fs::path(fromUnixPath(exePath())));
  const std::size_t at = exe.find(damaged.compressed);
  ASSERT_NE(at, std::string::npos) << "the entry's bytes are not in setup.exe";
  ASSERT_EQ(exe.find(damaged.compressed, at + 1), std::string::npos);
  exe[at + damaged.compressed.size() - 1] ^= 0x20;
  const std::string copy = prefix_->base() + "\\damaged-setup.exe";
  writeContent(pathOf(copy), exe);

  process_ = std::make_unique<Process>(
      toWide(copy), L"", std::vector<std::wstring>{L"USERPROFILE=" + toWide(prefix_->home())});
  const HWND window = frame();
  ASSERT_NE(window, nullptr);
  click(controlsOf(window).install);
  const std::optional<std::string> box =
      answerMessageBox(toWide(wHandlerErrorCaption), process_->id(), 60s);
  ASSERT_TRUE(box.has_value());
  // The changed byte may break the decoding, or only the content.
  EXPECT_TRUE(*box == "Invalid buffer, unable to uncompress [SnappyError]" ||
              (box->starts_with("The installer is damaged: its copy of \"" +
                                std::string(damaged.name) + "\"") &&
               box->ends_with(" [PayloadError]")))
      << *box;
  Sleep(300);
  EXPECT_TRUE(process_->running());
  EXPECT_TRUE(IsWindow(window));
  EXPECT_FALSE(fs::exists(pathOf(prefix_->base() + "\\Net")));
  click(controlsOf(window).cancel);
  EXPECT_EQ(process_->wait(), std::optional<DWORD>(0));
}

TEST_F(SetupWindow, EditableFieldsFollowTheChoiceAndEnterInstalls) {
  Process& setup = start(L"-e");
  const HWND window = frame();
  ASSERT_NE(window, nullptr);
  const Controls c = controlsOf(window);
  for (HWND on : {c.paletteField, c.scriptField, c.paletteBrowse, c.scriptBrowse}) {
    EXPECT_TRUE(enabled(on));
  }
  screenshot(window, L"setup_window_editable.png");
  setText(c.paletteField, "typed by hand");
  selectComboItem(c.combo, 1);
  Sleep(300);
  EXPECT_EQ(text(c.paletteField), prive().paletteDir);

  const std::string palette = prefix_->base() + "\\mine\\palette";
  const std::string script = prefix_->base() + "\\mine\\script";
  setText(c.paletteField, palette);
  setText(c.scriptField, script);
  ASSERT_EQ(focusIn(window), c.combo);
  pressKey(window, VK_TAB);
  ASSERT_EQ(focusIn(window), c.paletteField);
  pressKey(window, VK_RETURN);
  EXPECT_EQ(setup.wait(60s), std::optional<DWORD>(0));
  EXPECT_EQ(filesBelow(palette).size(), 32u);
  EXPECT_EQ(filesBelow(script).size(), 68u);
  // Absolute references: the script directory lies outside the library.
  EXPECT_NE(contentOf(pathOf(palette + "\\VESK.pyp")).find("<Name>" + script + "\\vesk.py</Name>"),
            std::string::npos);
}

TEST_F(SetupWindow, AltAClosesWithoutInstalling) {
  Process& setup = start(L"-e");
  const HWND window = frame();
  ASSERT_NE(window, nullptr);
  focusIn(window);
  pressKey(window, 'A', {VK_MENU});
  EXPECT_EQ(setup.wait(10s), std::optional<DWORD>(0));
  EXPECT_TRUE(filesBelow(prefix_->base() + "\\Net").empty());
}

TEST_F(SetupWindow, BrowsePickerCancelsAndPicks) {
  Process& setup = start(L"-e");
  const HWND window = frame();
  ASSERT_NE(window, nullptr);
  const Controls c = controlsOf(window);
  const std::wstring pickerTitle = L"Sélectionner un répertoire";

  pressTool(c.paletteBrowse);
  HWND picker = waitForWindow(L"#32770", pickerTitle, setup.id());
  ASSERT_NE(picker, nullptr);
  EXPECT_FALSE(enabled(window));  // modal to the frame
  PostMessageW(GetDlgItem(picker, IDCANCEL), BM_CLICK, 0, 0);
  ASSERT_TRUE(waitForGone(picker));
  Sleep(200);
  EXPECT_EQ(text(c.paletteField), bureau().paletteDir);

  const std::string chosen = prefix_->base() + "\\chosen";
  fs::create_directories(pathOf(chosen));
  pressTool(c.paletteBrowse);
  picker = waitForWindow(L"#32770", pickerTitle, setup.id());
  ASSERT_NE(picker, nullptr);
  setText(GetDlgItem(picker, 1152), chosen);
  PostMessageW(GetDlgItem(picker, IDOK), BM_CLICK, 0, 0);
  ASSERT_TRUE(waitForGone(picker));
  Sleep(200);
  EXPECT_EQ(text(c.paletteField), chosen);

  // The pick made the chosen folder the current directory: a relative
  // script directory lands below it.
  setText(c.scriptField, "relative\\scripts");
  click(c.install);
  EXPECT_EQ(setup.wait(60s), std::optional<DWORD>(0));
  EXPECT_EQ(filesBelow(chosen).size(), 100u);
  EXPECT_EQ(filesBelow(chosen + "\\relative\\scripts").size(), 68u);
}

TEST_F(SetupWindow, TwoEditableArgumentsShowTheWindowTwice) {
  Process& setup = start(L"-e -e");
  const HWND first = frame();
  ASSERT_NE(first, nullptr);
  click(controlsOf(first).cancel);
  ASSERT_TRUE(waitForGone(first));
  const HWND second = frame();
  ASSERT_NE(second, nullptr);
  PostMessageW(second, WM_CLOSE, 0, 0);
  EXPECT_EQ(setup.wait(), std::optional<DWORD>(0));
  EXPECT_EQ(setup.output(), toUtf8(fromUnixPath(exePath())) + "\n");
}

TEST_F(SetupWindow, OtherArgumentsPrintThePathAndEndAtOnce) {
  for (const std::wstring argument : {L"-E", L"/e", L"x -e"}) {
    SCOPED_TRACE(toUtf8(argument));
    Process& setup = start(argument);
    EXPECT_EQ(setup.wait(), std::optional<DWORD>(0));
    EXPECT_EQ(setup.output(), toUtf8(fromUnixPath(exePath())) + "\n");
    EXPECT_EQ(waitForWindow(L"wFrame", kTitle, setup.id(), 0ms), nullptr);
  }
}

TEST_F(SetupWindow, FailedDiscoveryEndsWithTheErrorReportAndNoWindow) {
  PreparedPrefix::deleteRegistryValue(L"ProgramDataPath");
  Process& setup = start(L"");
  const HWND box = waitForWindow(L"#32770", L"", setup.id());
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(waitForWindow(L"wFrame", kTitle, setup.id(), 0ms), nullptr);
  wchar_t caption[256] = {};
  GetWindowTextW(box, caption, 256);
  const std::optional<std::string> report = answerMessageBox(caption, setup.id());
  ASSERT_TRUE(report.has_value());
  EXPECT_TRUE(report->starts_with("Error: unhandled exception: ")) << *report;
  EXPECT_TRUE(report->ends_with(" [OSError]\n")) << *report;
  EXPECT_EQ(setup.wait(), std::optional<DWORD>(1));
}

}  // namespace
}  // namespace setup
