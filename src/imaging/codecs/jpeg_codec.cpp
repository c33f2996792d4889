// JPEG through libjpeg-turbo: baseline, progressive, greyscale, CMYK and YCCK.
//
// libjpeg reports fatal errors by calling error_exit, which here long-jumps back to the
// function that set the jump point. Only small functions set one (StartSession,
// CalcOutput and the two that read rows); they hold nothing but trivially destructible locals, so the jump skips no
// C++ destructor. Everything that owns memory lives outside them.
#include "imaging/codecs/codec_table.h"

#include <array>
#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <algorithm>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include <jpeglib.h>

namespace lumora::codecs {
namespace {

// Progressive files can hold thousands of scans, each a pass over the whole picture;
// no real encoder writes more than a few dozen.
constexpr int kMaxScans = 500;
// A caller's check is asked after about this many pixels of the file's picture have been
// decoded: a few milliseconds of work.
constexpr std::int64_t kCheckPixels = std::int64_t(1) << 19;

struct TJpegSession {
  jpeg_decompress_struct Info{};
  jpeg_error_mgr Errors{};
  jpeg_progress_mgr Progress{};
  std::jmp_buf Jump{};
  bool Created = false;
  // The caller's check, when it has one.
  const std::function<bool()>* Continue = nullptr;
  std::int64_t SinceCheck = 0;
  // While jpeg_start_decompress absorbs the scans of a multi-scan file: the pixels one
  // call of the progress hook stands for (one row of blocks of one scan).
  bool Consuming = false;
  std::int64_t PixelsPerConsumeStep = 0;

