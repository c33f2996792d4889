// lumora-render: one state of the picture view, rendered by the headless backend to a
// PNG file, so that a layout can be seen without Windows.
#include "platform/headless/headless_desktop.h"
#include "platform/headless/headless_message_box.h"
#include "platform/headless/headless_random.h"
#include "platform/headless/headless_surface.h"
#include "platform/headless/headless_text.h"
#include "png_writer.h"
#include "render_options.h"
#include "trpic/trpic.h"

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
  TPicture picture, mask, bgPicture, desktopPicture;
  if (!LoadPicture(o.PictureFile, "picture", picture) || !LoadPicture(o.MaskFile, "mask", mask) ||
      !LoadPicture(o.BgPictureFile, "background picture", bgPicture) ||
      !LoadPicture(o.DesktopFile, "desktop picture", desktopPicture))
    return kArgumentError;

  platform::THeadlessSurface surface({o.ClientWidth, o.ClientHeight},
                                     {o.ScreenWidth.value_or(o.ClientWidth), o.ScreenHeight.value_or(o.ClientHeight)});
  platform::THeadlessTextRasterizer text;
  platform::THeadlessDesktop desktop;
  desktop.SetPicture(desktopPicture.Bitmap());
  platform::THeadlessRandom random(o.Seed);
  platform::THeadlessMessageBox messages;
  TTrPic view(TTrPicPlatform{surface, text, desktop, random, messages});

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
  view.SetBgPicture(&bgPicture);
  view.SetBgPictureMode(o.BgPictureMode);
  view.SetBgStyle(o.BgStyle);
  view.RebuildBackground();

  // Caption and picture, the way the show sets up an item.
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
  view.SetPicture(&picture);
  view.SetPicOpacity(o.PicOpacity);
  if (!mask.Empty()) {
    view.SetPicMaskedPicture(&mask);
    view.SetPicMasked(true);
  }
  view.Relayout(true, true, false, false);
  view.Repaint();
  if (!picture.Empty()) {
    view.SetShowInStyle(0);
    view.ShowPic(1);
    if (o.Stamp) {
      view.StampPic();
      view.ClearPic(true, false);
    }
  }
  for (const std::string& m : messages.Shown()) std::fprintf(stderr, "lumora-render: message: %s\n", m.c_str());

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
