// lumora-render: one state of the picture view, rendered by the headless backend to a
// PNG file, so that a layout can be seen without Windows.
#include "platform/headless/headless_desktop_capture.h"
#include "platform/headless/headless_message_box.h"
#include "platform/headless/headless_random.h"
#include "platform/headless/headless_surface.h"
#include "platform/headless/headless_threads.h"
#include "png_writer.h"
#include "render_options.h"
#include "render_settings.h"
#include "render_show.h"
#include "trpic/trpic.h"

#ifdef _WIN32
#include "platform/win32/win32_desktop_capture.h"
#include "platform/win32/win32_text.h"
#include "platform/win32/win32_threads.h"
#include "platform/win32/win32_view_window.h"
#else
#include "platform/headless/headless_text.h"
#endif

#include <algorithm>
#include <cstdio>
#include <exception>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace lumora::tools {
namespace {

constexpr int kArgumentError = 2;
constexpr int kRenderError = 1;

bool LoadPicture(const std::string& file, const char* what, TPicture& picture,
                 const codecs::TDecodeRequest& request = {}) {
  if (file.empty()) return true;
  if (picture.LoadFromFile(file, request) && !picture.Empty()) return true;
  std::fprintf(stderr, "lumora-render: %s '%s' cannot be read as a picture\n", what, file.c_str());
  return false;
}

// Where the view puts a picture of w x h on a client of cw x ch when it first shows it,
// for the places that depend on nothing else (not random, a percentage or the last place).
std::optional<TPoint> PicturePlace(TPicPos pos, int cw, int ch, int w, int h) {
  switch (pos) {
    case TPicPos::poCenter: return TPoint{(cw - w) / 2, (ch - h) / 2};
    case TPicPos::poTopLeft: return TPoint{0, 0};
    case TPicPos::poTopCenter: return TPoint{(cw - w) / 2, 0};
    case TPicPos::poTopRight: return TPoint{cw - w, 0};
    case TPicPos::poBottomLeft: return TPoint{0, ch - h};
    case TPicPos::poBottomCenter: return TPoint{(cw - w) / 2, ch - h};
    case TPicPos::poBottomRight: return TPoint{cw - w, ch - h};
    default: return std::nullopt;
  }
}

// The picture is decoded for the sizes the view will draw it at (as the show decodes an
// item's picture): a photo drawn small is never held whole.
codecs::TDecodeRequest PictureRequest(const TRenderOptions& o) {
  TPicSizing sizing;
  sizing.Client = {std::max(o.ClientWidth, 0), std::max(o.ClientHeight, 0)};
  sizing.Screen = {std::max(o.ScreenWidth.value_or(o.ClientWidth), 1), std::max(o.ScreenHeight.value_or(o.ClientHeight), 1)};
  sizing.AsScreen = o.AsScreen;
  sizing.Size = o.PicSize;
  sizing.SizeRef = o.PicSizeRef;
  sizing.SizeHor = o.PicSizeHor;
  sizing.SizeVer = o.PicSizeVer;
  codecs::TDecodeRequest request;
  request.ShownSize = [sizing](codecs::TPictureSize native) {
    const platform::TSize drawn = sizing.Drawn(native.Width, native.Height);
    return codecs::TPictureSize{drawn.Width, drawn.Height};
  };
  request.DrawnSize = [sizing](codecs::TPictureSize native) {
    const platform::TSize drawn = sizing.SingleDrawn(native.Width, native.Height);
    return codecs::TPictureSize{drawn.Width, drawn.Height};
  };
  // A picture drawn at its own size, at a place known beforehand, with nothing that
  // reads it whole (a mask, the gallery's copies): only what the client and the screen
  // show of it is decoded. (A client standing for a screen of another size stamps the
  // picture elsewhere; it is decoded whole.)
  const int cw = sizing.Client.Width, ch = sizing.Client.Height;
  if (o.MaskFile.empty() && !o.Gallery && (!o.AsScreen || sizing.Screen == sizing.Client)) {
    const TPicPos pos = o.PicPos;
    const int seenW = std::max(cw, sizing.Screen.Width), seenH = std::max(ch, sizing.Screen.Height);
    request.Visible = [sizing, pos, cw, ch, seenW, seenH](codecs::TPictureSize native) {
      const platform::TSize drawn = sizing.SingleDrawn(native.Width, native.Height);
      const std::optional<TPoint> at = PicturePlace(pos, cw, ch, native.Width, native.Height);
      if (drawn.Width != native.Width || drawn.Height != native.Height || !at)
        return TRect{0, 0, native.Width, native.Height};
      // The mirrored strips of some effects read up to 22 pixels beside what they draw.
      constexpr int kEffectReach = 32;
      const TRect seen = IntersectRect(TRect{at->X, at->Y, at->X + native.Width, at->Y + native.Height},
                                       TRect{0, 0, seenW, seenH});
      if (seen.Empty()) return TRect{};
      return TRect{seen.Left - at->X - kEffectReach, seen.Top - at->Y - kEffectReach, seen.Right - at->X + kEffectReach,
                   seen.Bottom - at->Y + kEffectReach};
    };
  }
  return request;
}

struct TPictures {
  TPicture Picture, Mask, BgPicture, Desktop;
};

// Runs the view's worker threads until done() is true.
using TRunUntil = std::function<void(const std::function<bool()>&)>;

// Shows the picture: at once, or through the chosen transition up to the chosen step
// (kMiddleStep: the middle of the effect).
constexpr int kMiddleStep = -1;

void ShowPicture(TTrPic& view, const TRenderOptions& o, const TRunUntil& runUntil) {
  view.SetShowSpeed(static_cast<std::uint16_t>(o.ShowSpeed));
  const bool animateIn = o.Style && !o.ShowOut;
  view.SetShowInStyle(animateIn ? *o.Style : 0);
  view.ShowPic(1);
  if (o.Style && o.ShowOut) {
    runUntil([&view] { return !view.Showing(); });
    view.SetShowOutStyle(*o.Style);
    view.ShowPic(2);
  }
  runUntil([&view, &o] {
    if (!view.Showing() || !o.Step) return !view.Showing();
    const int target = *o.Step == kMiddleStep ? view.StepCount() / 2 : *o.Step;
    return view.StepPainted() && view.Step() >= target;
  });
}

// Sets the view up the way the show sets up an item, and shows the picture (given on its
// own: the view takes it over, so that a large picture is not held twice).
void Configure(TTrPic& view, const TRenderOptions& o, const TPictures& p, TPicture picture, const TRunUntil& runUntil) {
  view.SetAsScreen(o.AsScreen);
  view.SetScreenScaleWidth(o.ScreenScaleWidth);
  view.SetScreenScaleHeight(o.ScreenScaleHeight);

  // Background: every property first, then one rebuild.
  view.SetBgBgpStyle(o.BgBgpStyle);
  view.SetBgBgpFixHor(o.BgBgpFixHor);
  view.SetBgBgpFixVer(o.BgBgpFixVer);
  view.SetBgSolidColor(o.BgSolidColor);
  view.SetBgGradientFromColor(o.BgGradientFromColor);
  view.SetBgGradientToColor(o.BgGradientToColor);
  view.SetBgGradientDirection(o.BgGradientDirection);
  view.SetBgPatternString(o.BgPatternString);
  view.SetBgPicture(&p.BgPicture);
  view.SetBgPictureMode(o.BgPictureMode);
  view.SetBgStyle(o.BgStyle);
  view.RebuildBackground();

  view.SetCaption(o.Caption);
  view.SetCapFont(o.CapFont);
  view.SetCapPos(o.CapPos);
  view.SetCapPosHor(o.CapPosHor);
  view.SetCapPosVer(o.CapPosVer);
  view.SetCapVisible(o.CapVisible);
  view.SetPicSizeRef(o.PicSizeRef);
  view.SetPicSize(o.PicSize);
  view.SetPicSizeHor(o.PicSizeHor);
  view.SetPicSizeVer(o.PicSizeVer);
  view.SetPicPos(o.PicPos);
  view.SetPicPosHor(o.PicPosHor);
  view.SetPicPosVer(o.PicPosVer);
  view.SetPicture(std::move(picture));
  view.SetPicOpacity(o.PicOpacity);
  if (!p.Mask.Empty()) {
    view.SetPicMaskedPicture(&p.Mask);
    view.SetPicMasked(true);
  }
  view.Relayout(true, true, false, false);
  view.Repaint();
  if (!view.Picture().Empty()) {
    ShowPicture(view, o, runUntil);
    if (o.Stamp) {
      view.StampPic();
      view.ClearPic(true, false);
    }
  }
}

void ReportMessages(const platform::THeadlessMessageBox& messages) {
  for (const std::string& m : messages.Shown()) std::fprintf(stderr, "lumora-render: message: %s\n", m.c_str());
}

#ifdef _WIN32
// Shows the view in a real window at the top-left corner of the screen until a key or
// a click, or until the given seconds have passed.
int ShowInWindow(const TRenderOptions& o, const TPictures& p) {
  auto window = platform::TWin32ViewWindow::Create(nullptr, RECT{0, 0, o.ClientWidth, o.ClientHeight}, L"lumora-render");
  if (!window) {
    std::fprintf(stderr, "lumora-render: cannot create the window\n");
    return kRenderError;
  }
  platform::TWin32TextRasterizer text;
  platform::TWin32DesktopCapture desktop;
  platform::THeadlessRandom random(o.Seed);  // the same placements as the headless render
  platform::THeadlessMessageBox messages;
  platform::TWin32ThreadHost threads;
  TTrPic view(TTrPicPlatform{*window, text, desktop, random, messages, &threads});
  Configure(view, o, p, p.Picture, [&threads](const std::function<bool()>& done) { threads.WaitPumping(done); });
  ReportMessages(messages);
  bool done = false;
  view.OnMouseDown = [&done](TMouseSource, platform::TMouseButton, platform::TShiftState, int, int) { done = true; };
  if (o.WindowSeconds > 0) ::SetTimer(nullptr, 0, static_cast<UINT>(o.WindowSeconds) * 1000u, nullptr);
  MSG msg;
  while (!done && ::GetMessageW(&msg, nullptr, 0, 0) > 0) {
    if (msg.message == WM_TIMER && msg.hwnd == nullptr) break;
    if (msg.message == WM_KEYDOWN) break;
    ::TranslateMessage(&msg);
    ::DispatchMessageW(&msg);
    if (window->Handle() == nullptr) break;  // closed
  }
  return 0;
}
#endif

// A picture to show when none is given: colour bars over a grey ramp, with a frame.
TPicture TestCard(int width, int height) {
  static constexpr TPixel kBars[] = {0xFFC0C0C0u, 0xFFC0C000u, 0xFF00C0C0u, 0xFF00C000u,
                                     0xFFC000C0u, 0xFFC00000u, 0xFF0000C0u, 0xFF202020u};
  TPicture card;
  TBitmap32& b = card.Bitmap();
  b.SetSize(width, height);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      const auto ramp = static_cast<std::uint8_t>(255 * x / std::max(width - 1, 1));
      b.At(x, y) = y < height * 2 / 3 ? kBars[8 * x / width] : MakePixel(ramp, ramp, ramp);
    }
  const TPixel frame = 0xFFFFFFFFu;
  b.FillRect(TRect{0, 0, width, 4}, frame);
  b.FillRect(TRect{0, height - 4, width, height}, frame);
  b.FillRect(TRect{0, 0, 4, height}, frame);
  b.FillRect(TRect{width - 4, 0, width, height}, frame);
  return card;
}

