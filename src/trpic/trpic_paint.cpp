// The view's composition: the picture drawn into its bitmap, the caption layer, the
// frame composed and presented, and the window's messages.
#include "trpic/trpic.h"

#include "imaging/dib.h"
#include "trpic/compose.h"
#include "trpic/media_host.h"
#include "trpic/view_support.h"

#include <algorithm>
#include <cstdint>
#include <utility>

namespace lumora {

using namespace view_support;

void TCustomTrPic::ComposePictureInto(TBitmap32& bitmap, int width, int height) {
  if (&bitmap != &picBitmap_ && picLent_) {
    // Another drawing of the picture (a stamp) reads the lent pixels where they are (with
    // the picture's own where a show-out has put the background).
    SwapLoanPatch();
    StretchOnto(bitmap, width, height, picBitmap_, true);
    SwapLoanPatch();
    return;
  }
  if (&bitmap == &picBitmap_) {
    if (picLent_ && loanPatch_.Empty() && !picMasked_ && picBitmap_.Width() == width &&
        picBitmap_.Height() == height)
      return;
    EndPictureLoan(false);
    // A picture known opaque and drawn at the size it is held at is its own drawing: its
    // pixels are lent, not copied (a photo decoded at the size it is shown, a bitmap
    // without transparent pixels shown at its own size).
    if (picture_.Opaque() && !picMasked_ && width > 0 && height > 0 && picture_.HeldWidth() == width &&
        picture_.HeldHeight() == height) {
      DropPicBitmap();
      spareBitmap_ = TBitmap32();  // no other picture's memory is kept beside it
      picBitmap_ = picture_.LendBitmap();
      picLent_ = true;
      return;
    }
  }
  if (&bitmap == &picBitmap_ && !pictureDrawing_.Empty()) {
    if (pictureDrawing_.Width() == width && pictureDrawing_.Height() == height) {
      spareBitmap_ = TBitmap32();
      // A picture held at four times the drawing's pixels or more keeps its drawing for
      // the next composition (the show-out's), a copy being far cheaper than that stretch;
      // otherwise it is used once.
      const std::int64_t held = std::int64_t(picture_.HeldWidth()) * picture_.HeldHeight();
      if (held >= 4 * std::int64_t(width) * height) {
        picBitmap_ = pictureDrawing_;
      } else {
        picBitmap_ = std::move(pictureDrawing_);
        pictureDrawing_ = TBitmap32();
      }
      return;
    }
    // Made for another size: of no use.
    pictureDrawing_ = TBitmap32();
  }
  if (&bitmap == &picBitmap_ && !spareBitmap_.Empty()) {
    // Pictures of one size follow each other: the memory of the last one is reused, and
    // otherwise freed before a new one is taken.
    if (spareBitmap_.Width() == width && spareBitmap_.Height() == height && picBitmap_.Empty())
      std::swap(spareBitmap_, picBitmap_);
    spareBitmap_ = TBitmap32();
  }
  StretchOnto(bitmap, width, height, std::as_const(picture_).Bitmap(), picture_.Opaque());
}

// ---------------------------------------------------------------------------------------
// Caption layer

void TCustomTrPic::LayoutCaption(bool rebuild) {
  const TRect oldBounds = CaptionBounds();
  if (caption_.empty() || !capVisible_) {
    HideCaption();
    return;
  }
  if (OnDrawingCaptionBegin) OnDrawingCaptionBegin(*this);
  {
    TFlagScope drawing(drawingCaption_);
    const int cw = ClientW(), ch = ClientH();
    if (rebuild) {
      const platform::TTextFont font = TextFontOf(capFont_);
      TBitmap32 temp;
      int width = 0, height = 0;
      for (const std::string& line : caption_) {
        const platform::TTextExtent extent = text_.TextExtent(font, line);
        width = std::max(width, extent.Width);
        temp.SetSize(width, height + extent.Height);
        text_.PaintText(temp, 0, height, font, line, kBlack);
        height += extent.Height;
      }
      if (asScreen_) {
        const int w = ClampInt(std::int64_t(temp.Width()) * cw / screenSize_.Width);
        const int h = ClampInt(std::int64_t(temp.Height()) * ch / screenSize_.Height);
        captionBitmap_ = TBitmap32(w, h);
        if (!captionBitmap_.Empty() && !temp.Empty()) captionBitmap_.StretchDraw(captionBitmap_.Bounds(), temp);
      } else {
        captionBitmap_ = std::move(temp);
      }
    }
    const int w = captionBitmap_.Width(), h = captionBitmap_.Height();
    int x = 0, y = 0;
    switch (capPos_) {
      case TCapPos::cpRandom:
        // A caption larger than the client keeps its top-left corner in view.
        x = random_.Random(cw - w);
        y = random_.Random(ch - h);
        break;
      case TCapPos::cpCenter: x = (cw - w) / 2; y = (ch - h) / 2; break;
      case TCapPos::cpTopLeft: break;
      case TCapPos::cpTopCenter: x = (cw - w) / 2; break;
      case TCapPos::cpTopRight: x = cw - w; break;
      case TCapPos::cpBottomLeft: y = ch - h; break;
      case TCapPos::cpBottomCenter: x = (cw - w) / 2; y = ch - h; break;
      case TCapPos::cpBottomRight: x = cw - w; y = ch - h; break;
      case TCapPos::cpUser:
        x = PercentOf(asScreen_ ? cw : screenScaleWidth_, capPosHor_);
        y = PercentOf(asScreen_ ? ch : screenScaleHeight_, capPosVer_);
        break;
    }
    if (rebuild) {
      // Every pixel that is not white is glyph, anti-aliased edges included.
      captionRegion_ = RegionFromBitmap(captionBitmap_, 0x00FFFFFF);
      captionColour_ = PixelFromTColor(capFont_.Color);
    }
    captionPos_ = TPoint{x, y};
    captionShown_ = true;
    UpdateCaptionLayer(oldBounds);
  }
  if (OnDrawingCaptionComplete) OnDrawingCaptionComplete(*this);
}

TRect TCustomTrPic::CaptionBounds() const {
  if (!captionShown_ || captionRects_.empty()) return TRect{};
  TRect bounds{};
  for (const TRect& r : captionRects_) bounds = UnionBounds(bounds, r);
  return bounds;
}

void TCustomTrPic::UpdateCaptionLayer(const TRect& oldBounds) {
  captionRects_.clear();
  if (captionShown_) {
    captionRects_.reserve(captionRegion_.RectCount());
    for (TRect r : captionRegion_.Rects()) {
      r.Left += captionPos_.X;
      r.Right += captionPos_.X;
      r.Top += captionPos_.Y;
      r.Bottom += captionPos_.Y;
      captionRects_.push_back(r);
    }
  }
  // Over a medium the caption shows through a cut in the medium's panel.
  if (media_) media_->CaptionChanged();
  const TRect changed = UnionBounds(oldBounds, CaptionBounds());
  if (changed.Empty()) return;
  if (compositeBitmap_.Width() != ClientW() || compositeBitmap_.Height() != ClientH())
    Repaint();
  else
    PresentRect(changed);
}

void TCustomTrPic::HideCaption() {
  const TRect old = CaptionBounds();
  captionShown_ = false;
  UpdateCaptionLayer(old);
}

// ---------------------------------------------------------------------------------------
// Painting

void TCustomTrPic::UpdateClientBg() const {
  const platform::TSize client{ClientW(), ClientH()};
  if (clientBgVersion_ == bgVersion_ && clientBgSize_ == client && clientBgAsScreen_ == asScreen_) return;
  EnsureScreenBg();
  // Scaled or not, a client of the screen's size shows the screen's background 1:1.
  clientBgShared_ = client.Width == screenBgBitmap_.Width() && client.Height == screenBgBitmap_.Height();
  if (clientBgShared_) {
    clientBgBitmap_ = TBitmap32();
  } else {
    clientBgBitmap_.SetSize(client.Width, client.Height);
    if (!clientBgBitmap_.Empty()) {
      if (asScreen_) {
        clientBgBitmap_.StretchDraw(clientBgBitmap_.Bounds(), screenBgBitmap_);
      } else {
        // A client larger than the screen shows black beyond the background.
        if (client.Width > screenBgBitmap_.Width() || client.Height > screenBgBitmap_.Height())
          clientBgBitmap_.FillRect(clientBgBitmap_.Bounds(), kBlack);
        clientBgBitmap_.CopyRect(0, 0, screenBgBitmap_, screenBgBitmap_.Bounds());
      }
    }
  }
  clientBgVersion_ = bgVersion_;
  clientBgSize_ = client;
  clientBgAsScreen_ = asScreen_;
}

void TCustomTrPic::Paint() {
  ++frameGeneration_;
  // A solid background is filled into the frame where it shows; its bitmap waits until
  // something needs it (an effect, a mask, the float).
  const bool solid = SolidUnmade();
  const TPixel solidPixel = PixelFromTColor(bgSolidColor_);
  if (!solid) UpdateClientBg();
  const auto background = [&](const TRect& part) {
    if (solid)
      compositeBitmap_.FillRect(part, solidPixel);
    else
      compositeBitmap_.CopyRect(part.Left, part.Top, ClientBgBitmap(), part);
  };
  // A new frame starts as a copy of the background rather than white.
  const bool fresh = compositeBitmap_.Empty() &&
                     (solid || (ClientBgBitmap().Width() == ClientW() && ClientBgBitmap().Height() == ClientH()));
  if (fresh) {
    if (solid)
      compositeBitmap_.SetSize(ClientW(), ClientH(), solidPixel);
    else
      compositeBitmap_ = ClientBgBitmap();
  }
  compositeBitmap_.SetSize(ClientW(), ClientH());
  const TRect all = compositeBitmap_.Bounds();
  // While a transition or the floating motion runs, they draw the picture themselves.
  const bool drawPicture = picShown_ && !showing_ && !floating_ && !picBitmap_.Empty();
  const TRect under = drawPicture ? IntersectRect(picRect_, all) : TRect{};
  if (fresh) {
    // The background is in the frame already.
  } else if (under.Empty()) {
    background(all);
  } else {
    // The picture is opaque: only the background around it is drawn.
    const TRect parts[] = {{all.Left, all.Top, all.Right, under.Top},
                           {all.Left, under.Bottom, all.Right, all.Bottom},
                           {all.Left, under.Top, under.Left, under.Bottom},
                           {under.Right, under.Top, all.Right, under.Bottom}};
    for (const TRect& part : parts)
      if (!part.Empty()) background(part);
  }
  if (drawPicture) compositeBitmap_.CopyRect(picRect_.Left, picRect_.Top, picBitmap_, picBitmap_.Bounds());
  // The whole frame replaces whatever the window showed over it.
  floatShown_ = TRect{};
  PresentRect(all);
}

void TCustomTrPic::Repaint() {
  if (updating_ > 0) {
    repaintOwed_ = true;
    return;
  }
  if (inPaint_) return;
  TFlagScope painting(inPaint_);
  Paint();
}

void TCustomTrPic::PresentRect(const TRect& rect) {
  surface_.Present(compositeBitmap_, rect, platform::TCaptionLayer{captionRects_, captionColour_});
}

void TCustomTrPic::PresentRect(const TRect& rect, const platform::TFrameInset& inset) {
  surface_.PresentWithInset(compositeBitmap_, rect, platform::TCaptionLayer{captionRects_, captionColour_}, inset);
}

void TCustomTrPic::SurfacePaint() {
  try {
    Repaint();
  } catch (...) {
    // Nothing escapes into the window system; the next paint tries again.
  }
}

void TCustomTrPic::SurfaceResized() {
  try {
    if (!picture_.Empty()) Relayout(false, false, true, true);
    Repaint();
    // The caption is re-rendered only when it scales with the client.
    LayoutCaption(asScreen_);
  } catch (...) {
  }
}

void TCustomTrPic::SurfaceMouse(platform::TMouseAction action, platform::TMouseButton button, platform::TShiftState shift,
                                int x, int y) {
  try {
    ForwardMouse(TMouseSource::View, action, button, shift, x, y);
  } catch (...) {
  }
}

void TCustomTrPic::ForwardMouse(TMouseSource sender, platform::TMouseAction action, platform::TMouseButton button,
                                platform::TShiftState shift, int x, int y) {
  switch (action) {
    case platform::TMouseAction::Down:
      if (OnMouseDown) OnMouseDown(sender, button, shift, x, y);
      break;
    case platform::TMouseAction::Move:
      surface_.SetDefaultCursor();
      if (OnMouseMove) OnMouseMove(sender, shift, x, y);
      break;
    case platform::TMouseAction::Up:
      if (OnMouseUp) OnMouseUp(sender, button, shift, x, y);
      break;
  }
}

}  // namespace lumora
