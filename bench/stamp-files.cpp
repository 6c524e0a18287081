// Stamps files as one batch of the Home screen (same decoding, same batch routine with its
// routing, output names, design check and pool of workers) and times each one, so the
// benchmarks measure the shipping code path rather than a lookalike.

#include "home/BatchJob.h"
#include "home/BatchPool.h"
#include "model/WatermarkCoding.h"
#include "render/WatermarkHelper.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHash>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <optional>

namespace {

constexpr const char* usageText =
    "Usage: stamp-files --design DESIGN.json --output DIR [--jobs N] INPUT...\n"
    "\n"
    "Stamps the INPUTs as one batch exactly as the Home screen does, with the design read\n"
    "from DESIGN.json (the JSON text of one element of the saved designs array), into DIR.\n"
    "N workers stamp at once (1: one file at a time; default: the machine's core count),\n"
    "taking the files in order while their estimated memory fits the batch's budget.\n"
    "Routing by extension: .pdf to PDF stamping; .png, .jpg, .jpeg, .tif and\n"
    ".tiff to picture stamping. Each output takes its input's file name, unless an earlier\n"
    "input of the batch took that name (compared ignoring case) or another input lives in\n"
    "DIR under it: then \"name (2).ext\", \"name (3).ext\"... An image design whose picture\n"
    "cannot be read fails every file unwritten.\n"
    "\n"
    "Standard error gets one line per input as it finishes: \"<milliseconds> <path>\" (milliseconds\n"
    "with decimals) for a file written, \"failed: <path>: <reason>\" for one that was not, and\n"
    "\"skipped <path>\" for a file with any other extension. Standard output carries the\n"
    "drawing routine's own lines.\n"
    "\n"
    "Exit status: 0 when every routed input was written; 1 when any was not; 2 for bad\n"
    "arguments (N not a whole number of at least 1), a design that cannot be read or decoded,\n"
    "or an output folder that does not exist.\n";

void printError(const QString& line)
{
    std::fprintf(stderr, "%s\n", line.toLocal8Bit().constData());
    std::fflush(stderr);
}

int usageError(const QString& reason)
{
    printError(QStringLiteral("stamp-files: ") + reason);
    std::fputs(usageText, stderr);
    return 2;
}

struct Arguments
{
    QString design;
    QString output;
    QString jobs;
    QStringList inputs;
};

// Where the value of an option that takes one goes; null for any other argument.
QString* valueOf(Arguments& parsed, QStringView option)
{
    if (option == QLatin1String("--design"))
        return &parsed.design;
    if (option == QLatin1String("--output"))
        return &parsed.output;
    if (option == QLatin1String("--jobs"))
        return &parsed.jobs;
    return nullptr;
}

// Parsed by hand: QCommandLineParser would also swallow Qt's own platform options and
// print its help on standard output, which the timing lines must not share.
std::optional<Arguments> parse(const QStringList& args, QString& error)
{
    Arguments parsed;
    bool optionsDone = false;
    for (qsizetype i = 1; i < args.size(); ++i) {
        const QString& arg = args.at(i);
        const qsizetype eq = arg.indexOf(QLatin1Char('='));
        QString* const joined = optionsDone || eq < 0 ? nullptr : valueOf(parsed, QStringView(arg).left(eq));
        QString* const separate = optionsDone ? nullptr : valueOf(parsed, arg);
        if (joined) {
            *joined = arg.mid(eq + 1);
        } else if (separate) {
            if (i + 1 >= args.size()) {
                error = arg + QStringLiteral(" needs a value.");
                return std::nullopt;
            }
            *separate = args.at(++i);
        } else if (!optionsDone && arg == QLatin1String("--")) {
            optionsDone = true;
        } else if (!optionsDone && arg.startsWith(QLatin1String("-")) && arg.size() > 1) {
            error = QStringLiteral("unknown option %1.").arg(arg);
            return std::nullopt;
        } else {
            parsed.inputs.append(arg);
        }
    }
    if (parsed.design.isEmpty())
        error = QStringLiteral("--design is required.");
    else if (parsed.output.isEmpty())
        error = QStringLiteral("--output is required.");
    else if (parsed.inputs.isEmpty())
        error = QStringLiteral("no input files given.");
    if (!error.isEmpty())
        return std::nullopt;
    return parsed;
}

// The number of workers --jobs asks for, the machine's without it; none for anything but a whole
// number of at least 1.
std::optional<int> workersFor(const QString& jobs)
{
    if (jobs.isNull())
        return BatchPool::machineWorkers();
    bool ok = false;
    const int workers = jobs.toInt(&ok);
    return ok && workers >= 1 ? std::optional(workers) : std::nullopt;
}

// The time the last file stamped on this thread took; the report that follows on the same worker
// prints it.
thread_local double lastMilliseconds = 0;

} // namespace

