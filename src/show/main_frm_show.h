// The show logic of TMainFrm, the one window of a running show: loading the show,
// the background, the sequencer driven by the timer timScr and the view's completion
// events, and the clean-up at close. The window itself is the platform's; it tells this
// object about FormShow and FormClose, and the message loop runs ExitFilter on every
// message before dispatching it.
#pragma once

#include "app/payload.h"
#include "platform/app_shell.h"
#include "platform/files.h"
#include "platform/message_box.h"
#include "platform/random.h"
#include "platform/show_system.h"
#include "platform/timer.h"
#include "show/exit_filter.h"
#include "show/flash_setup.h"
#include "show/show_config.h"
#include "show/show_music.h"
#include "trpic/trpic.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <tuple>
#include <vector>

namespace lumora {

// The built-in JPEG picture of imgSplashBak.
std::span<const std::uint8_t> SplashBakJpeg();

struct TShowPlatform {
  platform::IFileSystem& Files;
  platform::IShowSystem& System;
  platform::IRegistry& Registry;
  platform::IPasswordLibraries& Passwords;
  platform::ITimers& Timers;
  platform::IMessageBox& MessageBox;
  platform::IRandom& Random;
};

inline constexpr std::string_view kExtractConfigError = "Extract config file error!";
// The tick interval between loading and the first item, and after a failed item.
constexpr std::uint32_t kQuickTick = 50;
// The most pixel bytes a picture decoded ahead may hold (besides the one on screen); a
// larger one is decoded at its turn. A full-window picture fits up to 2560 x 1600; on a
// 3840 x 2160 screen it would be one more 33 MB picture held during the previous one's
// show-out, over the 200 MB the show keeps to there.
constexpr std::int64_t kWorkAheadBytes = std::int64_t(24) << 20;

class TMainFrmShow : public platform::IFormEvents {
 public:
  // form: the show's window (closing it ends the show); view: the picture view
  // trpScrView on it. runMode: "S" full-screen, "P" preview.
  TMainFrmShow(const TShowPlatform& platform, platform::IFormWindow& form, TTrPic& view, std::string runMode);
  ~TMainFrmShow() override;
  TMainFrmShow(const TMainFrmShow&) = delete;
  TMainFrmShow& operator=(const TMainFrmShow&) = delete;

  // ---- Handlers ----
  void FormShow() override;
  void FormClose() override;
  void timScrTimer();
  void trpScrViewShowInBegin();
  void trpScrViewShowInComplete();
  void trpScrViewShowOutComplete();
  void trpScrViewPlayVideoProgress(int src, bool complete, int percent);
  // The message filter of the application (installed by FormShow).
  void ExitFilter(const platform::TMessage& message);
  bool FilterInstalled() const { return filterInstalled_; }
  // Another application took the foreground: the full-screen show ends as on an input.
  void FormDeactivated() override;
  // The display went dark: the timer and the music hold until it is on again (the
  // view's workers are held by their clock, which the platform stops).
  void FormDisplayPower(bool on) override;
  bool DisplayOff() const { return displayOff_; }

  // ---- Operations ----
  void LoadShow();
  void ApplyBackground();
  void ShowCurrentItem();
  void FinishShow();
  // Extracts and opens the current Flash or video item and plays it; false when it
  // cannot play (the show then moves on).
  bool StartMedia();
  std::int32_t PickFromPool(std::vector<std::string>& pool, std::int32_t count);

  // ---- Show state, readable for tests ----
  const TShowFlags& Flags() const { return flags_; }
  const TSSConfig& Config() const { return show_.Config; }
  const TPicList& PicList() const { return show_.PicList; }
  std::int32_t PicCount() const { return picCount_; }
  std::int32_t SndCount() const { return sndCount_; }
  std::int32_t NextIndex() const { return nextIndex_; }
  const TPicData* CurrentItem() const { return currentItem_; }
  const TPicData* PreviousItem() const { return previousItem_; }
  // The list position of the item on the view now; -1 for the splash or none.
  std::int32_t CurrentIndex() const;
  const std::vector<std::string>& PicPool() const { return picPool_; }
  std::int32_t PlayCount() const { return playCount_; }
  platform::ITimer& timScr() { return *timScr_; }
  TTrPic& trpScrView() { return view_; }
  TExitFilter& Exit() { return exit_; }
  bool CloseRequested() const { return closeRequested_; }
  // Decoded when first asked for: only an empty preview shows it.
  const TPicture& imgSplashBak() const;

  // The player mdaScr and what the music needs; without it the show is silent. Set before
  // FormShow.
  void SetMusicPlatform(const TMusicPlatform& platform);
  TShowMusic* Music() { return music_.get(); }
  // What the set-up of the movie control needs; without it loading leaves it alone. Set
  // before FormShow.
  void SetFlashPlatform(const TFlashSetupPlatform& platform) { flashPlatform_.emplace(platform); }
  // Work ahead: while an item is on screen the next one's picture is extracted and
  // decoded on a worker of the view's thread host (when the view has one), and a picture
  // not done ahead is loaded on a worker at its turn. On unless switched off (then the UI
  // thread loads every picture), before FormShow.
  void SetWorkAhead(bool on) { workAheadOn_ = on; }
  // A worker of the work ahead has not ended yet.
  bool WorkingAhead() const;

