#include "show/main_frm_show.h"

#include "imaging/codecs/codec_table.h"
#include "platform/show_trace.h"
#include "trpic/compose.h"

#include <algorithm>
#include <atomic>
#include <stdexcept>
#include <utility>

namespace lumora {

using namespace platform;

namespace {

std::vector<std::string> CaptionLines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = text.find("\r\n", start);
    if (end == std::string::npos) {
      lines.push_back(text.substr(start));
      return lines;
    }
    lines.push_back(text.substr(start, end - start));
    start = end + 2;
  }
}

std::uint16_t AsWord(std::int32_t value) { return static_cast<std::uint16_t>(value); }

// Something a guarded step of the show cannot go on with; caught where the step ends.
class EShowStep : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

}  // namespace

TMainFrmShow::TMainFrmShow(const TShowPlatform& platform, IFormWindow& form, TTrPic& view, std::string runMode)
    : platform_(platform),
      form_(form),
      view_(view),
      runMode_(std::move(runMode)),
      exit_({platform.System, platform.Registry, platform.Passwords}, flags_, runMode_,
            {[this] { return view_.DrawingCaption(); },
             [this] {
               timScr_->SetEnabled(false);
               finished_ = true;
               CloseForm();
             },
             [this] { return form_.Handle(); }}) {
  timScr_ = platform_.Timers.CreateTimer([this] { timScrTimer(); });
  timScr_->SetEnabled(false);

  // trpScrView as designed, drawn once at the end.
  view_.BeginUpdate();
  try {
    view_.SetAlign(TAlign::alClient);
    view_.SetAsScreen(true);
    view_.SetCanShow(true);
    view_.SetCanFloat(true);
    view_.SetBgBgpStyle(TBgBgpStyle::bpNone);
    view_.SetBgSolidColor(1);
    view_.SetBgGradientFromColor(0);
    view_.SetBgGradientToColor(0);
    view_.SetBgGradientDirection(TDirection::bdUp);
    view_.SetBgPictureMode(TBgMode::bmCentered);
    view_.SetCapPos(TCapPos::cpTopCenter);
    view_.SetPicPos(TPicPos::poCenter);
    view_.SetPicSize(TPicSize::psOriginal);
    view_.SetPicSizeHor(100);
    view_.SetPicSizeVer(100);
    view_.SetPicSizeRef(TPicSizeRef::psrScreen);
    view_.SetPicMasked(false);
    view_.SetPicAngle(0);
    view_.SetPicOpacity(255);
  } catch (...) {
    view_.EndUpdate();
    throw;
  }
  view_.EndUpdate();
  view_.OnShowInBegin = [this](TCustomTrPic&) { trpScrViewShowInBegin(); };
  view_.OnShowInComplete = [this](TCustomTrPic&) { trpScrViewShowInComplete(); };
  view_.OnShowOutComplete = [this](TCustomTrPic&) { trpScrViewShowOutComplete(); };
  view_.OnPlayVideoProgress = [this](TCustomTrPic&, int src, bool complete, int percent) {
    trpScrViewPlayVideoProgress(src, complete, percent);
  };
}

TMainFrmShow::~TMainFrmShow() {
  view_.OnShowInBegin = nullptr;
  view_.OnShowInComplete = nullptr;
  view_.OnShowOutComplete = nullptr;
  view_.OnPlayVideoProgress = nullptr;
  // A preview whose window the system destroyed never sees FormClose; its threads and
  // files go all the same.
  if (!released_) ReleaseShow(true);
}

const TPicture& TMainFrmShow::imgSplashBak() const {
  if (!std::exchange(splashBakDecoded_, true)) {
    const std::span<const std::uint8_t> jpeg = SplashBakJpeg();
    if (!codecs::DecodeJpeg(std::as_bytes(jpeg), splashBak_.Bitmap())) splashBak_.Clear();
  }
  return splashBak_;
}

std::int32_t TMainFrmShow::CurrentIndex() const {
  for (std::size_t i = 0; i < show_.PicList.size(); ++i)
    if (show_.PicList[i].get() == currentItem_) return static_cast<std::int32_t>(i);
  return -1;
}

bool TMainFrmShow::Extract(TExtractMode mode, std::string_view extension, std::int32_t position, std::int32_t size,
                           std::unique_ptr<TPicture>& picture, std::filesystem::path* tempPath,
                           const codecs::TDecodeRequest& request) {
  // A picture that failed once fails again: the show does not inflate it on every pass.
  const bool isPicture = mode != TExtractMode::emTempFile;
  const auto key = std::make_tuple(static_cast<int>(mode), std::string(extension), position, size);
  if (isPicture && failedPictures_.contains(key)) return false;
  std::filesystem::path path;
  const bool ok = ExtractPayloadEntry(platform_.Files, mode, extension, position, path, picture, size, request);
  if (tempPath != nullptr) *tempPath = path;
  // A picture given up for an exit did not fail.
  if (isPicture && !ok && !flags_.ExitPending && !released_) failedPictures_.insert(key);
  return ok;
}

