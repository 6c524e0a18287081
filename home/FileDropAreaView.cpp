#include "home/FileDropAreaView.h"

#include "home/HomeState.h"

FileDropAreaView::FileDropAreaView(HomeState& state, QWidget* parent) : QWidget(parent), m_state(state) {}
