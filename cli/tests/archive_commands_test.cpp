// pack, unpack and list as a script runs them: the built kestravuna-cli on a real folder.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "compress/zarlz.h"
#include "test_support/cli_runner.h"
#include "test_support/temp_folder.h"

namespace {

namespace fs = std::filesystem;
using kestravuna::test_support::CliOutcome;
using kestravuna::test_support::ReadFile;
using kestravuna::test_support::TempFolder;
using kestravuna::test_support::WriteBytes;
using kestravuna::test_support::WriteFile;

bool IsReadOnly(const fs::path& path) {
  return (fs::status(path).permissions() & fs::perms::owner_write) == fs::perms::none;
}

std::vector<std::string> SortedNames(const fs::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

class ArchiveCommandsTest : public testing::Test {
 protected:
  CliOutcome Cli(const std::vector<std::string>& args) {
    return kestravuna::test_support::RunCli(args, root_ / "cache");
  }

  // Files as a folder holds them: text, binary data across several copy buffers, a read-only
  // file, a hidden one, an empty one, an umlaut in a name, and a subfolder that stays out.
  fs::path MakeSourceFolder() {
    const fs::path source = root_ / "quelle";
    std::string letter;
    for (int line = 0; line < 500; ++line) letter += "Zeile " + std::to_string(line) + ": Grüße\n";
    WriteFile(source / "brief.txt", letter);
    WriteBytes(source / "daten.bin", kestravuna::test_support::RandomBytes(3 * (1 << 20) + 5, 4));
    WriteFile(source / "Übersicht.md", "# Übersicht\n");
    WriteFile(source / "schreibgeschützt.txt", "nur lesen");
    fs::permissions(source / "schreibgeschützt.txt",
                    fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
    WriteFile(source / ".versteckt", "unsichtbar");
    WriteFile(source / "leer", "");
    fs::create_directory(source / "Unterordner");
    return source;
  }

  TempFolder root_;
};

TEST_F(ArchiveCommandsTest, PackAndUnpackGiveBackTheFolder) {
  const fs::path source = MakeSourceFolder();
  const fs::path archive = root_ / "archiv.cry", target = root_ / "ziel";
  fs::create_directory(target);

  // With --verbose every file as it is packed; otherwise only the result line.
  const CliOutcome pack = Cli({"pack", "--verbose", source.string(), archive.string()});
  ASSERT_EQ(pack.exitCode, 0) << pack.err;
  EXPECT_NE(pack.err.find("Kodiere schreibgeschützt.txt...\n"), std::string::npos) << pack.err;
  EXPECT_NE(pack.err.find("Gepackt: 6 Dateien, 3,2 MB → 3,2 MB in "), std::string::npos)
      << pack.err;
  const CliOutcome unpack = Cli({"unpack", archive.string(), target.string()});
  ASSERT_EQ(unpack.exitCode, 0) << unpack.err;
  EXPECT_TRUE(unpack.err.starts_with("Entpackt: 6 Dateien, 3,2 MB → 3,2 MB in ")) << unpack.err;
  EXPECT_EQ(std::count(unpack.err.begin(), unpack.err.end(), '\n'), 1) << unpack.err;

  std::vector<std::string> files = SortedNames(source);
  files.erase(std::find(files.begin(), files.end(), "Unterordner"));
  ASSERT_GT(files.size(), 4u);
  EXPECT_EQ(SortedNames(target), files);
  for (const std::string& name : files) {
    EXPECT_EQ(ReadFile(target / name), ReadFile(source / name)) << name;
    EXPECT_EQ(IsReadOnly(target / name), IsReadOnly(source / name)) << name;
  }
  EXPECT_TRUE(IsReadOnly(target / "schreibgeschützt.txt"));
}

TEST_F(ArchiveCommandsTest, ListShowsTheDirectoryOfAnArchiveOrContainer) {
  const fs::path source = root_ / "quelle", archive = root_ / "archiv.cry";
  fs::create_directory(source);
  WriteFile(source / ".versteckt", "12345");
  ASSERT_EQ(Cli({"pack", source.string(), archive.string()}).exitCode, 0);
  const std::string expected = "A-H-          5 .versteckt\n1 Dateien, 5 Bytes\n";

  const CliOutcome listArchive = Cli({"list", archive.string()});
  EXPECT_EQ(listArchive.exitCode, 0) << listArchive.err;
  EXPECT_EQ(listArchive.out, expected);

  for (const auto mode : {kestravuna::TCompressMode::Good, kestravuna::TCompressMode::Fast}) {
    const fs::path container = root_ / "CHIFF.CRY";
    kestravuna::TZarLZ pack;
    pack.InputFile = archive.string();
    pack.OutputFile = container.string();
    pack.CompressMode = mode;
    pack.Compress();
    const CliOutcome listContainer = Cli({"list", container.string()});
    EXPECT_EQ(listContainer.exitCode, 0) << listContainer.err;
    EXPECT_EQ(listContainer.out, expected);
    EXPECT_TRUE(fs::is_empty(root_ / "cache" / "kestravuna"));  // the decompressed copy is gone
  }
}

TEST_F(ArchiveCommandsTest, ExitStatusOfFailures) {
  WriteFile(root_ / "kaputt.cry", std::string(100, 'x'));
  struct Case {
    std::vector<std::string> args;
    int exitCode;
    std::string message;
  };
  const Case cases[] = {
      {{"pack", "nur-eins"}, 2, "Erwartet werden ORDNER und ARCHIV."},
      {{"unpack"}, 2, "Erwartet werden ARCHIV und ORDNER."},
      {{"list", "a", "b"}, 2, "Erwartet wird eine Datei."},
      {{"list", (root_ / "fehlt").string()},
       1,
       "Datei nicht gefunden: " + (root_ / "fehlt").string() + "\n"},
      {{"list", (root_ / "kaputt.cry").string()}, 1, "Lesen nach Dateiende (EOF)\n"},
      {{"unpack", (root_ / "kaputt.cry").string(), root_.path().string()},
       1,
       "Lesen nach Dateiende (EOF)\n"},
      {{"pack", (root_ / "fehlt").string(), (root_ / "a.cry").string()},
       1,
       "Ordner nicht gefunden: " + (root_ / "fehlt").string() + "\n"},
      {{"pack", (root_ / "kaputt.cry").string(), (root_ / "a.cry").string()},
       1,
       "Kein Ordner: " + (root_ / "kaputt.cry").string() + " ist eine Datei"},
      {{"unpack", (root_ / "kaputt.cry").string(), (root_ / "fehlt").string()},
       1,
       "Ordner nicht gefunden: " + (root_ / "fehlt").string() + "\n"},
  };
  for (const Case& c : cases) {
    const CliOutcome run = Cli(c.args);
    EXPECT_EQ(run.exitCode, c.exitCode) << c.args[0];
    EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
  }
}

}  // namespace
