#include "trpic/media_host.h"

#include "imaging/codecs/codec_table.h"

#include "imaging/dib.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <limits>

namespace lumora {

using namespace platform;

namespace {

constexpr std::uint32_t kProgressInterval = 100;
constexpr std::uint32_t kBlackKey = 0x000000;
constexpr TPixel kBlackPixel = 0xFF000000u;

int ClampToInt(std::int64_t v) {
  return static_cast<int>(std::clamp<std::int64_t>(v, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
}

std::int64_t Trunc(double v) { return std::fabs(v) < 9.0e18 ? static_cast<std::int64_t>(v) : 0; }

// The hourglass for as long as a medium opens, whichever way the opening ends.
class TWaitCursor {
 public:
  explicit TWaitCursor(IMediaPanels& panels) : panels_(panels) { panels_.SetWaitCursor(true); }
  ~TWaitCursor() {
    try {
      panels_.SetWaitCursor(false);
    } catch (...) {
    }
  }
  TWaitCursor(const TWaitCursor&) = delete;
  TWaitCursor& operator=(const TWaitCursor&) = delete;

 private:
  IMediaPanels& panels_;
};

template <typename F>
void Guarded(F&& f) {
  try {
    f();
  } catch (...) {
  }
}

}  // namespace

TRect MediaRect(int nw, int nh, const TMediaPlacement& p, TSize client, TSize screen, IRandom& random) {
  const std::int64_t cw = client.Width, ch = client.Height;
  const std::int64_t sw = std::max(screen.Width, 1), sh = std::max(screen.Height, 1);
  int w = 0, h = 0;
  switch (p.PicSize) {
    case TPicSize::psOriginal:
      w = ClampToInt(cw * nw / sw);
      h = ClampToInt(ch * nh / sh);
      break;
    case TPicSize::psFullWindow:
      // Without a native size there is nothing to fill the window with, as for an empty picture.
      if (nw >= 1 && nh >= 1) {
        w = ClampToInt(cw);
        h = ClampToInt(ch);
      }
      break;
    case TPicSize::psUser: {
      const std::int64_t rw = p.PicSizeRef == TPicSizeRef::psrScreen ? sw : nw;
      const std::int64_t rh = p.PicSizeRef == TPicSizeRef::psrScreen ? sh : nh;
      w = ClampToInt(Trunc(static_cast<double>(rw * cw) * p.PicSizeHor) / (sw * 100));
      h = ClampToInt(Trunc(static_cast<double>(rh * ch) * p.PicSizeVer) / (sh * 100));
      break;
    }
  }
  const int cwi = client.Width, chi = client.Height;
  int x = 0, y = 0;
  switch (p.PicPos) {
    case TPicPos::poRandom:
      x = random.Random(cwi - w);
      y = random.Random(chi - h);
      break;
    // A medium has no current position of its own: it takes the centre.
    case TPicPos::poCurrent:
    case TPicPos::poCenter: x = (cwi - w) / 2; y = (chi - h) / 2; break;
    case TPicPos::poTopLeft: break;
    case TPicPos::poTopCenter: x = (cwi - w) / 2; break;
    case TPicPos::poTopRight: x = cwi - w; break;
    case TPicPos::poBottomLeft: y = chi - h; break;
    case TPicPos::poBottomCenter: x = (cwi - w) / 2; y = chi - h; break;
    case TPicPos::poBottomRight: x = cwi - w; y = chi - h; break;
    case TPicPos::poUser:
      x = ClampToInt(Trunc(static_cast<double>(p.PicPosHor) * cwi) / 100);
      y = ClampToInt(Trunc(static_cast<double>(p.PicPosVer) * chi) / 100);
      break;
  }
  return TRect{x, y, x + w, y + h};
}

std::optional<TSize> ReadSwfFrameSize(const std::filesystem::path& fileName) {
  std::ifstream in(fileName, std::ios::binary);
  if (!in) return std::nullopt;
  char signature[3]{};
  if (!in.read(signature, sizeof signature)) return std::nullopt;
  // A compressed movie keeps its rectangle inside the compressed part: no size to tell.
  if (signature[0] == 'C' && signature[1] == 'W' && signature[2] == 'S') return TSize{0, 0};
  std::uint8_t b[9]{};
  in.seekg(8);
  if (!in.read(reinterpret_cast<char*>(b), sizeof b)) return std::nullopt;
  const int n = b[0] > 135 ? 16 : b[0] >> 3;
  // The four fields follow the 5 bits of the width, most significant bit first.
  int bit = 5;
  const auto field = [&] {
    std::uint32_t v = 0;
    for (int i = 0; i < n; ++i, ++bit) v = (v << 1) | ((b[bit / 8] >> (7 - bit % 8)) & 1u);
    return static_cast<double>(v);
  };
  const double xmin = field(), xmax = field(), ymin = field(), ymax = field();
  // Rounded to nearest with ties to even, as the header's twips become pixels.
  const auto pixels = [](double twips) { return static_cast<int>(std::nearbyint(twips / 20 + 0.5)); };
  return TSize{pixels(xmax - xmin), pixels(ymax - ymin)};
}

TMediaShape MakeMediaShape(const TBitmap32& shape, int width, int height) {
  TMediaShape result;
  // A medium larger than a picture may be plays uncut: its shape would cost more memory
  // than any picture the show holds.
  if (!codecs::PictureSizeAllowed(width, height) || shape.Empty()) return result;
  TBitmap32 bitmap(width, height, kBlackPixel);
  bitmap.StretchDraw(bitmap.Bounds(), shape);
  result.Outer = RegionFromBitmap(bitmap, kBlackKey);
  for (TPixel& p : bitmap.Pixels())
    if ((p & 0x00FFFFFFu) == 0x00FFFFFFu) p = kBlackPixel;
  // What is neither black nor white, taken from everything not black: the white.
  result.Inner = Xor(result.Outer, RegionFromBitmap(bitmap, kBlackKey));
  result.Frame = std::move(bitmap);
  return result;
}

TMediaHost::TMediaHost(IMediaView& view, const TMediaHostPlatform& platform, IRandom& random, TSize screen)
    : view_(view), platform_(platform), random_(random), screen_(screen) {}

TMediaHost::~TMediaHost() { FreeMedia(); }

std::unique_ptr<IMediaPanel> TMediaHost::NewPanel(IMediaPanel* parent, TMouseSource source) {
  std::unique_ptr<IMediaPanel> panel = platform_.Panels.CreatePanel(parent);
  if (source != TMouseSource::View) {
    panel->SetOnMouse([this, source](TMouseAction action, TMouseButton button, TShiftState shift, int x, int y) {
      Guarded([&] { view_.ForwardMouse(source, action, button, shift, x, y); });
    });
  }
  return panel;
}

void TMediaHost::CloseVideoPlayer() {
  if (!player_) return;
  // Only an open medium is closed: the show's clean-up closes again after the next item did.
  if (videoOpen_) Guarded([&] { player_->Close(); });
  videoOpen_ = false;
}

void TMediaHost::FreeFlash() {
  Guarded([&] { flash_.reset(); });
}

bool TMediaHost::PrepareFlash(bool previewMsg) {
  if (platform_.ActiveX == nullptr) return false;
  platform::TActiveXFailure failure{};
  flash_ = TExShockwaveFlash::Create(*platform_.ActiveX, flashPanel_.get(), failure);
  if (!flash_) return false;
  flash_->SetScaleMode(2);
  flash_->StopPlay();
  flash_->SetLoop(false);
  flash_->PreviewMsg = previewMsg;
  flash_->SetVisible(false);
  flash_->SetBounds(TRect{0, 0, 1, 1});
  const auto forward = [this](TMouseAction action, TMouseButton button, TShiftState shift, int x, int y) {
    Guarded([&] { view_.ForwardMouse(TMouseSource::FlashControl, action, button, shift, x, y); });
  };
  flash_->OnMouseDown = [forward](TExShockwaveFlash&, TMouseButton b, TShiftState s, int x, int y) {
    forward(TMouseAction::Down, b, s, x, y);
  };
  flash_->OnMouseMove = [forward](TExShockwaveFlash&, TShiftState s, int x, int y) {
    forward(TMouseAction::Move, TMouseButton::mbLeft, s, x, y);
  };
  flash_->OnMouseUp = [forward](TExShockwaveFlash&, TMouseButton b, TShiftState s, int x, int y) {
    forward(TMouseAction::Up, b, s, x, y);
  };
  return true;
}

bool TMediaHost::PrepareMedia(int kind, bool previewMsg) {
  try {
    mediaKind_ = kind;
    if (!progressTimer_) progressTimer_ = platform_.Timers.CreateTimer([this] { ProgressCheck(); });
    progressTimer_->SetEnabled(false);
    if (platform_.ProcessMessages) platform_.ProcessMessages();
    progressTimer_->SetInterval(kProgressInterval);

    if (!mediaPanel_) {
      mediaPanel_ = NewPanel(nullptr, TMouseSource::View);
      mediaPanel_->SendToBack();
    } else {
      mediaPanel_->SetVisible(false);
    }
    if (!flashPanel_)
      flashPanel_ = NewPanel(mediaPanel_.get(), TMouseSource::View);
    else
      flashPanel_->SetVisible(false);
    if (!shapeImage_) {
      shapeImage_ = NewPanel(mediaPanel_.get(), TMouseSource::ShapeImage);
      // The frame is drawn on the panel itself, under every window a player shows.
      shapeImage_->SendToBack();
    } else {
      shapeImage_->SetVisible(false);
    }

    if (kind == 0) {
      if (flash_) {
        Guarded([&] { flash_->SetVisible(false); });
        Guarded([&] { flash_->SetMovie(" "); });
      }
      if (!videoPanel_)
        videoPanel_ = NewPanel(mediaPanel_.get(), TMouseSource::VideoPanel);
      else
        videoPanel_->SetVisible(false);
      if (player_)
        CloseVideoPlayer();
      else if (platform_.CreatePlayer)
        player_ = platform_.CreatePlayer();
      return player_ != nullptr;
    }
    if (kind == 1) {
      CloseVideoPlayer();
      if (videoPanel_) Guarded([&] { videoPanel_->SetVisible(false); });
      // Every movie gets a fresh control.
      FreeFlash();
      return PrepareFlash(previewMsg);
    }
    return false;
  } catch (...) {
    return false;
  }
}

bool TMediaHost::OpenMedia(const std::filesystem::path& fileName, TPicSize picSize, const std::string& shapeFile,
                           float picPosVer, float picPosHor, TPicPos picPos, TPicSizeRef picSizeRef, float picSizeVer,
                           float picSizeHor) {
  TWaitCursor wait(platform_.Panels);
  try {
    const TMediaPlacement placement{picSize, picSizeRef, picSizeHor, picSizeVer, picPos, picPosHor, picPosVer};
    const TSize client = view_.MediaClientSize();
    if (!mediaPanel_ || !shapeImage_) return false;
    IMediaPanel* window = nullptr;  // the window the medium draws in, cut to the shape's inside
    TRect local;
    if (mediaKind_ == 1) {
      if (!flash_ || !flashPanel_) return false;
      const TSize native = ReadSwfFrameSize(fileName).value_or(TSize{});
      const std::u8string name = fileName.u8string();
      flash_->SetMovie(std::string(name.begin(), name.end()));
      flash_->Rewind();
      const TRect r = MediaRect(native.Width, native.Height, placement, client, screen_, random_);
      local = TRect{0, 0, r.Width(), r.Height()};
      mediaPanel_->SetBounds(r);
      flashPanel_->SetBounds(local);
      shapeImage_->SetBounds(local);
      flash_->SetBounds(local);
      window = flashPanel_.get();
    } else {
      if (mediaKind_ != 0 || !videoPanel_ || !player_) return false;
      if (videoOpen_) CloseVideoPlayer();
      if (!player_->Open(fileName)) return false;
      videoOpen_ = true;
      player_->SetTimeFormatFrames();
      // A video without frames would never report its end; it is not played at all.
      if (player_->Length().value_or(1) == 0) {
        CloseVideoPlayer();
        return false;
      }
      player_->SetDisplayWindow(videoPanel_->Handle());
      const TSize native = player_->DestinationSize().value_or(TSize{});
      const TRect r = MediaRect(native.Width, native.Height, placement, client, screen_, random_);
      local = TRect{0, 0, r.Width(), r.Height()};
      mediaPanel_->SetBounds(r);
      shapeImage_->SetBounds(local);
      videoPanel_->SetBounds(local);
      player_->SetDestination(local);
      player_->NotifyNext();
      window = videoPanel_.get();
    }
    bool& shaped = mediaKind_ == 1 ? shapedFlash_ : shapedVideo_;

    if (!shapeFile.empty()) {
      TPicture loaded;
      const TPicture* shape = &view_.MediaShapePicture();
      if (shapeFile != "&") {
        if (!loaded.LoadFromFile(shapeFile)) return true;  // an unreadable shape: the medium plays uncut
        shape = &loaded;
      }
      const TMediaShape cut = MakeMediaShape(shape->Bitmap(), local.Width(), local.Height());
      if (!cut.Frame.Empty()) {
        shapeImage_->SetImage(&cut.Frame);
        window->SetRegion(&cut.Inner);
        mediaPanel_->SetRegion(&cut.Outer);
        shaped = true;
      }
      return true;
    }
    if (shapedVideo_ || shapedFlash_) {
      shapeImage_->SetVisible(false);
      shapeImage_->SetImage(nullptr);
      mediaPanel_->SetRegion(nullptr);
    }
    if (shaped) {
      window->SetRegion(nullptr);
      shaped = false;
    }
    return true;
  } catch (...) {
    return false;
  }
}

void TMediaHost::PlayMedia(std::uint32_t interval) {
  try {
    if (mediaKind_ == 0 && player_ && videoOpen_) {
      player_->Play();
      if (platform_.ProcessMessages) platform_.ProcessMessages();
      if (shapeImage_) shapeImage_->SetVisible(true);
      if (videoPanel_) videoPanel_->SetVisible(true);
      if (mediaPanel_) mediaPanel_->SetVisible(true);
    }
    if (mediaKind_ == 1 && flash_) {
      // Each step on its own: a movie the control refuses must still reach the progress
      // check, which tells its end, or the show would stay on it.
      Guarded([&] { flash_->SetFrameNum(flash_->TotalFrames() / 100); });
      Guarded([&] { flash_->Play(); });
      flash_->SetVisible(true);
      if (flashPanel_) flashPanel_->SetVisible(true);
      if (shapeImage_) shapeImage_->SetVisible(true);
      if (mediaPanel_) mediaPanel_->SetVisible(true);
    }
    if (!progressTimer_) return;
    if (interval > 0) progressTimer_->SetInterval(interval);
    progressTimer_->SetEnabled(true);
  } catch (...) {
  }
}

void TMediaHost::RaiseProgress(bool complete, int percent) {
  view_.MediaProgress(complete, percent);
}

void TMediaHost::FlashProgress() {
  const std::int64_t total = flash_->TotalFrames();
  // A movie of one frame (or none) is at its end as soon as it plays; the division
  // below would otherwise keep it on the screen for ever.
  const std::int64_t percent = total <= 1 ? 100 : std::int64_t(flash_->FrameNum()) * 100 / (total - 1);
  if (percent >= 99) {
    progressTimer_->SetEnabled(false);
    RaiseProgress(true, 100);
  } else {
    RaiseProgress(false, static_cast<int>(std::clamp<std::int64_t>(percent, 0, 100)));
  }
}

void TMediaHost::ProgressCheck() {
  try {
    if (mediaKind_ == 1) {
      if (flash_) FlashProgress();
      return;
    }
    if (mediaKind_ != 0 || !player_ || !videoOpen_) return;
    const std::optional<std::uint32_t> position = player_->Position();
    const std::optional<std::uint32_t> length = player_->Length();
    // A video of no length has no progress to tell.
    if (!position || !length || *length == 0) return;
    // Some devices stop on the last frame, one short of the length: a stopped device
    // there has reached the end as well.
    const bool atEnd =
        *position >= *length || (*position + 1 >= *length && player_->Mode() != TMediaMode::Playing);
    if (atEnd) {
      progressTimer_->SetEnabled(false);
      RaiseProgress(true, 100);
    } else {
      RaiseProgress(false, static_cast<int>(std::uint64_t(*position) * 100 / *length));
    }
  } catch (...) {
  }
}

void TMediaHost::RewindMedia() {
  Guarded([&] {
    if (mediaKind_ == 0 && player_ && videoOpen_) player_->Rewind();
    if (mediaKind_ == 1 && flash_) flash_->Rewind();
  });
}

void TMediaHost::CloseMedia() {
  Guarded([&] {
    if (progressTimer_) progressTimer_->SetEnabled(false);
  });
  if (mediaKind_ == 0 && mediaPanel_) {
    Guarded([&] { mediaPanel_->SetVisible(false); });
    CloseVideoPlayer();
  }
  if (mediaKind_ == 1 && flash_) {
    Guarded([&] {
      if (mediaPanel_) mediaPanel_->SetVisible(false);
    });
    Guarded([&] {
      // The control may take a moment to stop; a second at most, with the queue running.
      constexpr std::uint64_t kStopWait = 1000;
      const std::uint64_t start = platform_.TickCount ? platform_.TickCount() : 0;
      while (flash_->Playing()) {
        flash_->StopPlay();
        if (platform_.ProcessMessages) platform_.ProcessMessages();
        if (!platform_.TickCount || platform_.TickCount() - start >= kStopWait) break;
      }
    });
    Guarded([&] { flash_->SetMovie(" "); });
  }
}

void TMediaHost::FreeMedia() {
  Guarded([&] {
    if (progressTimer_) progressTimer_->SetEnabled(false);
  });
  Guarded([&] { progressTimer_.reset(); });
  Guarded([&] {
    CloseVideoPlayer();
    player_.reset();
  });
  Guarded([&] { videoPanel_.reset(); });
  FreeFlash();
  Guarded([&] { shapeImage_.reset(); });
  Guarded([&] { flashPanel_.reset(); });
  Guarded([&] { mediaPanel_.reset(); });
}

}  // namespace lumora
