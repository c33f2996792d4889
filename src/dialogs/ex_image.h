// TExImage: the image control of the settings dialog's banner. Beside the picture it
// shows it keeps a second one (PictureBak) and reports the mouse entering and leaving
// it; swapping the pictures on hover is left to whoever handles those events.
#pragma once

#include "imaging/picture.h"

#include <functional>
#include <memory>
#include <string>

namespace lumora {

class TExImage {
 public:
  using TNotifyEvent = std::function<void(TExImage& sender)>;

  TExImage();
  ~TExImage();
  TExImage(const TExImage&) = delete;
  TExImage& operator=(const TExImage&) = delete;

  TPicture& Picture() { return picture_; }
  const TPicture& Picture() const { return picture_; }
  const TPicture& PictureBak() const { return *pictureBak_; }
  // Copies picture into PictureBak (with AutoSize on, the control takes its size);
  // null clears PictureBak's graphic.
  void SetPictureBak(const TPicture* picture);

  bool Enabled = true;
  bool AutoSize = false;
  bool Stretch = false;
  bool HandCursor = false;
  bool ShowHint = false;
  std::string Hint;  // ANSI
  int Width = 0;
  int Height = 0;

  TNotifyEvent OnMouseEnter;
  TNotifyEvent OnMouseExit;
  TNotifyEvent OnClick;

  // What the window system reports about the control.
  void MouseEntered();
  void MouseLeft();
  void Clicked();

 private:
  TPicture picture_;
  std::unique_ptr<TPicture> pictureBak_;
};

}  // namespace lumora
