#include "platform/win32/win32_region.h"
#include "platform/win32/win32_ledger.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <new>
#include <vector>

namespace lumora::platform {

namespace {

constexpr std::size_t kBatch = 1600;

HRGN RegionFromBatch(std::span<const TRect> rects) {
  std::vector<unsigned char> buffer;
  try {
    buffer.resize(sizeof(RGNDATAHEADER) + rects.size() * sizeof(RECT));
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
  auto* header = reinterpret_cast<RGNDATAHEADER*>(buffer.data());
  header->dwSize = sizeof(RGNDATAHEADER);
  header->iType = RDH_RECTANGLES;
  header->nCount = static_cast<DWORD>(rects.size());
  header->nRgnSize = 0;
  RECT bounds{INT_MAX, INT_MAX, INT_MIN, INT_MIN};
  auto* out = reinterpret_cast<RECT*>(buffer.data() + sizeof(RGNDATAHEADER));
  for (std::size_t i = 0; i < rects.size(); ++i) {
    const RECT r{rects[i].Left, rects[i].Top, rects[i].Right, rects[i].Bottom};
    std::memcpy(out + i, &r, sizeof r);
    bounds.left = std::min(bounds.left, r.left);
    bounds.top = std::min(bounds.top, r.top);
    bounds.right = std::max(bounds.right, r.right);
    bounds.bottom = std::max(bounds.bottom, r.bottom);
  }
  if (rects.empty()) bounds = RECT{0, 0, 0, 0};
  header->rcBound = bounds;
  return counted::ExtCreateRegion(nullptr, static_cast<DWORD>(buffer.size()), reinterpret_cast<const RGNDATA*>(buffer.data()));
}

}  // namespace

HRGN MakeNativeRegion(std::span<const TRect> rects) noexcept {
  HRGN result = RegionFromBatch(rects.first(std::min(rects.size(), kBatch)));
  if (!result) return nullptr;
  for (std::size_t start = kBatch; start < rects.size(); start += kBatch) {
    HRGN part = RegionFromBatch(rects.subspan(start, std::min(kBatch, rects.size() - start)));
    if (!part || CombineRgn(result, result, part, RGN_OR) == ERROR) {
      if (part) counted::DeleteObject(part);
      counted::DeleteObject(result);
      return nullptr;
    }
    counted::DeleteObject(part);
  }
  return result;
}

}  // namespace lumora::platform
