// Loads a library and prints the file it came from: "naive NAME" as a plain
// LoadLibraryA would, "system NAME" as the program does after its binding.
// Carries the program's manifest, so common controls 6 are redirected.
#include <windows.h>

#include <cstdio>
#include <string>

#include "runtime/syscalls_win.h"

int main(int argc, char** argv) {
  if (argc != 3) return 2;
  std::string mode = argv[1];
  HMODULE module = nullptr;
  if (mode == "naive") {
    module = LoadLibraryA(argv[2]);
  } else {
    setup::bindSystemFunctions();
    module = setup::loadSystemLibrary(argv[2]);
  }
  if (module == nullptr) return 3;
  wchar_t path[MAX_PATH];
  DWORD length = GetModuleFileNameW(module, path, MAX_PATH);
  std::printf("%ls\n", std::wstring(path, length).c_str());
  return 0;
}
