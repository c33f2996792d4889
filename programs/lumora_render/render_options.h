// The command line of lumora-render: one state of the picture view.
#pragma once

#include "trpic/trpic_types.h"

#include <optional>
#include <string>
#include <vector>

namespace lumora::tools {

struct TRenderOptions {
  std::string PictureFile;  // empty: no picture
  std::string OutputFile;
  int ClientWidth = 800, ClientHeight = 600;
  std::optional<int> ScreenWidth, ScreenHeight;  // default: the client size
  bool AsScreen = true;
  int ScreenScaleWidth = 800, ScreenScaleHeight = 600;

  TPicSize PicSize = TPicSize::psOriginal;
  float PicSizeHor = 100, PicSizeVer = 100;
  TPicSizeRef PicSizeRef = TPicSizeRef::psrScreen;
  TPicPos PicPos = TPicPos::poCenter;
  float PicPosHor = 0, PicPosVer = 0;
  std::string MaskFile;
  int PicOpacity = 255;
  bool Stamp = false;

  std::vector<std::string> Caption;
  TFont CapFont;
  TCapPos CapPos = TCapPos::cpTopCenter;
  float CapPosHor = 0, CapPosVer = 0;
  bool CapVisible = true;

  TBgStyle BgStyle = TBgStyle::bsSolid;
  TBgBgpStyle BgBgpStyle = TBgBgpStyle::bpNone;
  bool BgBgpFixHor = false, BgBgpFixVer = false;
  TColor BgSolidColor = 0;
  TColor BgGradientFromColor = 0, BgGradientToColor = 0;
  TDirection BgGradientDirection = TDirection::bdUp;
  std::string BgPatternString;
  std::string BgPictureFile;
  TBgMode BgPictureMode = TBgMode::bmCentered;
  std::string DesktopFile;

  // Transitions: frame Step of style Style (show-in, or show-out with ShowOut); without
  // Step, the transition runs to its end. Gallery: all styles at the middle of their show-in.
  std::optional<int> Style;
  std::optional<int> Step;
  bool ShowOut = false;
  int ShowSpeed = 1;
  bool Gallery = false;

  unsigned Seed = 0;
  bool FrameOnly = false;  // the frame without the caption layer
  bool Help = false;
  // Windows only: show the view in a real window instead of writing a file.
  bool Window = false;
  int WindowSeconds = 0;  // 0: until a key or a click
};

// Reads the arguments after the program name; on an error, returns false with a message
// that names the offending argument.
bool ParseRenderOptions(const std::vector<std::string>& args, TRenderOptions& options, std::string& error);

extern const char* const kRenderUsage;

}  // namespace lumora::tools
