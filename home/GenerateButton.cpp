#include "home/GenerateButton.h"

#include "home/HomeState.h"
#include "widgets/Icons.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

namespace {

const QString green = QStringLiteral("#2e9e44");

} // namespace

GenerateButton::GenerateButton(HomeState& state, QWidget* parent)
    : QWidget(parent), m_state(state), m_progress(new QProgressBar(this)), m_caption(new QLabel(this)),
      m_seal(new QLabel(this)), m_done(new QLabel(tr("Done"), this)), m_button(new QPushButton(this))
{
    m_progress->setTextVisible(false);
    QFont small = m_caption->font();
    small.setPointSizeF(small.pointSizeF() * 0.85);
    m_caption->setFont(small);
    m_seal->setPixmap(Icons::icon(QStringLiteral("checkmark.seal.fill")).pixmap(18, 18));
    m_done->setStyleSheet(QStringLiteral("color: %1;").arg(green));
    m_button->setObjectName(QStringLiteral("generateButton"));

    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    for (QWidget* item : std::initializer_list<QWidget*>{m_progress, m_caption, m_seal, m_done})
        row->addWidget(item, 0, Qt::AlignVCenter);
    row->addStretch(1);
    row->addWidget(m_button, 0, Qt::AlignVCenter);

    connect(m_button, &QPushButton::clicked, this, [this] {
        if (m_state.isWatermarking())
            m_state.stopWatermarking();
        else
            m_state.startWatermarking();
    });
    connect(&m_state, &HomeState::changed, this, &GenerateButton::refresh);
    refresh();
}

QString GenerateButton::caption() const
{
    return m_caption->isVisibleTo(this) ? m_caption->text() : QString();
}

void GenerateButton::showProgress(bool running, bool done)
{
    m_progress->setVisible(running);
    m_caption->setVisible(running);
    m_seal->setVisible(done);
    m_done->setVisible(done);
}

void GenerateButton::refresh()
{
    const bool running = m_state.isWatermarking();
    showProgress(running, !running && m_state.isWatermarkingComplete());
    if (running) {
        const auto total = m_state.draggedFiles().size();
        m_progress->setRange(0, static_cast<int>(total));
        m_progress->setValue(static_cast<int>(std::min<qint64>(m_state.watermarkedCount(), total)));
        m_caption->setText(
            QStringLiteral("Processing %1 of %2 files").arg(m_state.watermarkedCount()).arg(total));
        m_button->setText(tr("Stop"));
        m_button->setStyleSheet(QStringLiteral("color: #d0312d;"));
        m_button->setEnabled(true);
    } else {
        m_button->setText(tr("Watermark"));
        m_button->setStyleSheet(QString());
        m_button->setEnabled(m_state.canStartWatermarking());
    }
}
