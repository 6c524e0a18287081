#include "app/MainWindow.h"

MainWindow::MainWindow(QWidget* parent) : QWidget(parent) {}
