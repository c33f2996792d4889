#include "trpic/float_thread.h"

#include "trpic/trpic.h"

#include <memory>

namespace lumora {

platform::IWorkerThread& TFloatThread::Create(platform::IThreadHost& host, TTrPic& view, bool suspended) {
  auto worker = std::shared_ptr<TFloatThread>(new TFloatThread(view));
  TTrPic* const owner = &view;
  return host.CreateWorker([worker](platform::IWorkerContext& context) { worker->Execute(context); },
                           [owner] { owner->FloatThreadEnded(); }, suspended,
                           static_cast<platform::TWorkerPriority>(view.ThreadPriority()));
}

void TFloatThread::Execute(platform::IWorkerContext& context) {
  while (!context.Terminated() && !view_.StopFloatFlag()) {
    context.Synchronize([this] { view_.FloatStep(); });
    const std::uint32_t t0 = context.TickCount();
    const std::uint32_t pause = view_.FloatSpeed();
    context.WaitUntil([this, &context, t0, pause] { return context.TickCount() - t0 > pause || view_.StopFloatFlag(); },
                      t0 + pause + 1);
    if (!view_.CanFloat()) break;
  }
}

}  // namespace lumora