codecs::TDecodeRequest TMainFrmShow::ItemPictureRequest() {
  codecs::TDecodeRequest request;
  request.ShownSize = [this](codecs::TPictureSize native) {
    const TSize drawn = view_.DrawnPicSize(native.Width, native.Height);
    return codecs::TPictureSize{drawn.Width, drawn.Height};
  };
  request.DrawnSize = [this](codecs::TPictureSize native) {
    const TSize drawn = view_.SingleDrawnPicSize(native.Width, native.Height);
    return codecs::TPictureSize{drawn.Width, drawn.Height};
  };
  request.Continue = [this] {
    if (flags_.ExitPending || released_) return false;
    platform_.System.ProcessMessages();
    return !flags_.ExitPending && !released_;
  };
  return request;
}

void TMainFrmShow::SetMusicPlatform(const TMusicPlatform& platform) {
  music_ = std::make_unique<TShowMusic>(
      platform, TMusicShow{flags_, show_.Config, show_.SndList, sndPool_,
                           [this](std::vector<std::string>& pool, std::int32_t count) { return PickFromPool(pool, count); },
                           [this] { FinishShow(); }});
}

void TMainFrmShow::StartMusic() {
  if (!music_) return;
  TraceMark("music begin");
  music_->StartMusic();
  TraceMark("music end");
}

void TMainFrmShow::ResumeMusicIfPaused() {
  if (music_) music_->ResumeIfPaused();
}

void TMainFrmShow::CloseMusicPlayer() {
  if (music_) music_->ClosePlayer();
}

void TMainFrmShow::PauseMusicForMediaItem(bool isSuspendBgMusic) {
  if (music_) music_->PauseForMediaItem(isSuspendBgMusic);
}

void TMainFrmShow::FormShow() {
  picPool_.clear();
  sndPool_.clear();
  flags_.ExitPending = false;
  flags_.ExitRequested = false;
  flags_.TickBusy = false;
  flags_.SoundBusy = false;
  flags_.ItemBusy = false;
  flags_.NotifyBusy = false;
  flags_.BackgroundApplied = false;
  flags_.FlashAfterShowOut = false;
  if (FullScreen()) platform_.System.SetScreenSaverRunning(true);
  LoadShow();
  // Input is watched only from here on.
  exit_.ClearFirstMousePosition();
  filterInstalled_ = true;
}

void TMainFrmShow::ExitFilter(const TMessage& message) {
  if (!filterInstalled_) return;
  exit_.ExitFilter(message);
  // A deferred exit ends the work ahead as much as a granted one.
  if (flags_.ExitPending) StopWorkAhead();
}

void TMainFrmShow::FormDeactivated() {
  if (filterInstalled_) exit_.Deactivated();
}

void TMainFrmShow::FormDisplayPower(bool on) {
  if (on == !displayOff_ || released_) return;
  displayOff_ = !on;
  if (displayOff_) {
    timerHeldForDisplay_ = timScr_->Enabled();
    timScr_->SetEnabled(false);
  } else if (timerHeldForDisplay_) {
    timerHeldForDisplay_ = false;
    timScr_->SetEnabled(true);
  }
  if (music_) music_->PauseForDisplay(displayOff_);
}

bool TMainFrmShow::ShowDesktopPreview(const TSSConfig& config) {
  if (!Preview()) return false;
  std::unique_ptr<TPicture> picture;
  const TExtractMode mode = config.DesktopPreviewFile.empty() ? TExtractMode::emMemoryBitmap : TExtractMode::emPictureFile;
  if (!Extract(mode, config.DesktopPreviewFile, config.DesktopPreviewFilePos, config.DesktopPreviewFileSize, picture))
    return false;
  view_.SetBgPicture(picture.get());
  view_.SetBgPictureMode(TBgMode::bmStretched);
  view_.SetBgStyle(TBgStyle::bsPicture);
  flags_.PreviewPictureShown = true;
  return true;
}

std::int32_t TMainFrmShow::FirstItem() {
  return show_.Config.IsPicRamOrder ? PickFromPool(picPool_, picCount_) : 0;
}

