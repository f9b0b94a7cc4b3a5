#include "installer/install.h"

#include <gtest/gtest.h>
#include <snappy.h>

#include <deque>
#include <functional>
#include <map>
#include <set>

#include "installer/locations.h"
#include "installer/retry.h"
#include "installer/text.h"
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
  // Content that decompresses but does not match the stored checksum.
  Payload& addMismatched(std::string_view name, std::string_view content, bool isPalette = true) {
    std::string compressed;
    snappy::Compress(content.data(), content.size(), &compressed);
    return addCompressed(name, std::move(compressed), contentHash(content) ^ 1, isPalette, "");
  }
  // Decompresses to nothing, but carries the checksum of content.
  Payload& addEmptied(std::string_view name, std::string_view content, bool isPalette = true) {
    return addCompressed(name, std::string(1, '\0'), contentHash(content), isPalette, "");
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
  // The installation's error as "Kind: message", or "" when it completed or
  // only showed boxes.
  std::string installReporting(std::string_view palette, std::string_view script,
                               std::string_view root, std::span<const PayloadEntry> table) {
    try {
      install(palette, script, root, table);
    } catch (const Error& e) {
      return std::string(e.kind()) + ": " + e.message();
    }
    return {};
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

// A missing target directory is filled under a temporary name and renamed
// into place; targets inside each other, or spelled so that the rename could
// go astray, are written file by file. Either way every file arrives and no
// temporary name stays.
TEST_F(Install, TargetsInsideEachOtherOrOddlySpelled) {
  struct Case {
    std::string_view palette, script;
  };
  const Case cases[] = {
      {"E:\\A\\P", "E:\\A\\S"},
      {"E:\\A", "E:\\A"},
      {"E:\\A", "e:\\a"},
      {"E:\\A", "E:\\A\\S"},
      {"E:\\A\\P", "E:\\A"},
      {"E:\\A\\P", "E:/a/p/s"},
      {"E:\\A\\.\\P", "E:\\A\\S\\"},
      {"E:\\A\\P.", "E:\\A\\S\\..\\T"},
      {"A\\P", "S"},
      {"\\\\srv\\share\\P", "E:\\S"},
      // One directory, typed through another drive letter or with what
      // Windows drops: locked once, never taken for another installation.
      {"E:\\A\\P", "F:\\P"},
      {"E:\\A\\P", "E:\\A\\P."},
      {"E:\\A\\P.", "E:/a//p/"},
      {"E:\\A\\P", "F:\\P\\sub"},
  };
  Payload payload;
  payload.add("p.txt", "palette")
      .add("s.txt", "script", false)
      .add("f.ttf", "font", false, "fonts/static/")
      .add("arrow.png", "icon", false, "resources/Icons/");
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.palette) + " " + std::string(c.script));
    system = FakeSystem();
    SetUp();
    system.addShare("\\\\srv\\share");
    system.mapDrive('F', "E:\\A");
    install(c.palette, c.script, "E:", payload.table());
    ASSERT_EQ(system.exitCode(), 0);
    EXPECT_EQ(system.contentOf(std::string(c.palette) + "\\p.txt"), "palette");
    EXPECT_EQ(system.contentOf(std::string(c.script) + "\\s.txt"), "script");
    EXPECT_EQ(system.contentOf(std::string(c.script) + "\\fonts\\static\\f.ttf"), "font");
    // A sub-directory of the payload's own is made too.
    EXPECT_EQ(system.contentOf(std::string(c.script) + "\\resources\\Icons\\arrow.png"), "icon");
    for (const auto& [path, content] : system.tree()) {
      EXPECT_EQ(path.find(".setup-tmp"), std::string::npos) << path;
    }
  }
}

TEST_F(Install, RewritesOnlyWholeWordsAndSkipsEmptyPartDefinitions) {
  const std::string line(defaultPathLine);
  Payload payload;
  payload.add("Empty.pyp", "", true)
      .add("NOTES.pyp", "MELDRA\\vesk.py xMELDRA\\vesk.py MELDRA\\vesk.pyc MELDRA\\other.py")
      .add("vesk.py", "import os\nx" + line + "\n", false)
      .add("dorl.py", "# no path line here\n", false)
      .add("other.py", line + "\n", false)
      .add("X.pypx", "MELDRA\\vesk.py")  // ".pyp" and one more byte: a part definition
      .add("X.pyx", "MELDRA\\vesk.py")
      .add("X.pyp.bak", "MELDRA\\vesk.py");
  install("E:\\P", "E:\\S", standard, payload.table());
  EXPECT_FALSE(system.contentOf("E:\\P\\Empty.pyp"));
  EXPECT_EQ(system.contentOf("E:\\P\\NOTES.pyp"),
            "E:\\S\\vesk.py xMELDRA\\vesk.py MELDRA\\vesk.pyc MELDRA\\other.py");
  EXPECT_EQ(system.contentOf("E:\\S\\vesk.py"), "import os\nx" + line + "\n");
  EXPECT_EQ(system.contentOf("E:\\S\\dorl.py"), "# no path line here\n");
  EXPECT_EQ(system.contentOf("E:\\S\\other.py"), line + "\n");  // not one of the nine scripts
  EXPECT_EQ(system.contentOf("E:\\P\\X.pypx"), "E:\\S\\vesk.py");
  EXPECT_EQ(system.contentOf("E:\\P\\X.pyx"), "MELDRA\\vesk.py");
  EXPECT_EQ(system.contentOf("E:\\P\\X.pyp.bak"), "MELDRA\\vesk.py");
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
    backupIfChanged(system, "E:\\f.txt", "new");
    EXPECT_EQ(system.contentOf("E:\\f.txt_" + std::string(c.ticks)), "old") << c.ticks;
  }
  // Two back-ups of one file a moment apart on a 3 GHz counter both stay.
  system = FakeSystem();
  SetUp();
  system.setPerformanceCounter(5'000'000'000, 3'000, 3'000'000'000);
  system.putFile("E:\\f.txt", "first");
  backupIfChanged(system, "E:\\f.txt", "x");
  system.putFile("E:\\f.txt", "second");
  backupIfChanged(system, "E:\\f.txt", "x");
  EXPECT_EQ(backupsIn("E:\\").size(), 2u);
}

// Only the same bytes spare a file its back-up: a longer or shorter file, or
// one that differs in its last byte, is kept aside.
TEST_F(Install, OnlyTheSameBytesSpareABackup) {
  struct Case {
    std::string_view existing, content;
    bool kept;
  };
  const Case cases[] = {
      {"new", "new", false}, {"", "", false},   {"new!", "new", true}, {"ne", "new", true},
      {"nex", "new", true},  {"", "new", true}, {"new", "", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.existing) + " / " + std::string(c.content));
    system = FakeSystem();
    SetUp();
    system.putFile("E:\\f.txt", c.existing);
    EXPECT_EQ(backupIfChanged(system, "E:\\f.txt", c.content).empty(), !c.kept);
    EXPECT_EQ(backupsIn("E:\\").size(), c.kept ? 1u : 0u);
  }
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
      // Either separator ends the script directory's name.
      {"S\\PythonPartsScripts/MELDRA", "S", "MELDRA"},
      {"E:\\Scripts\\MELDRA", "S", "E:\\Scripts\\MELDRA"},
      {"D:/Data/Std/PythonPartsScripts/MELDRA", "D:\\Data\\Std",
       "D:/Data/Std/PythonPartsScripts/MELDRA"},
      // The library root found further on must not cut the start of the path.
      {"C:\\Allplan\\Std\\PythonPartsScripts\\MELDRA", "Std",
       "C:\\Allplan\\Std\\PythonPartsScripts\\MELDRA"},
      // Only a whole name matches: this is another directory.
      {"S\\PythonPartsScriptsX\\MELDRA", "S", "S\\PythonPartsScriptsX\\MELDRA"},
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

