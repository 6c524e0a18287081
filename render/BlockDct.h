#pragma once

#include <array>

// The 8 x 8 discrete cosine transform JPEG codes its blocks with, in floating point, samples
// and coefficients in natural (row by row) order. Coefficients are scaled as JPEG files hold
// them before quantisation, so inverse(forward(x)) is x.
namespace BlockDct {

using Block = std::array<float, 64>;

Block forward(const Block& samples);
Block inverse(const Block& coefficients);

} // namespace BlockDct
