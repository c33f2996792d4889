// The packets between the player and the control host: each kind survives the trip, the
// player's proxy drives a host's control through them, and a host that answers garbage,
// half a packet or nothing loses its control for good instead of hanging the show.
#include "platform/control_protocol.h"
#include "platform/headless/headless_activex.h"
#include "platform/headless/headless_clock.h"

#include <gtest/gtest.h>

#include <deque>

namespace lumora::platform {
namespace {

// Bytes in both directions in memory; a server, when given, answers each packet sent at
// once, as a host that is always quick.
class TMemoryChannel final : public IControlChannel {
 public:
  bool Send(std::span<const std::uint8_t> bytes) override {
    ++Sent;
    if (Closed) return false;
    if (OnSend) OnSend(std::vector<std::uint8_t>(bytes.begin(), bytes.end()));
    return true;
  }
  bool Receive(std::span<std::uint8_t> into, std::uint32_t) override {
    if (Incoming.size() < into.size()) return false;
    for (std::uint8_t& b : into) {
      b = Incoming.front();
      Incoming.pop_front();
    }
    return true;
  }
  bool Pending() override { return !Incoming.empty(); }
  void Push(const std::vector<std::uint8_t>& bytes) { Incoming.insert(Incoming.end(), bytes.begin(), bytes.end()); }

