#pragma once

#include <QApplication>

// The application object. On quit it lets a running batch finish its current file, so no
// half-written output is left behind.
class DadorAduravuzoApp : public QApplication
{
    Q_OBJECT

public:
    DadorAduravuzoApp(int& argc, char** argv);
};
