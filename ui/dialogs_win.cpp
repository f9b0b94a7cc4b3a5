#include <windows.h>
// Must follow windows.h.
#include <shobjidl.h>

#include "runtime/errors.h"
#include "runtime/syscalls_win.h"
#include "toolkit/wApp.h"
#include "toolkit/wEvent.h"
#include "toolkit/wGdiObject_win.h"
#include "toolkit/winstr.h"
#include "ui/dialogs.h"

namespace setup {
namespace {

constexpr CLSID kFileOpenDialog = {
    0xDC1C5A9C, 0xE88A, 0x4DDE, {0xA5, 0xA1, 0x60, 0xF8, 0x2A, 0x20, 0xAE, 0xF7}};
constexpr IID kIFileOpenDialog = {
    0xD57C7288, 0xD4AD, 0x4768, {0xBE, 0x02, 0x9D, 0x96, 0x95, 0x32, 0xD9, 0x60}};
constexpr IID kIShellItem = {
    0x43826D1E, 0xE718, 0x42EE, {0xBC, 0x55, 0xA1, 0xE2, 0x61, 0xC3, 0x7B, 0xFE}};
constexpr DWORD kPickFolders = 0x20 | 0x40;  // FOS_PICKFOLDERS | FOS_FORCEFILESYSTEM

using SHCreateItemFromParsingNameFunction = HRESULT(WINAPI*)(PCWSTR, IBindCtx*, REFIID, void**);
const OnDemandFunction<SHCreateItemFromParsingNameFunction> createItemFromParsingName{
    "shell32", "SHCreateItemFromParsingName"};

template <typename T>
using ComPointer = std::unique_ptr<T, ReleaseComObject>;

struct FreeCoTaskMem {
  void operator()(wchar_t* text) const { sys.CoTaskMemFree(text); }
};

// Runs a call that hands out an interface pointer; the pointer then has its owner.
template <typename T, typename Call>
bool obtain(ComPointer<T>& owner, Call call) {
  T* raw = nullptr;
  const bool ok = SUCCEEDED(call(&raw));
  owner.reset(raw);
  return ok && raw != nullptr;
}

HWND ownerHandle(const wDialog& dialog) {
  return dialog.owner() ? static_cast<HWND>(dialog.owner()->handle()) : nullptr;
}

// A dialog without owner ends with the loop's notice, as a top-level window
// does. The owner is the native window the dialog was shown for, a toolkit
// window or another program's: the same that decided whether it was modal to
// its owner or to the whole task.
void endDialog(HWND owner) {
  if (owner == nullptr) sys.PostMessageW(nullptr, wNotice_TopLevelDestroyed, 0, 0);
}

// The picker's steps; false as soon as one fails.
bool pickFolder(FolderDialog& dialog) {
  ComPointer<IFileOpenDialog> picker;
  if (!obtain(picker, [](IFileOpenDialog** out) {
        return sys.CoCreateInstance(kFileOpenDialog, nullptr, CLSCTX_ALL, kIFileOpenDialog,
                                    reinterpret_cast<void**>(out));
      })) {
    return false;
  }
  if (FAILED(picker->SetOptions(kPickFolders))) return false;
  if (!dialog.message.empty() && FAILED(picker->SetTitle(toWide(dialog.message).c_str()))) {
    return false;
  }
  if (!dialog.path.empty()) {
    ComPointer<IShellItem> start;
    try {
      const std::wstring path = toWide(dialog.path);
      if (!obtain(start, [&](IShellItem** out) {
            return createItemFromParsingName(path.c_str(), nullptr, kIShellItem,
                                             reinterpret_cast<void**>(out));
          })) {
        return false;
      }
    } catch (const LibraryError&) {
      return false;
    }
    if (FAILED(picker->SetFolder(start.get()))) return false;
  }
  if (FAILED(picker->Show(ownerHandle(dialog)))) return false;  // the user's cancel too
  ComPointer<IShellItem> result;
  if (!obtain(result, [&](IShellItem** out) { return picker->GetResult(out); })) return false;
  wchar_t* raw = nullptr;
  const HRESULT named = result->GetDisplayName(SIGDN_FILESYSPATH, &raw);
  const std::unique_ptr<wchar_t, FreeCoTaskMem> name(raw);
  if (FAILED(named) || !name) return false;
  dialog.path = toUtf8(std::wstring_view(name.get(), std::size_t(sys.lstrlenW(name.get()))));
  return true;
}

// The box being shown, for its hook.
MessageBoxDialog* currentMessageBox = nullptr;

LRESULT CALLBACK messageBoxHook(int code, WPARAM wParam, LPARAM lParam) {
  const LRESULT next = sys.CallNextHookEx(nullptr, code, wParam, lParam);
  if (code == HCBT_ACTIVATE && currentMessageBox) {
    sys.UnhookWindowsHookEx(static_cast<HHOOK>(currentMessageBox->hook));
    currentMessageBox->hook = nullptr;
    for (const auto& [id, label] : currentMessageBox->buttonLabels) {
      if (HWND item = sys.GetDlgItem(reinterpret_cast<HWND>(wParam), id)) {
        sys.SetWindowTextW(item, toWide(label).c_str());
      }
    }
  }
  return next;
}

}  // namespace

std::shared_ptr<FolderDialog> FolderDialog::create(wWindow* owner, std::string message,
                                                   std::string path) {
  std::shared_ptr<FolderDialog> dialog(new FolderDialog());
  dialog->initDialog(owner);
  dialog->message = std::move(message);
  dialog->path = std::move(path);
  return dialog;
}

std::string chooseFolder(FolderDialog& dialog) {
  const bool ok = pickFolder(dialog);
  endDialog(ownerHandle(dialog));
  if (!ok) return "";
  if (dialog.style & FolderDialog::changeDirectory) {
    sys.SetCurrentDirectoryW(toWide(dialog.path).c_str());  // a failure changes nothing
  }
  return dialog.path;
}

std::shared_ptr<MessageBoxDialog> MessageBoxDialog::create(wWindow* owner, std::string message,
                                                           std::string caption,
                                                           std::uint64_t style) {
  std::shared_ptr<MessageBoxDialog> dialog(new MessageBoxDialog());
  dialog->initDialog(owner);
  dialog->ownerHandle = owner != nullptr ? owner->handle() : nullptr;
  dialog->message = std::move(message);
  dialog->caption = std::move(caption);
  dialog->style = style;
  return dialog;
}

std::shared_ptr<MessageBoxDialog> MessageBoxDialog::create(wHandle owner, std::string message,
                                                           std::string caption,
                                                           std::uint64_t style) {
  const std::shared_ptr<wWindow> window = wApp::get().findWindow(owner);
  auto dialog = create(window.get(), std::move(message), std::move(caption), style);
  dialog->ownerHandle = owner;
  return dialog;
}

void showMessageBox(MessageBoxDialog& dialog) {
  UINT flags = static_cast<UINT>(dialog.style & 0xFFFFFFFFu);
  const HWND owner = static_cast<HWND>(dialog.ownerHandle);
  if (owner == nullptr) flags |= MB_TASKMODAL;
  if (dialog.style & MessageBoxDialog::stayOnTop) flags |= MB_TOPMOST;
  currentMessageBox = &dialog;
  dialog.hook = sys.SetWindowsHookExW(WH_CBT, messageBoxHook, nullptr, sys.GetCurrentThreadId());
  sys.MessageBoxW(owner, toWide(dialog.message).c_str(), toWide(dialog.caption).c_str(), flags);
  // A box that never activated leaves its hook behind; it must not outlive the box.
  if (dialog.hook) {
    sys.UnhookWindowsHookEx(static_cast<HHOOK>(dialog.hook));
    dialog.hook = nullptr;
  }
  endDialog(owner);
  currentMessageBox = nullptr;
}

}  // namespace setup
