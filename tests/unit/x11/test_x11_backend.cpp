// The X11 backend's decisions that need no display.
// The test framework first: Xlib's headers define names like None and Bool as macros.
#include <gtest/gtest.h>

#include "platform/x11/x11_media_panel.h"
#include "platform/x11/x11_named_mutex.h"
#include "platform/x11/x11_surface.h"
#include "platform/x11/x11_system.h"
#include "platform/x11/x11_threads.h"
#include "support/test_files.h"

namespace lumora::platform {
namespace {

TEST(X11Monitors, RandrWhenItKnowsSeveralElseXineramaHeadsElseTheScreen) {
  const TMonitor a{{0, 0, 1024, 768}, false}, b{{1024, 0, 1824, 600}, false}, bp{{1024, 0, 1824, 600}, true};
  const TMonitor whole{{0, 0, 1824, 768}, false};
  struct TCase {
    TMonitorList Randr, Xinerama, Expected;
  } cases[] = {
      {{a, bp}, {whole}, {a, bp}},  // a marked primary is kept
      {{whole}, {a, b}, {{a.Bounds, true}, b}},  // a nested server's heads; the first is primary
      {{whole}, {whole}, {{whole.Bounds, true}}},
      {{}, {}, {{{0, 0, 800, 600}, true}}},
      {{}, {a}, {{{0, 0, 800, 600}, true}}},
  };
  for (const TCase& c : cases) {
    const TMonitorList got = ChooseMonitors(c.Randr, c.Xinerama, TSize{800, 600});
    ASSERT_EQ(got.size(), c.Expected.size());
    for (std::size_t i = 0; i < got.size(); ++i) {
      EXPECT_EQ(got[i].Bounds, c.Expected[i].Bounds) << i;
      EXPECT_EQ(got[i].Primary, c.Expected[i].Primary) << i;
    }
  }
}

TEST(X11MessageBox, LinesKeepTheirBreaksAndWrapAtSpacesOrInsideLongWords) {
  struct TCase {
    const char* Text;
    std::size_t Columns;
    std::vector<std::string> Lines;
  } cases[] = {
      {"short", 10, {"short"}},
      {"", 10, {""}},
      {"one two three", 7, {"one two", "three"}},
      {"a\r\nb\n\nc", 10, {"a", "b", "", "c"}},
      {"abcdefghij", 4, {"abcd", "efgh", "ij"}},
      {"ab cdefghij", 4, {"ab", "cdef", "ghij"}},
      {"x", 0, {"x"}},
  };
  for (const TCase& c : cases) EXPECT_EQ(WrapMessage(c.Text, c.Columns), c.Lines) << c.Text;
}

TEST(X11NamedMutex, NamesNeverShareAFile) {
  EXPECT_EQ(LockFileName("Lumora Screen Saver"), "lumora-Lumora%20Screen%20Saver.lock");
  EXPECT_EQ(LockFileName("../x/y"), "lumora-..%2Fx%2Fy.lock");
  EXPECT_NE(LockFileName("a b"), LockFileName("a%20b"));
}

TEST(X11NamedMutex, OneHolderAtATimeTheFileGoesWithItAndAStaleFileIsTakenOver) {
  test::TTempDir dir;
  TX11NamedMutexes mutexes(dir.Path());
  const std::filesystem::path file = dir.Path() / LockFileName("show");
  {
    TNamedMutex first = mutexes.CreateNamedMutex("show");
    ASSERT_EQ(first.Outcome, TMutexOutcome::Created);
    ASSERT_TRUE(first.Handle);
    const TNamedMutex second = mutexes.CreateNamedMutex("show");
    EXPECT_EQ(second.Outcome, TMutexOutcome::AlreadyExisted);
    EXPECT_TRUE(second.Handle);
    EXPECT_EQ(mutexes.CreateNamedMutex("preview").Outcome, TMutexOutcome::Created);
    first.Handle.reset();
    // The one that found it taken leaves the file alone; nothing holds it now.
    EXPECT_FALSE(std::filesystem::exists(file));
  }
  EXPECT_TRUE(std::filesystem::is_empty(dir.Path()));
  // A holder that died left its file, unlocked.
  test::WriteFileBytes(file, {});
  EXPECT_EQ(mutexes.CreateNamedMutex("show").Outcome, TMutexOutcome::Created);
  TX11NamedMutexes nowhere(dir.Path() / "missing");
  const TNamedMutex failed = nowhere.CreateNamedMutex("show");
  EXPECT_EQ(failed.Outcome, TMutexOutcome::Failed);
  EXPECT_FALSE(failed.Handle);
}

TEST(X11MediaPanel, BackgroundIsBlackWithThePictureAtTheCornerClipped) {
  TBitmap32 image(3, 2, 0xFF112233u);
  image.Row(1)[2] = 0xFFABCDEFu;
  const std::vector<std::uint32_t> larger = PanelBackground(&image, 4, 3);
  EXPECT_EQ(larger, (std::vector<std::uint32_t>{0x112233, 0x112233, 0x112233, 0, 0x112233, 0x112233, 0xABCDEF, 0,
                                                0, 0, 0, 0}));
  EXPECT_EQ(PanelBackground(&image, 2, 1), (std::vector<std::uint32_t>{0x112233, 0x112233}));
  EXPECT_EQ(PanelBackground(nullptr, 2, 1), (std::vector<std::uint32_t>{0, 0}));
  EXPECT_TRUE(PanelBackground(&image, 0, 5).empty());
}

TEST(X11Surface, AFrameWaitsOnlyForTransfersThatReadWhereItWritesOrWhenTooManyAreInFlight) {
  TPendingTransfers pending;
  pending.Sent(10, {0, 0, 4, 768});
  pending.Sent(11, {4, 0, 8, 768});
  EXPECT_FALSE(pending.Blocks({8, 0, 12, 768}));  // the wipe's next column
  EXPECT_TRUE(pending.Blocks({3, 100, 5, 101}));
  pending.CompletedUpTo(10);
  EXPECT_FALSE(pending.Blocks({0, 0, 4, 768}));
  EXPECT_TRUE(pending.Blocks({7, 0, 8, 1}));
  pending.CompletedUpTo(9);  // a completion older than anything in flight
  EXPECT_EQ(pending.Count(), 1u);
  pending.CompletedUpTo(12);
  EXPECT_EQ(pending.Count(), 0u);
  // Serials that wrapped around still complete in order.
  const unsigned long top = ~0ul;
  pending.Sent(top, {0, 0, 1, 1});
  pending.Sent(0, {1, 0, 2, 1});
  pending.CompletedUpTo(top);
  EXPECT_EQ(pending.Count(), 1u);
  pending.CompletedUpTo(0);
  EXPECT_EQ(pending.Count(), 0u);
  for (unsigned long s = 0; s < TPendingTransfers::kMost; ++s) pending.Sent(s, {int(s), 0, int(s) + 1, 1});
  EXPECT_TRUE(pending.Blocks({100, 100, 101, 101}));
}

TEST(X11Threads, AWaitingWorkerWakesWhenTheTickReachesItsWakeTickAndAtLeastEveryFewMilliseconds) {
  using namespace std::chrono;
  // 2^32 + 1000 ms and a half: the tick counter reads 1000 and wraps like the clock's.
  const steady_clock::time_point now{milliseconds((1ll << 32) + 1000) + microseconds(500)};
  const steady_clock::time_point whole{milliseconds((1ll << 32) + 1000)};
  struct TCase {
    std::optional<std::uint32_t> WakeTick;
    steady_clock::time_point Expected;
  } cases[] = {
      {1002, whole + milliseconds(2)},  // a pause of 1 from tick 1000: at the start of tick 1002
      {1001, whole + milliseconds(1)},
      {1000, whole + milliseconds(1)},  // already due but not ready: again 1 ms on
      {999, whole + milliseconds(1)},
      {1100, whole + milliseconds(5)},
      {std::nullopt, now + milliseconds(1)},
  };
  for (const TCase& c : cases)
    EXPECT_EQ(NextWorkerPoll(c.WakeTick, now), c.Expected) << (c.WakeTick ? *c.WakeTick : 0);
  EXPECT_EQ(NextWorkerPoll(3u, steady_clock::time_point{milliseconds((1ll << 32) - 1)}),
            steady_clock::time_point{milliseconds((1ll << 32) + 3)});  // across the wrap
}

}  // namespace
}  // namespace lumora::platform
