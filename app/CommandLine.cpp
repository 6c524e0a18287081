#include "app/CommandLine.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFileInfo>

namespace CommandLine {

QList<QUrl> filesToOpen(const QStringList& arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QCoreApplication::translate(
        "CommandLine", "Stamps a watermark design onto PDF documents and PNG, JPEG and TIFF pictures."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addPositionalArgument(
        QStringLiteral("files"),
        QCoreApplication::translate("CommandLine", "Files to list on the Home screen."),
        QStringLiteral("[files...]"));
    parser.process(arguments);

    QList<QUrl> files;
    // Absolute and clean, so the same file named two ways is listed once, as a drop would list it.
    for (const QString& argument : parser.positionalArguments())
        files.append(QUrl::fromLocalFile(QFileInfo(argument).absoluteFilePath()));
    return files;
}

} // namespace CommandLine
