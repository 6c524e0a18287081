#pragma once

#include <QWidget>

class HomeState;

class FileDropAreaView : public QWidget
{
    Q_OBJECT

public:
    explicit FileDropAreaView(HomeState& state, QWidget* parent = nullptr);

private:
    HomeState& m_state;
};
