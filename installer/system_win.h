// The System interface over Win32, for the executables. Every Win32 call of the
// installer core lives in system_win.cpp.
#pragma once

#include <string>
#include <string_view>

#include "installer/system.h"

namespace setup {

class WindowsSystem : public System {
 public:
  std::int32_t regGetValue(RegistryKey key, const std::string* subKey, std::string_view valueName,
                           char16_t* buffer, std::uint32_t* sizeBytes) override;
  std::int32_t regOpenKey(RegistryKey key, std::string_view subKey, RegistryKey* opened) override;
  std::int32_t regCloseKey(RegistryKey key) override;
  std::optional<std::string> environmentVariable(std::string_view name) override;
  PathKind pathKind(std::string_view path) override;
  NameKind nameKind(std::string_view path) override;
  std::uint32_t directoryIds(std::string_view path, FileIds* ids) override;
  std::uint32_t createDirectory(std::string_view path) override;
  std::uint32_t deleteFile(std::string_view path) override;
  std::uint32_t removeDirectory(std::string_view path) override;
  std::uint32_t removeName(std::string_view path) override;
  std::uint32_t listDirectory(std::string_view path, std::vector<DirectoryItem>* items) override;
  std::uint32_t moveFileReplacing(std::string_view from, std::string_view to) override;
  std::uint32_t moveDirectory(std::string_view from, std::string_view to) override;
  void pause(std::uint32_t milliseconds) override;
  std::int64_t performanceCounter() override;
  std::int64_t performanceFrequency() override;
  FileStatus readFile(std::string_view path, std::string* content) override;
  FileStatus compareFile(std::string_view path, std::string_view content, bool* same) override;
  FileStatus createFile(std::string_view path, std::string_view content) override;
  FileStatus writeThenRename(std::string_view temporary, std::string_view destination,
                             std::string_view content, const std::function<void()>& onExisting,
                             std::uint32_t* renameError) override;
  std::uint32_t holdFile(std::string_view path, std::unique_ptr<HeldFile>* held) override;
  bool isHeld(std::string_view path) override;
  std::uint32_t holdDirectory(std::string_view path, bool toMove,
                              std::unique_ptr<HeldDirectory>* held) override;
  std::string errorText(std::uint32_t code) override;
  void messageBox(NativeWindow owner, std::string_view text, std::string_view caption,
                  std::uint32_t style) override;
  void exitProcess(int code) override;  // does not return
  void writeOutputLine(std::string_view line) override;
};

}  // namespace setup
