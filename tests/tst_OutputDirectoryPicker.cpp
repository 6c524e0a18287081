#include "home/BatchJob.h"
#include "home/HomeState.h"
#include "home/OutputDirectoryPicker.h"
#include "support/HomeRun.h"
#include "widgets/Dialogs.h"

#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

class TestOutputDirectoryPicker : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cleanup()
    {
        Dialogs::setFolderAnswer({});
        BatchJob::stopAllAndWait();
    }

    // Only a confirmed choice counts, a confirmed "none" too; during a run the folder stays.
    void keepsOnlyConfirmedChoices()
    {
        QCOMPARE(selectedText(), QStringLiteral("Selected folder: Not Selected"));
        const QString folder = m_dir.filePath(QStringLiteral("Watermarked Files"));
        QVERIFY(QDir().mkpath(folder));
        answer({true, QUrl::fromLocalFile(folder)});
        QCOMPARE(m_state.outputDirectory(), QUrl::fromLocalFile(folder));
        QCOMPARE(selectedText(), QStringLiteral("Selected folder: ") + folder);
        answer({false, std::nullopt});
        QCOMPARE(m_state.outputDirectory(), QUrl::fromLocalFile(folder));
        answer({true, std::nullopt});
        QCOMPARE(m_state.outputDirectory(), std::nullopt);
        QCOMPARE(selectedText(), QStringLiteral("Selected folder: Not Selected"));

        HomeRun::start(m_state, m_dir.path());
        const auto running = m_state.outputDirectory();
        QVERIFY(m_state.isWatermarking() && !openButton()->isEnabled());
        answer({true, QUrl::fromLocalFile(folder)});
        QCOMPARE(m_state.outputDirectory(), running);
        QTRY_VERIFY(!m_state.isWatermarking());
        QVERIFY(openButton()->isEnabled());
    }

private:
    // Answers the folder dialog in advance and presses "Open Folder".
    void answer(Dialogs::Choice choice)
    {
        Dialogs::setFolderAnswer([choice] { return choice; });
        QTest::mouseClick(openButton(), Qt::LeftButton);
    }

    QPushButton* openButton() const
    {
        return m_picker.findChild<QPushButton*>(QStringLiteral("openFolderButton"));
    }

    QString selectedText() const
    {
        return m_picker.findChild<QLabel*>(QStringLiteral("selectedFolderLabel"))->text();
    }

    QTemporaryDir m_dir;
    HomeState m_state;
    OutputDirectoryPicker m_picker{m_state};
};

QTEST_MAIN(TestOutputDirectoryPicker)
#include "tst_OutputDirectoryPicker.moc"
