#include "support/TestFiles.h"

#include "render/drawWatermark.h"
#include "support/StdoutCapture.h"

#include <QBuffer>
#include <QColorSpace>
#include <QDataStream>
#include <QFile>
#include <QImageWriter>
#include <QPainter>
#include <QRandomGenerator>
#include <QTest>

#include <poppler-form.h>
#include <poppler-qt6.h>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>
#include <qpdf/QPDFWriter.hh>
#include <tiffio.h>

namespace TestFiles {
namespace {

QPDFObjectHandle pdfRect(const QRectF& rect)
{
    return QPDFObjectHandle::newArray(
        QPDFObjectHandle::Rectangle(rect.left(), rect.top(), rect.right(), rect.bottom()));
}

std::unique_ptr<Poppler::Document> openDocument(const QString& pdfPath)
{
    auto document = Poppler::Document::load(pdfPath);
    if (document) {
        document->setRenderHint(Poppler::Document::Antialiasing, false);
        document->setRenderHint(Poppler::Document::TextAntialiasing, false);
    }
    return document;
}

constexpr uint32_t textTags[] = {
    TIFFTAG_ARTIST, TIFFTAG_COPYRIGHT, TIFFTAG_IMAGEDESCRIPTION, TIFFTAG_DATETIME, TIFFTAG_MAKE,
    TIFFTAG_MODEL,  TIFFTAG_SOFTWARE,  TIFFTAG_DOCUMENTNAME,     TIFFTAG_PAGENAME, TIFFTAG_HOSTCOMPUTER};
constexpr uint32_t privateTag = 65000; // a program's own, unknown to libtiff

} // namespace

void writePdf(const QString& path, const std::vector<Page>& pages, bool locked)
{
    QPDF pdf;
    pdf.emptyPDF();
    QPDFPageDocumentHelper document(pdf);
    for (const auto& wanted : pages) {
        auto page =
            QPDFObjectHandle::parse("<< /Type /Page /Resources << /Font << /F1 << /Type /Font /Subtype "
                                    "/Type1 /BaseFont /Helvetica /Encoding /WinAnsiEncoding >> >> >> >>");
        page.replaceKey("/MediaBox", pdfRect(wanted.mediaBox));
        if (wanted.cropBox)
            page.replaceKey("/CropBox", pdfRect(*wanted.cropBox));
        if (wanted.rotate != 0)
            page.replaceKey("/Rotate", QPDFObjectHandle::newInteger(wanted.rotate));
        page.replaceKey("/Contents", QPDFObjectHandle::newStream(&pdf, wanted.content.toStdString()));
        document.addPage(QPDFPageObjectHelper(pdf.makeIndirectObject(page)), false);
    }
    const QByteArray fileName = QFile::encodeName(path); // QPDFWriter keeps the pointer
    QPDFWriter writer(pdf, fileName.constData());
    if (locked)
        writer.setR6EncryptionParameters("user", "owner", true, true, true, true, true, true, qpdf_r3p_full,
                                         true);
    writer.write();
}

void writeObjects(const QString& path, const std::vector<QByteArray>& objects,
                  const std::function<void(QPDFWriter&)>& configure)
{
    QByteArray text = "%PDF-1.7\n";
    for (size_t i = 0; i < objects.size(); ++i)
        text += QByteArray::number(qulonglong(i + 1)) + " 0 obj\n" + objects[i] + "\nendobj\n";
    // qpdf writes /Size only into a trailer that has one.
    text += "trailer << /Root 1 0 R /Size " + QByteArray::number(qulonglong(objects.size() + 1)) + " >>\n";
    QPDF pdf;
    pdf.setSuppressWarnings(true); // about the lengths and cross-references it works out
    pdf.processMemoryFile("objects", text.constData(), size_t(text.size()));
    const QByteArray fileName = QFile::encodeName(path); // QPDFWriter keeps the pointer
    QPDFWriter writer(pdf, fileName.constData());
    if (configure)
        configure(writer);
    writer.write();
}

QByteArray textContent(const QString& text, double x, double y, double size)
{
    return QStringLiteral("BT /F1 %1 Tf %2 %3 Td (%4) Tj ET\n").arg(size).arg(x).arg(y).arg(text).toLatin1();
}

QImage renderPage(const QString& pdfPath, int pageIndex, double dpi)
{
    const auto document = openDocument(pdfPath);
    if (!document)
        return {};
    const auto page = document->page(pageIndex);
    return page ? page->renderToImage(dpi, dpi).convertToFormat(QImage::Format_RGB32) : QImage();
}

QString pageText(const QString& pdfPath, int pageIndex)
{
    const auto document = openDocument(pdfPath);
    const auto page = document ? document->page(pageIndex) : nullptr;
    return page ? page->text(QRectF()) : QString();
}

QStringList linksAndFields(const QString& pdfPath, int pageIndex)
{
    const auto document = openDocument(pdfPath);
    const auto page = document ? document->page(pageIndex) : nullptr;
    QStringList found;
    if (!page)
        return found;
    for (const auto& link : page->links()) {
        if (auto* browse = dynamic_cast<Poppler::LinkBrowse*>(link.get()))
            found << QStringLiteral("link to ") + browse->url();
    }
    for (const auto& field : page->formFields()) {
        if (auto* text = dynamic_cast<Poppler::FormFieldText*>(field.get()))
            found << field->fullyQualifiedName() + QStringLiteral(" shows ") + text->text();
        if (auto* button = dynamic_cast<Poppler::FormFieldButton*>(field.get()))
            found << field->fullyQualifiedName() + QStringLiteral(" checked ") +
                         QString::number(button->state());
    }
    return found;
}

QRect inkBounds(const QImage& image, const std::function<bool(QRgb)>& predicate)
{
    QRect bounds;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (predicate(image.pixel(x, y)))
                bounds |= QRect(x, y, 1, 1);
        }
    }
    return bounds;
}

