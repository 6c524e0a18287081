#include "support/TestFiles.h"

#include <QDir>
#include <QFile>
#include <QImageWriter>
#include <QTemporaryDir>
#include <QTest>

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
    for (const auto& wanted : pages) {
        auto page = QPDFObjectHandle::newDictionary();
        page.replaceKey("/Type", QPDFObjectHandle::newName("/Page"));
        page.replaceKey("/MediaBox", pdfRect(wanted.mediaBox));
        if (wanted.cropBox)
            page.replaceKey("/CropBox", pdfRect(*wanted.cropBox));
        if (wanted.rotate != 0)
            page.replaceKey("/Rotate", QPDFObjectHandle::newInteger(wanted.rotate));
        auto resources = QPDFObjectHandle::newDictionary();
        auto fonts = QPDFObjectHandle::newDictionary();
        fonts.replaceKey("/F1", font);
        resources.replaceKey("/Font", fonts);
        page.replaceKey("/Resources", resources);
        page.replaceKey("/Contents", QPDFObjectHandle::newStream(&pdf, wanted.content.toStdString()));
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

QPointF centreOf(const QRect& rect)
{
    return QRectF(rect).center();
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

Folders testFolders(const QTemporaryDir& dir)
{
    const QString test = QString::fromLatin1(QTest::currentTestFunction());
    Folders folders{dir.filePath(test + QStringLiteral("/in")), dir.filePath(test + QStringLiteral("/out"))};
    QDir().mkpath(folders.in);
    QDir().mkpath(folders.out);
    return folders;
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

} // namespace TestFiles
