// The headless install onto a nearly full drive, which full_disk.sh mounts as
// a small tmpfs and maps to the drive letter in SETUP_SMALL_DRIVE: the drive
// holds an older installation, the new one runs out of space part-way, and
// every byte of the older one must be back, with no temporary file or back-up
// left.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <map>

#include "installer/install.h"
#include "installer/payload.h"
#include "tests/driver/driver.h"
#include "tests/installer/installed_tree.h"
#include "toolkit/winstr.h"

namespace setup {
namespace {

using namespace std::chrono_literals;
using testing::filesBelow;
using testing::pathOf;
using testing::writeContent;

TEST(FullDisk, AnInstallationThatRunsOutOfSpaceLeavesTheOlderOne) {
  const char* drive = std::getenv("SETUP_SMALL_DRIVE");
  if (drive == nullptr) GTEST_SKIP() << "no small drive: run by full_disk.sh";
  const std::string root = std::string(drive) + "\\Lib";
  const InstallLocations at{root, root, root + "\\P", root + "\\S"};

  // Every file of the payload, with other bytes: each one is backed up and
  // written anew, which needs about twice the room the drive has left.
  for (const auto& [path, content] : testing::expectedFiles(at)) {
    std::filesystem::create_directories(pathOf(root + "\\" + path).parent_path());
    writeContent(pathOf(root + "\\" + path), "older " + content);
  }
  const std::map<std::string, std::string> before = filesBelow(root);
  ASSERT_EQ(before.size(), payloadTable.size());

  driver::Process headless(
      driver::fromUnixPath(HEADLESS_INSTALL),
      toWide("\"" + at.paletteDir + "\" \"" + at.scriptDir + "\" \"" + root + "\""), {}, true);
  const std::optional<DWORD> code = headless.wait(120s);
  ASSERT_TRUE(code.has_value());
  EXPECT_EQ(*code, 1u);
  EXPECT_EQ(headless.output(), "cannot write string to file [IOError]\r\n");
  EXPECT_TRUE(filesBelow(root) == before) << "the older installation is not back as it was";
}

}  // namespace
}  // namespace setup
