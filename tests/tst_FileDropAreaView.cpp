#include "home/FileDropAreaView.h"
#include "home/FileIntake.h"
#include "home/HomeState.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QMimeData>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

#include <sys/stat.h>

// Every file judged and every accepted one delivered: a drop has added all it ever will.
static void settle()
{
    FileIntake::waitForJudgements();
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
        settle();
        m_view.reset();
        m_state.reset();
    }

    // Judged by content: each PDF, PNG, JPEG and TIFF file is taken once; a folder, text named
    // like a PDF, a GIF, a remote file, a FIFO and a link to a device are turned away quietly,
    // without waiting on them.
    void takesEachPdfPngJpegAndTiffOnce()
    {
        QCOMPARE(countLabel()->text(), QStringLiteral("0 file(s) selected"));
        const QList<QUrl> four{file("doc.pdf"), file("photo.png"), file("scan.jpg"), file("page.tiff")};
        QVERIFY(QDir(m_dir.path()).mkdir(QStringLiteral("folder.pdf")));
        const QString fifo = m_dir.filePath(QStringLiteral("fifo.pdf"));
        QCOMPARE(mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        const QString zeros = m_dir.filePath(QStringLiteral("zeros.png"));
        QVERIFY(QFile::link(QStringLiteral("/dev/zero"), zeros));
        const QByteArray gif = QByteArray::fromHex("47494638396101000100800000ffffff00000021f9040100000000"
                                                   "2c00000000010001000002024401003b");
        QVERIFY(
            drop(four + QList<QUrl>{QUrl::fromLocalFile(m_dir.filePath(QStringLiteral("folder.pdf"))),
                                    file("notes.pdf", "Just some text, not a document.\n"),
                                    file("anim.gif", gif), QUrl(QStringLiteral("https://example.com/a.pdf")),
                                    QUrl::fromLocalFile(fifo), QUrl::fromLocalFile(zeros)}));
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

    // Only local files light the zone up, and only over it; a drop lands only on the zone.
    // "Clear Selection" empties the list, and only a list with files.
    void dragsLightTheZone()
    {
        QMimeData text;
        text.setText(QStringLiteral("hello"));
        QMimeData web;
        web.setUrls({QUrl(QStringLiteral("https://example.com/a.png"))});
        QVERIFY(!enter(text) && !enter(web) && !m_view->isDragging());
        QVERIFY(!clearButton()->isEnabled());

        QMimeData picture;
        picture.setUrls({file("picture.png")});
        QVERIFY(enter(picture) && m_view->isDragging());
        QDragMoveEvent overButton(clearButton()->geometry().center(), Qt::CopyAction, &picture,
                                  Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(m_view.get(), &overButton);
        QVERIFY(!overButton.isAccepted() && !m_view->isDragging());
        QVERIFY(enter(picture));
        QDragLeaveEvent leave;
        QCoreApplication::sendEvent(m_view.get(), &leave);
        QVERIFY(!m_view->isDragging());

        QVERIFY(drop(picture.urls()));
        settle();
        QCOMPARE(m_state->draggedFiles(), picture.urls());
        QVERIFY(clearButton()->isEnabled());
        QTest::mouseClick(clearButton(), Qt::LeftButton);
        QVERIFY(m_state->draggedFiles().isEmpty() && !clearButton()->isEnabled());
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
