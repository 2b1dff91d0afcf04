// compress, decompress and advise as a script runs them: the built kestravuna-cli on real files.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "test_support/cli_runner.h"
#include "test_support/temp_folder.h"

namespace {

namespace fs = std::filesystem;
using kestravuna::test_support::CliOutcome;
using kestravuna::test_support::ReadFile;
using kestravuna::test_support::TempFolder;
using kestravuna::test_support::WriteFile;

class CompressCommandsTest : public testing::Test {
 protected:
  CliOutcome Cli(const std::vector<std::string>& args) {
    return kestravuna::test_support::RunCli(args, root_ / "cache");
  }

  std::string Path(const std::string& name) const { return (root_ / name).string(); }

  TempFolder root_;
};

// A real file of this machine, several chunks long and neither text nor noise: the program.
TEST_F(CompressCommandsTest, RoundTripOfTheProgramFileInEveryMode) {
  const std::string original = ReadFile(KESTRAVUNA_CLI);
  ASSERT_GT(original.size(), 100000U);
  struct Case {
    std::string mode;
    std::string identifier;
  };
  for (const Case& c : {Case{"good", "!HZL"}, Case{"fast", "WRZL"}, Case{"auto", ""}}) {
    const std::string container = Path("container." + c.mode);
    const std::string restored = Path("restored." + c.mode);
    const CliOutcome compress = Cli({"compress", "--mode", c.mode, KESTRAVUNA_CLI, container});
    ASSERT_EQ(compress.exitCode, 0) << c.mode << ": " << compress.err;
    EXPECT_TRUE(compress.err.starts_with("Komprimiert: 1 Datei, ")) << compress.err;
    const std::string packed = ReadFile(container);
    ASSERT_GE(packed.size(), 8U);
    if (!c.identifier.empty()) {
      EXPECT_EQ(packed.substr(0, 4), c.identifier) << c.mode;
    }
    EXPECT_LT(packed.size(), original.size()) << c.mode;

    const CliOutcome decompress = Cli({"decompress", container, restored});
    ASSERT_EQ(decompress.exitCode, 0) << c.mode << ": " << decompress.err;
    EXPECT_TRUE(decompress.err.starts_with("Dekomprimiert: 1 Datei, ")) << decompress.err;
    EXPECT_TRUE(ReadFile(restored) == original) << c.mode;
  }
}

TEST_F(CompressCommandsTest, AdvisePrintsTheModeAndTheReason) {
  const std::string zeros = Path("zeros");
  WriteFile(zeros, std::string(1 << 20, '\0'));
  const CliOutcome run = Cli({"advise", zeros});
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(run.out, "fast\nEs wird schnelle Kompression empfohlen: 0%.\n");
}

// The component's German message on standard error and exit 1; nothing left behind.
TEST_F(CompressCommandsTest, FailureExitsWithOneAndTheMessage) {
  const std::string notAContainer = Path("plain.txt");
  const std::string target = Path("target");
  WriteFile(notAContainer, "kein Container");
  const CliOutcome run = Cli({"decompress", notAContainer, target});
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(run.err, notAContainer + " hat ein ungültiges Format.\n");
  EXPECT_FALSE(fs::exists(target));

  const CliOutcome missing = Cli({"compress", Path("missing"), target});
  EXPECT_EQ(missing.exitCode, 1);
  EXPECT_EQ(missing.err,
            "Fehler beim Feststellen der Dateigröße(n) von: " + Path("missing") + "\n");
}

TEST_F(CompressCommandsTest, WrongArgumentsExitWithTwo) {
  const std::string in = Path("in");
  WriteFile(in, "abc");
  for (const std::vector<std::string>& args :
       std::vector<std::vector<std::string>>{{"compress", in},
                                             {"compress", "--mode", "slow", in, Path("out")},
                                             {"compress", in, Path("out"), "--mode"},
                                             {"compress", "-x", in, Path("out")},
                                             {"decompress", in},
                                             {"advise"},
                                             {"advise", in, in}}) {
    const CliOutcome run = Cli(args);
    EXPECT_EQ(run.exitCode, 2) << args[0] << " " << args.size();
    EXPECT_NE(run.err.find("Aufruf: kestravuna-cli " + args[0]), std::string::npos) << run.err;
  }
  EXPECT_FALSE(fs::exists(Path("out")));
}

}  // namespace
