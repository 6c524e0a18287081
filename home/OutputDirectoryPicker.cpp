#include "home/OutputDirectoryPicker.h"

#include "home/HomeState.h"

OutputDirectoryPicker::OutputDirectoryPicker(HomeState& state, QWidget* parent)
    : QWidget(parent), m_state(state)
{}
