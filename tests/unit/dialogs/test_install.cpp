// Installation and removal over the headless platform: the derived names, the copy
// and its closed gate, the questions and messages of each mode, the elevated step
// where the user lacks the rights, and the self-deleting batch file.
#include "dialogs/install_worker.h"
#include "dialogs/removal.h"
#include "platform/headless/headless_files.h"
#include "platform/headless/headless_message_box.h"
#include "platform/headless/headless_processes.h"
#include "platform/headless/headless_registry.h"
#include "support/test_files.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace lumora {
namespace {

using test::TBytes;

const std::string kKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Aurora Screen Saver";

class TFakeDialog final : public IInstallDialog {
 public:
  std::uint64_t Maximum = 0;
  std::vector<std::uint64_t> Positions;
  bool SetAsDefault = true;
  bool Enabled = true;
  bool Closed = false;
  void SetProgressRange(std::uint64_t maximum) override { Maximum = maximum; }
  void SetProgressPosition(std::uint64_t position) override { Positions.push_back(position); }
  bool SetAsDefaultChecked() const override { return SetAsDefault; }
  void SetButtonsEnabled(bool enabled) override { Enabled = enabled; }
  void Close() override { Closed = true; }
};

class InstallTest : public ::testing::Test {
 protected:
  test::TTempDir dir;
  std::filesystem::path source = dir / "Aurora.exe";
  std::filesystem::path windows = dir / "WINDOWS";
  std::filesystem::path dest = windows / "Aurora.scr";
  platform::THeadlessFileSystem files{source, dir.Path()};
  platform::THeadlessMachineRegistry registry;
  platform::THeadlessProcesses processes;
  platform::THeadlessMessageBox messages;
  TInstallPlatform platform{files, registry, processes, messages};

