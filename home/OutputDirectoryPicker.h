#pragma once

#include <QWidget>

class HomeState;

class OutputDirectoryPicker : public QWidget
{
    Q_OBJECT

public:
    explicit OutputDirectoryPicker(HomeState& state, QWidget* parent = nullptr);

private:
    HomeState& m_state;
};
