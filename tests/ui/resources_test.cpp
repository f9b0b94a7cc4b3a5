// The resources that setup.exe carries, read as Windows reads them.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "tests/driver/driver.h"

namespace setup {
namespace {

class Resources : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = driver::fromUnixPath(SETUP_EXE_UNIX_PATH);
    module_ = LoadLibraryExW(path_.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(module_, nullptr);
  }
  void TearDown() override {
    if (module_) FreeLibrary(module_);
  }
  std::string resource(LPCWSTR type, LPCWSTR name) {
    HRSRC found = FindResourceW(module_, name, type);
    if (!found) return {};
    const void* data = LockResource(LoadResource(module_, found));
    return std::string(static_cast<const char*>(data), SizeofResource(module_, found));
  }
  std::wstring path_;
  HMODULE module_ = nullptr;
};

TEST_F(Resources, ManifestAsksForCommonControlsSix) {
  const std::string manifest = resource(MAKEINTRESOURCEW(24), MAKEINTRESOURCEW(1));
  EXPECT_NE(manifest.find("name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\""),
            std::string::npos)
      << manifest;
}

TEST_F(Resources, OwnIconGroupIsResourceThousand) {
  const std::string group = resource(RT_GROUP_ICON, MAKEINTRESOURCEW(1000));
  ASSERT_GE(group.size(), 6u);
  EXPECT_EQ(group[2], 1);  // an icon directory, not a cursor one
  EXPECT_GE(group[4], 1);
}

TEST_F(Resources, VersionRecordNamesVersionAndInternalName) {
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeW(path_.c_str(), &ignored);
  ASSERT_GT(size, 0u);
  std::string info(size, '\0');
  ASSERT_TRUE(GetFileVersionInfoW(path_.c_str(), 0, size, info.data()));
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  ASSERT_TRUE(VerQueryValueW(info.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
  EXPECT_EQ(fixed->dwFileVersionMS, MAKELONG(0, 1));
  EXPECT_EQ(fixed->dwFileVersionLS, MAKELONG(0, 205));
  wchar_t* name = nullptr;
  ASSERT_TRUE(VerQueryValueW(info.data(), L"\\StringFileInfo\\040C04B0\\InternalName",
                             reinterpret_cast<void**>(&name), &length));
  EXPECT_EQ(std::wstring(name), L"setup");
}

}  // namespace
}  // namespace setup
