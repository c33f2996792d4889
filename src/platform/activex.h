// Hosting a control of the system's component registry inside one of our windows: made
// by its class name, activated in place, driven through its dispatch properties and
// methods by name, and with its window's mouse messages seen by us first.
#pragma once

#include "platform/media_panel.h"
#include "platform/surface.h"
#include "platform/window_handle.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

namespace lumora::platform {

// A dispatch value: empty, a Boolean, a 32-bit integer or a text (UTF-8).
using TDispValue = std::variant<std::monostate, bool, std::int32_t, std::string>;

// Why a control could not be made: the class is not registered on this system (or its
// name is unknown), or anything else went wrong.
enum class TActiveXFailure { NoFailure, ClassNotRegistered, OtherFailure };

// The mouse messages of the control's window that the host lets us see before it.
enum class TControlMessage {
  MouseMove,
  LButtonDown,
  LButtonUp,
  LButtonDblClk,
  MButtonDown,
  MButtonUp,
  MButtonDblClk,
  RButtonDown,
  RButtonUp,
  RButtonDblClk,
};

class IActiveXControl {
 public:
  virtual ~IActiveXControl() = default;
  // The property's value; nullopt when the control has no such property or refused.
  virtual std::optional<TDispValue> GetProperty(std::string_view name) = 0;
  // False when the control has no such property or refused the value.
  virtual bool SetProperty(std::string_view name, const TDispValue& value) = 0;
  // Calls a method without arguments; false when there is no such method or it failed.
  virtual bool Call(std::string_view method) = 0;
  // Bounds in the parent's client coordinates (half-open).
  virtual void SetBounds(const TRect& bounds) = 0;
  virtual void SetVisible(bool visible) = 0;
  // Sees every listed message of the control's window first, with its client
  // coordinates; returning false keeps it from the control.
  virtual void SetMessageHook(std::function<bool(TControlMessage, int x, int y)> hook) = 0;
  // What the hook would answer for a message, without raising anything. A control in
  // another process cannot wait for the hook: it lets a message through by this answer
  // and raises the hook afterwards (its answer then ignored).
  virtual void SetMessagePass(std::function<bool(TControlMessage)> passes) {}
  // True once the control is gone for good (its process ended or stopped answering):
  // every call fails from then on.
  virtual bool Lost() const { return false; }
};

class IActiveXHost {
 public:
  virtual ~IActiveXHost() = default;
  // Makes the control named className (for example "ShockwaveFlash.ShockwaveFlash") and
  // activates it in place inside parent, hidden, at (0, 0) with size 1 x 1. Without a
  // parent the object is only made (a test whether the class is usable). Null on
  // failure, with its reason in failure.
  virtual std::unique_ptr<IActiveXControl> CreateControl(std::string_view className, IMediaPanel* parent,
                                                         TActiveXFailure& failure) = 0;
  // The control file that a show carries for className (whose class identifier is
  // classId), for when the registry cannot make the class: the host then loads this file
  // privately, registering nothing. The host owns the file from now on and deletes it
  // when it is destroyed, after the controls made from it; a host that cannot load
  // files privately deletes it at once.
  virtual void UseControlFile(std::string_view className, std::string_view classId,
                              const std::filesystem::path& file) {
    std::error_code ignored;
    std::filesystem::remove(file, ignored);
  }
};

}  // namespace lumora::platform
