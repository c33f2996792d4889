// Pictures decoded for the size the view draws them at: the view shows the same
// rectangles as with the whole picture, and pixels within 40 dB of it, on screen and
// stamped, for our own photo-like picture and for real photographs (the wallpapers that
// scripts/fetch-test-images caches; skipped when absent).
#include "codec_test_support.h"
#include "imaging/picture.h"
#include "platform/headless/headless_desktop_capture.h"
#include "platform/headless/headless_message_box.h"
#include "platform/headless/headless_random.h"
#include "platform/headless/headless_surface.h"
#include "platform/headless/headless_text.h"
#include "support/test_jpeg.h"
#include "trpic/trpic.h"

#include <gtest/gtest.h>

#include <cmath>

namespace lumora {
namespace {

struct TViewSetting {
  const char* Name;
  platform::TSize Client;
  TPicSize Size;
  float Hor, Ver;
  TPicSizeRef Ref;
  TPicPos Pos;
  int Denominator;  // for the 2400 x 1600 picture; 0: not checked
};

constexpr platform::TSize kScreen{1280, 720};

struct TView {
  explicit TView(const TViewSetting& s) : Surface(s.Client, kScreen), View({Surface, Text, Desktop, Random, Messages}) {
    View.SetAsScreen(true);
    View.SetBgSolidColor(0x00204060);
    View.SetBgStyle(TBgStyle::bsSolid);
    View.SetPicSizeRef(s.Ref);
    View.SetPicSize(s.Size);
    View.SetPicSizeHor(s.Hor);
    View.SetPicSizeVer(s.Ver);
    View.SetPicPos(s.Pos);
    View.SetPicPosHor(10);
    View.SetPicPosVer(20);
    View.SetShowInStyle(0);
  }
  platform::THeadlessSurface Surface;
  platform::THeadlessTextRasterizer Text;
  platform::THeadlessDesktopCapture Desktop;
  platform::THeadlessRandom Random;
  platform::THeadlessMessageBox Messages;
  TTrPic View;
};

// Over the part of rect inside both bitmaps.
double Psnr(const TBitmap32& a, const TBitmap32& b, const TRect& rect) {
  const TRect r = IntersectRect(rect, IntersectRect(a.Bounds(), b.Bounds()));
  double sum = 0;
  for (int y = r.Top; y < r.Bottom; ++y)
    for (int x = r.Left; x < r.Right; ++x)
      for (int shift : {0, 8, 16}) {
        const double d = double((a.At(x, y) >> shift) & 255) - double((b.At(x, y) >> shift) & 255);
        sum += d * d;
      }
  const double mse = sum / (3.0 * std::max(1.0, double(r.Width()) * r.Height()));
  return mse == 0 ? 99.0 : 10.0 * std::log10(255.0 * 255.0 / mse);
}

TEST(DecodeAtSize, LayoutsStayAndPixelsStayWithin40Decibels) {
  const test::TTempDir dir;
  std::vector<std::pair<std::filesystem::path, bool>> files;  // path, our own 2400 x 1600 picture
  files.emplace_back(dir / "generated.jpg", true);
  test::WriteFileBytes(files.back().first, test::EncodeJpeg(test::PhotoLikePicture(2400, 1600)));
  if (const auto wallpapers = test::PackageImages("mate-backgrounds")) {
    for (const char* name : {"Dune.jpg", "RainDrops.jpg", "Storm.jpg"})
      files.emplace_back(*wallpapers / "usr/share/backgrounds/mate/nature" / name, false);
  } else {
    std::printf("the wallpaper photographs are not cached: only the generated picture is tried\n");
  }

  const TViewSetting settings[] = {
      {"full window", kScreen, TPicSize::psFullWindow, 100, 100, TPicSizeRef::psrScreen, TPicPos::poCenter, 1},
      {"half", kScreen, TPicSize::psUser, 50, 50, TPicSizeRef::psrOriginal, TPicPos::poCenter, 2},
      {"quarter", kScreen, TPicSize::psUser, 25, 25, TPicSizeRef::psrOriginal, TPicPos::poRandom, 4},
      {"eighth", kScreen, TPicSize::psUser, 12.5f, 12.5f, TPicSizeRef::psrOriginal, TPicPos::poUser, 8},
      {"share of the screen", kScreen, TPicSize::psUser, 30, 30, TPicSizeRef::psrScreen, TPicPos::poBottomRight, 4},
      {"native", kScreen, TPicSize::psOriginal, 100, 100, TPicSizeRef::psrScreen, TPicPos::poCenter, 1},
      {"preview, full window", {320, 180}, TPicSize::psFullWindow, 100, 100, TPicSizeRef::psrScreen, TPicPos::poCenter, 4},
  };
  for (const auto& [file, generated] : files) {
    if (!std::filesystem::exists(file)) continue;
    for (const TViewSetting& s : settings) {
      SCOPED_TRACE(file.filename().string() + ", " + s.Name);
      TView whole(s), reduced(s), held(s);
      TPicture wholePicture, reducedPicture, heldPicture;
      ASSERT_TRUE(wholePicture.LoadFromFile(file));
      codecs::TDecodeRequest request;
      request.ShownSize = [&](codecs::TPictureSize native) {
        const platform::TSize drawn = reduced.View.DrawnPicSize(native.Width, native.Height);
        return codecs::TPictureSize{drawn.Width, drawn.Height};
      };
      ASSERT_TRUE(reducedPicture.LoadFromFile(file, request));
      // Held at the one size it is drawn at, stretched while it decodes: the very pixels
      // of the reduced picture stretched, on screen and stamped.
      request.DrawnSize = [&](codecs::TPictureSize native) {
        const platform::TSize drawn = held.View.SingleDrawnPicSize(native.Width, native.Height);
        return codecs::TPictureSize{drawn.Width, drawn.Height};
      };
      ASSERT_TRUE(heldPicture.LoadFromFile(file, request));
      // A JPEG has no alpha, however it was decoded; whoever may change the pixels
      // takes that knowledge away.
      for (const TPicture* p : {&wholePicture, &reducedPicture, &heldPicture}) EXPECT_TRUE(p->Opaque());
      TPicture changed = wholePicture;
      changed.Bitmap();
      EXPECT_FALSE(changed.Opaque());
      EXPECT_EQ(heldPicture.Width(), wholePicture.Width());
      EXPECT_EQ(reducedPicture.Width(), wholePicture.Width());
      EXPECT_EQ(reducedPicture.Height(), wholePicture.Height());
      if (generated && s.Denominator > 0) {
        EXPECT_EQ(reducedPicture.Bitmap().Width(), (2400 + s.Denominator - 1) / s.Denominator);
        EXPECT_EQ(reducedPicture.Bitmap().Height(), (1600 + s.Denominator - 1) / s.Denominator);
      }
      whole.View.SetPicture(&wholePicture);
      reduced.View.SetPicture(&reducedPicture);
      held.View.SetPicture(&heldPicture);
      for (TView* v : {&whole, &reduced, &held}) v->View.ShowPic(1);
      EXPECT_TRUE(held.Surface.Screen() == reduced.Surface.Screen());
      if (s.Client == kScreen) {
        EXPECT_EQ(heldPicture.Bitmap().Width(), held.View.PicBitmap().Width());
        EXPECT_EQ(heldPicture.Bitmap().Height(), held.View.PicBitmap().Height());
      }
      EXPECT_EQ(reduced.View.PicRect(), whole.View.PicRect());
      EXPECT_EQ(reduced.View.PicBitmap().Width(), whole.View.PicBitmap().Width());
      EXPECT_EQ(reduced.View.PicBitmap().Height(), whole.View.PicBitmap().Height());
      const TRect shown = whole.View.PicRect();
      EXPECT_GE(Psnr(reduced.Surface.Screen(), whole.Surface.Screen(), shown), 40.0) << "shown";
      // A stamp draws the picture at screen scale into the background.
      for (TView* v : {&whole, &reduced, &held}) {
        v->View.StampPic();
        v->View.ClearPic(true, false);
      }
      const auto toScreen = [&](int v, int client, int screen) { return int(std::int64_t(v) * screen / client); };
      const TRect stamped{toScreen(shown.Left, s.Client.Width, kScreen.Width), toScreen(shown.Top, s.Client.Height, kScreen.Height),
                          toScreen(shown.Right, s.Client.Width, kScreen.Width),
                          toScreen(shown.Bottom, s.Client.Height, kScreen.Height)};
      EXPECT_GE(Psnr(reduced.View.ScreenBgBitmap(), whole.View.ScreenBgBitmap(), stamped), 40.0) << "stamped";
      EXPECT_TRUE(held.View.ScreenBgBitmap() == reduced.View.ScreenBgBitmap());
    }
  }
}

}  // namespace
}  // namespace lumora
