#pragma once

#include <QString>
#include <QStringList>

// Where each file of one batch is written, decided for the whole list before the first file so
// that no output of the batch takes another's name.
class OutputNames
{
public:
    OutputNames() = delete;

    // One entry per input, in list order: the path in outputFolder its stamped copy is written
    // to, or empty for a file that is not routed. No two entries share a name, exactly or
    // ignoring case. An input living in outputFolder keeps its own name; any other input takes
    // the first of "name.ext", "name (2).ext", "name (3).ext"... still free.
    static QStringList forBatch(const QStringList& inputs, const QString& outputFolder);

    // How many inputs live in outputFolder, where a batch replaces each with its stamped copy.
    // Reads no file: the inputs are taken to be routed, as every file the intake lists is.
    static qsizetype inputsInFolder(const QStringList& inputs, const QString& outputFolder);
};
