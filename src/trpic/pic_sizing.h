// The sizes the view draws a picture at, as a value: everything they depend on (the
// client and screen sizes, AsScreen and the size properties) taken at one moment. The
// show works out an item's decode size with it before the item is on the view, on a
// thread that must not read the view.
#pragma once

#include "base/show_types.h"
#include "platform/surface.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

namespace lumora {

struct TPicSizing {
  platform::TSize Client;
  platform::TSize Screen;
  bool AsScreen = false;
  TPicSize Size = TPicSize::psOriginal;
  TPicSizeRef SizeRef = TPicSizeRef::psrScreen;
  float SizeHor = 100;
  float SizeVer = 100;

  friend bool operator==(const TPicSizing&, const TPicSizing&) = default;

  // The picture's size on the client (scaled: as AsScreen scales a screen-sized layout
  // down to the client) for a picture of pw x ph.
  platform::TSize Of(std::int64_t pw, std::int64_t ph, bool scaled) const {
    const std::int64_t cw = Client.Width, ch = Client.Height;
    const std::int64_t sw = Screen.Width, sh = Screen.Height;
    switch (Size) {
      case TPicSize::psOriginal:
        if (scaled) return {Clamp(cw * pw / sw), Clamp(ch * ph / sh)};
        return {Clamp(pw), Clamp(ph)};
      case TPicSize::psFullWindow:
        // A picture without width or height has no size to fill the window with.
        if (pw > 0 && ph > 0) return {Clamp(cw), Clamp(ch)};
        return {0, 0};
      case TPicSize::psUser: {
        const std::int64_t rw = SizeRef == TPicSizeRef::psrScreen ? sw : pw;
        const std::int64_t rh = SizeRef == TPicSizeRef::psrScreen ? sh : ph;
        const auto trunc = [](double v) -> std::int64_t { return std::fabs(v) < 9.0e18 ? static_cast<std::int64_t>(v) : 0; };
        if (scaled) {
          return {Clamp(trunc(static_cast<double>(rw * cw) * SizeHor) / (sw * 100)),
                  Clamp(trunc(static_cast<double>(rh * ch) * SizeVer) / (sh * 100))};
        }
        return {Clamp(trunc(static_cast<double>(rw) * SizeHor) / 100), Clamp(trunc(static_cast<double>(rh) * SizeVer) / 100)};
      }
    }
    return {0, 0};
  }

  // The largest size the picture is drawn at: on the client, or stamped at the
  // screen-scale size. A picture decoded for it never has fewer pixels than a drawing
  // needs, also after a resize up to the screen's size.
  platform::TSize Drawn(int width, int height) const {
    const platform::TSize shown = Of(width, height, AsScreen);
    const platform::TSize stamp = Of(width, height, false);
    return {std::max(shown.Width, stamp.Width), std::max(shown.Height, stamp.Height)};
  }

  // The one size the picture is drawn at when both drawings agree, else 0 x 0.
  platform::TSize SingleDrawn(int width, int height) const {
    const platform::TSize shown = Of(width, height, AsScreen);
    const platform::TSize stamp = Of(width, height, false);
    if (shown.Width != stamp.Width || shown.Height != stamp.Height) return {0, 0};
    return shown;
  }

 private:
  static int Clamp(std::int64_t v) {
    return static_cast<int>(std::clamp<std::int64_t>(v, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
  }
};

}  // namespace lumora
