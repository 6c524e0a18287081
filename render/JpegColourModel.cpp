#include "render/JpegColourModel.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

using Samples = JpegColourModel::Samples;

Samples toYCbCr(float r, float g, float b)
{
    return {0.299f * r + 0.587f * g + 0.114f * b, -0.168736f * r - 0.331264f * g + 0.5f * b + 128,
            0.5f * r - 0.418688f * g - 0.081312f * b + 128, 0};
}

quint8 clamped(float value)
{
    return quint8(std::clamp(std::lround(value), 0L, 255L));
}

// libjpeg's YCbCr to RGB.
std::array<quint8, 3> fromYCbCr(float y, float cb, float cr)
{
    return {clamped(y + 1.402f * (cr - 128)), clamped(y - 0.344136f * (cb - 128) - 0.714136f * (cr - 128)),
            clamped(y + 1.772f * (cb - 128))};
}

} // namespace

JpegColourModel::JpegColourModel(Space space, bool inkInverted, std::optional<IccColourTransform> inks)
    : m_space(space), m_inkInverted(inkInverted), m_inks(std::move(inks))
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
    const Samples ink = inkFromRgb(red, green, blue);
    const auto stored = [this](float amount) { return 255 * (m_inkInverted ? 1 - amount : amount); };
    Samples cmyk{stored(ink[0]), stored(ink[1]), stored(ink[2]), stored(ink[3])};
    if (m_space == Space::cmyk)
        return cmyk;
    // YCCK holds the first three as the luma and chroma of their complements, as libjpeg codes it.
    Samples ycck = toYCbCr(255 - cmyk[0], 255 - cmyk[1], 255 - cmyk[2]);
    ycck[3] = cmyk[3];
    return ycck;
}

// Each ink's amount, 0 to 1.
JpegColourModel::Samples JpegColourModel::inkFromRgb(float red, float green, float blue) const
{
    if (m_inks && m_inks->space() == IccColourTransform::Space::cmyk)
        return m_inks->convert(QColor::fromRgbF(red / 255, green / 255, blue / 255));
    // The plain conversion: black takes what the three colours share.
    const float k = 1 - std::max({red, green, blue}) / 255;
    const auto ink = [k](float channel) { return k >= 1 ? 0.f : (1 - channel / 255 - k) / (1 - k); };
    return {ink(red), ink(green), ink(blue), k};
}

void JpegColourModel::toRgbRow(const quint8* samples, int count, QRgb* pixels) const
{
    const int components = componentCount();
    std::vector<quint8> inks(m_inks && m_inks->convertsToRgb() && components == 4 ? size_t(count) * 4 : 0);
    for (int i = 0; i < count; ++i) {
        const quint8* s = samples + size_t(i) * size_t(components);
        switch (m_space) {
        case Space::grey:
            pixels[i] = qRgb(s[0], s[0], s[0]);
            continue;
        case Space::yCbCr: {
            const auto rgb = fromYCbCr(s[0], s[1], s[2]);
            pixels[i] = qRgb(rgb[0], rgb[1], rgb[2]);
            continue;
        }
        case Space::rgb:
            pixels[i] = qRgb(s[0], s[1], s[2]);
            continue;
        case Space::cmyk:
        case Space::ycck:
            break;
        }
        std::array<quint8, 4> cmyk{s[0], s[1], s[2], s[3]};
        if (m_space == Space::ycck) { // the complements of the first three, as luma and chroma
            const auto rgb = fromYCbCr(s[0], s[1], s[2]);
            cmyk = {quint8(255 - rgb[0]), quint8(255 - rgb[1]), quint8(255 - rgb[2]), s[3]};
        }
        if (m_inkInverted) // ink amounts, 255 meaning all ink
            for (quint8& ink : cmyk)
                ink = quint8(255 - ink);
        if (!inks.empty()) {
            std::copy(cmyk.begin(), cmyk.end(), inks.begin() + 4 * i);
            continue;
        }
        // The plain conversion, as fromRgb's reversed.
        const auto channel = [k = 255 - cmyk[3]](quint8 ink) { return quint8((255 - ink) * k / 255); };
        pixels[i] = qRgb(channel(cmyk[0]), channel(cmyk[1]), channel(cmyk[2]));
    }
    if (!inks.empty())
        m_inks->convertRowToRgb(inks.data(), count, pixels);
}
