#pragma once

#include <QStyledItemDelegate>

// Paints an entry of the font menu: the face's full name drawn in that face at 14 points, cut
// with an ellipsis where the menu ends. Every entry reports the same size, measured in the
// menu's own font, so a list of hundreds of faces is laid out without opening each face; a face
// is resolved only when its entry is painted.
class FontFaceDelegate : public QStyledItemDelegate
{
    Q_OBJECT

public:
    static constexpr double pointSize = 14;

    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
};
