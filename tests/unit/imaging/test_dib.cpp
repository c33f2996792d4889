// The effect bitmap: properties and routine selection, the blend numbers, Draw's clipping,
// masks, sharing and assigning, rotation, filters, and regions from key colours.
#include "imaging/dib.h"
#include "imaging/picture.h"

#include <gtest/gtest.h>

#include <random>

namespace lumora {
namespace {

using TMethod = TAbstractSuperDIB::TPixelMethod;

std::unique_ptr<TWinDIB> Solid(int w, int h, TPixel p) {
  auto dib = TWinDIB::CreateSize(static_cast<std::uint16_t>(w), static_cast<std::uint16_t>(h));
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) dib->ScanLine(y)[x] = p;
  return dib;
}

std::uint32_t Blend(std::uint32_t s, std::uint32_t d, std::uint32_t a) { return ((s * a + d * (255 - a)) >> 8) + 1; }

class TNotADib : public TPersistent {
 public:
  std::string_view ClassName() const override { return "TNotADib"; }
};

TEST(DIBProperties, DefaultsAndSettersNotifyOnlyOnChange) {
  TWinDIB dib;
  EXPECT_EQ(dib.Angle(), 0);
  EXPECT_FALSE(dib.Masked());
  EXPECT_EQ(dib.Opacity(), 255);
  EXPECT_EQ(dib.ScaleX(), 100.0);
  EXPECT_EQ(dib.ScaleY(), 100.0);
  EXPECT_FALSE(dib.Transparent());
  EXPECT_FALSE(dib.AutoSize());
  EXPECT_EQ(dib.TransparentMode(), TTransparentMode::tmAuto);
  EXPECT_EQ(dib.Width(), 0);
  EXPECT_EQ(dib.Height(), 0);
  EXPECT_TRUE(dib.OwnsBits());
  EXPECT_EQ(dib.Bits(), nullptr);
  EXPECT_TRUE(dib.HasImage() == false);
  EXPECT_EQ(dib.PixelRoutine().Method, static_cast<TMethod>(&TAbstractSuperDIB::CopyRows));
  EXPECT_EQ(dib.ClassName(), "TWinDIB");

  int changes = 0;
  dib.OnChange = [&](TAbstractSuperDIB&) { ++changes; };
  dib.SetOpacity(255);
  dib.SetMasked(false);
  dib.SetScale(100.0);
  EXPECT_EQ(changes, 0);
  dib.SetOpacity(10);
  dib.SetScale(50.0);
  EXPECT_EQ(changes, 2);
  EXPECT_EQ(dib.ScaleX(), 50.0);
  EXPECT_EQ(dib.ScaleY(), 50.0);
  dib.SetScaleY(70.0);
  EXPECT_EQ(dib.Scale(), 50.0) << "Scale reads the horizontal scale";
  dib.SetWidth(3);
  EXPECT_EQ(changes, 4);
  EXPECT_EQ(dib.Height(), 1) << "a zero height becomes 1 once sized";
}

TEST(DIBProperties, ChangedBindsThePixelRoutineFromOpacityMaskAndKey) {
  struct TCase {
    std::uint8_t Opacity;
    bool Masked;
    bool Transparent;
    TMethod Want;
  };
  const TCase cases[] = {
      {255, true, true, &TAbstractSuperDIB::BlendAlpha},        {255, true, false, &TAbstractSuperDIB::BlendAlpha},
      {255, false, true, &TAbstractSuperDIB::CopyKeyed},        {255, false, false, &TAbstractSuperDIB::CopyRows},
      {254, true, true, &TAbstractSuperDIB::BlendAlphaOpacity}, {0, true, false, &TAbstractSuperDIB::BlendAlphaOpacity},
      {128, false, true, &TAbstractSuperDIB::BlendKeyed},       {1, false, false, &TAbstractSuperDIB::BlendConstant},
  };
  for (const TCase& c : cases) {
    TWinDIB dib;
    dib.SetOpacity(c.Opacity);
    dib.SetMasked(c.Masked);
    dib.SetTransparent(c.Transparent);
    EXPECT_EQ(dib.PixelRoutine().Method, c.Want) << int(c.Opacity) << " " << c.Masked << " " << c.Transparent;
    EXPECT_EQ(dib.PixelRoutine().Target, &dib);
  }
}

TEST(DIBProperties, MemoryIsBottomUpAndSizingResetsTheClip) {
  TWinDIB dib;
  dib.SetSize(0, 0);
  EXPECT_EQ(dib.Bits(), nullptr) << "0 x 0 on an empty bitmap changes nothing";
  dib.SetSize(4, 3);
  ASSERT_NE(dib.Bits(), nullptr);
  EXPECT_EQ(dib.ScanLine(0), dib.Bits() + 2 * 4);
  EXPECT_EQ(dib.ScanLine(2), dib.Bits());
  EXPECT_EQ(dib.ClipRect(), (TRect{0, 0, 3, 2}));
  dib.SetClipRect(TRect{9, 5, -3, 1});
  EXPECT_EQ(dib.ClipRect(), (TRect{0, 1, 3, 2})) << "swapped, then clamped";
  dib.SetSize(0, 0);
  EXPECT_EQ(dib.Width(), 1);
  EXPECT_EQ(dib.Height(), 1);
  EXPECT_EQ(dib.ClipRect(), (TRect{0, 0, 0, 0}));

  // The key colour: stored in pixel order in tmFixed, the first pixel in memory in tmAuto.
  auto pic = Solid(2, 2, MakePixel(1, 2, 3));
  pic->ScanLine(1)[0] = MakePixel(0x11, 0x22, 0x33, 0x44);
  EXPECT_EQ(pic->TransparentColor(), 0x112233u);
  pic->SetTransparentColor(0x00CCBBAA);
  EXPECT_EQ(pic->TransparentColor(), 0x112233u);
  pic->SetTransparentMode(TTransparentMode::tmFixed);
  EXPECT_EQ(pic->TransparentColor(), 0xAABBCCu);
}

TEST(DIBBlend, AlphaExtremesKeepOneSideAndLiftZeroChannelsToOne) {
  // Seven pixels per row so that both the four-pixel path and the single-pixel tail run.
  const TPixel src = MakePixel(200, 0, 255, 255);
  const TPixel dst = MakePixel(0, 90, 255, 17);
  auto s = Solid(7, 2, src);
  auto d = Solid(7, 2, dst);
  s->SetMasked(true);
  s->Draw(0, 0, 7, 2, *d, 0, 0);
  for (int x = 0; x < 7; ++x) EXPECT_EQ(d->ScanLine(1)[x], MakePixel(200, 1, 255, 17)) << x;
  s = Solid(7, 2, src & 0x00FFFFFFu);
  s->SetMasked(true);
  d = Solid(7, 2, dst);
  s->Draw(0, 0, 7, 2, *d, 0, 0);
  for (int x = 0; x < 7; ++x) EXPECT_EQ(d->ScanLine(0)[x], MakePixel(1, 90, 255, 17)) << x;
}

TEST(DIBBlend, OpacityScalesTheSourceAlpha) {
  auto s = Solid(5, 1, MakePixel(200, 10, 0, 255));
  auto d = Solid(5, 1, MakePixel(100, 250, 0, 3));
  s->SetMasked(true);
  s->SetOpacity(128);  // weight (255 * 128) >> 8 = 127
  s->Draw(0, 0, 5, 1, *d, 0, 0);
  // ((200 * 127 + 100 * 128) >> 8) + 1 = 150; ((10 * 127 + 250 * 128) >> 8) + 1 = 130.
  for (int x = 0; x < 5; ++x) EXPECT_EQ(d->ScanLine(0)[x], MakePixel(150, 130, 1, 3)) << x;
  // BlendConstant ignores the source alpha.
  auto c = Solid(5, 1, MakePixel(200, 10, 0, 0));
  c->SetOpacity(128);
  d = Solid(5, 1, MakePixel(100, 250, 0, 3));
  c->Draw(0, 0, 5, 1, *d, 0, 0);
  EXPECT_EQ(d->ScanLine(0)[4], MakePixel(Blend(200, 100, 128), Blend(10, 250, 128), 1, 3));
}

TEST(DIBBlend, EveryRoutineFollowsTheFormulaOnRandomPixels) {
  std::mt19937 rng(99);
  auto s = TWinDIB::CreateSize(37, 5);
  auto d0 = TWinDIB::CreateSize(37, 5);
  for (int i = 0; i < 37 * 5; ++i) {
    s->Bits()[i] = rng();
    d0->Bits()[i] = rng();
  }
  s->Bits()[3] = 0x00ABCDEF;  // some pixels with the key colour
  s->Bits()[40] = 0x77ABCDEF;
  s->SetTransparentMode(TTransparentMode::tmFixed);
  s->SetTransparentColor(0x00EFCDAB);
  for (int mode = 0; mode < 4; ++mode) {
    s->SetMasked(mode == 1 || mode == 2);
    s->SetTransparent(mode == 3);
    s->SetOpacity(mode == 1 ? 255 : 77);
    TWinDIB d;
    d0->AssignTo(d);
    s->Draw(0, 0, 37, 5, d, 0, 0);
    for (int i = 0; i < 37 * 5; ++i) {
      const TPixel sp = s->Bits()[i], dp = d0->Bits()[i];
      std::uint32_t a = mode == 0 ? 77 : mode == 1 ? PixelA(sp) : mode == 2 ? (PixelA(sp) * 77) >> 8 : 77;
      TPixel want = MakePixel(Blend(PixelR(sp), PixelR(dp), a), Blend(PixelG(sp), PixelG(dp), a),
                              Blend(PixelB(sp), PixelB(dp), a), PixelA(dp));
      if (mode == 3 && (sp & 0xFFFFFF) == 0xABCDEF) want = dp;
      ASSERT_EQ(d.Bits()[i], want) << "mode " << mode << " pixel " << i;
    }
  }
  // Keyed copy: the key's pixels stay, the others arrive with alpha 0.
  s->SetMasked(false);
  s->SetOpacity(255);
  TWinDIB d;
  d0->AssignTo(d);
  s->Draw(0, 0, 37, 5, d, 0, 0);
  EXPECT_EQ(d.Bits()[3], d0->Bits()[3]);
  EXPECT_EQ(d.Bits()[4], s->Bits()[4] & 0x00FFFFFFu);
  // DrawAlpha moves only alpha, and the bound routine comes back.
  d0->AssignTo(d);
  s->DrawAlpha(0, 0, 37, 5, d, 0, 0);
  EXPECT_EQ(d.Bits()[5], (d0->Bits()[5] & 0x00FFFFFFu) | (s->Bits()[5] & 0xFF000000u));
  EXPECT_EQ(s->PixelRoutine().Method, static_cast<TMethod>(&TAbstractSuperDIB::CopyKeyed));
}

TEST(DIBDraw, AreaIsCutByTheClipThenTheSourceThenTheTarget) {
  auto src = TWinDIB::CreateSize(6, 6);
  for (int y = 0; y < 6; ++y)
    for (int x = 0; x < 6; ++x) src->ScanLine(y)[x] = MakePixel(std::uint8_t(x), std::uint8_t(y), 9);
  auto dst = Solid(8, 8, 0);
  dst->SetClipRect(TRect{2, 3, 5, 6});
  src->Draw(0, 0, 10, 10, *dst, 0, 0);
  // The clip's left/top move the source start: target (2..5, 3..6) reads source from (2, 3).
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x) {
      const bool drawn = x >= 2 && x <= 5 && y >= 3 && y <= 5;  // source has rows 0..5 only
      EXPECT_EQ(dst->ScanLine(y)[x], drawn ? src->ScanLine(y)[x] : 0u) << x << "," << y;
    }
  // Source offset past the source: nothing. Target start past the target: nothing.
  auto again = Solid(8, 8, 0);
  src->Draw(0, 0, 4, 4, *again, 6, 0);
  src->Draw(9, 0, 4, 4, *again, 0, 0);
  for (int i = 0; i < 64; ++i) ASSERT_EQ(again->Bits()[i], 0u);
  // Cut at the target's right and bottom edge.
  src->Draw(6, 5, 6, 6, *again, 1, 1);
  EXPECT_EQ(again->ScanLine(7)[7], src->ScanLine(3)[2]);
  // Bitmaps without memory are left alone.
  TWinDIB empty;
  src->Draw(0, 0, 5, 5, empty, 0, 0);
  empty.Draw(0, 0, 5, 5, *again, 0, 0);
}

