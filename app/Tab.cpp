#include "app/Tab.h"

QString rawValue(Tab tab)
{
    return tab == Tab::watermarks ? QStringLiteral("Your Designs") : QStringLiteral("Home");
}
