#pragma once

#include "model/WatermarkSnapshot.h"

#include <QColor>
#include <QImage>
#include <QRect>
#include <QRectF>
#include <QString>
#include <QStringList>

#include <array>
#include <functional>
#include <optional>
#include <vector>

class QPDF;
class QPDFWriter;

// Building blocks for tests: hand-made PDFs through qpdf, pages rendered through poppler,
// and pixel probes.
namespace TestFiles {

// One page of a hand-made PDF. Content is raw PDF operators; /F1 is Helvetica.
struct Page
{
    QRectF mediaBox{0, 0, 612, 792};
    std::optional<QRectF> cropBox;
    int rotate = 0;
    QByteArray content;
};

// Writes a PDF with the given pages through qpdf. Rectangles are PDF rectangles (x, y, w, h).
// A locked PDF opens only with the password "user".
void writePdf(const QString& path, const std::vector<Page>& pages, bool locked = false);

// Writes a PDF of the objects given as PDF text, numbered from 1, the catalogue first; qpdf adds
// the stream lengths and cross-references as it writes the file the way configure sets up.
void writeObjects(const QString& path, const std::vector<QByteArray>& objects,
                  const std::function<void(QPDFWriter&)>& configure = {});

// Content operators that show text in Helvetica at (x, y).
QByteArray textContent(const QString& text, double x, double y, double size = 12);

// Renders one page (0-based) with poppler, as a reader sees it (boxes and rotation applied).
QImage renderPage(const QString& pdfPath, int pageIndex, double dpi = 72);

// The text poppler extracts from one page.
QString pageText(const QString& pdfPath, int pageIndex);

// What poppler offers on one page beyond its drawing, a line each: its links' web addresses and
// its form fields' values.
QStringList linksAndFields(const QString& pdfPath, int pageIndex);

// The bounding box of the pixels that satisfy the predicate; empty when none do.
QRect inkBounds(const QImage& image, const std::function<bool(QRgb)>& predicate);

// Empty when actual lies within tolerance of expected on both axes; otherwise where it lies.
QString distanceError(QPointF actual, QPointF expected, double tolerance);

// Pixels that are clearly red (the colour the tests give their designs).
bool isRed(QRgb pixel);
// Pixels that are clearly not white.
bool isInk(QRgb pixel);

// A text design in opaque red with the given place and rotation.
WatermarkSnapshot redText(const QString& text, double x = 50, double y = 50, double rotation = 0,
                          double fontSize = 24);

// A picture design showing the file at path.
WatermarkSnapshot pictureDesign(const QString& path, double imageSize = 100, double opacity = 1,
                                double x = 50, double y = 50, double rotation = 0);

// Writes a solid picture of the given size and colour in the given format ("png", "jpeg", ...).
void writeSolidPicture(const QString& path, QSize size, QColor color, const char* format = "png");
// A light picture with detail in every block, so that a block re-encoded without need would show
// and no codec packs it small.
QImage busyPicture(QSize size);
// The picture as Qt encodes it in the given format.
QByteArray encoded(const QImage& image, const char* format);

// The design drawn through the one drawing routine over a white canvas of the given size, one unit
// per pixel; what the drawing printed goes to printed, when given. Fails the running test when the
// painter is not left as the drawing found it.
QImage drawnOnWhite(const WatermarkSnapshot& design, QSize size = {400, 300}, QByteArray* printed = nullptr);

// A TIFF header and one directory, as in TIFF files and EXIF blocks, of {tag, value, denominator}
// entries: RATIONAL value / denominator, or SHORT value when the denominator is 0.
QByteArray tiffDirectory(bool bigEndian, const std::vector<std::array<quint32, 3>>& entries);

// Writes the bytes as a new file at path, replacing any file there.
void writeFile(const QString& path, const QByteArray& bytes);
// The bytes of the file at path; empty when it cannot be read.
QByteArray readFile(const QString& path);

// Writes the pictures as the pages of one TIFF through libtiff, 8-bit RGBA with unassociated
// alpha, each with the resolution of its dots per metre, the profile of its colour space, its
// orientation (upright when none is given), and descriptive text tags, XMP and IPTC naming its page.
void writeTiff(const QString& path, const std::vector<QImage>& pages,
               const std::vector<int>& orientations = {});
// Each page's descriptive text tags, XMP, IPTC and orientation, a line each.
QStringList tiffTags(const QString& path);

} // namespace TestFiles

#define VERIFY_NEAR(actual, expected, tolerance)                                                             \
    do {                                                                                                     \
        const QString nearError = TestFiles::distanceError(actual, expected, tolerance);                     \
        QVERIFY2(nearError.isEmpty(), qPrintable(nearError));                                                \
    } while (false)
