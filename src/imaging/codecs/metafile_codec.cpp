// Windows metafiles need a metafile player, which only a platform backend has; the
// backend hands its renderer over at start-up. Without one, metafiles fail to load.
#include "imaging/codecs/codec_table.h"

#include <atomic>

namespace lumora::codecs {
namespace {

std::atomic<IMetafileRenderer*> gRenderer{nullptr};

bool Render(std::span<const std::byte> data, TMetafileKind kind, TBitmap32& out) {
  IMetafileRenderer* renderer = gRenderer.load();
  if (renderer == nullptr || data.empty()) return false;
  TRenderedMetafile rendered;
  if (!renderer->Render(data, kind, TMetafileLimits{kMaxPictureSide, kMaxPicturePixels}, rendered)) {
    return false;
  }
  if (!PictureSizeAllowed(rendered.Width, rendered.Height) ||
      rendered.Pixels.size() != std::size_t(rendered.Width) * std::size_t(rendered.Height)) {
    return false;
  }
  TBitmap32 bitmap(rendered.Width, rendered.Height);
  std::copy(rendered.Pixels.begin(), rendered.Pixels.end(), bitmap.Pixels().begin());
  out = std::move(bitmap);
  return true;
}

}  // namespace

void SetMetafileRenderer(IMetafileRenderer* renderer) { gRenderer.store(renderer); }

bool DecodeWindowsMetafile(std::span<const std::byte> data, TBitmap32& out) {
  return Render(data, TMetafileKind::Windows, out);
}

bool DecodeEnhancedMetafile(std::span<const std::byte> data, TBitmap32& out) {
  return Render(data, TMetafileKind::Enhanced, out);
}

}  // namespace lumora::codecs