void TMainFrmShow::LoadShow() {
  TraceMark("load begin");
  flags_.Loading = true;
  platform_.Random.Randomize();

  const std::optional<PayloadTrailer> trailer = ReadPayloadTrailer(platform_.Files);
  std::unique_ptr<TPicture> unused;
  std::filesystem::path configFile;
  bool extracted = trailer.has_value() && Extract(TExtractMode::emTempFile, ".ini", trailer->ConfigPosition,
                                                  trailer->ConfigStoredSize, unused, &configFile);
  TShowLoadResult result = TShowLoadResult::Loaded;
  if (extracted) {
    TShowLoadHooks hooks;
    hooks.ShowDesktopPreview = [this](const TSSConfig& config) { return ShowDesktopPreview(config); };
    hooks.ProcessMessages = [this] { platform_.System.ProcessMessages(); };
    hooks.FlashSetup = [this](TSSConfig& config) {
      if (flashPlatform_) SetUpFlash(*flashPlatform_, config);
    };
    try {
      result = LoadShowConfigFile(platform_.Files, configFile, Preview(), hooks, show_);
    } catch (...) {
      // A configuration that cannot be read is no better than one that cannot be extracted.
      extracted = false;
    }
  }
  if (!extracted) {
    platform_.MessageBox.ShowMessage(kExtractConfigError);
    CloseForm();
    return;
  }
  // The desktop-preview picture is all this preview shows; Loading stays set.
  if (result == TShowLoadResult::DesktopPreviewShown) return;

  TSSConfig& config = show_.Config;
  exit_.SetHowToExit(config.HowToExit);
  exit_.SetIsShowCursor(config.IsShowCursor);
  picCount_ = static_cast<std::int32_t>(show_.PicList.size());
  sndCount_ = static_cast<std::int32_t>(show_.SndList.size());

  if (Preview() && show_.PicList.empty()) {
    view_.SetBgPicture(&imgSplashBak());
    view_.SetBgPictureMode(TBgMode::bmCentered);
    view_.SetBgStyle(TBgStyle::bsPicture);
    return;
  }
  if (show_.PicList.empty() || flags_.ExitPending) {
    FinishShow();
    return;
  }

  std::unique_ptr<TPicture> splashTest;
  const TExtractMode splashMode = config.SplashFile.empty() ? TExtractMode::emMemoryBitmap : TExtractMode::emPictureFile;
  if (config.IsUseSplash &&
      Extract(splashMode, config.SplashFile, config.SplashFilePos, config.SplashFileSize, splashTest)) {
    nextIndex_ = -1;
    view_.SetBgSolidColor(0);
    view_.SetBgStyle(TBgStyle::bsSolid);
  } else {
    nextIndex_ = FirstItem();
    ApplyBackground();
  }

  // The first picture decodes on a worker while the music is set up (its first sound
  // extracted, its player opened), the window comes up and the first tick is due.
  StartWorkAhead();
  platform_.System.ShowCursor(config.IsShowCursor);
  if (FullScreen()) {
    StartMusic();
  } else {
    platform_.System.ShowCursor(true);
  }
  timScr_->SetInterval(kQuickTick);
  timScr_->SetEnabled(true);
  flags_.Loading = false;
  TraceMark("load end");
}

std::int32_t TMainFrmShow::PickFromPool(std::vector<std::string>& pool, std::int32_t count) {
  try {
    if (pool.empty())
      for (std::int32_t i = 0; i < count; ++i) pool.push_back(std::to_string(i));
    if (pool.empty()) return -2;
    const int r = platform_.Random.Random(static_cast<int>(pool.size()));
    if (r < 0 || static_cast<std::size_t>(r) >= pool.size()) return -2;
    const std::int32_t result = std::stoi(pool[static_cast<std::size_t>(r)]);
    pool.erase(pool.begin() + r);
    return result;
  } catch (...) {
    return -2;
  }
}

