#include "home/FileListView.h"

#include "home/FileIntake.h"
#include "home/HomeState.h"
#include "widgets/Icons.h"

#include <QDir>
#include <QDragEnterEvent>
#include <QFileInfo>
#include <QHash>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>

namespace {

constexpr int fileRole = Qt::UserRole;
// What the row shows now, so that a run's many updates only touch the rows that changed.
constexpr int shownStatusRole = Qt::UserRole + 1;
constexpr int noReport = -1;

QString localPath(const QUrl& file)
{
    return QDir::toNativeSeparators(file.toLocalFile());
}

QString iconName(FileReport::Status status)
{
    switch (status) {
    case FileReport::Status::written:
        return QStringLiteral("checkmark.circle.fill");
    case FileReport::Status::failed:
        return QStringLiteral("xmark.circle.fill");
    case FileReport::Status::skipped:
        return QStringLiteral("minus.circle");
    }
    return {};
}

} // namespace

FileListView::FileListView(HomeState& state, QWidget* parent) : QListWidget(parent), m_state(state)
{
    setObjectName(QStringLiteral("fileList"));
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setContextMenuPolicy(Qt::CustomContextMenu);
    setIconSize({16, 16});
    // Drags arrive at the viewport, which hands them to this view.
    setAcceptDrops(true);
    viewport()->setAcceptDrops(true);
    connect(this, &QWidget::customContextMenuRequested, this, &FileListView::showMenu);
    connect(&m_state, &HomeState::changed, this, &FileListView::refresh);
    refresh();
}

QString FileListView::outcomeText(const FileReport& report)
{
    const auto withReason = [&report](const QString& outcome) {
        return report.reason.isEmpty() ? outcome : QStringLiteral("%1: %2").arg(outcome, report.reason);
    };
    switch (report.status) {
    case FileReport::Status::written:
        return report.output.isEmpty() ? tr("Watermarked")
                                       : tr("Watermarked: %1").arg(QDir::toNativeSeparators(report.output));
    case FileReport::Status::failed:
        return withReason(tr("Not watermarked"));
    case FileReport::Status::skipped:
        return withReason(tr("Skipped"));
    }
    return {};
}

QString FileListView::selectedOutcome() const
{
    const QList<QListWidgetItem*> selected = selectedItems();
    if (selected.size() != 1)
        return {};
    const auto found = m_state.fileReports().constFind(selected.first()->data(fileRole).toUrl());
    return found == m_state.fileReports().cend() ? QString() : outcomeText(*found);
}

void FileListView::refresh()
{
    const QList<QUrl>& files = m_state.draggedFiles();
    bool same = count() == files.size();
    for (int i = 0; same && i < count(); ++i)
        same = item(i)->data(fileRole).toUrl() == files[i];
    if (!same)
        rebuildRows();
    for (int i = 0; i < count(); ++i)
        showReport(item(i));
}

void FileListView::rebuildRows()
{
    const QList<QUrl>& files = m_state.draggedFiles();
    QHash<QString, int> sharedNames;
    for (const QUrl& file : files)
        ++sharedNames[QFileInfo(file.toLocalFile()).fileName()];
    clear();
    for (const QUrl& file : files) {
        const QFileInfo info(file.toLocalFile());
        // Two rows reading "report.pdf" would not say which is which.
        const QString text =
            sharedNames.value(info.fileName()) > 1
                ? QStringLiteral("%1 — %2").arg(info.fileName(), QDir::toNativeSeparators(info.path()))
                : info.fileName();
        auto* row = new QListWidgetItem(text, this);
        row->setData(fileRole, file);
        row->setData(shownStatusRole, noReport);
        row->setToolTip(localPath(file));
    }
}

void FileListView::showReport(QListWidgetItem* row)
{
    const QUrl file = row->data(fileRole).toUrl();
    const auto found = m_state.fileReports().constFind(file);
    const bool reported = found != m_state.fileReports().cend();
    const int status = reported ? static_cast<int>(found->status) : noReport;
    if (row->data(shownStatusRole).toInt() == status)
        return;
    row->setData(shownStatusRole, status);
    row->setIcon(reported ? Icons::icon(iconName(found->status)) : QIcon());
    row->setToolTip(reported ? QStringLiteral("%1\n%2").arg(localPath(file), outcomeText(*found))
                             : localPath(file));
}

// The delete key removes the selected files, except while a run is in progress.
void FileListView::keyPressEvent(QKeyEvent* event)
{
    if (event->key() != Qt::Key_Delete && event->key() != Qt::Key_Backspace) {
        QListWidget::keyPressEvent(event);
        return;
    }
    if (!m_state.isWatermarking()) {
        QList<qsizetype> offsets;
        for (const QModelIndex& index : selectionModel()->selectedRows())
            offsets.append(index.row());
        m_state.deleteFiles(offsets);
    }
    event->accept();
}

void FileListView::showMenu(const QPoint& position)
{
    QListWidgetItem* row = itemAt(position);
    if (!row)
        return;
    const QUrl file = row->data(fileRole).toUrl();
    QMenu menu(this);
    QAction* remove = menu.addAction(Icons::icon(QStringLiteral("trash")), tr("Remove"));
    remove->setEnabled(!m_state.isWatermarking());
    connect(remove, &QAction::triggered, this, [this, file] { m_state.removeFile(file); });
    menu.exec(viewport()->mapToGlobal(position));
}

bool FileListView::takesDrop(const QDropEvent* event) const
{
    return !m_state.isWatermarking() && FileIntake::carriesLocalFiles(event->mimeData());
}

void FileListView::dragEnterEvent(QDragEnterEvent* event)
{
    if (takesDrop(event))
        FileIntake::acceptAsCopy(event);
    else
        event->ignore();
}

void FileListView::dragMoveEvent(QDragMoveEvent* event)
{
    if (takesDrop(event))
        FileIntake::acceptAsCopy(event);
    else
        event->ignore();
}

void FileListView::dropEvent(QDropEvent* event)
{
    if (!takesDrop(event)) {
        event->ignore();
        return;
    }
    FileIntake::acceptAsCopy(event);
    FileIntake::take(m_state, event->mimeData()->urls());
}
