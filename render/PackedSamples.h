#pragma once

#include <QtGlobal>

// Samples of 1, 2, 4, 8 or 16 bits as pictures pack them in a row (most significant bits first,
// 16-bit ones in the machine's byte order), to and from 16-bit integers.
namespace PackedSamples {

// Reads count samples from the start of row into out[0], out[stride], out[2 * stride]...
void unpack(const uchar* row, int bits, int count, quint16* out, int stride);
// Writes count samples from in[0], in[stride]... into the start of row; other bits stay.
void pack(const quint16* in, int stride, int bits, int count, uchar* row);

} // namespace PackedSamples