  std::deque<std::uint8_t> Incoming;
  std::function<void(std::vector<std::uint8_t>)> OnSend;
  bool Closed = false;
  int Sent = 0;
};

std::vector<std::uint8_t> Body(const TControlPacket& p) {
  std::vector<std::uint8_t> all = EncodeControlPacket(p);
  return {all.begin() + 4, all.end()};
}

TEST(ControlProtocol, EveryPacketKindSurvivesTheTripAndMalformedBodiesAreRefused) {
  const auto packet = [](TControlOp op, auto fill) {
    TControlPacket p;
    p.Op = op;
    fill(p);
    return p;
  };
  const TControlPacket packets[] = {
      packet(TControlOp::Create,
             [](TControlPacket& p) {
               p.Name = "ShockwaveFlash.ShockwaveFlash";
               p.ClassId = "{X}";
               p.File = "C:\\Temp\\tmp1.ocx";
               p.Handle = 0x1234567890ull;
             }),
      packet(TControlOp::Get, [](TControlPacket& p) { p.Name = "TotalFrames"; }),
      packet(TControlOp::Set,
             [](TControlPacket& p) {
               p.Name = "Movie";
               p.Value = std::string("C:\\t\xC3\xA9.swf");
             }),
      packet(TControlOp::Set,
             [](TControlPacket& p) {
               p.Name = "Loop";
               p.Value = false;
             }),
      packet(TControlOp::Set,
             [](TControlPacket& p) {
               p.Name = "FrameNum";
               p.Value = std::int32_t{-7};
             }),
      packet(TControlOp::Call, [](TControlPacket& p) { p.Name = "StopPlay"; }),
      packet(TControlOp::Bounds, [](TControlPacket& p) { p.Rect = {-1, 2, 300, 400}; }),
      packet(TControlOp::Visible, [](TControlPacket& p) { p.Flag = true; }),
      packet(TControlOp::Pass, [](TControlPacket& p) { p.Mask = 0x3FF; }),
      packet(TControlOp::Reply, [](TControlPacket& p) { p.Failure = TActiveXFailure::ClassNotRegistered; }),
      packet(TControlOp::Mouse,
             [](TControlPacket& p) {
               p.Message = TControlMessage::RButtonDblClk;
               p.X = -3;
               p.Y = 70000;
             }),
      packet(TControlOp::Input,
             [](TControlPacket& p) {
               p.Handle = 0x100;
               p.Mask = 27;
               p.X = -1;
             }),
  };
  for (const TControlPacket& p : packets) {
    SCOPED_TRACE(int(p.Op));
    EXPECT_EQ(DecodeControlPacket(Body(p)), p);
  }
  std::vector<std::uint8_t> good = Body(packets[2]);
  const auto with = [&](std::size_t at, std::uint8_t value) {
    std::vector<std::uint8_t> b = good;
    b[at] = value;
    return b;
  };
  const std::vector<std::uint8_t> bad[] = {
      {},
      {good.begin(), good.end() - 1},  // cut short
      [&] { auto b = good; b.push_back(0); return b; }(),  // a byte too many
      with(0, 0),                      // no such operation
      with(0, 11),
      with(1, 0xFF),                   // a name longer than the packet
      with(1 + 4 + 5 + 4 + 4 + 8, 9),  // no such value kind
  };
  for (std::size_t i = 0; i < std::size(bad); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(DecodeControlPacket(bad[i]), std::nullopt);
  }
}

TEST(ControlProtocol, TheProxyDrivesTheHostsControlAndSeesItsMouseMessages) {
  THeadlessClock clock;
  THeadlessActiveXHost controls(clock);
  auto channel = std::make_unique<TMemoryChannel>();
  TMemoryChannel& wire = *channel;
  TMemoryChannel back;  // the host's view of the same wire
  back.OnSend = [&](std::vector<std::uint8_t> bytes) { wire.Push(bytes); };
  TControlPacket made;
  TControlServer server(back, [&](const TControlPacket& create, TActiveXFailure& failure) {
    made = create;
    return controls.CreateControl(create.Name, nullptr, failure);
  });
  wire.OnSend = [&](std::vector<std::uint8_t> bytes) {
    auto packet = DecodeControlPacket(std::span(bytes).subspan(4));
    ASSERT_TRUE(packet);
    server.Answer(*packet);
  };
  TControlProxy proxy(std::move(channel), 100);
  TActiveXFailure failure{};
  controls.Registered.clear();
  EXPECT_FALSE(proxy.Open("ShockwaveFlash.ShockwaveFlash", "{X}", "c.ocx", 42, 100, failure));
  EXPECT_EQ(failure, TActiveXFailure::ClassNotRegistered);
  controls.Registered.insert("ShockwaveFlash.ShockwaveFlash");
  ASSERT_TRUE(proxy.Open("ShockwaveFlash.ShockwaveFlash", "{X}", "c.ocx", 42, 100, failure));
  EXPECT_EQ(made.Handle, 42u);
  EXPECT_EQ(made.File, "c.ocx");

  bool preview = false;
  std::vector<std::string> raised;
  proxy.SetMessagePass([&](TControlMessage m) {
    return (m == TControlMessage::LButtonDown || m == TControlMessage::LButtonUp) && !preview;
  });
  proxy.SetMessageHook([&](TControlMessage m, int x, int y) {
    raised.push_back(std::to_string(int(m)) + " " + std::to_string(x) + " " + std::to_string(y));
    return true;
  });
  EXPECT_TRUE(proxy.SetProperty("Movie", std::string("m.swf")));
  EXPECT_EQ(proxy.GetProperty("TotalFrames"), TDispValue{std::int32_t{100}});
  EXPECT_EQ(proxy.GetProperty("NoSuch"), std::nullopt);
  EXPECT_TRUE(proxy.Call("Play"));
  proxy.SetBounds(TRect{1, 2, 3, 4});
  EXPECT_EQ(controls.Controls.back()->Bounds(), (TRect{1, 2, 3, 4}));
  EXPECT_FALSE(proxy.Lost());

  // The host lets the left button through by the table, and tells of every message.
  EXPECT_TRUE(server.Tell(TControlMessage::LButtonDown, 5, 6));
  EXPECT_FALSE(server.Tell(TControlMessage::MouseMove, 7, 8));
  proxy.Pump();
  EXPECT_EQ(raised, (std::vector<std::string>{"1 5 6", "0 7 8"}));
  preview = true;
  const int before = wire.Sent;
  proxy.SetVisible(true);
  EXPECT_EQ(wire.Sent - before, 2);  // the new table, then the call
  EXPECT_FALSE(server.Tell(TControlMessage::LButtonDown, 5, 6));
  proxy.SetVisible(true);
  EXPECT_EQ(wire.Sent - before, 3);  // an unchanged table is not sent again
}

TEST(ControlProtocol, AHostThatAnswersBadlyOrNotAtAllLosesTheControlForGood) {
  TControlPacket reply;
  reply.Flag = true;
  reply.Value = std::int32_t{9};
  const std::vector<std::uint8_t> good = EncodeControlPacket(reply);
  TControlPacket question;
  question.Op = TControlOp::Get;
  question.Name = "FrameNum";
  struct TCase {
    const char* Name;
    std::vector<std::uint8_t> Answer;
    bool Closed;
  };
  const TCase cases[] = {
      {"nothing", {}, false},
      {"a closed pipe", {}, true},
      {"half a packet", {good.begin(), good.begin() + 9}, false},
      {"garbage", {1, 0, 0, 0, 0xEE}, false},
      {"a length beyond the limit", {0xFF, 0xFF, 0xFF, 0x7F, 1}, false},
      {"a question instead of an answer", EncodeControlPacket(question), false},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    auto channel = std::make_unique<TMemoryChannel>();
    TMemoryChannel& wire = *channel;
    wire.Closed = c.Closed;
    wire.OnSend = [&](std::vector<std::uint8_t>) { wire.Push(c.Answer); };
    TControlProxy proxy(std::move(channel), 10);
    EXPECT_EQ(proxy.GetProperty("FrameNum"), std::nullopt);
    EXPECT_TRUE(proxy.Lost());
    // Later calls fail at once, without asking again.
    wire.OnSend = [&](std::vector<std::uint8_t>) { wire.Push(good); };
    const int sent = wire.Sent;
    EXPECT_FALSE(proxy.Call("Play"));
    EXPECT_EQ(proxy.GetProperty("FrameNum"), std::nullopt);
    EXPECT_EQ(wire.Sent, sent);
  }
}

}  // namespace
}  // namespace lumora::platform
