#pragma once

#include "home/HomeState.h"

#include <QWidget>

// The Home screen: output folder, design picker, file list, batch row and drop area. It owns
// all of its state, which goes with it when the section is left.
class HomeView : public QWidget
{
    Q_OBJECT

public:
    explicit HomeView(QWidget* parent = nullptr);

    HomeState& state() { return m_state; }

private:
    HomeState m_state;
};