int main(int argc, char* argv[])
{
    // Text layout needs a GUI application for its fonts, but a benchmark host has no display.
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    WatermarkHelper::allowLargePictures(); // as the application does

    const QStringList args = QCoreApplication::arguments();
    for (const QString& arg : args.mid(1)) {
        if (arg == QLatin1String("-h") || arg == QLatin1String("--help")) {
            std::fputs(usageText, stderr);
            return 0;
        }
    }
    QString error;
    const auto parsed = parse(args, error);
    if (!parsed)
        return usageError(error);
    const auto workers = workersFor(parsed->jobs);
    if (!workers)
        return usageError(
            QStringLiteral("--jobs wants a whole number of at least 1, not \"%1\".").arg(parsed->jobs));

    QFile designFile(parsed->design);
    if (!designFile.open(QIODevice::ReadOnly)) {
        printError(QStringLiteral("stamp-files: cannot read the design %1: %2")
                       .arg(parsed->design, designFile.errorString()));
        return 2;
    }
    const auto design = WatermarkCoding::decodeOne(designFile.readAll());
    if (!design) {
        printError(QStringLiteral("stamp-files: cannot decode the design %1: %2")
                       .arg(parsed->design, design.error()));
        return 2;
    }
    const QFileInfo outputInfo(parsed->output);
    if (!outputInfo.isDir()) {
        printError(QStringLiteral("stamp-files: the output folder %1 does not exist.").arg(parsed->output));
        return 2;
    }
    const QString outputFolder = outputInfo.absoluteFilePath();

    // The lines name the inputs as they were given; reports name them by URL.
    QList<QUrl> files;
    QHash<QUrl, QString> given;
    for (const QString& input : parsed->inputs) {
        files.append(QUrl::fromLocalFile(QFileInfo(input).absoluteFilePath()));
        given.insert(files.last(), input);
    }

    // Timed around the stamping alone, so the figures leave out naming and the design check.
    const BatchJob::Stamper routed = BatchJob::routedStamper();
    const BatchJob::Stamper timed = [&](const QString& input, const WatermarkSnapshot& settings,
                                        const QString& output) {
        const auto start = std::chrono::steady_clock::now();
        FileOutcome outcome = routed(input, settings, output);
        lastMilliseconds =
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
        return outcome;
    };

    // Reports come from the workers, one per input as it finishes; each line is one write, so
    // lines from two workers never interleave.
    std::atomic<bool> allWritten = true;
    const auto printReport = [&](const FileReport& report) {
        const QString input = given.value(report.file);
        switch (report.status) {
        case FileReport::Status::written:
            printError(QString::number(lastMilliseconds, 'f', 3) + QLatin1Char(' ') + input);
            break;
        case FileReport::Status::failed:
            allWritten = false;
            printError(QStringLiteral("failed: %1: %2").arg(input, report.reason));
            break;
        case FileReport::Status::skipped:
            printError(QStringLiteral("skipped ") + input);
            break;
        }
    };
    const std::atomic<bool> neverStopped = false;
    BatchJob::watermarkFiles(
        files, *design, outputFolder, neverStopped, printReport, [] {}, timed, *workers);
    return allWritten ? 0 : 1;
}
