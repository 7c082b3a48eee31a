// The update window's two pictures, PNG files embedded into the program at build time
// (update/CMakeLists.txt turns each update/pictures/*.png into a byte array).
#pragma once

#include <cstddef>

namespace klv::pictures {

// The window's picture `im`: a globe, 64 x 64 with an alpha channel.
extern const unsigned char kGlobePng[];
extern const std::size_t kGlobePngSize;
// The error picture `imError`: a white cross on a red disc, 64 x 64 with an alpha channel.
extern const unsigned char kErrorPng[];
extern const std::size_t kErrorPngSize;

}  // namespace klv::pictures
