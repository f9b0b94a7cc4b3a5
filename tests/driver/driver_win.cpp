#include <objidl.h>  // gdiplus needs what WIN32_LEAN_AND_MEAN leaves out

#include "tests/driver/driver.h"
#include "toolkit/winstr.h"
// clang-format off
#include <gdiplus.h>
// clang-format on

#include <algorithm>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <thread>
#include <type_traits>

namespace setup::driver {
namespace {

[[noreturn]] void fail(const std::string& what) {
  throw std::runtime_error(what + " (error " + std::to_string(GetLastError()) + ")");
}

template <typename Predicate>
bool poll(std::chrono::milliseconds timeout, Predicate ready) {
  const auto end = std::chrono::steady_clock::now() + timeout;
  while (!ready()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(20ms);
  }
  return true;
}

// The environment block with extra entries replacing same-named ones.
std::wstring environmentWith(const std::vector<std::wstring>& extra) {
  std::vector<std::wstring> entries;
  LPWCH block = GetEnvironmentStringsW();
  for (const wchar_t* p = block; *p; p += wcslen(p) + 1) entries.emplace_back(p);
  FreeEnvironmentStringsW(block);
  for (const std::wstring& add : extra) {
    const std::wstring name = add.substr(0, add.find(L'=') + 1);
    std::erase_if(entries, [&](const std::wstring& e) {
      return _wcsnicmp(e.c_str(), name.c_str(), name.size()) == 0;
    });
    entries.push_back(add);
  }
  std::wstring result;
  for (const std::wstring& e : entries) result += e + L'\0';
  return result + L'\0';
}

}  // namespace

std::wstring fromUnixPath(const std::string& path) {
  std::wstring result = L"Z:" + toWide(path);
  std::replace(result.begin(), result.end(), L'/', L'\\');
  return result;
}

Process::Process(const std::wstring& exe, const std::wstring& arguments,
                 const std::vector<std::wstring>& extraEnv, bool withErrors) {
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE outWrite = nullptr;
  if (!CreatePipe(&outRead_, &outWrite, &inherit, 1 << 16)) fail("CreatePipe");
  SetHandleInformation(outRead_, HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = outWrite;
  startup.hStdError = withErrors ? outWrite : GetStdHandle(STD_ERROR_HANDLE);
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  std::wstring commandLine = L"\"" + exe + L"\"" + (arguments.empty() ? L"" : L" " + arguments);
  std::wstring environment = environmentWith(extraEnv);
  const BOOL created =
      CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, TRUE,
                     CREATE_UNICODE_ENVIRONMENT, environment.data(), nullptr, &startup, &info_);
  CloseHandle(outWrite);
  if (!created) {
    CloseHandle(outRead_);
    fail("CreateProcessW " + toUtf8(exe));
  }
}

Process::~Process() {
  kill();
  if (info_.hProcess) CloseHandle(info_.hProcess);
  if (info_.hThread) CloseHandle(info_.hThread);
  if (outRead_) CloseHandle(outRead_);
}

bool Process::running() const {
  return WaitForSingleObject(info_.hProcess, 0) == WAIT_TIMEOUT;
}

std::optional<DWORD> Process::wait(std::chrono::milliseconds timeout) {
  if (WaitForSingleObject(info_.hProcess, DWORD(timeout.count())) != WAIT_OBJECT_0) return {};
  DWORD code = 0;
  GetExitCodeProcess(info_.hProcess, &code);
  return code;
}

std::string Process::output() {
  DWORD available = 0;
  while (PeekNamedPipe(outRead_, nullptr, 0, nullptr, &available, nullptr) && available > 0) {
    char buffer[4096];
    DWORD got = 0;
    if (!ReadFile(outRead_, buffer, std::min<DWORD>(available, sizeof buffer), &got, nullptr))
      break;
    output_.append(buffer, got);
  }
  return output_;
}

void Process::kill() {
  if (info_.hProcess && running()) {
    TerminateProcess(info_.hProcess, 255);
    WaitForSingleObject(info_.hProcess, 5000);
  }
}

HWND waitForWindow(const std::wstring& className, const std::wstring& title, DWORD pid,
                   std::chrono::milliseconds timeout) {
  struct Search {
    const std::wstring* cls;
    const std::wstring* title;
    DWORD pid;
    HWND found;
  } search{&className, &title, pid, nullptr};
  poll(timeout, [&] {
    EnumWindows(
        [](HWND w, LPARAM p) -> BOOL {
          auto* s = reinterpret_cast<Search*>(p);
          DWORD owner = 0;
          GetWindowThreadProcessId(w, &owner);
          if ((s->pid && owner != s->pid) || !IsWindowVisible(w) ||
              driver::className(w) != *s->cls) {
            return TRUE;
          }
          if (!s->title->empty() && toWide(text(w)) != *s->title) return TRUE;
          s->found = w;
          return FALSE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found != nullptr;
  });
  return search.found;
}

bool waitForGone(HWND window, std::chrono::milliseconds timeout) {
  return poll(timeout, [&] { return !IsWindow(window); });
}

std::vector<HWND> children(HWND parent) {
  std::vector<HWND> result;
  EnumChildWindows(
      parent,
      [](HWND w, LPARAM p) -> BOOL {
        reinterpret_cast<std::vector<HWND>*>(p)->push_back(w);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&result));
  return result;
}

std::wstring className(HWND window) {
  wchar_t name[256] = {};
  GetClassNameW(window, name, 256);
  return name;
}

std::string text(HWND window) {
  DWORD_PTR length = 0;
  SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 5000, &length);
  std::wstring buffer(length + 1, L'\0');
  DWORD_PTR copied = 0;
  SendMessageTimeoutW(window, WM_GETTEXT, buffer.size(), reinterpret_cast<LPARAM>(buffer.data()),
                      SMTO_ABORTIFHUNG, 5000, &copied);
  buffer.resize(copied);
  return toUtf8(buffer);
}

RECT windowRect(HWND window) {
  RECT r{};
  GetWindowRect(window, &r);
  return r;
}

RECT clientRectOnScreen(HWND window) {
  RECT r{};
  GetClientRect(window, &r);
  MapWindowPoints(window, nullptr, reinterpret_cast<POINT*>(&r), 2);
  return r;
}

bool enabled(HWND window) {
  return IsWindowEnabled(window) != FALSE;
}
LONG_PTR style(HWND window) {
  return GetWindowLongPtrW(window, GWL_STYLE);
}

HWND focusOf(HWND topLevel) {
  GUITHREADINFO info{};
  info.cbSize = sizeof info;
  GetGUIThreadInfo(GetWindowThreadProcessId(topLevel, nullptr), &info);
  return info.hwndFocus;
}

void click(HWND button) {
  PostMessageW(button, BM_CLICK, 0, 0);
}

void selectComboItem(HWND combo, int index) {
  SendMessageW(combo, CB_SETCURSEL, WPARAM(index), 0);
  PostMessageW(GetParent(combo), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(combo), CBN_SELENDOK),
               reinterpret_cast<LPARAM>(combo));
}

void setText(HWND edit, const std::string& value) {
  const std::wstring w = toWide(value);
  SendMessageTimeoutW(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(w.c_str()), SMTO_ABORTIFHUNG,
                      5000, nullptr);
}

void sendKeys(WORD key, std::initializer_list<WORD> modifiers) {
  std::vector<INPUT> inputs;
  auto add = [&](WORD vk, bool up) {
    INPUT in{};
    in.type = INPUT_KEYBOARD;
    in.ki.wVk = vk;
    in.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
    inputs.push_back(in);
  };
  for (WORD m : modifiers) add(m, false);
  add(key, false);
  add(key, true);
  for (auto it = std::rbegin(modifiers); it != std::rend(modifiers); ++it) add(*it, true);
  SendInput(UINT(inputs.size()), inputs.data(), sizeof(INPUT));
}

void pressKey(HWND topLevel, WORD key, std::initializer_list<WORD> modifiers) {
  SetForegroundWindow(topLevel);
  sendKeys(key, modifiers);
  std::this_thread::sleep_for(150ms);  // let the target's loop take the keys
}

std::optional<std::string> answerMessageBox(const std::wstring& caption, DWORD pid,
                                            std::chrono::milliseconds timeout) {
  HWND box = waitForWindow(L"#32770", caption, pid, timeout);
  if (!box) return {};
  wchar_t buffer[4096] = {};
  GetDlgItemTextW(box, 0xFFFF, buffer, 4096);
  PostMessageW(box, WM_COMMAND, IDOK, 0);
  waitForGone(box, 5s);
  return toUtf8(buffer);
}

namespace {

struct ReleaseScreenDC {
  void operator()(HDC dc) const { ReleaseDC(nullptr, dc); }
};
struct DeleteMemoryDC {
  void operator()(HDC dc) const { DeleteDC(dc); }
};
struct DeleteBitmap {
  void operator()(HBITMAP bitmap) const { DeleteObject(bitmap); }
};
using ScreenDC = std::unique_ptr<std::remove_pointer_t<HDC>, ReleaseScreenDC>;
using MemoryDC = std::unique_ptr<std::remove_pointer_t<HDC>, DeleteMemoryDC>;
using Bitmap = std::unique_ptr<std::remove_pointer_t<HBITMAP>, DeleteBitmap>;

// A copy of the screen's pixels in r.
Bitmap capture(const RECT& r) {
  const ScreenDC screen(GetDC(nullptr));
  const MemoryDC memory(CreateCompatibleDC(screen.get()));
  Bitmap bitmap(CreateCompatibleBitmap(screen.get(), r.right - r.left, r.bottom - r.top));
  if (!screen || !memory || !bitmap) fail("capturing the screen");
  const HGDIOBJ old = SelectObject(memory.get(), bitmap.get());
  BitBlt(memory.get(), 0, 0, r.right - r.left, r.bottom - r.top, screen.get(), r.left, r.top,
         SRCCOPY);
  SelectObject(memory.get(), old);
  return bitmap;
}

std::vector<std::uint32_t> pixelsOf(const RECT& r) {
  const Bitmap bitmap = capture(r);
  const int width = r.right - r.left, height = r.bottom - r.top;
  BITMAPINFO info{};
  info.bmiHeader = {.biSize = sizeof info.bmiHeader,
                    .biWidth = width,
                    .biHeight = -height,
                    .biPlanes = 1,
                    .biBitCount = 32,
                    .biCompression = BI_RGB};
  std::vector<std::uint32_t> pixels(std::size_t(width) * std::size_t(height));
  const ScreenDC screen(GetDC(nullptr));
  GetDIBits(screen.get(), bitmap.get(), 0, UINT(height), pixels.data(), &info, DIB_RGB_COLORS);
  return pixels;
}

// Whether some part of the window or of a visible descendant still waits for WM_PAINT.
bool paintPending(HWND window) {
  if (GetUpdateRect(window, nullptr, FALSE)) return true;
  const std::vector<HWND> all = children(window);
  return std::any_of(all.begin(), all.end(), [](HWND child) {
    return IsWindowVisible(child) && GetUpdateRect(child, nullptr, FALSE);
  });
}

}  // namespace

bool waitForPaint(HWND window, std::chrono::milliseconds timeout) {
  // wine copies what a window drew to the screen a moment later: the picture
  // counts once two looks a little apart agree.
  const auto end = std::chrono::steady_clock::now() + timeout;
  std::vector<std::uint32_t> last;
  while (std::chrono::steady_clock::now() < end) {
    DWORD_PTR ignored = 0;
    if (!paintPending(window) &&
        SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 1000, &ignored)) {
      std::vector<std::uint32_t> now = pixelsOf(windowRect(window));
      if (!last.empty() && now == last) return true;
      last = std::move(now);
    } else {
      last.clear();
    }
    std::this_thread::sleep_for(100ms);
  }
  return false;
}

void screenshot(HWND window, const std::wstring& path) {
  if (!waitForPaint(window)) fail("the window did not finish painting for " + toUtf8(path));
  const Bitmap bitmap = capture(windowRect(window));
  Gdiplus::GdiplusStartupInput input;
  ULONG_PTR token = 0;
  if (Gdiplus::GdiplusStartup(&token, &input, nullptr) != Gdiplus::Ok) fail("GdiplusStartup");
  Gdiplus::Status saved = Gdiplus::GenericError;
  {
    Gdiplus::Bitmap image(bitmap.get(), nullptr);
    const CLSID png = {
        0x557cf406, 0x1a04, 0x11d3, {0x9a, 0x73, 0x00, 0x00, 0xf8, 0x1e, 0xf3, 0x2e}};
    saved = image.Save(path.c_str(), &png, nullptr);
  }
  Gdiplus::GdiplusShutdown(token);
  if (saved != Gdiplus::Ok) fail("saving " + toUtf8(path));
}

}  // namespace setup::driver
