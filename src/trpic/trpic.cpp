#include "trpic/trpic.h"

#include "imaging/dib.h"
#include "trpic/compose.h"
#include "trpic/media_host.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <utility>

namespace lumora {
namespace {

constexpr TPixel kBlack = 0xFF000000u;
constexpr TPixel kWhite = 0xFFFFFFFFu;
// The overlay's brush colour, 0x00FFFFFE as a colour: white with red one short.
constexpr TPixel kStampWhite = MakePixel(0xFE, 0xFF, 0xFF);
// The largest side an effect bitmap can have.
constexpr int kMaxDibSide = 0xFFFF;

// Trunc(a * percent) / 100, the way percentages become pixels.
int PercentOf(std::int64_t a, float percent) {
  const double product = static_cast<double>(a) * static_cast<double>(percent);
  if (!(std::fabs(product) < 9.0e18)) return 0;
  const auto t = static_cast<std::int64_t>(product);
  return static_cast<int>(std::clamp<std::int64_t>(t / 100, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
}

int ClampInt(std::int64_t v) {
  return static_cast<int>(std::clamp<std::int64_t>(v, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
}

TRect UnionBounds(const TRect& a, const TRect& b) {
  if (a.Empty()) return b;
  if (b.Empty()) return a;
  return TRect{std::min(a.Left, b.Left), std::min(a.Top, b.Top), std::max(a.Right, b.Right), std::max(a.Bottom, b.Bottom)};
}

// Clears a flag when a scope ends, also on an exception.
class TFlagScope {
 public:
  explicit TFlagScope(bool& flag) : flag_(flag) { flag_ = true; }
  ~TFlagScope() { flag_ = false; }
  TFlagScope(const TFlagScope&) = delete;
  TFlagScope& operator=(const TFlagScope&) = delete;

 private:
  bool& flag_;
};

}  // namespace

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
  picLent_ = false;
  if (value == nullptr)
    picture_.Clear();
  else
    picture_ = *value;
}

void TCustomTrPic::SetPicture(TPicture&& value) {
  if (&value == &picture_) return;
  picLent_ = false;
  picture_ = std::move(value);
}

void TCustomTrPic::EndPictureLoan(bool keepDrawn) {
  if (!picLent_) return;
  picLent_ = false;
  if (keepDrawn) {
    picture_.ReturnBitmap(TBitmap32(picBitmap_));
  } else {
    picture_.ReturnBitmap(std::move(picBitmap_));
    picBitmap_ = TBitmap32();
  }
}

// ---------------------------------------------------------------------------------------
// Layout

platform::TSize TCustomTrPic::ComputePicSize(bool scaled) const {
  return ComputePicSizeOf(picture_.Width(), picture_.Height(), scaled);
}

platform::TSize TCustomTrPic::DrawnPicSize(int width, int height) const {
  // The client's size and the screen-scale size of a stamp: a picture decoded for the
  // larger of them never has fewer pixels than a drawing of it needs, also after a resize
  // up to the screen's size.
  const platform::TSize shown = ComputePicSizeOf(width, height, asScreen_);
  const platform::TSize stamp = ComputePicSizeOf(width, height, false);
  return {std::max(shown.Width, stamp.Width), std::max(shown.Height, stamp.Height)};
}

platform::TSize TCustomTrPic::SingleDrawnPicSize(int width, int height) const {
  const platform::TSize shown = ComputePicSizeOf(width, height, asScreen_);
  const platform::TSize stamp = ComputePicSizeOf(width, height, false);
  if (shown.Width != stamp.Width || shown.Height != stamp.Height) return {0, 0};
  return shown;
}

platform::TSize TCustomTrPic::ComputePicSizeOf(std::int64_t pw, std::int64_t ph, bool scaled) const {
  const std::int64_t cw = ClientW(), ch = ClientH();
  const std::int64_t sw = screenSize_.Width, sh = screenSize_.Height;
  switch (picSize_) {
    case TPicSize::psOriginal:
      if (scaled) return {ClampInt(cw * pw / sw), ClampInt(ch * ph / sh)};
      return {ClampInt(pw), ClampInt(ph)};
    case TPicSize::psFullWindow:
      // A picture without width or height has no size to fill the window with.
      if (pw > 0 && ph > 0) return {ClampInt(cw), ClampInt(ch)};
      return {0, 0};
    case TPicSize::psUser: {
      const std::int64_t rw = picSizeRef_ == TPicSizeRef::psrScreen ? sw : pw;
      const std::int64_t rh = picSizeRef_ == TPicSizeRef::psrScreen ? sh : ph;
      const auto trunc = [](double v) -> std::int64_t { return std::fabs(v) < 9.0e18 ? static_cast<std::int64_t>(v) : 0; };
      if (scaled) {
        return {ClampInt(trunc(static_cast<double>(rw * cw) * picSizeHor_) / (sw * 100)),
                ClampInt(trunc(static_cast<double>(rh * ch) * picSizeVer_) / (sh * 100))};
      }
      return {ClampInt(trunc(static_cast<double>(rw) * picSizeHor_) / 100),
              ClampInt(trunc(static_cast<double>(rh) * picSizeVer_) / 100)};
    }
  }
  return {0, 0};
}

void TCustomTrPic::PlacePic() {
  const int w = picBitmap_.Width(), h = picBitmap_.Height();
  const int cw = ClientW(), ch = ClientH();
  const TRect old = picRect_;
  int x = 0, y = 0;
  if (!picShown_) {
    switch (picPos_) {
      case TPicPos::poRandom:
        // Larger than the client: the picture's far edge stays on screen.
        x = random_.Random(std::abs(cw - w));
        if (w > cw) x = -x;
        y = random_.Random(std::abs(ch - h));
        if (h > ch) y = -y;
        break;
      case TPicPos::poCenter: x = (cw - w) / 2; y = (ch - h) / 2; break;
      case TPicPos::poTopLeft: break;
      case TPicPos::poTopCenter: x = (cw - w) / 2; break;
      case TPicPos::poTopRight: x = cw - w; break;
      case TPicPos::poBottomLeft: y = ch - h; break;
      case TPicPos::poBottomCenter: x = (cw - w) / 2; y = ch - h; break;
      case TPicPos::poBottomRight: x = cw - w; y = ch - h; break;
      case TPicPos::poUser:
        x = PercentOf(asScreen_ ? cw : screenScaleWidth_, picPosHor_);
        y = PercentOf(asScreen_ ? ch : screenScaleHeight_, picPosVer_);
        break;
      case TPicPos::poCurrent: x = old.Left; y = old.Top; break;
    }
  } else if (asScreen_) {
    // A resize of a displayed picture keeps its position relative to its size.
    if (old.Width() >= 1 && old.Height() >= 1) {
      x = ClampInt(std::int64_t(old.Left) * w / old.Width());
      y = ClampInt(std::int64_t(old.Top) * h / old.Height());
    }
  } else {
    x = old.Left;
    y = old.Top;
  }
  picRect_ = TRect{x, y, x + w, y + h};
}

void TCustomTrPic::ComposePictureInto(TBitmap32& bitmap, int width, int height) {
  if (&bitmap != &picBitmap_ && picLent_) {
    // Another drawing of the picture (a stamp) reads the lent pixels where they are.
    StretchOnto(bitmap, width, height, picBitmap_, true);
    return;
  }
  if (&bitmap == &picBitmap_) {
    if (picLent_ && !picMasked_ && picBitmap_.Width() == width && picBitmap_.Height() == height) return;
    EndPictureLoan(false);
    // A picture known opaque and drawn at the size it is held at is its own drawing: its
    // pixels are lent, not copied (a photo decoded at the size it is shown).
    if (picture_.Opaque() && !picMasked_ && width > 0 && height > 0 && picture_.HeldWidth() == width &&
        picture_.HeldHeight() == height) {
      DropPicBitmap();
      picBitmap_ = picture_.LendBitmap();
      picLent_ = true;
      return;
    }
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

void TCustomTrPic::DropPicBitmap() {
  if (picLent_) {
    // The pixels are the picture's: they go back to it, not to the spare.
    EndPictureLoan(false);
    return;
  }
  if (picBitmap_.Empty()) return;
  std::swap(spareBitmap_, picBitmap_);
  picBitmap_ = TBitmap32();
}

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

void TCustomTrPic::Relayout(bool caption, bool rebuildCaption, bool place, bool resize) {
  if (caption) LayoutCaption(rebuildCaption);
  if (picture_.Empty()) return;
  if (resize) {
    const platform::TSize size = ComputePicSize(asScreen_);
    ComposePictureInto(picBitmap_, size.Width, size.Height);
  }
  if (place || resize) PlacePic();
  if (picMasked_ && !picBitmap_.Empty()) ApplyMask(picBitmap_);
}

void TCustomTrPic::ApplyMask(TBitmap32& bitmap) {
  if (bitmap.Empty() || picMaskedPicture_.Empty()) return;
  // An effect bitmap has 16-bit sides; a larger picture stays unmasked.
  if (bitmap.Width() > kMaxDibSide || bitmap.Height() > kMaxDibSide) return;
  const int w = bitmap.Width(), h = bitmap.Height();

  TWinDIB source;
  source.LoadFromBitmap(&bitmap);
  source.ImportMask(&picMaskedPicture_);
  source.SetMasked(true);
  source.SetOpacity(static_cast<std::uint8_t>(picOpacity_ & 0xFF));
  source.SetAngle(0);

  // The destination holds the background currently behind the picture.
  UpdateClientBg();
  TBitmap32 under(w, h, kBlack);
  under.CopyRect(0, 0, ClientBgBitmap(), TRect{picRect_.Left, picRect_.Top, picRect_.Left + w, picRect_.Top + h});
  TWinDIB destination;
  destination.SetSize(static_cast<std::uint16_t>(w), static_cast<std::uint16_t>(h));
  destination.LoadFromBitmap(&under);

  source.Draw(0, 0, destination.Width(), destination.Height(), destination, 0, 0);
  destination.CopyToBitmap(bitmap);
  for (TPixel& p : bitmap.Pixels()) p |= kBlack;
}

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

// ---------------------------------------------------------------------------------------
// Background

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
  TBitmap32 stamp;
  ComposePictureInto(stamp, size.Width, size.Height);
  if (picMasked_) ApplyMask(stamp);
  const bool wasFloating = floating_;
  if (wasFloating) StopFloating();
  // White parts of the picture must not be taken for the overlay's transparent colour.
  CopyReplacingWhite(overlayBitmap_, x, y, stamp, kStampWhite);
  EnsureScreenBg();
  screenBgBitmap_.DrawTransparent(0, 0, overlayBitmap_, kWhite);
  ++bgVersion_;
  Repaint();
  if (wasFloating) StartFloating();
  stamped_ = true;
}

void TCustomTrPic::PrepareEffect(int mode) {
  Relayout(false, false, true, true);
  const TTrPicStyle style = mode == 1 ? showInStyle_ : showOutStyle_;
  effectStyle_ = style < 0 ? random_.Random(78) + 1 : style;
  if (mode == 2) {
    // The show-out reveals the background that lies under the picture.
    UpdateClientBg();
    if (picLent_) {
      // The picture keeps its pixels; the background gets a bitmap of its own (the
      // picture's beyond the background, where the copy below does not reach).
      const TRect bg = ClientBgBitmap().Bounds();
      const bool covered = IntersectRect(picRect_, bg) == picRect_;
      const int w = picBitmap_.Width(), h = picBitmap_.Height();
      EndPictureLoan(!covered);
      if (covered) {
        if (spareBitmap_.Width() == w && spareBitmap_.Height() == h) std::swap(spareBitmap_, picBitmap_);
        spareBitmap_ = TBitmap32();
        if (picBitmap_.Width() != w || picBitmap_.Height() != h) picBitmap_ = TBitmap32(w, h, TBitmap32::TUninitialised{});
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
