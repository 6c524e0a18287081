#pragma once

#include "model/WatermarkSnapshot.h"
#include "render/FileOutcome.h"

#include <QString>

// Stamps designs onto picture files.
class WatermarkHelper
{
public:
    WatermarkHelper() = delete;

    // Raises Qt's limit on a decoded picture's memory from 128 MB (about 33 megapixels) to what
    // large camera pictures need, while a header claiming absurd dimensions is still refused.
    // Process-wide: call once at start-up, before any batch runs.
    static void allowLargePictures();

    // Stamps the design onto the PNG, JPEG or TIFF picture at inputFile (a regular file; format
    // by content, EXIF orientation applied) and writes it to outputPath: TIFF for TIFF content
    // or a ".tif"/".tiff" outputPath, every page stamped, lossless, alpha kept; otherwise PNG
    // when outputPath ends in ".png" (any case), JPEG bytes else. Pixels, pixel size, resolution
    // and RGB colour profile are kept; the design is laid out in each page's size in points
    // (pixels * 72 / dpi). A text design's text is a text with fields (see TextFields::fill):
    // {page} and {pages} read the TIFF page's number and the page count, 1 and 1 in any other
    // picture. A JPEG written as JPEG changes only in the blocks under the mark and
    // keeps its stored pixels, orientation tag and segments (see stampJpegBlocks); a PNG written
    // as PNG keeps its stored pixels and every chunk but its header and image data (PngChunks). The file
    // appears only when every byte is on the disk, replacing any file there; on failure nothing changes and
    // the reason is in words for the user. Never throws; safe on any thread.
    // The design's choice of pages counts a TIFF's pages in order and any other picture as page 1:
    // a TIFF page it leaves out is copied as stored, and a file it leaves out whole is not written.
    static FileOutcome watermarkImageFile(const QString& inputFile, const WatermarkSnapshot& settings,
                                          const QString& outputPath);
};
