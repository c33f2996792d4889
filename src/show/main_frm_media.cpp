// Flash and video items of the show: how a media item leaves the previous item, when its
// medium starts, how often it plays, and how it pauses the music. The playing itself is
// the view's media host.
#include "show/main_frm_show.h"

#include "platform/show_trace.h"

#include "trpic/media_host.h"

#include <algorithm>
#include <cctype>
#include <string>

namespace lumora {

namespace {

int MediaKindOf(const TPicData& item) {
  std::string ext = item.PicFileName;
  std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return char(std::tolower(c)); });
  return ext == ".swf" ? 1 : 0;
}

}  // namespace

void TMainFrmShow::MoveOnQuickly() {
  timScr_->SetInterval(kQuickTick);
  timScr_->SetEnabled(true);
}

void TMainFrmShow::ApplyMediaCaption() {
  if (currentItem_ == nullptr) return;
  SetItemCaption(*currentItem_);
  view_.Relayout(true, true, false, false);
}

void TMainFrmShow::CloseMedia() { view_.CloseMedia(); }

bool TMainFrmShow::ShowMediaItem() {
  TPicData& item = *currentItem_;
  flags_.ItemBusy = true;
  bool shown = true;
  try {
    if (previousItem_ == nullptr) {
      ApplyMediaCaption();
    } else if (previousItem_->MediaStyle == 0) {
      if (item.IsClsBeforeNext) {
        if (view_.Stamped()) view_.ClearPic(false, true);
        // With no picture on screen there is no show-out to wait for: it would never end.
        const bool showOut = view_.PicShown();
        flags_.FlashAfterShowOut = showOut;
        view_.ShowPic(2);
        if (!showOut) ApplyMediaCaption();
      } else {
        view_.StampPic();
        view_.ClearPic(true, false);
        ApplyMediaCaption();
      }
    } else {
      CloseMedia();
      ApplyMediaCaption();
    }
    view_.PrepareMedia(MediaKindOf(item), !item.IsFlashMouse);
    // A show that is closing opens nothing more.
    if (!flags_.FlashAfterShowOut && !flags_.ExitPending) shown = StartMedia();
  } catch (...) {
    shown = false;
  }
  flags_.ItemBusy = false;
  if (flags_.ExitPending) {
    FinishShow();
    return true;
  }
  return shown;
}

void TMainFrmShow::trpScrViewShowOutComplete() {
  platform::TraceMark("show-out complete");
  if (!flags_.FlashAfterShowOut) return;
  flags_.FlashAfterShowOut = false;
  try {
    ApplyMediaCaption();
  } catch (...) {
  }
  // A show-out that ended inside ShowMediaItem leaves the start to it, after PrepareMedia.
  if (flags_.ItemBusy) return;
  if (flags_.ExitPending) {
    FinishShow();
    return;
  }
  if (!StartMedia()) MoveOnQuickly();
}

bool TMainFrmShow::StartMedia() {
  if (currentItem_ == nullptr || currentItem_->MediaStyle != 1) return false;
  TPicData& item = *currentItem_;
  try {
    playCount_ = 0;
    if (item.TempFileName.empty()) {
      std::unique_ptr<TPicture> unused;
      std::filesystem::path path;
      if (Extract(TExtractMode::emTempFile, item.PicFileName, item.FilePos, item.FileSize, unused, &path))
        item.TempFileName = path;
    }
    if (item.TempFileName.empty()) return false;

    bool shaped = false;
    if (item.Shaped) {
      std::unique_ptr<TPicture> shape;
      if (Extract(TExtractMode::emPictureFile, item.ShapedFileName, item.ShapedFilePos, item.ShapedFileSize, shape) &&
          shape) {
        view_.SetPicShapedPicture(shape.get());
        shaped = true;
      }
    }
    static const std::string kShapedPicture = "&", kNoShape;
    if (!view_.OpenMedia(item.TempFileName, item.PicSize, shaped ? kShapedPicture : kNoShape, item.PicPosVer, item.PicPosHor, item.PicPos,
                         item.PicSizeRef, item.PicSizeVer, item.PicSizeHor))
      return false;
    view_.PlayMedia(0);
    PauseMusicForMediaItem(item.IsSuspendBgMusic);
    return true;
  } catch (...) {
    return false;
  }
}

void TMainFrmShow::trpScrViewPlayVideoProgress(int src, bool complete, int percent) {
  (void)src;
  (void)percent;
  if (!complete || currentItem_ == nullptr || currentItem_->MediaStyle != 1) return;
  try {
    // A movie whose control went away (its host process crashed or hangs) ends its item.
    if (view_.MediaHost() != nullptr && view_.MediaHost()->MediaLost()) {
      playCount_ = 0;
      MoveOnQuickly();
      return;
    }
    if (currentItem_->RepeatTimes == 0) {
      view_.RewindMedia();
      view_.PlayMedia(0);
      return;
    }
    ++playCount_;
    if (playCount_ < currentItem_->RepeatTimes) {
      view_.RewindMedia();
      view_.PlayMedia(0);
    } else {
      playCount_ = 0;
      // The interval stays the one set last: the next item follows after it.
      timScr_->SetEnabled(true);
    }
  } catch (...) {
  }
}

}  // namespace lumora
