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

    // Stamps the design onto the PNG, JPEG or TIFF picture at inputFile (format recognised
    // by content, EXIF orientation applied) and writes it under the input's file name into
    // outputFolder: PNG when the extension is "png" (any case), JPEG bytes otherwise. The
    // output keeps the input's pixels, pixel size, resolution and colour profile; the design
    // is laid out in the picture's size in points (pixels * 72 / dpi). The file appears only
    // when complete, replacing any file of that name. Never throws; safe on any thread.
    static FileOutcome watermarkImageFile(const QString& inputFile, const WatermarkSnapshot& settings,
                                          const QString& outputFolder);
};
