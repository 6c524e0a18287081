#include "app/ContentView.h"

ContentView::ContentView(QWidget* parent) : QWidget(parent) {}
