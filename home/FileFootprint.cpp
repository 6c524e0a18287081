#include "home/FileFootprint.h"

#include "home/WatermarkRouting.h"
#include "render/PdfFootprint.h"
#include "render/RegularFile.h"
#include "render/TiffFile.h"

#include <QFile>
#include <QImageReader>
#include <QSize>

#include <algorithm>

namespace {

// Four bytes a pixel for the decoded picture and four for the canvas the design is drawn on.
constexpr qint64 bytesPerPixel = 8;

// Its pages are stamped one at a time, each a strip or tile at a time, or whole.
qint64 tiffFootprint(QIODevice& file)
{
    TiffFile pages(file, TiffFile::Mode::read);
    qint64 largest = pages.isOpen() ? 0 : file.size();
    for (bool more = pages.isOpen(); more;) {
        largest = std::max(largest, pages.stampingFootprint());
        const auto next = pages.nextPage();
        more = next && *next;
    }
    return largest;
}

} // namespace

qint64 FileFootprint::of(const QString& path)
{
    // Opened without blocking and read through the descriptor checked, as the stamping reads it.
    const auto opened = RegularFile::open(path);
    if (!opened)
        return 0;
    if (WatermarkRouting::routeFor(path) == WatermarkRoute::pdf)
        return PdfFootprint::of(*opened);
    if (WatermarkRouting::routeFor(path) != WatermarkRoute::image)
        return opened->size();
    QFile file;
    if (!file.open(opened->descriptor(), QIODevice::ReadOnly, QFileDevice::DontCloseHandle))
        return opened->size();
    QImageReader reader(&file);
    reader.setDecideFormatFromContent(true);
    if (reader.format() == "tiff" && file.seek(0))
        return tiffFootprint(file);
    const QSize size = reader.size();
    return size.isValid() ? qint64(size.width()) * size.height() * bytesPerPixel : opened->size();
}
