#include "home/HomeState.h"

#include "home/BatchJob.h"
#include "home/OutputNames.h"
#include "model/StandardOutput.h"
#include "model/WatermarkCoding.h"

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

bool HomeState::replacesListedFiles() const
{
    if (!m_outputDirectory)
        return false;
    QStringList inputs;
    inputs.reserve(m_draggedFiles.size());
    for (const QUrl& file : m_draggedFiles)
        inputs.append(file.toLocalFile());
    return OutputNames::replacesAnInput(inputs, m_outputDirectory->toLocalFile());
}

bool HomeState::canStartWatermarking() const
{
    return !m_draggedFiles.isEmpty() && m_outputDirectory && selectedWatermark();
}

void HomeState::appendFile(const QUrl& file)
{
    const QString location = file.toString();
    const bool listed = std::any_of(m_draggedFiles.begin(), m_draggedFiles.end(),
                                    [&](const QUrl& entry) { return entry.toString() == location; });
    if (listed)
        return;
    m_draggedFiles.append(file);
    m_unlistedDuringRun.remove(file);
    Q_EMIT changed();
}

void HomeState::removeFile(const QUrl& file)
{
    if (m_draggedFiles.removeAll(file) == 0)
        return;
    forgetReport(file);
    Q_EMIT changed();
}

void HomeState::deleteFiles(QList<qsizetype> offsets)
{
    std::sort(offsets.begin(), offsets.end(), std::greater<>());
    offsets.erase(std::unique(offsets.begin(), offsets.end()), offsets.end());
    for (qsizetype offset : offsets) {
        if (offset >= 0 && offset < m_draggedFiles.size())
            forgetReport(m_draggedFiles.takeAt(offset));
    }
    Q_EMIT changed();
}

void HomeState::clearSelection()
{
    for (const QUrl& file : std::as_const(m_draggedFiles))
        forgetReport(file);
    m_draggedFiles.clear();
    m_fileReports.clear();
    m_isWatermarkingComplete = false;
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
    Q_EMIT changed();
    BatchJob::start(
        m_draggedFiles, design->snapshot(), m_outputDirectory->toLocalFile(), m_isWatermarkingCancelled, this,
        [this](const FileReport& report) {
            if (report.status != FileReport::Status::skipped)
                ++m_watermarkedCount;
            if (!m_unlistedDuringRun.contains(report.file))
                m_fileReports.insert(report.file, report);
            Q_EMIT changed();
        },
        [this] {
            m_unlistedDuringRun.clear();
            m_isWatermarking = false;
            m_isWatermarkingComplete = true;
            Q_EMIT changed();
        });
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
