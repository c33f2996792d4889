// Encapsulated PostScript: we draw no PostScript, but files with the binary DOS
// header carry a preview, a TIFF or a Windows metafile, that the other decoders read.
// A file without one fails to load.
#include "imaging/codecs/codec_table.h"
#include "imaging/codecs/legacy_reader.h"

namespace lumora::codecs {

bool DecodeEncapsulatedPostScript(std::span<const std::byte> data, TBitmap32& out) {
  const TByteReader r(data);
  if (!r.Has(0, 30) || r.U32(0) != 0xC6D3D0C5u) return false;
  const auto preview = [&](std::size_t field, TDecodeFunction decode) {
    const std::size_t at = r.U32(field), length = r.U32(field + 4);
    return length != 0 && r.Has(at, length) && decode(data.subspan(at, length), out);
  };
  // The TIFF first: it decodes on every backend.
  return preview(20, &DecodeTiff) || preview(12, &DecodeWindowsMetafile);
}

}  // namespace lumora::codecs
