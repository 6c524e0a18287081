#include "model/WatermarkCoding.h"

#include "model/StandardOutput.h"

#include <QRegularExpression>

#include <algorithm>
#include <array>
#include <cmath>

namespace WatermarkCoding {
namespace {

using Json = nlohmann::json;

template <typename T> Result<T> fail(const QString& reason)
{
    return Result<T>::failure(reason);
}

QString keyError(const char* key, const char* expected)
{
    return QStringLiteral("\"%1\" is missing or is not %2.").arg(QLatin1String(key), QLatin1String(expected));
}

// A present, non-null member; JSON null counts as missing, as it does for the stored form.
const Json* member(const Json& object, const char* key)
{
    const auto it = object.find(key);
    return it == object.end() || it->is_null() ? nullptr : &*it;
}

std::optional<double> number(const Json& object, const char* key)
{
    const Json* value = member(object, key);
    return value && value->is_number() ? std::optional(value->get<double>()) : std::nullopt;
}

std::optional<QString> string(const Json& object, const char* key)
{
    const Json* value = member(object, key);
    return value && value->is_string() ? std::optional(QString::fromStdString(value->get<std::string>()))
                                       : std::nullopt;
}

std::optional<QUuid> uuid(const Json& object, const char* key)
{
    // Anchored as a whole: "$" alone would also match before a final line break, and
    // QUuid::fromString ignores whatever follows the digits.
    static const QRegularExpression canonical(QRegularExpression::anchoredPattern(
        QStringLiteral("[0-9A-Fa-f]{8}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{12}")));
    const auto text = string(object, key);
    if (!text || !canonical.match(*text).hasMatch())
        return std::nullopt;
    return QUuid::fromString(*text);
}

// A colour that does not unarchive is reported and left black; it never fails the design.
WatermarkColor textColor(const Json& object)
{
    const Json* value = member(object, "textColor");
    if (!value)
        return WatermarkColor::black();
    QString error = QStringLiteral("The colour data is not a Base64 string.");
    if (value->is_string()) {
        const auto base64 = QByteArray::fromStdString(value->get<std::string>());
        const auto bytes = QByteArray::fromBase64Encoding(base64, QByteArray::AbortOnBase64DecodingErrors);
        if (bytes) {
            const auto color = WatermarkColor::unarchive(*bytes);
            if (color)
                return *color;
            error = color.error();
        } else {
            error = QStringLiteral("The colour data is not valid Base64.");
        }
    }
    StandardOutput::printLine(QStringLiteral("Error unarchiving color: ") + error);
    return WatermarkColor::black();
}

// The stored names of the placement's choices, in the order of their enumerations.
using Snapshot = WatermarkSnapshot;
constexpr std::array layoutNames{"single", "tiled"};
constexpr std::array anchorNames{"custom", "topLeft", "top",        "topRight", "left",
                                 "center", "right",   "bottomLeft", "bottom",   "bottomRight"};
constexpr std::array sizeReferenceNames{"points", "shorterSide", "longerSide", "width", "height"};
constexpr std::array layerNames{"over", "under", "multiply"};

template <typename Enum, size_t count>
const char* nameOf(Enum value, const std::array<const char*, count>& names)
{
    return names.at(static_cast<size_t>(value));
}

// The placement's members are optional: a design stored before they existed has none, and one
// stored by a later version may hold a choice this one does not know. Either way the member
// keeps its default, today's behaviour, rather than costing the whole list.
template <typename Enum, size_t count>
void readChoice(const Json& object, const char* key, const std::array<const char*, count>& names, Enum& field)
{
    const auto value = string(object, key);
    for (size_t i = 0; value && i < count; ++i) {
        if (*value == QLatin1String(names[i]))
            field = static_cast<Enum>(i);
    }
}

void readPlacement(const Json& object, WatermarkSnapshot& design)
{
    readChoice(object, "layout", layoutNames, design.layout);
    readChoice(object, "anchor", anchorNames, design.anchor);
    readChoice(object, "sizeReference", sizeReferenceNames, design.sizeReference);
    readChoice(object, "layer", layerNames, design.layer);
    for (auto [key, field] :
         {std::pair{"tileGapX", &design.tileGapX}, std::pair{"tileGapY", &design.tileGapY},
          std::pair{"margin", &design.margin}, std::pair{"relativeSize", &design.relativeSize}})
        *field = number(object, key).value_or(*field);
    if (const Json* stagger = member(object, "tileStagger"); stagger && stagger->is_boolean())
        design.tileStagger = stagger->get<bool>();
    // Pages that do not read are kept as written, and the design stamps nothing until they are
    // chosen again: stamping every page would mark pages the user never chose.
    if (const Json* pages = member(object, "pages"))
        design.pages =
            PageSelection::stored(pages->is_string() ? QString::fromStdString(pages->get<std::string>())
                                                     : QString::fromStdString(pages->dump()));
}

bool finite(const WatermarkSnapshot& design)
{
    for (double value :
         {design.fontSize, design.opacity, design.rotation, design.imageSize, design.xPosition,
          design.yPosition, design.tileGapX, design.tileGapY, design.margin, design.relativeSize}) {
        if (!std::isfinite(value))
            return false;
    }
    return true;
}

} // namespace

Result<nlohmann::ordered_json> encode(const WatermarkSnapshot& design)
{
    using Encoded = Result<nlohmann::ordered_json>;
    if (!finite(design))
        return Encoded::failure(QStringLiteral("A number of the design is not finite."));
    nlohmann::ordered_json json;
    json["text"] = design.text.toStdString();
    json["fontSize"] = design.fontSize;
    json["opacity"] = design.opacity;
    json["rotation"] = design.rotation;
    json["id"] = uuidString(design.id).toStdString();
    if (design.imageData)
        json["imageData"] = design.imageData->toString(QUrl::FullyEncoded).toStdString();
    json["imageSize"] = design.imageSize;
    json["type"] = rawValue(design.type).toStdString();
    json["xPosition"] = design.xPosition;
    json["yPosition"] = design.yPosition;
    const auto archived = design.textColor.archive();
    if (archived)
        json["textColor"] = archived->toBase64().toStdString();
    else
        StandardOutput::printLine(QStringLiteral("Error archiving color: ") + archived.error());
    json["fontName"] = design.fontName.toStdString();
    json["watermarkName"] = design.watermarkName.toStdString();
    // After every member of the earlier form, which keeps its meaning; readers skip what they do not know.
    json["layout"] = nameOf(design.layout, layoutNames);
    json["tileGapX"] = design.tileGapX;
    json["tileGapY"] = design.tileGapY;
    json["tileStagger"] = design.tileStagger;
    json["anchor"] = nameOf(design.anchor, anchorNames);
    json["margin"] = design.margin;
    json["sizeReference"] = nameOf(design.sizeReference, sizeReferenceNames);
    json["relativeSize"] = design.relativeSize;
    json["layer"] = nameOf(design.layer, layerNames);
    // Left out for every page, so a design that never chose its pages is stored as before.
    if (!design.pages.isAll())
        json["pages"] = design.pages.text().toStdString();
    return json;
}

Result<WatermarkSnapshot> decode(const Json& object)
{
    using Decoded = Result<WatermarkSnapshot>;
    if (!object.is_object())
        return fail<WatermarkSnapshot>(QStringLiteral("A design is not a JSON object."));
    WatermarkSnapshot design;
    const auto text = string(object, "text");
    if (!text)
        return fail<WatermarkSnapshot>(keyError("text", "a string"));
    design.text = *text;
    for (auto [key, field] : {std::pair{"fontSize", &design.fontSize}, std::pair{"opacity", &design.opacity},
                              std::pair{"rotation", &design.rotation}}) {
        const auto value = number(object, key);
        if (!value)
            return fail<WatermarkSnapshot>(keyError(key, "a number"));
        *field = *value;
    }
    const auto id = uuid(object, "id");
    if (!id)
        return fail<WatermarkSnapshot>(keyError("id", "a UUID"));
    design.id = *id;
    const auto type = string(object, "type");
    const auto kind = type ? watermarkTypeFromRawValue(*type) : std::nullopt;
    if (!kind)
        return fail<WatermarkSnapshot>(keyError("type", "\"text\" or \"image\""));
    design.type = *kind;

    if (member(object, "imageData")) {
        const auto location = string(object, "imageData");
        const QUrl url(location.value_or(QString()), QUrl::StrictMode);
        if (!location || location->isEmpty() || !url.isValid())
            return fail<WatermarkSnapshot>(keyError("imageData", "a URL"));
        design.imageData = url;
    }
    if (member(object, "imageSize")) {
        const auto size = number(object, "imageSize");
        if (!size)
            return fail<WatermarkSnapshot>(keyError("imageSize", "a number"));
        design.imageSize = *size;
    }
    for (auto [key, field] :
         {std::pair{"xPosition", &design.xPosition}, std::pair{"yPosition", &design.yPosition}}) {
        const auto value = number(object, key);
        if (!value)
            return fail<WatermarkSnapshot>(keyError(key, "a number"));
        *field = *value;
    }
    for (auto [key, field] :
         {std::pair{"fontName", &design.fontName}, std::pair{"watermarkName", &design.watermarkName}}) {
        const auto value = string(object, key);
        if (!value)
            return fail<WatermarkSnapshot>(keyError(key, "a string"));
        *field = *value;
    }
    design.textColor = textColor(object);
    readPlacement(object, design);
    return Decoded(std::move(design));
}

Result<QByteArray> encodeList(const std::vector<WatermarkSnapshot>& designs)
{
    // Checked for every design before any is encoded: encoding prints the colour errors, and a
    // list that will not be written must print nothing.
    if (!std::all_of(designs.begin(), designs.end(), finite))
        return Result<QByteArray>::failure(QStringLiteral("A number of a design is not finite."));
    nlohmann::ordered_json array = nlohmann::ordered_json::array();
    for (const auto& design : designs) {
        auto encoded = encode(design);
        if (!encoded)
            return Result<QByteArray>::failure(encoded.error());
        array.push_back(std::move(encoded).value());
    }
    // "/" appears in JSON text only inside strings, so escaping every one escapes exactly those.
    std::string text = array.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
    std::string escaped;
    escaped.reserve(text.size() + text.size() / 16);
    for (char c : text) {
        if (c == '/')
            escaped += '\\';
        escaped += c;
    }
    return QByteArray::fromStdString(escaped);
}

Result<std::vector<WatermarkSnapshot>> decodeList(const QByteArray& bytes)
{
    using Decoded = Result<std::vector<WatermarkSnapshot>>;
    const auto json = Json::parse(bytes.constBegin(), bytes.constEnd(), nullptr, false);
    if (json.is_discarded() || !json.is_array())
        return Decoded::failure(QStringLiteral("The saved designs are not a JSON array."));
    std::vector<WatermarkSnapshot> designs;
    designs.reserve(json.size());
    for (const auto& element : json) {
        auto design = decode(element);
        if (!design)
            return Decoded::failure(design.error());
        designs.push_back(std::move(design).value());
    }
    return designs;
}

QString uuidString(const QUuid& id)
{
    return id.toString(QUuid::WithoutBraces).toUpper();
}

Result<WatermarkSnapshot> decodeOne(const QByteArray& bytes)
{
    const auto json = Json::parse(bytes.constBegin(), bytes.constEnd(), nullptr, false);
    if (json.is_discarded())
        return fail<WatermarkSnapshot>(QStringLiteral("The design is not valid JSON."));
    return decode(json);
}

} // namespace WatermarkCoding
