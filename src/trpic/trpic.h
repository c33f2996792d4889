// The transition picture view: one picture at a time over a background rendered at
// the size of the physical screen, sized, placed, masked and captioned as configured.
//
// Drawing model: every pixel is composed into the off-screen frame CompositeBitmap, and
// changed rectangles of it are presented to the window. The caption is a layer above the
// frame (its glyph region filled with the font colour), drawn over the frame when
// presenting and never written into it, so that nothing drawn into the frame erases it.
#pragma once

#include "imaging/bitmap32.h"
#include "imaging/picture.h"
#include "imaging/region.h"
#include "platform/desktop.h"
#include "platform/message_box.h"
#include "platform/random.h"
#include "platform/surface.h"
#include "platform/text.h"
#include "platform/threads.h"
#include "trpic/effects.h"
#include "trpic/media_view.h"
#include "trpic/pic_sizing.h"
#include "trpic/trpic_types.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace lumora {

// What the view needs from the platform; all of it outlives the view.
struct TTrPicPlatform {
  platform::IWindowSurface& Surface;
  platform::ITextRasterizer& Text;
  platform::IDesktopCapture& Desktop;
  platform::IRandom& Random;
  platform::IMessageBox& MessageBox;
  // The worker threads of the effects and the floating motion; without them a
  // transition ends at once and a floating picture stays still.
  platform::IThreadHost* Threads = nullptr;
};

class TMediaHost;
struct TMediaHostPlatform;

class TCustomTrPic : public platform::IWindowSurfaceEvents, private IMediaView {
 public:
  using TNotifyEvent = std::function<void(TCustomTrPic& sender)>;
  using TAdjustPicEvent = std::function<void(TCustomTrPic& sender, int src)>;
  using TPlayVideoProgressEvent = std::function<void(TCustomTrPic& sender, int src, bool complete, int percent)>;
  using TMouseEvent =
      std::function<void(TMouseSource sender, platform::TMouseButton button, platform::TShiftState shift, int x, int y)>;
  using TMouseMoveEvent = std::function<void(TMouseSource sender, platform::TShiftState shift, int x, int y)>;

  explicit TCustomTrPic(const TTrPicPlatform& platform);
  ~TCustomTrPic() override;
  TCustomTrPic(const TCustomTrPic&) = delete;
  TCustomTrPic& operator=(const TCustomTrPic&) = delete;

  // Property changes between these two draw once, at the end: the background is
  // rebuilt at most once and the view repainted at most once. They nest.
  void BeginUpdate() { ++updating_; }
  void EndUpdate();
  bool Updating() const { return updating_ > 0; }

