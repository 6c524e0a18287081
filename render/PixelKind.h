#pragma once

#include <QRgb>

#include <vector>

// How a picture stores its pixels: what its colour samples mean, how many bits each has, and
// which sample, if any, is its alpha. Samples are unpacked to 16-bit integers for compositing.
struct PixelKind
{
    enum class Colour
    {
        grey,         // 0 is black
        greyInverted, // 0 is white (a fax's MinIsWhite)
        rgb,
        cmyk, // ink amounts, 0 is none
        palette,
    };

    Colour colour = Colour::rgb;
    int bitsPerSample = 8;
    int samplesPerPixel = 3; // colour samples, then any extra ones
    int alpha = -1;          // the alpha sample's index; -1 when there is none
    bool associatedAlpha = false;
    std::vector<QRgb> palette; // a palette picture's colours (alpha from a PNG's tRNS)
    int paletteLimit = 0;      // entries the file can hold; more than palette.size() leaves room

    int colourSamples() const { return colour == Colour::rgb ? 3 : colour == Colour::cmyk ? 4 : 1; }
    bool isBilevel() const
    {
        return bitsPerSample == 1 && (colour == Colour::grey || colour == Colour::greyInverted);
    }
    int maximum() const { return (1 << bitsPerSample) - 1; }

    // The smallest RGB kind holding this grey or palette kind and a coloured mark: 8 or 16 bits,
    // alpha where this kind had it, its extra samples kept after the colour.
    PixelKind inColour() const;
    // This grey kind at 8 bits, which holds a mark's shades where 2 or 4 bits cannot.
    PixelKind atEightBits() const;
    // A row of samples of the grey or palette kind from, converted to this grey or RGB kind.
    void convertRow(const PixelKind& from, const quint16* in, quint16* out, int width) const;
};
