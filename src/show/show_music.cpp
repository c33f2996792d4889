#include "show/show_music.h"

#include "app/payload.h"

#include <algorithm>

namespace lumora {

using platform::IMediaPlayer;
using platform::TMediaMode;

TShowMusic::TShowMusic(const TMusicPlatform& platform, const TMusicShow& show) : platform_(platform), show_(show) {
  platform_.Player.SetOnNotify([this](platform::TMediaNotifyResult result) { mdaScrNotify(result); });
  if (platform_.Timers != nullptr) watch_ = platform_.Timers->CreateTimer([this] { WatchFired(); });
}

TShowMusic::~TShowMusic() {
  try {
    watch_.reset();
    platform_.Player.SetOnNotify(nullptr);
  } catch (...) {
  }
}

bool TShowMusic::Command(bool (IMediaPlayer::*command)()) {
  try {
    platform_.Player.NotifyNext();
    return (platform_.Player.*command)();
  } catch (...) {
    return false;
  }
}

bool TShowMusic::OpenAndPlay() {
  try {
    platform_.Player.NotifyNext();
    if (!platform_.Player.Open(fileName_)) return false;
  } catch (...) {
    return false;
  }
  if (!Command(&IMediaPlayer::Play)) return false;
  StartPlayClock(true);
  return true;
}

void TShowMusic::StartPlayClock(bool fromTheBeginning) {
  if (fromTheBeginning) {
    playedBefore_ = 0;
    soundStarted_ = false;
    soundLength_ = 0;
    try {
      soundLength_ = platform_.Player.Length().value_or(0);
    } catch (...) {
    }
  }
  playStarted_ = platform_.TickCount();
  playClockRunning_ = true;
  ArmWatch();
}

void TShowMusic::StopPlayClock() {
  if (playClockRunning_) playedBefore_ += platform_.TickCount() - playStarted_;
  playClockRunning_ = false;
  if (watch_) watch_->SetEnabled(false);
}

std::uint32_t TShowMusic::PlayedTime() const {
  return playedBefore_ + (playClockRunning_ ? platform_.TickCount() - playStarted_ : 0);
}

bool TShowMusic::Played() {
  // A sound that stopped where it started, or has no length, did not play; nor did one
  // that a device which does not pace its writes got through in a fraction of its length.
  std::optional<std::uint32_t> length, position;
  try {
    length = platform_.Player.Length();
    position = platform_.Player.Position();
  } catch (...) {
  }
  const std::uint64_t played = PlayedTime();
  return length.value_or(0) > 0 && position.value_or(0) > 0 && played * kPlayedShareDivisor >= *length;
}

void TShowMusic::ArmWatch() {
  if (!watch_ || !playClockRunning_) return;
  const std::uint32_t played = PlayedTime();
  std::uint32_t due = 0;
  if (!soundStarted_)
    due = kStartLimit;
  else if (soundLength_ > 0)
    due = soundLength_ + soundLength_ / 4 + kEndMargin;
  else
    return;  // no length to hold the sound to
  watch_->SetEnabled(false);
  watch_->SetInterval(due > played ? due - played : 1);
  watch_->SetEnabled(true);
}

void TShowMusic::WatchFired() {
  if (watch_) watch_->SetEnabled(false);
  if (released_ || !enabled_ || !playClockRunning_) return;
  // The handler or an extraction is at work: look again a little later.
  if (show_.Flags.NotifyBusy || show_.Flags.SoundBusy || show_.Flags.ExitPending) {
    watch_->SetInterval(100);
    watch_->SetEnabled(true);
    return;
  }
  try {
    if (!soundStarted_) {
      const std::optional<std::uint32_t> position = platform_.Player.Position();
      soundStarted_ = position.value_or(0) > 0 || PlayerMode() != TMediaMode::Playing;
      if (soundStarted_) {
        ArmWatch();
        return;
      }
    } else if (PlayedTime() < soundLength_ + soundLength_ / 4 + kEndMargin) {
      ArmWatch();
      return;
    }
  } catch (...) {
  }
  // The device holds the sound without playing it, or plays it without end, and may never
  // report its end: it is closed and counts as not played.
  show_.Flags.NotifyBusy = true;
  try {
    StopPlayClock();
    ++failedInARow_;
    try {
      platform_.Player.Close();
    } catch (...) {
    }
    if (show_.Config.IsSndPlayAll && failedInARow_ < std::max(sndCount_, 1)) PlayNextOfAll();
  } catch (...) {
  }
  show_.Flags.NotifyBusy = false;
  if (show_.Flags.ExitPending) show_.FinishShow();
}

TMediaMode TShowMusic::PlayerMode() {
  try {
    return platform_.Player.Mode();
  } catch (...) {
    return TMediaMode::Other;
  }
}

void TShowMusic::SelectSound(std::int32_t index) {
  sndIndex_ = index;
  currentSound_ = index >= 0 && index < static_cast<std::int32_t>(show_.SndList.size())
                      ? show_.SndList[static_cast<std::size_t>(index)].get()
                      : nullptr;
}

std::filesystem::path TShowMusic::ExtractSound() {
  show_.Flags.SoundBusy = true;
  std::filesystem::path result;
  try {
    if (currentSound_ != nullptr) {
      std::filesystem::path path;
      std::unique_ptr<TPicture> unused;
      if (ExtractPayloadEntry(platform_.Files, TExtractMode::emTempFile, currentSound_->SndFileName,
                              currentSound_->FilePos, path, unused, currentSound_->FileSize))
        result = path;
    }
  } catch (...) {
    result.clear();
  }
  show_.Flags.SoundBusy = false;
  if (show_.Flags.ExitPending) show_.FinishShow();
  return result;
}

void TShowMusic::StartMusic() {
  sndCount_ = static_cast<std::int32_t>(show_.SndList.size());
  if (sndCount_ < 1 || show_.Config.IsSndMute) {
    enabled_ = false;
    return;
  }
  enabled_ = true;
  extracted_.assign(static_cast<std::size_t>(sndCount_), false);
  const TSSConfig& c = show_.Config;
  // A show that plays one sound plays a randomly chosen one.
  SelectSound(c.IsSndPlayAll && !c.IsSndRamOrder ? 0 : show_.PickFromPool(show_.SndPool, sndCount_));
  if (currentSound_ != nullptr) {
    extracted_[static_cast<std::size_t>(sndIndex_)] = true;
    currentSound_->TempFileName = ExtractSound();
    fileName_ = currentSound_->TempFileName;
  } else {
    fileName_.clear();
  }
  if (released_) return;
  // If the first sound does not start, no completion arrives and the show stays silent.
  Command(&IMediaPlayer::Close);
  OpenAndPlay();
}

TMediaMode TShowMusic::WaitUntilStopped() {
  const std::uint32_t start = platform_.TickCount();
  for (;;) {
    if (platform_.ProcessMessages) platform_.ProcessMessages();
    if (released_) return TMediaMode::Other;
    const TMediaMode mode = PlayerMode();
    if (mode == TMediaMode::Stopped) return mode;
    const std::uint32_t elapsed = platform_.TickCount() - start;
    if (elapsed >= kNotifyWaitLimit) return mode;
    // Polling the device without pause would spin the processor for the whole second.
    if (platform_.WaitForMessages) platform_.WaitForMessages(std::min<std::uint32_t>(10, kNotifyWaitLimit - elapsed));
  }
}

void TShowMusic::mdaScrNotify(platform::TMediaNotifyResult result) {
  if (released_ || !enabled_) return;
  if (show_.Flags.ExitPending) {
    StopPlayClock();
    Command(&IMediaPlayer::Close);
    DeleteSoundFiles();
    return;
  }
  // A completion that arrives while the handler waits is answered by that wait, which
  // sees the player stop after every message it processes. Handling it nested would
  // stack one wait on another for every sound shorter than the wait, without end.
  if (show_.Flags.NotifyBusy) return;
  show_.Flags.NotifyBusy = true;
  try {
    // Anything but stopped (playing, paused, busy) means the sound has not ended: this
    // completion belongs to another command.
    if (WaitUntilStopped() == TMediaMode::Stopped && !released_) {
      const bool played = Played();
      StopPlayClock();
      if (result == platform::TMediaNotifyResult::Failure || !played)
        ++failedInARow_;
      else
        failedInARow_ = 0;
      if (failedInARow_ >= std::max(sndCount_, 1))
        Command(&IMediaPlayer::Close);
      else
        SoundEnded();
    }
  } catch (...) {
  }
  show_.Flags.NotifyBusy = false;
  if (show_.Flags.ExitPending) {
    show_.FinishShow();
  } else if (!released_) {
    try {
      platform_.Player.NotifyNext();
    } catch (...) {
    }
  }
}

void TShowMusic::SoundEnded() {
  const TSSConfig& c = show_.Config;
  if (c.IsSndPlayAll) {
    PlayNextOfAll();
  } else if (c.IsSndLoopOne) {
    // At the end of its medium the player starts the same sound again from the beginning.
    Command(&IMediaPlayer::StepBack);
    if (Command(&IMediaPlayer::Play)) StartPlayClock(true);
  } else {
    // Played once: the music is over for this show.
    Command(&IMediaPlayer::Close);
  }
}

void TShowMusic::PlayNextOfAll() {
  // Every sound gets one attempt; when none plays the music stops, rather than trying the
  // same broken sounds for ever. Shuffled picks of sounds already tried cost no attempt.
  std::vector<bool> tried(static_cast<std::size_t>(sndCount_), false);
  std::int32_t untried = sndCount_;
  for (std::int32_t pick = 0; untried > 0 && pick < 3 * sndCount_ + 3; ++pick) {
    if (show_.Config.IsSndRamOrder)
      SelectSound(show_.PickFromPool(show_.SndPool, sndCount_));
    else
      SelectSound(sndIndex_ + 1 >= sndCount_ || sndIndex_ < 0 ? 0 : sndIndex_ + 1);
    if (currentSound_ == nullptr) continue;
    const std::size_t index = static_cast<std::size_t>(sndIndex_);
    if (tried[index]) continue;
    tried[index] = true;
    --untried;
    if (currentSound_->TempFileName.empty() && !extracted_[index]) {
      extracted_[index] = true;
      currentSound_->TempFileName = ExtractSound();
      if (released_) return;
    }
    fileName_ = currentSound_->TempFileName;
    Command(&IMediaPlayer::Close);
    // A sound that cannot be extracted has no file, and its open fails.
    if (!fileName_.empty() && OpenAndPlay()) return;
  }
  Command(&IMediaPlayer::Close);
}

void TShowMusic::PauseForMediaItem(bool isSuspendBgMusic) {
  if (released_ || !enabled_ || !isSuspendBgMusic) return;
  if (PlayerMode() == TMediaMode::Playing && Command(&IMediaPlayer::Pause)) StopPlayClock();
}

void TShowMusic::ResumeIfPaused() {
  if (released_ || !enabled_) return;
  // Play continues a paused sound from where it stopped.
  if (PlayerMode() == TMediaMode::Paused && Command(&IMediaPlayer::Play)) StartPlayClock(false);
}

void TShowMusic::PauseForDisplay(bool off) {
  if (released_ || !enabled_) return;
  if (off) {
    pausedForDisplay_ = PlayerMode() == TMediaMode::Playing && Command(&IMediaPlayer::Pause);
    // The dark time is no play time: the watch must not close a sound held that long.
    if (pausedForDisplay_) StopPlayClock();
  } else if (pausedForDisplay_) {
    pausedForDisplay_ = false;
    if (PlayerMode() == TMediaMode::Paused && Command(&IMediaPlayer::Play)) StartPlayClock(false);
  }
}

void TShowMusic::DeleteSoundFiles() {
  for (const std::unique_ptr<TSndData>& sound : show_.SndList) {
    if (sound->TempFileName.empty()) continue;
    try {
      if (platform_.Files.RemoveFile(sound->TempFileName)) sound->TempFileName.clear();
    } catch (...) {
    }
  }
}

void TShowMusic::ClosePlayer() {
  if (released_) return;
  released_ = true;
  currentSound_ = nullptr;
  StopPlayClock();
  if (!enabled_) return;
  try {
    platform_.Player.Close();
  } catch (...) {
  }
}

}  // namespace lumora
