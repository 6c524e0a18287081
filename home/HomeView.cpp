#include "home/HomeView.h"

HomeView::HomeView(QWidget* parent) : QWidget(parent) {}
