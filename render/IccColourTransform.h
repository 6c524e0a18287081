#pragma once

#include <QByteArray>
#include <QColor>
#include <QRgb>
#include <QRgba64>

#include <array>
#include <memory>
#include <optional>

// Converts sRGB colours into the colour space an ICC profile describes, and back, through
// LittleCMS, with the relative colorimetric intent and black point compensation. Samples come out
// as the profile counts them: for CMYK 0 is no ink. A transform is immutable and may be shared
// between threads.
class IccColourTransform
{
public:
    enum class Space
    {
        grey,
        rgb,
        cmyk,
    };
    using Samples = std::array<float, 4>;

    // The transform into the profile given by its bytes, or nullopt when LittleCMS cannot read
    // the profile, it does not describe target, or no transform can be built to it.
    static std::optional<IccColourTransform> toProfile(const QByteArray& profile, Space target);

    Space space() const;
    int channelCount() const;
    // The colour's samples, each 0 to 1; those past channelCount() are 0.
    Samples convert(const QColor& colour) const;
    // count unpremultiplied pixels into channelCount() samples each, alpha ignored.
    void convertRow(const QRgb* pixels, int count, quint8* samples) const;
    void convertRow(const QRgba64* pixels, int count, quint16* samples) const;
    // Whether the profile also converts back into sRGB (one may describe only the way in).
    bool convertsToRgb() const { return m_toRgb != nullptr; }
    // count pixels of channelCount() 8-bit samples each back into opaque sRGB, when it does.
    void convertRowToRgb(const quint8* samples, int count, QRgb* pixels) const;

private:
    using Handle = std::shared_ptr<void>;
    IccColourTransform(Space space, Handle eightBit, Handle sixteenBit, Handle toRgb);

    Space m_space;
    Handle m_eightBit;   // QRgb in, 8-bit samples out
    Handle m_sixteenBit; // QRgba64 in, 16-bit samples out
    Handle m_toRgb;      // 8-bit samples in, 8-bit RGB out
};