TEST(DIBMask, HalfWhiteMaskShowsPictureLeftAndBackgroundRight) {
  // A 2 x 1 mask (white, black) stretched over an 8 x 4 picture.
  TPicture mask;
  mask.Bitmap().SetSize(2, 1);
  mask.Bitmap().At(0, 0) = MakePixel(255, 255, 255);
  mask.Bitmap().At(1, 0) = MakePixel(0, 0, 0);
  TBitmap32 photo(8, 4, MakePixel(0, 160, 40, 0));
  TWinDIB picture;
  picture.LoadFromBitmap(&photo);
  EXPECT_EQ(picture.ScanLine(0)[0], MakePixel(0, 160, 40, 255)) << "loaded with alpha 255";
  picture.ImportMask(&mask);
  picture.SetMasked(true);
  auto background = Solid(8, 4, MakePixel(255, 0, 0));
  picture.Draw(0, 0, 8, 4, *background, 0, 0);
  TBitmap32 out;
  background->CopyToBitmap(out);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 8; ++x)
      EXPECT_EQ(out.At(x, y), x < 4 ? MakePixel(1, 160, 40) : MakePixel(255, 1, 1)) << x << "," << y;
}

TEST(DIBMask, MisuseRaisesTheDesignedErrors) {
  TWinDIB empty;
  TPicture mask;
  mask.Bitmap().SetSize(1, 1);
  try {
    empty.ImportMask(&mask);
    FAIL() << "no error";
  } catch (const EDIBError& e) {
    EXPECT_STREQ(e.what(), "You cannot import a mask until you have an image.");
  }
  empty.ImportMask(static_cast<const TPicture*>(nullptr));
  TPicture none;
  EXPECT_THROW(empty.LoadFromPicture(&none), EAbort);
  empty.LoadFromBitmap(nullptr);
  EXPECT_EQ(empty.Bits(), nullptr);

  TNotADib other;
  try {
    empty.AssignPropertiesTo(other);
    FAIL() << "no error";
  } catch (const EDIBError& e) {
    EXPECT_STREQ(e.what(), "Cannot assign a TAbstractDIB to a TNotADib");
  }
  EXPECT_THROW(empty.AssignTo(other), EConvertError);

  T8BitSurface surface{2, 2, 8, std::vector<std::uint8_t>(4)};
  TDIBPalette palette;
  try {
    empty.Render8Bit(surface, 0, 0, 2, 2, 0, 0, palette);
    FAIL() << "no error";
  } catch (const EDIBError& e) {
    EXPECT_STREQ(e.what(), "Render8Bit can only be used with a palette containing a lookup table");
  }
  palette.LookupTable.assign(64 * 64 * 64, 0);
  surface.BitsPerPixel = 24;
  try {
    empty.Render8Bit(surface, 0, 0, 2, 2, 0, 0, palette);
    FAIL() << "no error";
  } catch (const EDIBError& e) {
    EXPECT_STREQ(e.what(), "Render8Bit can only be used to blit to an 8 bit DC");
  }
  // With both in place each pixel goes through the table.
  surface.BitsPerPixel = 8;
  auto dib = Solid(2, 2, MakePixel(0x40, 0x80, 0xFC));
  palette.LookupTable[(0xFC >> 2) * 4096 + (0x80 >> 2) * 64 + (0x40 >> 2)] = 17;
  dib->Render8Bit(surface, 1, 0, 2, 2, 0, 0, palette);
  EXPECT_EQ(surface.Pixels, (std::vector<std::uint8_t>{0, 17, 0, 17}));
}

