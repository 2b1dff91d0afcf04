#include "protect/folder_scan.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "protect/tests/recording_view.h"
#include "test_support/temp_folder.h"

namespace kestravuna {
namespace {

using test_support::RecordingView;
using test_support::Shown;
using test_support::TempFolder;
using test_support::WriteFile;
namespace fs = std::filesystem;

TEST(MegabyteText, CountsUnitsOf1024000BytesWithTwoDecimals) {
  struct Case {
    std::uint64_t bytes;
    const char* text;
  } cases[] = {
      {0, "0.00 MB"},
      {512, "0.00 MB"},
      {5'119, "0.00 MB"},  // just below half a hundredth
      {5'120, "0.01 MB"},  // half a hundredth rounds up
      {1'024'000, "1.00 MB"},
      {3'145'728, "3.07 MB"},
      {10'737'418'240, "10485.76 MB"},  // 10 GiB: beyond every 32-bit total
      {102'400'000'000'000, "100000000.00 MB"},
  };
  for (const Case& c : cases) EXPECT_EQ(MegabyteText(c.bytes), c.text) << c.bytes;
}

class FolderScanTest : public testing::Test {
 protected:
  TempFolder folder;
  RecordingView view;
  FolderScan scan{view};
};

TEST_F(FolderScanTest, CountsPlainFilesAtEveryDepthAndSkipsHiddenOnes) {
  WriteFile(folder / "a.txt", std::string(1000, 'a'));
  WriteFile(folder / "b.bin", std::string(24, 'b'));
  WriteFile(folder / ".hidden", "not counted");
  WriteFile(folder / "sub" / "c.txt", "ccc");
  WriteFile(folder / "sub" / "deeper" / "d.txt", "dddd");
  WriteFile(folder / ".hiddenfolder" / "e.txt", "not counted, not entered");
  fs::create_directory(folder / "empty");
  WriteFile(folder / "readonly.txt", "r");
  fs::permissions(folder / "readonly.txt", fs::perms::owner_read);

  scan.ScanFolder(folder.path());

  const ScanStatistics& statistics = scan.Statistics();
  EXPECT_EQ(statistics.fileCount, 5);
  EXPECT_EQ(statistics.subFolderCount, 3);  // sub, sub/deeper, empty
  EXPECT_EQ(statistics.totalBytes, 1000u + 24 + 3 + 4 + 1);
  EXPECT_FALSE(statistics.isProtected);
  EXPECT_EQ(view.labels[Shown::Files], "5");
  EXPECT_EQ(view.labels[Shown::SubFolders], "3");
  EXPECT_EQ(view.labels[Shown::Size], "0.00 MB");
  EXPECT_EQ(view.labels[Shown::Status], "bereit");
  EXPECT_TRUE(view.actions[Action::Protect]);
  EXPECT_FALSE(view.actions[Action::Restore]);
  EXPECT_EQ(view.pumps, 5);  // once per counted file
}

TEST_F(FolderScanTest, StatusAndButtonsFollowEveryNestedScan) {
  WriteFile(folder / "sub" / "x.txt", "x");

  scan.ScanFolder(folder.path());

  const std::vector<std::string> expected = {
      // the figures so far, zero at the start of a scan
      "files=0", "size=0.00 MB", "status=Analyse läuft...", "subfolders=1",
      // the nested scan of sub
      "status=Analyse läuft...", "files=1", "size=0.00 MB", "progress=1", "subfolders=1",
      "protect=1", "restore=0", "status=bereit",
      // the end of the top-level scan
      "subfolders=1", "protect=1", "restore=0", "status=bereit"};
  EXPECT_EQ(view.events, expected);
}

TEST(FolderScanProtectedMark, IsACaseSensitiveSubstringOfAPlainFileAtAnyDepth) {
  struct Case {
    const char* file;
    bool isProtected;
  } cases[] = {
      {"CHIFF.CRY", true},          {"sub/deep/CHIFF.CRY", true}, {"ALTCHIFF.CRY.BAK", true},
      {"chiff.cry", false},         {".CHIFF.CRY", false},  // hidden
      {".folder/CHIFF.CRY", false},  // inside a hidden folder, which is not entered
      {"CHIFF.CRD", false},
  };
  for (const Case& c : cases) {
    TempFolder folder;
    RecordingView view;
    FolderScan scan(view);
    WriteFile(folder / c.file, "x");
    scan.ScanFolder(folder.path());
    EXPECT_EQ(scan.Statistics().isProtected, c.isProtected) << c.file;
    EXPECT_EQ(view.actions[Action::Protect], !c.isProtected) << c.file;
    EXPECT_EQ(view.actions[Action::Restore], c.isProtected) << c.file;
  }
}

TEST_F(FolderScanTest, ProgressRunsFrom1To100AndStartsAgainAt1) {
  for (int i = 0; i < 101; ++i) WriteFile(folder / ("f" + std::to_string(i)), "");

  scan.ScanFolder(folder.path());

  std::vector<int> expected;
  for (int i = 1; i <= 100; ++i) expected.push_back(i);
  expected.push_back(1);
  EXPECT_EQ(view.ProgressValues(), expected);
}

TEST_F(FolderScanTest, TotalsAreSixtyFourBit) {
  // Sparse files take no disk space but report their full size.
  for (const char* name : {"big1", "big2", "big3"}) {
    WriteFile(folder / name, "");
    fs::resize_file(folder / name, 5'000'000'000);  // each beyond 2^32
  }

  scan.ScanFolder(folder.path());

  EXPECT_EQ(scan.Statistics().totalBytes, 15'000'000'000u);
  EXPECT_EQ(view.labels[Shown::Size], "14648.44 MB");
}

TEST_F(FolderScanTest, AScanAddsToTheCountersUntilTheyAreReset) {
  WriteFile(folder / "a", "12");
  scan.ScanFolder(folder.path());
  scan.ScanFolder(folder.path());
  EXPECT_EQ(scan.Statistics().fileCount, 2);
  EXPECT_EQ(scan.Statistics().totalBytes, 4u);

  scan.ResetStatistics();
  scan.ScanFolder(folder.path());
  EXPECT_EQ(scan.Statistics().fileCount, 1);
  EXPECT_EQ(scan.Statistics().progressStep, 1);
}

TEST_F(FolderScanTest, AScanWithoutPlainFilesShowsZerosNotTheFiguresOfTheFolderBefore) {
  fs::create_directory(folder / "sub");
  view.labels[Shown::Files] = "7";
  view.labels[Shown::Size] = "3.07 MB";

  scan.ScanFolder(folder.path());

  EXPECT_EQ(view.labels[Shown::Files], "0");
  EXPECT_EQ(view.labels[Shown::Size], "0.00 MB");
  EXPECT_EQ(view.labels[Shown::SubFolders], "1");
}

TEST_F(FolderScanTest, AFolderThatCannotBeListedCountsAsEmpty) {
  scan.ScanFolder(folder / "vanished");

  EXPECT_EQ(scan.Statistics().fileCount, 0);
  EXPECT_EQ(view.labels[Shown::SubFolders], "0");
  EXPECT_EQ(view.labels[Shown::Status], "bereit");
  EXPECT_TRUE(view.actions[Action::Protect]);
}

TEST_F(FolderScanTest, CancelFinishesTheFilesOfTheCurrentFolderAndStopsEveryLaterScan) {
  WriteFile(folder / "a", "1");
  WriteFile(folder / "b", "2");
  WriteFile(folder / "one" / "c", "3");
  WriteFile(folder / "two" / "d", "4");
  view.onPump = [&] { scan.Cancel(); };  // pressed while the first file is counted

  scan.ScanFolder(folder.path());

  EXPECT_EQ(scan.Statistics().fileCount, 2);  // the top level's files are finished
  EXPECT_EQ(scan.Statistics().subFolderCount, 2);
  EXPECT_EQ(view.labels[Shown::Files], "Scan abgebrochen");
  EXPECT_EQ(view.labels[Shown::Size], "Scan abgebrochen");
  EXPECT_EQ(view.labels[Shown::SubFolders], "2");

  view.Clear();
  scan.ResetStatistics();
  scan.ScanFolder(folder.path());
  const std::vector<std::string> stoppedAtOnce = {
      "status=Analyse läuft...", "subfolders=Scan abgebrochen", "files=Scan abgebrochen",
      "size=Scan abgebrochen"};
  EXPECT_EQ(view.events, stoppedAtOnce);  // buttons and status stay as they were
  EXPECT_TRUE(scan.cancelScan());

  scan.StartNewFolder();
  view.onPump = nullptr;
  scan.ScanFolder(folder.path());
  EXPECT_FALSE(scan.cancelScan());
  EXPECT_EQ(scan.Statistics().fileCount, 4);
}

TEST_F(FolderScanTest, ARestartDuringTheWalkStopsTheOuterWalk) {
  TempFolder other;
  WriteFile(other / "only", "123");
  WriteFile(folder / "a", "1");
  WriteFile(folder / "b", "2");
  WriteFile(folder / "sub" / "c", "3");
  bool nested = false;
  view.onPump = [&] {
    if (nested) return;
    nested = true;  // another folder is chosen while the first file is counted
    scan.StartNewFolder();
    scan.ScanFolder(other.path());
  };

  scan.ScanFolder(folder.path());

  EXPECT_EQ(scan.Statistics().fileCount, 1);
  EXPECT_EQ(scan.Statistics().totalBytes, 3u);
  EXPECT_EQ(view.labels[Shown::Files], "1");
}

}  // namespace
}  // namespace kestravuna
