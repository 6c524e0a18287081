#include "designs/FontFaceDelegate.h"

#include "render/FontResolver.h"

#include <QApplication>

#include <algorithm>

namespace {

QStyle* styleOf(const QStyleOptionViewItem& option)
{
    return option.widget ? option.widget->style() : QApplication::style();
}

void setFont(QStyleOptionViewItem& option, QFont font)
{
    font.setPointSizeF(FontFaceDelegate::pointSize);
    option.font = font;
    option.fontMetrics = QFontMetrics(font);
}

} // namespace

void FontFaceDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                             const QModelIndex& index) const
{
    QStyleOptionViewItem entry = option;
    initStyleOption(&entry, index);
    setFont(entry, FontResolver::fontFor(entry.text));
    entry.textElideMode = Qt::ElideRight;
    styleOf(option)->drawControl(QStyle::CE_ItemViewItem, &entry, painter, option.widget);
}

QSize FontFaceDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    QStyleOptionViewItem entry = option;
    initStyleOption(&entry, index);
    setFont(entry, entry.font);
    QSize size = styleOf(option)->sizeFromContents(QStyle::CT_ItemViewItem, &entry, QSize(), option.widget);
    // Faces differ in ascent and descent; the extra room keeps tall ones inside their entry.
    size.setHeight(std::max(size.height(), entry.fontMetrics.height() * 3 / 2));
    return size;
}
