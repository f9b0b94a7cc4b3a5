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
  std::uint32_t directoryIds(std::string_view path, FileIds* ids) override;
  std::uint32_t createDirectory(std::string_view path) override;
  void pause(std::uint32_t milliseconds) override;
  std::int64_t performanceCounter() override;
  std::int64_t performanceFrequency() override;
  FileStatus readFile(std::string_view path, std::string* content) override;
  std::uint32_t openDirectory(std::string_view path, std::unique_ptr<Directory>* opened) override;
  std::string errorText(std::uint32_t code) override;
  void messageBox(NativeWindow owner, std::string_view text, std::string_view caption,
                  std::uint32_t style) override;
  void exitProcess(int code) override;  // does not return
  void writeOutputLine(std::string_view line) override;
};

}  // namespace setup
