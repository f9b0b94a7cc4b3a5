// The yardstick of the window benchmark: a program that writes the payload's
// 100 files, uncompressed, into two directories, and nothing else. It decodes
// the table into memory before it writes (a few milliseconds).
//   plain-write PALETTE SCRIPT
#include <windows.h>

#include <string>
#include <vector>

#include "installer/payload.h"

namespace {

std::wstring wide(const char* s) {
  const int n = MultiByteToWideChar(CP_UTF8, 0, s, -1, nullptr, 0);
  std::wstring out(std::size_t(n > 0 ? n - 1 : 0), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, s, -1, out.data(), n);
  return out;
}

std::wstring wide(std::string_view s) {
  return wide(std::string(s).c_str());
}

bool writeFile(const std::wstring& path, const std::string& content) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  const BOOL ok = WriteFile(file, content.data(), DWORD(content.size()), &written, nullptr);
  CloseHandle(file);
  return ok && written == content.size();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) return 2;
  const std::wstring palette = wide(argv[1]);
  const std::wstring script = wide(argv[2]);
  std::vector<std::string> contents;
  for (const setup::PayloadEntry& entry : setup::payloadTable) {
    contents.push_back(setup::uncompress(entry.compressed));
  }
  for (const std::wstring& dir : {palette, script, script + L"\\fonts", script + L"\\fonts\\static",
                                  script + L"\\resources"}) {
    CreateDirectoryW(dir.c_str(), nullptr);
  }
  for (std::size_t i = 0; i < contents.size(); ++i) {
    const setup::PayloadEntry& entry = setup::payloadTable[i];
    std::wstring path =
        (entry.isPalette ? palette : script) + L"\\" + wide(entry.subDir) + wide(entry.name);
    if (!writeFile(path, contents[i])) return 1;
  }
  return 0;
}