 protected:
  // Hooks of the background music (played by music_ when there is a player) and of the
  // Flash and video items (played by the view's media host, main_frm_media.cpp).
  virtual void StartMusic();
  virtual void ResumeMusicIfPaused();
  virtual void CloseMusicPlayer();
  // A Flash or video item starts to play.
  virtual void PauseMusicForMediaItem(bool isSuspendBgMusic);
  virtual void CloseMedia();
  // The media branch of ShowCurrentItem; returns false when the item was not shown (the
  // show then moves on).
  virtual bool ShowMediaItem();

 private:
  bool FullScreen() const { return runMode_ == "S"; }
  bool Preview() const { return runMode_ == "P"; }
  std::int32_t FirstItem();
  bool ShowDesktopPreview(const TSSConfig& config);
  void ShowPictureItem();
  // Caption of the item on the view (font, position, lines, visibility).
  void SetItemCaption(const TPicData& item);
  // The caption of a media item: set and laid out at once (no show-in does it).
  void ApplyMediaCaption();
  // The next tick in 50 ms: an item that cannot be shown is passed over.
  void MoveOnQuickly();
  void CloseForm();
  void ReleaseShow(bool deleteFiles);
  bool Extract(TExtractMode mode, std::string_view extension, std::int32_t position, std::int32_t size,
               std::unique_ptr<TPicture>& picture, std::filesystem::path* tempPath = nullptr,
               const codecs::TDecodeRequest& request = {});
  // For an item's picture: decoded for the size the view will draw it at, and stopped
  // (with the messages pumped every few milliseconds) once an exit is pending.
  codecs::TDecodeRequest ItemPictureRequest();
  // Loads the current item's picture into the view. The pixels of the view's picture go
  // first, so that two large pictures are never held at once; when the new one cannot be
  // loaded, the view's picture is loaded again from its entry. False when the view holds
  // no picture afterwards or an exit came meanwhile.
  bool LoadItemPicture(const TPicData& item);

  // The work ahead: the picture of the item at NextIndex, decoded on a worker for the sizes
  // the view will draw it at (and drawn at the size shown where the view would stretch
  // it). The worker never touches the view or the show; it hands the picture over when it
  // ends. At an item's turn, a picture not done ahead is loaded the same way while the
  // messages go on, so that the UI thread never inflates, decodes or stretches a picture.
  struct TWorkAhead;
  enum class TAheadOutcome { NotAhead, Loaded, Failed, Abandoned };
  void StartWorkAhead();
  void StartWork(std::shared_ptr<TWorkAhead> state);
  // Asks the worker to stop at its next check (an exit, the close).
  void StopWorkAhead();
  // Stops the worker and waits, with the messages going on, until it has ended.
  void EndWorkAhead();
  // At the item's turn: its picture from the work ahead (waiting for the worker if it
  // still runs). NotAhead when nothing usable was done ahead (the caller loads it itself);
  // Abandoned when an exit or the close came during the wait.
  TAheadOutcome TakeWorkAhead(const TPicData& item, TExtractMode mode, std::unique_ptr<TPicture>& picture,
                              TBitmap32& drawing);
  // Waits, pumping, for the worker of ahead_ and takes what it made.
  TAheadOutcome AwaitWork(std::unique_ptr<TPicture>& picture, TBitmap32& drawing);
  // An entry's picture loaded now on a worker; NotAhead when the view has no workers.
  TAheadOutcome LoadOnWorker(TExtractMode mode, const std::string& extension, std::int32_t position, std::int32_t size,
                             std::unique_ptr<TPicture>& picture, TBitmap32& drawing);

  TShowPlatform platform_;
  platform::IFormWindow& form_;
  TTrPic& view_;
  std::string runMode_;
  TShowFlags flags_;
  TExitFilter exit_;
  std::unique_ptr<platform::ITimer> timScr_;
  mutable TPicture splashBak_;
  mutable bool splashBakDecoded_ = false;

  TShowConfig show_;
  std::int32_t picCount_ = 0;
  std::int32_t sndCount_ = 0;
  std::int32_t nextIndex_ = 0;
  TPicData* currentItem_ = nullptr;
  TPicData* previousItem_ = nullptr;
  std::unique_ptr<TPicData> splashItem_;
  std::vector<std::string> picPool_;
  std::vector<std::string> sndPool_;
  // Pictures that failed to load in this show: mode, extension, position, stored size.
  std::set<std::tuple<int, std::string, std::int32_t, std::int32_t>> failedPictures_;
  // The entry of the picture in the view (mode, extension, position, stored size).
  std::optional<std::tuple<TExtractMode, std::string, std::int32_t, std::int32_t>> viewPictureEntry_;
  bool filterInstalled_ = false;
  bool closeRequested_ = false;
  bool finished_ = false;
  bool released_ = false;
  bool displayOff_ = false;
  bool timerHeldForDisplay_ = false;  // timScr was running when the display went dark
  std::int32_t playCount_ = 0;
  std::unique_ptr<TShowMusic> music_;
  std::optional<TFlashSetupPlatform> flashPlatform_;
  std::shared_ptr<TWorkAhead> ahead_;
  bool workAheadOn_ = true;
};

}  // namespace lumora
