// The worker that times the floating motion: one synchronised step, then a pause of more
// than FloatSpeed milliseconds, until stopped or CanFloat is false.
#pragma once

#include "platform/threads.h"

namespace lumora {

class TTrPic;

class TFloatThread {
 public:
  // Starts the float worker of view, running or suspended (queued behind a show-in).
  // Its end clears the view's float thread and Floating on the UI thread.
  static platform::IWorkerThread& Create(platform::IThreadHost& host, TTrPic& view, bool suspended);

 private:
  explicit TFloatThread(TTrPic& view) : view_(view) {}
  void Execute(platform::IWorkerContext& context);

  TTrPic& view_;
};

}  // namespace lumora
