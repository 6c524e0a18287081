#include "home/BatchJob.h"
#include "home/FileDropAreaView.h"
#include "home/HomeState.h"
#include "support/HomeRun.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QLabel>
#include <QMimeData>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QThreadPool>

#include <memory>

// Every file judged and every accepted one delivered: a drop has added all it ever will.
static void settle()
{
    QThreadPool::globalInstance()->waitForDone();
    QCoreApplication::processEvents();
}

class TestFileDropAreaView : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        m_state = std::make_unique<HomeState>();
        m_view = std::make_unique<FileDropAreaView>(*m_state);
        m_view->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_view.get()));
    }

    void cleanup()
    {
        BatchJob::stopAllAndWait();
        settle();
        m_view.reset();
        m_state.reset();
    }

    // Judged by content: each PDF, PNG, JPEG and TIFF file is taken once; a folder, text named
    // like a PDF, a GIF and a remote file are turned away quietly.
    void takesEachPdfPngJpegAndTiffOnce()
    {
        QCOMPARE(countLabel()->text(), QStringLiteral("0 file(s) selected"));
        const QList<QUrl> four{file("doc.pdf"), file("photo.png"), file("scan.jpg"), file("page.tiff")};
        QVERIFY(QDir(m_dir.path()).mkdir(QStringLiteral("folder.pdf")));
        const QByteArray gif = QByteArray::fromHex("47494638396101000100800000ffffff00000021f9040100000000"
                                                   "2c00000000010001000002024401003b");
        QVERIFY(drop(four + QList<QUrl>{QUrl::fromLocalFile(m_dir.filePath(QStringLiteral("folder.pdf"))),
                                        file("notes.pdf", "Just some text, not a document.\n"),
                                        file("anim.gif", gif),
                                        QUrl(QStringLiteral("https://example.com/a.pdf"))}));
        settle();
        QCOMPARE(m_state->draggedFiles().size(), 4);
        QCOMPARE(QSet<QUrl>(m_state->draggedFiles().begin(), m_state->draggedFiles().end()),
                 QSet<QUrl>(four.begin(), four.end()));
        QCOMPARE(countLabel()->text(), QStringLiteral("4 file(s) selected"));
        QVERIFY(!m_view->isDragging());

        const QUrl jpeg = file("photo.jpeg");
        QVERIFY(drop({jpeg, jpeg, four[1]}));
        settle();
        QCOMPARE(m_state->draggedFiles().size(), 5);
        QCOMPARE(m_state->draggedFiles().count(jpeg), 1);

        // The screen may close while its files are still being judged; their arrival must not touch it.
        QVERIFY(drop({file("a.pdf"), file("b.tiff")}));
        m_view.reset();
        m_state.reset();
        settle();
    }

    // Only local files light the zone up, and only over it. During a run a drop is refused and
    // the list cannot be cleared.
    void dragsAndDropsAroundARun()
    {
        QMimeData text;
        text.setText(QStringLiteral("hello"));
        QMimeData web;
        web.setUrls({QUrl(QStringLiteral("https://example.com/a.png"))});
        QVERIFY(!enter(text) && !enter(web) && !m_view->isDragging());
        QVERIFY(!clearButton()->isEnabled());

        HomeRun::start(*m_state, m_dir.path());
        QVERIFY(m_state->isWatermarking() && !clearButton()->isEnabled());
        QMimeData late;
        late.setUrls({file("late.png")});
        QVERIFY(enter(late) && m_view->isDragging());
        QDragMoveEvent overButton(clearButton()->geometry().center(), Qt::CopyAction, &late, Qt::LeftButton,
                                  Qt::NoModifier);
        QCoreApplication::sendEvent(m_view.get(), &overButton);
        QVERIFY(!overButton.isAccepted() && !m_view->isDragging());
        QVERIFY(enter(late));
        QDragLeaveEvent leave;
        QCoreApplication::sendEvent(m_view.get(), &leave);
        QVERIFY(!m_view->isDragging());
        QVERIFY(!drop(late.urls()));
        QTRY_VERIFY(m_state->isWatermarkingComplete());
        settle();
        QCOMPARE(m_state->draggedFiles().size(), 1);

        // After the run: new files keep the finished state, which only clearing resets.
        QVERIFY(drop({file("next.png")}));
        QTRY_COMPARE(m_state->draggedFiles().size(), 2);
        QVERIFY(m_state->isWatermarkingComplete() && clearButton()->isEnabled());
        QTest::mouseClick(clearButton(), Qt::LeftButton);
        QVERIFY(m_state->draggedFiles().isEmpty() && !m_state->isWatermarkingComplete());
        QVERIFY(!clearButton()->isEnabled());
    }

private:
    // A real file of the type its suffix names, or holding content when given.
    QUrl file(const QString& name, const QByteArray& content = {})
    {
        const QString path = m_dir.filePath(name);
        const QString suffix = QFileInfo(path).suffix();
        if (!content.isEmpty())
            TestFiles::writeFile(path, content);
        else if (suffix == QLatin1String("pdf"))
            TestFiles::writePdf(path, {TestFiles::Page{}});
        else
            TestFiles::writeSolidPicture(path, {16, 16}, Qt::darkCyan,
                                         suffix == "jpg" ? "jpeg" : qPrintable(suffix));
        return QUrl::fromLocalFile(path);
    }

    QPushButton* clearButton() const
    {
        return m_view->findChild<QPushButton*>(QStringLiteral("clearSelectionButton"));
    }

    QLabel* countLabel() const { return m_view->findChild<QLabel*>(QStringLiteral("fileCountLabel")); }
    // Where the count is shown, inside the zone.
    QPoint zoneCentre() const { return countLabel()->mapTo(m_view.get(), countLabel()->rect().center()); }

    bool enter(const QMimeData& data)
    {
        QDragEnterEvent event(zoneCentre(), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(m_view.get(), &event);
        return event.isAccepted();
    }

    bool drop(const QList<QUrl>& urls)
    {
        QMimeData data;
        data.setUrls(urls);
        enter(data);
        QDropEvent event(zoneCentre(), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(m_view.get(), &event);
        return event.isAccepted();
    }

    QTemporaryDir m_dir;
    std::unique_ptr<HomeState> m_state;
    std::unique_ptr<FileDropAreaView> m_view;
};

QTEST_MAIN(TestFileDropAreaView)
#include "tst_FileDropAreaView.moc"
