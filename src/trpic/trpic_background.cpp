// The view's background: the screen-sized bitmap, made lazily, captured from the
// desktop or rebuilt from the background properties.
#include "trpic/trpic.h"

#include "trpic/compose.h"
#include "trpic/view_support.h"

#include <algorithm>
#include <utility>

namespace lumora {

using namespace view_support;

// ---------------------------------------------------------------------------------------
// Background

void TCustomTrPic::EnsureScreenBg(TPixel fill) const {
  if (!screenBgBitmap_.Empty()) return;
  if (std::exchange(bgSolidUnmade_, false)) fill = PixelFromTColor(bgSolidColor_);
  screenBgBitmap_.SetSize(screenSize_.Width, screenSize_.Height, fill);
}

bool TCustomTrPic::SolidUnmade() const {
  // Beyond a screen-sized background a client shows black.
  return bgSolidUnmade_ && screenBgBitmap_.Empty() &&
         (asScreen_ || (ClientW() <= screenSize_.Width && ClientH() <= screenSize_.Height));
}

void TCustomTrPic::CaptureScreen() {
  EnsureScreenBg();
  const int sw = screenBgBitmap_.Width(), sh = screenBgBitmap_.Height();
  TBitmap32 desktop;
  desktop_.CaptureDesktop(desktop, sw, sh);
  if (desktop.Width() == sw && desktop.Height() == sh)
    screenBgBitmap_.CopyRect(0, 0, desktop, desktop.Bounds());
  else if (!desktop.Empty())
    screenBgBitmap_.StretchDraw(screenBgBitmap_.Bounds(), desktop);
  ++bgVersion_;
}

void TCustomTrPic::RebuildBackground() {
  // Whatever happens below, ClientBgBitmap must be made anew.
  ++bgVersion_;
  // A solid background without a stamp needs no bitmap until something reads it; the
  // first fill is then the allocation's own.
  bgSolidUnmade_ = false;
  if (bgStyle_ == TBgStyle::bsSolid && overlayBitmap_.Empty() && screenBgBitmap_.Empty()) {
    bgSolidUnmade_ = true;
    return;
  }
  const bool fresh = screenBgBitmap_.Empty();
  if (bgStyle_ == TBgStyle::bsSolid) EnsureScreenBg(PixelFromTColor(bgSolidColor_));
  EnsureScreenBg();
  const TRect all = screenBgBitmap_.Bounds();
  switch (bgStyle_) {
    case TBgStyle::bsSolid:
      if (!fresh) screenBgBitmap_.FillRect(all, PixelFromTColor(bgSolidColor_));
      break;
    case TBgStyle::bsGradient:
      detail::PaintGradientInto(screenBgBitmap_, bgGradientFromColor_, bgGradientToColor_,
                                static_cast<int>(bgGradientDirection_));
      break;
    case TBgStyle::bsPattern:
      // The painter has told the user; the overlay is not drawn either.
      if (!detail::PaintPatternInto(screenBgBitmap_, bgPatternString_, messageBox_)) return;
      break;
    case TBgStyle::bsPicture:
      switch (bgPictureMode_) {
        case TBgMode::bmCentered:
          switch (bgBgpStyle_) {
            case TBgBgpStyle::bpNone: screenBgBitmap_.FillRect(all, kBlack); break;
            case TBgBgpStyle::bpSolid: screenBgBitmap_.FillRect(all, PixelFromTColor(bgSolidColor_)); break;
            case TBgBgpStyle::bpGradient:
              detail::PaintGradientInto(screenBgBitmap_, bgGradientFromColor_, bgGradientToColor_,
                                        static_cast<int>(bgGradientDirection_));
              break;
            case TBgBgpStyle::bpPattern:
              if (!detail::PaintPatternInto(screenBgBitmap_, bgPatternString_, messageBox_)) return;
              break;
            case TBgBgpStyle::bpScreen: CaptureScreen(); break;
          }
          if (!bgPicture_.Empty())
            DrawOver(screenBgBitmap_, (all.Width() - bgPicture_.Width()) / 2, (all.Height() - bgPicture_.Height()) / 2,
                     bgPicture_.Bitmap());
          break;
        case TBgMode::bmStretched:
          if (!bgPicture_.Empty()) {
            if (HasTransparency(bgPicture_.Bitmap())) {
              // Transparent parts show what the background held.
              TBitmap32 scaled(all.Width(), all.Height());
              scaled.StretchDraw(scaled.Bounds(), bgPicture_.Bitmap());
              DrawOver(screenBgBitmap_, 0, 0, scaled);
            } else {
              screenBgBitmap_.StretchDraw(all, bgPicture_.Bitmap());
            }
          }
          break;
        case TBgMode::bmTiled:
          TileGraphic(screenBgBitmap_, all, &bgPicture_.Bitmap(), bgBgpFixVer_, bgBgpFixHor_, false);
          break;
        case TBgMode::bmSmartTiled:
          TileGraphic(screenBgBitmap_, all, &bgPicture_.Bitmap(), bgBgpFixVer_, bgBgpFixHor_, true);
          break;
      }
      break;
    case TBgStyle::bsScreen:
      CaptureScreen();
      break;
  }
  if (!overlayBitmap_.Empty()) screenBgBitmap_.DrawTransparent(0, 0, overlayBitmap_, kWhite);
  ++bgVersion_;
}

}  // namespace lumora