TEST(DIBSharing, SharedMemoryIsSeenByBothAndOutlivesItsOwner) {
  auto owner = Solid(3, 2, MakePixel(1, 2, 3));
  owner->SetOpacity(90);
  auto shared = TWinDIB::CreateShared(*owner);
  EXPECT_FALSE(shared->OwnsBits());
  EXPECT_TRUE(shared->HasImage());
  EXPECT_EQ(shared->Width(), 3);
  EXPECT_EQ(shared->Opacity(), 90);
  EXPECT_EQ(shared->PixelRoutine().Target, shared.get()) << "rebound to itself";
  shared->ScanLine(0)[0] = 42;
  EXPECT_EQ(owner->ScanLine(0)[0], 42u);
  owner.reset();
  EXPECT_EQ(shared->ScanLine(1)[2], MakePixel(1, 2, 3)) << "memory stays while it is shared";
  shared->SetSize(5, 5);
  EXPECT_TRUE(shared->OwnsBits()) << "resizing gives the share up";

  // Assigning copies pixels and properties into another bitmap.
  auto src = Solid(2, 2, MakePixel(9, 8, 7));
  src->SetMasked(true);
  TWinDIB copy;
  copy.Assign(*src);
  EXPECT_EQ(copy.Width(), 2);
  EXPECT_TRUE(copy.Masked());
  EXPECT_EQ(copy.ScanLine(1)[1], MakePixel(9, 8, 7));
  EXPECT_EQ(copy.PixelRoutine().Target, &copy);
}

