// Opens the real main window and saves a picture of the screen, in one of three moments:
//   home-screenshot OUTPUT.png            the Home screen filled the way a user would (a saved
//                                         design, files, an output folder), run to "Done";
//   home-screenshot OUTPUT.png first-run  the Home screen with no design saved yet;
//   home-screenshot OUTPUT.png running    a long run, after a visit to "Your Designs" and back.
// Run it on a virtual display through scripts/screenshot; it keeps its preferences in
// XDG_CONFIG_HOME.

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

// Enough pages that the run is still going when the picture is taken.
QStringList makeLongInputs(const QString& folder)
{
    using namespace TestFiles;
    QStringList files;
    for (int i = 1; i <= 120; ++i) {
        files << folder + QStringLiteral("/Chapter %1.pdf").arg(i);
        writePdf(files.last(),
                 std::vector<Page>(400, Page{.content = textContent(QStringLiteral("Chapter"), 72, 720)}));
    }
    return files;
}

void saveScreen(QApplication& app, QWidget& window, const QString& output)
{
    const bool saved = window.screen()->grabWindow(0).save(output);
    std::fprintf(stderr, "%s %s\n", saved ? "Saved" : "Could not save", qPrintable(output));
    app.exit(saved ? 0 : 1);
}

} // namespace

int main(int argc, char** argv)
{
    DadorAduravuzoApp app(argc, argv);
    const QString output = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("/tmp/home.png");
    const QString moment = argc > 2 ? QString::fromLocal8Bit(argv[2]) : QString();
    QTemporaryDir work;
    if (moment == QLatin1String("first-run")) {
        SavedDesigns().storeWatermarks({});
        MainWindow window;
        window.move(0, 0);
        window.show();
        QTimer::singleShot(1500, &app, [&] { saveScreen(app, window, output); });
        return app.exec();
    }

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
    const bool running = moment == QLatin1String("running");
    for (const QString& file : running ? makeLongInputs(work.path()) : makeInputs(work.path()))
        home->state().appendFile(QUrl::fromLocalFile(file));
    QDir().mkpath(work.filePath(QStringLiteral("Watermarked")));
    home->state().setOutputDirectory(QUrl::fromLocalFile(work.filePath(QStringLiteral("Watermarked"))));
    home->state().setSelectedWatermarkID(design->id());
    home->state().startWatermarking();
    if (running) {
        auto* content = window.findChild<ContentView*>();
        QTimer::singleShot(300, &app, [content] { content->setSelectedTab(Tab::watermarks); });
        QTimer::singleShot(700, &app, [content] { content->setSelectedTab(Tab::home); });
        QTimer::singleShot(1000, &app, [&] { saveScreen(app, window, output); });
        return app.exec();
    }

    QObject::connect(&home->state(), &HomeState::changed, &app, [&] {
        if (!home->state().isWatermarkingComplete())
            return;
        QTimer::singleShot(500, &app, [&] { saveScreen(app, window, output); });
    });
    return app.exec();
}
