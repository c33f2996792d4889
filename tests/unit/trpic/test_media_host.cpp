// The view's media host on recorded panels and a scripted video player: placement, the
// shape regions, the progress events, the cursor, and the frame size of a movie header.
#include "platform/headless/headless_activex.h"
#include "platform/headless/headless_clock.h"
#include "platform/headless/headless_media_panel.h"
#include "platform/headless/headless_media_player.h"
#include "trpic/media_host.h"
#include "support/test_files.h"
#include "view_rig.h"

#include <gtest/gtest.h>

#include <fstream>

namespace lumora {
namespace {

using platform::THeadlessMediaPanel;
using platform::THeadlessMediaPlayer;
using platform::TSize;

struct TMediaViewRig : testing::TViewRig<> {
  TMediaViewRig(TSize client, TSize screen, THeadlessMediaPlayer::TMedium medium) : TViewRig(client, screen) {
    medium.Video = true;
    View.SetMediaPlatform(TMediaHostPlatform{Panels, Clock,
                                             [this, medium] {
                                               auto player = std::make_unique<THeadlessMediaPlayer>(Clock);
                                               player->Media = [this, medium](const std::filesystem::path& path)
                                                   -> std::optional<THeadlessMediaPlayer::TMedium> {
                                                 if (path != "movie.avi" || OpenFails) return std::nullopt;
                                                 return medium;
                                               };
                                               Player = player.get();
                                               return player;
                                             },
                                             [this] {
                                               if (OnProcessMessages) OnProcessMessages();
                                             },
                                             &ActiveX, [this] { return Clock.Now(); }});
    View.OnPlayVideoProgress = [this](TCustomTrPic&, int src, bool complete, int percent) {
      EXPECT_EQ(src, 0);
      Events.push_back({Clock.Now(), complete, percent});
    };
  }
  ~TMediaViewRig() { View.FreeMedia(); }

  bool Open(TPicSize size, std::string shape = "") {
    return View.PrepareMedia(0, true) &&
           View.OpenMedia("movie.avi", size, shape, 0, 0, TPicPos::poCenter, TPicSizeRef::psrScreen, 100, 100);
  }
  THeadlessMediaPanel& Panel(platform::IMediaPanel* p) { return *static_cast<THeadlessMediaPanel*>(p); }
  TMediaHost& Host() { return *View.MediaHost(); }

