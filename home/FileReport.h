#pragma once

#include <QString>
#include <QUrl>

// What a batch did with one file of its list, posted to the Home screen as each file ends.
struct FileReport
{
    enum class Status
    {
        written, // stamped; output names the file written, reason what the user should know of it
        failed,  // routed but not written; reason says why, in words a person understands
        skipped, // not routed (its extension is not stamped); reason says why
    };

    QUrl file;
    Status status = Status::skipped;
    QString output;
    QString reason;
};
