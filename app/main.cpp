#include "app/CommandLine.h"
#include "app/DadorAduravuzoApp.h"
#include "app/MainWindow.h"

int main(int argc, char** argv)
{
    DadorAduravuzoApp app(argc, argv);
    // The desktop matches the window to the installed desktop entry by this name, for its icon and title.
    QGuiApplication::setDesktopFileName(QStringLiteral(WATERMARK_APP_ID));
    const QList<QUrl> files = CommandLine::filesToOpen(QCoreApplication::arguments());
    MainWindow window;
    window.openFiles(files);
    window.show();
    return app.exec();
}
