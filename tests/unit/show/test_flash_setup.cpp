// Setting up the movie control at load: the control file in the system folder, its
// registration, the payload's copy of it, and the temporary file on every path.
#include "platform/headless/headless_activex.h"
#include "platform/headless/headless_processes.h"
#include "show/flash_setup.h"
#include "show_rig.h"

#include <gtest/gtest.h>

namespace lumora {
namespace {

using testing::TShowRig;

struct TSetupCase {
  const char* Name;
  bool OcxPresent;
  bool Registered;
  bool CreationFails;  // a failure other than a missing class
  bool WithEntry;
  bool EntryBroken;
  bool SystemReadOnly;
  bool RegistrarPresent;
  const char* Folder;  // the system folder's name
  // Expected: the command started (with {sys} for the folder), whether the file is in
  // the system folder afterwards with the entry's bytes.
  const char* Command;
  bool Installed;
};

TEST(FlashSetup, EveryPathRegistersOnlyWhatItMustAndLeavesNoTemporaryFile) {
  const TSetupCase cases[] = {
      {"present and registered", true, true, false, true, false, false, true, "system32", "", false},
      {"present, not registered", true, false, false, true, false, false, true, "system32",
       "{sys}/REGSVR32.EXE /s {sys}/swflash.ocx", false},
      {"present, another failure", true, true, true, false, false, false, false, "system32",
       "REGSVR32.EXE /s {sys}/swflash.ocx", false},
      {"absent with an entry", false, false, false, true, false, false, true, "system32",
       "{sys}/REGSVR32.EXE /s {sys}/swflash.ocx", true},
      {"absent with an entry, folder with a space", false, false, false, true, false, false, true, "sys tem",
       "\"{sys}/REGSVR32.EXE\" /s \"{sys}/swflash.ocx\"", true},
      {"absent without an entry", false, false, false, false, false, false, true, "system32", "", false},
      {"extraction fails", false, false, false, true, true, false, true, "system32", "", false},
      {"copy fails", false, false, false, true, false, true, true, "system32", "", false},
  };
  for (const TSetupCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TShowRig rig;
    const std::filesystem::path sys = rig.Dir / c.Folder;
    std::filesystem::create_directories(sys);
    if (c.OcxPresent) test::WriteFileBytes(sys / "swflash.ocx", test::BytesOf("old"));
    if (c.RegistrarPresent) test::WriteFileBytes(sys / "REGSVR32.EXE", test::BytesOf("exe"));
    rig.Files.SetSystemDirectory(sys);
    if (c.SystemReadOnly) rig.Files.DenyWritesIn(sys);
    const test::TBytes control = test::BytesOf("the control's file");
    const auto entry = rig.Writer.AddEntry(control);
    rig.Finish("[AppInfo]\r\n");
    TSSConfig config;
    config.IsIncludeFlash = true;
    if (c.WithEntry) {
      config.FlashOcxFilePos = c.EntryBroken ? entry.Position + 3 : entry.Position;
      config.FlashOcxFileSize = entry.StoredSize;
    }
    platform::THeadlessProcesses processes;
    platform::THeadlessActiveXHost activeX(rig.Clock);
    if (!c.Registered) activeX.Registered.clear();
    activeX.CreationFails = c.CreationFails;

    SetUpFlash(TFlashSetupPlatform{rig.Files, processes, activeX}, config);

    std::string command = c.Command;
    for (std::size_t at; (at = command.find("{sys}")) != std::string::npos;) command.replace(at, 5, sys.string());
    EXPECT_EQ(processes.Calls, command.empty() ? std::vector<std::string>{} : std::vector{"Start 1 " + command});
    // Only a control already there is tried, and it is freed at once.
    EXPECT_EQ(activeX.Calls.empty(), !c.OcxPresent);
    EXPECT_TRUE(activeX.Controls.empty());
    if (c.Installed) {
      EXPECT_EQ(test::ReadFileBytes(sys / "swflash.ocx"), control);
    }
    EXPECT_EQ(std::filesystem::exists(sys / "swflash.ocx"), c.OcxPresent || c.Installed);
    EXPECT_TRUE(rig.TempFiles().empty());
  }
}

TEST(FlashSetup, LoadingRunsItOnlyForAShowThatIncludesTheControl) {
  for (const bool include : {false, true}) {
    SCOPED_TRACE(include);
    TShowRig rig;
    rig.Files.SetSystemDirectory(rig.Dir.Path());
    const auto entry = rig.Writer.AddEntry(test::BytesOf("ocx"));
    rig.Finish("[AppInfo]\r\nPicCount=0\r\n[Settings]\r\nIsIncludeFlash=" + std::string(include ? "1" : "0") +
               "\r\n" + TShowRig::EntryKeys(entry, "FlashOcx"));
    platform::THeadlessProcesses processes;
    platform::THeadlessActiveXHost activeX(rig.Clock);
    rig.Show = std::make_unique<TMainFrmShow>(
        TShowPlatform{rig.Files, rig.System, rig.System, rig.System, rig.Clock, rig.Messages, rig.Random}, rig.Form,
        rig.View, "S");
    rig.Show->SetFlashPlatform(TFlashSetupPlatform{rig.Files, processes, activeX});
    rig.Show->FormShow();
    EXPECT_EQ(std::filesystem::exists(rig.Dir / "swflash.ocx"), include);
    EXPECT_EQ(processes.Calls.size(), include ? 1u : 0u);
    rig.Show.reset();
  }
}

}  // namespace
}  // namespace lumora
