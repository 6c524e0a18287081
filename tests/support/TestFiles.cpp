#include "support/TestFiles.h"

#include <QBuffer>
#include <QFile>
#include <QImageReader>
#include <QImageWriter>
#include <QTest>
#include <QtEndian>

#include <poppler-qt6.h>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>
#include <qpdf/QPDFWriter.hh>

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

} // namespace

void writePdf(const QString& path, const std::vector<Page>& pages)
{
    QPDF pdf;
    pdf.emptyPDF();
    auto font = pdf.makeIndirectObject(QPDFObjectHandle::parse(
        "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding /WinAnsiEncoding >>"));
    QPDFPageDocumentHelper document(pdf);
    for (const auto& spec : pages) {
        auto page = QPDFObjectHandle::newDictionary();
        page.replaceKey("/Type", QPDFObjectHandle::newName("/Page"));
        page.replaceKey("/MediaBox", pdfRect(spec.mediaBox));
        if (spec.cropBox)
            page.replaceKey("/CropBox", pdfRect(*spec.cropBox));
        if (spec.rotate != 0)
            page.replaceKey("/Rotate", QPDFObjectHandle::newInteger(spec.rotate));
        auto resources = QPDFObjectHandle::newDictionary();
        auto fonts = QPDFObjectHandle::newDictionary();
        fonts.replaceKey("/F1", font);
        resources.replaceKey("/Font", fonts);
        page.replaceKey("/Resources", resources);
        page.replaceKey("/Contents", QPDFObjectHandle::newStream(&pdf, spec.content.toStdString()));
        document.addPage(QPDFPageObjectHelper(pdf.makeIndirectObject(page)), false);
    }
    const QByteArray fileName = QFile::encodeName(path); // QPDFWriter keeps the pointer
    QPDFWriter writer(pdf, fileName.constData());
    writer.write();
}

void rewritePdf(const QString& path, const std::function<void(QPDF&)>& edit,
                const std::function<void(QPDFWriter&)>& configure)
{
    const QString edited = path + QStringLiteral(".edited");
    {
        QPDF pdf;
        const QByteArray input = QFile::encodeName(path);
        pdf.processFile(input.constData());
        edit(pdf);
        const QByteArray output = QFile::encodeName(edited);
        QPDFWriter writer(pdf, output.constData());
        if (configure)
            configure(writer);
        writer.write();
    }
    QFile::remove(path);
    QFile::rename(edited, path);
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

int pageCount(const QString& pdfPath)
{
    const auto document = openDocument(pdfPath);
    return document ? document->numPages() : -1;
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
    WatermarkSnapshot design;
    design.text = text;
    design.fontSize = fontSize;
    design.xPosition = x;
    design.yPosition = y;
    design.rotation = rotation;
    design.textColor = WatermarkColor(1, 0, 0, 1);
    design.fontName = QStringLiteral("DejaVu Sans");
    design.id = QUuid::createUuid();
    return design;
}

WatermarkSnapshot pictureDesign(const QString& path, double imageSize, double opacity, double x, double y,
                                double rotation)
{
    WatermarkSnapshot design;
    design.type = WatermarkType::image;
    design.imageData = QUrl::fromLocalFile(path);
    design.imageSize = imageSize;
    design.opacity = opacity;
    design.xPosition = x;
    design.yPosition = y;
    design.rotation = rotation;
    design.id = QUuid::createUuid();
    return design;
}

void writeSolidPicture(const QString& path, QSize size, QColor color, const char* format)
{
    QImage image(size, QImage::Format_ARGB32);
    image.fill(color);
    QImageWriter writer(path, format);
    QVERIFY2(writer.write(image), qPrintable(writer.errorString()));
}

QByteArray encodePicture(const QImage& image, const char* format)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    if (!writer.write(image))
        qWarning("cannot encode %s: %s", format, qPrintable(writer.errorString()));
    return bytes;
}

void writeBytes(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    QVERIFY2(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size(), qPrintable(path));
}

QByteArray readBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QByteArray formatOf(const QString& path)
{
    QImageReader reader(path);
    reader.setDecideFormatFromContent(true);
    return reader.format();
}

QImage readPicture(const QString& path)
{
    QImageReader reader(path);
    reader.setDecideFormatFromContent(true);
    reader.setAutoTransform(true);
    return reader.read();
}

QByteArray pngChunk(const QByteArray& type, const QByteArray& data)
{
    const QByteArray body = type + data;
    quint32 crc = 0xFFFFFFFF;
    for (const char byte : body) {
        crc ^= uchar(byte);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    QByteArray chunk(4, Qt::Uninitialized);
    qToBigEndian(quint32(data.size()), chunk.data());
    chunk += body;
    chunk += QByteArray(4, Qt::Uninitialized);
    qToBigEndian(~crc, chunk.data() + chunk.size() - 4);
    return chunk;
}

QByteArray withoutPngChunks(const QByteArray& png, const QByteArray& type)
{
    QByteArray result = png.left(8);
    for (qsizetype pos = 8; pos + 12 <= png.size();) {
        const qsizetype size = 12 + qFromBigEndian<quint32>(png.constData() + pos);
        if (png.mid(pos + 4, 4) != type)
            result += png.mid(pos, size);
        pos += size;
    }
    return result;
}

QByteArray withJpegSegment(const QByteArray& jpeg, uchar marker, const QByteArray& payload)
{
    const qsizetype jfifEnd = 4 + qFromBigEndian<quint16>(jpeg.constData() + 4);
    QByteArray segment(4, Qt::Uninitialized);
    segment[0] = char(0xFF);
    segment[1] = char(marker);
    qToBigEndian(quint16(payload.size() + 2), segment.data() + 2);
    return jpeg.left(jfifEnd) + segment + payload + jpeg.mid(jfifEnd);
}

QByteArray tiffStructure(bool bigEndian, const std::vector<TiffEntry>& entries)
{
    QByteArray bytes;
    const auto put = [&](quint32 value, int size, qsizetype at = -1) {
        char buffer[4];
        if (size == 2)
            bigEndian ? qToBigEndian(quint16(value), buffer) : qToLittleEndian(quint16(value), buffer);
        else
            bigEndian ? qToBigEndian(value, buffer) : qToLittleEndian(value, buffer);
        if (at < 0)
            bytes.append(buffer, size);
        else
            bytes.replace(at, size, QByteArray(buffer, size));
    };
    bytes = bigEndian ? QByteArray("MM\0*", 4) : QByteArray("II*\0", 4);
    put(8, 4);
    put(quint32(entries.size()), 2);
    std::vector<qsizetype> rationalSlots;
    for (const auto& entry : entries) {
        put(entry.tag, 2);
        put(entry.type, 2);
        put(1, 4);
        if (entry.type == 5)
            rationalSlots.push_back(bytes.size());
        put(entry.type == 3 ? entry.value << (bigEndian ? 16 : 0) : entry.value, 4);
    }
    put(0, 4); // no further directory
    std::size_t slot = 0;
    for (const auto& entry : entries) {
        if (entry.type != 5)
            continue;
        put(quint32(bytes.size()), 4, rationalSlots[slot++]);
        put(entry.value, 4);
        put(entry.denominator, 4);
    }
    return bytes;
}

} // namespace TestFiles