TEST(DIBFill, FillsSetColourWithAlphaZeroAndFiltersTouchOnlyTheInterior) {
  auto dib = Solid(4, 3, 0xFFFFFFFFu);
  dib->FillRect(TRect{-1, 1, 2, 9}, 0x00332211);  // 0x00BBGGRR
  EXPECT_EQ(dib->ScanLine(1)[1], 0x00112233u);
  EXPECT_EQ(dib->ScanLine(2)[0], 0x00112233u);
  EXPECT_EQ(dib->ScanLine(0)[0], 0xFFFFFFFFu);
  EXPECT_EQ(dib->ScanLine(1)[2], 0xFFFFFFFFu);
  dib->Fill(0x000000FF);
  for (int i = 0; i < 12; ++i) ASSERT_EQ(dib->Bits()[i], 0x00FF0000u);

  // A 3 x 3 box blur with divisor 9 over a single bright pixel.
  auto f = Solid(5, 5, MakePixel(0, 0, 0, 200));
  f->ScanLine(2)[2] = MakePixel(90, 180, 225, 200);
  TFilter3x3 box;
  for (auto& w : box.Weights) w = 1;
  box.Divisor = 9;
  box.OffsetR = 5;
  f->ApplyFilter3x3(box);
  for (int y = 0; y < 5; ++y)
    for (int x = 0; x < 5; ++x) {
      const bool interior = x >= 1 && x <= 3 && y >= 1 && y <= 3;
      EXPECT_EQ(f->ScanLine(y)[x], interior ? MakePixel(15, 20, 25, 200) : MakePixel(0, 0, 0, 200)) << x << "," << y;
    }
  box.Divisor = 0;  // counted as 1, not a crash
  f->ApplyFilter3x3(box);
}