  // ---- Properties, in the order the component lists them ----
  TAlign Align() const { return align_; }
  void SetAlign(TAlign value);
  bool AutoSize() const { return autoSize_; }
  void SetAutoSize(bool value);
  bool AsScreen() const { return asScreen_; }
  void SetAsScreen(bool value);
  int ScreenScaleWidth() const { return screenScaleWidth_; }
  void SetScreenScaleWidth(int value);  // at least 640
  int ScreenScaleHeight() const { return screenScaleHeight_; }
  void SetScreenScaleHeight(int value);  // at least 480
  bool CanShow() const { return canShow_; }
  void SetCanShow(bool value) { canShow_ = value; }
  bool CanFloat() const { return canFloat_; }
  void SetCanFloat(bool value) { canFloat_ = value; }
  TBgStyle BgStyle() const { return bgStyle_; }
  void SetBgStyle(TBgStyle value);
  TBgBgpStyle BgBgpStyle() const { return bgBgpStyle_; }
  void SetBgBgpStyle(TBgBgpStyle value);
  bool BgBgpFixHor() const { return bgBgpFixHor_; }
  void SetBgBgpFixHor(bool value);
  bool BgBgpFixVer() const { return bgBgpFixVer_; }
  void SetBgBgpFixVer(bool value);
  TColor BgSolidColor() const { return bgSolidColor_; }
  void SetBgSolidColor(TColor value);  // 0 is stored as 1
  TColor BgGradientFromColor() const { return bgGradientFromColor_; }
  void SetBgGradientFromColor(TColor value);
  TColor BgGradientToColor() const { return bgGradientToColor_; }
  void SetBgGradientToColor(TColor value);
  TDirection BgGradientDirection() const { return bgGradientDirection_; }
  void SetBgGradientDirection(TDirection value);
  const std::string& BgPatternString() const { return bgPatternString_; }
  void SetBgPatternString(const std::string& value);
  const TPicture& BgPicture() const { return bgPicture_; }
  // Copies the picture (null clears its graphic without a rebuild). A new content
  // rebuilds with bsPicture, unless a paint or a transition is in progress.
  void SetBgPicture(const TPicture* value);
  TBgMode BgPictureMode() const { return bgPictureMode_; }
  void SetBgPictureMode(TBgMode value);
  const std::vector<std::string>& Caption() const { return caption_; }
  void SetCaption(std::vector<std::string> lines) { caption_ = std::move(lines); }
  const TFont& CapFont() const { return capFont_; }
  void SetCapFont(const TFont& font) { capFont_ = font; }
  TCapPos CapPos() const { return capPos_; }
  void SetCapPos(TCapPos value) { capPos_ = value; }
  float CapPosHor() const { return capPosHor_; }
  void SetCapPosHor(float value) { capPosHor_ = value; }
  float CapPosVer() const { return capPosVer_; }
  void SetCapPosVer(float value) { capPosVer_ = value; }
  bool CapVisible() const { return capVisible_; }
  void SetCapVisible(bool value);
  std::uint16_t ShowSpeed() const { return showSpeed_; }
  void SetShowSpeed(std::uint16_t value) { showSpeed_ = value == 0 ? 1 : value; }
  bool DrawingCaption() const { return drawingCaption_; }
  bool Floating() const { return floating_; }
  TPicPos PicPos() const { return picPos_; }
  void SetPicPos(TPicPos value) { picPos_ = value; }
  float PicPosHor() const { return picPosHor_; }
  void SetPicPosHor(float value) { picPosHor_ = value; }
  float PicPosVer() const { return picPosVer_; }
  void SetPicPosVer(float value) { picPosVer_ = value; }
  TPicSize PicSize() const { return picSize_; }
  void SetPicSize(TPicSize value) { picSize_ = value; }
  float PicSizeHor() const { return picSizeHor_; }
  void SetPicSizeHor(float value) { picSizeHor_ = value; }
  float PicSizeVer() const { return picSizeVer_; }
  void SetPicSizeVer(float value) { picSizeVer_ = value; }
  TPicSizeRef PicSizeRef() const { return picSizeRef_; }
  void SetPicSizeRef(TPicSizeRef value) { picSizeRef_ = value; }
  bool PicMasked() const { return picMasked_; }
  void SetPicMasked(bool value) { picMasked_ = value; }
  const TPicture& PicMaskedPicture() const { return picMaskedPicture_; }
  void SetPicMaskedPicture(const TPicture* value);  // null also clears PicMasked
  int PicAngle() const { return picAngle_; }
  void SetPicAngle(int value) { picAngle_ = value; }  // stored only
  int PicOpacity() const { return picOpacity_; }
  void SetPicOpacity(int value) { picOpacity_ = value; }  // the low byte is used
  const TPicture& PicShapedPicture() const { return picShapedPicture_; }
  void SetPicShapedPicture(const TPicture* value);
  const TPicture& Picture() const { return picture_; }
  void SetPicture(const TPicture* value);  // stored only; layout happens at the next show-in
  void SetPicture(TPicture&& value);  // the same, without a copy
  // The picture's drawing at the size it is shown at, made off the UI thread
  // (StretchOnto of the picture, as the view would draw it): a composition of the
  // picture at that size takes it instead of stretching the picture again (the show-in's,
  // and the show-out's too where the picture is held much larger). Set after SetPicture,
  // which drops it.
  void SetPictureDrawing(TBitmap32&& drawing) { pictureDrawing_ = std::move(drawing); }
  bool Showing() const { return showing_; }
  std::uint16_t FloatSpeed() const { return floatSpeed_; }
  void SetFloatSpeed(std::uint16_t value) { floatSpeed_ = value == 0 ? 1 : value; }
  TTrPicStyle ShowInStyle() const { return showInStyle_; }
  void SetShowInStyle(TTrPicStyle value) { showInStyle_ = ClampStyle(value); }
  TTrPicStyle ShowOutStyle() const { return showOutStyle_; }
  void SetShowOutStyle(TTrPicStyle value) { showOutStyle_ = ClampStyle(value); }
  TThreadPriority ThreadPriority() const { return threadPriority_; }
  void SetThreadPriority(TThreadPriority value) { threadPriority_ = value; }