// Each row of the failure table: what the user sees. Whatever fails, the
// trees are left as they were before the click.
TEST_F(Install, FailuresStopTheInstallAndUndoIt) {
  const std::string palette = "E:\\P";
  const std::string script = "E:\\S";
  struct Case {
    std::string_view name;
    std::function<void(FakeSystem&)> prepare;
    std::string_view palette, script;
    std::size_t boxes;
    std::string_view kind;
    std::string message;  // the exception's, if any
  };
  Payload payload;
  payload.add("first.txt", "first").add("second.txt", "second new").add("third.txt", "third");
  const auto older = [](FakeSystem& s) {
    s.putFile("E:\\P\\first.txt", "first old");
    s.putFile("E:\\P\\second.txt", "second old");
  };
  // second.txt as it will be written, held open by another program.
  const auto heldIdentical = [](void (FakeSystem::*hold)(std::string_view)) {
    return [hold](FakeSystem& s) {
      s.putFile("E:\\P\\second.txt", "second new");
      (s.*hold)("E:\\P\\second.txt");
    };
  };
  const Case cases[] = {
      {"palette directory cannot be created", nullptr, "Q:\\P", script, 1, "", ""},
      {"every directory fails", nullptr, "Q:\\P", "Q:\\S", 5, "", ""},
      {"empty palette text", nullptr, "", script, 1, "", ""},
      {"empty script text", nullptr, palette, "", 1, "", ""},
      {"file where a directory is needed", [](FakeSystem& s) { s.putFile("E:\\S\\fonts", "x"); },
       palette, script, 0, "IOError", "Failed to create 'E:\\S\\fonts'"},
      {"existing file cannot be read",
       [&](FakeSystem& s) {
         older(s);
         s.holdOpenWithoutSharing("E:\\P\\second.txt");
       },
       palette, script, 0, "IOError", "cannot open: E:\\P\\second.txt"},
      {"rename aside fails",
       [&](FakeSystem& s) {
         older(s);
         s.setPerformanceCounter(7, 0, 10'000'000);
         s.makeDirectories("E:\\P\\second.txt_700");
       },
       palette, script, 0, "OSError",
       "Access is denied.\r\nAdditional info: (\"E:\\\\P\\\\second.txt\", "
       "\"E:\\\\P\\\\second.txt_700\")"},
      {"destination is a directory", [](FakeSystem& s) { s.makeDirectories("E:\\P\\second.txt"); },
       palette, script, 0, "IOError", "cannot open: E:\\P\\second.txt"},
      // A file that another program holds open cannot be written over: the
      // user hears that of the destination, whatever step meets the hold.
      {"identical destination held without sharing",
       heldIdentical(&FakeSystem::holdOpenWithoutSharing), palette, script, 0, "IOError",
       "cannot open: E:\\P\\second.txt"},
      {"identical destination held sharing reads", heldIdentical(&FakeSystem::holdOpenSharingReads),
       palette, script, 0, "IOError",
       "cannot open: E:\\P\\second.txt\n" + readOnlyOrHeld("E:\\P\\second.txt")},
      {"changed destination held sharing reads",
       [&](FakeSystem& s) {
         older(s);
         s.setPerformanceCounter(7, 0, 10'000'000);
         s.holdOpenSharingReads("E:\\P\\second.txt");
       },
       palette, script, 0, "OSError",
       "The process cannot access the file because it is being used by another process.\r\n"
       "Additional info: (\"E:\\\\P\\\\second.txt\", \"E:\\\\P\\\\second.txt_700\")"},
      {"writing fails part-way",
       [&](FakeSystem& s) {
         older(s);
         s.failWriting("E:\\P\\second.txt.setup-tmp", 3);
       },
       palette, script, 0, "IOError", "cannot write string to file"},
      // Not this run's to remove, nor to report as left behind.
      {"a directory with files stands at a temporary name",
       [](FakeSystem& s) { s.putFile("E:\\P\\second.txt.setup-tmp\\mine.txt", "mine"); }, palette,
       script, 0, "IOError",
       "a folder stands at E:\\P\\second.txt.setup-tmp, a name the installation uses for a file "
       "of its own: remove or rename it"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.name));
    system = FakeSystem();
    SetUp();
    if (c.prepare) c.prepare(system);
    const auto before = system.tree();
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
    EXPECT_EQ(system.tree(), before);
  }
}

// A damaged download: an entry that does not decompress raises the
// decoder's SnappyError, one whose content does not match its checksum is
// named, and in both cases nothing of the installation stays, not even the
// files before it.
TEST_F(Install, DamagedEntryIsNamedAndNothingStays) {
  enum class Damage { corrupt, mismatched, emptied };
  struct Case {
    Damage damage;
    std::string_view message;
  };
  const std::string_view mismatch =
      "PayloadError: The installer is damaged: its copy of \"vesk.py\" does not match its "
      "checksum. Download the installer again.";
  const Case cases[] = {
      {Damage::corrupt, "SnappyError: Invalid buffer, unable to uncompress"},
      {Damage::mismatched, mismatch},
      // Empty content is checked too: an empty file must not replace real content.
      {Damage::emptied, mismatch},
  };
  for (const Case& c : cases) {
    system = FakeSystem();
    SetUp();
    system.putFile("E:\\S\\vesk.py", "old content");
    system.putFile("E:\\P\\logo.png", "old logo");
    const auto before = system.tree();
    Payload payload;
    payload.add("logo.png", "new logo").add("new.txt", "new");
    switch (c.damage) {
      case Damage::corrupt:
        payload.addCorrupt("vesk.py", false);
        break;
      case Damage::mismatched:
        payload.addMismatched("vesk.py", "print('hello')\n", false);
        break;
      case Damage::emptied:
        payload.addEmptied("vesk.py", "print('hello')\n", false);
        break;
    }
    try {
      install("E:\\P", "E:\\S", "E:", payload.table());
      ADD_FAILURE() << "no error";
    } catch (const Error& e) {
      EXPECT_EQ(std::string(e.kind()) + ": " + e.message(), c.message);
    }
    EXPECT_EQ(system.tree(), before);
  }
}

// An older installation beside the user's own files: one file changed by
// hand, one identical, one missing, a back-up of an earlier change, and two
// of the script directory's sub-directories still to be created.
class AllOrNothing : public Install {
 public:
  static constexpr std::string_view kPalette = "E:\\Lib\\P";
  static constexpr std::string_view kScript = "E:\\Lib\\S";

  AllOrNothing() {
    payload.add("readme.md", "read me, version 2")
        .add("Bestellliste.png", "order list picture")
        .add("VESK.pyp", "<script>MELDRA\\vesk.py</script>")
        .add("vesk.py", std::string(defaultPathLine) + "\nversion 2\n", false)
        .add("OFL.txt", "licence", false, "fonts/")
        .add("Font-Regular.ttf", "glyphs", false, "fonts/static/")
        .add("picture.png", "pixels", false, "resources/");
  }

  // A first installation, after one that was killed: the script directory's
  // staging copy stayed, partly written.
  void prepareInterruptedFirstInstallation() {
    system.putFile("E:\\Lib\\S.setup-tmp\\vesk.py", "vers");
    system.putFile("E:\\Lib\\S.setup-tmp\\fonts\\OFL.txt", "licence");
  }

  void prepareNothing() {}

  // As prepareInterruptedFirstInstallation, but the killed run was of
  // another version: its staging copies hold files and a directory that this
  // payload lacks, and a file where this payload has a directory.
  void prepareLeftoverOfAnotherVersion() {
    prepareInterruptedFirstInstallation();
    system.putFile("E:\\Lib\\P.setup-tmp\\Obsolete.pyp", "<part/>");
    system.putFile("E:\\Lib\\S.setup-tmp\\obsolete.py", "old script");
    system.putFile("E:\\Lib\\S.setup-tmp\\fonts\\static\\Old-Regular.ttf", "old glyphs");
    system.putFile("E:\\Lib\\S.setup-tmp\\legacy\\data\\table.csv", "1,2");
    system.putFile("E:\\Lib\\S.setup-tmp\\resources", "a file, not a directory");
  }

  // Links and hard links among the names of a killed installation, to
  // files and directories outside the targets.
  void prepareLeftoverWithLinks() {
    prepareOutside();
    system.makeDirectories("E:\\Lib\\S.setup-tmp\\fonts");
    system.putLink("E:\\Lib\\S.setup-tmp\\stray", "D:\\Out\\b", true);
    system.putLink("E:\\Lib\\S.setup-tmp\\resources", "D:\\Out\\c", true);
    system.putLink("E:\\Lib\\S.setup-tmp\\fonts\\static", "D:\\Out\\d", true);
    system.putLink("E:\\Lib\\S.setup-tmp\\vesk.py", "D:\\Out\\e.txt", false);
    system.putHardLink("E:\\Lib\\S.setup-tmp\\fonts\\OFL.txt", "D:\\Out\\f.txt");
    system.putLink("E:\\Lib\\P.setup-tmp", "D:\\Out\\a", true);
  }

  // An older installation whose temporary names a killed run left as links
  // and hard links, and one destination a link.
  void prepareOlderWithLinks() {
    prepareOlderInstallation();
    prepareOutside();
    system.putLink("E:\\Lib\\S\\vesk.py.setup-tmp", "D:\\Out\\e.txt", false);
    system.putHardLink("E:\\Lib\\S\\fonts\\OFL.txt.setup-tmp", "D:\\Out\\f.txt");
    system.putLink("E:\\Lib\\P\\readme.md", "D:\\Out\\g.txt", false);
  }

  // What links lead to: files and directories of the user's elsewhere.
  void prepareOutside() {
    for (const char* dir : {"a", "b", "c", "d"}) {
      for (const char* file : {"1.txt", "2.txt"}) {
        system.putFile("D:\\Out\\" + std::string(dir) + "\\" + file, std::string(dir) + file);
      }
    }
    system.makeDirectories("D:\\Out\\empty");
    for (const char* file : {"e.txt", "f.txt", "g.txt", "h.txt", "i.txt"}) {
      system.putFile("D:\\Out\\" + std::string(file), std::string("outside ") + file);
    }
  }

  // A new system, prepared by prepare.
  void restart(void (AllOrNothing::*prepare)()) {
    system = FakeSystem();
    SetUp();
    (this->*prepare)();
  }