void TMainFrmShow::ApplyBackground() {
  const TSSConfig& c = show_.Config;
  // The background is drawn once, after all its properties are set.
  view_.BeginUpdate();
  try {
    switch (c.BgStyle) {
      case TBgStyle::bsSolid:
        view_.SetBgSolidColor(c.BgSolidColor);
        view_.SetBgStyle(TBgStyle::bsSolid);
        break;
      case TBgStyle::bsGradient:
        view_.SetBgStyle(TBgStyle::bsGradient);
        view_.SetBgGradientFromColor(c.BgGradientFromColor);
        view_.SetBgGradientToColor(c.BgGradientToColor);
        view_.SetBgGradientDirection(c.BgGradientDirection);
        break;
      case TBgStyle::bsPattern:
        view_.SetBgPatternString(c.BgPatternString);
        view_.SetBgStyle(TBgStyle::bsPattern);
        break;
      case TBgStyle::bsPicture: {
        std::unique_ptr<TPicture> picture;
        if (c.BgPictureFilePos < 0 || c.BgPictureFileSize <= 0 ||
            !Extract(TExtractMode::emPictureFile, c.BgPicture, c.BgPictureFilePos, c.BgPictureFileSize, picture))
          throw EShowStep("background picture");
        view_.SetBgPicture(picture.get());
        view_.SetBgPictureMode(c.BgPictureMode);
        if (c.BgPictureMode == TBgMode::bmCentered) {
          view_.SetBgSolidColor(c.BgSolidColor);
          view_.SetBgGradientFromColor(c.BgGradientFromColor);
          view_.SetBgGradientToColor(c.BgGradientToColor);
          view_.SetBgGradientDirection(c.BgGradientDirection);
          view_.SetBgPatternString(c.BgPatternString);
          view_.SetBgBgpStyle(c.BgBgpStyle);
        }
        if (c.BgPictureMode == TBgMode::bmSmartTiled) {
          view_.SetBgBgpFixHor(c.BgBgpFixHor);
          view_.SetBgBgpFixVer(c.BgBgpFixVer);
        }
        view_.SetBgStyle(TBgStyle::bsPicture);
        break;
      }
      case TBgStyle::bsScreen:
        view_.SetBgStyle(TBgStyle::bsScreen);
        break;
      default:
        throw EShowStep("background style");
    }
    view_.EndUpdate();
  } catch (...) {
    try {
      // A failure above still ends the update; one in its drawing left it ended.
      if (view_.Updating()) view_.EndUpdate();
    } catch (...) {
    }
    try {
      view_.SetBgSolidColor(0);
      view_.SetBgStyle(TBgStyle::bsSolid);
    } catch (...) {
    }
  }
  flags_.BackgroundApplied = true;
}

void TMainFrmShow::timScrTimer() {
  if (flags_.ExitPending) {
    FinishShow();
    return;
  }
  if (displayOff_) {
    // Armed by a step that ended as the display went dark: the tick waits for the light.
    timScr_->SetEnabled(false);
    timerHeldForDisplay_ = true;
    return;
  }
  TraceMark("tick");
  flags_.TickBusy = true;
  try {
    if (nextIndex_ == -1) {
      const TSSConfig& c = show_.Config;
      auto splash = std::make_unique<TPicData>();
      splash->PicFileName = c.SplashFile;
      splash->FilePos = c.SplashFilePos;
      splash->FileSize = c.SplashFileSize;
      splash->MediaStyle = 0;
      splash->Masked = false;
      splash->Caption.clear();
      splash->CapPos = TCapPos::cpRandom;
      splash->IsPicFloat = false;
      splash->PicPos = TPicPos::poCenter;
      splash->PicSize = TPicSize::psOriginal;
      splash->PicSizeHor = 0;
      splash->PicSizeVer = 0;
      splash->PicSizeRef = TPicSizeRef::psrOriginal;
      splash->Opacity = 0;
      splash->ShowInStyle = 0;
      splash->ShowOutStyle = 0;
      splash->ShowSpeed = 0;
      splash->FloatSpeed = 0;
      splash->IsClsBeforeNext = true;
      splash->PicInterval = 5;
      splash->RepeatTimes = 0;
      splash->IsSuspendBgMusic = false;
      splashItem_ = std::move(splash);
      currentItem_ = splashItem_.get();
    } else {
      if (!flags_.BackgroundApplied) {
        // The splash was on screen: it goes without a show-out.
        view_.ClearPic(true, false);
        ApplyBackground();
        if (currentItem_ == splashItem_.get()) currentItem_ = nullptr;
        if (previousItem_ == splashItem_.get()) previousItem_ = nullptr;
        splashItem_.reset();
      }
      previousItem_ = currentItem_;
      currentItem_ = nextIndex_ >= 0 && nextIndex_ < picCount_ ? show_.PicList[static_cast<std::size_t>(nextIndex_)].get()
                                                               : nullptr;
    }
    if (show_.Config.IsPicRamOrder)
      nextIndex_ = PickFromPool(picPool_, picCount_);
    else
      nextIndex_ = nextIndex_ + 1 < picCount_ ? nextIndex_ + 1 : 0;
  } catch (...) {
  }
  flags_.TickBusy = false;
  ShowCurrentItem();
}

