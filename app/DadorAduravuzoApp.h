#pragma once

#include <QApplication>

// The application object: opens the main window and, on quit, lets a running batch finish
// its current file.
class DadorAduravuzoApp : public QApplication
{
    Q_OBJECT

public:
    DadorAduravuzoApp(int& argc, char** argv);
};
