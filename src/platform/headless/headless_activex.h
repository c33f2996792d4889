// Controls in memory: a scripted movie control whose frame counter advances on the
// virtual clock while it plays, and a record of every property, call and message.
#pragma once

#include "platform/activex.h"
#include "platform/headless/headless_clock.h"

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace lumora::platform {

class THeadlessActiveXHost;

class THeadlessActiveXControl final : public IActiveXControl {
 public:
  THeadlessActiveXControl(THeadlessActiveXHost& host, IMediaPanel* parent);
  ~THeadlessActiveXControl() override;

  std::optional<TDispValue> GetProperty(std::string_view name) override;
  bool SetProperty(std::string_view name, const TDispValue& value) override;
  bool Call(std::string_view method) override;
  void SetBounds(const TRect& bounds) override;
  void SetVisible(bool visible) override;
  void SetMessageHook(std::function<bool(TControlMessage, int, int)> hook) override { hook_ = std::move(hook); }
  bool Lost() const override { return Gone; }

  // A message as the system would deliver it to the control's window: true when it
  // reached the control (the hook let it through).
  bool Deliver(TControlMessage message, int x, int y);
  IMediaPanel* Parent() const { return parent_; }
  const TRect& Bounds() const { return bounds_; }
  bool Visible() const { return visible_; }
  // The messages that reached the control.
  std::vector<TControlMessage> Received;
  // Set: the control's process is gone; every call fails.
  bool Gone = false;

 private:
  // Brings the frame counter up to the clock.
  void Update();
  void Log(std::string line);

  THeadlessActiveXHost& host_;
  IMediaPanel* parent_;
  std::map<std::string, TDispValue, std::less<>> properties_;
  std::string movie_;
  std::int32_t totalFrames_ = 0;
  std::int64_t frame_ = 0;
  bool playing_ = false;
  std::uint64_t playStart_ = 0;  // clock time at which playing reached frame_
  std::int64_t startFrame_ = 0;
  std::optional<std::uint64_t> stopAt_;
  TRect bounds_{0, 0, 1, 1};
  bool visible_ = false;
  std::function<bool(TControlMessage, int, int)> hook_;
};

class THeadlessActiveXHost final : public IActiveXHost {
 public:
  explicit THeadlessActiveXHost(THeadlessClock& clock) : Clock(clock) {}
  // Deletes the control files it was given, as the real host does when the show ends.
  ~THeadlessActiveXHost() override;

  std::unique_ptr<IActiveXControl> CreateControl(std::string_view className, IMediaPanel* parent,
                                                 TActiveXFailure& failure) override;
  // Records the file and makes its class available, as a private load would.
  void UseControlFile(std::string_view className, std::string_view classId,
                      const std::filesystem::path& file) override;

  THeadlessClock& Clock;
  // "<class> <class id> <file>" per control file given.
  std::vector<std::string> ControlFiles;
  // The class names that can be made.
  std::set<std::string, std::less<>> Registered{"ShockwaveFlash.ShockwaveFlash"};
  // A failure other than a missing class, for every creation while set.
  bool CreationFails = false;
  // Milliseconds per frame while a movie plays.
  std::uint32_t FrameInterval = 40;
  // Milliseconds that a movie goes on playing after StopPlay.
  std::uint32_t StopDelay = 0;
  // The number of frames a movie has, by its path (default: 100; none after " ").
  std::function<std::int32_t(const std::string& movie)> TotalFramesOf;
  // One line per event, in order: "Create <class> <parent handle>", "Create! <class>",
  // "Set Movie=<path>", "Set Loop=0", "Get Playing", "Call Play", "Bounds 0 0 10 10",
  // "Visible 1", "Destroy".
  std::vector<std::string> Calls;
  // The live controls, oldest first.
  std::vector<THeadlessActiveXControl*> Controls;
  int Created = 0;

 private:
  std::vector<std::filesystem::path> files_;
};

}  // namespace lumora::platform