TEST(DIBRotation, QuarterTurnsComposeAndTheRotatedPathDraws) {
  auto src = TWinDIB::CreateSize(5, 5);
  for (int i = 0; i < 25; ++i) src->Bits()[i] = MakePixel(std::uint8_t(i), 0, 0);
  // Angle 0 at 100 %: a plain copy. 180 degrees: both axes reversed.
  auto target = TWinDIB::CreateSize(5, 5);
  src->RotateInto(*target);
  for (int i = 0; i < 25; ++i) ASSERT_EQ(target->Bits()[i], src->Bits()[i]);
  src->SetAngle(180);
  src->RotateInto(*target);
  for (int i = 0; i < 25; ++i) ASSERT_EQ(target->Bits()[i], src->Bits()[24 - i]) << i;
  // Four quarter turns give the original.
  TWinDIB turning;
  src->SetAngle(0);
  src->AssignTo(turning);
  for (int k = 0; k < 4; ++k) {
    turning.SetAngle(90);
    auto next = TWinDIB::CreateSize(5, 5);
    turning.RotateInto(*next);
    next->AssignTo(turning);
  }
  turning.SetAngle(0);
  for (int i = 0; i < 25; ++i) ASSERT_EQ(turning.Bits()[i], src->Bits()[i]) << i;
  // Draw with an angle takes the rotated path; a masked bitmap fills outside with 0.
  src->SetAngle(180);
  auto dest = Solid(5, 5, 0xFFFFFFFFu);
  src->Draw(0, 0, 5, 5, *dest, 0, 0);
  for (int i = 0; i < 25; ++i) ASSERT_EQ(dest->Bits()[i], src->Bits()[24 - i]) << i;
  src->SetAngle(0);
  src->SetScale(50.0);
  src->SetMasked(true);
  auto half = TWinDIB::CreateSize(5, 5);
  src->RotateInto(*half);
  EXPECT_EQ(half->Bits()[0], 0u) << "outside the half-size picture";
  EXPECT_EQ(half->Bits()[12], src->Bits()[12]) << "centre stays";
}

