#include "render/MarkCompositor.h"

#include <algorithm>
#include <cmath>

namespace {

// A Bayer matrix: thresholds spread so that any coverage shows as an even pattern of that density.
constexpr int bayer[8][8] = {
    {0, 32, 8, 40, 2, 34, 10, 42},    {48, 16, 56, 24, 50, 18, 58, 26}, {12, 44, 4, 36, 14, 46, 6, 38},
    {60, 28, 52, 20, 62, 30, 54, 22}, {3, 35, 11, 43, 1, 33, 9, 41},    {51, 19, 59, 27, 49, 17, 57, 25},
    {15, 47, 7, 39, 13, 45, 5, 37},   {63, 31, 55, 23, 61, 29, 53, 21},
};

constexpr double full = 65535.0;

// The mark's lightness, premultiplied like its channels.
double lightness(QRgba64 mark)
{
    return (0.299 * mark.red() + 0.587 * mark.green() + 0.114 * mark.blue()) / full;
}

quint16 sample(double value, int maximum)
{
    return quint16(std::lround(std::clamp(value, 0.0, 1.0) * maximum));
}

} // namespace

MarkCompositor::MarkCompositor(PixelKind kind, const MarkLayer& mark, InkOf inkOf)
    : m_kind(std::move(kind)), m_mark(mark), m_inkOf(std::move(inkOf))
{
    for (int i = int(m_kind.palette.size()) - 1; i >= 0; --i)
        m_paletteIndex.insert(m_kind.palette[size_t(i)], i);
}

bool MarkCompositor::compositeRow(quint16* samples, int x0, int y, int width)
{
    const QRect bounds = m_mark.bounds();
    if (y < bounds.top() || y > bounds.bottom())
        return true;
    const int from = std::max(x0, bounds.left()), to = std::min(x0 + width, bounds.right() + 1);
    const size_t pixelSamples = size_t(m_kind.samplesPerPixel);
    std::array<quint16, 8> was{};
    for (int x = from; x < to; ++x) {
        const QRgba64 mark = m_mark.at(x, y);
        if (mark.alpha() == 0)
            continue;
        quint16* pixel = samples + size_t(x - x0) * pixelSamples;
        const size_t kept = std::min(pixelSamples, was.size());
        std::copy_n(pixel, kept, was.begin());
        if (m_kind.isBilevel()) {
            // One bit has no alpha to hide a mark behind, and multiplying only ever adds dark ink.
            const double coverage = mark.alpha() / full;
            const bool dark = lightness(mark) / coverage < 0.5;
            const WatermarkSnapshot::Layer layer = m_mark.layer();
            const bool inks = layer == WatermarkSnapshot::Layer::over ||
                              (layer == WatermarkSnapshot::Layer::multiply && dark);
            if (inks && coverage > (bayer[y & 7][x & 7] + 0.5) / 64) {
                pixel[0] = quint16(dark == (m_kind.colour == PixelKind::Colour::grey) ? 0 : 1);
                if (m_kind.alpha >= 0) // a dot of the mark is opaque, also over a transparent pixel
                    pixel[m_kind.alpha] = 1;
            }
        } else if (m_kind.colour == PixelKind::Colour::palette) {
            if (!blendPalette(pixel, mark))
                return false;
        } else {
            blendColour(pixel, mark);
        }
        m_shown = m_shown || !std::equal(pixel, pixel + kept, was.begin());
    }
    return true;
}

