#include "installer/install.h"

#include <gtest/gtest.h>
#include <snappy.h>

#include <deque>
#include <functional>

#include "installer/locations.h"
#include "runtime/errors.h"
#include "tests/installer/fake_system.h"

namespace setup {
namespace {

NativeWindow const kOwner = reinterpret_cast<NativeWindow>(0x1234);

// A payload table of our own, for contents the sample payload lacks.
class Payload {
 public:
  Payload& add(std::string_view name, std::string_view content, bool isPalette = true,
               std::string_view subDir = "") {
    std::string compressed;
    snappy::Compress(content.data(), content.size(), &compressed);
    return addCompressed(name, std::move(compressed), contentHash(content), isPalette, subDir);
  }
  Payload& addCorrupt(std::string_view name, bool isPalette = true) {
    return addCompressed(name, "\x05\x10garbage", 0, isPalette, "");
  }
  std::span<const PayloadEntry> table() const { return entries_; }

 private:
  Payload& addCompressed(std::string_view name, std::string compressed, std::int64_t hash,
                         bool isPalette, std::string_view subDir) {
    const std::string& n = storage_.emplace_back(name);
    const std::string& c = storage_.emplace_back(std::move(compressed));
    const std::string& s = storage_.emplace_back(subDir);
    entries_.push_back(PayloadEntry{n, c, hash, isPalette, s});
    return *this;
  }
  std::deque<std::string> storage_;
  std::vector<PayloadEntry> entries_;
};

std::string destinationOf(const PayloadEntry& entry, std::string_view palette,
                          std::string_view script) {
  if (entry.isPalette) {
    std::string name(entry.name);
    if (const auto at = name.find("Bestellliste"); at != std::string::npos) {
      name.replace(at, 12, "Liste de commande");
    }
    return std::string(palette) + "\\" + name;
  }
  return std::string(script) + "\\" + std::string(entry.subDir) + std::string(entry.name);
}

// The content with its one occurrence of from replaced by to.
std::string withReplaced(std::string content, std::string_view from, std::string_view to) {
  const auto at = content.find(from);
  EXPECT_NE(at, std::string::npos) << from;
  if (at != std::string::npos) content.replace(at, from.size(), to);
  return content;
}

// name + "_" + decimal digits.
bool isBackupName(const std::string& name) {
  const std::size_t cut = name.find_last_of('_');
  return cut != std::string::npos && cut > 0 && cut + 1 < name.size() &&
         name.find_first_not_of("0123456789", cut + 1) == std::string::npos;
}

class Install : public ::testing::Test {
 protected:
  void SetUp() override {
    system.addDrive('D');
    system.addDrive('E');
    system.setEnvironment("USERPROFILE", "C:\\users\\anne");
  }

  void install(std::string_view palette, std::string_view script, std::string_view root,
               std::span<const PayloadEntry> table = payloadTable) {
    installPayload(system, palette, script, root, kOwner, table);
  }
  void install(const InstallLocations& at, std::span<const PayloadEntry> table = payloadTable) {
    install(at.paletteDir, at.scriptDir, at.libraryRoot, table);
  }

  std::vector<std::string> backupsIn(std::string_view directory) const {
    std::vector<std::string> result;
    for (const std::string& name : system.list(directory)) {
      if (isBackupName(name)) result.push_back(name);
    }
    return result;
  }

