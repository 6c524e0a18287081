#include "designs/DesignRowDelegate.h"

#include <QPainter>

namespace {

constexpr int padding = 8;

} // namespace

DesignRowDelegate::DesignRowDelegate(std::function<QUuid()> selectedId, QObject* parent)
    : QStyledItemDelegate(parent), m_selectedId(std::move(selectedId))
{}

void DesignRowDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                              const QModelIndex& index) const
{
    const QUuid selected = m_selectedId();
    const bool current = !selected.isNull() && index.data(idRole).toUuid() == selected;
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    if (current) {
        QColor wash = option.palette.color(QPalette::Highlight);
        wash.setAlphaF(0.2f);
        painter->setPen(Qt::NoPen);
        painter->setBrush(wash);
        painter->drawRoundedRect(QRectF(option.rect).adjusted(2, 1, -2, -1), 4, 4);
    }
    if (option.state & QStyle::State_HasFocus && !current) {
        painter->setPen(QPen(option.palette.color(QPalette::Highlight), 1, Qt::DotLine));
        painter->setBrush(Qt::NoBrush);
        painter->drawRoundedRect(QRectF(option.rect).adjusted(2.5, 1.5, -2.5, -1.5), 4, 4);
    }
    painter->setPen(current ? QColor(0, 122, 255) : option.palette.color(QPalette::Text));
    const QRect text = option.rect.adjusted(padding, padding, -padding, -padding);
    painter->drawText(
        text, Qt::AlignLeft | Qt::AlignVCenter,
        option.fontMetrics.elidedText(index.data(Qt::DisplayRole).toString(), Qt::ElideRight, text.width()));
    painter->restore();
}

QSize DesignRowDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const
{
    return {option.rect.width(), option.fontMetrics.height() + 2 * padding};
}
