// The view's side of the media host: the media operations as the show calls them, and
// what the host asks of the view.
#include "trpic/trpic.h"

#include "trpic/media_host.h"

#include <memory>

namespace lumora {

void TCustomTrPic::SetMediaPlatform(const TMediaHostPlatform& platform) {
  FreeMedia();
  media_ = std::make_unique<TMediaHost>(static_cast<IMediaView&>(*this), platform, random_, screenSize_);
}

bool TCustomTrPic::PrepareMedia(int kind, bool previewMsg) { return media_ && media_->PrepareMedia(kind, previewMsg); }

bool TCustomTrPic::OpenMedia(const std::filesystem::path& fileName, TPicSize picSize, const std::string& shapeFile,
                             float picPosVer, float picPosHor, TPicPos picPos, TPicSizeRef picSizeRef, float picSizeVer,
                             float picSizeHor) {
  return media_ && media_->OpenMedia(fileName, picSize, shapeFile, picPosVer, picPosHor, picPos, picSizeRef, picSizeVer,
                                     picSizeHor);
}

void TCustomTrPic::PlayMedia(std::uint32_t interval) {
  if (media_) media_->PlayMedia(interval);
}

void TCustomTrPic::RewindMedia() {
  if (media_) media_->RewindMedia();
}

void TCustomTrPic::CloseMedia() {
  if (media_) media_->CloseMedia();
}

void TCustomTrPic::FreeMedia() {
  if (media_) media_->FreeMedia();
}

platform::TSize TCustomTrPic::MediaClientSize() const { return {ClientW(), ClientH()}; }

const TPicture& TCustomTrPic::MediaShapePicture() const { return picShapedPicture_; }

void TCustomTrPic::MediaProgress(bool complete, int percent) {
  if (OnPlayVideoProgress) OnPlayVideoProgress(*this, 0, complete, percent);
}

}  // namespace lumora