void TMainFrmShow::ShowCurrentItem() {
  timScr_->SetEnabled(false);
  const auto moveOn = [this] { MoveOnQuickly(); };
  if (currentItem_ == nullptr) {
    moveOn();
    return;
  }
  if (currentItem_->MediaStyle == 1) {
    if (!ShowMediaItem()) moveOn();
    return;
  }
  // Items of a kind this show cannot play are skipped rather than left hanging.
  if (currentItem_->MediaStyle != 0) {
    moveOn();
    return;
  }
  ShowPictureItem();
}

void TMainFrmShow::ShowPictureItem() {
  flags_.ItemBusy = true;
  try {
    TPicData& item = *currentItem_;
    if (previousItem_ != nullptr) {
      if (previousItem_->MediaStyle == 0) {
        if (item.IsClsBeforeNext) {
          if (view_.Stamped()) view_.ClearPic(false, true);
          TraceMark("show-out asked");
          // A picture about to be replaced goes with its show-out; one kept for an item
          // without a picture of its own stays for that item's show-in.
          if (item.FilePos != -1 && item.FileSize != 0)
            view_.ShowOutAndDropPicture();
          else
            view_.ShowPic(2);
        } else {
          // The old picture stays visible under the new one.
          view_.StampPic();
          view_.ClearPic(true, false);
        }
      } else if (previousItem_->MediaStyle == 1) {
        CloseMedia();
      }
    }

    SetItemCaption(item);

    view_.SetPicSizeRef(item.PicSizeRef);
    view_.SetPicSize(item.PicSize);
    view_.SetPicSizeHor(item.PicSizeHor);
    view_.SetPicSizeVer(item.PicSizeVer);
    view_.SetPicPos(item.PicPos);
    view_.SetPicPosHor(item.PicPosHor);
    view_.SetPicPosVer(item.PicPosVer);

    if (item.FilePos != -1 && item.FileSize != 0 && !LoadItemPicture(item)) {
      // The messages pumped meanwhile may have closed the show and freed its items.
      if (released_) {
        flags_.ItemBusy = false;
        return;
      }
    }
    TraceMark("picture ready");
    // An exit while the picture loaded abandons the item.
    if (flags_.ExitPending) throw EShowStep("exit");
    // With no picture at all the view would start no show-in and the show would stall.
    if (view_.Picture().Empty()) throw EShowStep("no picture");

    if (flags_.ExitPending) {
      FinishShow();
    } else {
      TraceMark("show-in asked");
      view_.ShowPic(1);
      if (item.IsPicFloat) view_.StartFloating();
      ResumeMusicIfPaused();
      const std::int64_t interval =
          item.PicInterval > 0 ? std::min<std::int64_t>(std::int64_t(item.PicInterval) * 1000, 0x7FFFFFFF) : kQuickTick;
      timScr_->SetInterval(static_cast<std::uint32_t>(interval));
    }
    flags_.ItemBusy = false;
  } catch (...) {
    flags_.ItemBusy = false;
    timScr_->SetInterval(kQuickTick);
    timScr_->SetEnabled(true);
    if (flags_.ExitPending) FinishShow();
  }
}

bool TMainFrmShow::LoadItemPicture(const TPicData& item) {
  // (The show-out may have let the view's picture go already.)
  const auto previous = viewPictureEntry_;
  if (!view_.Picture().Empty()) view_.SetPicture(TPicture());
  viewPictureEntry_.reset();
  const TExtractMode mode = item.PicFileName.empty() ? TExtractMode::emMemoryBitmap : TExtractMode::emPictureFile;
  std::unique_ptr<TPicture> ahead;
  TBitmap32 aheadDrawing;
  TAheadOutcome outcome = TakeWorkAhead(item, mode, ahead, aheadDrawing);
  if (outcome == TAheadOutcome::Abandoned) return false;
  const auto load = [&](TExtractMode mode, const std::string& extension, std::int32_t position, std::int32_t size) {
    std::unique_ptr<TPicture> picture;
    TBitmap32 drawing;
    // The item's own picture as the work ahead left it, once.
    TAheadOutcome done = std::exchange(outcome, TAheadOutcome::NotAhead);
    if (done == TAheadOutcome::Loaded) {
      picture = std::move(ahead);
      drawing = std::move(aheadDrawing);
    } else if (done == TAheadOutcome::NotAhead) {
      done = LoadOnWorker(mode, extension, position, size, picture, drawing);
    }
    if (done == TAheadOutcome::Failed) {
      // As if it had failed now.
      failedPictures_.emplace(static_cast<int>(mode), extension, position, size);
      return false;
    }
    if (done == TAheadOutcome::Abandoned) return false;
    if (done == TAheadOutcome::NotAhead && !Extract(mode, extension, position, size, picture, nullptr, ItemPictureRequest()))
      return false;
    if (released_ || flags_.ExitPending) return false;
    view_.SetPicture(std::move(*picture));
    if (!drawing.Empty()) view_.SetPictureDrawing(std::move(drawing));
    viewPictureEntry_.emplace(mode, extension, position, size);
    return true;
  };
  if (!load(mode, item.PicFileName, item.FilePos, item.FileSize)) {
    if (released_ || flags_.ExitPending || closeRequested_ || !previous) return false;
    // The previous picture comes back as it was, with the mask it had.
    const auto& [oldMode, oldExtension, oldPosition, oldSize] = *previous;
    return load(oldMode, oldExtension, oldPosition, oldSize);
  }
  if (item.Masked) {
    view_.SetPicOpacity(item.Opacity);
    if (item.MaskedFilePos != -1 && item.MaskedFileSize != 0) {
      std::unique_ptr<TPicture> mask;
      if (Extract(TExtractMode::emPictureFile, item.MaskedFileName, item.MaskedFilePos, item.MaskedFileSize, mask))
        view_.SetPicMaskedPicture(mask.get());
    }
  }
  view_.SetPicMasked(item.Masked);
  return true;
}

