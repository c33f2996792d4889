// What the running show needs from the system besides its window: the messages the
// loop takes from the queue, the mouse cursor's display counter, the foreground window,
// the input-method hot key, the screen-saver-running notice, message pumping, the
// registry and the screen-saver password library.
#pragma once

#include "platform/message.h"
#include "platform/window_handle.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace lumora::platform {

class IShowSystem {
 public:
  virtual ~IShowSystem() = default;
  // Moves the cursor's display counter by one (up when show is true) and returns the
  // new counter; the cursor is visible while the counter is not negative.
  virtual int ShowCursor(bool show) = 0;
  // The screen's cursor back to the standard arrow.
  virtual void SetDefaultCursor() = 0;
  virtual TWindowHandle ForegroundWindow() = 0;
  virtual void SimulateImeHotKey(TWindowHandle window, std::uint32_t hotKey) = 0;
  // Tells the system that a screen saver runs (or no longer does).
  virtual void SetScreenSaverRunning(bool running) = 0;
  // Handles the messages waiting in the queue, each through the message filter, and
  // returns when the queue is empty.
  virtual void ProcessMessages() = 0;
};

// A registry value as read: a number, a text, or something else (binary data).
struct TRegistryValue {
  enum class TKind { Integer, Text, Other };
  TKind Kind = TKind::Other;
  std::int64_t Integer = 0;
  std::string Text;  // UTF-8
};

class IRegistry {
 public:
  virtual ~IRegistry() = default;
  // Reads value of the current user's key (backslash-separated path) without creating
  // the key; nullopt when the key cannot be opened or has no such value.
  virtual std::optional<TRegistryValue> ReadCurrentUserValue(std::string_view keyPath, std::string_view valueName) = 0;
};

// A loaded screen-saver password library; unloads when destroyed.
class IPasswordLibrary {
 public:
  virtual ~IPasswordLibrary() = default;
  // Calls its export "VerifyScreenSavePwd" with owner; the export's result (nonzero:
  // the password was given), or nullopt when the library has no such export.
  virtual std::optional<int> VerifyScreenSavePwd(TWindowHandle owner) = 0;
};

class IPasswordLibraries {
 public:
  virtual ~IPasswordLibraries() = default;
  // The system folder (UTF-8), as the system gives it.
  virtual std::string SystemDirectory() = 0;
  // Loads the library at path; null when it cannot be loaded.
  virtual std::unique_ptr<IPasswordLibrary> Load(const std::string& path) = 0;
};

}  // namespace lumora::platform