  void SetUp() override {
    std::filesystem::create_directories(windows);
    files.SetWindowsDirectory(windows);
    MakeSource(1000);
  }
  // A screen saver of size bytes whose trailer has flag 1, gate 7 and a configuration
  // reference; the bytes before it count up.
  TBytes MakeSource(std::size_t size) {
    TBytes bytes(size);
    for (std::size_t i = 0; i < size; ++i) bytes[i] = std::byte(i * 7 % 251);
    const unsigned char trailer[16] = {1, 0, 0, 0, 7, 0, 0, 0, 0x10, 0, 0, 0, 0x20, 0, 0, 0};
    for (std::size_t i = 0; i < 16; ++i) bytes[size - 16 + i] = std::byte(trailer[i]);
    test::WriteFileBytes(source, bytes);
    return bytes;
  }
  std::string Desk() const {
    return "Start 4 " + (windows / "rundll32.exe").string() + " desk.cpl,InstallScreenSaver " + dest.string();
  }
};

TEST_F(InstallTest, CopyHasTheSourceBytesButAClosedGateAtEverySize) {
  // Exact multiples of the chunk end with a read of 0 bytes that moves nothing on.
  const struct {
    std::size_t Size;
    std::vector<std::uint64_t> Positions;
  } cases[] = {
      {100, {100}},
      {2 * kInstallChunkSize, {32769, 65538, 65538}},
      {kInstallChunkSize + 17, {32769, 32786}},
  };
  for (const auto& c : cases) {
    const TBytes original = MakeSource(c.Size);
    TFakeDialog dialog;
    messages.Answers = {true};  // overwrite the copy of the case before
    ASSERT_TRUE(RunInstallWorker("", platform, &dialog)) << c.Size;
    const TBytes copy = test::ReadFileBytes(dest);
    ASSERT_EQ(copy.size(), original.size());
    for (std::size_t i = 0; i < copy.size(); ++i) {
      const bool gate = i >= c.Size - 12 && i < c.Size - 8;
      ASSERT_EQ(copy[i], gate ? std::byte{0} : original[i]) << "size " << c.Size << " byte " << i;
    }
    EXPECT_EQ(dialog.Maximum, c.Size);
    EXPECT_EQ(dialog.Positions, c.Positions) << c.Size;
    EXPECT_EQ(test::ReadFileBytes(source), original) << "the source changed";
  }
}

TEST_F(InstallTest, NamesAndUninstallEntry) {
  EXPECT_EQ(UninstallStringOf("C:\\WINDOWS\\Aurora.scr"), "C:\\WINDOWS\\Aurora.scr /U");
  // A blank would make the system start "C:\WINDOWS\My" with "Show.scr /U" as arguments.
  EXPECT_EQ(UninstallStringOf("C:\\WINDOWS\\My Show.scr"), "\"C:\\WINDOWS\\My Show.scr\" /U");
  const TInstallNames names = MakeInstallNames(dir / "my.show.exe", windows);
  EXPECT_EQ(names.BaseName, "my.show");
  EXPECT_EQ(names.DestinationSettings, windows / "my.show.ini");

  ASSERT_TRUE(RunInstallWorker("O", platform));
  const std::map<std::string, std::string> want{{"DisplayName", "Aurora Screen Saver"},
                                                {"UninstallString", dest.string() + " /U"}};
  EXPECT_EQ(registry.Keys[kKey], want);
}

TEST_F(InstallTest, QuestionsMessagesAndDisplayControlPanelByMode) {
  test::WriteFileBytes(windows / "rundll32.exe", test::BytesOf("MZ"));
  const struct {
    const char* Mode;
    bool DestinationExists;
    bool Answer;
    bool Installed;
    std::vector<std::string> Questions;
    std::vector<std::string> Shown;
  } cases[] = {
      {"O", true, false, true, {}, {}},
      {"I", true, false, false, {"Installing Screen Saver: The destination has existed, overwrite it?"}, {}},
      {"I", true, true, true, {"Installing Screen Saver: The destination has existed, overwrite it?"},
       {"Installing Completed!"}},
      {"I", false, false, true, {}, {"Installing Completed!"}},
  };
  for (const auto& c : cases) {
    std::filesystem::remove(dest);
    if (c.DestinationExists) test::WriteFileBytes(dest, test::BytesOf("old copy"));
    test::WriteFileBytes(windows / "Aurora.ini", test::BytesOf("[AppConfig]\r\n"));
    messages.Clear();
    messages.Answers = {c.Answer};
    processes.Calls.clear();
    const std::string what = std::string(c.Mode) + (c.DestinationExists ? " over a copy" : "");
    EXPECT_EQ(RunInstallWorker(c.Mode, platform), c.Installed) << what;
    EXPECT_EQ(messages.Questions(), c.Questions) << what;
    EXPECT_EQ(messages.Shown(), c.Shown) << what;
    EXPECT_EQ(test::ReadFileBytes(dest).size(), c.Installed ? 1000u : 8u) << what;
    EXPECT_EQ(files.FileExists(windows / "Aurora.ini"), !c.Installed) << what;
    EXPECT_EQ(processes.Calls, c.Installed ? std::vector<std::string>{Desk()} : std::vector<std::string>{}) << what;
  }
  // Without rundll32.exe in the Windows folder the system finds it by its own search.
  std::filesystem::remove(windows / "rundll32.exe");
  processes.Calls.clear();
  ASSERT_TRUE(RunInstallWorker("O", platform));
  EXPECT_EQ(processes.Calls,
            std::vector<std::string>{"Start 4 rundll32.exe desk.cpl,InstallScreenSaver " + dest.string()});
}

TEST_F(InstallTest, DialogReportsFailureAndTheSecondAttemptWorks) {
  files.SetWindowsDirectory(dir / "missing");
  TFakeDialog dialog;
  dialog.SetAsDefault = false;
  InstallButtonClick(platform, dialog);
  EXPECT_EQ(messages.Shown(), std::vector<std::string>{"Installing Failed! Please Try again!"});
  EXPECT_TRUE(dialog.Enabled);
  EXPECT_FALSE(dialog.Closed);

  std::filesystem::create_directories(dir / "missing");
  messages.Clear();
  InstallButtonClick(platform, dialog);
  EXPECT_TRUE(dialog.Closed);
  EXPECT_EQ(messages.Shown(), std::vector<std::string>{"Installing Completed!"});
  EXPECT_TRUE(files.FileExists(dir / "missing" / "Aurora.scr"));
  EXPECT_TRUE(processes.Calls.empty()) << "the check box was not ticked";
}

TEST_F(InstallTest, EachFailureHasItsMessage) {
  // A copy held open by the running preview says what to do about it, from the dialog
  // as from "I"; a declined overwrite is a failure only to the dialog.
  files.HoldOpen(dest);
  test::WriteFileBytes(dest, test::BytesOf("old copy"));
  messages.Answers = {true};
  TInstallFailure failure = TInstallFailure::None;
  EXPECT_FALSE(RunInstallWorker("I", platform, nullptr, false, &failure));
  EXPECT_EQ(failure, TInstallFailure::InUse);
  EXPECT_EQ(test::ReadFileBytes(dest), test::BytesOf("old copy"));
  TFakeDialog dialog;
  messages.Clear();
  messages.Answers = {true};
  InstallButtonClick(platform, dialog);
  EXPECT_EQ(messages.Shown(), std::vector<std::string>{std::string(kInstallInUse)});

  messages.Answers = {false};
  EXPECT_FALSE(RunInstallWorker("I", platform, nullptr, false, &failure));
  EXPECT_EQ(failure, TInstallFailure::Declined);
  const std::pair<TInstallFailure, std::string_view> forI[] = {{TInstallFailure::None, ""},
                                                                {TInstallFailure::Declined, ""},
                                                                {TInstallFailure::InUse, kInstallInUse},
                                                                {TInstallFailure::Other, kInstallFailed}};
  for (const auto& [why, text] : forI) EXPECT_EQ(InstallFailureMessage(why, false), text);
  EXPECT_EQ(InstallFailureMessage(TInstallFailure::Declined, true), kInstallFailed);
}

TEST_F(InstallTest, FailedCopyLeavesNoPartialFile) {
  std::filesystem::resize_file(source, 10);  // shorter than a trailer
  test::WriteFileBytes(dest, test::BytesOf("old copy"));
  EXPECT_FALSE(RunInstallWorker("O", platform));
  EXPECT_TRUE(registry.Keys.empty());
  MakeSource(1000);
  // A copy that cannot be patched in place is taken away again.
  class TNoPatch final : public platform::IFileSystem {
   public:
    explicit TNoPatch(platform::THeadlessFileSystem& inner) : inner_(inner) {}
    std::filesystem::path ExecutablePath() override { return inner_.ExecutablePath(); }
    std::unique_ptr<platform::IReadableFile> OpenForReadDenyWrite(const std::filesystem::path& p) override {
      return inner_.OpenForReadDenyWrite(p);
    }
    std::optional<std::filesystem::path> TempDirectory() override { return inner_.TempDirectory(); }
    std::optional<std::filesystem::path> CreateUniqueTempFile(const std::filesystem::path& d,
                                                              std::string_view p) override {
      return inner_.CreateUniqueTempFile(d, p);
    }
    bool RenameFile(const std::filesystem::path& a, const std::filesystem::path& b) override {
      return inner_.RenameFile(a, b);
    }
    bool RemoveFile(const std::filesystem::path& p) override { return inner_.RemoveFile(p); }
    std::unique_ptr<platform::IWritableFile> OpenExistingForWrite(const std::filesystem::path& p) override {
      return inner_.OpenExistingForWrite(p);
    }
    std::unique_ptr<platform::IWritableFile> CreateForWrite(const std::filesystem::path& p) override {
      return inner_.CreateForWrite(p);
    }
    std::filesystem::path PathFromPayloadText(std::string_view t) override { return inner_.PathFromPayloadText(t); }
    std::optional<std::filesystem::path> WindowsDirectory() override { return inner_.WindowsDirectory(); }

   private:
    platform::THeadlessFileSystem& inner_;
  } noPatch(files);
  EXPECT_FALSE(RunInstallWorker("O", {noPatch, registry, processes, messages}));
  EXPECT_FALSE(files.FileExists(dest));
}

TEST_F(InstallTest, LackOfRightsRunsTheStepElevatedOnce) {
  const std::string elevated = "Elevated " + source.string() + " /O --elevated-step";
  // The elevated run's stand-in: the same worker, with the rights.
  processes.OnElevated = [&](std::string_view parameters) {
    platform::THeadlessFileSystem admin{source, dir.Path()};
    admin.SetWindowsDirectory(windows);
    platform::THeadlessMachineRegistry adminRegistry;
    platform::THeadlessMessageBox silent;
    EXPECT_EQ(parameters, "/O --elevated-step");
    EXPECT_TRUE(RunInstallWorker("O", {admin, adminRegistry, processes, silent}, nullptr, true));
    EXPECT_TRUE(silent.Shown().empty() && silent.Questions().empty());
    registry.Keys = adminRegistry.Keys;
  };
  test::WriteFileBytes(windows / "rundll32.exe", test::BytesOf("MZ"));
  files.DenyWritesIn(windows);
  ASSERT_TRUE(RunInstallWorker("I", platform));
  EXPECT_EQ(processes.Calls, (std::vector<std::string>{elevated, Desk()})) << "the control panel runs as the user";
  EXPECT_EQ(messages.Shown(), std::vector<std::string>{"Installing Completed!"});
  EXPECT_EQ(test::ReadFileBytes(dest).size(), 1000u);
  EXPECT_EQ(registry.Keys[kKey]["DisplayName"], "Aurora Screen Saver");

  // Declined: a failure, nothing more started.
  processes.Calls.clear();
  processes.ElevatedExitCode = std::nullopt;
  EXPECT_FALSE(RunInstallWorker("O", platform));
  EXPECT_EQ(processes.Calls, std::vector<std::string>{elevated});
  // The elevated run itself never elevates again.
  processes.Calls.clear();
  EXPECT_FALSE(RunInstallWorker("O", platform, nullptr, true));
  EXPECT_TRUE(processes.Calls.empty());

  // Only the entry denied: the copy stands, the elevated run adds the entry.
  platform::THeadlessFileSystem user{source, dir.Path()};
  user.SetWindowsDirectory(windows);
  registry.Keys.clear();
  registry.Denied = {kKey};
  processes.ElevatedExitCode = 0;
  processes.OnElevated = nullptr;
  processes.Calls.clear();
  EXPECT_TRUE(RunInstallWorker("O", {user, registry, processes, messages}));
  EXPECT_EQ(processes.Calls, (std::vector<std::string>{elevated, Desk()}));
}

class RemovalTest : public InstallTest {
 protected:
  std::filesystem::path installed = windows / "Aurora.scr";
  std::filesystem::path batch = windows / "_deleteme.bat";
  void SetUp() override {
    InstallTest::SetUp();
    test::WriteFileBytes(installed, test::BytesOf("installed"));
    files.SetExecutablePath(installed);
    files.SetSystemDirectory(windows / "system32");
  }
  std::string BatchCommand() const {
    return "Start 6 " + (windows / "system32" / "cmd.exe").string() + " /d /c \"\"" + batch.string() + "\"\"";
  }
};

TEST_F(RemovalTest, BatchRetriesOnceASecondAndGivesUp) {
  EXPECT_EQ(DeleteMeBatchText("C:\\WINDOWS\\A b.scr"),
            "@echo off\r\nset tries=0\r\n:try\r\ndel \"C:\\WINDOWS\\A b.scr\"\r\n"
            "if not exist \"C:\\WINDOWS\\A b.scr\" goto end\r\nset /a tries+=1\r\nif %tries% geq 120 goto end\r\n"
            "ping -n 2 127.0.0.1 >nul\r\ngoto try\r\n:end\r\ndel %0\r\n");
  EXPECT_EQ(DeleteMeBatchCommand(std::nullopt, "C:\\x.bat"), "cmd.exe /d /c \"\"C:\\x.bat\"\"");
  EXPECT_EQ(DeleteMeBatchCommand(std::filesystem::path("C:\\Win dows"), "C:\\x.bat"),
            "\"C:\\Win dows/cmd.exe\" /d /c \"\"C:\\x.bat\"\"");
}

TEST_F(RemovalTest, CurrentScreenSaverIsClearedOnlyWhenItNamesTheRemovedFile) {
  const std::pair<std::string, bool> cases[] = {
      {installed.string(), true}, {(windows / "Other.scr").string(), false}};
  for (const auto& [current, cleared] : cases) {
    registry.ScreenSaver = current;
    messages.Answers = {true};
    EXPECT_TRUE(RunRemoval(platform));
    EXPECT_EQ(registry.ScreenSaver.has_value(), !cleared) << current;
  }
  registry.ScreenSaver = installed.string();
  messages.Answers = {false};
  EXPECT_FALSE(RunRemoval(platform));
  EXPECT_TRUE(registry.ScreenSaver.has_value()) << "kept when the user says No";
}

TEST_F(RemovalTest, YesRemovesWhateverIsThereAndStartsTheBatchFile) {
  for (const bool present : {true, false}) {
    registry.Keys.clear();
    if (present) {
      registry.Keys[kKey]["DisplayName"] = "Aurora Screen Saver";
      test::WriteFileBytes(windows / "Aurora.ini", test::BytesOf("[AppConfig]\r\n"));
    }
    messages.Clear();
    messages.Answers = {true};
    processes.Calls.clear();
    EXPECT_TRUE(RunRemoval(platform)) << present;
    EXPECT_EQ(messages.Questions(), std::vector<std::string>{"Aurora: Are you sure you want to uninstall the product?"});
    EXPECT_EQ(messages.Shown(), std::vector<std::string>{"Uninstalled completely"});
    EXPECT_TRUE(registry.Keys.empty());
    EXPECT_FALSE(files.FileExists(windows / "Aurora.ini"));
    EXPECT_EQ(processes.Calls, std::vector<std::string>{BatchCommand()});
    EXPECT_EQ(test::ReadFileBytes(batch), test::BytesOf(DeleteMeBatchText(installed.string())));
  }
}

TEST_F(RemovalTest, NoChangesNothingAndLackOfRightsElevates) {
  registry.Keys[kKey]["DisplayName"] = "Aurora Screen Saver";
  messages.Answers = {false};
  EXPECT_FALSE(RunRemoval(platform));
  EXPECT_EQ(registry.Keys.size(), 1u);
  EXPECT_TRUE(messages.Shown().empty());
  EXPECT_FALSE(files.FileExists(batch));

  registry.Denied = {kKey};
  for (const std::optional<std::uint32_t> code : {std::optional<std::uint32_t>(0), std::optional<std::uint32_t>()}) {
    messages.Clear();
    messages.Answers = {true};
    processes.Calls.clear();
    processes.ElevatedExitCode = code;
    EXPECT_EQ(RunRemoval(platform), code.has_value());
    EXPECT_EQ(processes.Calls, std::vector<std::string>{"Elevated " + installed.string() + " /U --elevated-step"});
    EXPECT_EQ(messages.Shown(), std::vector<std::string>{code ? "Uninstalled completely"
                                                              : "Uninstalling Failed! Please Try again!"});
  }
}

}  // namespace
}  // namespace lumora
