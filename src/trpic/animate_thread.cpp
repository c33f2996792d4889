#include "trpic/animate_thread.h"

#include "platform/show_trace.h"
#include "trpic/trpic.h"

#include <memory>
#include <string>

namespace lumora {

platform::IWorkerThread& TAnimateThread::Create(platform::IThreadHost& host, TTrPic& view, int mode, bool suspended) {
  auto worker = std::shared_ptr<TAnimateThread>(new TAnimateThread(view, mode));
  TTrPic* const owner = &view;
  return host.CreateWorker([worker](platform::IWorkerContext& context) { worker->Execute(context); },
                           [owner, mode] { owner->AnimateThreadEnded(mode); }, suspended,
                           static_cast<platform::TWorkerPriority>(view.ThreadPriority()));
}

void TAnimateThread::Execute(platform::IWorkerContext& context) {
  if (view_.ShowMode() == 0) return;
  while (!context.Terminated() && !view_.StopShowFlag()) {
    const int k = k_;
    context.Synchronize([this, k] {
      view_.step_ = k;
      view_.stepPainted_ = false;
      try {
        view_.PaintEffectStep();
      } catch (...) {
        // A frame that cannot be drawn is skipped; the worker must not wait for it.
        view_.stepPainted_ = true;
      }
      if (k >= view_.StepCount()) view_.SetPicShown(true);
      // Presented by now: the trace's time is when the frame reached the screen.
      if (platform::Tracing())
        platform::TraceMark((mode_ == 1 ? "show-in frame " : "show-out frame ") + std::to_string(k));
    });
    context.WaitUntil([this] { return view_.stepPainted_ || view_.StopShowFlag(); }, std::nullopt);
    const std::uint32_t t0 = context.TickCount();
    const std::uint32_t pause = view_.ShowSpeed();
    context.WaitUntil([this, &context, t0, pause] { return context.TickCount() - t0 > pause || view_.StopShowFlag(); },
                      t0 + pause + 1);
    if (view_.StepCount() < k || !view_.CanShow()) break;
    ++k_;
  }
}

}  // namespace lumora
