#pragma once

#include <QWidget>

// The 20-point bar at the top of each screen, with its title.
class CustomHeaderView : public QWidget
{
    Q_OBJECT

public:
    explicit CustomHeaderView(const QString& title, QWidget* parent = nullptr);
};
