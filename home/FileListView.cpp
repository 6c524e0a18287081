#include "home/FileListView.h"

#include "home/FileIntake.h"
#include "home/FileListModel.h"
#include "home/HomeState.h"
#include "widgets/Icons.h"

#include <QDir>
#include <QDragEnterEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>

FileListView::FileListView(HomeState& state, QWidget* parent)
    : QListView(parent), m_state(state), m_model(new FileListModel(state, this))
{
    setObjectName(QStringLiteral("fileList"));
    setModel(m_model);
    // Rows of one height need no measuring, so thousands of them list at once.
    setUniformItemSizes(true);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setTextElideMode(Qt::ElideMiddle);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setContextMenuPolicy(Qt::CustomContextMenu);
    setIconSize({16, 16});
    // Drags arrive at the viewport, which hands them to this view.
    setAcceptDrops(true);
    viewport()->setAcceptDrops(true);
    connect(this, &QWidget::customContextMenuRequested, this, &FileListView::showMenu);
    connect(selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &FileListView::selectedFilesChanged);
    connect(m_model, &QAbstractItemModel::dataChanged, this, &FileListView::selectedFilesChanged);
}

QString FileListView::outcomeText(const FileReport& report)
{
    const auto withReason = [&report](const QString& outcome) {
        return report.reason.isEmpty() ? outcome : QStringLiteral("%1: %2").arg(outcome, report.reason);
    };
    switch (report.status) {
    case FileReport::Status::written: {
        const QString written = report.output.isEmpty()
                                    ? tr("Watermarked")
                                    : tr("Watermarked: %1").arg(QDir::toNativeSeparators(report.output));
        return report.reason.isEmpty() ? written : QStringLiteral("%1 (%2)").arg(written, report.reason);
    }
    case FileReport::Status::failed:
        return withReason(tr("Not watermarked"));
    case FileReport::Status::skipped:
        return withReason(tr("Skipped"));
    }
    return {};
}

QString FileListView::selectedOutcome() const
{
    const QModelIndexList selected = selectionModel()->selectedRows();
    if (selected.size() != 1)
        return {};
    const auto found =
        m_state.fileReports().constFind(selected.first().data(FileListModel::fileRole).toUrl());
    return found == m_state.fileReports().cend() ? QString() : outcomeText(*found);
}

// The delete key removes the selected files, except while a run is in progress.
void FileListView::keyPressEvent(QKeyEvent* event)
{
    if (event->key() != Qt::Key_Delete && event->key() != Qt::Key_Backspace) {
        QListView::keyPressEvent(event);
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
    const QModelIndex row = indexAt(position);
    if (!row.isValid())
        return;
    const QUrl file = row.data(FileListModel::fileRole).toUrl();
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
