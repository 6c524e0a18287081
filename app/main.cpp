#include "app/CommandLine.h"
#include "app/DadorAduravuzoApp.h"
#include "app/MainWindow.h"

int main(int argc, char** argv)
{
    if (CommandLine::wantsNoWindow(argc, argv))
        return CommandLine::runWithoutWindow(argc, argv);
    DadorAduravuzoApp app(argc, argv);
    // The desktop matches the window to the installed desktop entry by this name, for its icon and title.
    QGuiApplication::setDesktopFileName(QStringLiteral(WATERMARK_APP_ID));
    const CommandLine::Request request = CommandLine::parse(QCoreApplication::arguments());
    if (request.action != CommandLine::Request::Action::openWindow)
        return request.exitStatus;
    MainWindow window;
    window.openFiles(request.files);
    window.show();
    return app.exec();
}
