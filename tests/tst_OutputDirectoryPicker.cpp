#include "home/HomeState.h"
#include "home/OutputDirectoryPicker.h"
#include "support/TestFiles.h"
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
    void cleanup() { Dialogs::setFolderAnswer({}); }

    // Only a confirmed choice counts, a confirmed "none" too. The dialog starts in the home
    // folder, then in the last folder chosen. Enter on the focused button asks too.
    void keepsOnlyConfirmedChoices()
    {
        QCOMPARE(selectedText(), QStringLiteral("Selected folder: Not Selected"));
        const QString folder = m_dir.filePath(QStringLiteral("Watermarked Files"));
        QVERIFY(QDir().mkpath(folder));
        answer({true, QUrl::fromLocalFile(folder)});
        QCOMPARE(m_startedIn, QDir::homePath());
        QCOMPARE(m_state.outputDirectory(), QUrl::fromLocalFile(folder));
        QCOMPARE(selectedText(), QStringLiteral("Selected folder: ") + folder);
        answer({false, std::nullopt});
        QCOMPARE(m_state.outputDirectory(), QUrl::fromLocalFile(folder));
        answer({true, std::nullopt});
        QCOMPARE(m_startedIn, folder);
        QCOMPARE(m_state.outputDirectory(), std::nullopt);
        QCOMPARE(selectedText(), QStringLiteral("Selected folder: Not Selected"));

        m_startedIn.clear();
        m_picker.show();
        openButton()->setFocus();
        QTest::keyClick(openButton(), Qt::Key_Return);
        QCOMPARE(m_startedIn, folder);
    }

    // Before the run, the screen says when listed files live in the output folder; an unlisted
    // file of the same name elsewhere does not count.
    void warnsBeforeReplacingListedFiles()
    {
        const QString listed = m_dir.filePath(QStringLiteral("listed.png"));
        const QString elsewhere = m_dir.filePath(QStringLiteral("elsewhere"));
        QVERIFY(QDir().mkpath(elsewhere));
        TestFiles::writeFile(listed, {});
        TestFiles::writeFile(elsewhere + QStringLiteral("/listed.png"), {});
        m_state.appendFile(QUrl::fromLocalFile(listed));
        const auto* line = m_picker.findChild<QLabel*>(QStringLiteral("replacementLine"));
        QVERIFY(!line->isVisibleTo(&m_picker));
        answer({true, QUrl::fromLocalFile(m_dir.path())});
        QVERIFY(line->isVisibleTo(&m_picker));
        QCOMPARE(line->text(),
                 QStringLiteral("Files in this folder will be replaced by their watermarked copies"));
        answer({true, QUrl::fromLocalFile(elsewhere)});
        QVERIFY(!line->isVisibleTo(&m_picker));
    }

private:
    // Answers the folder dialog in advance and presses "Open Folder".
    void answer(Dialogs::Choice choice)
    {
        Dialogs::setFolderAnswer([this, choice](const QString& start) {
            m_startedIn = start;
            return choice;
        });
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
    QString m_startedIn;
    HomeState m_state;
    OutputDirectoryPicker m_picker{m_state};
};

QTEST_MAIN(TestOutputDirectoryPicker)
#include "tst_OutputDirectoryPicker.moc"