  struct TEvent {
    std::uint64_t Time;
    bool Complete;
    int Percent;
  };
  platform::THeadlessClock Clock;
  platform::THeadlessMediaPanels Panels;
  platform::THeadlessActiveXHost ActiveX{Clock};
  THeadlessMediaPlayer* Player = nullptr;
  bool OpenFails = false;
  std::vector<TEvent> Events;
  std::function<void()> OnProcessMessages;
};

TEST(MediaRect, PlacementFollowsThePictureRulesScaledToTheClient) {
  struct TCase {
    const char* Name;
    int NW, NH;
    TMediaPlacement Placement;
    TSize Client, Screen;
    int RandomValue;
    TRect Expected;
  };
  const TCase cases[] = {
      {"a quarter-size preview", 550, 400, {}, {400, 300}, {1600, 1200}, 0, {131, 100, 268, 200}},
      {"full window", 160, 120, {TPicSize::psFullWindow}, {320, 240}, {640, 480}, 0, {0, 0, 320, 240}},
      {"full window without a native size", 0, 120, {TPicSize::psFullWindow}, {320, 240}, {640, 480}, 0,
       {160, 120, 160, 120}},
      {"user size of the screen",
       160, 120,
       {TPicSize::psUser, TPicSizeRef::psrScreen, 50, 25, TPicPos::poTopLeft},
       {320, 240}, {640, 480}, 0, {0, 0, 160, 60}},
      {"user size of the video",
       160, 120,
       {TPicSize::psUser, TPicSizeRef::psrOriginal, 50, 50, TPicPos::poBottomRight},
       {320, 240}, {640, 480}, 0, {280, 210, 320, 240}},
      {"user position", 320, 240, {TPicSize::psOriginal, {}, 0, 0, TPicPos::poUser, 25, 50}, {320, 240}, {640, 480},
       0, {80, 120, 240, 240}},
      {"current takes the centre", 320, 240, {TPicSize::psOriginal, {}, 0, 0, TPicPos::poCurrent}, {320, 240},
       {320, 240}, 0, {0, 0, 320, 240}},
      {"random stays inside", 160, 120, {TPicSize::psOriginal, {}, 0, 0, TPicPos::poRandom}, {320, 240}, {320, 240},
       1000, {1000 % 160, 1000 % 120, 1000 % 160 + 160, 1000 % 120 + 120}},
      {"random larger than the client is not mirrored", 640, 480, {TPicSize::psOriginal, {}, 0, 0, TPicPos::poRandom},
       {320, 240}, {320, 240}, 7, {0, 0, 640, 480}},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    platform::THeadlessRandom random;
    random.Queue(c.RandomValue);
    random.Queue(c.RandomValue);
    EXPECT_EQ(MediaRect(c.NW, c.NH, c.Placement, c.Client, c.Screen, random), c.Expected);
  }
}

// Writes a movie header whose frame rectangle has fields of n bits.
std::filesystem::path WriteMovieHeader(const std::filesystem::path& path, int n, std::uint32_t xmax, std::uint32_t ymax) {
  std::vector<std::uint8_t> bytes(8 + 9, 0);
  int bit = 8 * 8;
  const auto put = [&](std::uint32_t v, int width) {
    for (int i = width - 1; i >= 0; --i, ++bit)
      if ((v >> i) & 1u) bytes[std::size_t(bit / 8)] |= std::uint8_t(0x80 >> (bit % 8));
  };
  put(std::uint32_t(std::min(n, 31)), 5);
  for (std::uint32_t v : {0u, xmax, 0u, ymax}) put(v, std::min(n, 16));
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
  return path;
}

TEST(MediaHost, ReadSwfFrameSizeReadsTheHeaderRectangle) {
  const auto dir = std::filesystem::temp_directory_path();
  // 550 x 400 pixels in twips: 550 + 0.5 rounds to the even 550, 400.5 + 0.5 to 401.
  EXPECT_EQ(ReadSwfFrameSize(WriteMovieHeader(dir / "lumora_m1.swf", 15, 11000, 8000)), (TSize{550, 400}));
  EXPECT_EQ(ReadSwfFrameSize(WriteMovieHeader(dir / "lumora_m2.swf", 14, 10990, 8010)), (TSize{550, 401}));
  // A width field above 16 is read as 16.
  EXPECT_EQ(ReadSwfFrameSize(WriteMovieHeader(dir / "lumora_m3.swf", 17, 2000, 400)), (TSize{100, 20}));
  EXPECT_EQ(ReadSwfFrameSize(dir / "lumora_no_such.swf"), std::nullopt);
  // Field widths from 5 to 16 bits; a half pixel more ties to the even neighbour.
  struct TCase {
    int N;
    std::uint32_t XMax, YMax;
    TSize Expected;
  };
  for (const TCase c : {TCase{5, 30, 10, {2, 1}}, TCase{8, 250, 210, {13, 11}}, TCase{12, 4000, 4020, {200, 202}},
                        TCase{16, 65535, 65530, {3277, 3277}}}) {
    SCOPED_TRACE(c.N);
    EXPECT_EQ(ReadSwfFrameSize(WriteMovieHeader(dir / "lumora_m1.swf", c.N, c.XMax, c.YMax)), c.Expected);
  }
  // A compressed movie: the rectangle is inflated from the body behind the 8-byte header;
  // a body that does not inflate has no size.
  const auto plain = test::ReadFileBytes(WriteMovieHeader(dir / "lumora_m2.swf", 15, 11000, 8000));
  for (const bool deflated : {true, false}) {
    test::TBytes body(plain.begin() + 8, plain.end());
    if (deflated) body = test::Deflate(body);
    test::TBytes file = test::BytesOf("CWS");
    file.insert(file.end(), plain.begin() + 3, plain.begin() + 8);
    file.insert(file.end(), body.begin(), body.end());
    test::WriteFileBytes(dir / "lumora_m2.swf", file);
    EXPECT_EQ(ReadSwfFrameSize(dir / "lumora_m2.swf"), (deflated ? TSize{550, 400} : TSize{0, 0}));
  }
  for (const char* name : {"lumora_m1.swf", "lumora_m2.swf", "lumora_m3.swf"}) std::filesystem::remove(dir / name);
}

// Black outside an ellipse, a blue ring, white inside a smaller ellipse.
TPicture EllipseShape(int w, int h) {
  TPicture shape = testing::SolidPicture(w, h, 0xFF000000u);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const double dx = (x + 0.5 - w / 2.0) / (w / 2.0), dy = (y + 0.5 - h / 2.0) / (h / 2.0);
      const double d = dx * dx + dy * dy;
      if (d < 0.5) shape.Bitmap().At(x, y) = 0xFFFFFFFFu;
      else if (d < 1.0) shape.Bitmap().At(x, y) = 0xFF0000FFu;
    }
  return shape;
}

TEST(MediaHost, AShapeCutsThePanelToItsOuterEllipseAndTheVideoToItsInnerOne) {
  TMediaViewRig rig({320, 240}, {320, 240}, {1000, false, true, 160, 120, 25});
  const TPicture shape = EllipseShape(160, 120);
  rig.View.SetPicShapedPicture(&shape);
  ASSERT_TRUE(rig.Open(TPicSize::psOriginal, "&"));
  const TMediaShape expected = MakeMediaShape(shape.Bitmap(), 160, 120);
  EXPECT_TRUE(expected.Inner.Contains(80, 60));
  EXPECT_FALSE(expected.Inner.Contains(80, 3));
  EXPECT_TRUE(expected.Outer.Contains(80, 3)) << "the blue ring";
  EXPECT_FALSE(expected.Outer.Contains(1, 1));
  EXPECT_EQ(rig.Panel(rig.Host().MediaPanel()).Region(), expected.Outer);
  EXPECT_EQ(rig.Panel(rig.Host().VideoPanel()).Region(), expected.Inner);
  const auto& frame = rig.Panel(rig.Host().ShapeImage()).Image();
  ASSERT_TRUE(frame.has_value());
  EXPECT_EQ(frame->At(80, 60), 0xFF000000u) << "white is blacked out under the video";
  EXPECT_EQ(frame->At(80, 3), 0xFF0000FFu);
  EXPECT_TRUE(rig.Host().ShapedVideo());
  rig.View.PlayMedia(0);
  EXPECT_TRUE(rig.Panel(rig.Host().ShapeImage()).Showing());

  // The next item has no shape: both rectangles whole again, the frame gone.
  ASSERT_TRUE(rig.Open(TPicSize::psOriginal));
  EXPECT_FALSE(rig.Panel(rig.Host().MediaPanel()).Region().has_value());
  EXPECT_FALSE(rig.Panel(rig.Host().VideoPanel()).Region().has_value());
  EXPECT_FALSE(rig.Panel(rig.Host().ShapeImage()).Visible());
  EXPECT_FALSE(rig.Panel(rig.Host().ShapeImage()).Image().has_value());
  EXPECT_FALSE(rig.Host().ShapedVideo());
}

TEST(MediaHost, TheCaptionsGlyphsAreCutOutOfTheMediaPanelWhereverItIs) {
  TMediaViewRig rig({320, 240}, {320, 240}, {1000, false, true, 160, 120, 25});
  const TPicture shape = EllipseShape(160, 120);
  rig.View.SetPicShapedPicture(&shape);
  rig.View.SetCaption({"Caption"});
  rig.View.SetCapPos(TCapPos::cpCenter);
  rig.View.Relayout(true, true, false, false);
  // The panel's region: the base without the caption's glyphs, in panel coordinates.
  const auto without = [&](const TRegion& base) {
    TRegion glyphs = rig.View.CaptionRegion();
    const TRect panel = rig.Host().MediaPanel()->Bounds();
    glyphs.Offset(rig.View.CaptionPos().X - panel.Left, rig.View.CaptionPos().Y - panel.Top);
    return Subtract(base, glyphs);
  };
  ASSERT_TRUE(rig.Open(TPicSize::psOriginal, "&"));
  const TMediaShape cut = MakeMediaShape(shape.Bitmap(), 160, 120);
  ASSERT_NE(without(cut.Outer), cut.Outer) << "the caption lies over the medium";
  EXPECT_EQ(rig.Panel(rig.Host().MediaPanel()).Region(), without(cut.Outer));
  ASSERT_TRUE(rig.Open(TPicSize::psOriginal));
  EXPECT_EQ(rig.Panel(rig.Host().MediaPanel()).Region(), without(TRegion(TRect{0, 0, 160, 120})));
  // Moved off the medium, then hidden: the panel is whole again each time.
  rig.View.SetCapPos(TCapPos::cpTopLeft);
  rig.View.Relayout(true, false, false, false);
  EXPECT_FALSE(rig.Panel(rig.Host().MediaPanel()).Region().has_value());
  rig.View.SetCapPos(TCapPos::cpCenter);
  rig.View.Relayout(true, false, false, false);
  EXPECT_TRUE(rig.Panel(rig.Host().MediaPanel()).Region().has_value());
  rig.View.SetCapVisible(false);
  EXPECT_FALSE(rig.Panel(rig.Host().MediaPanel()).Region().has_value());
}

TEST(MediaHost, ProgressRisesTenTimesASecondAndCompletesOncePerPlay) {
  // Also with a device that stops on the last frame, one short of the length.
  for (const bool stopsShort : {false, true}) {
    SCOPED_TRACE(stopsShort);
    TMediaViewRig rig({320, 240}, {320, 240}, {1000, false, true, 160, 120, 100, stopsShort});
    ASSERT_TRUE(rig.Open(TPicSize::psOriginal));
    rig.View.PlayMedia(0);
    rig.Clock.AdvanceBy(3000);
    ASSERT_EQ(rig.Events.size(), 10u);
    for (std::size_t i = 0; i + 1 < rig.Events.size(); ++i) {
      EXPECT_EQ(rig.Events[i].Time, 100 * (i + 1));
      EXPECT_FALSE(rig.Events[i].Complete);
      EXPECT_EQ(rig.Events[i].Percent, int(10 * (i + 1)));
    }
    EXPECT_TRUE(rig.Events.back().Complete);
    EXPECT_EQ(rig.Events.back().Percent, 100);
    EXPECT_FALSE(rig.Host().ProgressTimer()->Enabled());

    // Another round from the beginning.
    rig.View.RewindMedia();
    rig.View.PlayMedia(0);
    rig.Clock.AdvanceBy(3000);
    EXPECT_EQ(std::count_if(rig.Events.begin(), rig.Events.end(), [](const auto& e) { return e.Complete; }), 2);
    EXPECT_EQ(rig.Events.size(), 20u);
    rig.View.CloseMedia();
    EXPECT_FALSE(rig.Player->IsOpen());
    EXPECT_FALSE(rig.Panel(rig.Host().MediaPanel()).Visible());
  }
}

TEST(MediaHost, OpeningShowsTheHourglassOnEveryPathAndAFailureLeavesNothingOpen) {
  for (const bool fails : {false, true}) {
    SCOPED_TRACE(fails);
    TMediaViewRig rig({400, 300}, {1600, 1200}, {1000, false, true, 550, 400, 25});
    rig.OpenFails = fails;
    EXPECT_EQ(rig.Open(TPicSize::psOriginal), !fails);
    EXPECT_EQ(rig.Panels.Cursor, (std::vector<bool>{true, false}));
    if (!fails) {
      EXPECT_EQ(rig.Host().MediaPanel()->Bounds(), (TRect{131, 100, 268, 200}));
      EXPECT_EQ(rig.Host().VideoPanel()->Bounds(), (TRect{0, 0, 137, 100}));
      EXPECT_EQ(rig.Player->Destination(), (TRect{0, 0, 137, 100}));
    }
  }
  // A video without frames is not played: nothing would ever tell its end.
  TMediaViewRig empty({320, 240}, {320, 240}, {0, false, true, 160, 120, 0});
  EXPECT_FALSE(empty.Open(TPicSize::psOriginal));
  EXPECT_FALSE(empty.Player->IsOpen());
  empty.View.PlayMedia(0);
  empty.Clock.AdvanceBy(1000);
  EXPECT_TRUE(empty.Events.empty());
}

TEST(MediaHost, PanelsAreMadeOnceForwardTheMouseAndGoWithTheView) {
  TMediaViewRig rig({320, 240}, {320, 240}, {1000, false, true, 160, 120, 25});
  ASSERT_TRUE(rig.Open(TPicSize::psOriginal));
  ASSERT_TRUE(rig.Open(TPicSize::psOriginal));
  EXPECT_EQ(rig.Panels.Created, 4);
  const auto& stack = rig.Panels.Panels;
  EXPECT_LT(std::find(stack.begin(), stack.end(), &rig.Panel(rig.Host().ShapeImage())),
            std::find(stack.begin(), stack.end(), &rig.Panel(rig.Host().VideoPanel())))
      << "the frame lies under the video";
  std::vector<TMouseSource> sources;
  rig.View.OnMouseMove = [&](TMouseSource s, platform::TShiftState, int, int) { sources.push_back(s); };
  rig.Panel(rig.Host().VideoPanel()).Mouse(platform::TMouseAction::Move, platform::TMouseButton::mbLeft, 3, 4);
  rig.Panel(rig.Host().ShapeImage()).Mouse(platform::TMouseAction::Move, platform::TMouseButton::mbLeft, 3, 4);
  EXPECT_EQ(sources, (std::vector<TMouseSource>{TMouseSource::VideoPanel, TMouseSource::ShapeImage}));
  rig.View.FreeMedia();
  EXPECT_TRUE(rig.Panels.Panels.empty());
  EXPECT_EQ(rig.Host().VideoPlayer(), nullptr);
}

struct TFlashViewRig : TMediaViewRig {
  TFlashViewRig(TSize client, TSize screen) : TMediaViewRig(client, screen, {}) {
    ActiveX.TotalFramesOf = [](const std::string&) { return 250; };
  }
  ~TFlashViewRig() { std::filesystem::remove(Movie); }
  bool Open(bool previewMsg = true, std::string shape = "") {
    return View.PrepareMedia(1, previewMsg) &&
           View.OpenMedia(Movie, TPicSize::psOriginal, shape, 0, 0, TPicPos::poCenter, TPicSizeRef::psrScreen, 100,
                          100);
  }
  platform::THeadlessActiveXControl& Control() { return *ActiveX.Controls.back(); }
  std::vector<std::string> CallsSince(std::size_t from) const {
    return {ActiveX.Calls.begin() + std::ptrdiff_t(from), ActiveX.Calls.end()};
  }
  // One file per test: CTest runs the tests of this file in parallel processes.
  std::filesystem::path Movie = WriteMovieHeader(
      std::filesystem::temp_directory_path() /
          ("lumora_flash_host_" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()) + ".swf"),
      15, 11000, 8000);
};

