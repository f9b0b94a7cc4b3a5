#include "installer/locations.h"

#include <gtest/gtest.h>

#include <map>
#include <optional>

#include "runtime/errors.h"
#include "tests/installer/fake_system.h"

namespace setup {
namespace {

using Call = FakeSystem::RegistryCall;

TEST(JoinPath, NormalisesSeparatorsDrivesAndDots) {
  struct Case {
    std::string_view head, tail, expected;
  };
  const Case cases[] = {
      // Empty inputs.
      {"", "", ""},
      {"", "Std", "Std"},
      {"", "/Library", "\\Library"},
      {"Std", "", "Std"},
      // Drives and network prefixes keep their place; separators become "\".
      {"D:\\Data\\Allplan\\", "Std", "D:\\Data\\Allplan\\Std"},
      {"D:/Data/Allplan", "Std", "D:\\Data\\Allplan\\Std"},
      {"C:", "foo", "C:\\foo"},
      {"C:\\", "", "C:\\"},
      {"", "C:/x/", "C:\\x\\"},
      {"\\\\server\\share\\dir", "Std", "\\\\server\\share\\dir\\Std"},
      {"//server/share", "x", "\\\\server\\share\\x"},
      {"\\\\server", "x", "\\server\\x"},  // no share name: just a root
      // Separator runs merge; a leading run makes the path absolute.
      {"a//b\\\\", "//c", "a\\b\\c"},
      {"/a", "b", "\\a\\b"},
      {"\\", "Documents/Nemetschek", "\\Documents\\Nemetschek"},
      {"\\", "", "\\"},
      // Trailing separators follow tail, or head when tail is empty.
      {"a/", "b/", "a\\b\\"},
      {"a/", "", "a\\"},
      {"a", "b\\\\", "a\\b\\"},
      // "." and "..".
      {"a/./b", "./c", "a\\b\\c"},
      {"a/b", "../c", "a\\c"},
      {"C:\\a", "..", "C:\\"},
      {"C:\\a", "../..", "C:\\.."},
      {"\\\\server\\share", "..", "\\\\server\\share\\.."},
      {"..", "..", "..\\.."},
      {"a", "../..", ".."},
      // A non-empty input that leaves nothing.
      {"a", "..", "."},
      {".", "", "."},
      {"./", "", "."},
      {"", "./.", "."},
      // A first component that would read as a drive once "." is dropped.
      {"./C:x", "", ".\\C:x"},
      {"a/../C:", "x/", ".\\C:\\x\\"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(joinPath(c.head, c.tail), c.expected) << '"' << c.head << "\" + \"" << c.tail << '"';
  }
}

class Discovery : public ::testing::Test {
 protected:
  static constexpr std::string_view kInfoFile = "C:\\ProgramData\\X\\install_type_info.txt";

  void SetUp() override {
    system.setRegistryString(kInstallRootKey, "ProgramDataDrive", "C:");
    system.setRegistryString(kInstallRootKey, "ProgramDataPath", "\\ProgramData\\X\\");
    system.makeDirectories("C:\\ProgramData\\X");
  }

  FakeSystem system;
};

TEST_F(Discovery, TakesNetPathFromTheFirstMatchingLine) {
  struct Case {
    std::string_view content, expected;
  };
  const Case cases[] = {
      {"NetPath=D:\\Data\\Allplan\\\n", "D:\\Data\\Allplan\\Std"},
      {"NetPath=D:/Data/Allplan", "D:\\Data\\Allplan\\Std"},
      {"NetPath=a=b\n", "a\\Std"},
      {"NetPath=\n", "Std"},
      {"", "Std"},
      {"Type=1\nPath=x\n", "Std"},
      {" NetPath=X\nNetPath=Y\n", "Y\\Std"},
      {"netpath=X\nNetPath=Y", "Y\\Std"},
      {"NetPath=A\nNetPath=B\n", "A\\Std"},
      {"Type=1\r\nNetPath=R\r\nNetPath=S", "R\\Std"},
      {"Type=1\rNetPath=L\rNetPath=M", "L\\Std"},
      {"Type=1\n\n\r\nNetPath=E\n", "E\\Std"},
      {"NetPath=D:\\V  \r\n", "D:\\V  \\Std"},
      {"NetPath=\\\\server\\share\\dir\n", "\\\\server\\share\\dir\\Std"},
      // UTF-16 with its byte order mark: no line begins with the eight bytes.
      {std::string_view("\xFF\xFEN\0e\0t\0P\0a\0t\0h\0=\0U\0\r\0\n\0", 24), "Std"},
  };
  for (const Case& c : cases) {
    system.putFile(kInfoFile, c.content);
    EXPECT_EQ(discoverLocations(system), c.expected) << c.content;
  }
  EXPECT_TRUE(system.outputLines().empty());
}

TEST_F(Discovery, MissingFilePrintsTheMessageAndUsesStd) {
  EXPECT_EQ(discoverLocations(system), "Std");
  system.makeDirectories(kInfoFile);  // a directory of that name counts as missing
  EXPECT_EQ(discoverLocations(system), "Std");
  const std::vector<std::string> expected(2, "Le fichier n'existe pas.");
  EXPECT_EQ(system.outputLines(), expected);
}

TEST_F(Discovery, UnreadableFileRaisesIOError) {
  system.putFile(kInfoFile, "NetPath=D:\\Data\n");
  system.holdOpenWithoutSharing(kInfoFile);
  try {
    discoverLocations(system);
    FAIL() << "no error";
  } catch (const IOError& e) {
    EXPECT_EQ(e.message(), "cannot open: " + std::string(kInfoFile));
  }
}

TEST_F(Discovery, MissingRegistryValueRaisesOSError) {
  FakeSystem empty;
  EXPECT_THROW(discoverLocations(empty), OSError);
}

TEST(ReadRegistryString, FallsBackToTheOpenedKeyAndNamesEachFailingCall) {
  const std::string key(kInstallRootKey);
  struct Case {
    std::map<Call, std::int32_t> failures;
    std::vector<Call> calls;
    std::optional<std::int32_t> code;  // none: the value is read
    std::string_view message;
  };
  const Case cases[] = {
      {{}, {Call::rootSize, Call::rootRead}, std::nullopt, ""},
      {{{Call::rootSize, 2}},
       {Call::rootSize, Call::open, Call::keySize, Call::keyRead, Call::close},
       std::nullopt,
       ""},
      {{{Call::rootRead, 5}},
       {Call::rootSize, Call::rootRead},
       5,
       "Access is denied.\r\nAdditional info: "
       "regGetValue(handle, hh, kk, flags, nil, addr res[0], addr bufSize)"},
      {{{Call::rootSize, 2}, {Call::open, 5}},
       {Call::rootSize, Call::open},
       5,
       "Access is denied.\r\nAdditional info: "
       "regOpenKeyEx(handle, hh, 0, KEY_READ or KEY_WOW64_64KEY, newHandle)"},
      {{{Call::rootSize, 2}, {Call::keySize, 2}},
       {Call::rootSize, Call::open, Call::keySize, Call::close},
       2,
       "The system cannot find the file specified.\r\nAdditional info: "
       "regGetValue(newHandle, nil, kk, flags, nil, nil, addr bufSize)"},
      {{{Call::rootSize, 2}, {Call::keyRead, 5}},
       {Call::rootSize, Call::open, Call::keySize, Call::keyRead, Call::close},
       5,
       "Access is denied.\r\nAdditional info: "
       "regGetValue(newHandle, nil, kk, flags, nil, addr res[0], addr bufSize)"},
      {{{Call::rootSize, 2}, {Call::close, 6}},
       {Call::rootSize, Call::open, Call::keySize, Call::keyRead, Call::close},
       6,
       "The handle is invalid.\r\nAdditional info: regCloseKey(newHandle)"},
      // A code without a system text still names the call.
      {{{Call::rootRead, 1234}},
       {Call::rootSize, Call::rootRead},
       1234,
       "\nAdditional info: regGetValue(handle, hh, kk, flags, nil, addr res[0], addr bufSize)"},
  };
  for (const Case& c : cases) {
    FakeSystem system;
    system.setRegistryString(key, "ProgramDataPath", "\\ProgramData\\Nemetschek\\");
    for (const auto& [call, code] : c.failures) system.failRegistry(call, code);
    SCOPED_TRACE(std::string(c.message));
    if (c.code) {
      try {
        readRegistryString(system, key, "ProgramDataPath");
        ADD_FAILURE() << "no error";
      } catch (const OSError& e) {
        EXPECT_EQ(e.code(), *c.code);
        EXPECT_EQ(e.message(), c.message);
        EXPECT_EQ(e.procedure(), "readRegistryString");
      }
    } else {
      EXPECT_EQ(readRegistryString(system, key, "ProgramDataPath"), "\\ProgramData\\Nemetschek\\");
    }
    EXPECT_EQ(system.registryCalls(), c.calls);
    EXPECT_EQ(system.openRegistryKeys(), 0u);
  }
}

TEST(ReadRegistryString, MissingKeyOrValue) {
  FakeSystem system;
  try {
    readRegistryString(system, kInstallRootKey, "ProgramDataDrive");
    FAIL() << "no error";
  } catch (const OSError& e) {
    EXPECT_EQ(e.code(), 2);
    EXPECT_NE(e.message().find("regOpenKeyEx("), std::string::npos);
  }
  system.setRegistryString(kInstallRootKey, "Other", "x");
  try {
    readRegistryString(system, kInstallRootKey, "ProgramDataDrive");
    FAIL() << "no error";
  } catch (const OSError& e) {
    EXPECT_EQ(e.code(), 2);
    EXPECT_NE(e.message().find("regGetValue(newHandle, nil, kk, flags, nil, nil,"),
              std::string::npos);
  }
}

TEST(ReadRegistryString, DataOfAnyShape) {
  FakeSystem system;
  const std::string key(kInstallRootKey);
  system.setRegistryData(key, "Empty", u"");
  system.setRegistryData(key, "Unterminated", u"D:");  // stored without its NUL
  system.setRegistryData(key, "Embedded", std::u16string(u"ab\0cd", 5));
  system.setRegistryString(key, "Accents",
                           "C:\\Donn\xC3\xA9"
                           "es\\\xE2\x82\xAC");
  EXPECT_EQ(readRegistryString(system, key, "Empty"), "");
  EXPECT_EQ(readRegistryString(system, key, "Unterminated"), "D:");
  EXPECT_EQ(readRegistryString(system, key, "Embedded"), "ab");
  EXPECT_EQ(readRegistryString(system, key, "Accents"),
            "C:\\Donn\xC3\xA9"
            "es\\\xE2\x82\xAC");
}

TEST(LocationsForChoice, StandardAndPrivateLibraries) {
  const std::string_view standard = "D:\\Data\\Allplan\\Std";
  struct Case {
    std::string_view choice;
    std::optional<std::string> home;
    std::string_view root;
  };
  const Case cases[] = {
      {kChoiceStandard, "C:\\users\\anne", standard},
      {kChoicePrivate, "C:\\users\\anne",
       "C:\\users\\anne\\Documents\\Nemetschek\\Allplan\\2025\\Usr\\Local"},
      {kChoicePrivate, "C:\\users\\anne\\",
       "C:\\users\\anne\\Documents\\Nemetschek\\Allplan\\2025\\Usr\\Local"},
      {kChoicePrivate, std::nullopt, "\\Documents\\Nemetschek\\Allplan\\2025\\Usr\\Local"},
      {"bureau", "C:/users/anne",
       "C:\\users\\anne\\Documents\\Nemetschek\\Allplan\\2025\\Usr\\Local"},
  };
  for (const Case& c : cases) {
    FakeSystem system;
    system.setEnvironment("USERPROFILE", c.home);
    const InstallLocations result = locationsForChoice(system, c.choice, standard);
    EXPECT_EQ(result.standardDir, standard);
    EXPECT_EQ(result.libraryRoot, c.root) << c.choice;
    EXPECT_EQ(result.paletteDir, std::string(c.root) + "\\Library\\MELDRA");
    EXPECT_EQ(result.scriptDir, std::string(c.root) + "\\PythonPartsScripts\\MELDRA");
  }
}

TEST(LocationsForChoice, PrivateThenStandardRestoresTheStartValues) {
  FakeSystem system;
  system.setEnvironment("USERPROFILE", "C:\\users\\anne");
  const InstallLocations start = locationsForChoice(system, kChoiceStandard, "Std");
  locationsForChoice(system, kChoicePrivate, "Std");
  const InstallLocations again = locationsForChoice(system, kChoiceStandard, "Std");
  EXPECT_EQ(again.libraryRoot, start.libraryRoot);
  EXPECT_EQ(again.paletteDir, "Std\\Library\\MELDRA");
  EXPECT_EQ(again.scriptDir, "Std\\PythonPartsScripts\\MELDRA");
}

}  // namespace
}  // namespace setup
