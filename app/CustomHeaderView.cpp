#include "app/CustomHeaderView.h"

CustomHeaderView::CustomHeaderView(const QString&, QWidget* parent) : QWidget(parent) {}