  // Client size (the inherited Width and Height).
  int Width() const;
  int Height() const;

  // ---- Events ----
  TNotifyEvent OnDrawingCaptionBegin;
  TNotifyEvent OnDrawingCaptionComplete;
  TNotifyEvent OnShowInBegin;
  TNotifyEvent OnShowInComplete;
  TNotifyEvent OnShowOutBegin;
  TNotifyEvent OnShowOutComplete;
  TPlayVideoProgressEvent OnPlayVideoProgress;
  TAdjustPicEvent OnAdjustPicBegin;     // kept in the interface, never raised
  TAdjustPicEvent OnAdjustPicComplete;  // kept in the interface, never raised
  TMouseEvent OnMouseDown;
  TMouseMoveEvent OnMouseMove;
  TMouseEvent OnMouseUp;

  // ---- Internal state, readable for the show's effects and for tests ----
  const TBitmap32& ScreenBgBitmap() const {
    EnsureScreenBg();
    return screenBgBitmap_;
  }
  const TBitmap32& OverlayBitmap() const { return overlayBitmap_; }
  // The background as the client shows it; the screen's own bitmap when the client is
  // as large as the screen, since the two would hold the same pixels.
  const TBitmap32& ClientBgBitmap() const {
    UpdateClientBg();
    return clientBgShared_ ? screenBgBitmap_ : clientBgBitmap_;
  }
  const TBitmap32& CompositeBitmap() const { return compositeBitmap_; }
  const TBitmap32& CaptionBitmap() const { return captionBitmap_; }
  const TBitmap32& PicBitmap() const { return picBitmap_; }
  const TRect& PicRect() const { return picRect_; }
  bool PicShown() const { return picShown_; }
  bool InPaint() const { return inPaint_; }
  bool Stamped() const { return stamped_; }
  // The caption panel: shown, its top-left corner in client coordinates, its glyph
  // region (caption coordinates) and colour.
  bool CaptionShown() const { return captionShown_; }
  TPoint CaptionPos() const { return captionPos_; }
  const TRegion& CaptionRegion() const { return captionRegion_; }
  TPixel CaptionColour() const { return captionColour_; }
  int EffectStyle() const { return effectStyle_; }
  int StepCount() const { return stepCount_; }
  int ShowMode() const { return showMode_; }

  // ---- Layout and drawing ----
  platform::TSize ComputePicSize(bool scaled) const;
  // The largest size the current properties draw a picture of width x height at (on the
  // client or stamped at screen scale): what a picture decoded for this view must hold.
  platform::TSize DrawnPicSize(int width, int height) const;
  // That size when the client and the stamp agree on it, else 0 x 0: a picture held at
  // it is then drawn by a copy.
  platform::TSize SingleDrawnPicSize(int width, int height) const;
  // What those two sizes depend on, now: the show decodes a coming item ahead with it.
  TPicSizing PicSizing() const {
    return {{ClientW(), ClientH()}, screenSize_, asScreen_, picSize_, picSizeRef_, picSizeHor_, picSizeVer_};
  }
  void PlacePic();
  void Relayout(bool caption, bool rebuildCaption, bool place, bool resize);
  void ApplyMask(TBitmap32& bitmap);
  void LayoutCaption(bool rebuild);
  // Composes the frame and presents all of it (the paint handling).
  void Paint();
  // The paint message: dropped while a paint is in progress.
  void Repaint();
  // Presents rect of the frame with the caption layer above it.
  void PresentRect(const TRect& rect);
  // Refreshes ClientBgBitmap from ScreenBgBitmap (scaled with AsScreen, 1:1 without)
  // when the background, the client size or AsScreen changed since it was last made.
  void UpdateClientBg() const;
  // A solid background whose bitmap is not made yet, and a client that shows it only in
  // its colour: a frame is then filled with it and no background bitmap is needed.
  bool SolidUnmade() const;
  // Makes the next UpdateClientBg scale the background again even though nothing changed.
  void InvalidateClientBg() { clientBgVersion_ = 0; }