  void prepareOlderInstallation() {
    system.putFile("E:\\Lib\\P\\readme.md", "read me, changed by hand");
    system.putFile("E:\\Lib\\P\\readme.md_1234567", "read me, version 0");
    system.putFile("E:\\Lib\\P\\Liste de commande.png", "order list picture");
    system.putFile("E:\\Lib\\P\\notes of the user.txt", "mine");
    system.putFile("E:\\Lib\\S\\vesk.py", "version 1\n");
    system.putFile("E:\\Lib\\S\\fonts\\OFL.txt", "licence");
  }

  // What a second installation, started between two steps of the first,
  // ended with.
  struct SecondRun {
    std::string error = "did not run";
    std::optional<int> exit;
  };
  // Runs install (installCatching when none is given) at the start of the
  // n-th file call from now, as another computer clicking at that moment.
  void startSecondAt(std::size_t n, SecondRun& second,
                     std::function<std::string()> install = nullptr) {
    system.onFileCall(n, [this, &second, install] {
      second.error = install ? install() : installCatching();
      second.exit = system.exitCode();
      system.clearExitCode();
    });
  }

  // The installation's error, or "" when it completed or only showed boxes.
  std::string installCatching() {
    return installReporting(kPalette, kScript, "E:\\Lib", payload.table());
  }

  Payload payload;
};

// Where the installation starts from.
struct Start {
  std::string_view name;
  void (AllOrNothing::*prepare)();
  bool leftovers = false;  // staging copies of a killed installation
};

using Tree = std::map<std::string, std::optional<std::string>>;

// The tree without what staging directories hold: partial copies of an
// earlier, killed installation, which a failed one may remove, and what it
// does not install, which the next one removes before it fails.
Tree withoutLeftovers(const Start& start, Tree tree) {
  if (!start.leftovers) return tree;
  std::erase_if(tree, [](const auto& node) {
    return node.first.find(".setup-tmp\\") != std::string::npos ||
           node.first.ends_with(kTemporarySuffix);
  });
  return tree;
}

// The part of a tree below prefix.
Tree below(const Tree& tree, std::string_view prefix) {
  Tree part;
  for (const auto& [path, content] : tree) {
    if (path.starts_with(prefix)) part.emplace(path, content);
  }
  return part;
}

const Start kStarts[] = {
    {"over an older installation", &AllOrNothing::prepareOlderInstallation},
    {"first installation", &AllOrNothing::prepareNothing},
    {"first after a killed one", &AllOrNothing::prepareInterruptedFirstInstallation, true},
    {"first after a killed one of another version", &AllOrNothing::prepareLeftoverOfAnotherVersion,
     true},
    {"first after a killed one, among links", &AllOrNothing::prepareLeftoverWithLinks, true},
    {"over an older installation, among links", &AllOrNothing::prepareOlderWithLinks, true},
};

TEST_F(AllOrNothing, EveryFailingCallLeavesTheTreesAsTheyWere) {
  for (const Start& start : kStarts) {
    SCOPED_TRACE(std::string(start.name));
    restart(start.prepare);
    ASSERT_EQ(installCatching(), "");
    ASSERT_EQ(system.exitCode(), 0);
    const std::size_t calls = system.fileCalls();
    ASSERT_GT(calls, 10u);
    const auto complete = system.tree();

    struct Failure {
      std::uint32_t code;
      std::string_view openError, writeError;  // what a refused or broken write reports
    };
    const Failure failures[] = {
        {kErrorAccessDenied, "IOError: cannot open: ", "IOError: cannot open: "},
        {kErrorSharingViolation, "IOError: cannot open: ", "IOError: cannot open: "},
        {kErrorDiskFull,
         "IOError: cannot read from file: ", "IOError: cannot write string to file"},
    };
    for (const Failure& failure : failures) {
      for (std::size_t n = 1; n <= calls; ++n) {
        SCOPED_TRACE("call " + std::to_string(n) + " fails with " + std::to_string(failure.code));
        restart(start.prepare);
        const auto before = withoutLeftovers(start, system.tree());
        system.failFileCall(n, failure.code);
        const std::string error = installCatching();
        if (system.exitCode()) {
          // A lock that cannot be made in one place is made in the other.
          EXPECT_EQ(error, "");
          EXPECT_EQ(system.tree(), complete);
          continue;
        }
        EXPECT_EQ(withoutLeftovers(start, system.tree()), before);
        if (!system.messageBoxes().empty()) {
          EXPECT_EQ(error, "");  // a directory: its boxes say so
          continue;
        }
        ASSERT_TRUE(system.messageBoxes().empty());
        // The injected failure, however the failing call reports it.
        const bool isSystemError = error.starts_with("OSError: " + system.errorText(failure.code));
        // A lock that another holds: another installation as far as it can tell.
        const bool isFileError =
            error.starts_with(failure.openError) || error.starts_with(failure.writeError) ||
            (failure.code == kErrorSharingViolation &&
             error.starts_with("IOError: another installation is running in "));
        EXPECT_TRUE(isSystemError || isFileError) << error;
        EXPECT_EQ(error.find("undone"), std::string::npos) << error;
        // Temporary names are the installation's own; only a leftover that
        // cannot be cleared is named as it stands.
        if (!start.leftovers) {
          EXPECT_EQ(error.find(kTemporarySuffix), std::string::npos) << error;
        }
      }
    }
  }
}

// A second failure while undoing: the first error is still the one reported,
// the message names every file and directory left otherwise, and no byte of
// the user's files is lost.
TEST_F(AllOrNothing, AFailingUndoLosesNothingAndSaysWhere) {
  for (const Start& start : kStarts) {
    SCOPED_TRACE(std::string(start.name));
    restart(start.prepare);
    ASSERT_EQ(installCatching(), "");
    const std::size_t calls = system.fileCalls();
    std::size_t undoFailures = 0;
    for (const std::size_t later : {1, 2}) {
      for (std::size_t n = 1; n <= calls; ++n) {
        SCOPED_TRACE("call " + std::to_string(n) + " fails, then call " +
                     std::to_string(n + later));
        restart(start.prepare);
        const auto before = system.tree();
        system.failFileCall(n, kErrorAccessDenied);
        system.failFileCall(n + later, kErrorSharingViolation);
        const std::string error = installCatching();
        if (system.exitCode() || !system.messageBoxes().empty()) continue;
        ASSERT_FALSE(error.empty());
        const std::string first = error.substr(0, error.find("\n\n"));
        // The second failure comes first where the first call found its
        // name taken (a leftover, a lock) before it could fail.
        EXPECT_TRUE(first.starts_with("IOError: cannot open: ") ||
                    first.starts_with("OSError: " + system.errorText(kErrorAccessDenied)) ||
                    first.starts_with("OSError: " + system.errorText(kErrorSharingViolation)) ||
                    first.starts_with("IOError: another installation is running in "))
            << error;

        const auto after = system.tree();
        bool changed = false;
        // Destinations keep the "/" of their sub-directory; the tree spells "\".
        const std::string spelled = replaceAll(error, "/", "\\\\");
        // A staged copy that stays is named as a whole, with all it holds.
        const auto named = [&](const std::string& path) {
          if (spelled.find(setup::quoted(path)) != std::string::npos) return true;
          const std::size_t staging = path.find(".setup-tmp\\");
          if (staging == std::string::npos) return false;
          for (std::size_t cut = staging + kTemporarySuffix.size(); cut != std::string::npos;
               cut = path.find('\\', cut + 1)) {
            if (spelled.find("staged copy " + setup::quoted(path.substr(0, cut))) !=
                std::string::npos) {
              return true;
            }
          }
          return false;
        };
        for (const auto& [path, content] : after) {
          const auto old = before.find(path);
          if (old != before.end() && old->second == content) continue;
          if (!content && !named(path)) {
            // A new directory may stay only for what is left in it.
            bool holdsNamed = false;
            for (auto inside = after.upper_bound(path + "\\");
                 inside != after.end() && inside->first.starts_with(path + "\\"); ++inside) {
              holdsNamed = holdsNamed || named(inside->first);
            }
            EXPECT_TRUE(holdsNamed) << path << " in " << error;
            continue;
          }
          changed = true;
          EXPECT_TRUE(named(path)) << path << " in " << error;
        }
        // A failed installation may remove the partial copies of a killed one.
        for (const auto& [path, content] : withoutLeftovers(start, before)) {
          if (after.count(path) != 0 && after.at(path) == content) continue;
          changed = true;
          if (!content) {
            ADD_FAILURE() << "directory lost: " << path;
            continue;
          }
          bool kept = false;
          for (const auto& [where, now] : after) kept = kept || (now == content && named(where));
          EXPECT_TRUE(kept) << path << " lost; " << error;
        }
        const bool reported = error.find("could not be undone completely") != std::string::npos;
        // It may also name a partial copy of the killed one that stays.
        EXPECT_TRUE(start.leftovers ? !changed || reported : reported == changed) << error;
        undoFailures += reported ? 1 : 0;
      }
    }
    EXPECT_GT(undoFailures, 0u);  // the cases reached the undo
  }

  // A new file that cannot be removed keeps the new directories around it:
  // the message names the file once, and no directory for it.
  restart(&AllOrNothing::prepareNothing);
  system.makeDirectories(kScript);  // written file by file
  system.holdOpenOnceWritten("E:\\Lib\\S\\fonts\\static\\Font-Regular.ttf");
  system.failWriting("E:\\Lib\\S\\resources\\picture.png.setup-tmp", 2);
  EXPECT_EQ(
      installCatching(),
      "IOError: cannot write string to file\n\n"
      "The installation could not be undone completely:\n"
      "- the new file \"E:\\\\Lib\\\\S\\\\fonts/static/Font-Regular.ttf\" could not be removed "
      "(The process cannot access the file because it is being used by another process.)");
  EXPECT_TRUE(system.isDirectory("E:\\Lib\\S\\fonts\\static"));
}

