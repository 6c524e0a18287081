#pragma once

#include "model/Result.h"
#include "model/WatermarkSnapshot.h"

#include <QByteArray>

#include <nlohmann/json.hpp>

#include <vector>

// The stored JSON form of designs: members in a fixed order, "/" escaped as "\/", the id in
// upper case. Decoding is strict: a missing or mistyped required member fails the design.
namespace WatermarkCoding {

// Fails for a number that is not finite. A colour that cannot be archived is left out,
// with an "Error archiving color: " line, and does not fail the design.
Result<nlohmann::ordered_json> encode(const WatermarkSnapshot& design);
Result<WatermarkSnapshot> decode(const nlohmann::json& object);

// Compact JSON text of the whole list; fails when any design fails.
Result<QByteArray> encodeList(const std::vector<WatermarkSnapshot>& designs);
// Fails when the bytes are not a JSON array or any one element fails.
Result<std::vector<WatermarkSnapshot>> decodeList(const QByteArray& bytes);
// One design from the JSON text of one element of the stored array.
Result<WatermarkSnapshot> decodeOne(const QByteArray& bytes);

// A design id as it is stored and printed: 36 characters, upper case, no braces.
QString uuidString(const QUuid& id);

} // namespace WatermarkCoding
