#pragma once

#include "render/TiffCustomDirectory.h"

#include <QByteArray>
#include <QImage>
#include <QSizeF>

#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

// One page of a TIFF file as stamping reads and writes it.
struct TiffPage
{
    // The resolution tags as stored.
    struct Resolution
    {
        float x = 0;
        float y = 0;
        uint16_t unit = 2; // RESUNIT_INCH
    };

    // 8-bit RGBA with premultiplied alpha, or 8-bit RGBX when the page has none.
    QImage image;
    QSize storedSize;
    // The page stored its alpha unassociated (not premultiplied), and gets it back that way.
    bool unassociatedAlpha = false;
    // Where the design is laid out from: 72 when the page states no plausible resolution.
    QSizeF dotsPerInch{72, 72};
    std::optional<Resolution> resolution;
    // As stored; written only where it still describes the written samples.
    QByteArray iccProfile;
    std::optional<uint32_t> subfileType;
    // As stored; the pixels stay in the stored order, so the tag stays true.
    uint16_t orientation = 1;
    // A tag that describes the page rather than its pixels (text, XMP, IPTC, Photoshop's
    // resources, private tags), with its count and value bytes as libtiff hands them over.
    struct Tag
    {
        uint32_t tag = 0;
        uint32_t count = 0;
        QByteArray value;
        uint16_t privateType = 0; // a private tag's TIFF type; 0 for the tags libtiff knows
    };
    std::vector<Tag> descriptiveTags;
    // The EXIF and GPS directories the page points to.
    std::vector<TiffCustomDirectory> customDirectories;
    std::optional<std::pair<uint16_t, uint16_t>> pageNumber;
};