  // ---- Background ----
  void RebuildBackground();
  void CaptureScreen();

  // ---- Show operations ----
  void ClearPic(bool clearPicture, bool clearOverlay);
  void StampPic();
  // Mode 1: show-in of Picture; mode 2: show-out of the displayed picture.
  void ShowPic(int mode);
  // ShowPic(2) and then SetPicture to none, for a picture that leaves for good: the
  // show-out reveals the background over the pixels it lent PicBitmap instead of first
  // putting them aside (a frame-sized copy into new memory, at the moment the next
  // picture is due).
  void ShowOutAndDropPicture();
  void StopShowing();
  void StartFloating();
  void StopFloating();

  // ---- Media host (trpic_media.cpp, media_host.cpp): videos as show items ----
  // Without it the view plays no media (PrepareMedia and OpenMedia fail).
  void SetMediaPlatform(const TMediaHostPlatform& platform);
  bool PrepareMedia(int kind, bool previewMsg);
  bool OpenMedia(const std::filesystem::path& fileName, TPicSize picSize, const std::string& shapeFile, float picPosVer,
                 float picPosHor, TPicPos picPos, TPicSizeRef picSizeRef, float picSizeVer, float picSizeHor);
  void PlayMedia(std::uint32_t interval);
  void RewindMedia();
  void CloseMedia();
  void FreeMedia();
  TMediaHost* MediaHost() const { return media_.get(); }

  // Mouse input of a child control, in the child's coordinates.
  void ForwardMouse(TMouseSource sender, platform::TMouseAction action, platform::TMouseButton button,
                    platform::TShiftState shift, int x, int y) override;

  // ---- Window messages ----
  void SurfacePaint() override;
  void SurfaceResized() override;
  void SurfaceMouse(platform::TMouseAction action, platform::TMouseButton button, platform::TShiftState shift, int x,
                    int y) override;

 protected:
  // Hooks of the transition and floating workers. The defaults run a transition to its
  // end at once (the picture appears or goes in one frame) and keep a floating picture
  // still; the effects and the floating motion replace them.
  virtual void StartTransition(int mode);
  virtual void StopTransitionWorkers() {}
  virtual void StartFloatWorker(bool suspended) {}
  virtual void ResumeFloatWorker() {}
  virtual void StopFloatWorker() {}
  // The completion handler of a transition (UI thread).
  void TransitionEnded(int mode);
  void PrepareEffect(int mode);

  platform::IRandom& Random() { return random_; }
  platform::IWindowSurface& Surface() { return surface_; }
  TBitmap32& MutablePicBitmap() {
    EndPictureLoan(true);
    ++frameGeneration_;
    return picBitmap_;
  }
  TBitmap32& MutableCompositeBitmap() {
    ++frameGeneration_;
    return compositeBitmap_;
  }
  void SetPicShown(bool value) { picShown_ = value; }
  TRect& MutablePicRect() {
    ++frameGeneration_;
    return picRect_;
  }
  // Moves on whenever the frame, the picture or its place may have been written: what a
  // transition's earlier frames left in the frame is known only while it stands still.
  std::uint64_t FrameGeneration() const { return frameGeneration_; }
  void SetFloatingState(bool value) { floating_ = value; }
  // Presents rect of the frame with inset shown over it (the floating picture, which
  // the frame does not hold).
  void PresentRect(const TRect& rect, const platform::TFrameInset& inset);
  // Where the window shows the floating picture outside the frame: the picture's origin
  // and the part shown (empty once a paint has presented the whole frame).
  TPoint FloatShownOrigin() const { return floatShownOrigin_; }
  const TRect& FloatShown() const { return floatShown_; }
  void SetFloatShown(TPoint origin, const TRect& shown) {
    floatShownOrigin_ = origin;
    floatShown_ = shown;
  }
  bool StopShowFlag() const { return stopShowFlag_; }
  bool StopFloatFlag() const { return stopFloatFlag_; }

