#include "app/DadorAduravuzoApp.h"

#include "home/BatchJob.h"
#include "render/WatermarkHelper.h"
#include "widgets/Icons.h"

DadorAduravuzoApp::DadorAduravuzoApp(int& argc, char** argv) : QApplication(argc, argv)
{
    setApplicationName(QStringLiteral("DadorAduravuzo"));
    setOrganizationName(QStringLiteral("DadorAduravuzo"));
    setApplicationVersion(QStringLiteral(DADOR_ADURAVUZO_VERSION));
    setWindowIcon(Icons::applicationIcon());
    WatermarkHelper::allowLargePictures();
    connect(this, &QCoreApplication::aboutToQuit, this, [] { BatchJob::stopAllAndWait(); });
    m_updaterController = std::make_unique<UpdaterController>(true, UpdaterConfiguration::standard());
}

DadorAduravuzoApp* DadorAduravuzoApp::current()
{
    return qobject_cast<DadorAduravuzoApp*>(QCoreApplication::instance());
}