TEST(MediaHost, EachMovieGetsAFreshStoppedStretchedControlInItsPredictedRectangle) {
  // A 550 x 400 movie in a preview of a quarter of a 1600 x 1200 screen: 137 x 100.
  TFlashViewRig rig({400, 300}, {1600, 1200});
  for (const bool previewMsg : {true, false}) {
    SCOPED_TRACE(previewMsg);
    const std::size_t from = rig.ActiveX.Calls.size();
    ASSERT_TRUE(rig.Open(previewMsg));
    EXPECT_EQ(rig.ActiveX.Controls.size(), 1u) << "the movie before has its control freed";
    const std::string parent = std::to_string(rig.Host().FlashPanel()->Handle());
    const std::vector<std::string> expected{
        "Create ShockwaveFlash.ShockwaveFlash " + parent, "Set ScaleMode=2", "Call StopPlay", "Set Loop=0",
        "Visible 0", "Bounds 0 0 1 1", "Set Movie=" + rig.Movie.string(), "Call Rewind", "Bounds 0 0 137 100"};
    auto calls = rig.CallsSince(from);
    if (!previewMsg) {
      EXPECT_EQ(calls.front(), "Destroy") << "the control before goes first";
      calls.erase(calls.begin());
    }
    EXPECT_EQ(calls, expected);
    EXPECT_EQ(rig.Host().FlashControl()->PreviewMsg, previewMsg);
    EXPECT_EQ(rig.Host().MediaPanel()->Bounds(), (TRect{131, 100, 268, 200}));
    EXPECT_EQ(rig.Host().FlashPanel()->Bounds(), (TRect{0, 0, 137, 100}));
    EXPECT_EQ(rig.Host().ShapeImage()->Bounds(), (TRect{0, 0, 137, 100}));
  }
  EXPECT_EQ(rig.ActiveX.Created, 2);

  // The control's mouse input reaches the view as the control's.
  std::vector<TMouseSource> sources;
  rig.View.OnMouseMove = [&](TMouseSource s, platform::TShiftState, int, int) { sources.push_back(s); };
  rig.Control().Deliver(platform::TControlMessage::MouseMove, 1, 1);
  EXPECT_EQ(sources, std::vector<TMouseSource>{TMouseSource::FlashControl});

  // A video item after it hides the control and unloads its movie.
  rig.View.PrepareMedia(0, true);
  EXPECT_FALSE(rig.Control().Visible());
  EXPECT_EQ(rig.ActiveX.Calls.back(), "Set Movie= ");
}