 private:
  // What the media host asks of the view.
  platform::TSize MediaClientSize() const override;
  const TPicture& MediaShapePicture() const override;
  std::span<const TRect> MediaCaptionGlyphs() const override { return captionRects_; }
  void MediaProgress(bool complete, int percent) override;

  static TTrPicStyle ClampStyle(TTrPicStyle value);
  platform::TSize ComputePicSizeOf(std::int64_t pw, std::int64_t ph, bool scaled) const;
  int ClientW() const;
  int ClientH() const;
  bool CenteredWith(TBgBgpStyle fill) const;
  void RebuildAndRepaint();
  void DrawCentredBackdrop();
  // Caption layer.
  TRect CaptionBounds() const;
  void UpdateCaptionLayer(const TRect& oldBounds);
  void HideCaption();
  void ComposePictureInto(TBitmap32& bitmap, int width, int height);
  // The screen-sized background comes into being when it is first needed (a fresh
  // canvas, white, or the solid colour a rebuild left unmade), not with the view.
  void EnsureScreenBg(TPixel fill = kWhitePixel) const;
  // Empties PicBitmap, keeping its memory for the next picture of the same size.
  void DropPicBitmap();
  // The picture is about to be replaced: a loan ends with PicBitmap keeping the pixels.
  void ReleaseLeavingPicture();
  // PicBitmap holds the picture's own pixels (a picture known opaque, drawn at the size
  // it is held at, unmasked), lent by Picture rather than copied. Before PicBitmap
  // changes they go back: moved (PicBitmap then empty) or, with keepDrawn, copied.
  void EndPictureLoan(bool keepDrawn);
  // Exchanges the pixels of loanPatch_ with those of PicBitmap where it belongs.
  void SwapLoanPatch();

  platform::IWindowSurface& surface_;
  platform::ITextRasterizer& text_;
  platform::IDesktopCapture& desktop_;
  platform::IRandom& random_;
  platform::IMessageBox& messageBox_;
  platform::TSize screenSize_;

  TAlign align_ = TAlign::alNone;
  bool autoSize_ = false;
  bool asScreen_ = false;
  int screenScaleWidth_ = 800;
  int screenScaleHeight_ = 600;
  bool canShow_ = true;
  bool canFloat_ = true;
  TBgStyle bgStyle_ = TBgStyle::bsSolid;
  TBgBgpStyle bgBgpStyle_ = TBgBgpStyle::bpNone;
  bool bgBgpFixHor_ = false;
  bool bgBgpFixVer_ = false;
  TColor bgSolidColor_ = 0;
  TColor bgGradientFromColor_ = 0;
  TColor bgGradientToColor_ = 0;
  TDirection bgGradientDirection_ = TDirection::bdUp;
  std::string bgPatternString_;
  TPicture bgPicture_;
  TBgMode bgPictureMode_ = TBgMode::bmCentered;
  std::vector<std::string> caption_;
  TFont capFont_;
  TCapPos capPos_ = TCapPos::cpTopCenter;
  float capPosHor_ = 0;
  float capPosVer_ = 0;
  bool capVisible_ = true;
  std::uint16_t showSpeed_ = 1;
  bool drawingCaption_ = false;
  bool floating_ = false;
  TPicPos picPos_ = TPicPos::poCenter;
  float picPosHor_ = 0;
  float picPosVer_ = 0;
  TPicSize picSize_ = TPicSize::psOriginal;
  float picSizeHor_ = 100;
  float picSizeVer_ = 100;
  TPicSizeRef picSizeRef_ = TPicSizeRef::psrScreen;
  bool picMasked_ = false;
  TPicture picMaskedPicture_;
  int picAngle_ = 0;
  int picOpacity_ = 255;
  TPicture picShapedPicture_;
  TPicture picture_;
  bool showing_ = false;
  std::uint16_t floatSpeed_ = 1;
  TTrPicStyle showInStyle_ = 1;
  TTrPicStyle showOutStyle_ = 1;
  TThreadPriority threadPriority_ = TThreadPriority::tpNormal;

