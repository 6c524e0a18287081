#include "home/HomeState.h"

#include "home/BatchJob.h"
#include "home/OutputNames.h"
#include "model/StandardOutput.h"
#include "model/TextFields.h"
#include "model/WatermarkCoding.h"

#include <QFileInfo>
#include <QStringList>

#include <algorithm>

HomeState::HomeState(QObject* parent) : QObject(parent) {}

std::shared_ptr<WatermarkSettings> HomeState::selectedWatermark() const
{
    const auto found = std::find_if(m_watermarks.begin(), m_watermarks.end(), [this](const auto& design) {
        return design->id() == m_selectedWatermarkID;
    });
    return found == m_watermarks.end() ? nullptr : *found;
}

qint64 HomeState::failedCount() const
{
    return std::count_if(m_fileReports.cbegin(), m_fileReports.cend(), [](const FileReport& report) {
        return report.status == FileReport::Status::failed;
    });
}

qsizetype HomeState::replacedOriginals() const
{
    if (!m_outputDirectory)
        return 0;
    QStringList inputs;
    inputs.reserve(m_draggedFiles.size());
    for (const QUrl& file : m_draggedFiles)
        inputs.append(file.toLocalFile());
    return OutputNames::inputsInFolder(inputs, m_outputDirectory->toLocalFile());
}

bool HomeState::canStartWatermarking() const
{
    return !m_draggedFiles.isEmpty() && m_outputDirectory && selectedWatermark();
}

void HomeState::appendFile(const QUrl& file)
{
    appendFiles({file});
}

void HomeState::appendFiles(const QList<QUrl>& files)
{
    const qsizetype first = m_draggedFiles.size();
    for (const QUrl& file : files) {
        const QString location = file.toString();
        if (m_rows.contains(location))
            continue;
        m_rows.insert(location, m_draggedFiles.size());
        m_draggedFiles.append(file);
        m_unlistedDuringRun.remove(file);
    }
    if (m_draggedFiles.size() == first)
        return;
    Q_EMIT filesAppended(first, m_draggedFiles.size() - first);
    Q_EMIT changed();
}

void HomeState::removeFile(const QUrl& file)
{
    if (m_draggedFiles.removeAll(file) == 0)
        return;
    forgetReport(file);
    reindex();
    Q_EMIT changed();
}

void HomeState::reindex()
{
    m_rows.clear();
    m_rows.reserve(m_draggedFiles.size());
    for (qsizetype row = 0; row < m_draggedFiles.size(); ++row)
        m_rows.insert(m_draggedFiles[row].toString(), row);
    Q_EMIT filesReset();
}

void HomeState::deleteFiles(QList<qsizetype> offsets)
{
    std::sort(offsets.begin(), offsets.end(), std::greater<>());
    offsets.erase(std::unique(offsets.begin(), offsets.end()), offsets.end());
    for (qsizetype offset : offsets) {
        if (offset >= 0 && offset < m_draggedFiles.size())
            forgetReport(m_draggedFiles.takeAt(offset));
    }
    reindex();
    Q_EMIT changed();
}

void HomeState::clearSelection()
{
    for (const QUrl& file : std::as_const(m_draggedFiles))
        forgetReport(file);
    m_draggedFiles.clear();
    m_fileReports.clear();
    m_isWatermarkingComplete = false;
    reindex();
    Q_EMIT changed();
}

void HomeState::setOutputDirectory(const std::optional<QUrl>& folder)
{
    m_outputDirectory = folder;
    Q_EMIT changed();
}

void HomeState::setSelectedWatermarkID(const QUuid& id)
{
    m_selectedWatermarkID = id;
    Q_EMIT changed();
}

void HomeState::loadWatermarks(const SavedDesigns& store)
{
    auto loaded = store.loadWatermarks();
    if (!loaded)
        return;
    m_watermarks = std::move(*loaded);
    QStringList names;
    for (const auto& design : m_watermarks)
        names << QStringLiteral("%1 (%2)").arg(design->watermarkName(),
                                               WatermarkCoding::uuidString(design->id()));
    StandardOutput::printLine(QStringLiteral("Loaded %1 watermark design(s): [%2]")
                                  .arg(m_watermarks.size())
                                  .arg(names.join(QStringLiteral(", "))));
    if (!m_watermarks.empty()) {
        StandardOutput::printLine(WatermarkCoding::uuidString(m_watermarks.front()->id()));
        StandardOutput::printLine(m_watermarks.front()->text());
    }
    StandardOutput::printLine(WatermarkCoding::uuidString(m_selectedWatermarkID));
    Q_EMIT changed();
}

bool HomeState::asksForRecipient() const
{
    const auto design = selectedWatermark();
    return design && design->type() == WatermarkType::text &&
           TextFields::uses(design->text(), QStringLiteral("recipient"));
}

void HomeState::setRecipient(const QString& recipient)
{
    if (m_recipient == recipient)
        return;
    m_recipient = recipient;
    Q_EMIT changed();
}

void HomeState::startWatermarking()
{
    const auto design = selectedWatermark();
    if (m_isWatermarking || !canStartWatermarking())
        return;
    m_isWatermarkingCancelled->store(false);
    StandardOutput::printLine(QStringLiteral("Watermarking files..."));
    m_isWatermarking = true;
    m_isWatermarkingComplete = false;
    m_watermarkedCount = 0;
    m_fileReports.clear();
    m_unlistedDuringRun.clear();
    Q_EMIT fileReported(-1);
    Q_EMIT changed();
    BatchJob::start(
        m_draggedFiles, BatchJob::addressedTo(design->snapshot(), m_recipient), m_outputDirectory->toLocalFile(), m_isWatermarkingCancelled, this,
        [this](const FileReport& report) {
            if (report.status != FileReport::Status::skipped)
                ++m_watermarkedCount;
            if (!m_unlistedDuringRun.contains(report.file)) {
                m_fileReports.insert(report.file, report);
                Q_EMIT fileReported(rowOf(report.file));
            }
            Q_EMIT changed();
        },
        [this] {
            m_unlistedDuringRun.clear();
            m_isWatermarking = false;
            m_isWatermarkingComplete = true;
            unlistReplacedOriginals();
            Q_EMIT changed();
        });
}

void HomeState::unlistReplacedOriginals()
{
    if (!m_outputDirectory || replacedOriginals() == 0)
        return;
    // A file whose stamped copy took its place is an output now: running the list again would
    // stamp it twice.
    const qsizetype before = m_draggedFiles.size();
    m_draggedFiles.removeIf([this](const QUrl& file) {
        const auto found = m_fileReports.constFind(file);
        return found != m_fileReports.cend() && found->status == FileReport::Status::written &&
               QFileInfo(found->output).canonicalFilePath() ==
                   QFileInfo(file.toLocalFile()).canonicalFilePath();
    });
    if (m_draggedFiles.size() == before)
        return;
    reindex();
    m_fileReports.removeIf(
        [this](QHash<QUrl, FileReport>::iterator entry) { return !m_rows.contains(entry.key().toString()); });
}

void HomeState::forgetReport(const QUrl& file)
{
    m_fileReports.remove(file);
    if (m_isWatermarking)
        m_unlistedDuringRun.insert(file);
}

void HomeState::stopWatermarking()
{
    m_isWatermarkingCancelled->store(true);
    Q_EMIT changed();
}
