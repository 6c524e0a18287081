#include "home/GenerateButton.h"

#include "home/HomeState.h"
#include "home/batchSummary.h"
#include "widgets/Dialogs.h"
#include "widgets/Icons.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

namespace {

const QString green = QStringLiteral("#2e9e44");
const QString warning = QStringLiteral("#c26a00");
constexpr int sealSize = 18;

} // namespace

GenerateButton::GenerateButton(HomeState& state, QWidget* parent)
    : QWidget(parent), m_state(state), m_progress(new QProgressBar(this)), m_caption(new QLabel(this)),
      m_seal(new QLabel(this)), m_result(new QLabel(this)),
      m_showInFolder(new QPushButton(tr("Show in Folder"), this)), m_button(new QPushButton(this))
{
    m_progress->setTextVisible(false);
    QFont small = m_caption->font();
    small.setPointSizeF(small.pointSizeF() * 0.85);
    m_caption->setFont(small);
    m_seal->setObjectName(QStringLiteral("resultSeal"));
    m_result->setObjectName(QStringLiteral("resultLabel"));
    m_showInFolder->setObjectName(QStringLiteral("showInFolderButton"));
    m_showInFolder->setAutoDefault(true);
    m_button->setObjectName(QStringLiteral("generateButton"));
    m_button->setAutoDefault(true);

    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    // The result wraps rather than being cut off where the column is narrow.
    m_result->setWordWrap(true);
    for (QWidget* item :
         std::initializer_list<QWidget*>{m_progress, m_caption, m_seal, m_result, m_showInFolder})
        row->addWidget(item, item == m_result ? 1 : 0, Qt::AlignVCenter);
    row->addStretch(0); // only while no result takes the room
    row->addWidget(m_button, 0, Qt::AlignVCenter);

    connect(m_button, &QPushButton::clicked, this, [this] {
        if (m_state.isWatermarking())
            m_state.stopWatermarking();
        else if (confirmReplacingOriginals())
            m_state.startWatermarking();
    });
    // A file manager that fails to start is not worth a dialog: the folder's path stays on the screen.
    connect(m_showInFolder, &QPushButton::clicked, this, [this] {
        if (m_runFolder)
            Dialogs::showFolder(*m_runFolder);
    });
    connect(&m_state, &HomeState::changed, this, &GenerateButton::refresh);
    refresh();
}

bool GenerateButton::confirmReplacingOriginals()
{
    const qsizetype originals = m_state.replacedOriginals();
    if (originals == 0)
        return true;
    const QString text =
        originals == 1
            ? tr("Replace 1 original file with its watermarked copy? This cannot be undone.")
            : tr("Replace %1 original files with watermarked copies? This cannot be undone.").arg(originals);
    return Dialogs::ask(this, {text, {tr("Replace"), tr("Cancel")}, 1}) == 0;
}

QString GenerateButton::missingForRun() const
{
    QStringList missing;
    if (m_state.draggedFiles().isEmpty())
        missing << tr("add files");
    if (!m_state.outputDirectory())
        missing << tr("choose an output folder");
    if (!m_state.selectedWatermark())
        missing << tr("select a design");
    if (missing.isEmpty())
        return {};
    const QString last = missing.takeLast();
    const QString all =
        missing.isEmpty() ? last : tr("%1 and %2").arg(missing.join(QStringLiteral(", ")), last);
    return tr("To watermark, %1.").arg(all);
}

QString GenerateButton::caption() const
{
    return m_caption->isVisibleTo(this) ? m_caption->text() : QString();
}

QString GenerateButton::result() const
{
    return m_result->isVisibleTo(this) ? m_result->text() : QString();
}

void GenerateButton::showProgress(bool running, bool done)
{
    m_progress->setVisible(running);
    m_caption->setVisible(running);
    m_result->setVisible(done);
    m_showInFolder->setVisible(done && m_runFolder);
    m_seal->setVisible(false);
}

void GenerateButton::showResult()
{
    QString icon;
    QString colour;
    const qint64 failed = m_state.failedCount();
    m_result->setText(
        batchSummary(m_state.isWatermarkingCancelled(), m_state.watermarkedCount(), failed, m_runLength));
    if (!m_state.isWatermarkingCancelled()) {
        icon =
            failed > 0 ? QStringLiteral("exclamationmark.seal.fill") : QStringLiteral("checkmark.seal.fill");
        colour = failed > 0 ? warning : green;
    }
    m_result->setStyleSheet(colour.isEmpty() ? QString() : QStringLiteral("color: %1;").arg(colour));
    m_seal->setPixmap(icon.isEmpty() ? QPixmap() : Icons::icon(icon).pixmap(sealSize, sealSize));
    m_seal->setVisible(!icon.isEmpty());
}

void GenerateButton::refresh()
{
    const bool running = m_state.isWatermarking();
    if (running && !m_wasRunning) {
        m_runLength = m_state.draggedFiles().size();
        m_runFolder = m_state.outputDirectory();
    }
    m_wasRunning = running;
    const bool done = !running && m_state.isWatermarkingComplete();
    showProgress(running, done);
    if (done)
        showResult();
    if (running) {
        const auto total = m_state.draggedFiles().size();
        m_progress->setRange(0, static_cast<int>(total));
        m_progress->setValue(static_cast<int>(std::min<qint64>(m_state.watermarkedCount(), total)));
        m_caption->setText(
            QStringLiteral("Processing %1 of %2 files").arg(m_state.watermarkedCount()).arg(total));
        m_button->setText(tr("Stop"));
        m_button->setStyleSheet(QStringLiteral("color: #d0312d;"));
        m_button->setEnabled(true);
        m_button->setToolTip(QString());
    } else {
        m_button->setText(tr("Watermark"));
        m_button->setStyleSheet(QString());
        m_button->setEnabled(m_state.canStartWatermarking());
        // A grey button alone does not say what it waits for.
        m_button->setToolTip(missingForRun());
    }
}
