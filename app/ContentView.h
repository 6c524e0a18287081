#pragma once

#include <QWidget>

class ContentView : public QWidget
{
    Q_OBJECT

public:
    explicit ContentView(QWidget* parent = nullptr);
};
