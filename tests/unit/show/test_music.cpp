// Background music on the headless platform: a scripted player on the virtual clock plays
// sounds whose files name them ("A", "B", "C"); each case watches what was played and
// when each sound was extracted.
#include "platform/headless/headless_media_player.h"
#include "show_rig.h"
#include "support/test_jpeg.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <set>

namespace lumora {
namespace {

using platform::THeadlessMediaPlayer;
using platform::TMediaMode;
using testing::TShowRig;

std::string ReadText(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Forwards to the show's file system; a hook runs when a temporary file is made.
class THookedFiles final : public platform::IFileSystem {
 public:
  THookedFiles(platform::IFileSystem& inner, std::function<void()> onTempFile)
      : inner_(inner), onTempFile_(std::move(onTempFile)) {}
  std::filesystem::path ExecutablePath() override { return inner_.ExecutablePath(); }
  std::unique_ptr<platform::IReadableFile> OpenForReadDenyWrite(const std::filesystem::path& p) override {
    return inner_.OpenForReadDenyWrite(p);
  }
  std::optional<std::filesystem::path> TempDirectory() override { return inner_.TempDirectory(); }
  std::optional<std::filesystem::path> CreateUniqueTempFile(const std::filesystem::path& dir,
                                                            std::string_view prefix) override {
    if (onTempFile_) onTempFile_();
    return inner_.CreateUniqueTempFile(dir, prefix);
  }
  bool RenameFile(const std::filesystem::path& a, const std::filesystem::path& b) override { return inner_.RenameFile(a, b); }
  bool RemoveFile(const std::filesystem::path& p) override { return inner_.RemoveFile(p); }
  std::unique_ptr<platform::IWritableFile> OpenExistingForWrite(const std::filesystem::path& p) override {
    return inner_.OpenExistingForWrite(p);
  }
  std::unique_ptr<platform::IWritableFile> CreateForWrite(const std::filesystem::path& p) override {
    return inner_.CreateForWrite(p);
  }
  std::filesystem::path PathFromPayloadText(std::string_view t) override { return inner_.PathFromPayloadText(t); }

 private:
  platform::IFileSystem& inner_;
  std::function<void()> onTempFile_;
};

struct TMusicRig : TShowRig {
  explicit TMusicRig(std::string runMode = "S", bool withThreads = false)
      : TShowRig(std::move(runMode), {320, 240}, {320, 240}, withThreads) {
    Player.Media = [this](const std::filesystem::path& path) -> std::optional<THeadlessMediaPlayer::TMedium> {
      const std::string label = path.empty() ? "" : ReadText(path);
      FilesAtOpen.push_back(SoundFiles());
      if (label.empty() || OpenFails.count(label) != 0 || (OpenFailsAfterFirst && !Player.Played.empty()))
        return std::nullopt;
      THeadlessMediaPlayer::TMedium medium{Lengths.count(label) ? Lengths[label] : 500, PlayFails.count(label) != 0};
      medium.FailsWhilePlaying = FailsWhilePlaying.count(label) != 0;
      medium.EndsAtOnce = EndsAtOnce.count(label) != 0;
      medium.Stalls = Stalls.count(label) != 0;
      medium.NeverEnds = NeverEnds.count(label) != 0;
      return medium;
    };
  }
  ~TMusicRig() { Show.reset(); }

  // A show of one long-lived picture and the given sounds (an empty label: a damaged entry).
  void Build(std::string_view settings, const std::vector<std::string>& sounds) {
    const auto picture = AddPicture(8, 8, 0xFF0000);
    std::string snd;
    for (std::size_t i = 0; i < sounds.size(); ++i) {
      const auto ref = sounds[i].empty() ? Writer.AddRawEntry(10, test::BytesOf("not zlib"))
                                         : Writer.AddEntry(test::BytesOf(sounds[i]));
      const std::string n = std::to_string(i + 1);
      snd += "SndFileName" + n + "=.wav\r\nFilePos" + n + "=" + std::to_string(ref.Position) + "\r\nFileSize" + n +
             "=" + std::to_string(ref.StoredSize) + "\r\n";
    }
    Finish("[AppInfo]\r\nPicCount=1\r\nSndCount=" + std::to_string(sounds.size()) + "\r\n[Settings]\r\nIsUseSplash=0\r\n" +
           std::string(settings) + "[Background]\r\nBgStyle=0\r\n[Pic1]\r\nPicFileName=.bmp\r\n" +
           EntryKeys(picture) + "PicInterval=1000\r\nShowInStyle=0\r\nShowOutStyle=0\r\n[Snd]\r\n" + snd);
  }

  void StartMusicShow(platform::IFileSystem* musicFiles = nullptr) {
    Show = std::make_unique<TMainFrmShow>(TShowPlatform{Files, System, System, System, Clock, Messages, Random}, Form,
                                          View, RunMode);
    Show->SetMusicPlatform(TMusicPlatform{musicFiles != nullptr ? *musicFiles : Files, Player,
                                          [this] { System.ProcessMessages(); },
                                          [this](std::uint32_t ms) { Wait(ms); },
                                          [this] { return static_cast<std::uint32_t>(Clock.Now()); }, &Clock});
    Show->FormShow();
  }

  // A message loop that idles: the clock moves to the next timer or by ms, never back.
  void Wait(std::uint32_t ms) {
    const std::optional<std::uint64_t> due = Clock.NextDue();
    if (due && *due <= Clock.Now() + ms)
      Clock.AdvanceToNextTimer();
    else
      Clock.AdvanceBy(ms);
  }
  void RunUntil(std::uint64_t time) {
    while (Clock.Now() < time) {
      const std::optional<std::uint64_t> due = Clock.NextDue();
      if (due && *due <= time)
        Clock.AdvanceToNextTimer();
      else
        Clock.AdvanceBy(time - Clock.Now());
    }
  }

  std::string PlayedLabels() {
    std::string labels;
    for (const auto& path : Player.Played) labels += ReadText(path);
    return labels;
  }
  std::size_t SoundFiles() const {
    std::size_t n = 0;
    for (const std::string& name : TempFiles()) n += name.ends_with(".wav");
    return n;
  }

  platform::THeadlessMediaPlayer Player{Clock};
  std::map<std::string, std::uint32_t> Lengths;
  std::set<std::string> OpenFails, PlayFails, FailsWhilePlaying, EndsAtOnce, Stalls, NeverEnds;
  bool OpenFailsAfterFirst = false;
  std::vector<std::size_t> FilesAtOpen;  // sound files present at each open
};

TEST(Music, ModesPlayTheirSoundsInTheirOrder) {
  struct TCase {
    const char* Name;
    std::string RunMode, Settings, UserSettings;
    std::vector<std::string> Sounds;
    std::vector<int> Picks;  // the random numbers drawn
    std::string Played;      // how the first 10 s begin, 500 ms a sound
    bool Exact;              // and nothing else is played
    std::vector<std::size_t> FilesAtOpen;
  };
  const TCase cases[] = {
      {"play all in order", "S", "IsSndPlayAll=1\r\n", "", {"A", "B", "C"}, {}, "ABCABCABCABCABCABC", false,
       {1, 2, 3, 3, 3}},
      {"loop one", "S", "IsSndPlayAll=0\r\nIsSndLoopOne=1\r\n", "", {"A", "B", "C"}, {1}, "BBBBBBBBBBBBBBBBBB", false,
       {1}},
      {"play once", "S", "IsSndPlayAll=0\r\nIsSndLoopOne=0\r\n", "", {"A", "B", "C"}, {2}, "C", true, {1}},
      {"muted by the user", "S", "IsSndPlayAll=1\r\n", "[AppConfig]\r\nIsSndMute=1\r\n", {"A", "B"}, {}, "", true, {}},
      {"no sounds", "S", "IsSndPlayAll=1\r\n", "", {}, {}, "", true, {}},
      {"preview", "P", "IsSndPlayAll=1\r\n", "", {"A", "B"}, {}, "", true, {}},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TMusicRig rig(c.RunMode);
    for (int pick : c.Picks) rig.Random.Queue(pick);
    if (!c.UserSettings.empty()) rig.WriteUserSettings(c.UserSettings);
    rig.Build(c.Settings, c.Sounds);
    rig.StartMusicShow();
    rig.RunUntil(10000);
    if (c.Exact)
      EXPECT_EQ(rig.PlayedLabels(), c.Played);
    else
      EXPECT_EQ(rig.PlayedLabels().substr(0, c.Played.size()), c.Played);
    const std::vector<std::size_t> filesAtOpen(rig.FilesAtOpen.begin(),
                                               rig.FilesAtOpen.begin() + std::min(rig.FilesAtOpen.size(), c.FilesAtOpen.size()));
    EXPECT_EQ(filesAtOpen, c.FilesAtOpen) << "each sound extracted when first due, and only then";
    if (c.Played.empty()) {
      EXPECT_TRUE(rig.Player.Calls.empty());
      EXPECT_EQ(rig.SoundFiles(), 0u);
      if (rig.Show->Music() != nullptr) {
        EXPECT_FALSE(rig.Show->Music()->Enabled());
      }
    }
    if (c.Played == "C") {
      EXPECT_FALSE(rig.Player.IsOpen()) << "closed after its one play";
    }
    EXPECT_FALSE(rig.Show->Flags().NotifyBusy);
  }
}

// The first picture decodes on a worker while the music is set up: the player opens the
// first sound with that work already under way, and the picture comes at the first tick.
TEST(Music, TheFirstPictureDecodesWhileTheFirstSoundIsSetUp) {
  TMusicRig rig("S", true);
  std::optional<bool> workingAtOpen;
  const auto media = rig.Player.Media;
  rig.Player.Media = [&](const std::filesystem::path& path) {
    if (!workingAtOpen) workingAtOpen = rig.Show->WorkingAhead();
    return media(path);
  };
  const auto photo = rig.Writer.AddEntry(test::EncodeJpeg(test::PhotoLikePicture(64, 48), 85));
  const auto sound = rig.Writer.AddEntry(test::BytesOf("a"));
  rig.Finish("[AppInfo]\r\nPicCount=1\r\nSndCount=1\r\n[Settings]\r\nIsUseSplash=0\r\n[Background]\r\nBgStyle=0\r\n"
             "[Pic1]\r\nPicFileName=.jpg\r\n" + TShowRig::EntryKeys(photo) +
             "PicInterval=1000\r\nShowInStyle=0\r\nShowOutStyle=0\r\n[Snd]\r\nSndFileName1=.wav\r\nFilePos1=" +
             std::to_string(sound.Position) + "\r\nFileSize1=" + std::to_string(sound.StoredSize) + "\r\n");
  rig.StartMusicShow();
  EXPECT_EQ(workingAtOpen, std::optional<bool>(true));
  EXPECT_EQ(rig.PlayedLabels(), "a");
  ASSERT_TRUE(rig.Clock.AdvanceToNextTimer());
  EXPECT_TRUE(rig.Threads.RunUntil([&] { return rig.View.PicShown(); }));
  rig.Show->FormClose();
}

TEST(Music, ShuffledPlayAllPlaysEverySoundOncePerCycle) {
  TMusicRig rig;
  rig.Random.SetSeed(777);
  rig.Build("IsSndPlayAll=1\r\nIsSndRamOrder=1\r\n", {"A", "B", "C"});
  rig.StartMusicShow();
  rig.RunUntil(6000);
  const std::string played = rig.PlayedLabels();
  ASSERT_GE(played.size(), 9u);
  for (std::size_t cycle = 0; cycle < 3; ++cycle) {
    std::string group = played.substr(cycle * 3, 3);
    std::sort(group.begin(), group.end());
    EXPECT_EQ(group, "ABC") << played;
  }
}

TEST(Music, CompletionWhileTheSoundPlaysChangesNothingAfterTheWait) {
  TMusicRig rig;
  rig.Lengths["A"] = 5000;
  rig.Build("IsSndPlayAll=1\r\n", {"A", "B"});
  rig.StartMusicShow();
  const std::vector<std::string> started = rig.Player.Calls;
  EXPECT_EQ(started, (std::vector<std::string>{"Close+!", "Open " + rig.Player.FileName().filename().string() + "+", "Play+"}));
  ASSERT_TRUE(rig.Clock.AdvanceToNextTimer());  // the open's completion
  EXPECT_EQ(rig.Player.Notifications, 1);
  EXPECT_GE(rig.Clock.Now(), 1000u) << "waited its second for the end";
  EXPECT_EQ(rig.Player.Calls, started);
  EXPECT_EQ(rig.Player.Mode(), TMediaMode::Playing);
  EXPECT_FALSE(rig.Show->Flags().NotifyBusy);
  rig.RunUntil(5300);
  EXPECT_EQ(rig.PlayedLabels().substr(0, 2), "AB") << "B follows when A has ended";
}

TEST(Music, SoundsThatCannotPlayAreSkippedAndWhenNoneCanTheMusicStops) {
  struct TCase {
    const char* Name;
    std::vector<std::string> Sounds;
    std::set<std::string> OpenFails, PlayFails;
    bool FailAfterFirst;
    std::string Played;
    // Played exactly, then the player closed for good.
    bool Stops = false;
    std::set<std::string> FailsWhilePlaying = {};
    const char* Settings = "IsSndPlayAll=1\r\n";
  };
  const TCase cases[] = {
      {"damaged entry", {"A", "", "C"}, {}, {}, false, "ACACAC"},
      {"open fails", {"A", "B", "C"}, {"B"}, {}, false, "ACACAC"},
      {"play fails", {"A", "B", "C"}, {}, {"C"}, false, "ABABAB"},
      {"none can play after the first", {"A", "B", "C"}, {}, {}, true, "A", true},
      {"the device ends one at once", {"A", "B"}, {}, {}, false, "ABABAB", false, {"B"}},
      {"the device ends every one at once", {"A", "B"}, {}, {}, false, "AB", true, {"A", "B"}},
      {"looped, the device ends it at once", {"A"}, {}, {}, false, "A", true, {"A"}, "IsSndLoopOne=1\r\n"},
      {"looped, a sound of no length", {"Z"}, {}, {}, false, "Z", true, {}, "IsSndLoopOne=1\r\n"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TMusicRig rig;
    rig.OpenFails = c.OpenFails;
    rig.PlayFails = c.PlayFails;
    rig.FailsWhilePlaying = c.FailsWhilePlaying;
    rig.Lengths["Z"] = 0;
    rig.OpenFailsAfterFirst = c.FailAfterFirst;
    rig.Build(c.Settings, c.Sounds);
    rig.StartMusicShow();
    rig.RunUntil(3000);
    if (c.Stops) {
      EXPECT_EQ(rig.PlayedLabels(), c.Played);
      EXPECT_FALSE(rig.Player.IsOpen());
    } else {
      EXPECT_EQ(rig.PlayedLabels().substr(0, c.Played.size()), c.Played);
    }
    if (c.FailAfterFirst) {
      EXPECT_EQ(std::count_if(rig.Player.Calls.begin(), rig.Player.Calls.end(),
                              [](const std::string& call) { return call.starts_with("Open"); }),
                4)
          << "one attempt each";
      EXPECT_EQ(rig.Player.Calls.back(), "Close+!");
    }
  }
}

TEST(Music, SoundsThatPlayInNoTimeNeverStartOrNeverEndCountAsNotPlayed) {
  const struct {
    const char* Name;
    std::set<std::string> EndsAtOnce, Stalls, NeverEnds;
    std::string Played;  // by 12 s
    bool Stops;
  } cases[] = {
      {"played normally", {}, {}, {}, "ABABABAB", false},
      {"a device that does not pace its writes", {"A", "B"}, {}, {}, "AB", true},
      {"one sound in no time, the other played", {"A"}, {}, {}, "ABABABAB", false},
      {"never starts", {}, {"A", "B"}, {}, "AB", true},
      {"never ends", {}, {}, {"A", "B"}, "AB", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    TMusicRig rig;
    rig.EndsAtOnce = c.EndsAtOnce;
    rig.Stalls = c.Stalls;
    rig.NeverEnds = c.NeverEnds;
    rig.Build("IsSndPlayAll=1\r\n", {"A", "B"});
    rig.StartMusicShow();
    rig.RunUntil(12000);
    EXPECT_EQ(rig.PlayedLabels().substr(0, c.Stops ? std::string::npos : 8), c.Played);
    EXPECT_EQ(rig.Player.IsOpen(), !c.Stops);
    EXPECT_FALSE(rig.Show->Flags().NotifyBusy);
  }
}

TEST(Music, ExitWhileTheMusicIsBusyClosesTheShowOnceWhenThatStepEnds) {
  for (const bool duringExtraction : {true, false}) {
    SCOPED_TRACE(duringExtraction ? "during ExtractSound" : "during mdaScrNotify");
    TMusicRig rig;
    int closesAtNextOpen = -1;
    bool sent = false;
    const auto exitOnce = [&] {
      if (sent || !rig.Show || !rig.Show->FilterInstalled() || !rig.Show->Flags().NotifyBusy) return;
      sent = true;
      rig.Key();
      EXPECT_TRUE(rig.Show->Flags().ExitPending);
      EXPECT_EQ(rig.Form.Closes, 0);
    };
    THookedFiles hooked(rig.Files, [&] {
      if (duringExtraction) exitOnce();
    });
    if (!duringExtraction) rig.System.OnProcessMessages = exitOnce;
    auto media = rig.Player.Media;
    rig.Player.Media = [&](const std::filesystem::path& path) {
      if (sent && closesAtNextOpen < 0) closesAtNextOpen = rig.Form.Closes;
      return media(path);
    };
    rig.Build("IsSndPlayAll=1\r\n", {"A", "B"});
    rig.StartMusicShow(&hooked);
    rig.RunUntil(3000);
    ASSERT_TRUE(sent);
    EXPECT_EQ(rig.Form.Closes, 1);
    if (duringExtraction) {
      EXPECT_EQ(closesAtNextOpen, 1) << "the show finished as the extraction ended";
    }
    EXPECT_FALSE(rig.Show->Flags().NotifyBusy);
    EXPECT_FALSE(rig.Show->Flags().SoundBusy);
  }
}

TEST(Music, FormCloseClosesThePlayerAndDeletesEverySoundFile) {
  TMusicRig rig;
  rig.Build("IsSndPlayAll=1\r\n", {"A", "B", "C"});
  rig.StartMusicShow();
  rig.RunUntil(1700);
  EXPECT_EQ(rig.SoundFiles(), 3u);
  rig.Show->FormClose();
  EXPECT_FALSE(rig.Player.IsOpen());
  EXPECT_EQ(rig.SoundFiles(), 0u);
  const std::size_t calls = rig.Player.Calls.size();
  rig.RunUntil(4000);
  EXPECT_EQ(rig.Player.Calls.size(), calls) << "no command after the close";
}

TEST(Music, PausedForAMediaItemTheSoundContinuesWithTheNextPicture) {
  TMusicRig rig;
  rig.Lengths["A"] = 100000;
  rig.Build("IsSndPlayAll=1\r\n", {"A"});
  rig.StartMusicShow();
  rig.RunUntil(3000);
  TShowMusic& music = *rig.Show->Music();
  music.PauseForMediaItem(false);
  EXPECT_EQ(rig.Player.Mode(), TMediaMode::Playing) << "an item that leaves the music alone";
  music.PauseForMediaItem(true);
  EXPECT_EQ(rig.Player.Mode(), TMediaMode::Paused);
  const std::optional<std::uint32_t> pausedAt = rig.Player.Position();
  rig.RunUntil(rig.Clock.Now() + 5000);
  EXPECT_EQ(rig.Player.Position(), pausedAt);
  EXPECT_EQ(rig.Player.Mode(), TMediaMode::Paused) << "their completions resume nothing";
  rig.Show->ShowCurrentItem();  // the next picture
  EXPECT_EQ(rig.Player.Mode(), TMediaMode::Playing);
  EXPECT_EQ(rig.Player.Position(), pausedAt);
  EXPECT_EQ(rig.PlayedLabels(), "AA");
}

TEST(Music, DarkDisplayHoldsTheTimerAndTheMusicUntilItIsOnAgain) {
  TMusicRig rig;
  rig.Lengths["A"] = 4000;
  rig.Build("IsSndPlayAll=1\r\n", {"A"});
  rig.StartMusicShow();
  rig.RunUntil(3000);
  ASSERT_TRUE(rig.Show->timScr().Enabled());
  rig.Show->FormDisplayPower(false);
  EXPECT_FALSE(rig.Show->timScr().Enabled());
  EXPECT_EQ(rig.Player.Mode(), TMediaMode::Paused);
  const std::optional<std::uint32_t> pausedAt = rig.Player.Position();
  // Longer dark than the sound's length and margin: the watch must not count it as play.
  rig.RunUntil(rig.Clock.Now() + 10000);
  EXPECT_EQ(rig.Player.Position(), pausedAt);
  EXPECT_EQ(rig.Player.Mode(), TMediaMode::Paused);
  rig.Show->FormDisplayPower(true);
  EXPECT_TRUE(rig.Show->timScr().Enabled());
  EXPECT_EQ(rig.Player.Mode(), TMediaMode::Playing);
  // Music that was paused for a media item stays paused when the display comes back.
  rig.Show->Music()->PauseForMediaItem(true);
  rig.Show->FormDisplayPower(false);
  rig.Show->FormDisplayPower(true);
  EXPECT_EQ(rig.Player.Mode(), TMediaMode::Paused);
}

}  // namespace
}  // namespace lumora
