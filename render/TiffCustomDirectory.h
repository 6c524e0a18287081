#pragma once

#include <QByteArray>

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

struct tiff;

// A private directory a TIFF page points to (EXIF, with the interoperability directory inside it,
// or GPS), its values held as libtiff reads them, so they can be written into another file.
class TiffCustomDirectory
{
public:
    enum class Kind
    {
        exif,
        gps,
    };

    // The directory of this kind that tiff's current page points to, if any; tiff is back at that
    // page afterwards. Nothing when there is none or it cannot be read.
    static std::optional<TiffCustomDirectory> readFrom(tiff* tiff, Kind kind);

    // Writes the directory (and the one inside it) into out as a directory of its own, before the
    // page that will point to it; out is left at a new, empty page. Its offset, or nothing.
    std::optional<uint64_t> writeTo(tiff* out) const;

    // The page tag that points to this directory.
    uint32_t pointerTag() const { return pointerTag(m_kind); }
    static uint32_t pointerTag(Kind kind);

private:
    struct Value
    {
        uint32_t tag = 0;
        uint16_t type = 0; // the tag's TIFF type, for tags libtiff does not know
        uint32_t count = 0;
        QByteArray bytes; // count values as libtiff holds them
    };

    static std::optional<TiffCustomDirectory> readAt(tiff* tiff, Kind kind, uint64_t offset);
    bool setValues(tiff* out, std::optional<uint64_t> innerOffset) const;
    std::optional<uint64_t> write(tiff* out) const;

    Kind m_kind = Kind::exif;
    std::vector<Value> m_values;
    std::shared_ptr<const TiffCustomDirectory> m_inner; // the interoperability directory in EXIF
};
