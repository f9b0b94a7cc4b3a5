// The table of bound system functions: every Windows function that the toolkit
// and the installer call, bound by name at start-up (bindSystemFunctions), and
// reached as setup::sys.Name(...). Beside it the executable imports directly
// only LoadLibraryA, GetProcAddress, MessageBoxA, kernel32's memory,
// synchronisation and start-up functions and msvcrt, so a program that starts
// either has every entry below or has ended with "could not import: " + name.
//
// Three optional functions are looked up on first use instead (OnDemandFunction);
// calling one that the system lacks raises LibraryError.
#pragma once

#include <windows.h>
// Must follow windows.h.
#include <commctrl.h>
#include <ole2.h>
#include <shellapi.h>
#include <shlwapi.h>
#include <winternl.h>

#include <atomic>
#include <cstdint>
#include <span>
#include <utility>

namespace setup {

// The flat GDI+ interface, declared here so that nothing else needs GDI+'s
// C++ headers. Only the types are used; the functions come from the table.
namespace gdiplus {
using Status = int;  // 0 is Ok
using PixelFormat = int;
using ARGB = DWORD;
struct GpImage;
struct GpBitmap;  // a GpImage

constexpr PixelFormat pixelFormat32bppARGB = 0x26200A;
constexpr int rotateNoneFlipY = 6;
constexpr UINT imageLockModeRead = 1;

struct StartupInput {
  UINT32 GdiplusVersion = 1;
  void* DebugEventCallback = nullptr;
  BOOL SuppressBackgroundThread = FALSE;
  BOOL SuppressExternalCodecs = FALSE;
};
struct StartupOutput {
  void* NotificationHook;
  void* NotificationUnhook;
};
struct Rect {
  INT X, Y, Width, Height;
};
struct BitmapData {
  UINT Width;
  UINT Height;
  INT Stride;
  PixelFormat PixelFormat;
  void* Scan0;
  UINT_PTR Reserved;
};

Status WINAPI GdipDisposeImage(GpImage*);
Status WINAPI GdiplusStartup(ULONG_PTR* token, const StartupInput*, StartupOutput*);
Status WINAPI GdipCreateBitmapFromStream(IStream*, GpBitmap**);
Status WINAPI GdipGetImageWidth(GpImage*, UINT*);
Status WINAPI GdipGetImageHeight(GpImage*, UINT*);
Status WINAPI GdipBitmapLockBits(GpBitmap*, const Rect*, UINT flags, PixelFormat, BitmapData*);
Status WINAPI GdipBitmapUnlockBits(GpBitmap*, BitmapData*);
Status WINAPI GdipCreateHBITMAPFromBitmap(GpBitmap*, HBITMAP*, ARGB background);
Status WINAPI GdipCreateBitmapFromScan0(INT width, INT height, INT stride, PixelFormat, BYTE* scan0,
                                        GpBitmap**);
Status WINAPI GdipImageRotateFlip(GpImage*, int rotateFlipType);
}  // namespace gdiplus

// The bound functions, library by library in binding order. LIB(name) opens a
// library; FN(name) is a function of the Windows headers, GDIP(name) one of
// the flat GDI+ interface above. The same list makes the table's members and
// the binding steps, so the two cannot disagree.
#define SETUP_BOUND_FUNCTIONS(LIB, FN, GDIP) \
  LIB("kernel32")                            \
  FN(GetCommandLineW)                        \
  FN(FormatMessageW)                         \
  FN(LocalFree)                              \
  FN(GetFileAttributesW)                     \
  FN(CreateDirectoryW)                       \
  FN(GetLastError)                           \
  FN(CreateFileW)                            \
  FN(ReadFile)                               \
  FN(WriteFile)                              \
  FN(SetFileInformationByHandle)             \
  FN(GetFileInformationByHandle)             \
  FN(GetFileInformationByHandleEx)           \
  FN(GetFinalPathNameByHandleW)              \
  FN(CompareStringOrdinal)                   \
  FN(CloseHandle)                            \
  LIB("ntdll")                               \
  FN(NtCreateFile)                           \
  FN(NtSetInformationFile)                   \
  FN(RtlNtStatusToDosError)                  \
  LIB("Advapi32.dll")                        \
  FN(RegGetValueW)                           \
  FN(RegOpenKeyExW)                          \
  FN(RegCloseKey)                            \
  LIB("kernel32")                            \
  FN(lstrlenA)                               \
  FN(WideCharToMultiByte)                    \
  FN(MultiByteToWideChar)                    \
  FN(lstrlenW)                               \
  LIB("kernel32")                            \
  FN(LoadLibraryW)                           \
  FN(FreeLibrary)                            \
  FN(GetProcAddress)                         \
  FN(GetModuleHandleW)                       \
  FN(GetVersionExW)                          \
  FN(MulDiv)                                 \
  FN(GetCurrentThreadId)                     \
  FN(LoadLibraryExW)                         \
  FN(EnumResourceNamesW)                     \
  FN(FindResourceW)                          \
  FN(LoadResource)                           \
  FN(LockResource)                           \
  FN(SizeofResource)                         \
  FN(SetCurrentDirectoryW)                   \
  FN(Sleep)                                  \
  LIB("user32")                              \
  FN(DestroyWindow)                          \
  FN(DestroyIcon)                            \
  FN(DestroyCursor)                          \
  FN(GetWindowRect)                          \
  FN(ScreenToClient)                         \
  FN(SetWindowPos)                           \
  FN(GetClientRect)                          \
  FN(GetWindowLongPtrW)                      \
  FN(SendMessageW)                           \
  FN(ShowWindow)                             \
  FN(UnregisterClassW)                       \
  FN(DestroyAcceleratorTable)                \
  FN(CreateAcceleratorTableW)                \
  FN(TranslateAcceleratorW)                  \
  FN(GetAncestor)                            \
  FN(IsDialogMessageW)                       \
  FN(InvalidateRect)                         \
  FN(GetKeyboardState)                       \
  FN(GetMessagePos)                          \
  FN(MessageBoxW)                            \
  FN(GetDC)                                  \
  FN(DrawTextW)                              \
  FN(ReleaseDC)                              \
  FN(GetWindowTextLengthW)                   \
  FN(GetWindowTextW)                         \
  FN(ClientToScreen)                         \
  FN(GetCursorPos)                           \
  FN(GetWindowThreadProcessId)               \
  FN(GetForegroundWindow)                    \
  FN(GetSystemMetrics)                       \
  FN(SetForegroundWindow)                    \
  FN(AttachThreadInput)                      \
  FN(SetMenuInfo)                            \
  FN(TrackPopupMenu)                         \
  FN(PostMessageW)                           \
  FN(CreateWindowExW)                        \
  FN(IsWindowVisible)                        \
  FN(GetComboBoxInfo)                        \
  FN(GetIconInfo)                            \
  FN(CreateIconIndirect)                     \
  FN(DefWindowProcW)                         \
  FN(LoadCursorW)                            \
  FN(RegisterClassExW)                       \
  FN(SystemParametersInfoW)                  \
  FN(UpdateWindow)                           \
  FN(GetCapture)                             \
  FN(WindowFromPoint)                        \
  FN(GetParent)                              \
  FN(TrackMouseEvent)                        \
  FN(GetScrollInfo)                          \
  FN(SetScrollInfo)                          \
  FN(SetCursor)                              \
  FN(GetMenuInfo)                            \
  FN(GetMenuItemInfoW)                       \
  FN(SetMenuItemInfoW)                       \
  FN(CheckMenuRadioItem)                     \
  FN(GetSysColor)                            \
  FN(IsWindow)                               \
  FN(GetFocus)                               \
  FN(SetFocus)                               \
  FN(IsWindowEnabled)                        \
  FN(GetSubMenu)                             \
  FN(SetWindowLongPtrW)                      \
  FN(GetNextDlgTabItem)                      \
  FN(GetNextDlgGroupItem)                    \
  FN(GetClassNameW)                          \
  FN(SetWindowTextW)                         \
  FN(EnableWindow)                           \
  FN(CreateIconFromResourceEx)               \
  FN(LookupIconIdFromDirectoryEx)            \
  FN(CopyImage)                              \
  FN(OffsetRect)                             \
  FN(PtInRect)                               \
  FN(MapWindowPoints)                        \
  FN(SetWindowsHookExW)                      \
  FN(CallNextHookEx)                         \
  FN(UnhookWindowsHookEx)                    \
  FN(GetDlgItem)                             \
  FN(GetDesktopWindow)                       \
  FN(GetMessageW)                            \
  FN(PeekMessageW)                           \
  FN(TranslateMessage)                       \
  FN(DispatchMessageW)                       \
  LIB("gdi32")                               \
  FN(DeleteObject)                           \
  FN(CreateBrushIndirect)                    \
  FN(SelectObject)                           \
  FN(SetBkColor)                             \
  FN(ExtTextOutW)                            \
  FN(GetObjectW)                             \
  FN(GetStockObject)                         \
  FN(GetDeviceCaps)                          \
  FN(CreateFontIndirectW)                    \
  FN(SetTextColor)                           \
  FN(GetObjectType)                          \
  FN(CreateDIBSection)                       \
  FN(CreateCompatibleDC)                     \
  FN(DeleteDC)                               \
  FN(SetBitmapBits)                          \
  FN(BitBlt)                                 \
  LIB("ole32")                               \
  FN(OleIsCurrentClipboard)                  \
  FN(OleFlushClipboard)                      \
  FN(OleInitialize)                          \
  FN(CoCreateInstance)                       \
  FN(CoTaskMemFree)                          \
  LIB("comctl32")                            \
  FN(InitCommonControlsEx)                   \
  FN(ImageList_Destroy)                      \
  FN(SetWindowSubclass)                      \
  FN(RemoveWindowSubclass)                   \
  FN(DefSubclassProc)                        \
  FN(ImageList_Create)                       \
  FN(ImageList_ReplaceIcon)                  \
  LIB("shell32")                             \
  FN(Shell_NotifyIconW)                      \
  LIB("gdiplus")                             \
  GDIP(GdipDisposeImage)                     \
  GDIP(GdiplusStartup)                       \
  GDIP(GdipCreateBitmapFromStream)           \
  GDIP(GdipGetImageWidth)                    \
  GDIP(GdipGetImageHeight)                   \
  GDIP(GdipBitmapLockBits)                   \
  GDIP(GdipBitmapUnlockBits)                 \
  GDIP(GdipCreateHBITMAPFromBitmap)          \
  GDIP(GdipCreateBitmapFromScan0)            \
  GDIP(GdipImageRotateFlip)                  \
  LIB("kernel32")                            \
  FN(QueryPerformanceCounter)                \
  FN(QueryPerformanceFrequency)

using RtlGetVersionFunction = LONG(WINAPI*)(OSVERSIONINFOW*);
using DllGetVersionFunction = HRESULT(CALLBACK*)(DLLVERSIONINFO*);
using SHCreateMemStreamFunction = IStream*(WINAPI*)(const BYTE*, UINT);

// An optional system function, looked up with checkedRtlibLookup on the first
// call and kept for the process. Calling it raises LibraryError when the
// library or the symbol is missing (a later call tries again).
template <typename F>
class OnDemandFunction {
 public:
  constexpr OnDemandFunction(const char* library, const char* symbol)
      : library_(library), symbol_(symbol), ordinal_(0) {}
  constexpr OnDemandFunction(const char* library, std::uint16_t ordinal)
      : library_(library), symbol_(nullptr), ordinal_(ordinal) {}
  OnDemandFunction(const OnDemandFunction&) = delete;
  OnDemandFunction& operator=(const OnDemandFunction&) = delete;

