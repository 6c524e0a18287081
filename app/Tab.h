#pragma once

#include <QString>

// The sections of the sidebar.
enum class Tab
{
    home,
    watermarks,
};

// "Home" and "Your Designs": the title of each section's screen.
QString rawValue(Tab tab);
