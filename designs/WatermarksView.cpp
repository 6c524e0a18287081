#include "designs/WatermarksView.h"

#include "app/CustomHeaderView.h"
#include "app/Tab.h"

#include <QFrame>
#include <QLabel>
#include <QVBoxLayout>

WatermarksView::WatermarksView(QWidget* parent) : QWidget(parent)
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(new CustomHeaderView(rawValue(Tab::watermarks), this));

    auto* divider = new QFrame(this);
    divider->setFrameShape(QFrame::HLine);
    divider->setFrameShadow(QFrame::Sunken);
    layout->addWidget(divider);

    auto* note = new QLabel(tr("The design editor arrives in a coming version."), this);
    note->setAlignment(Qt::AlignCenter);
    note->setForegroundRole(QPalette::PlaceholderText);
    layout->addWidget(note, 1);
}
