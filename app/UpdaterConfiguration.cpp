#include "app/UpdaterConfiguration.h"

UpdaterConfiguration UpdaterConfiguration::standard()
{
    const QString overridden = qEnvironmentVariable("DADOR_ADURAVUZO_UPDATE_FEED");
    const QString feed = overridden.isEmpty() ? QStringLiteral(DADOR_ADURAVUZO_UPDATE_FEED) : overridden;
    return {QUrl(feed), QStringLiteral(DADOR_ADURAVUZO_VERSION), {}, {}};
}
