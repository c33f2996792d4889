#include "platform/control_protocol.h"

namespace lumora::platform {

namespace {

constexpr std::uint8_t kLastOp = static_cast<std::uint8_t>(TControlOp::Input);
constexpr std::uint8_t kLastMessage = static_cast<std::uint8_t>(TControlMessage::RButtonDblClk);
constexpr std::uint8_t kLastFailure = static_cast<std::uint8_t>(TActiveXFailure::OtherFailure);
// The messages the control's window gets before the player says otherwise: left
// presses and releases, as for a movie that the user may click.
constexpr std::uint32_t kDefaultMask =
    ControlMessageBit(TControlMessage::LButtonDown) | ControlMessageBit(TControlMessage::LButtonUp);

class TWriter {
 public:
  void U8(std::uint8_t v) { bytes.push_back(v); }
  void U32(std::uint32_t v) {
    for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
  }
  void U64(std::uint64_t v) {
    U32(static_cast<std::uint32_t>(v));
    U32(static_cast<std::uint32_t>(v >> 32));
  }
  void I32(std::int32_t v) { U32(static_cast<std::uint32_t>(v)); }
  void Text(const std::string& text) {
    U32(static_cast<std::uint32_t>(text.size()));
    bytes.insert(bytes.end(), text.begin(), text.end());
  }
  std::vector<std::uint8_t> bytes;
};

class TReader {
 public:
  explicit TReader(std::span<const std::uint8_t> body) : body_(body) {}
  bool U8(std::uint8_t& v) {
    if (at_ + 1 > body_.size()) return false;
    v = body_[at_++];
    return true;
  }
  bool U32(std::uint32_t& v) {
    if (at_ + 4 > body_.size()) return false;
    v = 0;
    for (int i = 0; i < 4; ++i) v |= std::uint32_t(body_[at_ + i]) << (8 * i);
    at_ += 4;
    return true;
  }
  bool U64(std::uint64_t& v) {
    std::uint32_t lo = 0, hi = 0;
    if (!U32(lo) || !U32(hi)) return false;
    v = (std::uint64_t(hi) << 32) | lo;
    return true;
  }
  bool I32(std::int32_t& v) {
    std::uint32_t u = 0;
    if (!U32(u)) return false;
    v = static_cast<std::int32_t>(u);
    return true;
  }
  bool Text(std::string& text) {
    std::uint32_t n = 0;
    if (!U32(n) || n > body_.size() - at_) return false;
    text.assign(reinterpret_cast<const char*>(body_.data() + at_), n);
    at_ += n;
    return true;
  }
  bool AtEnd() const { return at_ == body_.size(); }

