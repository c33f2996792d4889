// Setting up the movie control at load: a class the system can make is used as it is;
// otherwise the payload's copy of the control goes to the host as a temporary file,
// nothing is installed or registered, and no temporary file outlives the host.
#include "platform/headless/headless_activex.h"
#include "platform/headless/headless_processes.h"
#include "show/flash_setup.h"
#include "show_rig.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace lumora {
namespace {

using testing::TShowRig;

TEST(FlashSetup, OnlyAClassTheSystemCannotMakeGetsThePayloadsControlAndNothingIsInstalled) {
  struct TCase {
    const char* Name;
    bool Registered;
    bool CreationFails;  // a failure other than a missing class
    bool WithEntry;
    bool EntryBroken;
    bool Handed;  // the extracted control went to the host
  };
  const TCase cases[] = {
      {"registered", true, false, true, false, false},
      {"not registered, with an entry", false, false, true, false, true},
      {"another failure, with an entry", true, true, true, false, true},
      {"not registered, without an entry", false, false, false, false, false},
      {"extraction fails", false, false, true, true, false},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TShowRig rig;
    const std::filesystem::path sys = rig.Dir / "system32";
    std::filesystem::create_directories(sys);
    rig.Files.SetSystemDirectory(sys);
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
    {
      platform::THeadlessActiveXHost activeX(rig.Clock);
      if (!c.Registered) activeX.Registered.clear();
      activeX.CreationFails = c.CreationFails;

      SetUpFlash(TFlashSetupPlatform{rig.Files, processes, activeX}, config);

      // One test creation, freed at once.
      EXPECT_EQ(std::count_if(activeX.Calls.begin(), activeX.Calls.end(),
                              [](const std::string& call) { return call.starts_with("Create"); }),
                1);
      EXPECT_TRUE(activeX.Controls.empty());
      ASSERT_EQ(activeX.ControlFiles.size(), c.Handed ? 1u : 0u);
      if (c.Handed) {
        const std::vector<std::string> temp = rig.TempFiles();
        ASSERT_EQ(temp.size(), 1u);
        EXPECT_TRUE(temp[0].ends_with(".ocx"));
        EXPECT_EQ(test::ReadFileBytes(rig.Dir / temp[0]), control);
        EXPECT_EQ(activeX.ControlFiles[0], "ShockwaveFlash.ShockwaveFlash {D27CDB6E-AE6D-11CF-96B8-444553540000} " +
                                               (rig.Dir / temp[0]).string());
      } else {
        EXPECT_TRUE(rig.TempFiles().empty());
      }
    }
    EXPECT_TRUE(processes.Calls.empty());
    EXPECT_TRUE(std::filesystem::is_empty(sys));
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
    activeX.Registered.clear();
    rig.Show = std::make_unique<TMainFrmShow>(
        TShowPlatform{rig.Files, rig.System, rig.System, rig.System, rig.Clock, rig.Messages, rig.Random}, rig.Form,
        rig.View, "S");
    rig.Show->SetFlashPlatform(TFlashSetupPlatform{rig.Files, processes, activeX});
    rig.Show->FormShow();
    EXPECT_EQ(activeX.ControlFiles.size(), include ? 1u : 0u);
    rig.Show.reset();
  }
}

}  // namespace
}  // namespace lumora
