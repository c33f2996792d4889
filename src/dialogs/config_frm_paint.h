// The settings dialog drawn without a window system: the layout's controls in the
// look of a classic Windows dialog, with a frame and caption bar around them, so
// that tools and documents can show the dialog from Linux.
#pragma once

#include "dialogs/config_frm_layout.h"
#include "imaging/bitmap32.h"
#include "platform/text.h"

namespace lumora {

// page: the tab sheet shown (0 General, 1 About).
TBitmap32 PaintConfigFrm(const TConfigFrmLayout& layout, const TExImage& banner, platform::ITextRasterizer& text,
                         int page = 0);

// The text of a caption without its "&" marks, and the position of the marked letter
// in it (npos when none); "&&" stands for one "&".
struct TAcceleratedText {
  std::string Text;
  std::size_t Accelerator = std::string::npos;
};
TAcceleratedText SplitAccelerator(std::string_view caption);

}  // namespace lumora
