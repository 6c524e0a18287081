// Stamps files exactly as the batch does (same decoding, same routing) and times each one, so
// the benchmarks measure the shipping code path rather than a lookalike.

#include "home/WatermarkRouting.h"
#include "model/WatermarkCoding.h"
#include "render/WatermarkHelper.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QString>
#include <QStringList>

#include <chrono>
#include <cstdio>
#include <optional>

namespace {

constexpr const char* usageText =
    "Usage: stamp-files --design DESIGN.json --output DIR INPUT...\n"
    "\n"
    "Stamps each INPUT with the design read from DESIGN.json (the JSON text of one element\n"
    "of the saved designs array) and writes it under its own file name into DIR, routing\n"
    "by extension as the batch does: .pdf to PDF stamping; .png, .jpg, .jpeg and .tiff to\n"
    "picture stamping.\n"
    "\n"
    "Standard error gets one line per stamped file, \"<milliseconds> <path>\" (milliseconds\n"
    "with decimals), followed by \"failed: <reason>\" on the next line when that file could\n"
    "not be stamped. A file with any other extension is not stamped and gets the line\n"
    "\"skipped <path>\". Standard output carries the drawing routine's own lines.\n"
    "\n"
    "Exit status: 0 once every input was tried, whatever the outcomes; 2 for bad arguments,\n"
    "a design that cannot be read or decoded, or an output folder that does not exist.\n";

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
    QStringList inputs;
};

// Parsed by hand: QCommandLineParser would also swallow Qt's own platform options and
// print its help on standard output, which the timing lines must not share.
std::optional<Arguments> parse(const QStringList& args, QString& error)
{
    Arguments parsed;
    bool optionsDone = false;
    for (qsizetype i = 1; i < args.size(); ++i) {
        const QString& arg = args.at(i);
        if (!optionsDone && (arg == QLatin1String("--design") || arg == QLatin1String("--output"))) {
            if (i + 1 >= args.size()) {
                error = arg + QStringLiteral(" needs a value.");
                return std::nullopt;
            }
            (arg == QLatin1String("--design") ? parsed.design : parsed.output) = args.at(++i);
        } else if (!optionsDone && (arg.startsWith(QLatin1String("--design=")) ||
                                    arg.startsWith(QLatin1String("--output=")))) {
            const qsizetype eq = arg.indexOf(QLatin1Char('='));
            (arg.startsWith(QLatin1String("--design")) ? parsed.design : parsed.output) = arg.mid(eq + 1);
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

    for (const QString& input : parsed->inputs) {
        if (!WatermarkRouting::routeFor(input)) {
            printError(QStringLiteral("skipped ") + input);
            continue;
        }
        const auto start = std::chrono::steady_clock::now();
        const auto outcome = WatermarkRouting::watermarkFile(input, *design, outputFolder);
        const std::chrono::duration<double, std::milli> elapsed = std::chrono::steady_clock::now() - start;
        printError(QString::number(elapsed.count(), 'f', 3) + QLatin1Char(' ') + input);
        if (outcome && !outcome->ok())
            printError(QStringLiteral("failed: ") + outcome->error());
    }
    return 0;
}
