// The caption: its bitmap from lines of text, its place for every TCapPos, its layer
// above the frame in the font colour, and when it is hidden.
#include "view_rig.h"

#include <gtest/gtest.h>

namespace lumora::testing {
namespace {

constexpr TPixel kWhite = MakePixel(255, 255, 255);
constexpr TPixel kBlue = MakePixel(0, 0, 255);

TFont CaptionFont() {
  TFont font;
  font.Name = "DejaVu Sans";
  font.SetHeight(-20);
  font.Color = 0x0000FF00;  // green
  return font;
}

TEST(TrPicCaption, ThreeLinesMakeABitmapAsWideAsTheWidestAndAsHighAsAllThree) {
  TViewRig rig({640, 480}, {640, 480});
  const std::vector<std::string> lines = {"Short", "A much longer middle line", "Mid length"};
  rig.View.SetCaption(lines);
  rig.View.SetCapFont(CaptionFont());
  int began = 0, completed = 0;
  bool drawingSeen = false;
  rig.View.OnDrawingCaptionBegin = [&](TCustomTrPic&) { ++began; };
  rig.View.OnDrawingCaptionComplete = [&](TCustomTrPic& v) {
    ++completed;
    drawingSeen |= v.DrawingCaption();
  };
  rig.View.Relayout(true, true, false, false);
  EXPECT_EQ(began, 1);
  EXPECT_EQ(completed, 1);
  EXPECT_FALSE(drawingSeen) << "DrawingCaption is false again when the layout completes";

  const platform::TTextFont font = TextFontOf(CaptionFont());
  int widest = 0, height = 0;
  for (const std::string& line : lines) {
    const auto e = rig.Text.TextExtent(font, line);
    widest = std::max(widest, e.Width);
    height += e.Height;
  }
  EXPECT_EQ(rig.View.CaptionBitmap().Width(), widest);
  EXPECT_EQ(rig.View.CaptionBitmap().Height(), height);
  EXPECT_EQ(rig.View.CaptionColour(), MakePixel(0, 255, 0)) << "the panel takes the font colour";
  ASSERT_FALSE(rig.View.CaptionRegion().Empty());

  // The glyphs are rendered black on white; the region is every pixel that is not white.
  const TBitmap32& caption = rig.View.CaptionBitmap();
  for (int y = 0; y < caption.Height(); ++y)
    for (int x = 0; x < caption.Width(); ++x)
      ASSERT_EQ(rig.View.CaptionRegion().Contains(x, y), (caption.At(x, y) & 0xFFFFFFu) != 0xFFFFFFu) << x << "," << y;
}

// The caption bitmap holds every pixel of its text: the tails of "g", "j" and "," on
// the last line at the bottom of the screen, and the overhang of bold italics.
TEST(TrPicCaption, TheCaptionHoldsEveryPixelOfItsLines) {
  TViewRig rig({800, 600}, {800, 600});
  const std::vector<std::string> lines = {"Quiet gardens, dusk", "jumping dogs, ferry"};
  TFont font = CaptionFont();
  font.SetSize(28);
  for (const bool italic : {false, true}) {
    font.Style.Bold = true;
    font.Style.Italic = italic;
    rig.View.SetCapFont(font);
    rig.View.SetCaption(lines);
    rig.View.SetCapPos(TCapPos::cpBottomLeft);
    rig.View.Relayout(true, true, false, false);
    int ink = 0;
    for (const std::string& line : lines) {
      TBitmap32 alone(1200, 200);
      rig.Text.PaintText(alone, 100, 50, TextFontOf(font), line, MakePixel(0, 0, 0));
      for (const TPixel p : alone.Pixels()) ink += p != kWhite;
    }
    int held = 0;
    for (const TPixel p : rig.View.CaptionBitmap().Pixels()) held += p != kWhite;
    EXPECT_EQ(held, ink) << (italic ? "bold italic" : "bold");
    EXPECT_EQ(rig.View.CaptionPos().Y + rig.View.CaptionBitmap().Height(), 600);
  }
}

TEST(TrPicCaption, TheCaptionIsALayerAboveTheFrameNeverWrittenIntoIt) {
  TViewRig rig({320, 240}, {320, 240});
  rig.View.SetBgSolidColor(0x00FF0000);  // blue
  rig.View.SetCaption({"Layer"});
  rig.View.SetCapFont(CaptionFont());
  rig.View.Relayout(true, true, false, false);
  rig.View.Repaint();
  const TPoint at = rig.View.CaptionPos();
  int glyphPixels = 0;
  for (const TRect& r : rig.View.CaptionRegion().Rects())
    for (int y = r.Top; y < r.Bottom; ++y)
      for (int x = r.Left; x < r.Right; ++x) {
        ASSERT_EQ(rig.Surface.Screen().At(at.X + x, at.Y + y), MakePixel(0, 255, 0));
        ASSERT_EQ(rig.View.CompositeBitmap().At(at.X + x, at.Y + y), kBlue) << "the frame holds no caption";
        ++glyphPixels;
      }
  EXPECT_GT(glyphPixels, 50);
  // Whatever is drawn into the frame later, the layer stays above it.
  rig.View.SetBgSolidColor(0x000000FF);
  const TRect& first = rig.View.CaptionRegion().Rects()[0];
  EXPECT_EQ(rig.Surface.Screen().At(at.X + first.Left, at.Y + first.Top), MakePixel(0, 255, 0));
  EXPECT_EQ(rig.Surface.Screen().At(0, 239), MakePixel(255, 0, 0));
}

TEST(TrPicCaption, EveryCaptionPositionPlacesThePanelAsDescribed) {
  TViewRig rig({400, 300}, {400, 300});
  rig.View.SetCaption({"Placed"});
  rig.View.SetCapFont(CaptionFont());
  rig.View.SetCapPosHor(25);
  rig.View.SetCapPosVer(50);
  rig.View.Relayout(true, true, false, false);
  const int w = rig.View.CaptionBitmap().Width(), h = rig.View.CaptionBitmap().Height();
  struct TCase {
    TCapPos Pos;
    int X, Y;
  };
  // cpUser with AsScreen off: percent of the 800 x 600 virtual screen.
  const TCase cases[] = {
      {TCapPos::cpCenter, (400 - w) / 2, (300 - h) / 2}, {TCapPos::cpTopLeft, 0, 0},
      {TCapPos::cpTopCenter, (400 - w) / 2, 0},         {TCapPos::cpTopRight, 400 - w, 0},
      {TCapPos::cpBottomLeft, 0, 300 - h},              {TCapPos::cpBottomCenter, (400 - w) / 2, 300 - h},
      {TCapPos::cpBottomRight, 400 - w, 300 - h},       {TCapPos::cpUser, 200, 300},
  };
  for (const TCase& c : cases) {
    rig.View.SetCapPos(c.Pos);
    rig.View.LayoutCaption(false);
    EXPECT_EQ(rig.View.CaptionPos(), (TPoint{c.X, c.Y})) << "caption position " << int(c.Pos);
  }
  rig.View.SetAsScreen(true);
  rig.View.SetCapPos(TCapPos::cpUser);
  rig.View.LayoutCaption(false);
  EXPECT_EQ(rig.View.CaptionPos(), (TPoint{100, 150})) << "percent of the client with AsScreen on";

  rig.View.SetCapPos(TCapPos::cpRandom);
  rig.Random.Queue(7);
  rig.Random.Queue(9);
  rig.View.LayoutCaption(false);
  EXPECT_EQ(rig.View.CaptionPos(), (TPoint{7, 9}));
}

TEST(TrPicCaption, ACaptionScalesWithTheClientWhenItStandsForTheScreen) {
  TViewRig rig({400, 300}, {1600, 1200});
  rig.View.SetCaption({"Scaled caption"});
  TFont font = CaptionFont();
  font.SetHeight(-80);
  rig.View.SetCapFont(font);
  rig.View.Relayout(true, true, false, false);
  const int fullW = rig.View.CaptionBitmap().Width(), fullH = rig.View.CaptionBitmap().Height();
  rig.View.SetAsScreen(true);  // re-lays the caption with a rebuild
  EXPECT_EQ(rig.View.CaptionBitmap().Width(), fullW * 400 / 1600);
  EXPECT_EQ(rig.View.CaptionBitmap().Height(), fullH * 300 / 1200);
  // A resize re-renders it at the new scale.
  rig.Surface.Resize(800, 600);
  EXPECT_EQ(rig.View.CaptionBitmap().Width(), fullW * 800 / 1600);
  EXPECT_EQ(rig.View.CaptionPos().X, (800 - fullW * 800 / 1600) / 2);
}

TEST(TrPicCaption, AnEmptyOrInvisibleCaptionHidesThePanelWithoutEvents) {
  TViewRig rig({320, 240}, {320, 240});
  int events = 0;
  rig.View.OnDrawingCaptionBegin = [&](TCustomTrPic&) { ++events; };
  rig.View.OnDrawingCaptionComplete = [&](TCustomTrPic&) { ++events; };
  rig.View.Relayout(true, true, false, false);
  EXPECT_FALSE(rig.View.CaptionShown());
  EXPECT_EQ(events, 0);

  rig.View.SetCaption({"Now you see it"});
  rig.View.SetCapFont(CaptionFont());
  rig.View.Relayout(true, true, false, false);
  ASSERT_TRUE(rig.View.CaptionShown());
  EXPECT_EQ(events, 2);
  const TPoint at = rig.View.CaptionPos();
  const TRect glyph = rig.View.CaptionRegion().Rects()[0];
  ASSERT_EQ(rig.Surface.Screen().At(at.X + glyph.Left, at.Y + glyph.Top), MakePixel(0, 255, 0));

  rig.View.SetCapVisible(false);
  EXPECT_FALSE(rig.View.CaptionShown());
  EXPECT_EQ(rig.Surface.Screen().At(at.X + glyph.Left, at.Y + glyph.Top), kWhite) << "hiding repaints";
  rig.View.Relayout(true, true, false, false);
  EXPECT_FALSE(rig.View.CaptionShown());
  EXPECT_EQ(events, 2);
  rig.View.SetCapVisible(true);
  EXPECT_TRUE(rig.View.CaptionShown());
  EXPECT_EQ(rig.Surface.Screen().At(at.X + glyph.Left, at.Y + glyph.Top), MakePixel(0, 255, 0));
}

TEST(TrPicCaption, MissingFacesFallBackToTheDefaultFaceAndSystemColoursResolve) {
  TViewRig rig({320, 240}, {320, 240});
  TFont font;  // the default font: a face the machine lacks, the window text colour
  rig.View.SetCaption({"Default"});
  rig.View.SetCapFont(font);
  rig.View.Relayout(true, true, false, false);
  EXPECT_GT(rig.View.CaptionBitmap().Width(), 0);
  EXPECT_EQ(rig.View.CaptionColour(), MakePixel(0, 0, 0));
  font.Name = "DejaVu Sans";
  TViewRig other({320, 240}, {320, 240});
  other.View.SetCaption({"Default"});
  other.View.SetCapFont(font);
  other.View.Relayout(true, true, false, false);
  EXPECT_TRUE(SameBitmap("caption_fallback", other.View.CaptionBitmap(), rig.View.CaptionBitmap()));
}

}  // namespace
}  // namespace lumora::testing
