// Planted beside a program under a system library's name: announces itself
// and ends the process with code 42 as soon as anything loads it.
#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), "planted\n", 8, &written, nullptr);
    TerminateProcess(GetCurrentProcess(), 42);
  }
  return TRUE;
}
