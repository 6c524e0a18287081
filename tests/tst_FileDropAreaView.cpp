#include "home/BatchJob.h"
#include "home/FileDropAreaView.h"
#include "home/HomeState.h"
#include "support/HomeRun.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QLabel>
#include <QMimeData>
#include <QPainter>
#include <QPdfWriter>
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

    void takesEachPdfPngJpegAndTiffOnce()
    {
        QCOMPARE(countText(), QStringLiteral("0 file(s) selected"));
        const QList<QUrl> four{file("doc.pdf"), file("photo.png"), file("scan.jpg"), file("page.tiff")};
        QVERIFY(drop(four));
        QTRY_COMPARE(m_state->draggedFiles().size(), 4);
        QCOMPARE(QSet<QUrl>(m_state->draggedFiles().begin(), m_state->draggedFiles().end()),
                 QSet<QUrl>(four.begin(), four.end()));
        QCOMPARE(countText(), QStringLiteral("4 file(s) selected"));
        QVERIFY(!m_view->isDragging());

        const QUrl jpeg = file("photo.jpeg");
        QVERIFY(drop({jpeg, jpeg, four[1]}));
        settle();
        QCOMPARE(m_state->draggedFiles().size(), 5);
        QCOMPARE(m_state->draggedFiles().count(jpeg), 1);
    }

    // Judged by content: a folder, text named like a PDF and a GIF are turned away quietly.
    void skipsOtherContentYetAcceptsTheDrop()
    {
        QVERIFY(QDir(m_dir.path()).mkdir(QStringLiteral("folder.pdf")));
        const QByteArray gif = QByteArray::fromHex("47494638396101000100800000ffffff00000021f9040100000000"
                                                   "2c00000000010001000002024401003b");
        QVERIFY(drop({QUrl::fromLocalFile(m_dir.filePath(QStringLiteral("folder.pdf"))),
                      written("notes.pdf", "Just some text, not a document.\n"), written("anim.gif", gif),
                      QUrl(QStringLiteral("https://example.com/a.pdf"))}));
        settle();
        QVERIFY(m_state->draggedFiles().isEmpty());
    }

    void lightsUpOnlyForLocalFilesOverTheZone()
    {
        QMimeData text;
        text.setText(QStringLiteral("hello"));
        QMimeData web;
        web.setUrls({QUrl(QStringLiteral("https://example.com/a.png"))});
        QVERIFY(!enter(text) && !enter(web) && !m_view->isDragging());

        QMimeData files;
        files.setUrls({file("a.png")});
        QVERIFY(enter(files) && m_view->isDragging());
        QDragMoveEvent overButton(clearButton()->geometry().center(), Qt::CopyAction, &files, Qt::LeftButton,
                                  Qt::NoModifier);
        QCoreApplication::sendEvent(m_view.get(), &overButton);
        QVERIFY(!overButton.isAccepted() && !m_view->isDragging());
        QVERIFY(enter(files));
        QDragLeaveEvent leave;
        QCoreApplication::sendEvent(m_view.get(), &leave);
        QVERIFY(!m_view->isDragging());
    }

    void refusesDropsAndClearingDuringARunOnly()
    {
        QVERIFY(!clearButton()->isEnabled());
        HomeRun::start(*m_state, m_dir.path());
        QVERIFY(m_state->isWatermarking() && !clearButton()->isEnabled());
        QMimeData late;
        late.setUrls({file("late.png")});
        QVERIFY(enter(late) && m_view->isDragging());
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

    // The screen may close while its files are still being judged; their arrival must not touch it.
    void dropsLateFilesOfAClosedScreen()
    {
        QVERIFY(drop({file("a.pdf"), file("b.png"), file("c.tiff")}));
        m_view.reset();
        m_state.reset();
        settle();
    }

private:
    // A real file of the type its suffix names.
    QUrl file(const QString& name)
    {
        const QString path = m_dir.filePath(name);
        const QString suffix = QFileInfo(path).suffix();
        if (suffix == QLatin1String("pdf")) {
            QPdfWriter writer(path);
            QPainter(&writer).drawText(100, 100, QStringLiteral("A page"));
        } else {
            const QByteArray format = suffix == QLatin1String("jpg") ? QByteArray("jpeg") : suffix.toLatin1();
            TestFiles::writeSolidPicture(path, {16, 16}, Qt::darkCyan, format.constData());
        }
        return QUrl::fromLocalFile(path);
    }

    QUrl written(const QString& name, const QByteArray& content)
    {
        QFile file(m_dir.filePath(name));
        if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size())
            qFatal("cannot write %s", qPrintable(file.fileName()));
        return QUrl::fromLocalFile(file.fileName());
    }

    QPushButton* clearButton() const
    {
        return m_view->findChild<QPushButton*>(QStringLiteral("clearSelectionButton"));
    }

    QLabel* countLabel() const { return m_view->findChild<QLabel*>(QStringLiteral("fileCountLabel")); }
    QString countText() const { return countLabel()->text(); }
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