TEST(MediaHost, AMovieOf250FramesStartsAtFrame2AndCompletesAtFrame247) {
  TFlashViewRig rig({320, 240}, {320, 240});
  ASSERT_TRUE(rig.Open());
  rig.View.PlayMedia(0);
  EXPECT_TRUE(rig.Control().Visible());
  EXPECT_TRUE(rig.Panel(rig.Host().MediaPanel()).Showing());
  EXPECT_TRUE(rig.Panel(rig.Host().FlashPanel()).Showing());
  const auto frame = [&] { return rig.Host().FlashControl()->FrameNum(); };
  EXPECT_EQ(frame(), 2);
  // 40 ms a frame: frame 247 is reached 9800 ms later, on a progress tick.
  rig.Clock.AdvanceBy(20000);
  ASSERT_FALSE(rig.Events.empty());
  EXPECT_EQ(std::count_if(rig.Events.begin(), rig.Events.end(), [](const auto& e) { return e.Complete; }), 1);
  EXPECT_TRUE(rig.Events.back().Complete);
  EXPECT_EQ(rig.Events.back().Time, 9800u);
  EXPECT_EQ(rig.Events.back().Percent, 100);
  EXPECT_EQ(rig.Events.end()[-2].Percent, 244 * 100 / 249);
  EXPECT_EQ(rig.Events.size(), 98u);
  EXPECT_FALSE(rig.Host().ProgressTimer()->Enabled());

  // Rewound, it plays again from frame 2.
  rig.View.RewindMedia();
  rig.View.PlayMedia(0);
  EXPECT_EQ(frame(), 2);
  rig.Clock.AdvanceBy(20000);
  EXPECT_EQ(std::count_if(rig.Events.begin(), rig.Events.end(), [](const auto& e) { return e.Complete; }), 2);

  // A movie of a single frame, or one the control cannot load (no frame to start at), is
  // at its end at once rather than never.
  for (const int frames : {1, 0}) {
    SCOPED_TRACE(frames);
    rig.ActiveX.TotalFramesOf = [frames](const std::string&) { return frames; };
    ASSERT_TRUE(rig.Open());
    rig.View.PlayMedia(0);
    const std::size_t before = rig.Events.size();
    rig.Clock.AdvanceBy(100);
    ASSERT_EQ(rig.Events.size(), before + 1);
    EXPECT_TRUE(rig.Events.back().Complete);
  }
}

