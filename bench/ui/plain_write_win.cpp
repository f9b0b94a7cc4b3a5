// The yardstick of the window benchmark: a program that writes the payload's
// 100 files, uncompressed, into two directories, and nothing else. It decodes
// the table into memory before it writes (a few milliseconds).
//   plain-write PALETTE SCRIPT
#include <windows.h>

#include <string>
#include <vector>

#include "installer/payload.h"
#include "toolkit/winstr.h"

namespace {

using setup::toWide;

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
  const std::wstring palette = toWide(argv[1]);
  const std::wstring script = toWide(argv[2]);
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
        (entry.isPalette ? palette : script) + L"\\" + toWide(entry.subDir) + toWide(entry.name);
    if (!writeFile(path, contents[i])) return 1;
  }
  return 0;
}
