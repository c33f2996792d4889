// The effect bitmap: an off-screen 32-bit bitmap with an alpha byte per pixel and a few
// drawing properties (Angle, Scale, Opacity, Masked, Transparent) that decide how it is
// blended onto another effect bitmap. It also builds window regions from key colours.
//
// Pixel memory: Width x Height pixels of 4 bytes (blue, green, red, alpha), rows
// bottom-up (the first row in memory is the image's bottom row), no padding. The memory
// is plain process memory, zeroed when allocated; where a window system would copy
// pixels in and out through device contexts, LoadFromBitmap and CopyToBitmap copy them
// directly from and to a TBitmap32.
#pragma once

#include "imaging/bitmap32.h"
#include "imaging/region.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <iosfwd>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace lumora {

class TPicture;

// Misuse of an effect bitmap.
class EDIBError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A cannot-assign error of the persistent base ("Cannot assign a X to a Y").
class EConvertError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A silent abort: stops an operation without any message.
class EAbort : public std::exception {
 public:
  const char* what() const noexcept override { return "Operation aborted"; }
};

// Base of the objects that can be assigned to one another.
class TPersistent {
 public:
  virtual ~TPersistent() = default;
  virtual std::string_view ClassName() const = 0;
  // Copies source into this object (through source's AssignTo).
  virtual void Assign(const TPersistent& source) { source.AssignTo(*this); }
  // Copies this object into dest; the base knows no target and raises the cannot-assign error.
  virtual void AssignTo(TPersistent& dest) const;
};

using TAngle = std::uint16_t;
enum class TTransparentMode { tmAuto, tmFixed };

// A 3 x 3 convolution: nine weights row by row (top-left first), a divisor (0 counts as
// 1) and an offset added to each of blue, green and red before clamping to 0..255.
struct TFilter3x3 {
  std::int16_t Weights[9] = {0, 0, 0, 0, 1, 0, 0, 0, 0};
  std::int32_t Divisor = 1;
  std::int32_t OffsetB = 0;
  std::int32_t OffsetG = 0;
  std::int32_t OffsetR = 0;
};

// An 8-bit target of Render8Bit: BitsPerPixel must be 8; Pixels holds Width x Height
// palette indices, rows top-down.
struct T8BitSurface {
  int Width = 0;
  int Height = 0;
  int BitsPerPixel = 8;
  std::vector<std::uint8_t> Pixels;
};

// A palette with its colour lookup table: 64 x 64 x 64 entries indexed by
// (blue >> 2) * 4096 + (green >> 2) * 64 + (red >> 2), each naming one of the first 235
// palette entries. An empty table means the palette has none.
struct TDIBPalette {
  std::vector<TPixel> Entries;
  std::vector<std::uint8_t> LookupTable;
};

class TAbstractSuperDIB : public TPersistent {
 public:
  // A pixel routine processes Rows rows of Cols pixels; strides are in pixels (negative
  // when walking down the image, since rows are stored bottom-up).
  using TPixelMethod = void (TAbstractSuperDIB::*)(const TPixel* src, TPixel* dst, int rows, int cols,
                                                   std::ptrdiff_t srcStride, std::ptrdiff_t dstStride) const;
  // The routine Draw applies, with the object whose properties it reads (normally the
  // drawing bitmap itself).
  struct TPixelRoutine {
    const TAbstractSuperDIB* Target = nullptr;
    TPixelMethod Method = nullptr;
  };
  using TNotifyEvent = std::function<void(TAbstractSuperDIB& sender)>;

  ~TAbstractSuperDIB() override = default;
  TAbstractSuperDIB(const TAbstractSuperDIB&) = delete;
  TAbstractSuperDIB& operator=(const TAbstractSuperDIB&) = delete;

  std::string_view ClassName() const override { return "TAbstractSuperDIB"; }
  void AssignTo(TPersistent& dest) const override;