  mutable TBitmap32 screenBgBitmap_;
  // The solid colour the background is, while its bitmap is not made.
  mutable bool bgSolidUnmade_ = false;
  TBitmap32 overlayBitmap_;
  mutable TBitmap32 clientBgBitmap_;
  TBitmap32 compositeBitmap_;
  std::uint64_t frameGeneration_ = 0;  // see FrameGeneration
  TBitmap32 captionBitmap_;
  TBitmap32 picBitmap_;
  TBitmap32 spareBitmap_;  // the previous PicBitmap's memory, while PicBitmap is empty
  TBitmap32 pictureDrawing_;  // see SetPictureDrawing
  bool picLent_ = false;   // PicBitmap holds Picture's pixels
  bool dropAtShowOut_ = false;  // within ShowOutAndDropPicture
  // While a lent picture is sent out, PicBitmap shows the background where it lies over
  // it; the picture's own pixels of that part wait here (at loanPatchAt_ in PicBitmap).
  TBitmap32 loanPatch_;
  TPoint loanPatchAt_;
  TRect picRect_{};
  bool picShown_ = false;
  bool inPaint_ = false;
  // Inside BeginUpdate / EndUpdate, and what the end owes.
  int updating_ = 0;
  bool rebuildOwed_ = false;
  bool repaintOwed_ = false;
  bool stamped_ = false;

  // Caption panel.
  bool captionShown_ = false;
  TPoint captionPos_{};
  TRegion captionRegion_;
  std::vector<TRect> captionRects_;  // client coordinates, empty while hidden
  TPixel captionColour_ = 0xFF000000u;

  // Which background ClientBgBitmap was made from.
  std::uint64_t bgVersion_ = 1;
  mutable std::uint64_t clientBgVersion_ = 0;
  mutable platform::TSize clientBgSize_{-1, -1};
  mutable bool clientBgAsScreen_ = false;
  mutable bool clientBgShared_ = false;

  // Transitions and floating.
  TPoint floatShownOrigin_{};
  TRect floatShown_{};
  int showMode_ = 0;
  int effectStyle_ = 0;
  int stepCount_ = 0;
  int queuedMode_ = 0;
  bool stopShowFlag_ = false;
  bool stopFloatFlag_ = false;

  std::unique_ptr<TMediaHost> media_;
};

class TAnimateThread;
class TFloatThread;

// The view as the show uses it: transitions and floating run on worker threads of the
// platform's thread host (trpic_motion.cpp, animate_thread.cpp, float_thread.cpp).
class TTrPic : public TCustomTrPic {
 public:
  explicit TTrPic(const TTrPicPlatform& platform);
  ~TTrPic() override;

  // Draws frame Step of EffectStyle (UI thread); StepPainted afterwards.
  void PaintEffectStep();
  // One pixel of floating motion (UI thread).
  void FloatStep();

  int Step() const { return step_; }
  bool StepPainted() const { return stepPainted_; }
  int FloatDir() const { return floatDir_; }
  void SetFloatDir(int value) { floatDir_ = value & 7; }
  bool HasShowInThread() const { return showInThread_ != nullptr; }
  bool HasShowOutThread() const { return showOutThread_ != nullptr; }
  bool HasFloatThread() const { return floatThread_ != nullptr; }
  // The worker threads the view was given (null: none); the show's work ahead runs there too.
  platform::IThreadHost* Threads() const { return threads_; }

 protected:
  void StartTransition(int mode) override;
  void StopTransitionWorkers() override;
  void StartFloatWorker(bool suspended) override;
  void ResumeFloatWorker() override;
  void StopFloatWorker() override;

 private:
  friend class TAnimateThread;
  friend class TFloatThread;
  void EnsureFrame();
  void AnimateThreadEnded(int mode);
  void FloatThreadEnded();
  // Puts the part of the picture the window shows back into the frame when a float ends.
  void SettleFloatFrame();

  platform::IThreadHost* threads_;
  platform::IWorkerThread* showInThread_ = nullptr;
  platform::IWorkerThread* showOutThread_ = nullptr;
  platform::IWorkerThread* floatThread_ = nullptr;
  int step_ = 0;
  bool stepPainted_ = false;
  // What the running transition's frames have drawn, valid while FrameGeneration stays
  // at frameMemoryGeneration_.
  effects::TFrameMemory frameMemory_;
  std::uint64_t frameMemoryGeneration_ = 0;
  int floatDir_ = 0;
  bool floatFrameClear_ = false;  // the frame holds background where the floating picture is
};

}  // namespace lumora
