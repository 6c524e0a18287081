#pragma once

#include "app/UpdaterController.h"

#include <QApplication>

#include <memory>

// The application object. It makes the update controller at start-up, its updater started before
// any window opens, and keeps it for its own lifetime. On quit it lets a running batch finish its
// current file, so no half-written output is left behind.
class DadorAduravuzoApp : public QApplication
{
    Q_OBJECT

public:
    DadorAduravuzoApp(int& argc, char** argv);

    // The running application object, when it is one of these (tests run screens without it).
    static DadorAduravuzoApp* current();

    UpdaterController& updaterController() { return *m_updaterController; }

private:
    // Made once the application is named, since its requests and preferences carry the name;
    // gone before the application object itself is taken down.
    std::unique_ptr<UpdaterController> m_updaterController;
};