  // Properties. Every setter does nothing when the value is unchanged, else stores it
  // and calls Changed.
  TAngle Angle() const { return angle_; }
  virtual void SetAngle(TAngle value);
  bool AutoSize() const { return autoSize_; }
  virtual void SetAutoSize(bool value);
  std::uint16_t Width() const { return width_; }
  virtual void SetWidth(std::uint16_t value);
  std::uint16_t Height() const { return height_; }
  virtual void SetHeight(std::uint16_t value);
  bool Masked() const { return masked_; }
  virtual void SetMasked(bool value);
  std::uint8_t Opacity() const { return opacity_; }
  virtual void SetOpacity(std::uint8_t value);
  double Scale() const { return scaleX_; }
  virtual void SetScale(double value);
  double ScaleX() const { return scaleX_; }
  double ScaleY() const { return scaleY_; }
  virtual void SetScaleX(double value);
  virtual void SetScaleY(double value);
  bool Transparent() const { return transparent_; }
  void SetTransparent(bool value);
  // In pixel byte order (0x00RRGGBB): the stored key in tmFixed mode, the first pixel in
  // memory (the bottom-left pixel) in tmAuto mode.
  std::uint32_t TransparentColor() const;
  // Takes a colour as 0x00BBGGRR.
  void SetTransparentColor(std::uint32_t color);
  TTransparentMode TransparentMode() const { return transparentMode_; }
  void SetTransparentMode(TTransparentMode value);
  bool OwnsBits() const { return ownsBits_; }
  TNotifyEvent OnChange;

  // Inclusive bounds.
  const TRect& ClipRect() const { return clipRect_; }
  void SetClipRect(const TRect& rect);

  const TPixelRoutine& PixelRoutine() const { return pixelRoutine_; }

  // Pixel memory (bottom-up); null before the first SetSize.
  TPixel* Bits() { return bits_; }
  const TPixel* Bits() const { return bits_; }
  // Start of image row y counted from the top (memory row Height - 1 - y).
  TPixel* ScanLine(int y) { return bits_ + static_cast<std::ptrdiff_t>(height_ - 1 - y) * width_; }
  const TPixel* ScanLine(int y) const { return bits_ + static_cast<std::ptrdiff_t>(height_ - 1 - y) * width_; }

  virtual void Changed();
  virtual void SelectPixelRoutine();

  // The pixel routines (see dib.cpp for the blend formula).
  virtual void CopyAlphaRows(const TPixel* src, TPixel* dst, int rows, int cols, std::ptrdiff_t srcStride,
                             std::ptrdiff_t dstStride) const;
  virtual void CopyRows(const TPixel* src, TPixel* dst, int rows, int cols, std::ptrdiff_t srcStride,
                        std::ptrdiff_t dstStride) const;
  virtual void BlendConstant(const TPixel* src, TPixel* dst, int rows, int cols, std::ptrdiff_t srcStride,
                             std::ptrdiff_t dstStride) const;
  virtual void BlendAlpha(const TPixel* src, TPixel* dst, int rows, int cols, std::ptrdiff_t srcStride,
                          std::ptrdiff_t dstStride) const;
  virtual void BlendAlphaOpacity(const TPixel* src, TPixel* dst, int rows, int cols, std::ptrdiff_t srcStride,
                                 std::ptrdiff_t dstStride) const;
  virtual void CopyKeyed(const TPixel* src, TPixel* dst, int rows, int cols, std::ptrdiff_t srcStride,
                         std::ptrdiff_t dstStride) const;
  virtual void BlendKeyed(const TPixel* src, TPixel* dst, int rows, int cols, std::ptrdiff_t srcStride,
                          std::ptrdiff_t dstStride) const;

  // "Data" property (layout in dib_format.h): ReadData replaces size and pixels.
  virtual void ReadData(std::istream& stream);
  virtual void WriteData(std::ostream& stream) const;
  // Whether the "Data" property is stored (pixel memory exists).
  bool HasData() const { return bits_ != nullptr; }