TEST(MediaHost, ClosingAMovieWaitsASecondAtMostForItToStopThenUnloadsIt) {
  struct TCase {
    std::uint32_t StopDelay;
    std::uint64_t Waited;  // the queue runs 10 ms a time
  };
  for (const TCase c : {TCase{0, 10}, TCase{300, 300}, TCase{5000, 1000}}) {
    SCOPED_TRACE(c.StopDelay);
    TFlashViewRig rig({320, 240}, {320, 240});
    rig.ActiveX.StopDelay = c.StopDelay;
    rig.OnProcessMessages = [&] { rig.Clock.AdvanceBy(10); };
    ASSERT_TRUE(rig.Open());
    rig.View.PlayMedia(0);
    rig.Clock.AdvanceBy(500);
    const std::uint64_t before = rig.Clock.Now();
    rig.View.CloseMedia();
    EXPECT_EQ(rig.Clock.Now() - before, c.Waited);
    EXPECT_FALSE(rig.Panel(rig.Host().MediaPanel()).Visible());
    EXPECT_EQ(rig.ActiveX.Calls.back(), "Set Movie= ");
    EXPECT_FALSE(rig.Host().ProgressTimer()->Enabled());
    EXPECT_EQ(rig.Host().FlashControl()->Playing(), false) << "an unloaded movie plays nothing";
  }
}

