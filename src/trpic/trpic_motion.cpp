// The view's transitions and floating motion on worker threads.
#include "trpic/animate_thread.h"
#include "trpic/effects.h"
#include "trpic/float_thread.h"
#include "trpic/trpic.h"

namespace lumora {

TTrPic::TTrPic(const TTrPicPlatform& platform) : TCustomTrPic(platform), threads_(platform.Threads) {}

TTrPic::~TTrPic() {
  // No event is raised while the view is being destroyed.
  OnShowInBegin = nullptr;
  OnShowInComplete = nullptr;
  OnShowOutBegin = nullptr;
  OnShowOutComplete = nullptr;
  try {
    StopShowing();
    StopFloating();
    if (threads_ != nullptr) {
      for (platform::IWorkerThread** ref : {&showInThread_, &showOutThread_, &floatThread_}) {
        if (*ref == nullptr) continue;
        (*ref)->Resume();
        (*ref)->Terminate();
        threads_->WaitPumping([ref] { return *ref == nullptr; });
      }
    }
  } catch (...) {
  }
}

// ---------------------------------------------------------------------------------------
// Transitions

void TTrPic::StartTransition(int mode) {
  if (threads_ == nullptr) {
    TCustomTrPic::StartTransition(mode);
    return;
  }
  platform::IWorkerThread& worker = TAnimateThread::Create(*threads_, *this, mode, false);
  (mode == 1 ? showInThread_ : showOutThread_) = &worker;
}

void TTrPic::AnimateThreadEnded(int mode) {
  (mode == 1 ? showInThread_ : showOutThread_) = nullptr;
  TransitionEnded(mode);
}

void TTrPic::StopTransitionWorkers() {
  if (threads_ == nullptr) return;
  // Ending one worker may start the queued one, which ends at once under the stop flag.
  while (showInThread_ != nullptr || showOutThread_ != nullptr) {
    for (platform::IWorkerThread** ref : {&showInThread_, &showOutThread_}) {
      if (*ref == nullptr) continue;
      (*ref)->Resume();
      (*ref)->Terminate();
      threads_->WaitPumping([ref] { return *ref == nullptr; });
    }
  }
}

void TTrPic::EnsureFrame() {
  const TBitmap32& frame = CompositeBitmap();
  if (frame.Width() != Width() || frame.Height() != Height()) Repaint();
  UpdateClientBg();
}

void TTrPic::PaintEffectStep() {
  EnsureFrame();
  // The frames before drew into this frame only if nothing else has written it, the
  // picture or its place since (a repaint, a resize, a new background, a stamp, the
  // float, a new transition): otherwise the next frame compares all it covers again.
  if (FrameGeneration() != frameMemoryGeneration_) frameMemory_.Clear();
  TBitmap32& frame = MutableCompositeBitmap();
  const TRect changed = effects::PaintEffectStep(frame, PicRect().Left, PicRect().Top, PicBitmap(), EffectStyle(), step_,
                                                 StepCount(), Random(), &frameMemory_);
  frameMemoryGeneration_ = FrameGeneration();
  if (!changed.Empty()) PresentRect(changed);
  stepPainted_ = true;
}

// ---------------------------------------------------------------------------------------
// Floating

void TTrPic::StartFloatWorker(bool suspended) {
  if (threads_ == nullptr) return;
  floatFrameClear_ = false;
  floatThread_ = &TFloatThread::Create(*threads_, *this, suspended);
}

void TTrPic::ResumeFloatWorker() {
  if (floatThread_ != nullptr && floatThread_->Suspended()) floatThread_->Resume();
}

void TTrPic::StopFloatWorker() {
  if (threads_ == nullptr || floatThread_ == nullptr) return;
  floatThread_->Resume();
  floatThread_->Terminate();
  threads_->WaitPumping([this] { return floatThread_ == nullptr; });
}

void TTrPic::FloatThreadEnded() {
  floatThread_ = nullptr;
  SettleFloatFrame();
  SetFloatingState(false);
}

void TTrPic::SettleFloatFrame() {
  if (!floatFrameClear_) return;
  floatFrameClear_ = false;
  // Later partial presents (a show-out, the caption) must find the picture where the
  // window shows it.
  const TRect& shown = FloatShown();
  const TPoint origin = FloatShownOrigin();
  if (!shown.Empty())
    MutableCompositeBitmap().CopyRect(shown.Left, shown.Top, PicBitmap(),
                                      TRect{shown.Left - origin.X, shown.Top - origin.Y, shown.Right - origin.X,
                                            shown.Bottom - origin.Y});
  SetFloatShown(TPoint{}, TRect{});
}

namespace {

struct TFloatMove {
  int Dx, Dy;
};

// Per direction 0..7: right, up-right, up, up-left, left, down-left, down, down-right.
constexpr TFloatMove kFloatMoves[8] = {{+1, 0}, {+1, -1}, {0, -1}, {-1, -1}, {-1, 0}, {-1, +1}, {0, +1}, {+1, +1}};

}  // namespace

void TTrPic::FloatStep() {
  const TBitmap32& picture = PicBitmap();
  if (picture.Empty()) return;
  EnsureFrame();
  TRect& rect = MutablePicRect();
  const int x = rect.Left, y = rect.Top, w = picture.Width(), h = picture.Height();
  const int right = x + w, bottom = y + h, cw = Width(), ch = Height(), d = floatDir_;

  int n = d;
  if (x <= 0 && y <= 0) {
    n = 7;
  } else if (x <= 0 && y > 0 && bottom < ch) {
    n = Random().Random(2);
    if ((d == 4 && n == 0) || (d == 5 && n == 1)) n = 7;
  } else if (x <= 0 && bottom >= ch) {
    n = 1;
  } else if (x > 0 && right < cw && bottom >= ch) {
    n = Random().Random(2) + 1;
    if ((d == 5 && n == 1) || (d == 6 && n == 2)) n = 3;
  } else if (right >= cw && bottom >= ch) {
    n = 3;
  } else if (right >= cw && y > 0 && bottom < ch) {
    n = Random().Random(2) + 3;
    if ((d == 7 && n == 3) || (d == 0 && n == 4)) n = 5;
  } else if (right >= cw && y <= 0) {
    n = 5;
  } else if (x > 0 && right < cw && y <= 0) {
    n = Random().Random(2) + 5;
    if ((d == 1 && n == 5) || (d == 2 && n == 6)) n = 7;
  }

  // The picture is shown over the frame rather than copied into it, so a step costs one
  // copy of its rectangle on the way to the window. The frame holds the background
  // there, and so provides the lines the picture leaves.
  TBitmap32& frame = MutableCompositeBitmap();
  const TRect old{x, y, right, bottom};
  if (!floatFrameClear_) {
    frame.CopyRect(x, y, ClientBgBitmap(), old);
    floatFrameClear_ = true;
  }
  floatDir_ = n;
  const TFloatMove& move = kFloatMoves[n];
  rect = TRect{x + move.Dx, y + move.Dy, right + move.Dx, bottom + move.Dy};
  const TRect changed = IntersectRect(old, frame.Bounds());
  const TRect shown = IntersectRect(old, rect);
  SetFloatShown(TPoint{x, y}, IntersectRect(shown, frame.Bounds()));
  if (!changed.Empty()) PresentRect(changed, platform::TFrameInset{&picture, TPoint{x, y}, shown});
}

}  // namespace lumora
