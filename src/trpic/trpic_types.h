// Types of the picture view: the stored enumerations, colours and fonts of the show
// configuration, and the view's own small types.
#pragma once

#include "imaging/bitmap32.h"
#include "ini/config_types.h"
#include "platform/text.h"

#include <cstdint>

namespace lumora {

// Effect style number -1..78; -1 picks a random style 1..78 at each transition.
using TTrPicStyle = int;
constexpr TTrPicStyle kRandomTrPicStyle = -1;
constexpr TTrPicStyle kLastTrPicStyle = 78;

// Alignment of the view inside its parent; the show uses alClient.
enum class TAlign { alNone, alTop, alBottom, alLeft, alRight, alClient };

enum class TThreadPriority { tpIdle, tpLowest, tpLower, tpNormal, tpHigher, tpHighest, tpTimeCritical };

// Who a mouse event comes from: the view itself or one of its child controls, which
// forward their input to the view's handlers.
enum class TMouseSource { View, CaptionPanel, ShapeImage, VideoPanel, FlashControl };

// The RGB colour of a TColor as an opaque pixel; system colours (negative values)
// resolve to the standard Windows scheme.
TPixel PixelFromTColor(TColor color);

// The font as the text rasteriser takes it.
platform::TTextFont TextFontOf(const TFont& font);

}  // namespace lumora
