// The table of bound system functions and the on-demand lookup, under wine.
#include <gtest/gtest.h>

#include <cwctype>
#include <optional>
#include <string>

#include "runtime/errors.h"
#include "runtime/syscalls_win.h"

namespace setup {
namespace {

class Binding : public testing::Test {
 protected:
  static void SetUpTestSuite() { bindSystemFunctions(); }
};

std::wstring moduleDirectory() {
  wchar_t path[MAX_PATH];
  DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring result(path, length);
  return result.substr(0, result.find_last_of(L'\\') + 1);
}

std::wstring lowerCase(std::wstring text) {
  for (wchar_t& c : text) c = static_cast<wchar_t>(std::towlower(c));
  return text;
}

std::wstring modulePath(HMODULE module) {
  wchar_t path[MAX_PATH];
  DWORD length = GetModuleFileNameW(module, path, MAX_PATH);
  return lowerCase(std::wstring(path, length));
}

TEST_F(Binding, EveryEntryIsBound) {
  int entries = 0;
#define SETUP_CHECK_LIB(name)
#define SETUP_CHECK_FN(name)                           \
  EXPECT_NE(sys.name, nullptr) << "not bound: " #name; \
  ++entries;
  SETUP_BOUND_FUNCTIONS(SETUP_CHECK_LIB, SETUP_CHECK_FN, SETUP_CHECK_FN)
#undef SETUP_CHECK_LIB
#undef SETUP_CHECK_FN
  EXPECT_GT(entries, 0);
  // Bound to the right functions, not merely to something.
  EXPECT_EQ(sys.lstrlenW(L"abc"), 3);
  EXPECT_EQ(sys.MulDiv(9, 96, 72), 12);
  EXPECT_EQ(sys.GetObjectType(sys.GetStockObject(DEFAULT_GUI_FONT)), static_cast<DWORD>(OBJ_FONT));
}

TEST_F(Binding, DecoratedExportIsFound) {
  std::wstring path = moduleDirectory() + L"decorated_export.dll";
  HMODULE module = LoadLibraryW(path.c_str());
  ASSERT_NE(module, nullptr) << "cannot load the test library";
  ASSERT_EQ(GetProcAddress(module, "Foo"), nullptr);
  auto foo = reinterpret_cast<int (*)(int, int)>(
      reinterpret_cast<void (*)()>(resolveFunction(module, "Foo")));
  ASSERT_NE(foo, nullptr);
  EXPECT_EQ(foo(2, 3), 5);
  EXPECT_EQ(resolveFunction(module, "Bar"), nullptr);
  FreeLibrary(module);
}

TEST_F(Binding, SystemLibrariesComeFromTheSystemDirectory) {
  wchar_t directory[MAX_PATH];
  UINT length = GetSystemDirectoryW(directory, MAX_PATH);
  std::wstring system = lowerCase(std::wstring(directory, length)) + L"\\";
  for (const char* name : {"gdiplus", "ole32", "shlwapi", "Advapi32.dll"}) {
    HMODULE module = loadSystemLibrary(name);
    ASSERT_NE(module, nullptr) << name;
    EXPECT_EQ(modulePath(module).rfind(system, 0), 0u) << name;
  }
}

struct LookupCase {
  const char* library;
  const char* symbol;  // null: by ordinal
  std::uint16_t ordinal;
  const char* expected;  // null: found
};

TEST_F(Binding, CheckedLookup) {
  const LookupCase cases[] = {
      {"ntdll", "RtlGetVersion", 0, nullptr},
      {"shlwapi", nullptr, 12, nullptr},
      {"kernel32", "SetupNoSuchSymbol", 0, "Could not find symbol SetupNoSuchSymbol"},
      {"shlwapi", nullptr, 9999, "Could not find ordinal 9999"},
      {"setup_no_such_library", "RtlGetVersion", 0, "Could not load setup_no_such_library"},
  };
  for (const LookupCase& c : cases) {
    std::optional<std::string> message;
    FARPROC found = nullptr;
    try {
      found = c.symbol != nullptr ? checkedRtlibLookup(c.library, c.symbol)
                                  : checkedRtlibLookup(c.library, c.ordinal);
    } catch (const LibraryError& error) {
      message = error.message();
      EXPECT_STREQ(error.kind(), "LibraryError");
      EXPECT_EQ(error.procedure(), "checkedRtlibLookup");
      EXPECT_NE(dynamic_cast<const OSError*>(&error), nullptr);
    }
    if (c.expected == nullptr) {
      EXPECT_FALSE(message) << *message;
      EXPECT_NE(found, nullptr) << c.library;
    } else {
      EXPECT_EQ(message, std::optional<std::string>(c.expected)) << c.library;
    }
  }
}

TEST_F(Binding, OnDemandEntries) {
  OSVERSIONINFOW version{};
  version.dwOSVersionInfoSize = sizeof version;
  EXPECT_EQ(sys.RtlGetVersion(&version), 0);
  EXPECT_GE(version.dwMajorVersion, 5u);

  const BYTE bytes[] = {1, 2, 3};
  IStream* stream = sys.SHCreateMemStream(bytes, sizeof bytes);
  ASSERT_NE(stream, nullptr);
  STATSTG stat{};
  EXPECT_EQ(stream->Stat(&stat, STATFLAG_NONAME), S_OK);
  EXPECT_EQ(stat.cbSize.QuadPart, sizeof bytes);
  stream->Release();

  DLLVERSIONINFO comctl{};
  comctl.cbSize = sizeof comctl;
  EXPECT_EQ(sys.DllGetVersion(&comctl), S_OK);
  EXPECT_GE(comctl.dwMajorVersion, 5u);
}

}  // namespace
}  // namespace setup
