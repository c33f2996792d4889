// The conversation between the player and the control host, the small program that
// hosts one control in a process of its own (a 32-bit control cannot live in our 64-bit
// process). Every packet is a 32-bit little-endian length and a body; the player asks,
// the host answers each question with one reply, and between replies the host may tell
// of mouse messages that reached its control's window. Portable: the Win32 backend and
// the host program carry it over pipes, the tests over memory.
#pragma once

#include "platform/activex.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace lumora::platform {

enum class TControlOp : std::uint8_t {
  Create = 1,  // Name: class name, ClassId, File: the control's own file (may be empty), Handle: parent
  Get,         // Name
  Set,         // Name, Value
  Call,        // Name
  Bounds,      // Rect
  Visible,     // Flag
  Pass,        // Mask: the messages (bit per TControlMessage) that the control's window gets
  Reply,       // host: Flag true on success, Value of a Get, Failure of a Create
  Mouse,       // host, unasked: Message, X, Y
  Input,       // host, unasked: an input message its window got, as the system numbers it:
               // Handle the message, Mask its first parameter, X its second
};

struct TControlPacket {
  TControlOp Op = TControlOp::Reply;
  std::string Name;
  std::string ClassId;
  std::string File;
  std::uint64_t Handle = 0;
  TDispValue Value;
  TRect Rect{};
  bool Flag = false;
  std::uint32_t Mask = 0;
  TActiveXFailure Failure = TActiveXFailure::NoFailure;
  TControlMessage Message = TControlMessage::MouseMove;
  std::int32_t X = 0;
  std::int32_t Y = 0;

  bool operator==(const TControlPacket&) const = default;
};

// Packets longer than this are refused on both sides.
inline constexpr std::uint32_t kMaxControlPacket = 64 * 1024;

// The whole packet, length first.
std::vector<std::uint8_t> EncodeControlPacket(const TControlPacket& packet);
// One body (without its length); nullopt for anything malformed.
std::optional<TControlPacket> DecodeControlPacket(std::span<const std::uint8_t> body);

// A byte stream to the other side.
class IControlChannel {
 public:
  virtual ~IControlChannel() = default;
  virtual bool Send(std::span<const std::uint8_t> bytes) = 0;
  // Fills into completely, waiting at most timeoutMs (0: only what has arrived); false
  // when the other side is gone or the time ran out.
  virtual bool Receive(std::span<std::uint8_t> into, std::uint32_t timeoutMs) = 0;
  // Whether at least one byte can be read at once.
  virtual bool Pending() = 0;
};

// Reads one packet; nullopt on time-out, a closed channel or a malformed packet.
std::optional<TControlPacket> ReadControlPacket(IControlChannel& channel, std::uint32_t timeoutMs);

// Bit of a message in a Pass mask.
constexpr std::uint32_t ControlMessageBit(TControlMessage message) { return 1u << static_cast<unsigned>(message); }

// The player's side: a control whose calls become packets. A host that answers
// garbage, answers late or goes away loses the control for good: every later call
// fails at once, and Lost() says so.
class TControlProxy final : public IActiveXControl {
 public:
  TControlProxy(std::unique_ptr<IControlChannel> channel, std::uint32_t replyTimeoutMs);

  // Asks the host to make the control; false with the reason in failure.
  bool Open(std::string_view className, std::string_view classId, const std::string& file, std::uint64_t parent,
            std::uint32_t timeoutMs, TActiveXFailure& failure);

  std::optional<TDispValue> GetProperty(std::string_view name) override;
  bool SetProperty(std::string_view name, const TDispValue& value) override;
  bool Call(std::string_view method) override;
  void SetBounds(const TRect& bounds) override;
  void SetVisible(bool visible) override;
  void SetMessageHook(std::function<bool(TControlMessage, int x, int y)> hook) override { hook_ = std::move(hook); }
  void SetMessagePass(std::function<bool(TControlMessage)> passes) override { passes_ = std::move(passes); }
  bool Lost() const override { return lost_; }
  // Sees every Input packet (for the player's own message filter).
  void SetInputHandler(std::function<void(const TControlPacket&)> handler) { onInput_ = std::move(handler); }

  // Raises the hook for every mouse message the host told of since the last call.
  void Pump();

 private:
  std::optional<TControlPacket> Ask(TControlPacket packet, std::uint32_t timeoutMs);
  void SendPassIfChanged();
  void Raise(const TControlPacket& packet);

  std::unique_ptr<IControlChannel> channel_;
  std::uint32_t timeout_;
  bool lost_ = false;
  bool asking_ = false;
  std::optional<std::uint32_t> sentMask_;
  std::function<bool(TControlMessage, int, int)> hook_;
  std::function<bool(TControlMessage)> passes_;
  std::function<void(const TControlPacket&)> onInput_;
};

// The host's side: answers one question with the control it made, or makes it.
// Create is handed to make, which returns the control or null with the failure.
class TControlServer {
 public:
  using TMake = std::function<std::unique_ptr<IActiveXControl>(const TControlPacket& create, TActiveXFailure& failure)>;
  TControlServer(IControlChannel& channel, TMake make) : channel_(channel), make_(std::move(make)) {}

  // Answers one question; false when the reply cannot be sent.
  bool Answer(const TControlPacket& question);
  // Tells the player of a mouse message; whether the control's window gets it (by the
  // last Pass mask) is returned.
  bool Tell(TControlMessage message, int x, int y);
  // Tells the player of an input message of the host's windows.
  void TellInput(std::uint32_t message, std::uint32_t wParam, std::int32_t lParam);
  IActiveXControl* Control() const { return control_.get(); }
  void Release() { control_.reset(); }

 private:
  IControlChannel& channel_;
  TMake make_;
  std::unique_ptr<IActiveXControl> control_;
  std::uint32_t mask_ = ~0u;
};

}  // namespace lumora::platform
