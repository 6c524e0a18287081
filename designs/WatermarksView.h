#pragma once

#include <QWidget>

// The "Your Designs" screen. Until the design editor is built it only says that it is coming.
class WatermarksView : public QWidget
{
    Q_OBJECT

public:
    explicit WatermarksView(QWidget* parent = nullptr);
};
