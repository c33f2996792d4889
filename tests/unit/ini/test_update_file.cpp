// Writing back: CR LF, an empty line after each section, empty sections left out,
// nothing written when nothing changed, and the old file kept whole when writing
// fails. Also where the settings file beside the executable lives.
#include "ini_test_support.h"

#include <gtest/gtest.h>

namespace lumora {
namespace {

using test::TIniFixture;

// Headless files whose writes or replacements can be made to fail.
class TFaultyFileSystem final : public platform::IFileSystem {
 public:
  explicit TFaultyFileSystem(platform::IFileSystem& inner) : inner_(inner) {}
  bool FailWrites = false;
  bool FailReplace = false;
  bool FailOpen = false;
  std::string StoredName;  // reported name part of the executable, when set
  int Replaces = 0;

  std::filesystem::path ExecutablePath() override { return inner_.ExecutablePath(); }
  std::unique_ptr<platform::IReadableFile> OpenForReadDenyWrite(const std::filesystem::path& p) override {
    if (FailOpen) return nullptr;
    return inner_.OpenForReadDenyWrite(p);
  }
  std::optional<std::filesystem::path> TempDirectory() override { return inner_.TempDirectory(); }
  std::optional<std::filesystem::path> CreateUniqueTempFile(const std::filesystem::path& d,
                                                            std::string_view prefix) override {
    return inner_.CreateUniqueTempFile(d, prefix);
  }
  bool RenameFile(const std::filesystem::path& a, const std::filesystem::path& b) override {
    return inner_.RenameFile(a, b);
  }
  bool RemoveFile(const std::filesystem::path& p) override { return inner_.RemoveFile(p); }
  std::unique_ptr<platform::IWritableFile> OpenExistingForWrite(const std::filesystem::path& p) override {
    auto file = inner_.OpenExistingForWrite(p);
    if (!file || !FailWrites) return file;
    return std::make_unique<TFailingWrite>(std::move(file));
  }
  std::unique_ptr<platform::IWritableFile> CreateForWrite(const std::filesystem::path& p) override {
    return inner_.CreateForWrite(p);
  }
  std::filesystem::path PathFromPayloadText(std::string_view t) override { return inner_.PathFromPayloadText(t); }
  bool FileExists(const std::filesystem::path& p) override { return inner_.FileExists(p); }
  std::optional<std::filesystem::path> StoredFileName(const std::filesystem::path& p) override {
    if (!StoredName.empty()) return std::filesystem::path(StoredName);
    return inner_.StoredFileName(p);
  }
  bool MoveReplacing(const std::filesystem::path& a, const std::filesystem::path& b) override {
    ++Replaces;
    return !FailReplace && inner_.MoveReplacing(a, b);
  }

 private:
  // Writes half of the first piece, then reports a full disk.
  class TFailingWrite final : public platform::IWritableFile {
   public:
    explicit TFailingWrite(std::unique_ptr<platform::IWritableFile> inner) : inner_(std::move(inner)) {}
    bool Write(std::span<const std::byte> data) override {
      inner_->Write(data.first(data.size() / 2));
      return false;
    }
    bool Close() override { return inner_->Close(); }

   private:
    std::unique_ptr<platform::IWritableFile> inner_;
  };
  platform::IFileSystem& inner_;
};

TEST(IniUpdateFile, WritesCrLfWithAnEmptyLineAfterEachNonEmptySection) {
  TIniFixture f;
  {
    TBigIniFile ini(f.Fs(), f.Path());
    ini.WriteString("First", "A", "1");
    ini.DeleteKey("Empty", "Nothing");
    ini.WriteString("Second", "B", "2");
    ini.WriteString("Gone", "C", "3");
    ini.DeleteKey("Gone", "C");
  }
  EXPECT_EQ(f.Read(), "[First]\r\nA=1\r\n\r\n[Second]\r\nB=2\r\n\r\n");
}

TEST(IniUpdateFile, NothingChangedMeansNothingWritten) {
  TIniFixture f;
  f.Write("[A]\nB=1\n");  // any content that a rewrite would change
  TFaultyFileSystem fs(f.Fs());
  {
    TBigIniFile ini(fs, f.Path());
    EXPECT_EQ(ini.ReadString("A", "B", "?"), "?");
    ini.UpdateFile();
    ini.DeleteKey("Other", "Key");
  }
  EXPECT_EQ(fs.Replaces, 0);
  EXPECT_EQ(f.Read(), "[A]\nB=1\n");
}

TEST(IniUpdateFile, AFailedWriteKeepsTheOldFileWholeAndLeavesNoScratchFile) {
  TIniFixture f;
  f.Write("[AppConfig]\r\nHowToExit=5\r\n");
  for (const bool failReplace : {false, true}) {
    TFaultyFileSystem fs(f.Fs());
    fs.FailWrites = !failReplace;
    fs.FailReplace = failReplace;
    TBigIniFile ini(fs, f.Path());
    ini.WriteInteger("AppConfig", "HowToExit", 15);
    EXPECT_THROW(ini.UpdateFile(), EIniFileError);
    EXPECT_TRUE(ini.Changed());
    EXPECT_EQ(f.Read(), "[AppConfig]\r\nHowToExit=5\r\n");
    EXPECT_EQ(f.Dir().List(), (std::vector<std::string>{"test.ini"}));
  }
  // The destructor swallowed its own failure; a healthy flush then works.
  TBigIniFile ini(f.Fs(), f.Path());
  ini.WriteInteger("AppConfig", "HowToExit", 15);
  ini.UpdateFile();
  EXPECT_EQ(f.Read(), "[AppConfig]\r\nHowToExit=15\r\n\r\n");
}

TEST(IniUpdateFile, AnEmptyFileNameOnlyClearsTheFlag) {
  TIniFixture f;
  TBigIniFile ini(f.Fs(), "");
  ini.WriteString("A", "B", "C");
  EXPECT_TRUE(ini.Changed());
  ini.UpdateFile();
  EXPECT_FALSE(ini.Changed());
  EXPECT_TRUE(f.Dir().List().empty());
}

TEST(IniLoadFile, AnExistingFileThatCannotBeReadIsAnErrorAMissingOneIsNot) {
  TIniFixture f;
  f.Write("[A]\r\nB=1\r\n");
  TFaultyFileSystem fs(f.Fs());
  fs.FailOpen = true;
  EXPECT_THROW(TBigIniFile(fs, f.Path()), EIniFileError);
  EXPECT_NO_THROW(TBigIniFile(fs, f.Path("missing.ini")));
  // A folder is not a file: it reads as missing.
  std::filesystem::create_directory(f.Path("folder.ini"));
  EXPECT_NO_THROW(TBigIniFile(f.Fs(), f.Path("folder.ini")));
}

TEST(AppIniFile, LivesBesideTheExecutableUnderItsStoredName) {
  TIniFixture f;
  f.Write("[AppConfig]\r\nHowToExit=5\r\n", "Saver.ini");
  platform::THeadlessFileSystem headless(f.Path("Saver.scr"), f.Dir().Path());
  EXPECT_EQ(TAppIniFile::SettingsFileName(headless), f.Path("Saver.ini"));
  TAppIniFile settings(headless);
  EXPECT_EQ(settings.ReadInteger("AppConfig", "HowToExit", 15), 5);

  // The file system reports the executable's name in its own letter case.
  TFaultyFileSystem fs(headless);
  fs.StoredName = "SAVER.SCR";
  EXPECT_EQ(TAppIniFile::SettingsFileName(fs), f.Path("SAVER.ini"));
}

}  // namespace
}  // namespace lumora
