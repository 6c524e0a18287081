#include "home/FileListModel.h"

#include "home/FileListView.h"
#include "home/HomeState.h"
#include "widgets/Icons.h"

#include <QDir>
#include <QFileInfo>
#include <QPixmap>

namespace {

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

// The three icons are drawn once; thousands of rows share them.
QIcon statusIcon(FileReport::Status status)
{
    static const QHash<int, QIcon> icons = [] {
        QHash<int, QIcon> made;
        for (auto each :
             {FileReport::Status::written, FileReport::Status::failed, FileReport::Status::skipped})
            made.insert(static_cast<int>(each), Icons::icon(iconName(each)));
        return made;
    }();
    return icons.value(static_cast<int>(status));
}

QString fileName(const QUrl& file)
{
    return file.fileName();
}

} // namespace

FileListModel::FileListModel(HomeState& state, QObject* parent) : QAbstractListModel(parent), m_state(state)
{
    connect(&m_state, &HomeState::filesAppended, this, &FileListModel::append);
    connect(&m_state, &HomeState::filesReset, this, &FileListModel::reset);
    connect(&m_state, &HomeState::fileReported, this, [this](qsizetype row) {
        if (row < 0 && m_rows > 0)
            Q_EMIT dataChanged(index(0), index(m_rows - 1));
        else if (row >= 0 && row < m_rows)
            Q_EMIT dataChanged(index(static_cast<int>(row)), index(static_cast<int>(row)));
    });
    reset();
}

int FileListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : m_rows;
}

QVariant FileListModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= m_rows)
        return {};
    const qsizetype row = index.row();
    const QUrl& file = m_state.draggedFiles()[row];
    switch (role) {
    case Qt::DisplayRole:
        return text(row);
    case Qt::ToolTipRole:
        return toolTip(row);
    case fileRole:
        return file;
    case Qt::DecorationRole: {
        const auto found = m_state.fileReports().constFind(file);
        // An empty icon keeps its room, so names stay in one column while a run marks the rows.
        static const QPixmap none = [] {
            QPixmap blank(16, 16);
            blank.fill(Qt::transparent);
            return blank;
        }();
        return found == m_state.fileReports().cend() ? QVariant(none) : QVariant(statusIcon(found->status));
    }
    default:
        return {};
    }
}

void FileListModel::append(qsizetype first, qsizetype count)
{
    // Rows the view has not been told of yet come after the ones it has.
    if (first != m_rows) {
        reset();
        return;
    }
    m_namesakesAppeared = false;
    for (qsizetype row = first; row < first + count; ++row)
        countName(row);
    beginInsertRows({}, m_rows, static_cast<int>(first + count - 1));
    m_rows = static_cast<int>(first + count);
    endInsertRows();
    // An earlier row whose name a new file shares now shows its folder.
    if (m_namesakesAppeared && first > 0)
        Q_EMIT dataChanged(index(0), index(static_cast<int>(first) - 1), {Qt::DisplayRole});
}

void FileListModel::reset()
{
    beginResetModel();
    m_nameCounts.clear();
    m_rows = static_cast<int>(m_state.draggedFiles().size());
    for (qsizetype row = 0; row < m_rows; ++row)
        countName(row);
    endResetModel();
}

void FileListModel::countName(qsizetype row)
{
    if (++m_nameCounts[fileName(m_state.draggedFiles()[row])] == 2)
        m_namesakesAppeared = true;
}

QString FileListModel::text(qsizetype row) const
{
    const QUrl& file = m_state.draggedFiles()[row];
    const QString name = fileName(file);
    // Two rows reading "report.pdf" would not say which is which.
    if (m_nameCounts.value(name) < 2)
        return name;
    return QStringLiteral("%1 — %2").arg(name,
                                         QDir::toNativeSeparators(QFileInfo(file.toLocalFile()).path()));
}

QString FileListModel::toolTip(qsizetype row) const
{
    const QUrl& file = m_state.draggedFiles()[row];
    const QString path = QDir::toNativeSeparators(file.toLocalFile());
    const auto found = m_state.fileReports().constFind(file);
    if (found == m_state.fileReports().cend())
        return path;
    return QStringLiteral("%1\n%2").arg(path, FileListView::outcomeText(*found));
}
