#include "render/PixelKind.h"

#include <algorithm>

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
    const int scale = 65535 / from.maximum(), toMaximum = maximum();
    const auto rescale = [&](int sample) { return quint16((sample * scale * toMaximum + 32767) / 65535); };
    for (int x = 0; x < width; ++x, in += from.samplesPerPixel, out += samplesPerPixel) {
        if (from.colour == Colour::palette) {
            const QRgb c = from.palette[std::min<size_t>(in[0], from.palette.size() - 1)];
            const int eight[] = {qRed(c), qGreen(c), qBlue(c), qAlpha(c)};
            for (int s = 0; s < samplesPerPixel; ++s)
                out[s] = quint16(eight[std::min(s, 3)] * toMaximum / 255);
            continue;
        }
        const int grey = from.colour == Colour::greyInverted ? from.maximum() - in[0] : in[0];
        out[0] = out[1] = out[2] = rescale(grey);
        for (int s = 1; s < from.samplesPerPixel; ++s)
            out[s + 2] = rescale(in[s]);
    }
}
