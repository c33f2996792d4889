// The show's background music: the sounds of the payload played one after another
// through the form's hidden player mdaScr, in list order or shuffled, one sound over and
// over, or one sound once; paused under Flash and video items and resumed by the next
// picture. Every sound is extracted at most once and its temporary file lives until the
// show closes.
#pragma once

#include "platform/files.h"
#include "platform/media_player.h"
#include "platform/timer.h"
#include "show/exit_filter.h"
#include "show/show_config.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace lumora {

// What the music needs of the system: the payload's file system, the player, and the
// UI thread's waiting (the completion handler waits for the player while messages go on).
struct TMusicPlatform {
  platform::IFileSystem& Files;
  platform::IMediaPlayer& Player;
  // Handles the messages waiting in the queue, each through the message filter.
  std::function<void()> ProcessMessages;
  // Returns when a message arrives, or after at most the given milliseconds.
  std::function<void(std::uint32_t)> WaitForMessages;
  // The system's millisecond tick count.
  std::function<std::uint32_t()> TickCount;
  // The watch over a sound that never starts or never ends; without timers the music
  // relies on the device's completions alone.
  platform::ITimers* Timers = nullptr;
};

// The show state that the music shares with the form.
struct TMusicShow {
  TShowFlags& Flags;
  const TSSConfig& Config;
  TSndList& SndList;
  std::vector<std::string>& SndPool;
  std::function<std::int32_t(std::vector<std::string>&, std::int32_t)> PickFromPool;
  std::function<void()> FinishShow;
};

// The longest the completion handler waits for the player to stop.
inline constexpr std::uint32_t kNotifyWaitLimit = 1000;
// A sound has played when it took at least this share of its length in real time: a
// device that does not pace its writes "plays" a sound in no time.
inline constexpr std::uint32_t kPlayedShareDivisor = 4;
// A sound whose position has not moved after this much real time of playing never started.
inline constexpr std::uint32_t kStartLimit = 2000;
// A sound still playing this long after its length (plus a quarter of it) never completes.
inline constexpr std::uint32_t kEndMargin = 2000;

class TShowMusic {
 public:
  TShowMusic(const TMusicPlatform& platform, const TMusicShow& show);
  ~TShowMusic();
  TShowMusic(const TShowMusic&) = delete;
  TShowMusic& operator=(const TShowMusic&) = delete;

  // Once, at the end of loading a full-screen show.
  void StartMusic();
  // The player's completion handler; result is what the device said of the command.
  void mdaScrNotify(platform::TMediaNotifyResult result = platform::TMediaNotifyResult::Successful);
  // Extracts CurrentSound to a temporary file; its path, or empty on failure.
  std::filesystem::path ExtractSound();

  // A Flash or video item starts to play.
  void PauseForMediaItem(bool isSuspendBgMusic);
  // A picture item is put on the view.
  void ResumeIfPaused();
  // The display went dark (true) or on again (false): a playing sound pauses, and only
  // a sound paused so plays on.
  void PauseForDisplay(bool off);
  // The show closes: the player closes for good and no later notification does anything.
  // The sounds' files are the caller's to delete.
  void ClosePlayer();

  bool Enabled() const { return enabled_; }
  std::int32_t SndIndex() const { return sndIndex_; }
  const TSndData* CurrentSound() const { return currentSound_; }

 private:
  // Commands go out with a completion notification each.
  bool Command(bool (platform::IMediaPlayer::*command)());
  bool OpenAndPlay();
  platform::TMediaMode PlayerMode();
  platform::TMediaMode WaitUntilStopped();
  void SoundEnded();
  void PlayNextOfAll();
  void SelectSound(std::int32_t index);
  void DeleteSoundFiles();
  // The real time the current sound has played, with its pauses left out.
  void StartPlayClock(bool fromTheBeginning);
  void StopPlayClock();
  std::uint32_t PlayedTime() const;
  // Whether a sound that stopped played: it moved, has a length, and took real time.
  bool Played();
  // The watch: checks the current sound when it should have started, and when it should
  // have ended; one that failed either is closed and counts as not played.
  void ArmWatch();
  void WatchFired();

  TMusicPlatform platform_;
  TMusicShow show_;
  bool enabled_ = false;
  bool released_ = false;
  std::int32_t sndCount_ = 0;
  std::int32_t sndIndex_ = 0;
  TSndData* currentSound_ = nullptr;
  std::filesystem::path fileName_;
  // Sounds whose extraction was tried: a damaged one is not inflated again every cycle.
  std::vector<bool> extracted_;
  // Sounds in a row that stopped without having played (the device refused them, they
  // have no length, they ended in much less than their length or never started or ended): once every sound has failed so, the music stops instead of
  // opening them again and again as fast as the device refuses them.
  std::int32_t failedInARow_ = 0;
  // The current sound's play clock (system ticks) and its length as the device gave it.
  std::uint32_t playStarted_ = 0;
  std::uint32_t playedBefore_ = 0;
  bool playClockRunning_ = false;
  bool soundStarted_ = false;
  std::uint32_t soundLength_ = 0;
  std::unique_ptr<platform::ITimer> watch_;
  bool pausedForDisplay_ = false;
};

}  // namespace lumora
