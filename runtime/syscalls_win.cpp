#include "runtime/syscalls_win.h"

#include <cstring>
#include <mutex>
#include <new>
#include <string>
#include <vector>

#include "runtime/errors.h"
#include "runtime/fatal.h"
#include "runtime/fatal_win.h"

namespace setup {

namespace {

SystemFunctions table;

constexpr BindingStep systemBinding[] = {
#define SETUP_STEP_LIB(name) {name, nullptr, nullptr},
#define SETUP_STEP_FN(name) {nullptr, #name, &table.name},
    SETUP_BOUND_FUNCTIONS(SETUP_STEP_LIB, SETUP_STEP_FN, SETUP_STEP_FN)
#undef SETUP_STEP_LIB
#undef SETUP_STEP_FN
};

template <typename F>
F kernel32Function(HMODULE kernel32, const char* name) {
  FARPROC found = kernel32 != nullptr ? GetProcAddress(kernel32, name) : nullptr;
  return reinterpret_cast<F>(reinterpret_cast<void (*)()>(found));
}

// What the loading needs from kernel32 beyond the direct imports, resolved at
// once so that no lookup runs between a failed call and the reading of its
// error code. Any of them may be missing on an old system.
struct LoaderFunctions {
  HMODULE(WINAPI* loadLibraryExA)(LPCSTR, HANDLE, DWORD);
  UINT(WINAPI* getSystemDirectoryA)(LPSTR, UINT);
  DWORD(WINAPI* getLastError)();
  BOOL(WINAPI* setDefaultDllDirectories)(DWORD);
  BOOL(WINAPI* setDllDirectoryW)(LPCWSTR);
  BOOL(WINAPI* freeLibrary)(HMODULE);
};

const LoaderFunctions& loader() {
  static const LoaderFunctions functions = [] {
    // kernel32 is mapped into every process and is a known DLL: loading it by
    // name cannot pick up a planted copy.
    HMODULE kernel32 = LoadLibraryA("kernel32");
    LoaderFunctions result;
    result.loadLibraryExA =
        kernel32Function<decltype(result.loadLibraryExA)>(kernel32, "LoadLibraryExA");
    result.getSystemDirectoryA =
        kernel32Function<decltype(result.getSystemDirectoryA)>(kernel32, "GetSystemDirectoryA");
    result.getLastError = kernel32Function<decltype(result.getLastError)>(kernel32, "GetLastError");
    result.setDefaultDllDirectories = kernel32Function<decltype(result.setDefaultDllDirectories)>(
        kernel32, "SetDefaultDllDirectories");
    result.setDllDirectoryW =
        kernel32Function<decltype(result.setDllDirectoryW)>(kernel32, "SetDllDirectoryW");
    result.freeLibrary = kernel32Function<decltype(result.freeLibrary)>(kernel32, "FreeLibrary");
    return result;
  }();
  return functions;
}

DWORD lastError() {
  return loader().getLastError != nullptr ? loader().getLastError() : 0;
}

// Loads by full path from the system directory: for systems whose loader does
// not know LOAD_LIBRARY_SEARCH_SYSTEM32.
HMODULE loadFromSystemDirectory(const char* name) {
  if (loader().getSystemDirectoryA == nullptr) return nullptr;
  char directory[MAX_PATH];
  UINT length = loader().getSystemDirectoryA(directory, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return nullptr;
  std::string path(directory, length);
  path += '\\';
  path += name;
  return LoadLibraryA(path.c_str());
}

// The on-demand lookup's libraries, each held once for the process.
class LoadedLibraries {
 public:
  // Keeps module, or drops the extra reference when it is already held.
  void add(HMODULE module) {
    std::lock_guard<std::mutex> lock(mutex_);
    for (HMODULE held : modules_) {
      if (held == module) {
        // The on-demand lookup may run before the table is bound.
        loader().freeLibrary(module);
        return;
      }
    }
    if (modules_.size() == modules_.capacity()) {
      modules_.reserve(grownLibraryListCapacity(modules_.capacity()));
    }
    modules_.push_back(module);
  }

 private:
  std::mutex mutex_;
  std::vector<HMODULE> modules_;
};

LoadedLibraries loadedLibraries;

HMODULE loadOnDemandLibrary(const char* library) {
  HMODULE module = loadSystemLibrary(library);
  if (module == nullptr) {
    throw LibraryError(static_cast<std::int32_t>(lastError()),
                       std::string("Could not load ") + library, "checkedRtlibLookup");
  }
  loadedLibraries.add(module);
  return module;
}

}  // namespace

const SystemFunctions& sys = table;

FARPROC resolveFunction(HMODULE module, const char* name) {
  if (FARPROC found = GetProcAddress(module, name)) return found;
  for (int n = 0; n < decoratedNameCount; ++n) {
    if (FARPROC found = GetProcAddress(module, decoratedName(name, n).c_str())) return found;
  }
  return nullptr;
}

HMODULE loadSystemLibrary(const char* name) {
  auto loadLibraryEx = loader().loadLibraryExA;
  HMODULE module = loadLibraryEx != nullptr
                       ? loadLibraryEx(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32)
                       : nullptr;
  // A loader without the search flags rejects them as a parameter error.
  if (module == nullptr && (loadLibraryEx == nullptr || lastError() == ERROR_INVALID_PARAMETER)) {
    module = loadFromSystemDirectory(name);
  }
  return module;
}

void bindFunctions(std::span<const BindingStep> steps) {
  HMODULE module = nullptr;
  for (const BindingStep& step : steps) {
    if (step.function == nullptr) {
      module = loadSystemLibrary(step.library);
      if (module == nullptr) fatalLibraryLoad(step.library, lastError());
      continue;
    }
    FARPROC found = module != nullptr ? resolveFunction(module, step.function) : nullptr;
    if (found == nullptr) fatalImport(step.function);
    std::memcpy(step.slot, &found, sizeof found);
  }
}

void bindSystemFunctions() {
  // Whatever loads a library later by name (the system's own libraries
  // included) looks in the system directory only: not in the executable's
  // folder, typically a downloads folder, nor in the current directory, which
  // a folder pick changes.
  if (loader().setDefaultDllDirectories == nullptr ||
      !loader().setDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32)) {
    // Older systems: at least take the current directory out of the search.
    if (loader().setDllDirectoryW != nullptr) loader().setDllDirectoryW(L"");
  }
  bindFunctions(systemBinding);
}

FARPROC checkedRtlibLookup(const char* library, const char* symbol) {
  HMODULE module = loadOnDemandLibrary(library);
  FARPROC found = GetProcAddress(module, symbol);
  if (found == nullptr) {
    throw LibraryError(static_cast<std::int32_t>(lastError()),
                       std::string("Could not find symbol ") + symbol, "checkedRtlibLookup");
  }
  return found;
}

FARPROC checkedRtlibLookup(const char* library, std::uint16_t ordinal) {
  HMODULE module = loadOnDemandLibrary(library);
  FARPROC found = GetProcAddress(module, MAKEINTRESOURCEA(ordinal));
  if (found == nullptr) {
    throw LibraryError(static_cast<std::int32_t>(lastError()),
                       "Could not find ordinal " + std::to_string(ordinal), "checkedRtlibLookup");
  }
  return found;
}

}  // namespace setup