 private:
  std::span<const std::uint8_t> body_;
  std::size_t at_ = 0;
};

}  // namespace

std::vector<std::uint8_t> EncodeControlPacket(const TControlPacket& p) {
  TWriter w;
  w.U32(0);  // the length, filled in below
  w.U8(static_cast<std::uint8_t>(p.Op));
  w.Text(p.Name);
  w.Text(p.ClassId);
  w.Text(p.File);
  w.U64(p.Handle);
  w.U8(static_cast<std::uint8_t>(p.Value.index()));
  if (const auto* b = std::get_if<bool>(&p.Value)) w.U8(*b ? 1 : 0);
  if (const auto* i = std::get_if<std::int32_t>(&p.Value)) w.I32(*i);
  if (const auto* s = std::get_if<std::string>(&p.Value)) w.Text(*s);
  for (const std::int32_t v : {p.Rect.Left, p.Rect.Top, p.Rect.Right, p.Rect.Bottom}) w.I32(v);
  w.U8(p.Flag ? 1 : 0);
  w.U32(p.Mask);
  w.U8(static_cast<std::uint8_t>(p.Failure));
  w.U8(static_cast<std::uint8_t>(p.Message));
  w.I32(p.X);
  w.I32(p.Y);
  const auto length = static_cast<std::uint32_t>(w.bytes.size() - 4);
  for (int i = 0; i < 4; ++i) w.bytes[i] = static_cast<std::uint8_t>(length >> (8 * i));
  return std::move(w.bytes);
}

std::optional<TControlPacket> DecodeControlPacket(std::span<const std::uint8_t> body) {
  if (body.size() > kMaxControlPacket) return std::nullopt;
  TReader r(body);
  TControlPacket p;
  std::uint8_t op = 0, kind = 0, flag = 0, failure = 0, message = 0;
  if (!r.U8(op) || op == 0 || op > kLastOp) return std::nullopt;
  p.Op = static_cast<TControlOp>(op);
  if (!r.Text(p.Name) || !r.Text(p.ClassId) || !r.Text(p.File) || !r.U64(p.Handle) || !r.U8(kind))
    return std::nullopt;
  switch (kind) {
    case 0: break;
    case 1: {
      std::uint8_t b = 0;
      if (!r.U8(b) || b > 1) return std::nullopt;
      p.Value = b == 1;
      break;
    }
    case 2: {
      std::int32_t i = 0;
      if (!r.I32(i)) return std::nullopt;
      p.Value = i;
      break;
    }
    case 3: {
      std::string s;
      if (!r.Text(s)) return std::nullopt;
      p.Value = std::move(s);
      break;
    }
    default: return std::nullopt;
  }
  if (!r.I32(p.Rect.Left) || !r.I32(p.Rect.Top) || !r.I32(p.Rect.Right) || !r.I32(p.Rect.Bottom)) return std::nullopt;
  if (!r.U8(flag) || flag > 1 || !r.U32(p.Mask) || !r.U8(failure) || failure > kLastFailure || !r.U8(message) ||
      message > kLastMessage || !r.I32(p.X) || !r.I32(p.Y) || !r.AtEnd())
    return std::nullopt;
  p.Flag = flag == 1;
  p.Failure = static_cast<TActiveXFailure>(failure);
  p.Message = static_cast<TControlMessage>(message);
  return p;
}

std::optional<TControlPacket> ReadControlPacket(IControlChannel& channel, std::uint32_t timeoutMs) {
  std::uint8_t head[4];
  if (!channel.Receive(head, timeoutMs)) return std::nullopt;
  const std::uint32_t length = head[0] | (head[1] << 8) | (head[2] << 16) | (std::uint32_t(head[3]) << 24);
  if (length == 0 || length > kMaxControlPacket) return std::nullopt;
  std::vector<std::uint8_t> body(length);
  // The rest of a packet follows its length at once: a host that stops half-way is lost.
  if (!channel.Receive(body, timeoutMs)) return std::nullopt;
  return DecodeControlPacket(body);
}

// ---- the player's side ----

TControlProxy::TControlProxy(std::unique_ptr<IControlChannel> channel, std::uint32_t replyTimeoutMs)
    : channel_(std::move(channel)), timeout_(replyTimeoutMs) {}

void TControlProxy::Raise(const TControlPacket& packet) {
  try {
    if (packet.Op == TControlOp::Input) {
      if (onInput_) onInput_(packet);
    } else if (hook_) {
      hook_(packet.Message, packet.X, packet.Y);
    }
  } catch (...) {
  }
}

std::optional<TControlPacket> TControlProxy::Ask(TControlPacket packet, std::uint32_t timeoutMs) {
  // A hook that calls back into the control while a question is open gets no answer.
  if (lost_ || asking_) return std::nullopt;
  asking_ = true;
  std::vector<TControlPacket> mice;
  std::optional<TControlPacket> reply;
  if (channel_->Send(EncodeControlPacket(packet))) {
    while (true) {
      std::optional<TControlPacket> got = ReadControlPacket(*channel_, timeoutMs);
      if (!got || (got->Op != TControlOp::Reply && got->Op != TControlOp::Mouse && got->Op != TControlOp::Input))
        break;
      if (got->Op != TControlOp::Reply) {
        mice.push_back(std::move(*got));
        continue;
      }
      reply = std::move(got);
      break;
    }
  }
  asking_ = false;
  if (!reply) lost_ = true;
  for (const TControlPacket& mouse : mice) Raise(mouse);
  return reply;
}

void TControlProxy::Pump() {
  while (!lost_ && !asking_ && channel_->Pending()) {
    std::optional<TControlPacket> got = ReadControlPacket(*channel_, timeout_);
    if (!got || (got->Op != TControlOp::Mouse && got->Op != TControlOp::Input)) {
      lost_ = true;
      return;
    }
    Raise(*got);
  }
}

void TControlProxy::SendPassIfChanged() {
  if (!passes_) return;
  std::uint32_t mask = 0;
  for (unsigned m = 0; m <= static_cast<unsigned>(TControlMessage::RButtonDblClk); ++m) {
    bool pass = true;
    try {
      pass = passes_(static_cast<TControlMessage>(m));
    } catch (...) {
    }
    if (pass) mask |= 1u << m;
  }
  if (sentMask_ == mask) return;
  TControlPacket packet;
  packet.Op = TControlOp::Pass;
  packet.Mask = mask;
  if (Ask(packet, timeout_)) sentMask_ = mask;
}

bool TControlProxy::Open(std::string_view className, std::string_view classId, const std::string& file,
                         std::uint64_t parent, std::uint32_t timeoutMs, TActiveXFailure& failure) {
  TControlPacket packet;
  packet.Op = TControlOp::Create;
  packet.Name = className;
  packet.ClassId = classId;
  packet.File = file;
  packet.Handle = parent;
  const std::optional<TControlPacket> reply = Ask(packet, timeoutMs);
  if (!reply) {
    failure = TActiveXFailure::OtherFailure;
    return false;
  }
  failure = reply->Flag ? TActiveXFailure::NoFailure
            : reply->Failure == TActiveXFailure::NoFailure ? TActiveXFailure::OtherFailure
                                                           : reply->Failure;
  return reply->Flag;
}

std::optional<TDispValue> TControlProxy::GetProperty(std::string_view name) {
  SendPassIfChanged();
  TControlPacket packet;
  packet.Op = TControlOp::Get;
  packet.Name = name;
  const std::optional<TControlPacket> reply = Ask(packet, timeout_);
  if (!reply || !reply->Flag) return std::nullopt;
  return reply->Value;
}

bool TControlProxy::SetProperty(std::string_view name, const TDispValue& value) {
  SendPassIfChanged();
  TControlPacket packet;
  packet.Op = TControlOp::Set;
  packet.Name = name;
  packet.Value = value;
  const std::optional<TControlPacket> reply = Ask(packet, timeout_);
  return reply && reply->Flag;
}

bool TControlProxy::Call(std::string_view method) {
  SendPassIfChanged();
  TControlPacket packet;
  packet.Op = TControlOp::Call;
  packet.Name = method;
  const std::optional<TControlPacket> reply = Ask(packet, timeout_);
  return reply && reply->Flag;
}

void TControlProxy::SetBounds(const TRect& bounds) {
  TControlPacket packet;
  packet.Op = TControlOp::Bounds;
  packet.Rect = bounds;
  Ask(packet, timeout_);
}

void TControlProxy::SetVisible(bool visible) {
  SendPassIfChanged();
  TControlPacket packet;
  packet.Op = TControlOp::Visible;
  packet.Flag = visible;
  Ask(packet, timeout_);
}

// ---- the host's side ----

bool TControlServer::Answer(const TControlPacket& question) {
  TControlPacket reply;
  reply.Op = TControlOp::Reply;
  try {
    switch (question.Op) {
      case TControlOp::Create: {
        control_.reset();
        TActiveXFailure failure = TActiveXFailure::OtherFailure;
        control_ = make_(question, failure);
        reply.Flag = control_ != nullptr;
        reply.Failure = control_ ? TActiveXFailure::NoFailure : failure;
        break;
      }
      case TControlOp::Get:
        if (control_) {
          std::optional<TDispValue> value = control_->GetProperty(question.Name);
          reply.Flag = value.has_value();
          if (value) reply.Value = std::move(*value);
        }
        break;
      case TControlOp::Set: reply.Flag = control_ && control_->SetProperty(question.Name, question.Value); break;
      case TControlOp::Call: reply.Flag = control_ && control_->Call(question.Name); break;
      case TControlOp::Bounds:
        if (control_) control_->SetBounds(question.Rect);
        reply.Flag = control_ != nullptr;
        break;
      case TControlOp::Visible:
        if (control_) control_->SetVisible(question.Flag);
        reply.Flag = control_ != nullptr;
        break;
      case TControlOp::Pass:
        mask_ = question.Mask;
        reply.Flag = true;
        break;
      case TControlOp::Reply:
      case TControlOp::Mouse:
      case TControlOp::Input: break;
    }
  } catch (...) {
    reply.Flag = false;
  }
  return channel_.Send(EncodeControlPacket(reply));
}

bool TControlServer::Tell(TControlMessage message, int x, int y) {
  TControlPacket packet;
  packet.Op = TControlOp::Mouse;
  packet.Message = message;
  packet.X = x;
  packet.Y = y;
  channel_.Send(EncodeControlPacket(packet));
  const std::uint32_t mask = mask_ == ~0u ? kDefaultMask : mask_;
  return (mask & ControlMessageBit(message)) != 0;
}

void TControlServer::TellInput(std::uint32_t message, std::uint32_t wParam, std::int32_t lParam) {
  TControlPacket packet;
  packet.Op = TControlOp::Input;
  packet.Handle = message;
  packet.Mask = wParam;
  packet.X = lParam;
  channel_.Send(EncodeControlPacket(packet));
}

}  // namespace lumora::platform
