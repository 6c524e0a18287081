#include "render/JpegColourModel.h"

#include <algorithm>

namespace {

using Samples = JpegColourModel::Samples;

Samples toYCbCr(float r, float g, float b)
{
    return {0.299f * r + 0.587f * g + 0.114f * b, -0.168736f * r - 0.331264f * g + 0.5f * b + 128,
            0.5f * r - 0.418688f * g - 0.081312f * b + 128, 0};
}

Samples fromYCbCr(float y, float cb, float cr)
{
    return {y + 1.402f * (cr - 128), y - 0.344136f * (cb - 128) - 0.714136f * (cr - 128),
            y + 1.772f * (cb - 128), 0};
}

QRgb rgb(const Samples& s)
{
    const auto channel = [](float value) { return std::clamp(int(value + 0.5f), 0, 255); };
    return qRgb(channel(s[0]), channel(s[1]), channel(s[2]));
}

} // namespace

JpegColourModel::JpegColourModel(Space space, bool inkInverted) : m_space(space), m_inkInverted(inkInverted)
{}

int JpegColourModel::componentCount() const
{
    switch (m_space) {
    case Space::grey:
        return 1;
    case Space::yCbCr:
    case Space::rgb:
        return 3;
    case Space::cmyk:
    case Space::ycck:
        break;
    }
    return 4;
}

JpegColourModel::Samples JpegColourModel::fromRgb(float red, float green, float blue) const
{
    switch (m_space) {
    case Space::grey:
        return {toYCbCr(red, green, blue)[0], 0, 0, 0};
    case Space::yCbCr:
        return toYCbCr(red, green, blue);
    case Space::rgb:
        return {red, green, blue, 0};
    case Space::cmyk:
    case Space::ycck:
        break;
    }
    // The plain conversion: black takes what the three colours share.
    const float k = 1 - std::max({red, green, blue}) / 255;
    const auto ink = [k](float channel) { return k >= 1 ? 0.f : (1 - channel / 255 - k) / (1 - k); };
    const auto stored = [this](float amount) { return 255 * (m_inkInverted ? 1 - amount : amount); };
    Samples cmyk{stored(ink(red)), stored(ink(green)), stored(ink(blue)), stored(k)};
    if (m_space == Space::cmyk)
        return cmyk;
    // YCCK holds the first three as the luma and chroma of their complements, as libjpeg codes it.
    Samples ycck = toYCbCr(255 - cmyk[0], 255 - cmyk[1], 255 - cmyk[2]);
    ycck[3] = cmyk[3];
    return ycck;
}

QRgb JpegColourModel::toRgb(const Samples& s) const
{
    switch (m_space) {
    case Space::grey:
        return rgb({s[0], s[0], s[0], 0});
    case Space::yCbCr:
        return rgb(fromYCbCr(s[0], s[1], s[2]));
    case Space::rgb:
        return rgb(s);
    case Space::cmyk:
    case Space::ycck:
        break;
    }
    Samples cmyk = s;
    if (m_space == Space::ycck) {
        const Samples complement = fromYCbCr(s[0], s[1], s[2]);
        cmyk = {255 - complement[0], 255 - complement[1], 255 - complement[2], s[3]};
    }
    const auto ink = [this](float stored) {
        return std::clamp(m_inkInverted ? 1 - stored / 255 : stored / 255, 0.f, 1.f);
    };
    const float white = 255 * (1 - ink(cmyk[3]));
    return rgb({white * (1 - ink(cmyk[0])), white * (1 - ink(cmyk[1])), white * (1 - ink(cmyk[2])), 0});
}
