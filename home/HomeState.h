#pragma once

#include "home/FileReport.h"
#include "model/SavedDesigns.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QSet>
#include <QUrl>
#include <QUuid>

#include <atomic>
#include <memory>
#include <optional>

// Everything the Home screen owns: the files, the output folder, the chosen design and the
// state of a run. Its views write into it and repaint on changed(). Main thread only, except
// the stop flag, which the running batch reads.
class HomeState : public QObject
{
    Q_OBJECT

public:
    explicit HomeState(QObject* parent = nullptr);

    const QList<QUrl>& draggedFiles() const { return m_draggedFiles; }
    const std::optional<QUrl>& outputDirectory() const { return m_outputDirectory; }
    const QUuid& selectedWatermarkID() const { return m_selectedWatermarkID; }
    const WatermarkList& watermarks() const { return m_watermarks; }
    bool isWatermarking() const { return m_isWatermarking; }
    bool isWatermarkingComplete() const { return m_isWatermarkingComplete; }
    qint64 watermarkedCount() const { return m_watermarkedCount; }
    bool isWatermarkingCancelled() const { return m_isWatermarkingCancelled->load(); }

    // What the last run did with each listed file it reached, by the file's URL; empty before a
    // run and after the list is cleared, and without the reports of files since removed.
    const QHash<QUrl, FileReport>& fileReports() const { return m_fileReports; }
    // Routed files of the last run that were not written.
    qint64 failedCount() const;
    // How many listed files live in the output folder, so that a run replaces them with their
    // stamped copies.
    qsizetype replacedOriginals() const;
    bool replacesListedFiles() const { return replacedOriginals() > 0; }

    // The design whose id is selectedWatermarkID, or null when none is.
    std::shared_ptr<WatermarkSettings> selectedWatermark() const;
    // Whom the copies are for, filled into a text design's {recipient} when a run starts.
    const QString& recipient() const { return m_recipient; }
    // The selected design is a text that shows the recipient.
    bool asksForRecipient() const;
    // Files, an output folder and a design are all present.
    bool canStartWatermarking() const;

    // The file's position in the list, or -1 when it is not listed.
    qsizetype rowOf(const QUrl& file) const { return m_rows.value(file.toString(), -1); }

    // Appends a file unless the list already holds the same absolute URL.
    void appendFile(const QUrl& file);
    // Appends files in their order, each unless already listed, in one change.
    void appendFiles(const QList<QUrl>& files);
    // Says that count files of a drop were not listed, being no PDF, PNG, JPEG or TIFF file.
    void refuseFiles(qsizetype count) { Q_EMIT filesRefused(count); }
    // Removes every entry equal to file, and its report.
    void removeFile(const QUrl& file);
    // Removes the entries at the given positions, and their reports.
    void deleteFiles(QList<qsizetype> offsets);
    // Empties the list and clears the completion flag and the reports.
    void clearSelection();
    void setOutputDirectory(const std::optional<QUrl>& folder);
    void setSelectedWatermarkID(const QUuid& id);
    void setRecipient(const QString& recipient);

    // Replaces the designs with the stored list, if there is one that decodes, and prints the
    // loading lines. The selection is kept.
    void loadWatermarks(const SavedDesigns& store);

    // Starts a batch of the current files with the selected design; only when canStartWatermarking().
    void startWatermarking();
    // Asks the running batch to stop after its current file.
    void stopWatermarking();

Q_SIGNALS:
    void changed();
    // Finer signals for views of the list that must not redo every row on each change; each
    // comes before changed(). count files were appended at position first.
    void filesAppended(qsizetype first, qsizetype count);
    // Files were removed: the list is new.
    void filesReset();
    // The report of the file at row arrived; -1: every report was dropped.
    void fileReported(qsizetype row);
    // A drop turned count files away.
    void filesRefused(qsizetype count);

private:
    // Drops a file's report when it leaves the list, and keeps the running batch from adding it back.
    void forgetReport(const QUrl& file);
    // After a run, takes off the list the files it replaced with their stamped copies.
    void unlistReplacedOriginals();
    // Lists the rows anew after files left the list.
    void reindex();

    QList<QUrl> m_draggedFiles;
    // Each listed file's row by its absolute location string: duplicates are found without
    // scanning the list, and a report finds its row.
    QHash<QString, qsizetype> m_rows;
    std::optional<QUrl> m_outputDirectory;
    QUuid m_selectedWatermarkID = QUuid::createUuid();
    WatermarkList m_watermarks;
    QString m_recipient;
    bool m_isWatermarking = false;
    bool m_isWatermarkingComplete = false;
    qint64 m_watermarkedCount = 0;
    QHash<QUrl, FileReport> m_fileReports;
    // Files taken off the list while the run goes on, whose reports must not bring them back.
    QSet<QUrl> m_unlistedDuringRun;
    // Shared with the batch, which may outlive this screen.
    std::shared_ptr<std::atomic<bool>> m_isWatermarkingCancelled = std::make_shared<std::atomic<bool>>(false);
};