  virtual void ApplyFilter3x3(const TFilter3x3& filter);
  virtual void AssignPropertiesTo(TPersistent& dest) const;
  virtual void Draw(int x, int y, int width, int height, TAbstractSuperDIB& dest, std::uint16_t srcX,
                    std::uint16_t srcY);
  virtual void DrawAlpha(int x, int y, int width, int height, TAbstractSuperDIB& dest, std::uint16_t srcX,
                         std::uint16_t srcY);
  virtual void ShareBitsOf(TAbstractSuperDIB& other);
  // color as 0x00BBGGRR; the alpha byte becomes 0.
  virtual void Fill(std::uint32_t color);
  // rect half-open, in image coordinates, limited to the bitmap.
  virtual void FillRect(const TRect& rect, std::uint32_t color);
  virtual void Render8Bit(T8BitSurface& dest, int x, int y, int width, int height, int srcX, int srcY,
                          const TDIBPalette& palette) const;
  virtual void ResetProperties();
  virtual void SetSize(std::uint16_t width, std::uint16_t height);
  virtual void RotateInto(TAbstractSuperDIB& target) const;
  virtual bool HasImage() const { return bits_ != nullptr || !ownsBits_; }

  void SetAlpha(std::uint8_t value);
  // The region of every pixel whose colour differs from key (0x00BBGGRR; system colours
  // must be resolved by the caller). Empty for a bitmap without pixel memory.
  TRegion BuildRegion(std::uint32_t keyColor) const;

  // Rectangles gathered per region batch while building a region.
  static constexpr std::size_t kRegionBatch = 1600;

 protected:
  TAbstractSuperDIB();
  virtual void AllocBits() = 0;
  virtual void FreeBits() = 0;

  // Pixel memory, shared with the bitmaps that share it (ShareBitsOf), so that memory
  // stays valid for as long as any of them uses it.
  std::shared_ptr<TPixel[]> memory_;
  TPixel* bits_ = nullptr;

 private:
  void DrawRotated(int x, int y, int width, int height, TAbstractSuperDIB& dest);

  TAngle angle_ = 0;
  bool autoSize_ = false;
  TRect clipRect_{};
  std::uint16_t height_ = 0;
  bool masked_ = false;
  std::uint8_t opacity_ = 255;
  bool ownsBits_ = true;
  double scaleX_ = 100.0;
  double scaleY_ = 100.0;
  bool transparent_ = false;
  std::uint32_t keyColor_ = 0;
  TTransparentMode transparentMode_ = TTransparentMode::tmAuto;
  std::int32_t updateCount_ = 0;
  std::uint16_t width_ = 0;
  TPixelRoutine pixelRoutine_{};
};

// Supplies the pixel memory. A window system would hold it in a device-independent
// section with a device context and canvas; here it is plain memory, zeroed like a fresh
// section.
class TCustomWinDIB : public TAbstractSuperDIB {
 public:
  std::string_view ClassName() const override { return "TCustomWinDIB"; }
  ~TCustomWinDIB() override;

 protected:
  TCustomWinDIB() = default;
  void AllocBits() override;
  void FreeBits() override;
};

class TWinDIB : public TCustomWinDIB {
 public:
  TWinDIB() = default;
  std::string_view ClassName() const override { return "TWinDIB"; }

  // A bitmap of the given size with the clip rectangle covering it.
  static std::unique_ptr<TWinDIB> CreateSize(std::uint16_t width, std::uint16_t height);
  // A bitmap that shares other's pixel memory and takes its properties.
  static std::unique_ptr<TWinDIB> CreateShared(TAbstractSuperDIB& other);

  // Loads the bitmap's pixels with alpha 255 everywhere; nothing for a missing or empty one.
  void LoadFromBitmap(const TBitmap32* bitmap);
  // The same for a picture; a 0 x 0 picture raises EAbort.
  void LoadFromPicture(const TPicture* picture);
  // Replaces the alpha channel with the mask's blue channel, stretched to this size.
  void ImportMask(const TPicture* picture);
  void ImportMask(const TBitmap32* mask);
  // Copies the pixels (all four bytes) into bitmap, resizing it to this size.
  void CopyToBitmap(TBitmap32& bitmap) const;
};

// The window region of every pixel of bitmap whose colour (low 24 bits) differs from
// keyColor (0x00BBGGRR). Empty for an empty bitmap.
TRegion RegionFromBitmap(const TBitmap32& bitmap, std::uint32_t keyColor);

// 0x00BBGGRR <-> pixel byte order 0x00RRGGBB (the swap is its own inverse).
constexpr std::uint32_t ColorToPixelOrder(std::uint32_t color) {
  return ((color & 0xFFu) << 16) | (color & 0xFF00u) | ((color >> 16) & 0xFFu);
}

}  // namespace lumora