// A program that opens each new file as it appears, as a virus scanner may,
// holds the fresh temporary file: its rename is refused with a sharing
// violation, which the user hears as a write that cannot open the
// destination, as for a refused access, never in the system's words about a
// temporary name.
TEST_F(Install, ARenameRefusedForAHeldTemporaryFileNamesTheDestination) {
  Payload payload;
  payload.add("first.txt", "first").add("second.txt", "second new");
  system.putFile("E:\\P\\second.txt", "second old");
  system.holdOpenOnceWritten("E:\\P\\second.txt.setup-tmp");
  std::string error;
  try {
    install("E:\\P", "E:\\S", "E:", payload.table());
  } catch (const Error& e) {
    error = std::string(e.kind()) + ": " + e.message();
  }
  EXPECT_EQ(error.substr(0, error.find('\n')), "IOError: cannot open: E:\\P\\second.txt");
  EXPECT_EQ(system.contentOf("E:\\P\\second.txt"), "second old");
}

// What another program puts at a temporary name the moment the installation
// has removed a leftover there is not this run's: the failed creation
// leaves it to its owner, and the undo neither removes it nor reports it.
TEST_F(Install, ATemporaryNameRefilledByAnotherProgramIsNotUndone) {
  Payload payload;
  payload.add("first.txt", "first").add("second.txt", "second");
  const std::string temporary = "E:\\P\\second.txt.setup-tmp";
  system.putFile(temporary, "leftover");
  std::function<void()> refill = [&] {
    if (system.contentOf(temporary) == "leftover") {
      system.onFileCall(1, refill);
    } else {
      system.putFile(temporary, "another program's");
    }
  };
  system.onFileCall(1, refill);
  EXPECT_EQ(installReporting("E:\\P", "E:\\S", "E:", payload.table()),
            "IOError: cannot open: E:\\P\\second.txt");
  EXPECT_EQ(system.contentOf(temporary), "another program's");
  EXPECT_FALSE(system.contentOf("E:\\P\\first.txt"));
}

TEST_F(AllOrNothing, LeftoversOfAnInterruptedInstallationGo) {
  prepareOlderInstallation();
  system.putFile("E:\\Lib\\P\\readme.md.setup-tmp", "read me, ver");
  system.putFile("E:\\Lib\\S\\fonts\\static\\Font-Regular.ttf.setup-tmp", "gly");
  ASSERT_EQ(installCatching(), "");
  for (const auto& [path, content] : system.tree()) {
    EXPECT_FALSE(path.ends_with(".setup-tmp")) << path;
  }
  EXPECT_EQ(system.contentOf("E:\\Lib\\P\\readme.md"), "read me, version 2");
  EXPECT_EQ(backupsIn(kPalette).size(), 2u);

  restart(&AllOrNothing::prepareInterruptedFirstInstallation);
  ASSERT_EQ(installCatching(), "");
  for (const auto& [path, content] : system.tree()) {
    EXPECT_FALSE(path.ends_with(".setup-tmp")) << path;
  }
  EXPECT_EQ(system.contentOf("E:\\Lib\\S\\vesk.py"), "path = 'E:\\\\Lib\\\\S'\nversion 2\n");
  EXPECT_EQ(system.contentOf("E:\\Lib\\S\\fonts\\static\\Font-Regular.ttf"), "glyphs");

  // The directories this installation writes into are kept as the killed
  // run made them, each side by its own payload: not removed and made again.
  restart(&AllOrNothing::prepareInterruptedFirstInstallation);
  system.makeDirectories("E:\\Lib\\S.setup-tmp\\Resources");
  ASSERT_EQ(installCatching(), "");
  EXPECT_EQ(system.list("E:\\Lib\\S"), (std::vector<std::string>{"fonts", "Resources", "vesk.py"}));

  // Of another version's leftovers only what this payload installs moves
  // into place.
  restart(&AllOrNothing::prepareLeftoverOfAnotherVersion);
  ASSERT_EQ(installCatching(), "");
  std::set<std::string> below;
  for (const auto& [path, content] : system.tree()) {
    if (path.starts_with("E:\\Lib")) below.insert(path);
  }
  const std::set<std::string> installed = {
      "E:\\Lib",
      "E:\\Lib\\P",
      "E:\\Lib\\P\\Liste de commande.png",
      "E:\\Lib\\P\\VESK.pyp",
      "E:\\Lib\\P\\readme.md",
      "E:\\Lib\\S",
      "E:\\Lib\\S\\fonts",
      "E:\\Lib\\S\\fonts\\OFL.txt",
      "E:\\Lib\\S\\fonts\\static",
      "E:\\Lib\\S\\fonts\\static\\Font-Regular.ttf",
      "E:\\Lib\\S\\resources",
      "E:\\Lib\\S\\resources\\picture.png",
      "E:\\Lib\\S\\vesk.py",
  };
  EXPECT_EQ(below, installed);

  // A sub-directory of the payload's own is kept as well: "/" separates its
  // names as it does those of the directories every installation makes.
  payload.add("arrow.png", "arrow pixels", false, "resources/Icons/");
  restart(&AllOrNothing::prepareInterruptedFirstInstallation);
  system.makeDirectories("E:\\Lib\\S.setup-tmp\\resources\\ICONS");
  ASSERT_EQ(installCatching(), "");
  EXPECT_EQ(system.list("E:\\Lib\\S\\resources"),
            (std::vector<std::string>{"ICONS", "picture.png"}));
  EXPECT_EQ(system.contentOf("E:\\Lib\\S\\resources\\Icons\\arrow.png"), "arrow pixels");
}

}  // namespace
}  // namespace setup

