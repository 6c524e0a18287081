// Opens the real main window, fills the Home screen the way a user would (a saved design, files,
// an output folder), runs the batch to "Done" and saves a picture of the screen. Run it on a
// virtual display through scripts/screenshot; it keeps its preferences in XDG_CONFIG_HOME.

#include "app/ContentView.h"
#include "app/DadorAduravuzoApp.h"
#include "app/MainWindow.h"
#include "home/HomeView.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QScreen>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>

namespace {

QStringList makeInputs(const QString& folder)
{
    using namespace TestFiles;
    const QStringList files{
        folder + QStringLiteral("/Annual Report.pdf"), folder + QStringLiteral("/Contract.pdf"),
        folder + QStringLiteral("/site-photo.png"), folder + QStringLiteral("/scan.jpeg")};
    writePdf(files[0],
             std::vector<Page>(12, Page{.content = textContent(QStringLiteral("Annual report"), 72, 720)}));
    writePdf(files[1], {Page{.content = textContent(QStringLiteral("Contract"), 72, 720)}});
    writeSolidPicture(files[2], QSize(1200, 800), QColor(90, 140, 200));
    writeSolidPicture(files[3], QSize(800, 1100), QColor(240, 236, 220), "jpeg");
    return files;
}

} // namespace

int main(int argc, char** argv)
{
    DadorAduravuzoApp app(argc, argv);
    const QString output = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("/tmp/home.png");
    QTemporaryDir work;

    auto design = WatermarkSettings::makeNew();
    design->setWatermarkName(QStringLiteral("Confidential, red"));
    design->setText(QStringLiteral("CONFIDENTIAL"));
    design->setRotation(30);
    design->setTextColor(WatermarkColor(0.85, 0.1, 0.1, 0.6));
    SavedDesigns().storeWatermarks({design});

    MainWindow window;
    window.move(0, 0);
    window.show();
    auto* home = window.findChild<HomeView*>();
    for (const QString& file : makeInputs(work.path()))
        home->state().appendFile(QUrl::fromLocalFile(file));
    QDir().mkpath(work.filePath(QStringLiteral("Watermarked")));
    home->state().setOutputDirectory(QUrl::fromLocalFile(work.filePath(QStringLiteral("Watermarked"))));
    home->state().setSelectedWatermarkID(design->id());
    home->state().startWatermarking();

    QObject::connect(&home->state(), &HomeState::changed, &app, [&] {
        if (!home->state().isWatermarkingComplete())
            return;
        QTimer::singleShot(500, &app, [&] {
            const bool saved = window.screen()->grabWindow(0).save(output);
            std::fprintf(stderr, "%s %s\n", saved ? "Saved" : "Could not save", qPrintable(output));
            app.exit(saved ? 0 : 1);
        });
    });
    return app.exec();
}