TEST(DIBRegion, KeyColouredPixelsAreLeftOutAndOnePixelRunsCount) {
  TBitmap32 bmp(5, 3, MakePixel(255, 255, 255));
  EXPECT_TRUE(RegionFromBitmap(bmp, 0xFFFFFF).Empty()) << "all key colour";
  EXPECT_EQ(RegionFromBitmap(bmp, 0), TRegion::FromRect(0, 0, 5, 3)) << "no key pixel";
  EXPECT_EQ(RegionFromBitmap(TBitmap32(1, 4, 0xFF00FF00u), 0), TRegion::FromRect(0, 0, 1, 4));
  EXPECT_TRUE(RegionFromBitmap(TBitmap32(), 0).Empty());
  bmp.At(2, 1) = MakePixel(0, 0, 0);  // isolated
  bmp.At(4, 2) = MakePixel(1, 0, 0);  // one-pixel run at the last column
  bmp.At(0, 0) = MakePixel(255, 0, 0);
  const TRegion r = RegionFromBitmap(bmp, 0xFFFFFF);
  EXPECT_EQ(r, Union(Union(TRegion::FromRect(2, 1, 3, 2), TRegion::FromRect(4, 2, 5, 3)), TRegion::FromRect(0, 0, 1, 1)));
  // The key is given as 0x00BBGGRR: 0x0000FF is pure red.
  EXPECT_FALSE(RegionFromBitmap(bmp, 0x0000FF).Contains(0, 0));
}

TEST(DIBRegion, CheckerboardCrossesBatchesAndKeepsEverySquare) {
  // 100 x 100 of 2-pixel squares: 25 runs of 2 pixels on each of 100 rows, 2500 in all.
  TBitmap32 board(100, 100);
  for (int y = 0; y < 100; ++y)
    for (int x = 0; x < 100; ++x) board.At(x, y) = ((x / 2 + y / 2) % 2) ? MakePixel(0, 0, 0) : MakePixel(30, 60, 90);
  const TRegion r = RegionFromBitmap(board, 0);
  EXPECT_EQ(r.Area(), 5000);
  EXPECT_EQ(r.RectCount(), 1250u) << "pairs of equal rows share one band";
  for (int y = 0; y < 100; ++y)
    for (int x = 0; x < 100; ++x) ASSERT_EQ(r.Contains(x, y), ((x / 2 + y / 2) % 2) == 0) << x << "," << y;
  // Noise with many runs per row, so that batches end in the middle of a row.
  std::mt19937 rng(5);
  TBitmap32 noise(301, 57);
  for (TPixel& p : noise.Pixels()) p = (rng() % 3) ? MakePixel(0, 0, 0) : MakePixel(1, 2, 3);
  const TRegion n = RegionFromBitmap(noise, 0);
  for (int y = 0; y < 57; ++y)
    for (int x = 0; x < 301; ++x) ASSERT_EQ(n.Contains(x, y), noise.At(x, y) != MakePixel(0, 0, 0)) << x << "," << y;
}

}  // namespace
}  // namespace lumora