struct TMainFrmShow::TWorkAhead {
  // Which item and entry, for which sizes (set on the UI thread before the worker starts).
  const TPicData* Item = nullptr;
  TExtractMode Mode = TExtractMode::emPictureFile;
  std::string Extension;
  std::int32_t Position = -1;
  std::int32_t Size = 0;
  TPicSizing Sizing;
  // Ahead of the item's turn, the work keeps to kWorkAheadBytes; at its turn (the view's
  // picture already gone) it holds what the UI thread would.
  bool Bounded = true;
  std::atomic<bool> Stop{false};
  // Written by the worker, read on the UI thread once it has ended.
  bool TooLarge = false;
  bool Loaded = false;
  std::unique_ptr<TPicture> Picture;
  // The picture drawn at the size shown, when the view would stretch it to get there.
  TBitmap32 Drawing;
  // UI thread only.
  IWorkerThread* Worker = nullptr;
  bool Ended = false;
};

bool TMainFrmShow::WorkingAhead() const { return ahead_ && !ahead_->Ended; }

void TMainFrmShow::StartWorkAhead() {
  if (!workAheadOn_ || view_.Threads() == nullptr || ahead_ || released_ || closeRequested_ || flags_.ExitPending) return;
  if (nextIndex_ < 0 || nextIndex_ >= picCount_) return;
  const TPicData& item = *show_.PicList[static_cast<std::size_t>(nextIndex_)];
  if (item.MediaStyle != 0 || item.FilePos == -1 || item.FileSize == 0) return;
  // Only pictures whose decoder holds them at the size drawn: their size, and so what
  // they will hold, is known before their pixels are.
  const codecs::TCodecEntry* codec = codecs::FindCodec(item.PicFileName);
  if (codec == nullptr || codec->DecodeScaled == nullptr) return;
  if (failedPictures_.contains(std::make_tuple(static_cast<int>(TExtractMode::emPictureFile), item.PicFileName,
                                               item.FilePos, item.FileSize)))
    return;

  auto state = std::make_shared<TWorkAhead>();
  state->Item = &item;
  state->Extension = item.PicFileName;
  state->Position = item.FilePos;
  state->Size = item.FileSize;
  // The view's sizes with the item's size properties, as its turn will set them.
  state->Sizing = view_.PicSizing();
  state->Sizing.Size = item.PicSize;
  state->Sizing.SizeRef = item.PicSizeRef;
  state->Sizing.SizeHor = item.PicSizeHor;
  state->Sizing.SizeVer = item.PicSizeVer;
  StartWork(std::move(state));
}