namespace setup {
namespace {

// Links and hard links that a user, a synchronisation tool or a killed run
// left among the installation's own names: what they lead to stays as it
// was, byte for byte, and the installed files are the payload's. A link
// that is the user's (at the staging name, at a destination) stays as a
// link: at its name, or kept aside as the back-up.
TEST_F(AllOrNothing, LinksNeverLeadOutsideTheTargets) {
  restart(&AllOrNothing::prepareNothing);
  ASSERT_EQ(installCatching(), "");
  const auto filesOf = [](const Tree& tree) {
    Tree files;
    for (const auto& [path, content] : below(tree, "E:\\Lib")) {
      if (content && !content->starts_with("<link") && !isBackupName(path)) {
        files.emplace(path, content);
      }
    }
    return files;
  };
  const Tree payloadFiles = filesOf(system.tree());
  ASSERT_EQ(payloadFiles.size(), 7u);

  struct Row {
    std::string_view name;
    bool overComplete;  // planted after a complete installation
    std::function<void(FakeSystem&)> plant;
    std::vector<std::string_view> keptLinks;  // targets still linked from below E:\Lib
  };
  const Row rows[] = {
      {"the palette's staging name links to a directory",
       false,
       [](FakeSystem& s) { s.putLink("E:\\Lib\\P.setup-tmp", "D:\\Out\\a", true); },
       {"D:\\Out\\a"}},
      {"the palette's staging name links to a file",
       false,
       [](FakeSystem& s) { s.putLink("E:\\Lib\\P.setup-tmp", "D:\\Out\\e.txt", false); },
       {"D:\\Out\\e.txt"}},
      {"the staging name links to an empty directory",
       false,
       [](FakeSystem& s) { s.putLink("E:\\Lib\\S.setup-tmp", "D:\\Out\\empty", true); },
       {"D:\\Out\\empty"}},
      {"a leftover staging directory holds links to directories",
       false,
       [](FakeSystem& s) {
         s.makeDirectories("E:\\Lib\\S.setup-tmp\\fonts");
         s.putLink("E:\\Lib\\S.setup-tmp\\stray", "D:\\Out\\b", true);
         s.putLink("E:\\Lib\\S.setup-tmp\\resources", "D:\\Out\\c", true);
         s.putLink("E:\\Lib\\S.setup-tmp\\fonts\\static", "D:\\Out\\d", true);
       },
       {}},
      {"a leftover staging directory holds a link and a hard link at payload names",
       false,
       [](FakeSystem& s) {
         s.putLink("E:\\Lib\\S.setup-tmp\\vesk.py", "D:\\Out\\e.txt", false);
         s.putHardLink("E:\\Lib\\S.setup-tmp\\fonts\\OFL.txt", "D:\\Out\\f.txt");
         s.putHardLink("E:\\Lib\\P.setup-tmp\\readme.md", "D:\\Out\\g.txt");
       },
       {}},
      {"a leftover staging directory holds dangling links",
       false,
       [](FakeSystem& s) {
         s.putLink("E:\\Lib\\S.setup-tmp\\fonts\\static\\Font-Regular.ttf", "D:\\Out\\none.ttf",
                   false);
         s.putLink("E:\\Lib\\S.setup-tmp\\gone", "D:\\Out\\gone", true);
       },
       {}},
      {"leftover temporary names are links and hard links",
       true,
       [](FakeSystem& s) {
         s.putLink("E:\\Lib\\S\\vesk.py.setup-tmp", "D:\\Out\\e.txt", false);
         s.putHardLink("E:\\Lib\\S\\fonts\\OFL.txt.setup-tmp", "D:\\Out\\f.txt");
         s.putLink("E:\\Lib\\P\\VESK.pyp.setup-tmp", "D:\\Out\\none.txt", false);
       },
       {}},
      // The link is what is kept aside or replaced, never the file it leads
      // to, whatever that file holds.
      {"destinations are links and hard links",
       true,
       [](FakeSystem& s) {
         s.putLink("E:\\Lib\\S\\vesk.py", "D:\\Out\\e.txt", false);
         s.putFile("D:\\Out\\same.md", "read me, version 2");
         s.putLink("E:\\Lib\\P\\readme.md", "D:\\Out\\same.md", false);
         s.putLink("E:\\Lib\\P\\VESK.pyp", "D:\\Out\\none.pyp", false);
         s.putHardLink("E:\\Lib\\S\\fonts\\OFL.txt", "D:\\Out\\f.txt");
       },
       {"D:\\Out\\e.txt", "D:\\Out\\same.md", "D:\\Out\\none.pyp"}},
      {"the lock's name is a link to a file",
       false,
       [](FakeSystem& s) { s.putLink("E:\\Lib\\P.setup-lock", "D:\\Out\\i.txt", false); },
       {}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(row.name));
    restart(&AllOrNothing::prepareOutside);
    if (row.overComplete) {
      ASSERT_EQ(installCatching(), "");
    }
    row.plant(system);
    const Tree outside = below(system.tree(), "D:\\");
    system.clearExitCode();
    EXPECT_EQ(installCatching(), "");
    EXPECT_EQ(system.exitCode(), 0);
    const Tree after = system.tree();
    EXPECT_EQ(below(after, "D:\\"), outside);
    EXPECT_EQ(filesOf(after), payloadFiles);
    std::set<std::string> kept;
    for (const auto& [path, content] : below(after, "E:\\Lib")) {
      const bool link = content && content->starts_with("<link to ");
      if (link) {
        kept.insert(content->substr(9, content->size() - 10));
        // Kept aside as a back-up, or left at the staging name it was not
        // taken over from; never at a name the payload installs.
        EXPECT_TRUE(isBackupName(path) || path.ends_with(kTemporarySuffix)) << path;
      } else {
        EXPECT_FALSE(path.ends_with(kTemporarySuffix)) << path;
      }
      EXPECT_FALSE(path.ends_with(".setup-lock")) << path;
    }
    EXPECT_EQ(kept, std::set<std::string>(row.keptLinks.begin(), row.keptLinks.end()));
  }
}

// Windows' path limits for a program without long-path support, 259 units
// for a file and 247 for a directory to create: a target whose staged paths
// would pass them is filled file by file, where its own paths fit; one whose
// own paths do not fit is refused before anything is made, with the
// directory step's box where a directory is too long, else naming the file.
TEST_F(Install, PathsLongerThanWindowsTakesAreRefusedBeforeAnyChange) {
  const auto name = [](std::size_t length) { return "E:\\L\\" + std::string(length - 5, 'n'); };
  struct Case {
    std::string_view name;
    std::string palette, script;
    std::string paletteFile;  // below the palette directory
    std::size_t boxes;
    std::string error;  // "" for a completed installation
  };
  const Case cases[] = {
      // The script's staged sub-directory E:\L\n...n.setup-tmp\fonts\static
      // would be 253 units long, its own is 243.
      {"staged directories too long", "E:\\L\\P", name(230), "readme.md", 0, ""},
      // A staged file E:\L\P.setup-tmp\f...f of 260 units; written in
      // place with its temporary names it does not fit either.
      {"staged file too long", "E:\\L\\P", "E:\\L\\S", std::string(243, 'f'), 0,
       "IOError: the path E:\\L\\P\\" + std::string(243, 'f') +
           " is too long for Windows, which takes 259 characters with the installation's own "
           "names beside it; choose a shorter folder"},
      {"script directory too long", "E:\\L\\P", name(248), "readme.md", 4, ""},
      // \fonts fits, \fonts\static and \resources do not.
      {"its sub-directories too long", "E:\\L\\P", name(240), "readme.md", 2, ""},
      {"palette directory too long", name(250), "E:\\L\\S", "readme.md", 1, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.name));
    system = FakeSystem();
    SetUp();
    system.makeDirectories("E:\\L");
    Payload payload;
    payload.add(c.paletteFile, "palette").add("vesk.py", "script", false);
    const auto before = system.tree();
    EXPECT_EQ(installReporting(c.palette, c.script, "E:\\L", payload.table()), c.error);
    EXPECT_EQ(system.messageBoxes().size(), c.boxes);
    if (c.error.empty() && c.boxes == 0) {
      EXPECT_EQ(system.exitCode(), 0);
      EXPECT_EQ(system.contentOf(c.script + "\\vesk.py"), "script");
      EXPECT_EQ(system.contentOf(c.palette + "\\" + c.paletteFile), "palette");
    } else {
      EXPECT_EQ(system.tree(), before);
    }
  }
}

// What stands where only a name of the installation's own may be, and is not
// its own to remove: a folder, or a link to one, at a lock or temporary name,
// a folder below a target that is a link to another place, one target bearing
// the other's lock name. Refused before anything changes, naming it.
TEST_F(AllOrNothing, WhatIsNotOursIsNamedAndLeftAlone) {
  struct Row {
    std::string_view name;
    bool overComplete;  // planted after a complete installation
    std::function<void(FakeSystem&)> plant;
    std::string palette = std::string(kPalette);
    std::string error;
  };
  const auto inTheWay = [](const std::string& path) {
    return "IOError: a folder stands at " + path +
           ", a name the installation uses for a file of its own: remove or rename it";
  };
  const Row rows[] = {
      {"a link to a folder at the lock's name", false,
       [](FakeSystem& s) { s.putLink("E:\\Lib\\S.setup-lock", "D:\\Out\\b", true); },
       std::string(kPalette), inTheWay("E:\\Lib\\S.setup-lock")},
      {"a folder at the lock's name inside the target", true,
       [](FakeSystem& s) { s.makeDirectories("E:\\Lib\\P\\.setup-lock"); }, std::string(kPalette),
       inTheWay("E:\\Lib\\P\\.setup-lock")},
      {"a link to an empty folder at a temporary name", true,
       [](FakeSystem& s) { s.putLink("E:\\Lib\\P\\readme.md.setup-tmp", "D:\\Out\\empty", true); },
       std::string(kPalette), inTheWay("E:\\Lib\\P\\readme.md.setup-tmp")},
      {"a folder below the target is a link", true,
       [](FakeSystem& s) {
         s.putFile("D:\\Out\\b\\OFL.txt", "the user's own licence");
         s.makeDirectories("E:\\Lib\\S\\fonts\\static");
         s.removeName("E:\\Lib\\S\\fonts\\OFL.txt");
         s.removeName("E:\\Lib\\S\\fonts\\static\\Font-Regular.ttf");
         s.removeName("E:\\Lib\\S\\fonts\\static");
         s.removeName("E:\\Lib\\S\\fonts");
         s.putLink("E:\\Lib\\S\\fonts", "D:\\Out\\b", true);
       },
       std::string(kPalette),
       "IOError: E:\\Lib\\S\\fonts is a link to another folder: the installation writes into no "
       "folder through a link; replace it by a folder"},
      {"the palette directory bears the script directory's lock name", false,
       [](FakeSystem& s) { s.putFile("E:\\Lib\\S.setup-lock\\mine.txt", "the user's"); },
       "E:\\Lib\\S.setup-lock",
       "IOError: E:\\Lib\\S.setup-lock bears the name E:\\Lib\\S.setup-lock that the "
       "installation keeps for the lock of E:\\Lib\\S: choose another folder for one of them"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(row.name));
    restart(&AllOrNothing::prepareOutside);
    if (row.overComplete) {
      ASSERT_EQ(installCatching(), "");
      system.clearExitCode();
    }
    row.plant(system);
    const Tree before = system.tree();
    EXPECT_EQ(installReporting(row.palette, kScript, "E:\\Lib", payload.table()), row.error);
    EXPECT_FALSE(system.exitCode());
    EXPECT_EQ(system.tree(), before);
  }
}

// Two installations into the same directories, the second started between
// any two steps of the first, as two colleagues clicking at once: the one
// that comes second to a lock is refused before it changes anything, one of
// them always completes, and whatever either does, the trees end as exactly
// one complete installation; no temporary name or lock stays.
TEST_F(AllOrNothing, TwoInstallationsAtOnceLeaveOneCompleteInstallation) {
  for (const Start& start : kStarts) {
    if (start.leftovers) continue;
    SCOPED_TRACE(std::string(start.name));
    restart(start.prepare);
    ASSERT_EQ(installCatching(), "");
    const std::size_t calls = system.fileCalls();
    const auto filesOf = [](const Tree& tree) {
      Tree files;
      for (const auto& [path, content] : tree) {
        if (!isBackupName(path)) files.emplace(path, content);
      }
      return files;
    };
    const Tree complete = filesOf(system.tree());
    std::size_t refusals = 0;
    for (std::size_t n = 1; n <= calls; ++n) {
      SCOPED_TRACE("the second starts at call " + std::to_string(n));
      restart(start.prepare);
      SecondRun second;
      startSecondAt(n, second);
      const std::string first = installCatching();
      const std::optional<int> firstExit = system.exitCode();
      ASSERT_NE(second.error, "did not run");
      EXPECT_TRUE(firstExit || second.exit) << first << " / " << second.error;
      for (const std::string& error : {first, second.error}) {
        if (error.empty()) continue;
        ++refusals;
        EXPECT_TRUE(error.starts_with("IOError: another installation is running in ") ||
                    error.starts_with("OSError: "))
            << error;
      }
      EXPECT_EQ(filesOf(system.tree()), complete) << first << " / " << second.error;
      for (const auto& [path, content] : system.tree()) {
        EXPECT_EQ(path.find(".setup-"), std::string::npos) << path;
      }
    }
    EXPECT_GT(refusals, 0u);
  }
}

// A second installation started at any step after a call of the first has
// failed, its undo above all: the undo still holds the locks, so the second
// never meets a half-undone tree and is never undone under it. The trees end
// as one complete installation when either completed, else as they were.
TEST_F(AllOrNothing, ASecondInstallationNeverMeetsAnUndoHalfDone) {
  const auto filesOf = [](const Tree& tree) {
    Tree files;
    for (const auto& [path, content] : tree) {
      if (!isBackupName(path)) files.emplace(path, content);
    }
    return files;
  };
  for (const Start& start : kStarts) {
    if (start.leftovers) continue;
    SCOPED_TRACE(std::string(start.name));
    restart(start.prepare);
    const Tree before = filesOf(system.tree());
    ASSERT_EQ(installCatching(), "");
    const Tree complete = filesOf(system.tree());
    const std::size_t calls = system.fileCalls();
    for (std::size_t n = 1; n <= calls; ++n) {
      restart(start.prepare);
      system.failFileCall(n, kErrorAccessDenied);
      installCatching();
      const std::size_t failing = system.fileCalls();  // the undo's calls included
      for (std::size_t m = n + 1; m <= failing; ++m) {
        SCOPED_TRACE("call " + std::to_string(n) + " fails, the second starts at call " +
                     std::to_string(m));
        restart(start.prepare);
        system.failFileCall(n, kErrorAccessDenied);
        SecondRun second;
        startSecondAt(m, second);
        const std::string first = installCatching();
        ASSERT_NE(second.error, "did not run");
        const bool completed = system.exitCode() || second.exit;
        EXPECT_EQ(filesOf(system.tree()), completed ? complete : before)
            << first << " / " << second.error;
      }
    }
  }
}

}  // namespace
}  // namespace setup

