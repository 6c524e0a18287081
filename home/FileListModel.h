#pragma once

#include <QAbstractListModel>
#include <QHash>

class HomeState;

// The Home screen's files as rows, in list order, with what the last run did with each. It
// follows the state's fine signals, so a drop of thousands of files is one insertion and a
// report repaints one row.
class FileListModel : public QAbstractListModel
{
    Q_OBJECT

public:
    // The file's URL.
    static constexpr int fileRole = Qt::UserRole;

    explicit FileListModel(HomeState& state, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

private:
    void append(qsizetype first, qsizetype count);
    void reset();
    void countName(qsizetype row);
    QString text(qsizetype row) const;
    QString toolTip(qsizetype row) const;

    HomeState& m_state;
    // The rows the view has been told of; the state's list may already be longer.
    int m_rows = 0;
    // How many listed files carry each file name, so namesakes show their folder.
    QHash<QString, int> m_nameCounts;
    bool m_namesakesAppeared = false;
};
