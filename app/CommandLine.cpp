#include "app/CommandLine.h"

#include "home/BatchPool.h"
#include "render/WatermarkHelper.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFileInfo>
#include <QGuiApplication>
#include <QRegularExpression>

#include <cstdio>

namespace {

const QString programName = QStringLiteral("dador-aduravuzo");

QString translated(const char* text)
{
    return QCoreApplication::translate("CommandLine", text);
}

void print(FILE* stream, const QString& text)
{
    std::fputs(qPrintable(text), stream);
    std::fflush(stream);
}

CommandLine::Request exitWith(int status, FILE* stream, const QString& text)
{
    print(stream, text);
    CommandLine::Request request;
    request.action = CommandLine::Request::Action::exit;
    request.exitStatus = status;
    return request;
}

CommandLine::Request usageError(const QString& reason)
{
    return exitWith(ShellBatch::usageError, stderr,
                    programName + QStringLiteral(": ") + reason + QLatin1Char('\n') +
                        translated("Try 'dador-aduravuzo --help' for more information.\n"));
}

} // namespace

namespace CommandLine {

Request parse(const QStringList& arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(translated(
        "Stamps a watermark design onto PDF documents and PNG, JPEG and TIFF pictures.\n\n"
        "Without options it opens its window with the files listed. With --design and --output it\n"
        "stamps the files and the files of the folders given as one batch, without a window, and\n"
        "prints a line per file: \"written <output>\", \"not watermarked <file>: <reason>\" or\n"
        "\"skipped <file>: <reason>\", then what the run came to. Exit status: 0 when every PDF,\n"
        "PNG, JPEG and TIFF file was written, 1 when one was not, 2 for a usage error."));
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")},
                                  translated("Displays this help."));
    const QCommandLineOption version(QStringList{QStringLiteral("v"), QStringLiteral("version")},
                                     translated("Displays the version."));
    const QCommandLineOption design(QStringLiteral("design"),
                                    translated("Runs without a window with the saved design of this name, or "
                                               "the design in this file (one design in the stored form)."),
                                    QStringLiteral("NAME"));
    const QCommandLineOption output(QStringLiteral("output"),
                                    translated("The folder the watermarked copies go to."),
                                    QStringLiteral("FOLDER"));
    const QCommandLineOption jobs(QStringLiteral("jobs"),
                                  translated("Files stamped at once (default: one per core)."),
                                  QStringLiteral("N"));
    const QCommandLineOption recipient(
        QStringLiteral("recipient"),
        translated("Whom the copies are for, where the design says {recipient}."), QStringLiteral("TEXT"));
    const QCommandLineOption list(QStringLiteral("list-designs"),
                                  translated("Prints the names of the saved designs, one a line."));
    parser.addOptions({help, version, design, output, jobs, recipient, list});
    parser.addPositionalArgument(QStringLiteral("files"), translated("Files and folders to watermark."),
                                 QStringLiteral("[files...]"));
    if (!parser.parse(arguments))
        return usageError(parser.errorText());
    if (parser.isSet(help))
        return exitWith(0, stdout,
                        parser.helpText().replace(QStringLiteral("<executable_name>"), programName));
    if (parser.isSet(version))
        return exitWith(0, stdout,
                        programName + QLatin1Char(' ') + QStringLiteral(DADOR_ADURAVUZO_VERSION) + '\n');
    Request request;
    if (parser.isSet(list)) {
        request.action = Request::Action::listDesigns;
        return request;
    }

    const QStringList given = parser.positionalArguments();
    if (!parser.isSet(design) && !parser.isSet(output) && !parser.isSet(jobs) && !parser.isSet(recipient)) {
        // Absolute and clean, so the same file named two ways is listed once, as a drop would list it.
        for (const QString& argument : given)
            request.files.append(QUrl::fromLocalFile(QFileInfo(argument).absoluteFilePath()));
        return request;
    }
    if (!parser.isSet(design) || !parser.isSet(output))
        return usageError(translated("a run from the shell needs both --design and --output"));
    if (given.isEmpty())
        return usageError(translated("no files to watermark were given"));
    request.batch.workers = BatchPool::machineWorkers();
    if (parser.isSet(jobs)) {
        bool whole = false;
        request.batch.workers = parser.value(jobs).toInt(&whole);
        if (!whole || request.batch.workers < 1)
            return usageError(
                translated("--jobs wants a whole number of at least 1, not \"%1\"").arg(parser.value(jobs)));
    }
    request.action = Request::Action::runBatch;
    request.batch.design = parser.value(design);
    request.batch.outputFolder = parser.value(output);
    request.batch.inputs = given;
    request.batch.recipient = parser.value(recipient);
    return request;
}

bool wantsNoWindow(int argc, char** argv)
{
    // Qt's own options for a window's application, which it takes out of the arguments itself.
    static const QStringList windowOptions{"platform",    "platformtheme",   "plugin",       "style",
                                           "stylesheet",  "reverse",         "session",      "display",
                                           "geometry",    "qwindowgeometry", "qwindowtitle", "qwindowicon",
                                           "widgetcount", "nograb",          "dograb"};
    for (int i = 1; i < argc && qstrcmp(argv[i], "--") != 0; ++i) {
        const QString argument = QString::fromLocal8Bit(argv[i]);
        if (argument.startsWith(QLatin1Char('-')) && argument.size() > 1 &&
            !windowOptions.contains(
                argument.section(QLatin1Char('='), 0, 0).remove(QRegularExpression("^--?"))))
            return true; // this program's options, or one it does not know, which it reports
    }
    return false;
}

int runWithoutWindow(int& argc, char** argv)
{
    // Text is laid out through a GUI application for its fonts; no window is ever shown.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    WatermarkHelper::allowLargePictures(); // as the window does
    const Request request = parse(QCoreApplication::arguments());
    switch (request.action) {
    case Request::Action::runBatch:
        return ShellBatch::run(request.batch);
    case Request::Action::listDesigns:
        return ShellBatch::listDesigns();
    case Request::Action::exit:
        return request.exitStatus;
    case Request::Action::openWindow:
        break;
    }
    return usageError(translated("files can be given to the window only without options")).exitStatus;
}

} // namespace CommandLine
