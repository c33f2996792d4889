#include "platform/x11/gst_media_player.h"

#include <gst/gst.h>
#include <gst/pbutils/pbutils.h>
#include <gst/video/video.h>
#include <gst/video/videooverlay.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <mutex>
#include <set>
#include <string>

namespace lumora::platform {

// What the streaming threads may reach: the loop to post to, and whether the player
// still listens (the posted calls may run after it has gone).
struct TGstMediaPlayer::TState {
  TGstMediaPlayer* Player = nullptr;
  GstElement* Pipeline = nullptr;
  TMediaMode Mode = TMediaMode::Other;
  std::uint64_t Generation = 0;  // a new medium: late messages of the old one are ignored
  std::shared_ptr<struct TIdleAtEnd> Idle;
  // Video: the sink, its size filter, what the stream reported, and the window the
  // sink asks for from its streaming thread.
  GstElement* Sink = nullptr;
  GstElement* Size = nullptr;
  std::optional<TSize> Native;
  int FpsN = 0;
  int FpsD = 1;
  std::atomic<unsigned long> Window{0};
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
  // What the pipeline found it cannot decode while it was made ready, and its first
  // error: the reason a medium is passed over.
  std::string Missing;
  std::string Error;
};

namespace {

// Seconds a medium may take to be ready for playing.
constexpr GstClockTime kOpenTimeout = 10 * GST_SECOND;

// The frames converted to the server's pixels and scaled to the size the filter sets,
// stretched as the destination says, drawn into a window the player names.
constexpr const char* kVideoSink =
    "videoconvert ! videoscale add-borders=false ! capsfilter name=size ! "
    "ximagesink name=sink force-aspect-ratio=false handle-events=false";

// The media framework starts when the first medium is opened, not with the player: a
// show without sound or video never waits for it, and one with them does not wait
// for it before its first picture.
void StartGstreamer() {
  static const bool started = [] {
    gst_init(nullptr, nullptr);
    gst_pb_utils_init();
    return true;
  }();
  (void)started;
}

}  // namespace

TGstMediaPlayer::TGstMediaPlayer(TX11Loop& loop, TGstMedia media)
    : loop_(loop), media_(media), state_(std::make_shared<TState>()) {
  state_->Player = this;
}

TGstMediaPlayer::~TGstMediaPlayer() {
  onNotify_ = nullptr;
  notifyNext_ = false;
  Close();
  state_->Player = nullptr;
  if (parking_ != 0) XDestroyWindow(loop_.Dpy(), parking_);
}

unsigned long TGstMediaPlayer::ParkingWindow() {
  if (parking_ == 0) {
    Display* d = loop_.Dpy();
    parking_ = XCreateSimpleWindow(d, DefaultRootWindow(d), 0, 0, 1, 1, 0, 0, BlackPixel(d, DefaultScreen(d)));
    // The sink has a connection of its own: the window must exist on the server first.
    XSync(d, False);
  }
  return parking_;
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
  StartGstreamer();
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
  GstElement* sink = nullptr;
  GstElement* size = nullptr;
  // Media play at their own volume: without a volume element of its own the audio chain
  // is shorter, and a pipeline leaves nothing behind (the element outlived its pipeline,
  // one per sound played).
  constexpr gint kVideoFlag = 0x1, kSoftVolumeFlag = 0x10;
  gint flags = 0;
  g_object_get(pipeline, "flags", &flags, nullptr);
  flags &= ~kSoftVolumeFlag;
  // Sound only: a video stream of the file is not ours to show here.
  if (media_ == TGstMedia::Sound) flags &= ~kVideoFlag;
  g_object_set(pipeline, "flags", flags, nullptr);
  if (media_ != TGstMedia::Sound) {
    GstElement* bin = gst_parse_bin_from_description(kVideoSink, TRUE, &error);
    if (bin == nullptr) {
      g_clear_error(&error);
      gst_object_unref(pipeline);
      return false;
    }
    sink = gst_bin_get_by_name(GST_BIN(bin), "sink");
    size = gst_bin_get_by_name(GST_BIN(bin), "size");
    g_object_set(pipeline, "video-sink", bin, nullptr);
    // The frames keep the time of the system's clock, not the sound device's: a device
    // that does not pace its writes (a null device, a machine without a sound card set
    // up) would run the film's clock so fast that every frame came too late to be drawn.
    GstClock* clock = gst_system_clock_obtain();
    gst_pipeline_use_clock(GST_PIPELINE(pipeline), clock);
    gst_object_unref(clock);
    // Until the show names its window, the first frame goes to one nobody sees.
    state_->Window = state_->Window.load() != 0 ? state_->Window.load() : ParkingWindow();
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
        if (gst_is_video_overlay_prepare_window_handle_message(message)) {
          // The sink asks, from its streaming thread, where to draw.
          const std::shared_ptr<TState> s = w->State.lock();
          if (s && s->Window.load() != 0)
            gst_video_overlay_set_window_handle(GST_VIDEO_OVERLAY(GST_MESSAGE_SRC(message)), s->Window.load());
          gst_message_unref(message);
          return GST_BUS_DROP;
        }
        const GstMessageType type = GST_MESSAGE_TYPE(message);
        if (gst_is_missing_plugin_message(message)) {
          gchar* description = gst_missing_plugin_message_get_description(message);
          const std::lock_guard<std::mutex> guard(w->Idle->Lock);
          if (description != nullptr && w->Idle->Missing.find(description) == std::string::npos)
            w->Idle->Missing += (w->Idle->Missing.empty() ? "" : ", ") + std::string(description);
          g_free(description);
        } else if (type == GST_MESSAGE_ERROR) {
          GError* error = nullptr;
          gst_message_parse_error(message, &error, nullptr);
          const std::lock_guard<std::mutex> guard(w->Idle->Lock);
          if (error != nullptr && w->Idle->Error.empty()) w->Idle->Error = error->message;
          g_clear_error(&error);
        }
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
  gst_element_set_state(pipeline, GST_STATE_PAUSED);
  const bool ready = gst_element_get_state(pipeline, nullptr, nullptr, kOpenTimeout) == GST_STATE_CHANGE_SUCCESS;
  std::string missing, failure;
  {
    const std::lock_guard<std::mutex> guard(idle->Lock);
    missing = idle->Missing;
    failure = idle->Error;
  }
  // A stream of the medium that no installed plugin decodes (its picture or its sound)
  // would leave a black box or a silent film: the medium is passed over, and the user
  // learns what to install.
  if (!ready || !missing.empty()) {
    std::string note = path.filename().string() + ": passed over, ";
    if (!missing.empty())
      note += "missing " + missing;
    else if (!failure.empty())
      note += failure;
    else
      note += "not ready to play in time";
    // Once per file: a show passes over the same medium at every round.
    static std::set<std::filesystem::path> noted;
    if (noted.insert(path).second) std::fprintf(stderr, "lumora-play: %s\n", note.c_str());
    ++state_->Generation;
    gst_element_set_state(pipeline, GST_STATE_NULL);
    if (sink != nullptr) gst_object_unref(sink);
    if (size != nullptr) gst_object_unref(size);
    gst_object_unref(pipeline);
    return false;
  }
  state_->Native.reset();
  state_->FpsN = 0;
  state_->FpsD = 1;
  if (media_ == TGstMedia::Video) {
    GstPad* pad = nullptr;
    g_signal_emit_by_name(pipeline, "get-video-pad", 0, &pad);
    GstCaps* caps = pad != nullptr ? gst_pad_get_current_caps(pad) : nullptr;
    GstVideoInfo info;
    if (caps != nullptr && gst_video_info_from_caps(&info, caps)) {
      state_->Native = TSize{GST_VIDEO_INFO_WIDTH(&info), GST_VIDEO_INFO_HEIGHT(&info)};
      state_->FpsN = GST_VIDEO_INFO_FPS_N(&info);
      state_->FpsD = std::max(1, GST_VIDEO_INFO_FPS_D(&info));
    }
    if (caps != nullptr) gst_caps_unref(caps);
    if (pad != nullptr) gst_object_unref(pad);
  }
  frames_ = false;
  state_->Sink = sink;
  state_->Size = size;
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
  if (state_->Sink != nullptr) gst_object_unref(state_->Sink);
  if (state_->Size != nullptr) gst_object_unref(state_->Size);
  state_->Sink = state_->Size = nullptr;
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

std::optional<std::uint32_t> TGstMediaPlayer::Query(bool duration) {
  gint64 value = 0;
  if (state_->Pipeline == nullptr) return std::nullopt;
  const gboolean known = duration ? gst_element_query_duration(state_->Pipeline, GST_FORMAT_TIME, &value)
                                  : gst_element_query_position(state_->Pipeline, GST_FORMAT_TIME, &value);
  if (!known || value < 0) return std::nullopt;
  const auto ns = static_cast<guint64>(value);
  if (frames_ && state_->FpsN > 0)
    // Rounded: a length of n frames may come out a hair short of n / rate seconds.
    return static_cast<std::uint32_t>(gst_util_uint64_scale_round(
        ns, static_cast<guint64>(state_->FpsN), static_cast<guint64>(state_->FpsD) * GST_SECOND));
  return static_cast<std::uint32_t>(ns / GST_MSECOND);
}

std::optional<std::uint32_t> TGstMediaPlayer::Position() { return Query(false); }

std::optional<std::uint32_t> TGstMediaPlayer::Length() { return Query(true); }

bool TGstMediaPlayer::SetDisplayWindow(TWindowHandle window) {
  TakeNotify();
  if (state_->Sink == nullptr || window == 0) return false;
  state_->Window = static_cast<unsigned long>(window);
  gst_video_overlay_set_window_handle(GST_VIDEO_OVERLAY(state_->Sink), static_cast<guintptr>(window));
  gst_video_overlay_expose(GST_VIDEO_OVERLAY(state_->Sink));
  return true;
}

std::optional<TSize> TGstMediaPlayer::DestinationSize() {
  if (state_->Sink == nullptr) return std::nullopt;
  return state_->Native;
}

bool TGstMediaPlayer::SetDestination(const TRect& rect) {
  TakeNotify();
  if (state_->Size == nullptr || rect.Width() <= 0 || rect.Height() <= 0) return false;
  GstCaps* caps = gst_caps_new_simple("video/x-raw", "width", G_TYPE_INT, rect.Width(), "height", G_TYPE_INT,
                                      rect.Height(), "pixel-aspect-ratio", GST_TYPE_FRACTION, 1, 1, nullptr);
  g_object_set(state_->Size, "caps", caps, nullptr);
  gst_caps_unref(caps);
  // The sink learns the window's new size only when told to draw it again, and asks
  // the server for it on a connection of its own: ours must have been heard first.
  XSync(loop_.Dpy(), False);
  gst_video_overlay_expose(GST_VIDEO_OVERLAY(state_->Sink));
  return true;
}

bool TGstMediaPlayer::SetTimeFormatFrames() {
  TakeNotify();
  if (state_->Sink == nullptr || state_->FpsN <= 0) return false;
  frames_ = true;
  return true;
}

bool TGstMediaPlayer::Rewind() {
  const bool notify = TakeNotify();
  if (state_->Pipeline == nullptr) return false;
  EndPendingPlay(TMediaNotifyResult::Aborted);
  gst_element_set_state(state_->Pipeline, GST_STATE_PAUSED);
  gst_element_get_state(state_->Pipeline, nullptr, nullptr, kOpenTimeout);
  if (!gst_element_seek_simple(state_->Pipeline, GST_FORMAT_TIME,
                               static_cast<GstSeekFlags>(GST_SEEK_FLAG_FLUSH | GST_SEEK_FLAG_ACCURATE), 0))
    return false;
  // The flush must be through before a position is asked for.
  gst_element_get_state(state_->Pipeline, nullptr, nullptr, kOpenTimeout);
  state_->Mode = TMediaMode::Stopped;
  if (notify) Notify(TMediaNotifyResult::Successful);
  return true;
}

}  // namespace lumora::platform
