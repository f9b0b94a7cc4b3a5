// The floor of the start-up benchmark: a bare Win32 frame of 680 x 250 with
// eleven plain child controls of the installer's classes, in the message font,
// built straight on the system with nothing else. It runs until it is closed.
#include <windows.h>
// commctrl.h needs what windows.h declares.
#include <commctrl.h>

#include <memory>
#include <type_traits>

namespace {

LRESULT CALLBACK frameProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_DESTROY) {
    PostQuitMessage(0);
    return 0;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

struct FontDeleter {
  void operator()(HFONT font) const { DeleteObject(font); }
};
using UniqueFont = std::unique_ptr<std::remove_pointer_t<HFONT>, FontDeleter>;

struct Child {
  const wchar_t* className;
  const wchar_t* text;
  DWORD style;
  RECT place;  // left, top, width, height
};

// About where the installer's layout puts its controls.
constexpr Child kChildren[] = {
    {L"Static", L"Installer dans la biblioth\u00e8que:", 0x100, {20, 24, 160, 21}},
    {L"ComboBox", L"", WS_TABSTOP | CBS_DROPDOWNLIST, {190, 20, 120, 100}},
    {L"Static", L"R\u00e9pertoires d'installation Allplan PythonParts", 0x100, {20, 62, 300, 21}},
    {L"Static", L"Palette:", 0x100, {20, 92, 60, 21}},
    {L"Edit", L"C:\\Data\\Std\\Library\\Palette", WS_TABSTOP | ES_AUTOHSCROLL, {90, 90, 550, 23}},
    {L"Static", L"Script:", 0x100, {20, 122, 60, 21}},
    {L"Edit", L"C:\\Data\\Std\\Library\\Script", WS_TABSTOP | ES_AUTOHSCROLL, {90, 120, 550, 23}},
    {TOOLBARCLASSNAMEW, L"", CCS_NORESIZE | CCS_NOPARENTALIGN | CCS_NODIVIDER, {615, 90, 23, 22}},
    {TOOLBARCLASSNAMEW, L"", CCS_NORESIZE | CCS_NOPARENTALIGN | CCS_NODIVIDER, {615, 120, 23, 22}},
    {L"Button", L"&Installer", WS_TABSTOP | BS_DEFPUSHBUTTON, {430, 160, 100, 28}},
    {L"Button", L"&Annuler", WS_TABSTOP, {540, 160, 100, 28}},
};

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_BAR_CLASSES};
  InitCommonControlsEx(&controls);
  NONCLIENTMETRICSW metrics{};
  metrics.cbSize = sizeof metrics;
  SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0);
  const UniqueFont font(CreateFontIndirectW(&metrics.lfMessageFont));

  WNDCLASSEXW frameClass{};
  frameClass.cbSize = sizeof frameClass;
  frameClass.style = CS_HREDRAW | CS_VREDRAW;
  frameClass.lpfnWndProc = frameProc;
  frameClass.hInstance = instance;
  frameClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  frameClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  frameClass.lpszClassName = L"BareFrame";
  RegisterClassExW(&frameClass);
  HWND frame =
      CreateWindowExW(0, L"BareFrame", L"Bare frame", WS_CAPTION | WS_SYSMENU, CW_USEDEFAULT,
                      CW_USEDEFAULT, 680, 250, nullptr, nullptr, instance, nullptr);
  if (frame == nullptr) return 1;
  for (const Child& c : kChildren) {
    HWND child = CreateWindowExW(0, c.className, c.text, WS_CHILD | WS_VISIBLE | c.style,
                                 c.place.left, c.place.top, c.place.right, c.place.bottom, frame,
                                 nullptr, instance, nullptr);
    if (child == nullptr) return 1;
    SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(font.get()), FALSE);
    if (lstrcmpW(c.className, L"ComboBox") == 0) {
      SendMessageW(child, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(L"Bureau"));
      SendMessageW(child, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(L"Priv\u00e9"));
      SendMessageW(child, CB_SETCURSEL, 0, 0);
    }
  }
  ShowWindow(frame, SW_SHOWNORMAL);
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    if (IsDialogMessageW(frame, &message)) continue;
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  return 0;
}
