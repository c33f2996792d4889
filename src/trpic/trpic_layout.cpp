// The view's layout: the picture's size and place, the mask, the picture bitmap.
#include "trpic/trpic.h"

#include "imaging/dib.h"
#include "trpic/view_support.h"

#include <algorithm>
#include <cstdint>
#include <utility>

namespace lumora {

using namespace view_support;

// ---------------------------------------------------------------------------------------
// Layout

platform::TSize TCustomTrPic::ComputePicSize(bool scaled) const {
  return ComputePicSizeOf(picture_.Width(), picture_.Height(), scaled);
}

// The rules live in TPicSizing, so that the show's decode ahead of the view gets the same
// sizes.
platform::TSize TCustomTrPic::DrawnPicSize(int width, int height) const { return PicSizing().Drawn(width, height); }

platform::TSize TCustomTrPic::SingleDrawnPicSize(int width, int height) const {
  return PicSizing().SingleDrawn(width, height);
}

platform::TSize TCustomTrPic::ComputePicSizeOf(std::int64_t pw, std::int64_t ph, bool scaled) const {
  return PicSizing().Of(pw, ph, scaled);
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

void TCustomTrPic::Relayout(bool caption, bool rebuildCaption, bool place, bool resize) {
  if (caption) LayoutCaption(rebuildCaption);
  if (picture_.Empty()) return;
  ++frameGeneration_;  // the picture or its place may change
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

}  // namespace lumora
