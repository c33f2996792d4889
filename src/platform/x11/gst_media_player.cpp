#include "platform/x11/gst_media_player.h"

#include <gst/gst.h>

#include <mutex>

namespace lumora::platform {

// What the streaming threads may reach: the loop to post to, and whether the player
// still listens (the posted calls may run after it has gone).
struct TGstMediaPlayer::TState {
  TGstMediaPlayer* Player = nullptr;
  GstElement* Pipeline = nullptr;
  TMediaMode Mode = TMediaMode::Other;
  std::uint64_t Generation = 0;  // a new medium: late messages of the old one are ignored
  std::shared_ptr<struct TIdleAtEnd> Idle;
};

// At its end a medium is paused from the streaming side at once, rather than when the UI
// thread gets round to it: a sink left playing writes silence for as long as the device
// takes it, and a device that does not pace its writes (a null or file device) takes it
// as fast as the disk can, hundreds of megabytes a second. A close or a new play since
// the end wins over the pause.
struct TIdleAtEnd {
  std::mutex Lock;
  bool Closed = false;
  std::uint64_t Plays = 0;
};

namespace {

// Seconds a medium may take to be ready for playing.
constexpr GstClockTime kOpenTimeout = 10 * GST_SECOND;

}  // namespace

TGstMediaPlayer::TGstMediaPlayer(TX11Loop& loop) : loop_(loop), state_(std::make_shared<TState>()) {
  gst_init(nullptr, nullptr);
  state_->Player = this;
}

TGstMediaPlayer::~TGstMediaPlayer() {
  onNotify_ = nullptr;
  notifyNext_ = false;
  Close();
  state_->Player = nullptr;
}

bool TGstMediaPlayer::TakeNotify() {
  const bool notify = notifyNext_;
  notifyNext_ = false;
  return notify;
}

void TGstMediaPlayer::Notify(TMediaNotifyResult result) {
  // Later, from the loop, as the system delivers its notifications.
  loop_.Post([weak = std::weak_ptr<TState>(state_), result] {
    const std::shared_ptr<TState> state = weak.lock();
    if (!state || state->Player == nullptr || !state->Player->onNotify_) return;
    const std::function<void(TMediaNotifyResult)> onNotify = state->Player->onNotify_;
    onNotify(result);
  });
}

void TGstMediaPlayer::EndPendingPlay(TMediaNotifyResult result) {
  if (!playNotifyPending_) return;
  playNotifyPending_ = false;
  Notify(result);
}

void TGstMediaPlayer::Ended(bool failed) {
  state_->Mode = TMediaMode::Stopped;
  EndPendingPlay(failed ? TMediaNotifyResult::Failure : TMediaNotifyResult::Successful);
}

bool TGstMediaPlayer::Open(const std::filesystem::path& path) {
  const bool notify = TakeNotify();
  if (state_->Pipeline != nullptr || path.empty()) return false;
  GError* error = nullptr;
  gchar* uri = gst_filename_to_uri(path.c_str(), &error);
  if (uri == nullptr) {
    g_clear_error(&error);
    return false;
  }
  GstElement* pipeline = gst_element_factory_make("playbin", nullptr);
  if (pipeline == nullptr) {
    g_free(uri);
    return false;
  }
  g_object_set(pipeline, "uri", uri, nullptr);
  g_free(uri);
  // Sound only: a video stream of the file is not ours to show here.
  gint flags = 0;
  g_object_get(pipeline, "flags", &flags, nullptr);
  g_object_set(pipeline, "flags", flags & ~0x1, nullptr);
  gst_element_set_state(pipeline, GST_STATE_PAUSED);
  if (gst_element_get_state(pipeline, nullptr, nullptr, kOpenTimeout) != GST_STATE_CHANGE_SUCCESS) {
    // Not a medium the installed plugins can play.
    gst_element_set_state(pipeline, GST_STATE_NULL);
    gst_object_unref(pipeline);
    return false;
  }
  const std::uint64_t generation = ++state_->Generation;
  GstBus* bus = gst_element_get_bus(pipeline);
  // Runs on a streaming thread: the end is handed to the UI thread.
  struct TWatch {
    std::weak_ptr<TState> State;
    TX11Loop* Loop;
    std::uint64_t Generation;
    std::shared_ptr<TIdleAtEnd> Idle;
  };
  auto idle = std::make_shared<TIdleAtEnd>();
  auto* watch = new TWatch{state_, &loop_, generation, idle};
  gst_bus_set_sync_handler(
      bus,
      [](GstBus*, GstMessage* message, gpointer data) -> GstBusSyncReply {
        const auto* w = static_cast<const TWatch*>(data);
        const GstMessageType type = GST_MESSAGE_TYPE(message);
        if (type == GST_MESSAGE_EOS && GST_IS_ELEMENT(GST_MESSAGE_SRC(message))) {
          struct TPause {
            std::shared_ptr<TIdleAtEnd> Idle;
            std::uint64_t Plays;
          };
          std::uint64_t plays = 0;
          {
            const std::lock_guard<std::mutex> guard(w->Idle->Lock);
            plays = w->Idle->Plays;
          }
          // A state change may not be made from a streaming thread itself.
          gst_element_call_async(
              GST_ELEMENT(GST_MESSAGE_SRC(message)),
              [](GstElement* element, gpointer data) {
                const auto* pause = static_cast<const TPause*>(data);
                const std::lock_guard<std::mutex> guard(pause->Idle->Lock);
                if (pause->Idle->Closed || pause->Idle->Plays != pause->Plays) return;
                gst_element_set_state(element, GST_STATE_PAUSED);
              },
              new TPause{w->Idle, plays}, [](gpointer data) { delete static_cast<TPause*>(data); });
        }
        if (type == GST_MESSAGE_EOS || type == GST_MESSAGE_ERROR) {
          const bool failed = type == GST_MESSAGE_ERROR;
          w->Loop->Post([state = w->State, generation = w->Generation, failed] {
            const std::shared_ptr<TState> s = state.lock();
            if (s && s->Player != nullptr && s->Generation == generation && s->Pipeline != nullptr)
              s->Player->Ended(failed);
          });
        }
        gst_message_unref(message);
        return GST_BUS_DROP;
      },
      watch, [](gpointer data) { delete static_cast<TWatch*>(data); });
  gst_object_unref(bus);
  state_->Pipeline = pipeline;
  state_->Idle = std::move(idle);
  state_->Mode = TMediaMode::Stopped;
  if (notify) Notify(TMediaNotifyResult::Successful);
  return true;
}

bool TGstMediaPlayer::Close() {
  const bool notify = TakeNotify();
  if (state_->Pipeline == nullptr) return false;
  EndPendingPlay(TMediaNotifyResult::Aborted);
  GstElement* pipeline = state_->Pipeline;
  {
    const std::lock_guard<std::mutex> guard(state_->Idle->Lock);
    state_->Idle->Closed = true;
  }
  state_->Idle.reset();
  state_->Pipeline = nullptr;
  state_->Mode = TMediaMode::Other;
  ++state_->Generation;
  gst_element_set_state(pipeline, GST_STATE_NULL);
  gst_object_unref(pipeline);
  if (notify) Notify(TMediaNotifyResult::Successful);
  return true;
}

bool TGstMediaPlayer::Play() {
  const bool notify = TakeNotify();
  if (state_->Pipeline == nullptr) return false;
  EndPendingPlay(TMediaNotifyResult::Superseded);
  {
    const std::lock_guard<std::mutex> guard(state_->Idle->Lock);
    ++state_->Idle->Plays;
  }
  // At the end of the medium, play starts again from the beginning.
  const std::optional<std::uint32_t> position = Position();
  const std::optional<std::uint32_t> length = Length();
  if (state_->Mode == TMediaMode::Stopped && position && length && *position + 1 >= *length)
    gst_element_seek_simple(state_->Pipeline, GST_FORMAT_TIME,
                            static_cast<GstSeekFlags>(GST_SEEK_FLAG_FLUSH | GST_SEEK_FLAG_ACCURATE), 0);
  if (gst_element_set_state(state_->Pipeline, GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE) return false;
  state_->Mode = TMediaMode::Playing;
  playNotifyPending_ = notify;
  return true;
}

bool TGstMediaPlayer::Pause() {
  const bool notify = TakeNotify();
  if (state_->Pipeline == nullptr) return false;
  EndPendingPlay(TMediaNotifyResult::Aborted);
  if (gst_element_set_state(state_->Pipeline, GST_STATE_PAUSED) == GST_STATE_CHANGE_FAILURE) return false;
  if (state_->Mode == TMediaMode::Playing) state_->Mode = TMediaMode::Paused;
  if (notify) Notify(TMediaNotifyResult::Successful);
  return true;
}

bool TGstMediaPlayer::StepBack() {
  TakeNotify();
  return false;
}

TMediaMode TGstMediaPlayer::Mode() { return state_->Pipeline == nullptr ? TMediaMode::Other : state_->Mode; }

std::optional<std::uint32_t> TGstMediaPlayer::Position() {
  gint64 value = 0;
  if (state_->Pipeline == nullptr || !gst_element_query_position(state_->Pipeline, GST_FORMAT_TIME, &value) || value < 0)
    return std::nullopt;
  return static_cast<std::uint32_t>(value / GST_MSECOND);
}

std::optional<std::uint32_t> TGstMediaPlayer::Length() {
  gint64 value = 0;
  if (state_->Pipeline == nullptr || !gst_element_query_duration(state_->Pipeline, GST_FORMAT_TIME, &value) || value < 0)
    return std::nullopt;
  return static_cast<std::uint32_t>(value / GST_MSECOND);
}

}  // namespace lumora::platform
