// lumora-render: one state of the picture view, rendered by the headless backend to a
// PNG file, so that a layout can be seen without Windows.
#include "platform/headless/headless_desktop.h"
#include "platform/headless/headless_message_box.h"
#include "platform/headless/headless_random.h"
#include "platform/headless/headless_surface.h"
#include "png_writer.h"
#include "render_options.h"
#include "trpic/trpic.h"

#ifdef _WIN32
#include "platform/win32/win32_desktop_capture.h"
#include "platform/win32/win32_text.h"
#include "platform/win32/win32_view_window.h"
#else
#include "platform/headless/headless_text.h"
#endif

#include <cstdio>
#include <exception>
#include <string>
#include <vector>

namespace lumora::tools {
namespace {

constexpr int kArgumentError = 2;
constexpr int kRenderError = 1;

bool LoadPicture(const std::string& file, const char* what, TPicture& picture) {
  if (file.empty()) return true;
  if (picture.LoadFromFile(file) && !picture.Empty()) return true;
  std::fprintf(stderr, "lumora-render: %s '%s' cannot be read as a picture\n", what, file.c_str());
  return false;
}

struct TPictures {
  TPicture Picture, Mask, BgPicture, Desktop;
};

// Sets the view up the way the show sets up an item, and shows the picture.
void Configure(TTrPic& view, const TRenderOptions& o, const TPictures& p) {
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
  view.SetPicture(&p.Picture);
  view.SetPicOpacity(o.PicOpacity);
  if (!p.Mask.Empty()) {
    view.SetPicMaskedPicture(&p.Mask);
    view.SetPicMasked(true);
  }
  view.Relayout(true, true, false, false);
  view.Repaint();
  if (!p.Picture.Empty()) {
    view.SetShowInStyle(0);
    view.ShowPic(1);
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
  TTrPic view(TTrPicPlatform{*window, text, desktop, random, messages});
  Configure(view, o, p);
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

int Run(const std::vector<std::string>& args) {
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
  if (!LoadPicture(o.PictureFile, "picture", p.Picture) || !LoadPicture(o.MaskFile, "mask", p.Mask) ||
      !LoadPicture(o.BgPictureFile, "background picture", p.BgPicture) ||
      !LoadPicture(o.DesktopFile, "desktop picture", p.Desktop))
    return kArgumentError;
#ifdef _WIN32
  if (o.Window) return ShowInWindow(o, p);
  platform::TWin32TextRasterizer text;
#else
  platform::THeadlessTextRasterizer text;
#endif

  platform::THeadlessSurface surface({o.ClientWidth, o.ClientHeight},
                                     {o.ScreenWidth.value_or(o.ClientWidth), o.ScreenHeight.value_or(o.ClientHeight)});
  platform::THeadlessDesktop desktop;
  desktop.SetPicture(p.Desktop.Bitmap());
  platform::THeadlessRandom random(o.Seed);
  platform::THeadlessMessageBox messages;
  TTrPic view(TTrPicPlatform{surface, text, desktop, random, messages});
  Configure(view, o, p);
  ReportMessages(messages);

  const TBitmap32& out = o.FrameOnly ? view.CompositeBitmap() : surface.Screen();
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