  ~TJpegSession() {
    if (Created) jpeg_destroy_decompress(&Info);
  }
};

void OnError(j_common_ptr info) {
  auto* session = static_cast<TJpegSession*>(info->client_data);
  std::longjmp(session->Jump, 1);
}

// Warnings (corrupt data that the library works around) are not shown anywhere.
void OnMessage(j_common_ptr, int) {}
void OnOutput(j_common_ptr) {}

// Counts decoded pixels and asks the caller's check when enough have passed. The check
// may run arbitrary code (it pumps the show's messages); nothing it throws gets past here.
bool KeepGoing(TJpegSession* s, std::int64_t pixels) {
  if (s->Continue == nullptr) return true;
  s->SinceCheck += pixels;
  if (s->SinceCheck < kCheckPixels) return true;
  s->SinceCheck = 0;
  try {
    return (*s->Continue)();
  } catch (...) {
    return false;
  }
}

void OnProgress(j_common_ptr info) {
  auto* decompress = reinterpret_cast<j_decompress_ptr>(info);
  if (decompress->input_scan_number > kMaxScans) OnError(info);
  auto* session = static_cast<TJpegSession*>(info->client_data);
  if (session->Consuming && !KeepGoing(session, session->PixelsPerConsumeStep)) OnError(info);
}

bool StartSession(TJpegSession* s, const unsigned char* data, unsigned long size) {
  s->Info.err = jpeg_std_error(&s->Errors);
  s->Errors.error_exit = OnError;
  s->Errors.emit_message = OnMessage;
  s->Errors.output_message = OnOutput;
  s->Info.client_data = s;
  if (setjmp(s->Jump) != 0) return false;
  jpeg_create_decompress(&s->Info);
  s->Created = true;
  s->Progress.progress_monitor = OnProgress;
  s->Info.progress = &s->Progress;
  jpeg_mem_src(&s->Info, data, size);
  jpeg_read_header(&s->Info, TRUE);
  return true;
}

bool CalcOutput(TJpegSession* s) {
  if (setjmp(s->Jump) != 0) return false;
  jpeg_calc_output_dimensions(&s->Info);
  return s->Info.output_components == 4;
}

bool ReadRows(TJpegSession* s, JSAMPROW* rows, JDIMENSION height, std::int64_t pixelsPerRow) {
  if (setjmp(s->Jump) != 0) return false;
  s->Consuming = true;
  jpeg_start_decompress(&s->Info);
  s->Consuming = false;
  if (s->Info.output_height != height) return false;
  while (s->Info.output_scanline < height) {
    const JDIMENSION done = s->Info.output_scanline;
    const JDIMENSION n = jpeg_read_scanlines(&s->Info, rows + done, height - done);
    if (n == 0 || !KeepGoing(s, pixelsPerRow * n)) return false;
  }
  return true;
}

// Only rows [top, bottom) and, in them, columns from about left for about width, into the
// picture's own-size rows at stride pixels apart; the library widens the columns to
// whole blocks and says where they begin.
bool ReadRowsPart(TJpegSession* s, TPixel* pixels, std::size_t stride, JDIMENSION left, JDIMENSION width,
                  JDIMENSION top, JDIMENSION bottom, JDIMENSION* cropLeft, JDIMENSION* cropWidth,
                  std::int64_t pixelsPerRow) {
  if (setjmp(s->Jump) != 0) return false;
  s->Consuming = true;
  jpeg_start_decompress(&s->Info);
  s->Consuming = false;
  if (width < s->Info.output_width) jpeg_crop_scanline(&s->Info, &left, &width);
  *cropLeft = left;
  *cropWidth = width;
  if (top > 0 && jpeg_skip_scanlines(&s->Info, top) != top) return false;
  while (s->Info.output_scanline < bottom) {
    JSAMPROW row = reinterpret_cast<JSAMPROW>(pixels + std::size_t(s->Info.output_scanline) * stride + left);
    if (jpeg_read_scanlines(&s->Info, &row, 1) != 1 || !KeepGoing(s, pixelsPerRow)) return false;
  }
  return true;
}

// Adobe's writers store CMYK inverted (255 = no ink) and say so with their marker.
void CmykToRgb(std::span<TPixel> pixels, bool inverted) {
  for (TPixel& p : pixels) {
    // The four samples were written in byte order C, M, Y, K.
    unsigned c = p & 0xFF, m = (p >> 8) & 0xFF, y = (p >> 16) & 0xFF, k = p >> 24;
    if (!inverted) {
      c = 255 - c;
      m = 255 - m;
      y = 255 - y;
      k = 255 - k;
    }
    p = MakePixel(std::uint8_t((c * k + 127) / 255), std::uint8_t((m * k + 127) / 255),
                  std::uint8_t((y * k + 127) / 255));
  }
}

// The same, one band of rows at a time, each row handed to the stretcher (CMYK turned
// into RGB first); band holds the rows of one read.
bool ReadRowsStretched(TJpegSession* s, TBitmap32* band, JSAMPROW* bandRows, TRowStretcher* stretcher, bool cmyk,
                       std::int64_t pixelsPerRow) {
  if (setjmp(s->Jump) != 0) return false;
  s->Consuming = true;
  jpeg_start_decompress(&s->Info);
  s->Consuming = false;
  const bool inverted = s->Info.saw_Adobe_marker != 0;
  const auto width = static_cast<std::size_t>(band->Width());
  while (s->Info.output_scanline < s->Info.output_height) {
    const JDIMENSION n = jpeg_read_scanlines(&s->Info, bandRows, static_cast<JDIMENSION>(band->Height()));
    if (n == 0 || !KeepGoing(s, pixelsPerRow * n)) return false;
    for (JDIMENSION y = 0; y < n; ++y) {
      TPixel* row = band->Row(static_cast<int>(y));
      if (cmyk) CmykToRgb(std::span(row, width), inverted);
      stretcher->AddRow(row);
    }
  }
  return true;
}

}  // namespace

int JpegScaleDenominator(TPictureSize native, TPictureSize shown) {
  // Shown at more than half its size, or not at all: decoded whole as always.
  if (shown.Width <= 0 || shown.Height <= 0 || std::int64_t(shown.Width) * 2 > native.Width ||
      std::int64_t(shown.Height) * 2 > native.Height)
    return 1;
  // The smallest scale that still has at least the pixels drawn and divides the picture's
  // sides: otherwise the last column or row of the scaled picture stands for fewer of
  // the picture's pixels than the others, and stretching it would shift the picture
  // (fine detail then differs visibly from the whole picture stretched).
  for (const int d : {8, 4, 2})
    if (native.Width % d == 0 && native.Height % d == 0 && native.Width / d >= shown.Width &&
        native.Height / d >= shown.Height)
      return d;
  return 1;
}

bool DecodeJpegScaled(std::span<const std::byte> data, const TDecodeRequest& request, TBitmap32& out,
                      TPictureSize& native) {
  if (data.size() < 4) return false;
  auto session = std::make_unique<TJpegSession>();
  if (!StartSession(session.get(), reinterpret_cast<const unsigned char*>(data.data()),
                    static_cast<unsigned long>(data.size()))) {
    return false;
  }
  jpeg_decompress_struct& info = session->Info;
  if (!PictureSizeAllowed(info.image_width, info.image_height)) return false;
  const TPictureSize own{static_cast<int>(info.image_width), static_cast<int>(info.image_height)};
  const bool cmyk = info.jpeg_color_space == JCS_CMYK || info.jpeg_color_space == JCS_YCCK;
  // Four bytes a pixel either way, so both land straight in the bitmap's rows.
  info.out_color_space = cmyk ? JCS_CMYK : JCS_EXT_BGRA;
  if (request.ShownSize) {
    info.scale_num = 1;
    info.scale_denom = static_cast<unsigned>(JpegScaleDenominator(own, request.ShownSize(own)));
  }
  if (request.Continue) session->Continue = &request.Continue;
  if (!CalcOutput(session.get())) return false;
  const std::int64_t pixels = std::int64_t(own.Width) * own.Height;
  session->PixelsPerConsumeStep = pixels / std::max<JDIMENSION>(info.total_iMCU_rows, 1);
  const TPictureSize decoded{static_cast<int>(info.output_width), static_cast<int>(info.output_height)};
  const TPictureSize drawn = request.DrawnSize ? request.DrawnSize(own) : TPictureSize{};
  if (drawn.Width > 0 && drawn.Height > 0 && drawn.Width <= decoded.Width && drawn.Height <= decoded.Height &&
      drawn != decoded) {
    // Held at the one size it is drawn at: the rows are stretched as they come, and the
    // picture is never held at its decoded size.
    TBitmap32 held(drawn.Width, drawn.Height, TBitmap32::TUninitialised{});
    TRowStretcher stretcher(decoded.Width, decoded.Height, held);
    TBitmap32 band(decoded.Width, std::max<int>(info.rec_outbuf_height, 8), TBitmap32::TUninitialised{});
    std::vector<JSAMPROW> bandRows(static_cast<std::size_t>(band.Height()));
    for (int y = 0; y < band.Height(); ++y) bandRows[static_cast<std::size_t>(y)] = reinterpret_cast<JSAMPROW>(band.Row(y));
    if (!ReadRowsStretched(session.get(), &band, bandRows.data(), &stretcher, cmyk, pixels / std::max(decoded.Height, 1)))
      return false;
    out = std::move(held);
    native = own;
    return true;
  }

  const TRect visible = request.Visible && decoded == own ? IntersectRect(request.Visible(own), TRect{0, 0, own.Width, own.Height})
                                                          : TRect{0, 0, own.Width, own.Height};
  if (visible.Empty() || visible.Width() < own.Width || visible.Height() < own.Height) {
    // Only the part that is seen, at its place in the picture, widened by one block row
    // and column on each side: the pixels at the edge of a decoded part may differ from a
    // whole decode (the upsampling there lacks its neighbours), and those stay unseen.
    const int margin = std::max(info.max_h_samp_factor, info.max_v_samp_factor) * DCTSIZE;
    TBitmap32 bitmap(own.Width, own.Height, TBitmap32::TUninitialised{});
    if (visible.Empty()) {
      out = std::move(bitmap);
      native = own;
      return true;
    }
    const int left = std::max(visible.Left - margin, 0), right = std::min(visible.Right + margin, own.Width);
    const int top = std::max(visible.Top - margin, 0), bottom = std::min(visible.Bottom + margin, own.Height);
    JDIMENSION cropLeft = 0, cropWidth = 0;
    if (!ReadRowsPart(session.get(), bitmap.Row(0), static_cast<std::size_t>(bitmap.Stride()), JDIMENSION(left),
                      JDIMENSION(right - left), JDIMENSION(top), JDIMENSION(bottom), &cropLeft, &cropWidth,
                      pixels / std::max(own.Height, 1)))
      return false;
    if (cmyk)
      for (int y = top; y < bottom; ++y) CmykToRgb(std::span(bitmap.Row(y) + cropLeft, cropWidth), info.saw_Adobe_marker != 0);
    out = std::move(bitmap);
    native = own;
    return true;
  }

  // The library writes every pixel before the picture is handed out.
  TBitmap32 bitmap(static_cast<int>(info.output_width), static_cast<int>(info.output_height), TBitmap32::TUninitialised{});
  std::vector<JSAMPROW> rows(static_cast<std::size_t>(bitmap.Height()));
  for (int y = 0; y < bitmap.Height(); ++y) rows[static_cast<std::size_t>(y)] = reinterpret_cast<JSAMPROW>(bitmap.Row(y));
  if (!ReadRows(session.get(), rows.data(), info.output_height, pixels / std::max(bitmap.Height(), 1))) return false;
  if (cmyk) CmykToRgb(bitmap.Pixels(), info.saw_Adobe_marker != 0);
  out = std::move(bitmap);
  native = own;
  return true;
}

bool DecodeJpeg(std::span<const std::byte> data, TBitmap32& out) {
  TPictureSize native;
  return DecodeJpegScaled(data, TDecodeRequest{}, out, native);
}

std::optional<std::uint64_t> ProbeJpeg(const TProbeSource& file) {
  const std::span<const std::byte> head = file.Head();
  const auto u8 = [](std::span<const std::byte> b, std::size_t i) { return std::to_integer<unsigned>(b[i]); };
  if (head.size() < 4 || u8(head, 0) != 0xFF || u8(head, 1) != 0xD8 || u8(head, 2) != 0xFF) return std::nullopt;
  // Find the frame header to check the picture's size. The library skips stray bytes
  // between segments, so anything unexpected ends the walk without a verdict; the
  // entropy-coded data that follows has no length, so the decoder gets the whole file.
  std::uint64_t at = 2;
  for (int segment = 0; segment < 256; ++segment) {
    std::array<std::byte, 9> m{};
    if (!file.ReadAt(at, std::span(m).first(4))) return file.Size();
    if (u8(m, 0) != 0xFF) return file.Size();
    const unsigned marker = u8(m, 1);
    if (marker == 0xFF) {  // fill byte
      ++at;
      continue;
    }
    const bool frame = marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
    if (frame) {
      if (!file.ReadAt(at, m)) return file.Size();
      const unsigned height = (u8(m, 5) << 8) | u8(m, 6);
      const unsigned width = (u8(m, 7) << 8) | u8(m, 8);
      if (!PictureSizeAllowed(width, height)) return std::nullopt;
      return file.Size();
    }
    if (marker == 0xD9 || marker == 0xDA) return file.Size();
    at += 2 + ((u8(m, 2) << 8) | u8(m, 3));
  }
  return file.Size();
}

}  // namespace lumora::codecs
