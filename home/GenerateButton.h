#pragma once

#include <QWidget>

class HomeState;

class GenerateButton : public QWidget
{
    Q_OBJECT

public:
    explicit GenerateButton(HomeState& state, QWidget* parent = nullptr);

private:
    HomeState& m_state;
};