std::array<quint16, 4> MarkCompositor::markColour(QRgba64 mark)
{
    switch (m_kind.colour) {
    case PixelKind::Colour::rgb:
        return {mark.red(), mark.green(), mark.blue(), 0};
    case PixelKind::Colour::grey:
        return {quint16(std::lround(lightness(mark) * full)), 0, 0, 0};
    case PixelKind::Colour::greyInverted:
        return {quint16(std::lround((mark.alpha() / full - lightness(mark)) * full)), 0, 0, 0};
    default:
        break;
    }
    // Inks are worked out for the colour itself, then weighted by its alpha as the channels are.
    const auto known = m_inks.constFind(mark);
    if (known != m_inks.constEnd())
        return *known;
    const QRgba64 colour = mark.unpremultiplied();
    std::array<quint16, 4> ink{};
    if (m_inkOf) {
        ink = m_inkOf(colour);
    } else {
        const double k = 1 - std::max({colour.red(), colour.green(), colour.blue()}) / full;
        const auto part = [k](quint16 c) { return k >= 1 ? 0.0 : (1 - c / full - k) / (1 - k); };
        ink = {sample(part(colour.red()), 65535), sample(part(colour.green()), 65535),
               sample(part(colour.blue()), 65535), sample(k, 65535)};
    }
    for (quint16& amount : ink)
        amount = quint16(std::lround(amount * (mark.alpha() / full)));
    m_inks.insert(mark, ink);
    return ink;
}

// Light (0 black, 1 white) premultiplied by alpha, in and out.
double MarkCompositor::blend(double mark, double picture, double markAlpha, double pictureAlpha) const
{
    switch (m_mark.layer()) {
    case WatermarkSnapshot::Layer::under:
        return picture + mark * (1 - pictureAlpha);
    case WatermarkSnapshot::Layer::multiply:
        return mark * picture + mark * (1 - pictureAlpha) + picture * (1 - markAlpha);
    case WatermarkSnapshot::Layer::over:
        break;
    }
    return mark + picture * (1 - markAlpha);
}

void MarkCompositor::blendColour(quint16* pixel, QRgba64 mark)
{
    const double a = mark.alpha() / full, maximum = m_kind.maximum();
    const double below = m_kind.alpha < 0 ? 1.0 : pixel[m_kind.alpha] / maximum;
    const double alpha = a + below * (1 - a);
    const bool unassociated = m_kind.alpha >= 0 && !m_kind.associatedAlpha;
    // Ink samples blend as the light they leave (over gives the same either way).
    const bool ink =
        m_mark.layer() != WatermarkSnapshot::Layer::over &&
        (m_kind.colour == PixelKind::Colour::cmyk || m_kind.colour == PixelKind::Colour::greyInverted);
    const std::array<quint16, 4> colour = markColour(mark);
    for (int c = 0; c < m_kind.colourSamples(); ++c) {
        const double over = colour[size_t(c)] / full, was = pixel[c] / maximum;
        const double under = unassociated ? was * below : was;
        double result = ink ? alpha - blend(a - over, below - under, a, below) : blend(over, under, a, below);
        if (unassociated)
            result = alpha > 0 ? result / alpha : was;
        pixel[c] = sample(result, m_kind.maximum());
    }
    if (m_kind.alpha >= 0)
        pixel[m_kind.alpha] = sample(alpha, m_kind.maximum());
}

bool MarkCompositor::blendPalette(quint16* pixel, QRgba64 mark)
{
    const QRgb under = m_kind.palette[std::min<size_t>(pixel[0], m_kind.palette.size() - 1)];
    const double a = mark.alpha() / full, below = qAlpha(under) / 255.0;
    const double alpha = a + below * (1 - a);
    const auto channel = [&](quint16 over, int was) {
        return alpha > 0 ? int(std::lround(blend(over / full, was / 255.0 * below, a, below) / alpha * 255))
                         : was;
    };
    const QRgb result = qRgba(channel(mark.red(), qRed(under)), channel(mark.green(), qGreen(under)),
                              channel(mark.blue(), qBlue(under)), int(std::lround(alpha * 255)));
    if (result == under)
        return true;
    auto index = m_paletteIndex.constFind(result);
    if (index == m_paletteIndex.constEnd()) {
        if (int(m_kind.palette.size()) >= m_kind.paletteLimit)
            return false;
        m_kind.palette.push_back(result);
        index = m_paletteIndex.insert(result, int(m_kind.palette.size()) - 1);
    }
    pixel[0] = quint16(*index);
    return true;
}
