#include "render/PixelKind.h"

#include <algorithm>

PixelKind PixelKind::atEightBits() const
{
    PixelKind grey = *this;
    grey.bitsPerSample = 8;
    return grey;
}

PixelKind PixelKind::inColour() const
{
    PixelKind rgb;
    rgb.colour = Colour::rgb;
    rgb.bitsPerSample = colour == Colour::palette ? 8 : std::max(bitsPerSample, 8);
    const int extras = samplesPerPixel - colourSamples();
    const bool paletteAlpha =
        colour == Colour::palette &&
        std::any_of(palette.begin(), palette.end(), [](QRgb c) { return qAlpha(c) < 255; });
    rgb.samplesPerPixel = 3 + extras + (paletteAlpha ? 1 : 0);
    rgb.alpha = paletteAlpha ? 3 : alpha < 0 ? -1 : alpha + 2;
    rgb.associatedAlpha = associatedAlpha;
    return rgb;
}

void PixelKind::convertRow(const PixelKind& from, const quint16* in, quint16* out, int width) const
{
    const qint64 fromMaximum = from.maximum(), toMaximum = maximum();
    const auto rescale = [&](qint64 sample) {
        return quint16((sample * toMaximum + fromMaximum / 2) / fromMaximum);
    };
    const int colours = colourSamples();
    const bool invert = (from.colour == Colour::greyInverted) != (colour == Colour::greyInverted);
    for (int x = 0; x < width; ++x, in += from.samplesPerPixel, out += samplesPerPixel) {
        if (from.colour == Colour::palette) {
            const QRgb c = from.palette[std::min<size_t>(in[0], from.palette.size() - 1)];
            const int eight[] = {qRed(c), qGreen(c), qBlue(c), qAlpha(c)};
            for (int s = 0; s < samplesPerPixel; ++s)
                out[s] = quint16(eight[std::min(s, 3)] * toMaximum / 255);
            continue;
        }
        const quint16 grey = rescale(invert ? fromMaximum - in[0] : in[0]);
        std::fill(out, out + colours, grey);
        for (int s = 1; s < from.samplesPerPixel; ++s)
            out[s + colours - 1] = rescale(in[s]);
    }
}
