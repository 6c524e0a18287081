#pragma once

#include <QStyledItemDelegate>
#include <QUuid>

#include <functional>

// Paints a row of the designs list: the name, padded 8 all round, in blue on a rounded wash of
// the accent colour when the row's design is the one being edited (compared by id, so two
// designs of one name never both light up), plain otherwise.
class DesignRowDelegate : public QStyledItemDelegate
{
    Q_OBJECT

public:
    static constexpr int idRole = Qt::UserRole;

    DesignRowDelegate(std::function<QUuid()> selectedId, QObject* parent = nullptr);

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

private:
    std::function<QUuid()> m_selectedId;
};
