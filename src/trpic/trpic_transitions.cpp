// The view's show operations: clearing and stamping the picture, the show-in and
// show-out transitions and their completion, and the glue of the floating motion.
#include "trpic/trpic.h"

#include "trpic/compose.h"
#include "trpic/view_support.h"

#include <algorithm>
#include <utility>

namespace lumora {

using namespace view_support;

// ---------------------------------------------------------------------------------------
// Show operations

void TCustomTrPic::ClearPic(bool clearPicture, bool clearOverlay) {
  if (clearPicture && !picBitmap_.Empty()) {
    StopShowing();
    StopFloating();
    DropPicBitmap();
    picShown_ = false;
    if (!clearOverlay) Repaint();
  }
  if (clearOverlay) {
    overlayBitmap_ = TBitmap32();
    RebuildBackground();
    stamped_ = false;
    if (picMasked_ && !picBitmap_.Empty()) {
      // Compose the masked picture again over the new background.
      UpdateClientBg();
      ComposePictureInto(picBitmap_, picRect_.Width(), picRect_.Height());
      ApplyMask(picBitmap_);
    }
    Repaint();
  }
}

void TCustomTrPic::StampPic() {
  if (showing_ || !picShown_) return;
  const int sw = screenSize_.Width, sh = screenSize_.Height;
  const int cw = std::max(ClientW(), 1), ch = std::max(ClientH(), 1);
  overlayBitmap_.SetSize(sw, sh);  // new parts white: transparent
  int x = picRect_.Left, y = picRect_.Top;
  if (asScreen_) {
    x = ClampInt(std::int64_t(sw) * picRect_.Left / cw);
    y = ClampInt(std::int64_t(sh) * picRect_.Top / ch);
  }
  const platform::TSize size = ComputePicSize(false);
  // A picture stamped at the size it is drawn or held at, unmasked, is its own stamp:
  // the overlay takes what it shows of it straight from those pixels.
  const TBitmap32* drawn = nullptr;
  if (!picMasked_ && loanPatch_.Empty()) {
    if (picLent_ && picBitmap_.Width() == size.Width && picBitmap_.Height() == size.Height)
      drawn = &picBitmap_;
    else if (!picLent_ && picture_.Opaque() && picture_.HeldWidth() == size.Width && picture_.HeldHeight() == size.Height)
      drawn = &std::as_const(picture_).Bitmap();
  }
  TBitmap32 stamp;
  if (drawn == nullptr) {
    ComposePictureInto(stamp, size.Width, size.Height);
    if (picMasked_) ApplyMask(stamp);
    drawn = &stamp;
  }
  const bool wasFloating = floating_;
  if (wasFloating) StopFloating();
  // White parts of the picture must not be taken for the overlay's transparent colour.
  CopyReplacingWhite(overlayBitmap_, x, y, *drawn, kStampWhite);
  EnsureScreenBg();
  screenBgBitmap_.DrawTransparent(0, 0, overlayBitmap_, kWhite);
  ++bgVersion_;
  Repaint();
  if (wasFloating) StartFloating();
  stamped_ = true;
}

void TCustomTrPic::PrepareEffect(int mode) {
  // A new transition starts with nothing of it in the frame.
  ++frameGeneration_;
  // A show-out overwrites all of PicBitmap with the background below: a picture drawn
  // already at its size and wholly inside the client needs only its place, not its
  // drawing again (a frame-sized stretch at the moment the next picture is due).
  const platform::TSize size = mode == 2 && !picLent_ && !picture_.Empty() ? ComputePicSize(asScreen_)
                                                                           : platform::TSize{};
  const TRect client{0, 0, ClientW(), ClientH()};
  if (size.Width > 0 && size.Height > 0 && picBitmap_.Width() == size.Width && picBitmap_.Height() == size.Height &&
      IntersectRect(picRect_, client) == picRect_) {
    PlacePic();
  } else {
    Relayout(false, false, true, true);
  }
  const TTrPicStyle style = mode == 1 ? showInStyle_ : showOutStyle_;
  effectStyle_ = style < 0 ? random_.Random(78) + 1 : style;
  if (mode == 2) {
    // The show-out reveals the background that lies under the picture.
    UpdateClientBg();
    if (picLent_ && !dropAtShowOut_) {
      // The picture's pixels stay where they are, and only the part the background
      // covers (at most the client's size) is put aside for it, not the whole picture:
      // beyond the background PicBitmap keeps showing the picture, as a copy would.
      const TRect covered = IntersectRect(picRect_, ClientBgBitmap().Bounds());
      const TRect part = IntersectRect(
          TRect{covered.Left - picRect_.Left, covered.Top - picRect_.Top, covered.Right - picRect_.Left,
                covered.Bottom - picRect_.Top},
          picBitmap_.Bounds());
      loanPatch_ = TBitmap32();
      if (!covered.Empty() && !part.Empty()) {
        loanPatchAt_ = TPoint{part.Left, part.Top};
        loanPatch_ = TBitmap32(part.Width(), part.Height(), TBitmap32::TUninitialised{});
        loanPatch_.CopyRect(0, 0, picBitmap_, part);
      }
    }
    picBitmap_.CopyRect(0, 0, ClientBgBitmap(), picRect_);
  }
  const int w = picBitmap_.Width(), h = picBitmap_.Height();
  const int s = effectStyle_;
  if (s == 0)
    stepCount_ = 1;
  else if (s == 1 || s == 2 || s == 5 || s == 6 || s == 9 || s == 11 || s == 12)
    stepCount_ = w;
  else if (s == 3 || s == 4 || s == 7 || s == 8 || s == 10 || s == 13 || s == 14)
    stepCount_ = h;
  else if (s >= 15 && s <= 18)
    stepCount_ = w > h ? w : h;
  else
    stepCount_ = 100;
}

void TCustomTrPic::ShowPic(int mode) {
  if ((mode != 1 && mode != 2) || picture_.Empty()) return;
  if (floating_) StopFloating();
  try {
    if (showing_) {
      // Queued behind the running transition; its completion starts this one.
      if (mode == showMode_) return;
      queuedMode_ = mode;
      return;
    }
    if (mode == 1) {
      if (OnShowInBegin) OnShowInBegin(*this);
      showMode_ = 1;
      showing_ = true;
      PrepareEffect(1);
      StartTransition(1);
    } else if (picShown_) {
      if (OnShowOutBegin) OnShowOutBegin(*this);
      showMode_ = 2;
      showing_ = true;
      PrepareEffect(2);
      StartTransition(2);
    } else {
      ClearPic(true, false);
    }
  } catch (...) {
    showing_ = false;
    floating_ = false;
    picShown_ = false;
    showMode_ = 0;
    throw;
  }
}

void TCustomTrPic::ShowOutAndDropPicture() {
  {
    TFlagScope dropping(dropAtShowOut_);
    ShowPic(2);
  }
  SetPicture(TPicture());
}

void TCustomTrPic::StartTransition(int mode) {
  // Without the effects, a transition is its last frame.
  if (mode == 1) picShown_ = true;
  TransitionEnded(mode);
}

void TCustomTrPic::TransitionEnded(int mode) {
  // A failing event handler must not keep the queued transition from starting: each
  // event's failure is swallowed on its own.
  const auto raise = [this](const TNotifyEvent& event) {
    if (!event) return;
    try {
      event(*this);
    } catch (...) {
    }
  };
  try {
    const int queued = queuedMode_;
    queuedMode_ = 0;
    if (mode == 1) {
      if (queued != 2) {
        showMode_ = 0;
        showing_ = false;
        // A resumed float draws the picture at its next step; a repaint would wipe it.
        if (floating_)
          ResumeFloatWorker();
        else
          Repaint();
      }
      if (queued == 2) {
        raise(OnShowOutBegin);
        showMode_ = 2;
        showing_ = true;
        PrepareEffect(2);
      }
      if (!stopShowFlag_) raise(OnShowInComplete);
      if (queued == 2) StartTransition(2);
    } else {
      picShown_ = false;
      if (queued != 1) {
        StopFloating();
        DropPicBitmap();
        showMode_ = 0;
        showing_ = false;
        Repaint();
      }
      if (queued == 1) {
        raise(OnShowInBegin);
        showMode_ = 1;
        showing_ = true;
        PrepareEffect(1);
      }
      if (!stopShowFlag_) raise(OnShowOutComplete);
      if (queued == 1) StartTransition(1);
    }
  } catch (...) {
    // A completion handler swallows its failures.
  }
}

void TCustomTrPic::StopShowing() {
  if (!showing_ || stopShowFlag_) return;
  TFlagScope stopping(stopShowFlag_);
  StopTransitionWorkers();
  queuedMode_ = 0;
  showMode_ = 0;
  showing_ = false;
}

void TCustomTrPic::StartFloating() {
  if (floating_ || picBitmap_.Empty()) return;
  floating_ = true;
  // A float requested during a show-in waits until the show-in has ended.
  StartFloatWorker(showing_);
}

void TCustomTrPic::StopFloating() {
  if (!floating_ || stopFloatFlag_) return;
  TFlagScope stopping(stopFloatFlag_);
  StopFloatWorker();
  floating_ = false;
}

}  // namespace lumora