namespace setup {
namespace {

// Reparse points that do not stand for another name, as a synchronised
// folder (OneDrive) or a deduplicated file server has them: their files are
// files, compared by their bytes; a placeholder whose content is elsewhere is
// kept aside unread, so that the installation never downloads it; a staging
// directory left on such a server is taken over as any other.
TEST_F(AllOrNothing, SynchronisedAndDeduplicatedFilesAreFiles) {
  constexpr std::uint32_t kTagCloud = 0x9000001A;  // IO_REPARSE_TAG_CLOUD_1
  constexpr std::uint32_t kTagDedup = 0x80000013;  // IO_REPARSE_TAG_DEDUP
  restart(&AllOrNothing::prepareNothing);
  ASSERT_EQ(installCatching(), "");
  const Tree complete = system.tree();

  // Reinstalled over identical synchronised and deduplicated copies.
  restart(&AllOrNothing::prepareNothing);
  for (const auto& [path, content] : complete) {
    if (content && path.starts_with("E:\\Lib\\")) {
      system.putReparseFile(path, *content, path.ends_with(".py") ? kTagDedup : kTagCloud, true);
    }
  }
  ASSERT_EQ(installCatching(), "");
  EXPECT_EQ(system.tree(), complete);

  // A changed file whose content is not on the disk: kept aside, not read.
  restart(&AllOrNothing::prepareNothing);
  system.putReparseFile("E:\\Lib\\P\\readme.md", "read me, version 1", kTagCloud, false);
  ASSERT_EQ(installCatching(), "");
  EXPECT_EQ(system.downloads(), 0u);
  ASSERT_EQ(backupsIn(kPalette).size(), 1u);
  EXPECT_EQ(system.contentOf("E:\\Lib\\P\\" + backupsIn(kPalette)[0]), "read me, version 1");
  EXPECT_EQ(system.contentOf("E:\\Lib\\P\\readme.md"), "read me, version 2");

  // A killed run's staging directory, deduplicated since.
  restart(&AllOrNothing::prepareNothing);
  system.putReparseDirectory("E:\\Lib\\S.setup-tmp", kTagDedup);
  system.putReparseFile("E:\\Lib\\S.setup-tmp\\vesk.py", "vers", kTagDedup, true);
  ASSERT_EQ(installCatching(), "");
  EXPECT_EQ(system.tree(), complete);
}

// Another program replaces a directory that the installation writes into by
// a link to a folder of its own, between any two steps: the directories the
// run writes into are held from their check on, so the swap is refused, or
// it came first and the run refuses the link. Nothing outside the targets
// changes, whatever the run ends with.
TEST_F(AllOrNothing, ADirectorySwappedForALinkNeverLeadsOutside) {
  const char* const swapped[] = {
      "E:\\Lib\\P.setup-tmp",
      "E:\\Lib\\S.setup-tmp",
      "E:\\Lib\\S.setup-tmp\\fonts",
      "E:\\Lib\\S.setup-tmp\\fonts\\static",
      "E:\\Lib\\S.setup-tmp\\resources",
      "E:\\Lib\\S\\fonts",
      "E:\\Lib\\S\\fonts\\static",
      "E:\\Lib\\S\\resources",
  };
  // The outside folder holds files of the payload's names, so that a write,
  // a back-up or an undo that went through a link would show.
  const auto prepareOutside = [&] {
    for (const char* name : {"readme.md", "vesk.py", "OFL.txt", "Font-Regular.ttf", "picture.png",
                             "VESK.pyp", "Liste de commande.png"}) {
      system.putFile(std::string("D:\\Out\\") + name, "the user's own");
    }
  };
  for (const Start& start : kStarts) {
    if (start.leftovers) continue;
    SCOPED_TRACE(std::string(start.name));
    restart(start.prepare);
    ASSERT_EQ(installCatching(), "");
    const std::size_t calls = system.fileCalls();
    std::size_t refusedSwaps = 0;
    for (std::size_t n = 1; n <= calls; ++n) {
      SCOPED_TRACE("swapped at call " + std::to_string(n));
      restart(start.prepare);
      prepareOutside();
      const Tree outside = below(system.tree(), "D:\\");
      system.onFileCall(n, [&] {
        for (const char* dir : swapped) {
          if (system.isDirectory(dir) && !system.swapForLink(dir, "D:\\Out")) ++refusedSwaps;
        }
      });
      const std::string error = installCatching();
      EXPECT_EQ(below(system.tree(), "D:\\Out"), below(outside, "D:\\Out")) << error;
    }
    EXPECT_GT(refusedSwaps, 0u);
  }
}

// A leftover that a scanner or an indexer holds open (sharing deletion) is
// removed as a name at once where the file system offers POSIX semantics;
// where it does not, Windows refuses the rename over it, which is tried
// again for a while and then named.
TEST_F(AllOrNothing, ALeftoverHeldByAnIndexerNeedNotBlockItsName) {
  for (const bool posix : {true, false}) {
    SCOPED_TRACE(posix ? "POSIX semantics" : "no POSIX semantics");
    restart(&AllOrNothing::prepareOlderInstallation);
    system.setPosixDelete(posix);
    system.putFile("E:\\Lib\\P\\readme.md.setup-tmp", "read me, ver");
    system.holdOpenSharingDelete("E:\\Lib\\P\\readme.md.setup-tmp");
    const std::string error = installCatching();
    if (posix) {
      EXPECT_EQ(error, "");
      EXPECT_EQ(system.contentOf("E:\\Lib\\P\\readme.md"), "read me, version 2");
    } else {
      EXPECT_EQ(error, "IOError: " + readOnlyOrHeld("E:\\Lib\\P\\readme.md.setup-tmp"));
      EXPECT_EQ(system.contentOf("E:\\Lib\\P\\readme.md"), "read me, changed by hand");
      EXPECT_GE(system.paused(), kRetryMilliseconds);
    }
  }
}

// A text that names no directory Windows can create: the directory step's
// boxes, as many as its calls that would fail, and nothing is created, not
// even a lock.
TEST_F(Install, ATextThatNamesNoDirectoryShowsTheBoxAndMakesNothing) {
  struct Case {
    std::string_view palette, script;
    std::size_t boxes;
  };
  const Case cases[] = {
      {"E:\\bad<>dir", "E:\\S", 1},     {"E:\\a?b", "E:\\S", 1},
      {"E:\\ok\\sub|x", "E:\\S", 1},    {"E:\\con", "E:\\S", 1},
      {"E:\\Lib\\NUL.txt", "E:\\S", 1}, {"E:\\Lib\\lpt1", "E:\\S", 1},
      {"E:\\Lib\\P:x", "E:\\S", 1},     {"E:\\P", "E:\\Lib\\S:x", 4},
      {"E:\\P", "E:\\Lib\\AUX ", 4},    {"E:\\bad*", "E:\\also\"bad", 5},
  };
  Payload payload;
  payload.add("p.txt", "palette").add("s.txt", "script", false);
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.palette) + " " + std::string(c.script));
    system = FakeSystem();
    SetUp();
    system.makeDirectories("E:\\Lib");
    const auto before = system.tree();
    install(c.palette, c.script, "E:", payload.table());
    EXPECT_EQ(system.messageBoxes().size(), c.boxes);
    EXPECT_FALSE(system.exitCode());
    EXPECT_EQ(system.tree(), before);
  }
}

