#include "render/PackedSamples.h"

#include <cstring>

namespace PackedSamples {

void unpack(const uchar* row, int bits, int count, quint16* out, int stride)
{
    for (int i = 0; i < count; ++i, out += stride) {
        if (bits == 16) {
            std::memcpy(out, row + size_t(i) * 2, 2);
        } else if (bits == 8) {
            *out = row[i];
        } else {
            const size_t bit = size_t(i) * size_t(bits);
            *out = quint16((row[bit / 8] >> (8 - bits - int(bit % 8))) & ((1 << bits) - 1));
        }
    }
}

void pack(const quint16* in, int stride, int bits, int count, uchar* row)
{
    for (int i = 0; i < count; ++i, in += stride) {
        if (bits == 16) {
            std::memcpy(row + size_t(i) * 2, in, 2);
        } else if (bits == 8) {
            row[i] = uchar(*in);
        } else {
            const size_t bit = size_t(i) * size_t(bits);
            const int shift = 8 - bits - int(bit % 8), mask = ((1 << bits) - 1) << shift;
            row[bit / 8] = uchar((row[bit / 8] & ~mask) | ((*in << shift) & mask));
        }
    }
}

} // namespace PackedSamples
