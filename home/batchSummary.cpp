#include "home/batchSummary.h"

#include <QCoreApplication>

QString batchSummary(bool stopped, qint64 reached, qint64 failed, qint64 listed)
{
    if (stopped)
        return QCoreApplication::translate("GenerateButton", "Stopped after %1 of %2 files")
            .arg(reached)
            .arg(listed);
    if (failed > 0)
        return QCoreApplication::translate("GenerateButton", "Done, %1 of %2 files not watermarked")
            .arg(failed)
            .arg(reached);
    return QCoreApplication::translate("GenerateButton", "Done");
}
