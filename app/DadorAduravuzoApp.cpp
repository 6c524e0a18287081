#include "app/DadorAduravuzoApp.h"

#include "home/BatchJob.h"

DadorAduravuzoApp::DadorAduravuzoApp(int& argc, char** argv) : QApplication(argc, argv)
{
    setApplicationName(QStringLiteral("DadorAduravuzo"));
    setOrganizationName(QStringLiteral("DadorAduravuzo"));
    connect(this, &QCoreApplication::aboutToQuit, this, [] { BatchJob::stopAllAndWait(); });
}
