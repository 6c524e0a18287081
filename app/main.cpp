#include "app/DadorAduravuzoApp.h"
#include "app/MainWindow.h"

int main(int argc, char** argv)
{
    DadorAduravuzoApp app(argc, argv);
    MainWindow window;
    window.show();
    return app.exec();
}
