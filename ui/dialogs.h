// The installer's modal dialogs: the shell's folder picker and message boxes.
// Both have an owner window and no native window of their own; the system
// call that shows them blocks, with the owner disabled, until they close.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include "toolkit/wDialog.h"

namespace setup {

class FolderDialog : public wDialog {
 public:
  // After a pick, the process's current directory becomes the chosen folder.
  static constexpr std::uint64_t changeDirectory = 2;

  // message: the picker's title; path: the start folder.
  static std::shared_ptr<FolderDialog> create(wWindow* owner, std::string message,
                                              std::string path);

  std::string message;
  std::string path;
  std::uint64_t style = changeDirectory;

 protected:
  FolderDialog() = default;
};

// The chosen file-system folder (UTF-8), or "" when the user cancelled or any
// step of the picker failed; nothing is shown for a failure. Exceptions other
// than a missing shell function propagate.
std::string chooseFolder(FolderDialog& dialog);

class MessageBoxDialog : public wDialog {
 public:
  static constexpr std::uint64_t stayOnTop = std::uint64_t{1} << 35;

  // style: MessageBoxW flags in the low 32 bits, stayOnTop.
  static std::shared_ptr<MessageBoxDialog> create(wWindow* owner, std::string message,
                                                  std::string caption, std::uint64_t style);
  // The same for an owner given by its native handle, which the box takes as
  // it is, a toolkit window or not; null: no owner.
  static std::shared_ptr<MessageBoxDialog> create(wHandle owner, std::string message,
                                                  std::string caption, std::uint64_t style);

  std::string message;
  std::string caption;
  std::uint64_t style = 0;
  std::map<int, std::string> buttonLabels;  // button identifier to its text
  void* hook = nullptr;                     // the box's CBT hook while it is up
  wHandle ownerHandle = nullptr;            // the native owner of the box

 protected:
  MessageBoxDialog() = default;
};

// Shows the box modally; returns when it is closed. The pressed button is not
// reported.
void showMessageBox(MessageBoxDialog& dialog);

// The texts of the picker.
inline constexpr const char* kPickerTitle = "Sélectionner un répertoire";
inline constexpr const char* kFallbackStartFolder = "C:";

}  // namespace setup