  FakeSystem system;
  const std::string standard = "D:\\Data\\Allplan\\Std";
};

TEST_F(Install, SamplePayloadIntoBothLibraries) {
  for (const std::string_view choice : {kChoiceStandard, kChoicePrivate}) {
    SCOPED_TRACE(std::string(choice));
    system = FakeSystem();
    SetUp();
    const InstallLocations at = locationsForChoice(system, choice, standard);
    install(at);
    EXPECT_EQ(system.exitCode(), 0);
    EXPECT_TRUE(system.messageBoxes().empty());
    EXPECT_EQ(system.fileCount(), 100u);
    std::string pathLine = "path = '" + at.scriptDir + "'";
    for (std::size_t i = pathLine.find('\\'); i != std::string::npos;
         i = pathLine.find('\\', i + 2)) {
      pathLine.insert(i, "\\");
    }
    for (const PayloadEntry& entry : payloadTable) {
      const std::string path = destinationOf(entry, at.paletteDir, at.scriptDir);
      const std::optional<std::string> written = system.contentOf(path);
      ASSERT_TRUE(written) << path;
      std::string expected = uncompress(entry.compressed);
      // Part definitions come out byte-identical: their references name
      // MELDRA, which is what the default script directory is relative to.
      const bool isScript =
          std::find(scriptNames.begin(), scriptNames.end(), entry.name) != scriptNames.end();
      if (isScript) expected = withReplaced(expected, defaultPathLine, pathLine);
      EXPECT_EQ(*written, expected) << path;
    }
    for (const std::string_view name :
         {"Liste de commande.pyp", "Liste de commande.png", "Liste de commande_de.xml",
          "Liste de commande_en.xml", "Liste de commande_fr.xml", "Liste de commande_it.xml"}) {
      EXPECT_TRUE(system.contentOf(at.paletteDir + "\\" + std::string(name))) << name;
    }
    EXPECT_TRUE(system.contentOf(at.scriptDir + "\\bestellliste.py"));
    EXPECT_EQ(system.list(at.scriptDir + "\\fonts\\static").size(), 36u);
  }
}

TEST_F(Install, ScriptDirectoryOutsideOrSpelledDifferently) {
  struct Case {
    std::string_view script;
    std::string_view reference;  // what MELDRA\vesk.py becomes in VESK.pyp
    std::string_view pathLine;
  };
  const Case cases[] = {
      {"E:\\Scripts\\MELDRA", "E:\\Scripts\\MELDRA\\vesk.py", "path = 'E:\\\\Scripts\\\\MELDRA'"},
      // The library root matches in any letter case.
      {"d:\\DATA\\allplan\\std\\pythonpartsscripts\\MELDRA", "MELDRA\\vesk.py",
       "path = 'd:\\\\DATA\\\\allplan\\\\std\\\\pythonpartsscripts\\\\MELDRA'"},
      // "/" does not match the "\" of the library's script directory.
      {"D:/Data/Allplan/Std/PythonPartsScripts/MELDRA",
       "D:/Data/Allplan/Std/PythonPartsScripts/MELDRA\\vesk.py",
       "path = 'D:/Data/Allplan/Std/PythonPartsScripts/MELDRA'"},
      // A trailing separator doubles the backslash before each name.
      {"E:\\Scripts\\", "E:\\Scripts\\\\vesk.py", "path = 'E:\\\\Scripts\\\\'"},
  };
  const PayloadEntry* vesk = nullptr;
  const PayloadEntry* script = nullptr;
  for (const PayloadEntry& entry : payloadTable) {
    if (entry.name == "VESK.pyp") vesk = &entry;
    if (entry.name == "vesk.py") script = &entry;
  }
  ASSERT_TRUE(vesk && script);
  for (const Case& c : cases) {
    system = FakeSystem();
    SetUp();
    const std::string palette = standard + "\\Library\\MELDRA";
    install(palette, c.script, standard);
    ASSERT_EQ(system.exitCode(), 0) << c.script;
    EXPECT_EQ(system.contentOf(palette + "\\VESK.pyp"),
              withReplaced(uncompress(vesk->compressed), "MELDRA\\vesk.py", c.reference));
    EXPECT_EQ(system.contentOf(std::string(c.script) + "\\vesk.py"),
              withReplaced(uncompress(script->compressed), defaultPathLine, c.pathLine));
  }
}

TEST_F(Install, RewritesOnlyWholeWordsAndSkipsEmptyPartDefinitions) {
  const std::string line(defaultPathLine);
  Payload payload;
  payload.add("Empty.pyp", "", true)
      .add("NOTES.pyp", "MELDRA\\vesk.py xMELDRA\\vesk.py MELDRA\\vesk.pyc MELDRA\\other.py")
      .add("vesk.py", "import os\nx" + line + "\n", false)
      .add("dorl.py", "# no path line here\n", false)
      .add("other.py", line + "\n", false);
  install("E:\\P", "E:\\S", standard, payload.table());
  EXPECT_FALSE(system.contentOf("E:\\P\\Empty.pyp"));
  EXPECT_EQ(system.contentOf("E:\\P\\NOTES.pyp"),
            "E:\\S\\vesk.py xMELDRA\\vesk.py MELDRA\\vesk.pyc MELDRA\\other.py");
  EXPECT_EQ(system.contentOf("E:\\S\\vesk.py"), "import os\nx" + line + "\n");
  EXPECT_EQ(system.contentOf("E:\\S\\dorl.py"), "# no path line here\n");
  EXPECT_EQ(system.contentOf("E:\\S\\other.py"), line + "\n");  // not one of the nine scripts
}

TEST_F(Install, SecondIdenticalInstallMakesNoBackups) {
  const InstallLocations at = locationsForChoice(system, kChoiceStandard, standard);
  install(at);
  install(at);
  EXPECT_EQ(system.fileCount(), 100u);
}

TEST_F(Install, ChangedFilesAreKeptAsideOncePerFile) {
  Payload before;
  before.add("a.txt", "one").add("b.txt", "same").add("vesk.py", "v1\n", false);
  Payload after;
  after.add("a.txt", "two").add("b.txt", "same").add("vesk.py", "v2\n", false);
  install("E:\\P", "E:\\S", "E:", before.table());
  system.putFile("E:\\S\\vesk.py", "edited by hand\n");
  install("E:\\P", "E:\\S", "E:", after.table());

  EXPECT_EQ(system.contentOf("E:\\P\\a.txt"), "two");
  const std::vector<std::string> palette = backupsIn("E:\\P");
  ASSERT_EQ(palette.size(), 1u);
  EXPECT_TRUE(palette[0].starts_with("a.txt_"));
  EXPECT_EQ(system.contentOf("E:\\P\\" + palette[0]), "one");
  const std::vector<std::string> script = backupsIn("E:\\S");
  ASSERT_EQ(script.size(), 1u);
  EXPECT_EQ(system.contentOf("E:\\S\\" + script[0]), "edited by hand\n");
}

// The tick count is counter * 10^9 / frequency, exactly. Dividing first gives
// 0 for any counter faster than 1 GHz, and then every back-up of a file
// would replace the one before it.
TEST_F(Install, BackupTicksKeepEveryDigit) {
  struct Case {
    std::int64_t counter, frequency;
    std::string_view ticks;
  };
  const Case cases[] = {
      {5'000'000'000, 3'000'000'000, "1666666666"},
      {123'456'789, 10'000'000, "12345678900"},
      {std::int64_t{1} << 62, 10'000'000, "461168601842738790400"},  // past 64 bits
  };
  for (const Case& c : cases) {
    system.putFile("E:\\f.txt", "old");
    system.setPerformanceCounter(c.counter, 0, c.frequency);
    backupIfChanged(system, "E:\\f.txt", contentHash("new"));
    EXPECT_EQ(system.contentOf("E:\\f.txt_" + std::string(c.ticks)), "old") << c.ticks;
  }
  // Two back-ups of one file a moment apart on a 3 GHz counter both stay.
  system = FakeSystem();
  SetUp();
  system.setPerformanceCounter(5'000'000'000, 3'000, 3'000'000'000);
  system.putFile("E:\\f.txt", "first");
  backupIfChanged(system, "E:\\f.txt", contentHash("x"));
  system.putFile("E:\\f.txt", "second");
  backupIfChanged(system, "E:\\f.txt", contentHash("x"));
  EXPECT_EQ(backupsIn("E:\\").size(), 2u);
}

TEST(RelativeScriptDir, StripsOnlyALeadingLibraryScriptDirectory) {
  struct Case {
    std::string_view script, root, expected;
  };
  const Case cases[] = {
      {"S\\PythonPartsScripts\\MELDRA", "S", "MELDRA"},
      {"D:\\Data\\Std\\pythonpartsscripts\\MELDRA", "D:\\Data\\Std", "MELDRA"},
      {"d:\\DATA\\std\\PythonPartsScripts\\MELDRA\\Sub", "D:/Data/Std", "MELDRA\\Sub"},
      {"C:"
       "\\users\\anne\\Documents\\Nemetschek\\Allplan\\2025\\Usr\\Local\\PythonPartsScripts\\MELDR"
       "A",
       "C:\\users\\anne\\Documents\\Nemetschek\\Allplan\\2025\\Usr\\Local", "MELDRA"},
      {"S\\PythonPartsScripts", "S", ""},
      {"E:\\Scripts\\MELDRA", "S", "E:\\Scripts\\MELDRA"},
      {"D:/Data/Std/PythonPartsScripts/MELDRA", "D:\\Data\\Std",
       "D:/Data/Std/PythonPartsScripts/MELDRA"},
      // The library root found further on must not cut the start of the path.
      {"C:\\Allplan\\Std\\PythonPartsScripts\\MELDRA", "Std",
       "C:\\Allplan\\Std\\PythonPartsScripts\\MELDRA"},
      // KELVIN SIGN lower-cases from three bytes to one.
      {"C:\\\xE2\x84\xAA\\PythonPartsScripts\\MELDRA", "C:\\\xE2\x84\xAA", "MELDRA"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(relativeScriptDir(c.script, c.root), c.expected) << c.script;
  }
}

TEST_F(Install, CreateDirectoryBuildsEveryAncestor) {
  system.makeDirectories("C:\\work");
  system.setCurrentDirectory("C:\\work");
  system.putFile("C:\\file", "x");
  system.addShare("\\\\server\\share");
  struct Case {
    std::string_view path;
    bool result;
    std::string_view created;  // a directory that exists afterwards
    std::string_view throws;   // IOError message
  };
  const Case cases[] = {
      {"C:\\a\\b\\c", true, "C:\\a\\b\\c", ""},
      {"C:/x//y\\", true, "C:\\x\\y", ""},
      {"rel\\dir", true, "C:\\work\\rel\\dir", ""},
      {"\\top\\dir", true, "C:\\top\\dir", ""},
      {"\\\\server\\share\\p\\q", true, "\\\\server\\share\\p\\q", ""},
      {"C:\\A\\B\\C", true, "C:\\a\\b\\c", ""},  // exists, in other letter case
      {"Q:\\x", false, "", ""},                  // no such drive: the box
      {"C:\\bad?name", false, "", ""},
      {"", false, "", ""},  // refused: would mean the root of the current drive
      {"C:\\file\\sub", false, "", "Failed to create 'C:\\file\\'"},
      {"C:\\file", false, "", "Failed to create 'C:\\file'"},
  };
  std::size_t boxes = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.path));
    if (!c.throws.empty()) {
      try {
        createDirectory(system, c.path, kOwner);
        ADD_FAILURE() << "no error";
      } catch (const IOError& e) {
        EXPECT_EQ(e.message(), c.throws);
      }
      continue;
    }
    EXPECT_EQ(createDirectory(system, c.path, kOwner), c.result);
    if (!c.created.empty()) {
      EXPECT_TRUE(system.isDirectory(c.created));
    }
    if (!c.result) {
      ASSERT_EQ(system.messageBoxes().size(), ++boxes);
      const FakeSystem::ShownBox& box = system.messageBoxes().back();
      EXPECT_EQ(box.text, "Le r\xC3\xA9pertoire n'a pas pu \xC3\xAAtre cr\xC3\xA9\xC3\xA9");
      EXPECT_EQ(box.caption, "Erreur!");
      EXPECT_EQ(box.style, 0x10u);
      EXPECT_EQ(box.owner, kOwner);
    }
  }
}

TEST_F(Install, ExistsOrCreateDirTellsWhatWasThere) {
  system.putFile("C:\\file", "x");
  EXPECT_FALSE(existsOrCreateDir(system, "C:\\new"));
  EXPECT_TRUE(existsOrCreateDir(system, "C:\\NEW"));
  EXPECT_THROW(existsOrCreateDir(system, "C:\\file"), IOError);
  try {
    existsOrCreateDir(system, "C:\\no\\x");
    FAIL() << "no error";
  } catch (const OSError& e) {
    EXPECT_EQ(e.code(), 3);
    EXPECT_EQ(e.message(),
              "The system cannot find the path specified.\r\nAdditional info: C:\\no\\x");
  }
}

// Each row of the failure table: what the user sees, and what survives.
TEST_F(Install, FailuresStopTheInstallAndKeepWhatWasThere) {
  const std::string palette = "E:\\P";
  const std::string script = "E:\\S";
  struct Case {
    std::string_view name;
    std::function<void(FakeSystem&)> prepare;
    std::string_view palette, script;
    std::size_t boxes;
    std::string_view kind, message;  // the exception, if any
    std::function<void(FakeSystem&)> survives;
  };
  Payload payload;
  payload.add("first.txt", "first").add("second.txt", "second new").add("third.txt", "third");
  const auto unchanged = [](std::string_view path, std::string_view content) {
    return [=](FakeSystem& s) { EXPECT_EQ(s.contentOf(path), content) << path; };
  };
  const Case cases[] = {
      {"palette directory cannot be created", nullptr, "Q:\\P", script, 1, "", "",
       [](FakeSystem& s) {
         EXPECT_TRUE(s.isDirectory("E:\\S\\fonts\\static"));
         EXPECT_EQ(s.fileCount(), 0u);
       }},
      {"every directory fails", nullptr, "Q:\\P", "Q:\\S", 5, "", "",
       [](FakeSystem& s) { EXPECT_EQ(s.fileCount(), 0u); }},
      {"empty palette text", nullptr, "", script, 1, "", "",
       [](FakeSystem& s) { EXPECT_EQ(s.fileCount(), 0u); }},
      {"empty script text", nullptr, palette, "", 1, "", "",
       [](FakeSystem& s) {
         EXPECT_EQ(s.fileCount(), 0u);
         EXPECT_FALSE(s.isDirectory("C:\\fonts"));  // nothing at the drive's root
         EXPECT_FALSE(s.isDirectory("C:\\resources"));
       }},
      {"file where a directory is needed", [](FakeSystem& s) { s.putFile("E:\\S\\fonts", "x"); },
       palette, script, 0, "IOError", "Failed to create 'E:\\S\\fonts'",
       [](FakeSystem& s) {
         EXPECT_TRUE(s.isDirectory("E:\\P"));
         EXPECT_EQ(s.fileCount(), 1u);
       }},
      {"existing file cannot be read",
       [](FakeSystem& s) {
         s.putFile("E:\\P\\second.txt", "second old");
         s.holdOpenWithoutSharing("E:\\P\\second.txt");
       },
       palette, script, 0, "IOError", "cannot open: E:\\P\\second.txt",
       [&](FakeSystem& s) {
         unchanged("E:\\P\\first.txt", "first")(s);
         unchanged("E:\\P\\second.txt", "second old")(s);
         EXPECT_FALSE(s.contentOf("E:\\P\\third.txt"));
       }},
      {"rename aside fails",
       [](FakeSystem& s) {
         s.putFile("E:\\P\\second.txt", "second old");
         s.setPerformanceCounter(7, 0, 10'000'000);
         s.makeDirectories("E:\\P\\second.txt_700");
       },
       palette, script, 0, "OSError",
       "Access is denied.\r\nAdditional info: (\"E:\\\\P\\\\second.txt\", "
       "\"E:\\\\P\\\\second.txt_700\")",
       [&](FakeSystem& s) {
         unchanged("E:\\P\\second.txt", "second old")(s);
         EXPECT_FALSE(s.contentOf("E:\\P\\third.txt"));
       }},
      {"destination cannot be opened for writing",
       [](FakeSystem& s) { s.makeDirectories("E:\\P\\second.txt"); }, palette, script, 0, "IOError",
       "cannot open: E:\\P\\second.txt",
       [&](FakeSystem& s) {
         unchanged("E:\\P\\first.txt", "first")(s);
         EXPECT_FALSE(s.contentOf("E:\\P\\third.txt"));
       }},
      {"writing fails part-way", [](FakeSystem& s) { s.failWriting("E:\\P\\second.txt", 3); },
       palette, script, 0, "IOError", "cannot write string to file",
       [&](FakeSystem& s) {
         unchanged("E:\\P\\second.txt", "sec")(s);
         EXPECT_FALSE(s.contentOf("E:\\P\\third.txt"));
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.name));
    system = FakeSystem();
    SetUp();
    if (c.prepare) c.prepare(system);
    std::string kind;
    std::string message;
    try {
      install(c.palette, c.script, "E:", payload.table());
    } catch (const Error& e) {
      kind = e.kind();
      message = e.message();
    }
    EXPECT_EQ(kind, c.kind);
    EXPECT_EQ(message, c.message);
    EXPECT_EQ(system.messageBoxes().size(), c.boxes);
    EXPECT_FALSE(system.exitCode());
    c.survives(system);
  }
}

// An entry that does not decompress leaves the installed file where it is:
// nothing is renamed aside before the new content exists.
TEST_F(Install, CorruptEntryLeavesTheOldFileInPlace) {
  for (const bool isPalette : {true, false}) {
    system = FakeSystem();
    SetUp();
    const std::string path = isPalette ? "E:\\P\\logo.png" : "E:\\S\\vesk.py";
    system.putFile(path, "old content");
    Payload payload;
    payload.addCorrupt(isPalette ? "logo.png" : "vesk.py", isPalette);
    try {
      install("E:\\P", "E:\\S", "E:", payload.table());
      ADD_FAILURE() << "no error";
    } catch (const SnappyError& e) {
      EXPECT_EQ(e.message(), "Invalid buffer, unable to uncompress");
    }
    EXPECT_EQ(system.contentOf(path), "old content");
    EXPECT_TRUE(backupsIn(isPalette ? "E:\\P" : "E:\\S").empty());
  }
}

}  // namespace
}  // namespace setup