  // Throws LibraryError.
  F get() const;

  template <typename... Args>
  auto operator()(Args&&... args) const {
    return get()(std::forward<Args>(args)...);
  }

 private:
  const char* library_;
  const char* symbol_;  // null: by ordinal
  std::uint16_t ordinal_;
  mutable std::atomic<F> function_{nullptr};
};

struct SystemFunctions {
#define SETUP_TABLE_LIB(name)
#define SETUP_TABLE_FN(name) decltype(&::name) name = nullptr;
#define SETUP_TABLE_GDIP(name) decltype(&gdiplus::name) name = nullptr;
  SETUP_BOUND_FUNCTIONS(SETUP_TABLE_LIB, SETUP_TABLE_FN, SETUP_TABLE_GDIP)
#undef SETUP_TABLE_LIB
#undef SETUP_TABLE_FN
#undef SETUP_TABLE_GDIP

  OnDemandFunction<RtlGetVersionFunction> RtlGetVersion{"ntdll", "RtlGetVersion"};
  OnDemandFunction<DllGetVersionFunction> DllGetVersion{"comctl32", "DllGetVersion"};
  OnDemandFunction<SHCreateMemStreamFunction> SHCreateMemStream{"shlwapi", std::uint16_t{12}};
};

// The process's table. Filled once by bindSystemFunctions before anything else
// calls through it, never changed afterwards.
extern const SystemFunctions& sys;

// One step of a binding: a library to load (function null), or a function to
// bind from the last library loaded into *slot, a function pointer.
struct BindingStep {
  const char* library;
  const char* function;
  void* slot;
};

// Binds the whole table. A missing library or function ends the process with
// its message and exit code 1.
void bindSystemFunctions();

// Runs the binding steps in order, with the same failure handling. Exposed so
// that tests can drive it with a list of their own.
void bindFunctions(std::span<const BindingStep> steps);

// Resolves name in module: by name, then as "_" + name + "@" + 0, 4, ..., 200
// (the name cut at 244 characters). Null when none resolves.
FARPROC resolveFunction(HMODULE module, const char* name);

// Looks symbol up in library (loaded from the system directory), keeping the
// library loaded for the process. Throws LibraryError "Could not load " + library
// or "Could not find symbol " + symbol.
FARPROC checkedRtlibLookup(const char* library, const char* symbol);
// The same by ordinal; the error reads "Could not find ordinal " + ordinal.
FARPROC checkedRtlibLookup(const char* library, std::uint16_t ordinal);

// Loads a system library by name from the system directory only, never from
// the executable's folder or the current directory; a manifest's side-by-side
// redirection (common controls 6) still applies. Null on failure, with the
// system's error code left in GetLastError.
HMODULE loadSystemLibrary(const char* name);

template <typename F>
F OnDemandFunction<F>::get() const {
  F function = function_.load(std::memory_order_acquire);
  if (function == nullptr) {
    FARPROC found = symbol_ != nullptr ? checkedRtlibLookup(library_, symbol_)
                                       : checkedRtlibLookup(library_, ordinal_);
    function = reinterpret_cast<F>(reinterpret_cast<void*>(found));
    function_.store(function, std::memory_order_release);
  }
  return function;
}

}  // namespace setup
