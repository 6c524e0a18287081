#include "home/GenerateButton.h"

#include "home/HomeState.h"

GenerateButton::GenerateButton(HomeState& state, QWidget* parent) : QWidget(parent), m_state(state) {}
