#pragma once

#include "render/IccColourTransform.h"

#include <QRgb>

#include <array>
#include <optional>

// How a JPEG file's components hold colour, as libjpeg decodes them: the plain conversions
// from RGB into those, all values 0 to 255. A CMYK or YCCK file's ICC profile, when it has a
// usable one, gives the colours taken from RGB instead of the plain conversion.
class JpegColourModel
{
public:
    enum class Space
    {
        grey,
        yCbCr,
        rgb,
        cmyk,
        ycck,
    };
    using Samples = std::array<float, 4>;

    // inkInverted: the file stores CMYK as Adobe's programs do, 255 meaning no ink.
    JpegColourModel(Space space, bool inkInverted, std::optional<IccColourTransform> inks = std::nullopt);

    int componentCount() const;
    Samples fromRgb(float red, float green, float blue) const;
    // count pixels of componentCount() samples each, as libjpeg decodes them without converting,
    // into opaque RGB.
    void toRgbRow(const quint8* samples, int count, QRgb* pixels) const;

private:
    Samples inkFromRgb(float red, float green, float blue) const;

    Space m_space;
    bool m_inkInverted;
    std::optional<IccColourTransform> m_inks;
};