TEST(MediaHost, AMovieWithoutControlOrSizeFailsOrShrinksButNeverThrows) {
  // No class: nothing prepares, nothing opens, and the rest does nothing.
  TFlashViewRig missing({320, 240}, {320, 240});
  missing.ActiveX.Registered.clear();
  EXPECT_FALSE(missing.Open());
  missing.View.PlayMedia(0);
  missing.Clock.AdvanceBy(1000);
  missing.View.CloseMedia();
  EXPECT_TRUE(missing.Events.empty());
  EXPECT_EQ(missing.Host().FlashControl(), nullptr);

  // A missing or compressed movie has no native size: an empty rectangle in the centre.
  TFlashViewRig rig({320, 240}, {320, 240});
  std::fstream(rig.Movie, std::ios::binary | std::ios::in | std::ios::out).write("CWS", 3);
  for (const bool exists : {true, false}) {
    if (!exists) std::filesystem::remove(rig.Movie);
    ASSERT_TRUE(rig.Open());
    EXPECT_EQ(rig.Host().MediaPanel()->Bounds(), (TRect{160, 120, 160, 120}));
  }
}

TEST(MediaHost, AShapedMovieCutsItsPanelAndTheNextMovieIsWholeAgain) {
  TFlashViewRig rig({320, 240}, {320, 240});
  const TPicture shape = EllipseShape(160, 120);
  rig.View.SetPicShapedPicture(&shape);
  ASSERT_TRUE(rig.Open(true, "&"));
  const TMediaShape expected = MakeMediaShape(shape.Bitmap(), 550 * 320 / 320, 400);
  EXPECT_EQ(rig.Panel(rig.Host().FlashPanel()).Region(), expected.Inner);
  EXPECT_EQ(rig.Panel(rig.Host().MediaPanel()).Region(), expected.Outer);
  EXPECT_TRUE(rig.Host().ShapedFlash());
  EXPECT_FALSE(rig.Host().ShapedVideo());
  ASSERT_TRUE(rig.Open());
  EXPECT_FALSE(rig.Panel(rig.Host().FlashPanel()).Region().has_value());
  EXPECT_FALSE(rig.Panel(rig.Host().MediaPanel()).Region().has_value());
  EXPECT_FALSE(rig.Host().ShapedFlash());
}

}  // namespace
}  // namespace lumora
