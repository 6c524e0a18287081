#include "app/DadorAduravuzoApp.h"

#include "widgets/Icons.h"
#include "home/BatchJob.h"
#include "render/WatermarkHelper.h"

DadorAduravuzoApp::DadorAduravuzoApp(int& argc, char** argv) : QApplication(argc, argv)
{
    setApplicationName(QStringLiteral("DadorAduravuzo"));
    setOrganizationName(QStringLiteral("DadorAduravuzo"));
    setWindowIcon(Icons::icon(QStringLiteral("seal.fill")));
    WatermarkHelper::allowLargePictures();
    connect(this, &QCoreApplication::aboutToQuit, this, [] { BatchJob::stopAllAndWait(); });
}