// Two installations whose texts spell the same directories differently, the
// second started between any two steps of the first: they meet at the same
// locks, so one is refused and the trees end as one complete installation.
TEST_F(AllOrNothing, TwoSpellingsOfOneDirectoryMeetAtItsLock) {
  const auto installAs = [&](std::string_view palette, std::string_view script) {
    return installReporting(palette, script, "E:\\Lib", payload.table());
  };
  restart(&AllOrNothing::prepareOlderInstallation);
  system.mapDrive('F', "E:\\Lib");
  ASSERT_EQ(installAs(kPalette, kScript), "");
  const std::size_t calls = system.fileCalls();
  std::size_t refusals = 0;
  for (std::size_t n = 1; n <= calls; ++n) {
    SCOPED_TRACE("the second starts at call " + std::to_string(n));
    restart(&AllOrNothing::prepareOlderInstallation);
    system.mapDrive('F', "E:\\Lib");
    SecondRun second;
    startSecondAt(n, second, [&] { return installAs("F:\\P.", "f:/s"); });
    const std::string first = installAs(kPalette, kScript);
    EXPECT_TRUE(system.exitCode() || second.exit) << first << " / " << second.error;
    for (const std::string& error : {first, second.error}) {
      if (error.starts_with("IOError: another installation is running in ")) ++refusals;
    }
    EXPECT_EQ(system.contentOf("E:\\Lib\\P\\readme.md"), "read me, version 2");
  }
  EXPECT_GT(refusals, 0u);
}

// A directory of the user's that bears one of the installation's own names is
// the user's: never taken over as a staging leftover nor removed as a lock.
TEST_F(AllOrNothing, AUsersDirectoryWithOneOfOurNamesStaysTheUsers) {
  restart(&AllOrNothing::prepareNothing);
  system.putFile("E:\\Lib\\P.setup-tmp\\vesk.py", "an older installation");
  system.putFile("E:\\Lib\\P.setup-tmp\\mine.txt", "the user's own");
  EXPECT_EQ(installReporting(kPalette, "E:\\Lib\\P.setup-tmp", "E:\\Lib", payload.table()), "");
  EXPECT_EQ(system.exitCode(), 0);
  EXPECT_EQ(system.contentOf("E:\\Lib\\P.setup-tmp\\mine.txt"), "the user's own");
  EXPECT_EQ(system.contentOf("E:\\Lib\\P\\readme.md"), "read me, version 2");
  EXPECT_EQ(system.contentOf("E:\\Lib\\P.setup-tmp\\fonts\\OFL.txt"), "licence");
}

// A lock is held for each target or the run stops: the directory made for a
// lock is held from the call that makes it, so another run's undo cannot
// remove it before the lock is taken; nothing of a target is made without
// its lock.
TEST_F(AllOrNothing, NoTargetIsMadeWithoutItsLock) {
  const auto prepare = [&] { restart(&AllOrNothing::prepareNothing); };
  constexpr std::string_view kNewPalette = "E:\\New\\P";
  const auto run = [&] {
    return installReporting(kNewPalette, kScript, "E:\\Lib", payload.table());
  };
  prepare();
  ASSERT_EQ(run(), "");
  const Tree complete = system.tree();
  const std::size_t calls = system.fileCalls();
  std::size_t refused = 0;
  for (std::size_t n = 1; n <= calls; ++n) {
    SCOPED_TRACE("the lock's directory goes at call " + std::to_string(n));
    prepare();
    const Tree before = system.tree();
    system.onFileCall(n, [&] {
      if (system.isDirectory("E:\\New") && system.list("E:\\New").empty() &&
          !system.removeEmptyDirectory("E:\\New")) {
        ++refused;
      }
    });
    // From then on, whenever the palette directory or its staging copy
    // exists, the run holds the palette's lock.
    for (std::size_t later = n + 1; later <= n + calls + 10; ++later) {
      system.onFileCall(later, [&] {
        if (system.isDirectory("E:\\New\\P") || system.isDirectory("E:\\New\\P.setup-tmp")) {
          EXPECT_TRUE(system.isHeld("E:\\New\\P.setup-lock"));
        }
      });
    }
    const std::string error = run();
    if (system.exitCode()) {
      EXPECT_EQ(system.tree(), complete);
    } else {
      EXPECT_EQ(system.tree(), before) << error;
    }
  }
  EXPECT_GT(refused, 0u);
}

// The words of a refusal: which lock, and why it may be held; a lock that
// the user may not remove is named as such.
TEST_F(AllOrNothing, ARefusedLockSaysWhichAndWhy) {
  restart(&AllOrNothing::prepareOlderInstallation);
  std::unique_ptr<HeldFile> other;
  ASSERT_EQ(system.holdFile("E:\\Lib\\S.setup-lock", &other), 0u);
  EXPECT_EQ(installCatching(),
            "IOError: another installation is running in E:\\Lib\\S: try again once it has "
            "finished. It holds the lock file E:\\Lib\\S.setup-lock; on a file server, a computer "
            "that stopped may keep holding it for a few minutes.");
  other.reset();

  restart(&AllOrNothing::prepareOlderInstallation);
  system.putFile("E:\\Lib\\S.setup-lock", "");
  system.denyChanges("E:\\Lib\\S.setup-lock");
  EXPECT_EQ(installCatching(),
            "IOError: the lock file E:\\Lib\\S.setup-lock of an earlier installation, by another "
            "user, cannot be removed with your permissions: if no installation is running in "
            "E:\\Lib\\S, have it removed, then try again");
}

// Either lock is enough, beside the target or inside it, where the user may
// not create the other.
TEST_F(AllOrNothing, OneOfTheTwoLocksIsEnough) {
  for (const char* denied : {"E:\\Lib\\S.setup-lock", "E:\\Lib\\S\\.setup-lock"}) {
    SCOPED_TRACE(denied);
    restart(&AllOrNothing::prepareOlderInstallation);
    system.makeDirectories("E:\\Lib\\S\\fonts\\static");
    system.makeDirectories("E:\\Lib\\S\\resources");
    system.denyChanges(denied);
    EXPECT_EQ(installCatching(), "");
    EXPECT_EQ(system.exitCode(), 0);
    EXPECT_EQ(system.contentOf("E:\\Lib\\S\\vesk.py"), "path = 'E:\\\\Lib\\\\S'\nversion 2\n");
  }
}

}  // namespace
}  // namespace setup

namespace setup {
namespace {

// Set-ups that users have every day: a FAT32 or exFAT drive, a file server
// or a ReFS volume whose 64-bit ids say nothing, a virus scanner that opens
// each new file for a moment. A first installation and a reinstallation end
// complete with no back-up, and each of the two targets, which end in the
// same name, holds its own lock.
TEST_F(AllOrNothing, OrdinarySetUpsInstall) {
  using Volume = FakeSystem::Volume;
  const std::string palette = "E:\\Lib\\pal\\MELDRA";
  const std::string script = "E:\\Lib\\scr\\MELDRA";
  struct Row {
    std::string_view name;
    Volume volume;
    std::size_t scan;  // calls for which the scanner holds each new file
    bool posix = true;
  };
  const Row rows[] = {
      {"NTFS", Volume::ntfs, 0},
      {"NTFS, scanner", Volume::ntfs, 3},
      {"NTFS before Windows 10 1709, scanner", Volume::ntfs, 3, false},
      {"FAT32 or exFAT", Volume::fat, 0},
      {"FAT32 or exFAT, scanner", Volume::fat, 3},
      {"file server without ids", Volume::fileServerWithoutIds, 0},
      {"file server without ids, scanner", Volume::fileServerWithoutIds, 3},
      {"ReFS", Volume::refs, 0},
  };
  // The lock files go with the run, or stay delete-pending while the
  // scanner holds them.
  const auto installed = [&] {
    Tree tree = system.tree();
    std::erase_if(tree, [](const auto& node) { return node.first.ends_with(".setup-lock"); });
    return tree;
  };
  std::optional<Tree> complete;
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(row.name));
    restart(&AllOrNothing::prepareNothing);
    system.makeDirectories("E:\\Lib\\pal");
    system.makeDirectories("E:\\Lib\\scr");
    system.setVolume("E:", row.volume);
    system.setPosixDelete(row.posix);
    system.scanNewFiles(row.scan);
    for (const std::string_view run : {"first installation", "reinstallation"}) {
      SCOPED_TRACE(std::string(run));
      system.clearExitCode();
      const std::size_t locksBefore = system.heldFiles().size();
      EXPECT_EQ(installReporting(palette, script, "E:\\Lib", payload.table()), "");
      EXPECT_EQ(system.exitCode(), 0);
      if (!complete) complete = installed();
      EXPECT_EQ(installed(), *complete);
      const std::vector<std::string> locks(system.heldFiles().begin() + locksBefore,
                                           system.heldFiles().end());
      for (const std::string& target : {palette, script}) {
        EXPECT_NE(std::find(locks.begin(), locks.end(), target + ".setup-lock"), locks.end())
            << target << " was not locked";
      }
      // A run that meets no hold waits for none.
      if (row.scan == 0) {
        EXPECT_EQ(system.paused(), 0u);
      }
    }
  }
  ASSERT_TRUE(complete);
  EXPECT_EQ(std::count_if(complete->begin(), complete->end(),
                          [](const auto& node) { return node.second.has_value(); }),
            7);
}

