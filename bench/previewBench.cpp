// Times the design editor's preview the way dragging a slider or typing exercises it: one
// design change, then one repaint of the widget through its own paint event, again and again.

#include "app/ContentView.h"
#include "designs/PreviewSection.h"
#include "designs/WatermarksView.h"
#include "model/StandardOutput.h"
#include "model/WatermarkSettings.h"
#include "widgets/Resources.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QImageWriter>
#include <QRandomGenerator>
#include <QStringList>
#include <QTemporaryDir>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

namespace {

constexpr QSize previewSize(900, 1100);
constexpr int designChanges = 200;
constexpr int pictureRedraws = 20;

// Nearest-rank percentile of unsorted samples.
double percentile(std::vector<double> samples, double fraction)
{
    std::sort(samples.begin(), samples.end());
    const auto rank = static_cast<size_t>(std::ceil(fraction * static_cast<double>(samples.size())));
    return samples.at(std::clamp<size_t>(rank, 1, samples.size()) - 1);
}

QString formatMs(double milliseconds)
{
    return QString::number(milliseconds, 'f', 2);
}

// One repaint through the widget's paint event, as the window would do it, in milliseconds.
double timedRedraw(PreviewSection& preview, QImage& frame)
{
    QElapsedTimer timer;
    timer.start();
    preview.render(&frame);
    return static_cast<double>(timer.nsecsElapsed()) / 1.0e6;
}

// Cycles through the edits a person makes: moving, turning, retyping and changing the face.
void changeDesign(WatermarkSettings& settings, int step)
{
    static const QStringList fonts = {QStringLiteral("DejaVu Sans"), QStringLiteral("Nimbus Sans Bold"),
                                      QStringLiteral("Liberation Serif")};
    static const QStringList texts = {QStringLiteral("CONFIDENTIAL"), QStringLiteral("DRAFT"),
                                      QStringLiteral("Internal use only\nDo not copy"),
                                      QStringLiteral("Approved 2024-05-01")};
    const int round = step / 5;
    switch (step % 5) {
    case 0:
        settings.setXPosition(10 + (round * 17) % 80);
        break;
    case 1:
        settings.setYPosition(10 + (round * 23) % 80);
        break;
    case 2:
        settings.setRotation((round * 29) % 360 - 180);
        break;
    case 3:
        settings.setText(texts.at(round % texts.size()));
        break;
    default:
        settings.setFontName(fonts.at(round % fonts.size()));
        break;
    }
}

// A 12-megapixel camera-like JPEG (gradients and grain), so decoding costs what a photo costs.
QString writeLargePicture(const QString& folder)
{
    QImage picture(4000, 3000, QImage::Format_RGB32);
    QRandomGenerator random(12);
    for (int y = 0; y < picture.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(picture.scanLine(y));
        for (int x = 0; x < picture.width(); ++x) {
            const int grain = static_cast<int>(random.bounded(24));
            line[x] = qRgb((x / 16 + grain) % 256, (y / 12 + grain) % 256, ((x + y) / 28 + grain) % 256);
        }
    }
    const QString path = folder + QStringLiteral("/photo-12mp.jpg");
    QImageWriter writer(path, "jpeg");
    writer.setQuality(92);
    return writer.write(picture) ? path : QString();
}

double elapsedMs(const QElapsedTimer& timer)
{
    return static_cast<double>(timer.nsecsElapsed()) / 1.0e6;
}

// What a person waits for: from choosing "Watermarks" (with 20 saved designs) until its list is
// painted, then from choosing a design until its controls and preview are painted.
QStringList timeDesignsScreen()
{
    WatermarkList designs;
    for (int i = 0; i < 20; ++i) {
        designs.push_back(WatermarkSettings::makeNew());
        designs.back()->setWatermarkName(QStringLiteral("Design %1").arg(i + 1));
    }
    SavedDesigns().storeWatermarks(designs);

    ContentView content;
    content.resize(1200, 800);
    content.show();
    QElapsedTimer timer;
    timer.start();
    content.setSelectedTab(Tab::watermarks);
    QCoreApplication::processEvents(); // lays the new screen out, as the window's event loop would
    content.grab();
    const double opened = elapsedMs(timer);
    auto* view = qobject_cast<WatermarksView*>(content.detailWidget());
    timer.restart();
    view->selectWatermark(view->watermarks().front());
    QCoreApplication::processEvents();
    content.grab();
    const double selected = elapsedMs(timer);
    return {QStringLiteral("designs screen open: %1 ms").arg(formatMs(opened)),
            QStringLiteral("design selected, controls and preview painted: %1 ms").arg(formatMs(selected))};
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // The saved designs of the screen timing live in a folder of their own, never the user's.
    QTemporaryDir preferences;
    qputenv("XDG_CONFIG_HOME", preferences.path().toLocal8Bit());
    QApplication app(argc, argv);
    Resources::ensureRegistered();

    // Result lines wait until the end: the drawing routine prints its own timing lines while
    // the preview paints, and the summary must stay the last line. A new measurement adds its
    // line here, before the summary.
    QStringList report;

    const auto settings = WatermarkSettings::makeNew();
    settings->setText(QStringLiteral("CONFIDENTIAL"));
    settings->setFontSize(48);
    settings->setTextColor(WatermarkColor(1, 0, 0, 0.5));
    PreviewSection preview(settings, QStringLiteral(":/Lorem_Ipsum.pdf"));
    preview.resize(previewSize);
    QImage frame(previewSize, QImage::Format_ARGB32_Premultiplied);

    report << QStringLiteral("preview first render: %1 ms").arg(formatMs(timedRedraw(preview, frame)));

    std::vector<double> redraws;
    for (int step = 0; step < designChanges; ++step) {
        changeDesign(*settings, step);
        redraws.push_back(timedRedraw(preview, frame));
    }

    // The same edits on a tiled design: every copy is drawn on every repaint.
    settings->setLayout(WatermarkSnapshot::Layout::tiled);
    settings->setFontSize(24);
    settings->setTileStagger(true);
    std::vector<double> tiled;
    for (int step = 0; step < designChanges; ++step) {
        changeDesign(*settings, step);
        tiled.push_back(timedRedraw(preview, frame));
    }
    settings->setLayout(WatermarkSnapshot::Layout::single);
    report << QStringLiteral("tiled preview redraw: median %1 ms, p95 %2 ms")
                  .arg(formatMs(percentile(tiled, 0.5)), formatMs(percentile(tiled, 0.95)));

    QTemporaryDir folder;
    const QString picturePath = writeLargePicture(folder.path());
    if (!picturePath.isEmpty()) {
        settings->setType(WatermarkType::image);
        settings->setImageSize(10);
        settings->setImageData(QUrl::fromLocalFile(picturePath));
        const double first = timedRedraw(preview, frame);
        std::vector<double> pictures;
        for (int step = 0; step < pictureRedraws; ++step) {
            settings->setXPosition(20 + step * 3);
            pictures.push_back(timedRedraw(preview, frame));
        }
        report << QStringLiteral("picture redraw (12 MP JPEG): first %1 ms, median %2 ms")
                      .arg(formatMs(first), formatMs(percentile(pictures, 0.5)));
    }

    report << timeDesignsScreen();
    report << QStringLiteral("preview redraw: median %1 ms, p95 %2 ms")
                  .arg(formatMs(percentile(redraws, 0.5)), formatMs(percentile(redraws, 0.95)));
    for (const QString& line : report)
        StandardOutput::printLine(line);
    return 0;
}
