// What the view keeps in memory: one background when the client is as large as the
// screen, the picture's memory reused by the next picture of the same size, and a large
// opaque picture held once. The test binary notes the largest single allocation.
#include "motion_rig.h"
#include "support/test_files.h"
#include "support/test_jpeg.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <new>
#include <utility>
#include <vector>

namespace {
std::atomic<std::size_t> gLargest{0};
}  // namespace

// The replacements pair malloc with free, which GCC cannot see through.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif

void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  std::size_t seen = gLargest.load();
  while (size > seen && !gLargest.compare_exchange_weak(seen, size)) {
  }
  return std::malloc(size == 0 ? 1 : size);
}
void* operator new(std::size_t size) {
  if (void* p = operator new(size, std::nothrow)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

namespace lumora {
namespace {

using testing::TMotionRig;

TEST(Buffers, AClientOfTheScreensSizeSharesTheScreensBackground) {
  for (const bool asScreen : {true, false}) {
    TMotionRig full({160, 120}, {160, 120});
    full.View.SetAsScreen(asScreen);
    full.View.SetBgSolidColor(0x00336699);
    EXPECT_EQ(full.View.ClientBgBitmap().Pixels().data(), full.View.ScreenBgBitmap().Pixels().data());
    TMotionRig preview({80, 60}, {160, 120});
    preview.View.SetAsScreen(asScreen);
    preview.View.SetBgSolidColor(0x00336699);
    EXPECT_NE(preview.View.ClientBgBitmap().Pixels().data(), preview.View.ScreenBgBitmap().Pixels().data());
    EXPECT_EQ(preview.View.ClientBgBitmap().Width(), 80);
  }
}

TEST(Buffers, APictureOfTheLastOnesSizeReusesItsMemory) {
  TMotionRig rig({120, 80}, {120, 80});
  const TPicture first = testing::PatternPicture(40, 30);
  const TPicture same = testing::SolidPicture(40, 30, 0xFF123456u);
  const TPicture other = testing::PatternPicture(50, 20);
  const TPixel* memory = nullptr;
  // Sent out, then stamped and cleared: either way the next picture of that size
  // lands in the same memory, and is drawn whole.
  for (const bool stamp : {false, true}) {
    rig.ShowAtOnce(first);
    memory = rig.View.PicBitmap().Pixels().data();
    if (stamp) {
      rig.View.StampPic();
      rig.View.ClearPic(true, false);
    } else {
      rig.View.SetShowOutStyle(0);
      rig.View.ShowPic(2);
      rig.Threads.RunUntilIdle();
    }
    ASSERT_TRUE(rig.View.PicBitmap().Empty());
    // Memory the view had given back would go to this block.
    const std::vector<TPixel> meanwhile(40 * 30);
    rig.ShowAtOnce(same);
    EXPECT_EQ(rig.View.PicBitmap().Pixels().data(), memory) << (stamp ? "stamped" : "sent out");
    EXPECT_EQ(rig.View.PicBitmap(), same.Bitmap());
    rig.View.ClearPic(true, false);
  }
  rig.ShowAtOnce(other);
  EXPECT_EQ(rig.View.PicBitmap(), other.Bitmap());
}

// Properties set inside an update draw once, at its end, the same frame as set one by
// one; an update left by a failure still ends.
TEST(Buffers, AnUpdateDrawsOnceAtItsEnd) {
  const auto set = [](TTrPic& view) {
    view.SetBgStyle(TBgStyle::bsGradient);
    view.SetBgGradientFromColor(0x000000FF);
    view.SetBgGradientToColor(0x00FF0000);
    view.SetBgGradientDirection(TDirection::bdLeft);
  };
  TMotionRig each({64, 48}, {64, 48});
  set(each.View);
  TMotionRig batched({64, 48}, {64, 48});
  batched.View.BeginUpdate();
  batched.View.BeginUpdate();
  set(batched.View);
  batched.View.EndUpdate();
  EXPECT_TRUE(batched.Base.Surface.PresentedRects().empty());
  batched.View.EndUpdate();
  EXPECT_FALSE(batched.View.Updating());
  EXPECT_EQ(batched.Base.Surface.PresentedRects().size(), 1u);
  EXPECT_TRUE(testing::SameBitmap("update", each.Base.Surface.Screen(), batched.Base.Surface.Screen()));
}

// A picture file without transparent pixels, far larger than the screen and shown at its
// own size, is held once: shown in, stamped, shown again and sent out with effects, no
// block of its size is taken besides its own.
TEST(Buffers, ALargeOpaquePictureIsHeldOnce) {
  const test::TTempDir dir;
  constexpr int kWidth = 400, kHeight = 300;
  test::WriteFileBytes(dir / "p.bmp", test::MakeBmp24(kWidth, kHeight, [](int x, int y) {
                         return static_cast<std::uint32_t>(x * 0x010203 + y * 0x030201);
                       }));
  TPicture picture;
  ASSERT_TRUE(picture.LoadFromFile(dir / "p.bmp"));
  TMotionRig rig({64, 48}, {64, 48});
  rig.View.SetBgSolidColor(0x00336699);
  rig.View.SetPicPos(TPicPos::poCenter);
  gLargest = 0;
  rig.View.SetPicture(std::move(picture));
  for (const int style : {1, 20}) {
    rig.View.SetShowInStyle(style);
    rig.View.ShowPic(1);
    rig.Threads.RunUntilIdle();
    rig.View.StampPic();
    rig.View.ClearPic(true, false);
  }
  rig.View.ShowPic(1);
  rig.Threads.RunUntilIdle();
  rig.View.SetShowOutStyle(21);
  rig.View.ShowPic(2);
  rig.Threads.RunUntilIdle();
  EXPECT_LT(gLargest.load(), std::size_t(kWidth) * kHeight * sizeof(TPixel));
  EXPECT_EQ(rig.View.Picture().Width(), kWidth);
}

// A picture far larger than the client, replaced while its show-out waits to run (the
// show loads the next item meanwhile), gives back the memory of what is not seen; every
// frame of the show-out is still the one the whole picture gives, also where an effect
// reads beside the pixels it draws.
TEST(Buffers, APictureReplacedBeforeItsShowOutKeepsOnlyWhatIsSeen) {
  const test::TTempDir dir;
  // Rows of a width that puts a page boundary right beside the seen part in some of them.
  constexpr int kWidth = 4160, kHeight = 300;
  test::WriteFileBytes(dir / "p.bmp", test::MakeBmp24(kWidth, kHeight, [](int x, int y) {
                         return static_cast<std::uint32_t>(x * 0x010203 + y * 0x030201) | 0x010101u;
                       }));
  TPicture picture;
  ASSERT_TRUE(picture.LoadFromFile(dir / "p.bmp"));
  for (const int style : {11, 12, 13, 14, 33}) {
    SCOPED_TRACE(style);
    TMotionRig replaced({64, 48}, {64, 48}), kept({64, 48}, {64, 48});
    for (TMotionRig* rig : {&replaced, &kept}) {
      rig->View.SetBgSolidColor(0x00336699);
      rig->View.SetPicPos(TPicPos::poTopRight);
      rig->ShowAtOnce(picture);
      rig->View.SetShowOutStyle(style);
      rig->View.ShowPic(2);
    }
    replaced.View.SetPicture(TPicture());
    const int steps = kept.View.StepCount();
    for (int target = 1; target <= steps; target += std::max(steps / 300, 1)) {
      for (TMotionRig* rig : {&replaced, &kept}) {
        TMotionRig& r = *rig;
        r.Threads.RunUntil([&r, target] { return !r.View.Showing() || (r.View.StepPainted() && r.View.Step() >= target); });
      }
      ASSERT_TRUE(testing::SameBitmap("replaced_out", kept.Base.Surface.Screen(), replaced.Base.Surface.Screen()))
          << "step " << target;
    }
  }
}

// A picture that leaves with its show-out (the show replaces it at once) is not put
// aside nor drawn again for it: every frame is the one a show-out followed by the
// replacement gives, whether its pixels were lent, stretched or masked, and the view
// holds no picture afterwards.
TEST(Buffers, APictureDroppedWithItsShowOutLooksTheSameAsOneReplacedAfter) {
  const test::TTempDir dir;
  test::WriteFileBytes(dir / "p.jpg", test::EncodeJpeg(test::PhotoLikePicture(48, 36)));
  TPicture lendable;
  ASSERT_TRUE(lendable.LoadFromFile(dir / "p.jpg"));
  const TPicture pattern = testing::PatternPicture(20, 14);
  const TPicture mask = testing::SolidPicture(20, 14, 0xFF808080u);
  struct TCase {
    const char* Name;
    const TPicture* Picture;
    TPicSize Size;
    bool Masked;
    int Style;
  };
  for (const TCase& c : {TCase{"lent", &lendable, TPicSize::psFullWindow, false, 21},
                         TCase{"stretched", &pattern, TPicSize::psFullWindow, false, 1},
                         TCase{"masked", &pattern, TPicSize::psOriginal, true, 47}}) {
    SCOPED_TRACE(c.Name);
    TMotionRig dropped({48, 36}, {48, 36}), replaced({48, 36}, {48, 36});
    for (TMotionRig* rig : {&dropped, &replaced}) {
      rig->View.SetBgGradientFromColor(0x00FF0000);
      rig->View.SetBgGradientToColor(0x0000FF00);
      rig->View.SetBgStyle(TBgStyle::bsGradient);
      rig->View.SetPicSize(c.Size);
      if (c.Masked) {
        rig->View.SetPicMaskedPicture(&mask);
        rig->View.SetPicMasked(true);
      }
      rig->ShowAtOnce(*c.Picture);
      rig->View.SetShowOutStyle(c.Style);
    }
    dropped.View.ShowOutAndDropPicture();
    EXPECT_TRUE(dropped.View.Picture().Empty());
    replaced.View.ShowPic(2);
    replaced.View.SetPicture(TPicture());
    for (int target = 0; dropped.View.Showing() || replaced.View.Showing(); ++target) {
      for (TMotionRig* rig : {&dropped, &replaced}) {
        TMotionRig& r = *rig;
        r.Threads.RunUntil([&r, target] { return !r.View.Showing() || (r.View.StepPainted() && r.View.Step() >= target); });
      }
      ASSERT_TRUE(testing::SameBitmap("dropped_out", replaced.Base.Surface.Screen(), dropped.Base.Surface.Screen()))
          << "step " << target;
    }
  }
}

// A picture its decoder knows to be opaque, drawn at its own size, lends its pixels to
// the drawing instead of being copied. Every frame is what the same pixels give when they
// are copied: shown in and out with effects, floating, stamped, resized, masked, replaced
// while shown, and larger than the client.
TEST(Buffers, APictureLentToItsDrawingLooksTheSameAsOneCopied) {
  const test::TTempDir dir;
  test::WriteFileBytes(dir / "p.jpg", test::EncodeJpeg(test::PhotoLikePicture(48, 36)));
  TPicture lendable;
  ASSERT_TRUE(lendable.LoadFromFile(dir / "p.jpg"));
  ASSERT_TRUE(lendable.Opaque());
  TPicture copied = lendable;
  copied.Bitmap();  // no longer known opaque: drawn by a copy
  {
    TMotionRig rig({64, 48}, {64, 48});
    rig.ShowAtOnce(lendable);
    EXPECT_TRUE(rig.View.Picture().Lent()) << "the drawing holds the picture's own pixels";
    rig.ShowAtOnce(copied);
    EXPECT_FALSE(rig.View.Picture().Lent());
  }
  const TPicture next = testing::PatternPicture(48, 36);
  const TPicture mask = testing::SolidPicture(48, 36, 0xFF000000u);

  struct TCase {
    const char* Name;
    platform::TSize Client;
    std::function<void(TMotionRig&, const TPicture&)> Run;
  };
  const auto inAndOut = [](TMotionRig& rig, const TPicture& picture, int in, int out) {
    rig.View.SetPicture(&picture);
    rig.View.SetShowInStyle(in);
    rig.View.ShowPic(1);
    rig.Threads.RunUntilIdle();
    rig.View.SetShowOutStyle(out);
    rig.View.ShowPic(2);
    rig.Threads.RunUntilIdle();
  };
  const TCase cases[] = {
      {"in and out, wipe and push", {64, 48}, [&](TMotionRig& r, const TPicture& p) { inAndOut(r, p, 1, 20); }},
      {"larger than the client", {40, 30}, [&](TMotionRig& r, const TPicture& p) { inAndOut(r, p, 33, 21); }},
      {"larger than the client, out, in again and stamped", {40, 30},
       [&](TMotionRig& r, const TPicture& p) {
         inAndOut(r, p, 9, 40);
         r.View.SetShowInStyle(0);
         r.View.ShowPic(1);
         r.Threads.RunUntilIdle();
         r.View.StampPic();
         r.View.ClearPic(true, false);
       }},
      {"shown twice", {64, 48},
       [&](TMotionRig& r, const TPicture& p) {
         inAndOut(r, p, 5, 12);
         r.View.SetShowInStyle(0);
         r.View.ShowPic(1);
         r.Threads.RunUntilIdle();
       }},
      {"floating, then out", {96, 64},
       [&](TMotionRig& r, const TPicture& p) {
         r.ShowAtOnce(p);
         r.View.StartFloating();
         for (int i = 0; i < 5; ++i) {
           const std::uint64_t calls = r.Threads.SynchronizedCalls();
           r.Threads.RunUntil([&] { return r.Threads.SynchronizedCalls() > calls; });
         }
         r.View.StopFloating();
         r.View.SetShowOutStyle(3);
         r.View.ShowPic(2);
         r.Threads.RunUntilIdle();
       }},
      {"stamped and cleared", {64, 48},
       [&](TMotionRig& r, const TPicture& p) {
         r.ShowAtOnce(p);
         r.View.StampPic();
         r.View.ClearPic(true, false);
       }},
      {"resized while shown", {64, 48},
       [&](TMotionRig& r, const TPicture& p) {
         r.View.SetPicSize(TPicSize::psFullWindow);
         r.ShowAtOnce(p);
         r.Base.Surface.Resize(80, 60);
       }},
      {"masked after it is shown", {64, 48},
       [&](TMotionRig& r, const TPicture& p) {
         r.ShowAtOnce(p);
         r.View.SetPicMaskedPicture(&mask);
         r.View.SetPicMasked(true);
         r.View.SetPicOpacity(128);
         r.View.SetShowInStyle(0);
         r.View.ShowPic(1);
       }},
      {"replaced while shown", {64, 48},
       [&](TMotionRig& r, const TPicture& p) {
         r.ShowAtOnce(p);
         r.View.SetPicture(&next);
         r.View.SetShowOutStyle(7);
         r.View.ShowPic(2);
         r.Threads.RunUntilIdle();
         r.ShowAtOnce(next);
       }},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TMotionRig lent(c.Client, {64, 48}), copy(c.Client, {64, 48});
    for (TMotionRig* rig : {&lent, &copy}) {
      rig->View.SetBgSolidColor(0x00336699);
      rig->View.SetPicPos(TPicPos::poCenter);
      rig->Base.Random.Queue(3);
    }
    c.Run(lent, lendable);
    c.Run(copy, copied);
    EXPECT_TRUE(testing::SameBitmap(std::string("lent_") + c.Name, copy.Base.Surface.Screen(), lent.Base.Surface.Screen()));
    EXPECT_EQ(lent.Base.Surface.PresentedRects(), copy.Base.Surface.PresentedRects());
    EXPECT_FALSE(lent.View.Picture().Empty());
    EXPECT_EQ(lent.View.Picture().Width(), 48);
  }
}

}  // namespace
}  // namespace lumora
