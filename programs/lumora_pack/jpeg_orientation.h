// Portraits stored on their side: cameras and phones keep the sensor's orientation and
// record in the EXIF Orientation tag how the picture is to be turned. The player shows
// pictures as stored, so the packer turns them upright.
#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <stdexcept>
#include <vector>

namespace lumora::pack {

// The EXIF Orientation of a JPEG file: 1 (as stored) to 8; 0 when the file is not a
// JPEG or has no valid tag.
int JpegOrientation(std::span<const std::byte> jpeg);

struct TUprightJpeg {
  std::vector<std::byte> Bytes;  // the upright file, its Orientation tag set to 1
  // True when the compressed data was only rearranged (no loss); false when the size
  // did not allow that and the picture was decoded and compressed again.
  bool Lossless = true;
};

// A JPEG that cannot be decoded or transformed.
class EJpegTransformError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The file turned upright, every other marker (EXIF, colour profile, comments) kept;
// nullopt when its orientation is 1 or unknown. Throws EJpegTransformError.
std::optional<TUprightJpeg> UprightJpeg(std::span<const std::byte> jpeg);

// A description of what orientation o asks for, as "turned 90 degrees clockwise".
const char* OrientationAction(int o);

}  // namespace lumora::pack