void TMainFrmShow::StartWork(std::shared_ptr<TWorkAhead> state) {
  IFileSystem& files = platform_.Files;
  const auto body = [state, &files](IWorkerContext& context) {
    TWorkAhead& work = *state;
    codecs::TDecodeRequest request;
    request.ShownSize = [&work](codecs::TPictureSize native) {
      const TSize drawn = work.Sizing.Drawn(native.Width, native.Height);
      const TSize single = work.Sizing.SingleDrawn(native.Width, native.Height);
      // What the decoder will hold: the one size drawn, or the picture reduced by its
      // DCT scale for the largest size drawn.
      const int scale = codecs::JpegScaleDenominator(native, {drawn.Width, drawn.Height});
      std::int64_t w = (std::int64_t(native.Width) + scale - 1) / scale;
      std::int64_t h = (std::int64_t(native.Height) + scale - 1) / scale;
      if (single.Width > 0 && single.Height > 0 && single.Width <= w && single.Height <= h) {
        w = single.Width;
        h = single.Height;
      }
      if (work.Bounded && w * h * 4 > kWorkAheadBytes) work.TooLarge = true;
      return codecs::TPictureSize{drawn.Width, drawn.Height};
    };
    request.DrawnSize = [&work](codecs::TPictureSize native) {
      const TSize drawn = work.Sizing.SingleDrawn(native.Width, native.Height);
      return codecs::TPictureSize{drawn.Width, drawn.Height};
    };
    const auto goOn = [&work, &context] { return !work.TooLarge && !work.Stop && !context.Terminated(); };
    request.Continue = [&work, &context, goOn] {
      if (!goOn()) return false;
      // The UI thread takes its turn here (under the headless scheduler it runs only then).
      context.Synchronize([] {});
      return !work.Stop && !context.Terminated();
    };
    std::filesystem::path path;
    std::unique_ptr<TPicture> picture;
    TraceMark("decode begin");
    work.Loaded = ExtractPayloadEntry(files, work.Mode, work.Extension, work.Position, path, picture, work.Size,
                                      request, false);
    TraceMark(work.Loaded ? "decode end" : "decode ended without a picture");
    if (!work.Loaded) return;
    // The drawing the view's show-in would stretch on the UI thread (a picture held
    // larger than shown: a preview, a picture kept whole for its stamp), made here.
    const TPicture& held = *picture;
    const TSize shown = work.Sizing.Of(held.Width(), held.Height(), work.Sizing.AsScreen);
    const bool lent = held.Opaque() && held.HeldWidth() == shown.Width && held.HeldHeight() == shown.Height;
    const std::int64_t bytes = (std::int64_t(held.HeldWidth()) * held.HeldHeight() +
                                std::int64_t(shown.Width) * shown.Height) * 4;
    if (shown.Width > 0 && shown.Height > 0 && !lent && (!work.Bounded || bytes <= kWorkAheadBytes) && goOn())
      StretchOnto(work.Drawing, shown.Width, shown.Height, held.Bitmap(), held.Opaque());
    work.Picture = std::move(picture);
  };
  state->Worker = &view_.Threads()->CreateWorker(body, [state] {
    state->Ended = true;
    state->Worker = nullptr;
  }, false, TWorkerPriority::Lower);
  ahead_ = std::move(state);
}

void TMainFrmShow::StopWorkAhead() {
  if (!ahead_) return;
  ahead_->Stop = true;
  if (ahead_->Worker != nullptr) ahead_->Worker->Terminate();
}

void TMainFrmShow::EndWorkAhead() {
  if (!ahead_) return;
  StopWorkAhead();
  const std::shared_ptr<TWorkAhead> state = ahead_;
  if (!state->Ended) view_.Threads()->WaitPumping([&state] { return state->Ended; });
  ahead_.reset();
}

TMainFrmShow::TAheadOutcome TMainFrmShow::TakeWorkAhead(const TPicData& item, TExtractMode mode,
                                                         std::unique_ptr<TPicture>& picture, TBitmap32& drawing) {
  if (!ahead_) return TAheadOutcome::NotAhead;
  const TWorkAhead& state = *ahead_;
  const bool same = state.Item == &item && state.Mode == mode && state.Extension == item.PicFileName &&
                    state.Position == item.FilePos && state.Size == item.FileSize && state.Sizing == view_.PicSizing();
  if (!same) {
    // Done for another item or other sizes (the window changed): of no use.
    EndWorkAhead();
    return TAheadOutcome::NotAhead;
  }
  return AwaitWork(picture, drawing);
}

TMainFrmShow::TAheadOutcome TMainFrmShow::AwaitWork(std::unique_ptr<TPicture>& picture, TBitmap32& drawing) {
  const std::shared_ptr<TWorkAhead> state = ahead_;
  if (!state->Ended) {
    view_.Threads()->WaitPumping([&] { return state->Ended || flags_.ExitPending || released_ || closeRequested_; });
    if (!state->Ended) {
      // The worker ends by itself at its next check; the close waits for it.
      StopWorkAhead();
      return TAheadOutcome::Abandoned;
    }
  }
  ahead_.reset();
  if (state->Loaded) {
    picture = std::move(state->Picture);
    drawing = std::move(state->Drawing);
    return TAheadOutcome::Loaded;
  }
  // Stopped or too large: not a failure of the picture. Work at the item's turn is only
  // stopped by an exit or the close.
  if (state->TooLarge || state->Stop) return state->Bounded ? TAheadOutcome::NotAhead : TAheadOutcome::Abandoned;
  // A picture given up for an exit did not fail.
  if (flags_.ExitPending || released_) return TAheadOutcome::Abandoned;
  return TAheadOutcome::Failed;
}

