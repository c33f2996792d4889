#include "dialogs/ex_image.h"

namespace lumora {

TExImage::TExImage() : pictureBak_(std::make_unique<TPicture>()) {}

TExImage::~TExImage() = default;

void TExImage::SetPictureBak(const TPicture* picture) {
  if (picture == nullptr) {
    pictureBak_->Clear();
    return;
  }
  *pictureBak_ = *picture;
  if (AutoSize) {
    Width = picture->Width();
    Height = picture->Height();
  }
}

void TExImage::MouseEntered() {
  if (Enabled && OnMouseEnter) OnMouseEnter(*this);
}

void TExImage::MouseLeft() {
  if (Enabled && OnMouseExit) OnMouseExit(*this);
}

void TExImage::Clicked() {
  if (Enabled && OnClick) OnClick(*this);
}

}  // namespace lumora
