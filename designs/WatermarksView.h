#pragma once

#include <QWidget>

class WatermarksView : public QWidget
{
    Q_OBJECT

public:
    explicit WatermarksView(QWidget* parent = nullptr);
};