TMainFrmShow::TAheadOutcome TMainFrmShow::LoadOnWorker(TExtractMode mode, const std::string& extension,
                                                        std::int32_t position, std::int32_t size,
                                                        std::unique_ptr<TPicture>& picture, TBitmap32& drawing) {
  if (!workAheadOn_ || view_.Threads() == nullptr || ahead_ || released_ || closeRequested_ || flags_.ExitPending)
    return TAheadOutcome::NotAhead;
  // A picture that failed once fails again: the show does not inflate it on every pass.
  if (failedPictures_.contains(std::make_tuple(static_cast<int>(mode), extension, position, size)))
    return TAheadOutcome::Failed;
  auto state = std::make_shared<TWorkAhead>();
  state->Mode = mode;
  state->Extension = extension;
  state->Position = position;
  state->Size = size;
  state->Sizing = view_.PicSizing();
  state->Bounded = false;
  StartWork(std::move(state));
  return AwaitWork(picture, drawing);
}

void TMainFrmShow::SetItemCaption(const TPicData& item) {
  if (!item.Caption.empty()) {
    view_.SetCapFont(item.CapFont ? *item.CapFont : DefaultCaptionFont());
    view_.SetCapPos(item.CapPos);
    view_.SetCapPosHor(item.CapPosHor);
    view_.SetCapPosVer(item.CapPosVer);
    view_.SetCaption(CaptionLines(item.Caption));
    if (!view_.CapVisible()) view_.SetCapVisible(true);
  } else {
    view_.SetCapVisible(false);
  }
}

void TMainFrmShow::trpScrViewShowInBegin() {
  TraceMark("show-in begin");
  if (currentItem_ == nullptr) return;
  view_.Relayout(true, true, false, false);
  view_.SetShowInStyle(currentItem_->ShowInStyle);
  view_.SetShowOutStyle(currentItem_->ShowOutStyle);
  view_.SetShowSpeed(AsWord(currentItem_->ShowSpeed));
  view_.SetFloatSpeed(AsWord(currentItem_->FloatSpeed));
}

void TMainFrmShow::trpScrViewShowInComplete() {
  if (flags_.ExitPending) {
    FinishShow();
  } else {
    TraceMark("show-in complete");
    timScr_->SetEnabled(true);
    StartWorkAhead();
  }
}

void TMainFrmShow::FinishShow() {
  // The busy steps may each reach their end with ExitPending set; the show ends once.
  if (finished_) return;
  finished_ = true;
  try {
    timScr_->SetEnabled(false);
  } catch (...) {
  }
  try {
    platform_.System.ShowCursor(true);
  } catch (...) {
  }
  try {
    CloseForm();
  } catch (...) {
  }
}

void TMainFrmShow::CloseForm() {
  StopWorkAhead();
  if (closeRequested_) return;
  closeRequested_ = true;
  form_.Close();
}

void TMainFrmShow::ReleaseShow(bool deleteFiles) {
  try {
    timScr_->SetEnabled(false);
  } catch (...) {
  }
  // Its file is gone once it has ended.
  try {
    EndWorkAhead();
  } catch (...) {
  }
  try {
    CloseMusicPlayer();
  } catch (...) {
  }
  for (const std::unique_ptr<TSndData>& sound : show_.SndList) {
    if (!deleteFiles || sound->TempFileName.empty()) continue;
    try {
      platform_.Files.RemoveFile(sound->TempFileName);
    } catch (...) {
    }
  }
  show_.SndList.clear();
  try {
    CloseMedia();
  } catch (...) {
  }
  try {
    view_.StopShowing();
  } catch (...) {
  }
  try {
    view_.StopFloating();
  } catch (...) {
  }
  for (const std::unique_ptr<TPicData>& item : show_.PicList) {
    if (!deleteFiles || item->TempFileName.empty()) continue;
    try {
      platform_.Files.RemoveFile(item->TempFileName);
    } catch (...) {
    }
  }
  currentItem_ = nullptr;
  previousItem_ = nullptr;
  splashItem_.reset();
  show_.PicList.clear();
  released_ = true;
}

void TMainFrmShow::FormClose() {
  if (flags_.PreviewPictureShown) return;
  try {
    ReleaseShow(true);
  } catch (...) {
  }
  try {
    platform_.System.SetScreenSaverRunning(false);
  } catch (...) {
  }
  try {
    platform_.System.SetDefaultCursor();
  } catch (...) {
  }
}

}  // namespace lumora
