#include "designs/WatermarksView.h"

WatermarksView::WatermarksView(QWidget* parent) : QWidget(parent) {}
