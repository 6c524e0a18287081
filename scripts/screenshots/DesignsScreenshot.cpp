// Opens the real main window on "Your Designs" with a text design and a picture design saved,
// and saves three pictures of the screen: the text design selected, its font menu open, and
// the picture design selected. Run it on a virtual display through scripts/screenshot; it keeps
// its preferences and documents under HOME and XDG_CONFIG_HOME. With "minimum" after the output
// path, the window is at its least size, the text design tiled, and only the first picture is saved.

#include "app/ContentView.h"
#include "app/DadorAduravuzoApp.h"
#include "app/MainWindow.h"
#include "designs/ControlsSection.h"
#include "designs/FontPicker.h"
#include "designs/WatermarksView.h"
#include "support/TestFiles.h"
#include "widgets/Dialogs.h"

#include <QComboBox>
#include <QListWidget>
#include <QPainter>
#include <QScreen>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>

namespace {

// A two-colour badge, so the picture design shows something recognisable.
QString makeLogo(const QString& folder)
{
    QImage logo(480, 240, QImage::Format_ARGB32);
    logo.fill(Qt::transparent);
    QPainter painter(&logo);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setBrush(QColor(30, 110, 200));
    painter.setPen(Qt::NoPen);
    painter.drawRoundedRect(QRectF(0, 0, 480, 240), 40, 40);
    painter.setPen(Qt::white);
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(110);
    font.setBold(true);
    painter.setFont(font);
    painter.drawText(logo.rect(), Qt::AlignCenter, QStringLiteral("ACME"));
    painter.end();
    const QString path = folder + QStringLiteral("/acme-logo.png");
    logo.save(path);
    return path;
}

void save(QWidget& window, const QString& path)
{
    const bool saved = window.screen()->grabWindow(0).save(path);
    std::fprintf(stderr, "%s %s\n", saved ? "Saved" : "Could not save", qPrintable(path));
}

} // namespace

int main(int argc, char** argv)
{
    DadorAduravuzoApp app(argc, argv);
    const QString output = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("/tmp/designs.png");
    const QString stem = output.chopped(4);
    QTemporaryDir work;

    auto text = WatermarkSettings::makeNew();
    text->setWatermarkName(QStringLiteral("Confidential, red"));
    text->setText(QStringLiteral("CONFIDENTIAL\nDo not copy"));
    text->setRotation(30);
    text->setFontSize(48);
    text->setFontName(QStringLiteral("Nimbus Sans Bold"));
    text->setTextColor(WatermarkColor(0.85, 0.1, 0.1, 0.6));
    auto picture = WatermarkSettings::makeNew();
    picture->setWatermarkName(QStringLiteral("ACME logo"));
    picture->setType(WatermarkType::image);
    picture->setImageSize(60);
    picture->setOpacity(0.4);
    picture->setYPosition(80);

    const bool minimum = argc > 2 && qstrcmp(argv[2], "minimum") == 0;
    if (minimum)
        text->setLayout(WatermarkSnapshot::Layout::tiled);
    SavedDesigns().storeWatermarks({text, picture});

    MainWindow window;
    window.move(0, 0);
    window.resize(minimum ? window.minimumSize() : QSize(1200, 760));
    window.show();
    auto* content = window.findChild<ContentView*>();
    content->setSelectedTab(Tab::watermarks);
    auto* view = qobject_cast<WatermarksView*>(content->detailWidget());

    // The picture goes in the way a user puts it in: "Select Image", then saved.
    view->selectWatermark(view->watermarks()[1]);
    const QString logo = makeLogo(work.path());
    Dialogs::setImageFileAnswer([logo] { return Dialogs::Choice{true, QUrl::fromLocalFile(logo)}; });
    view->controls()->selectImage();
    view->saveWatermark();
    view->selectWatermark(view->watermarks()[0]);

    QTimer::singleShot(1500, &app, [&] {
        save(window, output);
        if (minimum) {
            app.exit(0);
            return;
        }
        view->findChild<FontPicker*>()->findChild<QComboBox*>()->showPopup();
        QTimer::singleShot(800, &app, [&] {
            save(window, stem + QStringLiteral("-fonts.png"));
            view->findChild<FontPicker*>()->findChild<QComboBox*>()->hidePopup();
            view->selectWatermark(view->watermarks()[1]);
            QTimer::singleShot(800, &app, [&] {
                save(window, stem + QStringLiteral("-picture.png"));
                app.exit(0);
            });
        });
    });
    return app.exec();
}
