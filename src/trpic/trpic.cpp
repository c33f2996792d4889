#include "trpic/trpic.h"

#include "trpic/compose.h"
#include "trpic/media_host.h"
#include "trpic/view_support.h"

#include <algorithm>
#include <utility>

namespace lumora {

using namespace view_support;

TCustomTrPic::TCustomTrPic(const TTrPicPlatform& platform)
    : surface_(platform.Surface),
      text_(platform.Text),
      desktop_(platform.Desktop),
      random_(platform.Random),
      messageBox_(platform.MessageBox),
      screenSize_(platform.Surface.ScreenSize()) {
  screenSize_.Width = std::max(screenSize_.Width, 1);
  screenSize_.Height = std::max(screenSize_.Height, 1);
  detail::InitPatterns();
  random_.Randomize();
  surface_.SetEvents(this);
}

TCustomTrPic::~TCustomTrPic() {
  // The media go first: their panels and player belong to the window that follows them.
  FreeMedia();
  media_.reset();
  surface_.SetEvents(nullptr);
}

int TCustomTrPic::Width() const { return ClientW(); }
int TCustomTrPic::Height() const { return ClientH(); }
int TCustomTrPic::ClientW() const { return std::max(surface_.ClientSize().Width, 0); }
int TCustomTrPic::ClientH() const { return std::max(surface_.ClientSize().Height, 0); }

TTrPicStyle TCustomTrPic::ClampStyle(TTrPicStyle value) {
  if (value < 0) return kRandomTrPicStyle;
  return std::min(value, kLastTrPicStyle);
}

// ---------------------------------------------------------------------------------------
// Properties that act at once

void TCustomTrPic::SetAlign(TAlign value) {
  align_ = value;
  if (align_ != TAlign::alNone) autoSize_ = false;
}

void TCustomTrPic::SetAutoSize(bool value) {
  autoSize_ = value && align_ == TAlign::alNone && !asScreen_;
  if (autoSize_ && !picture_.Empty()) surface_.SetClientSize(picture_.Width(), picture_.Height());
}

void TCustomTrPic::SetAsScreen(bool value) {
  if (value == asScreen_) return;
  asScreen_ = value;
  if (asScreen_) autoSize_ = false;
  LayoutCaption(true);
  if (!picture_.Empty()) {
    // Size and place the picture from PicPos, as for a show-in.
    const bool shown = picShown_;
    picShown_ = false;
    Relayout(false, false, true, true);
    picShown_ = shown;
  }
  Repaint();
}

void TCustomTrPic::SetScreenScaleWidth(int value) {
  value = std::max(value, 640);
  if (value == screenScaleWidth_) return;
  screenScaleWidth_ = value;
  if (!asScreen_) LayoutCaption(false);
  Repaint();
}

void TCustomTrPic::SetScreenScaleHeight(int value) {
  value = std::max(value, 480);
  if (value == screenScaleHeight_) return;
  screenScaleHeight_ = value;
  if (!asScreen_) LayoutCaption(false);
  Repaint();
}

void TCustomTrPic::SetCapVisible(bool value) {
  if (value == capVisible_) return;
  capVisible_ = value;
  const TRect old = CaptionBounds();
  captionShown_ = value && !captionBitmap_.Empty();
  if (!value) {
    captionRects_.clear();
    if (media_) media_->CaptionChanged();
    Repaint();
  } else {
    UpdateCaptionLayer(old);
  }
}

bool TCustomTrPic::CenteredWith(TBgBgpStyle fill) const {
  return bgStyle_ == TBgStyle::bsPicture && bgPictureMode_ == TBgMode::bmCentered && bgBgpStyle_ == fill;
}

void TCustomTrPic::RebuildAndRepaint() {
  if (updating_ > 0) {
    rebuildOwed_ = repaintOwed_ = true;
    return;
  }
  RebuildBackground();
  Repaint();
}

void TCustomTrPic::EndUpdate() {
  // Ended before it draws, so that a failing drawing leaves no update open.
  if (updating_ == 0 || --updating_ > 0) return;
  const bool rebuild = std::exchange(rebuildOwed_, false), repaint = std::exchange(repaintOwed_, false);
  if (rebuild) RebuildBackground();
  if (repaint) Repaint();
}

void TCustomTrPic::SetBgStyle(TBgStyle value) {
  if (value == bgStyle_) return;
  bgStyle_ = value;
  RebuildAndRepaint();
}

void TCustomTrPic::SetBgBgpStyle(TBgBgpStyle value) {
  if (value == bgBgpStyle_) return;
  bgBgpStyle_ = value;
  if (bgStyle_ == TBgStyle::bsPicture && bgPictureMode_ == TBgMode::bmCentered) RebuildAndRepaint();
}

void TCustomTrPic::SetBgBgpFixHor(bool value) {
  if (value == bgBgpFixHor_) return;
  bgBgpFixHor_ = value;
  if (bgStyle_ == TBgStyle::bsPicture && bgPictureMode_ == TBgMode::bmSmartTiled) RebuildAndRepaint();
}

void TCustomTrPic::SetBgBgpFixVer(bool value) {
  if (value == bgBgpFixVer_) return;
  bgBgpFixVer_ = value;
  if (bgStyle_ == TBgStyle::bsPicture && bgPictureMode_ == TBgMode::bmSmartTiled) RebuildAndRepaint();
}

void TCustomTrPic::SetBgSolidColor(TColor value) {
  if (value == 0) value = 1;
  if (value == bgSolidColor_) return;
  bgSolidColor_ = value;
  if (bgStyle_ == TBgStyle::bsSolid || CenteredWith(TBgBgpStyle::bpSolid)) RebuildAndRepaint();
}

void TCustomTrPic::SetBgGradientFromColor(TColor value) {
  if (value == bgGradientFromColor_) return;
  bgGradientFromColor_ = value;
  if (bgStyle_ == TBgStyle::bsGradient || CenteredWith(TBgBgpStyle::bpGradient)) RebuildAndRepaint();
}

void TCustomTrPic::SetBgGradientToColor(TColor value) {
  if (value == bgGradientToColor_) return;
  bgGradientToColor_ = value;
  if (bgStyle_ == TBgStyle::bsGradient || CenteredWith(TBgBgpStyle::bpGradient)) RebuildAndRepaint();
}

void TCustomTrPic::SetBgGradientDirection(TDirection value) {
  if (value == bgGradientDirection_) return;
  bgGradientDirection_ = value;
  if (bgStyle_ == TBgStyle::bsGradient || CenteredWith(TBgBgpStyle::bpGradient)) RebuildAndRepaint();
}

void TCustomTrPic::SetBgPatternString(const std::string& value) {
  if (value == bgPatternString_) return;
  bgPatternString_ = value;
  if (bgStyle_ == TBgStyle::bsPattern || CenteredWith(TBgBgpStyle::bpPattern)) RebuildAndRepaint();
}

void TCustomTrPic::SetBgPicture(const TPicture* value) {
  if (value == nullptr) {
    bgPicture_.Clear();
    return;
  }
  if (value != &bgPicture_) bgPicture_ = *value;
  if (bgStyle_ == TBgStyle::bsPicture && !inPaint_ && !showing_) RebuildAndRepaint();
}

void TCustomTrPic::SetBgPictureMode(TBgMode value) {
  if (value == bgPictureMode_) return;
  bgPictureMode_ = value;
  if (bgStyle_ == TBgStyle::bsPicture) RebuildAndRepaint();
}

void TCustomTrPic::SetPicMaskedPicture(const TPicture* value) {
  if (value == nullptr) {
    picMaskedPicture_.Clear();
    picMasked_ = false;
  } else if (value != &picMaskedPicture_) {
    picMaskedPicture_ = *value;
  }
}

void TCustomTrPic::SetPicShapedPicture(const TPicture* value) {
  if (value == nullptr)
    picShapedPicture_.Clear();
  else if (value != &picShapedPicture_)
    picShapedPicture_ = *value;
}

void TCustomTrPic::SetPicture(const TPicture* value) {
  if (value == &picture_) return;
  // Pixels lent to PicBitmap stay there, drawn, as PicBitmap's own.
  ReleaseLeavingPicture();
  if (value == nullptr)
    picture_.Clear();
  else
    picture_ = *value;
}

void TCustomTrPic::SetPicture(TPicture&& value) {
  if (&value == &picture_) return;
  ReleaseLeavingPicture();
  picture_ = std::move(value);
}

void TCustomTrPic::ReleaseLeavingPicture() {
  picLent_ = false;
  loanPatch_ = TBitmap32();
  pictureDrawing_ = TBitmap32();
  // A picture on its way out (its show-out pending or running while the next one is
  // loaded) is drawn only where it meets the client: the rest of a picture far larger
  // than the screen would otherwise stay in memory beside the next one. The mirrored
  // strips of some effects read up to 22 pixels beside what they draw; a margin keeps them.
  constexpr int kEffectReach = 32;
  if (showing_ && showMode_ == 2 && !picBitmap_.Empty()) {
    const TRect shown = IntersectRect(picRect_, TRect{0, 0, ClientW(), ClientH()});
    if (shown.Empty()) {
      picBitmap_.ReleaseOutside(TRect{});
    } else {
      picBitmap_.ReleaseOutside(TRect{shown.Left - picRect_.Left - kEffectReach, shown.Top - picRect_.Top - kEffectReach,
                                      shown.Right - picRect_.Left + kEffectReach,
                                      shown.Bottom - picRect_.Top + kEffectReach});
    }
  }
}

void TCustomTrPic::EndPictureLoan(bool keepDrawn) {
  if (!picLent_) return;
  picLent_ = false;
  if (keepDrawn) {
    TBitmap32 own(picBitmap_);
    own.CopyRect(loanPatchAt_.X, loanPatchAt_.Y, loanPatch_, loanPatch_.Bounds());
    picture_.ReturnBitmap(std::move(own));
  } else {
    SwapLoanPatch();
    picture_.ReturnBitmap(std::move(picBitmap_));
    picBitmap_ = TBitmap32();
  }
  loanPatch_ = TBitmap32();
}

void TCustomTrPic::SwapLoanPatch() {
  for (int y = 0; y < loanPatch_.Height(); ++y) {
    TPixel* at = picBitmap_.Row(loanPatchAt_.Y + y) + loanPatchAt_.X;
    std::swap_ranges(at, at + loanPatch_.Width(), loanPatch_.Row(y));
  }
}

}  // namespace lumora
