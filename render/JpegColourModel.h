#pragma once

#include <QRgb>

#include <array>

// How a JPEG file's components hold colour, as libjpeg decodes them: the plain conversions
// between those and RGB, all values 0 to 255.
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
    JpegColourModel(Space space, bool inkInverted);

    int componentCount() const;
    Samples fromRgb(float red, float green, float blue) const;
    QRgb toRgb(const Samples& samples) const;

private:
    Space m_space;
    bool m_inkInverted;
};