// All 79 styles at the middle of their show-in, 10 cells a row, each labelled with its
// number; a cell is the client size.
// The headless platform a view draws on, for one rendering of client size w x h.
struct TRenderRig {
  platform::THeadlessSurface Surface;
  platform::THeadlessDesktopCapture Desktop;
  platform::THeadlessRandom Random;
  platform::THeadlessMessageBox Messages;
  platform::THeadlessThreadHost Threads;
  TTrPic View;

  TRenderRig(const TRenderOptions& o, int w, int h, const TPictures& p, platform::ITextRasterizer& text)
      : Surface({w, h}, {o.ScreenWidth.value_or(w), o.ScreenHeight.value_or(h)}),
        Random(o.Seed),
        View(TTrPicPlatform{Surface, text, Desktop, Random, Messages, &Threads}) {
    Desktop.SetPicture(p.Desktop.Bitmap());
  }

  void Configure(const TRenderOptions& o, const TPictures& p, TPicture picture) {
    lumora::tools::Configure(View, o, p, std::move(picture),
                             [this](const std::function<bool()>& done) { Threads.RunUntil(done); });
  }
};

int RenderGallery(const TRenderOptions& o, const TPictures& p, platform::ITextRasterizer& text) {
  constexpr int kColumns = 10, kRows = 8;
  const int cw = o.ClientWidth, ch = o.ClientHeight;
  TBitmap32 sheet(cw * kColumns, ch * kRows, 0xFF000000u);
  TPictures cellPictures = p;
  if (cellPictures.Picture.Empty()) cellPictures.Picture = TestCard(320, 240);
  platform::TTextFont font;
  font.Height = -std::max(ch / 6, 9);
  font.Bold = true;
  for (int style = 0; style <= kLastTrPicStyle; ++style) {
    TRenderRig rig(o, cw, ch, p, text);
    TRenderOptions cell = o;
    cell.Style = style;
    cell.ShowOut = false;
    cell.Step = style == 0 ? 0 : kMiddleStep;
    cell.Stamp = false;
    rig.Configure(cell, cellPictures, cellPictures.Picture);
    const int x = (style % kColumns) * cw, y = (style / kColumns) * ch;
    sheet.CopyRect(x, y, rig.Surface.Screen(), rig.Surface.Screen().Bounds());
    const std::string label = std::to_string(style);
    const platform::TTextExtent extent = text.TextExtent(font, label);
    sheet.FillRect(TRect{x, y, x + extent.Width + 4, y + extent.Height}, 0xFF000000u);
    text.PaintText(sheet, x + 2, y, font, label, 0xFFFFFF00u);
  }
  // Grid lines between the cells.
  for (int c = 1; c < kColumns; ++c) sheet.FillRect(TRect{c * cw, 0, c * cw + 1, sheet.Height()}, 0xFF404040u);
  for (int r = 1; r < kRows; ++r) sheet.FillRect(TRect{0, r * ch, sheet.Width(), r * ch + 1}, 0xFF404040u);
  std::string error;
  if (!WritePng(o.OutputFile, sheet, &error)) {
    std::fprintf(stderr, "lumora-render: %s\n", error.c_str());
    return kRenderError;
  }
  return 0;
}