QString distanceError(QPointF actual, QPointF expected, double tolerance)
{
    if (std::abs(actual.x() - expected.x()) <= tolerance && std::abs(actual.y() - expected.y()) <= tolerance)
        return {};
    return QStringLiteral("at (%1, %2), expected (%3, %4)")
        .arg(actual.x())
        .arg(actual.y())
        .arg(expected.x())
        .arg(expected.y());
}

bool isRed(QRgb pixel)
{
    return qRed(pixel) > 150 && qGreen(pixel) < 110 && qBlue(pixel) < 110;
}

bool isInk(QRgb pixel)
{
    return qGray(pixel) < 200;
}

WatermarkSnapshot redText(const QString& text, double x, double y, double rotation, double fontSize)
{
    return {.text = text,
            .fontSize = fontSize,
            .rotation = rotation,
            .id = QUuid::createUuid(),
            .xPosition = x,
            .yPosition = y,
            .textColor = WatermarkColor(1, 0, 0, 1),
            .fontName = QStringLiteral("DejaVu Sans")};
}

WatermarkSnapshot pictureDesign(const QString& path, double imageSize, double opacity, double x, double y,
                                double rotation)
{
    return {.opacity = opacity,
            .rotation = rotation,
            .id = QUuid::createUuid(),
            .imageData = QUrl::fromLocalFile(path),
            .imageSize = imageSize,
            .xPosition = x,
            .yPosition = y,
            .type = WatermarkType::image};
}

void writeSolidPicture(const QString& path, QSize size, QColor color, const char* format)
{
    QImage image(size, QImage::Format_ARGB32);
    image.fill(color);
    QImageWriter writer(path, format);
    QVERIFY2(writer.write(image), qPrintable(writer.errorString()));
}

QImage busyPicture(QSize size)
{
    QImage image(size, QImage::Format_RGB32);
    auto random = QRandomGenerator(7);
    for (int y = 0; y < size.height(); ++y)
        for (int x = 0; x < size.width(); ++x)
            image.setPixel(x, y,
                           qRgb(200 - x % 120 + random.bounded(40), 215 - y % 160 + random.bounded(40),
                                150 + random.bounded(60)));
    return image;
}

QByteArray encoded(const QImage& image, const char* format)
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    if (!writer.write(image))
        QTest::qFail(qPrintable(writer.errorString()), __FILE__, __LINE__);
    return buffer.data();
}

QImage drawnOnWhite(const WatermarkSnapshot& design, QSize size, QByteArray* printed)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    StdoutCapture capture;
    drawWatermark(painter, design, QRectF(image.rect()));
    const QByteArray output = capture.finish();
    if (printed)
        *printed = output;
    if (painter.opacity() != 1 || !painter.transform().isIdentity() || painter.pen() != QPen())
        QTest::qFail("the drawing leaves the painter changed", __FILE__, __LINE__);
    return image;
}

