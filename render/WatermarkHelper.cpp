#include "render/WatermarkHelper.h"

#include "render/ImageResolution.h"
#include "render/OutputLocation.h"
#include "render/drawWatermark.h"

#include <QColorSpace>
#include <QFileInfo>
#include <QImage>
#include <QImageReader>
#include <QImageWriter>
#include <QPainter>
#include <QSaveFile>
#include <QTransform>

#include <exception>

namespace {

constexpr double pointsPerInch = 72.0;
constexpr double metresPerInch = 0.0254;
// High enough not to visibly degrade photographs, while keeping files a sensible size.
constexpr int jpegQuality = 90;

struct Picture
{
    QImage image;
    QSizeF dotsPerInch;
};

// Turns the picture upright as its orientation tag asks. Qt's own orientation step would drop
// the colour profile, so the turn happens here and the profile is put back.
QImage upright(QImage image, QImageIOHandler::Transformations transformation)
{
    if (transformation == QImageIOHandler::TransformationNone)
        return image;
    const QColorSpace colorSpace = image.colorSpace();
    if (transformation == QImageIOHandler::TransformationRotate270) {
        image = image.transformed(QTransform().rotate(270));
    } else {
        image = std::move(image).mirrored(transformation.testFlag(QImageIOHandler::TransformationMirror),
                                          transformation.testFlag(QImageIOHandler::TransformationFlip));
        if (transformation.testFlag(QImageIOHandler::TransformationRotate90))
            image = image.transformed(QTransform().rotate(90));
    }
    image.setColorSpace(colorSpace);
    return image;
}

Result<Picture> readPicture(const QString& path)
{
    const QFileInfo info(path);
    if (!info.isFile())
        return Result<Picture>::failure(QStringLiteral("no such file"));
    if (!info.isReadable())
        return Result<Picture>::failure(QStringLiteral("the file cannot be read"));
    QImageReader reader(path);
    reader.setDecideFormatFromContent(true);
    reader.setAutoTransform(false); // applied by upright(), keeping the colour profile
    const QByteArray format = reader.format();
    // Other codecs recognise content loosely enough to take a stray file for a picture.
    if (format != "png" && format != "jpeg" && format != "tiff")
        return Result<Picture>::failure(QStringLiteral("not a PNG, JPEG or TIFF picture"));
    // Qt's allocation limit stays in force, so a header claiming enormous dimensions fails here.
    QImage image = reader.read();
    if (image.isNull())
        return Result<Picture>::failure(QStringLiteral("cannot read the picture: ") + reader.errorString());

    const QImageIOHandler::Transformations transformation = reader.transformation();
    QSizeF dpi = ImageResolution::dotsPerInch(path).value_or(QSizeF(pointsPerInch, pointsPerInch));
    if (transformation.testFlag(QImageIOHandler::TransformationRotate90))
        dpi.transpose();
    return Picture{upright(std::move(image), transformation), dpi};
}

// QPainter cannot draw on palette or one-bit pictures, and would draw in grey on grey ones.
// ARGB32 rather than its premultiplied form keeps transparent pixels' colours exactly as they were.
QImage colourCanvas(QImage image)
{
    switch (image.format()) {
    case QImage::Format_Mono:
    case QImage::Format_MonoLSB:
    case QImage::Format_Indexed8:
    case QImage::Format_Grayscale8:
    case QImage::Format_Grayscale16:
    case QImage::Format_Alpha8: {
        const auto format = image.hasAlphaChannel() ? QImage::Format_ARGB32 : QImage::Format_RGB32;
        return std::move(image).convertToFormat(format);
    }
    default:
        return image;
    }
}

FileOutcome stamp(const QString& inputFile, const WatermarkSnapshot& settings, const QString& outputFolder)
{
    const auto outputPath = outputLocation(inputFile, outputFolder);
    if (!outputPath)
        return outputPath;
    auto read = readPicture(inputFile);
    if (!read)
        return FileOutcome::failure(read.error());
    Picture picture = std::move(read).value();

    const QString name = QFileInfo(inputFile).fileName();
    const bool png = QFileInfo(name).suffix().toLower() == QLatin1String("png");
    // JPEG has no alpha; simply dropping it would turn transparent areas black.
    const bool onWhite = !png && picture.image.hasAlphaChannel();

    QImage canvas;
    if (onWhite) {
        canvas = QImage(picture.image.size(), QImage::Format_RGB32);
        canvas.fill(Qt::white);
        canvas.setColorSpace(picture.image.colorSpace());
    } else {
        canvas = colourCanvas(std::move(picture.image));
    }
    if (canvas.isNull())
        return FileOutcome::failure(QStringLiteral("not enough memory for the picture"));
    const QSizeF dpi = picture.dotsPerInch;
    canvas.setDotsPerMeterX(qRound(dpi.width() / metresPerInch));
    canvas.setDotsPerMeterY(qRound(dpi.height() / metresPerInch));

    QPainter painter(&canvas);
    if (!painter.isActive())
        return FileOutcome::failure(QStringLiteral("cannot paint on the picture"));
    if (onWhite) {
        painter.drawImage(0, 0, picture.image);
        picture.image = QImage();
    }
    // The design is laid out in points over the picture's printed size, then scaled to pixels.
    const QSizeF points(canvas.width() * pointsPerInch / dpi.width(),
                        canvas.height() * pointsPerInch / dpi.height());
    painter.scale(canvas.width() / points.width(), canvas.height() / points.height());
    drawWatermark(painter, settings, QRectF(QPointF(0, 0), points));
    painter.end();

    QSaveFile file(*outputPath);
    if (!file.open(QIODevice::WriteOnly))
        return FileOutcome::failure(QStringLiteral("cannot create the output: ") + file.errorString());
    QImageWriter writer(&file, png ? "png" : "jpeg");
    if (!png)
        writer.setQuality(jpegQuality);
    if (!writer.write(canvas)) {
        file.cancelWriting();
        return FileOutcome::failure(QStringLiteral("cannot encode the output: ") + writer.errorString());
    }
    if (!file.commit())
        return FileOutcome::failure(QStringLiteral("cannot write the output: ") + file.errorString());
    return *outputPath;
}

} // namespace

void WatermarkHelper::allowLargePictures()
{
    // 1 GB: a 250-megapixel picture in 32-bit colour.
    QImageReader::setAllocationLimit(1024);
}

FileOutcome WatermarkHelper::watermarkImageFile(const QString& inputFile, const WatermarkSnapshot& settings,
                                                const QString& outputFolder)
{
    try {
        return stamp(inputFile, settings, outputFolder);
    } catch (const std::exception& error) {
        return FileOutcome::failure(QString::fromLocal8Bit(error.what()));
    } catch (...) {
        return FileOutcome::failure(QStringLiteral("unexpected error"));
    }
}
