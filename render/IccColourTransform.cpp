#include "render/IccColourTransform.h"

#include <vector>

#include <lcms2.h>

namespace {

using Space = IccColourTransform::Space;

cmsColorSpaceSignature signatureOf(Space space)
{
    switch (space) {
    case Space::grey:
        return cmsSigGrayData;
    case Space::rgb:
        return cmsSigRgbData;
    case Space::cmyk:
        break;
    }
    return cmsSigCmykData;
}

cmsUInt32Number samplesFormat(Space space, int bytes)
{
    switch (space) {
    case Space::grey:
        return COLORSPACE_SH(PT_GRAY) | CHANNELS_SH(1) | BYTES_SH(bytes);
    case Space::rgb:
        return COLORSPACE_SH(PT_RGB) | CHANNELS_SH(3) | BYTES_SH(bytes);
    case Space::cmyk:
        break;
    }
    return COLORSPACE_SH(PT_CMYK) | CHANNELS_SH(4) | BYTES_SH(bytes);
}

// A QRgb is one 32-bit word, alpha in its top byte; a QRgba64 holds 16-bit red, green, blue and
// alpha in that order.
#if Q_BYTE_ORDER == Q_LITTLE_ENDIAN
constexpr cmsUInt32Number qRgbFormat = TYPE_BGRA_8;
#else
constexpr cmsUInt32Number qRgbFormat = TYPE_ARGB_8;
#endif

std::shared_ptr<void> profileHandle(cmsHPROFILE profile)
{
    return profile ? std::shared_ptr<void>(profile, [](void* p) { cmsCloseProfile(p); }) : nullptr;
}

// The cache of the last pixel converted would be shared state between threads.
std::shared_ptr<void> transform(cmsHPROFILE from, cmsUInt32Number fromFormat, cmsHPROFILE to,
                                cmsUInt32Number toFormat)
{
    cmsHTRANSFORM made = cmsCreateTransform(from, fromFormat, to, toFormat, INTENT_RELATIVE_COLORIMETRIC,
                                            cmsFLAGS_BLACKPOINTCOMPENSATION | cmsFLAGS_NOCACHE);
    return made ? std::shared_ptr<void>(made, [](void* t) { cmsDeleteTransform(t); }) : nullptr;
}

} // namespace

std::optional<IccColourTransform> IccColourTransform::toProfile(const QByteArray& profile, Space target)
{
    const auto destination =
        profileHandle(cmsOpenProfileFromMem(profile.constData(), cmsUInt32Number(profile.size())));
    const auto sRgb = profileHandle(cmsCreate_sRGBProfile());
    if (!destination || !sRgb || cmsGetColorSpace(destination.get()) != signatureOf(target))
        return std::nullopt;
    auto eightBit = transform(sRgb.get(), qRgbFormat, destination.get(), samplesFormat(target, 1));
    auto sixteenBit = transform(sRgb.get(), TYPE_RGBA_16, destination.get(), samplesFormat(target, 2));
    auto toRgb = transform(destination.get(), samplesFormat(target, 1), sRgb.get(), TYPE_RGB_8);
    if (!eightBit || !sixteenBit)
        return std::nullopt;
    return IccColourTransform(target, std::move(eightBit), std::move(sixteenBit), std::move(toRgb));
}

IccColourTransform::IccColourTransform(Space space, Handle eightBit, Handle sixteenBit, Handle toRgb)
    : m_space(space), m_eightBit(std::move(eightBit)), m_sixteenBit(std::move(sixteenBit)),
      m_toRgb(std::move(toRgb))
{}

IccColourTransform::Space IccColourTransform::space() const
{
    return m_space;
}

int IccColourTransform::channelCount() const
{
    switch (m_space) {
    case Space::grey:
        return 1;
    case Space::rgb:
        return 3;
    case Space::cmyk:
        break;
    }
    return 4;
}

IccColourTransform::Samples IccColourTransform::convert(const QColor& colour) const
{
    const QRgba64 pixel = colour.rgba64();
    std::array<quint16, 4> converted{};
    convertRow(&pixel, 1, converted.data());
    Samples samples{};
    for (int c = 0; c < channelCount(); ++c)
        samples[size_t(c)] = float(converted[size_t(c)]) / 65535;
    return samples;
}

void IccColourTransform::convertRow(const QRgb* pixels, int count, quint8* samples) const
{
    cmsDoTransform(m_eightBit.get(), pixels, samples, cmsUInt32Number(count));
}

void IccColourTransform::convertRow(const QRgba64* pixels, int count, quint16* samples) const
{
    cmsDoTransform(m_sixteenBit.get(), pixels, samples, cmsUInt32Number(count));
}

void IccColourTransform::convertRowToRgb(const quint8* samples, int count, QRgb* pixels) const
{
    std::vector<quint8> rgb(size_t(count) * 3);
    cmsDoTransform(m_toRgb.get(), samples, rgb.data(), cmsUInt32Number(count));
    for (size_t i = 0; i < size_t(count); ++i)
        pixels[i] = qRgb(rgb[3 * i], rgb[3 * i + 1], rgb[3 * i + 2]);
}