// A hold that does not end: the run is undone and says which folder could
// not be put in place, and why.
TEST_F(AllOrNothing, AHoldThatLastsIsNamed) {
  restart(&AllOrNothing::prepareNothing);
  const Tree before = system.tree();
  system.scanNewFiles(1'000'000);
  EXPECT_EQ(installCatching(), "IOError: the folder E:\\Lib\\P could not be put in place: " +
                                   heldByAnotherProgram("a file in E:\\Lib\\P.setup-tmp"));
  EXPECT_EQ(system.tree(), before);
  EXPECT_GE(system.paused(), kRetryMilliseconds);
  EXPECT_LE(system.paused(), 2 * kRetryMilliseconds);
}

}  // namespace
}  // namespace setup

namespace setup {
namespace {

// Controlled folder access refuses the writes of programs it does not know
// below Documents, as access denied: the message says so there, and only
// there.
TEST_F(Install, ARefusalBelowDocumentsNamesControlledFolderAccess) {
  struct Row {
    std::string_view palette;
    bool hinted;
  };
  const Row rows[] = {
      {"C:\\users\\anne\\Documents\\Allplan\\P", true},
      {"c:/Users/Public/documents/P", true},
      {"C:\\users\\anne\\Documents", true},
      {"C:\\users\\anne\\Documents old\\P", false},
      {"D:\\Data\\P", false},
  };
  Payload payload;
  payload.add("readme.md", "read me");
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(row.palette));
    system = FakeSystem();
    SetUp();
    system.setEnvironment("PUBLIC", "C:\\Users\\Public");
    system.makeDirectories(row.palette);
    system.denyChanges(row.palette);
    const std::string error = installReporting(row.palette, "D:\\S", "D:", payload.table());
    EXPECT_EQ(error.substr(0, error.find('\n')),
              "IOError: cannot open: " + std::string(row.palette) + "\\readme.md");
    EXPECT_EQ(error.find("controlled folder access") != std::string::npos, row.hinted) << error;
  }
}

}  // namespace
}  // namespace setup

namespace setup {
namespace {

// Another user who may write in the library folder changes a directory the
// run uses, at every file call, in each way Windows allows whatever the run
// holds: an empty directory made into a junction in place, a link re-pointed,
// an empty directory that nobody holds removed and a link put in its place.
// Every directory of the run is changed so: the lock's parent, both targets,
// the user's link and what it leads to, both staging directories and every
// sub-directory. The outside folder, which holds files of the payload's
// names, stays byte for byte, and each run ends complete or stopped with a
// message that names a directory of the run.
TEST_F(AllOrNothing, DirectoriesChangedMidWayNeverLeadOutside) {
  enum class Change { convert, removeAndLink, repoint };
  struct Row {
    std::string_view name;
    Change change;
  };
  const Row rows[] = {
      {"an empty directory made into a junction", Change::convert},
      {"an empty directory removed and a link put there", Change::removeAndLink},
      {"a link re-pointed", Change::repoint},
  };
  // The script target is the user's link to a folder of theirs.
  const auto overLink = [this] {
    prepareOlderInstallation();
    system.makeDirectories("E:\\Real");
    system.putFile("E:\\Real\\S\\vesk.py", "version 1\n");
    system.putFile("E:\\Real\\S\\fonts\\OFL.txt", "licence");
    for (const std::string& path :
         {std::string("E:\\Lib\\S\\vesk.py"), std::string("E:\\Lib\\S\\fonts\\OFL.txt")}) {
      system.removeName(path);
    }
    system.removeName("E:\\Lib\\S\\fonts");
    system.removeName("E:\\Lib\\S");
    system.putLink("E:\\Lib\\S", "E:\\Real\\S", true);
  };
  struct Begin {
    std::string_view name;
    std::function<void()> prepare;
    bool link;
  };
  const Begin begins[] = {
      {"first installation", [] {}, false},
      {"over an older installation through the user's link", overLink, true},
  };
  const auto prepareOutside = [&] {
    for (const char* name : {"readme.md", "vesk.py", "OFL.txt", "Font-Regular.ttf", "picture.png",
                             "VESK.pyp", "Liste de commande.png"}) {
      system.putFile(std::string("D:\\Out\\") + name, "the user's own");
    }
  };
  // Every directory and link of the run, below the library and the user's
  // own folder.
  const auto ofTheRun = [&] {
    std::vector<std::string> paths;
    for (const auto& [path, content] : system.tree()) {
      if ((path.starts_with("E:\\Lib") || path.starts_with("E:\\Real")) &&
          (!content || system.isLink(path))) {
        paths.push_back(path);
      }
    }
    return paths;
  };
  for (const Begin& begin : begins) {
    SCOPED_TRACE(std::string(begin.name));
    restart(&AllOrNothing::prepareNothing);
    begin.prepare();
    ASSERT_EQ(installCatching(), "");
    const std::size_t calls = system.fileCalls();
    for (const Row& row : rows) {
      SCOPED_TRACE(std::string(row.name));
      std::size_t changed = 0;
      std::size_t tried = 0;  // empty directories of the run met
      for (std::size_t n = 1; n <= calls; ++n) {
        SCOPED_TRACE("changed at call " + std::to_string(n));
        restart(&AllOrNothing::prepareNothing);
        begin.prepare();
        prepareOutside();
        const Tree outside = below(system.tree(), "D:\\Out");
        const Tree real = below(system.tree(), "E:\\Real");
        std::vector<std::string> changedPaths;
        system.onFileCall(n, [&] {
          for (const std::string& path : ofTheRun()) {
            tried += system.isDirectory(path) && system.list(path).empty() ? 1 : 0;
            bool done = false;
            switch (row.change) {
              case Change::convert:
                done = !system.isLink(path) && system.convertToJunction(path, "D:\\Out");
                break;
              case Change::removeAndLink:
                done = !system.isLink(path) && system.removeEmptyDirectory(path);
                if (done) system.putLink(path, "D:\\Out", true);
                break;
              case Change::repoint:
                done = system.isLink(path) && system.repointLink(path, "D:\\Out");
                break;
            }
            if (done) changedPaths.push_back(path);
          }
        });
        const std::string error = installCatching();
        changed += changedPaths.empty() ? 0 : 1;
        if (row.change == Change::repoint && below(system.tree(), "E:\\Real") == real) {
          // Re-pointed before the run opened it: the user's link led there
          // when the run looked, and the run kept to it. The files of that
          // folder that the payload replaces are kept aside, never lost.
          const Tree now = below(system.tree(), "D:\\Out");
          for (const auto& [path, content] : outside) {
            const bool kept = std::any_of(now.begin(), now.end(), [&](const auto& node) {
              return node.first.starts_with(path) && node.second == content;
            });
            EXPECT_TRUE(kept) << path << " lost; " << error;
          }
        } else {
          EXPECT_EQ(below(system.tree(), "D:\\Out"), outside) << error;
        }
        if (error.empty()) {
          EXPECT_EQ(system.exitCode(), 0);
          EXPECT_EQ(system.contentOf("E:\\Lib\\P\\readme.md"), "read me, version 2");
          continue;
        }
        const bool named = std::any_of(changedPaths.begin(), changedPaths.end(),
                                       [&](const std::string& path) {
                                         return error.find(path) != std::string::npos;
                                       }) ||
                           error.find("E:\\Lib") != std::string::npos;
        EXPECT_TRUE(named) << error;
      }
      // Every directory the run has made or met is held: removing an empty
      // one is refused from then on.
      switch (row.change) {
        case Change::convert:
          EXPECT_GT(changed, 0u);
          break;
        case Change::removeAndLink:
          EXPECT_GT(tried, 0u);
          break;
        case Change::repoint:
          EXPECT_EQ(changed > 0, begin.link);
          break;
      }
    }
  }
}

}  // namespace
}  // namespace setup