QByteArray tiffDirectory(bool bigEndian, const std::vector<std::array<quint32, 3>>& entries)
{
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out.setByteOrder(bigEndian ? QDataStream::BigEndian : QDataStream::LittleEndian);
    const auto count = quint32(entries.size());
    out << quint16(bigEndian ? 0x4D4D : 0x4949) << quint16(42) << quint32(8) << quint16(count);
    for (quint32 i = 0; i < count; ++i) {
        const auto [tag, value, denominator] = entries[i];
        out << quint16(tag) << quint16(denominator ? 5 : 3) << quint32(1)
            << (denominator ? 14 + 12 * count + 8 * i : value << (bigEndian ? 16 : 0));
    }
    out << quint32(0); // no further directory, then every entry's rational
    for (const auto& entry : entries)
        out << entry[1] << entry[2];
    return bytes;
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    file.remove(); // rewriting a file in place waits for the disk on ext4
    QVERIFY2(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size(), qPrintable(path));
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeTiff(const QString& path, const std::vector<QImage>& pages, const std::vector<int>& orientations)
{
    TIFF* tiff = TIFFOpen(QFile::encodeName(path).constData(), "w");
    QVERIFY2(tiff, qPrintable(path));
    for (size_t index = 0; index < pages.size(); ++index) {
        const QImage& page = pages[index];
        QImage pixels = page.convertToFormat(QImage::Format_RGBA8888);
        const uint16_t alpha = EXTRASAMPLE_UNASSALPHA;
        TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, uint32_t(pixels.width()));
        TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, uint32_t(pixels.height()));
        TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, 8);
        TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, 4);
        TIFFSetField(tiff, TIFFTAG_EXTRASAMPLES, 1, &alpha);
        TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
        TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
        TIFFSetField(tiff, TIFFTAG_COMPRESSION, COMPRESSION_LZW);
        TIFFSetField(tiff, TIFFTAG_XRESOLUTION, pixels.dotsPerMeterX() * 0.0254);
        TIFFSetField(tiff, TIFFTAG_YRESOLUTION, pixels.dotsPerMeterY() * 0.0254);
        TIFFSetField(tiff, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
        const QByteArray profile = page.colorSpace().iccProfile();
        if (!profile.isEmpty())
            TIFFSetField(tiff, TIFFTAG_ICCPROFILE, uint32_t(profile.size()), profile.constData());
        TIFFSetField(tiff, TIFFTAG_ORIENTATION,
                     uint16_t(index < orientations.size() ? orientations[index] : 1));
        for (const uint32_t tag : textTags)
            TIFFSetField(tiff, tag, qPrintable(QStringLiteral("%1 of page %2").arg(tag).arg(index)));
        const QByteArray xmp = "<x:xmpmeta xmlns:x='adobe:ns:meta/'/>";
        TIFFSetField(tiff, TIFFTAG_XMLPACKET, uint32_t(xmp.size()), xmp.constData());
        const QByteArray iptc("\x1c\x02\x78\x00\x09A caption", 14); // counted in bytes since libtiff 4.5
        TIFFSetField(tiff, TIFFTAG_RICHTIFFIPTC, uint32_t(iptc.size()), iptc.constData());
        static char name[] = "private";
        const TIFFFieldInfo info{privateTag, TIFF_VARIABLE2, TIFF_VARIABLE2, TIFF_SHORT, FIELD_CUSTOM, 1, 1,
                                 name};
        const uint16_t values[] = {7, uint16_t(index)};
        TIFFMergeFieldInfo(tiff, &info, 1);
        TIFFSetField(tiff, privateTag, uint32_t(2), values);
        for (int y = 0; y < pixels.height(); ++y)
            TIFFWriteScanline(tiff, pixels.scanLine(y), uint32_t(y), 0);
        TIFFWriteDirectory(tiff);
    }
    TIFFClose(tiff);
}

QStringList tiffTags(const QString& path)
{
    QStringList lines;
    TIFF* tiff = TIFFOpen(QFile::encodeName(path).constData(), "r");
    do {
        for (const uint32_t tag : textTags) {
            const char* text = nullptr;
            TIFFGetField(tiff, tag, &text);
            lines << QString::fromLatin1(text);
        }
        for (const uint32_t tag : {uint32_t(TIFFTAG_XMLPACKET), uint32_t(TIFFTAG_RICHTIFFIPTC), privateTag}) {
            uint32_t count = 0;
            const char* data = nullptr;
            TIFFGetField(tiff, tag, &count, &data);
            lines << QString::fromLatin1(QByteArray(data, count * (tag == privateTag ? 2 : 1)).toHex());
        }
        uint16_t orientation = 0;
        TIFFGetField(tiff, TIFFTAG_ORIENTATION, &orientation);
        lines << QString::number(orientation);
    } while (TIFFReadDirectory(tiff));
    TIFFClose(tiff);
    return lines;
}

} // namespace TestFiles
