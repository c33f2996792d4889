// The 79 transition effects: for style s, step k of N, the pixels of a picture that one
// frame draws at the picture's place. Line styles (1..18) copy the newly revealed pixel
// lines; region styles (19..78) copy the whole picture through a clip region that grows
// with k. A show-out runs the same frames over a picture that holds the background.
#pragma once

#include "imaging/bitmap32.h"
#include "imaging/region.h"
#include "platform/random.h"

#include <cstdint>
#include <memory>

namespace lumora::effects {

inline constexpr int kStyleCount = 79;

// N for a style and a picture of w x h.
int StepCount(int style, int w, int h);

// The progress of step k of n: X (0..w) and Y (0..h), growing together in proportion
// (the longer axis by MulDiv, the other from it).
TPoint Progress(int w, int h, int k, int n);

// The snap distance of the band effects: max(w, h) / 90, rounded.
int SnapDistance(int w, int h);

// A union of 5-pixel bands (see effects.cpp); x and y may run up to twice the size (the
// second half fills the odd bands).
TRegion BandRegion(int x, int y, int w, int h, int d, int rowKind, int colKind);

// Bands 5 pixels apart with a random jitter on each moving edge.
TRegion RaggedBandRegion(int x, int y, int w, int h, int rowKind, int colKind, platform::IRandom& random);

// The filled triangle p1-p2-p3.
TRegion TriangleRegion(TPoint p1, TPoint p2, TPoint p3);

// The clip region of a region style (19..78) at step k of n, in picture coordinates.
// Empty at k = 0.
TRegion StyleRegion(int style, int k, int n, int w, int h, platform::IRandom& random);

// What a transition's earlier frames left in the target: the picture pixels it holds
// since then (as drawn, not worked out again: the ragged styles draw new random edges in
// every frame). With it a frame copies only the pixels its region adds to that set,
// instead of comparing all it covers. It is only sound while nothing else writes the
// target or the picture: whoever does must Clear it. It also forgets everything by
// itself when a frame belongs to another transition (other target, picture, place,
// style or step count, or a step before the last one).
class TFrameMemory {
 public:
  TFrameMemory();
  ~TFrameMemory();
  // A copy remembers the same frames (of the same target).
  TFrameMemory(const TFrameMemory& other);
  TFrameMemory& operator=(const TFrameMemory& other);

  void Clear();
  // The number of picture pixels the target is known to hold.
  std::int64_t HeldPixels() const;

  struct TState;

 private:
  friend TRect PaintEffectStep(TBitmap32&, int, int, const TBitmap32&, int, int, int, platform::IRandom&,
                               TFrameMemory*);
  std::unique_ptr<TState> state_;
};

// Draws frame k of n of style into target, with picture's top-left corner at (left,
// top); at k >= n the whole picture. Returns the rectangle of target that changed
// (clipped to target; empty when nothing did). With a memory, the same pixels and the
// same rectangle, drawing only what is new since the frames it remembers.
TRect PaintEffectStep(TBitmap32& target, int left, int top, const TBitmap32& picture, int style, int k, int n,
                      platform::IRandom& random, TFrameMemory* memory = nullptr);

}  // namespace lumora::effects
