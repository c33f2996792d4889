// The worker that times a show-in or show-out: one synchronised frame per step, then a
// pause of more than ShowSpeed milliseconds.
#pragma once

#include "platform/threads.h"

namespace lumora {

class TTrPic;

class TAnimateThread {
 public:
  // Starts the worker of a transition (mode 1 in, 2 out) of view, running or suspended.
  // Its end runs the view's completion handler on the UI thread.
  static platform::IWorkerThread& Create(platform::IThreadHost& host, TTrPic& view, int mode, bool suspended);

 private:
  TAnimateThread(TTrPic& view, int mode) : view_(view), mode_(mode) {}
  void Execute(platform::IWorkerContext& context);

  TTrPic& view_;
  int mode_;
  int k_ = 0;
};

}  // namespace lumora
