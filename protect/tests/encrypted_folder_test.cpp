// Protect with encryption and the restore of an encrypted folder, through the core the window and
// the command line share: what comes back, what the files show of the contents and the password,
// what a program that knows only legacy containers makes of them, and that a wrong password or
// any altered byte changes nothing.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "archive/pack_folder.h"
#include "compress/byte_stream.h"
#include "compress/container_format.h"
#include "compress/zarlz.h"
#include "platform/code_page.h"
#include "protect/container_check.h"
#include "protect/folder_protector.h"
#include "protect/folder_verify.h"
#include "protect/password_record.h"
#include "protect/tests/protector_fixture.h"
#include "protect/tests/recording_view.h"
#include "seal/sealed_container.h"
#include "test_support/bytes.h"
#include "test_support/temp_folder.h"

namespace kestravuna {
namespace {

using test_support::ReadFile;
using test_support::Snapshot;
using test_support::WriteFile;
namespace fs = std::filesystem;
using Files = std::map<std::string, std::string>;

constexpr const char* kPassword = "Geheim wie nichts";
constexpr ProtectOptions kEncrypted{.encrypt = true};
constexpr std::size_t kFirstChunkAt = kSealHeaderSize + kSealTagSize;
constexpr std::size_t kSealedChunk = kSealChunkSize + kSealTagSize;

class EncryptedFolderTest : public test_support::ProtectorFixture {
 protected:
  // Text that names itself, random bytes that do not compress (so the container spans several
  // chunks), a name with umlauts and a read-only file.
  void FillFolder() {
    WriteFile(folder / "Kontoauszug.txt", "Kontostand: 4711 Euro, Empfänger Erika Muster\n");
    WriteFile(folder / "daten.bin", test_support::TextOf(test_support::RandomBytes(200'000, 7)));
    WriteFile(folder / "Größe ändern.txt", std::string(5'000, 'x'));
    WriteFile(folder / "schreibgeschützt.txt", "fest");
    fs::permissions(folder / "schreibgeschützt.txt", fs::perms::owner_read);
  }

  std::size_t WrongPasswordBoxes() const {
    return static_cast<std::size_t>(std::ranges::count_if(
        view.boxes, [](const MessageBox& box) { return box.caption == "Falsches Passwort !"; }));
  }

  // A protect of the files now in the folder, stopped before its encrypted output took the
  // container's name: the plain archive under it, the output beside it.
  void StopProtectBeforeTheSwap() {
    PackFolder(folder.path(), folder / "CHIFF.CRY", {});
    const SealKey key = SealKey::ForNewContainer(kPassword);
    TZarLZ compressor;
    CompressAndVerify(compressor, folder / "CHIFF.CRY", folder / "CHIFF.TMP", TCompressMode::Good,
                      &key);
  }
};

bool Holds(const std::string& haystack, std::string_view needle) {
  return haystack.find(needle) != std::string::npos;
}

TEST_F(EncryptedFolderTest, EveryFileComesBackInBothMethods) {
  for (const TCompressMode method : {TCompressMode::Good, TCompressMode::Fast}) {
    FillFolder();
    const Files before = Snapshot(folder.path());

    protector.EncodeFolder(kPassword, {.method = method, .encrypt = true});

    EXPECT_TRUE(IsSealedFile(folder / "CHIFF.CRY"));
    EXPECT_EQ(Snapshot(folder.path()).size(), 2u);  // CHIFF.CRY and CHIFF.CRD
    protector.DecodeFolder(kPassword);
    EXPECT_EQ(Snapshot(folder.path()), before);
    EXPECT_TRUE(view.boxes.empty());
  }
}

// Neither file of an encrypted folder shows a byte of a file's contents, a name or the password,
// in UTF-8 or in the code page the archive stores names in; the record holds nothing that a
// password could be tried against offline: its password field is empty, as for no password.
TEST_F(EncryptedFolderTest, NothingOfTheContentsNamesOrPasswordShows) {
  FillFolder();
  protector.EncodeFolder(kPassword, kEncrypted);

  const std::string container = ReadFile(folder / "CHIFF.CRY");
  const std::string record = ReadFile(folder / "CHIFF.CRD");
  const std::string hidden[] = {"Kontostand: 4711",
                                "Erika Muster",
                                "Kontoauszug",
                                "Größe ändern",
                                *platform::Utf8ToCodePage("Größe ändern"),
                                "schreibgeschützt",
                                "xxxxxxxxxxxxxxxx",
                                "Kestravuna",
                                kPassword,
                                "Geheim",
                                ScrambleText(kPassword)};
  for (const std::string& text : hidden) {
    EXPECT_FALSE(Holds(container, text)) << text;
    EXPECT_FALSE(Holds(record, text)) << text;
  }
  EXPECT_EQ(ReadPasswordRecord(folder / "CHIFF.CRD"), "");
  EXPECT_FALSE(PasswordAccepted(kPassword, ReadPasswordRecord(folder / "CHIFF.CRD")));
}

// A program that knows only the legacy container stops before it changes anything: the record's
// empty password accepts no entry (its restore ends at the password box), and were that passed,
// its decompressor refuses the identifier before it writes a byte; the file is neither a
// container nor an archive to it.
TEST_F(EncryptedFolderTest, AProgramThatKnowsOnlyLegacyContainersChangesNothing) {
  FillFolder();
  protector.EncodeFolder(kPassword, kEncrypted);
  const fs::path container = folder / "CHIFF.CRY";

  for (const char* entered : {kPassword, "", "@VOID#"}) {
    EXPECT_FALSE(PasswordAccepted(entered, ReadPasswordRecord(folder / "CHIFF.CRD"))) << entered;
  }
  EXPECT_FALSE(IsContainerFile(container));
  EXPECT_FALSE(BeginsLikeArchive(container));
  FileStream input(container, FileStream::Mode::Read);
  MemoryStream output;
  TZarLZ decoder;
  EXPECT_THROW(decoder.Decompress(input, output), ELzrw1Exception);
  EXPECT_TRUE(output.Data().empty());
}

// The password must be the one the contents were encrypted with: the legacy record's rule that
// an entry holding the stored password opens the folder has no place here.
TEST_F(EncryptedFolderTest, OnlyTheExactPasswordOpensAndAWrongOneChangesNothing) {
  FillFolder();
  protector.EncodeFolder(kPassword, kEncrypted);
  const Files protectedFolder = Snapshot(folder.path());

  for (const std::string& wrong :
       {std::string(kPassword) + "!", std::string("x") + kPassword, std::string("Geheim"),
        std::string("geheim wie nichts"), std::string("@VOID#")}) {
    view.Clear();
    protector.DecodeFolder(wrong);
    EXPECT_EQ(WrongPasswordBoxes(), 1u) << wrong;
    EXPECT_EQ(Snapshot(folder.path()), protectedFolder) << wrong;
    EXPECT_TRUE(std::ranges::find(view.events, "wait=shown") == view.events.end()) << wrong;
  }
}

// With encryption an empty field would protect with a text everybody knows: it is refused with a
// note, and nothing is written.
TEST_F(EncryptedFolderTest, AnEmptyFieldIsRefusedWithANote) {
  FillFolder();
  const Files before = Snapshot(folder.path());

  EXPECT_FALSE(protector.ProtectWithTypedPassword("", kEncrypted));

  ASSERT_EQ(view.boxes.size(), 1u);
  EXPECT_EQ(view.boxes[0].caption, "Kein Passwort");
  EXPECT_EQ(view.boxes[0].text,
            "Um den Inhalt zu verschlüsseln, legen Sie bitte ein Passwort fest. Es wurde nichts "
            "verändert.");
  EXPECT_EQ(Snapshot(folder.path()), before);
  EXPECT_TRUE(protector.ProtectWithTypedPassword(kPassword, kEncrypted));
  EXPECT_TRUE(IsSealedFile(folder / "CHIFF.CRY"));
}

// Any change to the container, by accident or on purpose, is found before a file is written or
// the container goes, and the folder stays exactly as it was. Only a changed key check, which no
// key can tell from a wrong password, is answered as one.
TEST_F(EncryptedFolderTest, EveryAlteredContainerLeavesTheFolderAsItWas) {
  FillFolder();
  protector.EncodeFolder(kPassword, kEncrypted);
  const std::string sound = ReadFile(folder / "CHIFF.CRY");
  ASSERT_GT(sound.size(), kFirstChunkAt + 3 * kSealedChunk);
  // A file written since the protect, which a faulty restore would overwrite.
  WriteFile(folder / "Kontoauszug.txt", "seit dem Schützen neu");
  struct Case {
    const char* what;
    std::function<void(std::string&)> change;
    bool asWrongPassword;
  };
  const Case cases[] = {
      {"a flipped bit in the header", [](std::string& c) { c[30] ^= 1; }, false},
      {"a flipped bit in the key check", [](std::string& c) { c[kSealHeaderSize] ^= 1; }, true},
      {"a flipped bit in the second chunk",
       [](std::string& c) { c[kFirstChunkAt + kSealedChunk + 9] ^= 0x10; }, false},
      {"a flipped bit in the last byte", [](std::string& c) { c.back() ^= 1; }, false},
      {"cut at a chunk boundary", [](std::string& c) { c.resize(kFirstChunkAt + kSealedChunk); },
       false},
      {"cut by one byte", [](std::string& c) { c.pop_back(); }, false},
      {"chunks swapped",
       [](std::string& c) {
         const std::string first = c.substr(kFirstChunkAt, kSealedChunk);
         c.replace(kFirstChunkAt, kSealedChunk,
                   c.substr(kFirstChunkAt + kSealedChunk, kSealedChunk));
         c.replace(kFirstChunkAt + kSealedChunk, kSealedChunk, first);
       },
       false},
      {"a byte appended", [](std::string& c) { c += 'x'; }, false},
  };
  for (const Case& c : cases) {
    std::string changed = sound;
    c.change(changed);
    WriteFile(folder / "CHIFF.CRY", changed);
    const Files before = Snapshot(folder.path());
    view.Clear();

    if (c.asWrongPassword) {
      protector.DecodeFolder(kPassword);
      EXPECT_EQ(WrongPasswordBoxes(), 1u) << c.what;
    } else {
      try {
        protector.DecodeFolder(kPassword);
        ADD_FAILURE() << c.what << ": restored";
      } catch (const ESealError& error) {
        EXPECT_TRUE(
            std::string(error.what())
                .starts_with("Der verschlüsselte Container ist beschädigt oder wurde verändert: "))
            << c.what << ": " << error.what();
      }
    }
    EXPECT_EQ(Snapshot(folder.path()), before) << c.what;
    EXPECT_EQ(VerifyFolder(folder.path(), kPassword).verdict,
              c.asWrongPassword ? VerifyVerdict::WrongPassword : VerifyVerdict::Damaged)
        << c.what;
  }
}

TEST_F(EncryptedFolderTest, VerifyChecksTheHeaderWithoutAndEveryByteWithThePassword) {
  FillFolder();
  protector.EncodeFolder(kPassword, kEncrypted);

  const VerifyResult headerOnly = VerifyFolder(folder.path(), std::nullopt);
  EXPECT_EQ(headerOnly.verdict, VerifyVerdict::Sound);
  EXPECT_TRUE(headerOnly.encrypted);
  EXPECT_FALSE(headerOnly.passwordChecked);
  const VerifyResult full = VerifyFolder(folder.path(), kPassword);
  EXPECT_EQ(full.verdict, VerifyVerdict::Sound) << full.finding;
  EXPECT_EQ(full.fileCount, 4u);
  EXPECT_EQ(VerifyFolder(folder.path(), std::string("falsch")).verdict,
            VerifyVerdict::WrongPassword);
}

// A protect stopped before the encrypted output took the container's name leaves the plain
// archive beside it. The output goes only with the password that made it, so that nobody's file
// named like it is ever taken for it; with a record and a file edited since, the plain archive
// is unpacked after the output's key check accepted the password, keeping the edit.
TEST_F(EncryptedFolderTest, AProtectStoppedBeforeTheSwapIsClearedWithItsPassword) {
  WriteFile(folder / "eins", "1111");
  WriteFile(folder / "zwei", std::string(3000, '2'));
  const Files plain = Snapshot(folder.path());
  StopProtectBeforeTheSwap();
  const Files interrupted = Snapshot(folder.path());

  protector.DecodeFolder("falsch");
  EXPECT_EQ(WrongPasswordBoxes(), 1u);
  EXPECT_EQ(Snapshot(folder.path()), interrupted);

  WritePasswordRecord(folder / "CHIFF.CRD", "");
  WriteFile(folder / "zwei", "edited after the interruption");
  const Files edited = Snapshot(folder.path());
  view.Clear();
  protector.DecodeFolder("falsch");
  EXPECT_EQ(WrongPasswordBoxes(), 1u);
  EXPECT_EQ(Snapshot(folder.path()), edited);

  protector.DecodeFolder(kPassword);
  Files expected = plain;
  expected["zwei"] = "edited after the interruption";
  expected["zwei (archiviert)"] = std::string(3000, '2');
  EXPECT_EQ(Snapshot(folder.path()), expected);
}

TEST_F(EncryptedFolderTest, AProtectStoppedBeforeTheSwapWithEveryFileInPlaceGoesWithItsPassword) {
  WriteFile(folder / "eins", "1111");
  const Files plain = Snapshot(folder.path());
  StopProtectBeforeTheSwap();

  protector.DecodeFolder(kPassword);

  EXPECT_EQ(Snapshot(folder.path()), plain);
}

}  // namespace
}  // namespace kestravuna