int Run(const std::vector<std::string>& args) {
  if (!args.empty() && args[0] == "show") return RenderShow(std::vector<std::string>(args.begin() + 1, args.end()));
  if (!args.empty() && args[0] == "settings")
    return RenderSettings(std::vector<std::string>(args.begin() + 1, args.end()));
  TRenderOptions o;
  std::string error;
  if (!ParseRenderOptions(args, o, error)) {
    std::fprintf(stderr, "lumora-render: %s\n(see lumora-render --help)\n", error.c_str());
    return kArgumentError;
  }
  if (o.Help) {
    std::fputs(kRenderUsage, stdout);
    return 0;
  }
  TPictures p;
  // A window takes the real screen's size: there the picture is read whole.
  const codecs::TDecodeRequest request = o.Window ? codecs::TDecodeRequest{} : PictureRequest(o);
  if (!LoadPicture(o.PictureFile, "picture", p.Picture, request) || !LoadPicture(o.MaskFile, "mask", p.Mask) ||
      !LoadPicture(o.BgPictureFile, "background picture", p.BgPicture) ||
      !LoadPicture(o.DesktopFile, "desktop picture", p.Desktop))
    return kArgumentError;
#ifdef _WIN32
  if (o.Window) return ShowInWindow(o, p);
  platform::TWin32TextRasterizer text;
#else
  platform::THeadlessTextRasterizer text;
#endif

  if (o.Gallery) return RenderGallery(o, p, text);

  TRenderRig rig(o, o.ClientWidth, o.ClientHeight, p, text);
  rig.Configure(o, p, std::move(p.Picture));
  ReportMessages(rig.Messages);

  const TBitmap32& out = o.FrameOnly ? rig.View.CompositeBitmap() : rig.Surface.Screen();
  if (!WritePng(o.OutputFile, out, &error)) {
    std::fprintf(stderr, "lumora-render: %s\n", error.c_str());
    return kRenderError;
  }
  return 0;
}

}  // namespace
}  // namespace lumora::tools

int main(int argc, char** argv) {
  try {
    return lumora::tools::Run(std::vector<std::string>(argv + 1, argv + argc));
  } catch (const std::exception& e) {
    std::fprintf(stderr, "lumora-render: %s\n", e.what());
    return 1;
  }
}
