#include "model/WatermarkColor.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <array>
#include <cmath>

namespace {

constexpr const char* archiveClass = "WatermarkColor";
constexpr int archiveVersion = 1;
constexpr const char* colorSpace = "sRGB";

} // namespace

WatermarkColor WatermarkColor::fromQColor(const QColor& color)
{
    const QColor rgb = color.toRgb();
    return {rgb.redF(), rgb.greenF(), rgb.blueF(), rgb.alphaF()};
}

QColor WatermarkColor::toQColor() const
{
    auto channel = [](double value) { return static_cast<float>(std::clamp(value, 0.0, 1.0)); };
    return QColor::fromRgbF(channel(m_red), channel(m_green), channel(m_blue), channel(m_alpha));
}

Result<QByteArray> WatermarkColor::archive() const
{
    const std::array<double, 4> components{m_red, m_green, m_blue, m_alpha};
    for (double component : components) {
        if (!std::isfinite(component))
            return Result<QByteArray>::failure(
                QStringLiteral("The colour has a component that is not a finite number (%1).")
                    .arg(component));
    }
    nlohmann::ordered_json json;
    json["class"] = archiveClass;
    json["version"] = archiveVersion;
    json["colorSpace"] = colorSpace;
    json["components"] = components;
    return QByteArray::fromStdString(json.dump());
}

Result<WatermarkColor> WatermarkColor::unarchive(const QByteArray& bytes)
{
    using Failure = Result<WatermarkColor>;
    const auto json = nlohmann::json::parse(bytes.constBegin(), bytes.constEnd(), nullptr, false);
    if (json.is_discarded() || !json.is_object())
        return Failure::failure(QStringLiteral("The data isn't a colour archive."));
    const auto cls = json.find("class");
    if (cls == json.end() || *cls != archiveClass)
        return Failure::failure(QStringLiteral("The archive doesn't hold a colour."));
    const auto version = json.find("version");
    if (version == json.end() || !version->is_number_integer())
        return Failure::failure(QStringLiteral("The colour archive has no version."));
    if (*version != archiveVersion)
        return Failure::failure(
            QStringLiteral("The colour archive has version %1, which this program cannot read.")
                .arg(version->get<long long>()));
    const auto space = json.find("colorSpace");
    if (space == json.end() || *space != colorSpace)
        return Failure::failure(QStringLiteral("The colour archive is not in the sRGB colour space."));
    const auto components = json.find("components");
    if (components == json.end() || !components->is_array() || components->size() != 4)
        return Failure::failure(QStringLiteral("The colour archive doesn't hold four components."));
    std::array<double, 4> values{};
    for (size_t i = 0; i < values.size(); ++i) {
        const auto& component = (*components)[i];
        if (!component.is_number())
            return Failure::failure(QStringLiteral("Colour component %1 is not a number.").arg(i));
        values[i] = component.get<double>();
    }
    return WatermarkColor(values[0], values[1], values[2], values[3]);
}
