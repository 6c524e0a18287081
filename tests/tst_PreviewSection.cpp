#include "designs/PreviewSection.h"
#include "support/TestFiles.h"

#include <QFile>
#include <QLabel>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>

using namespace TestFiles;

namespace {

const QString sample = QStringLiteral(":/Lorem_Ipsum.pdf");

// The window's pixels as the screen has them, so a repaint that never happened shows.
QImage onScreen(const QWidget& widget)
{
    return widget.screen()->grabWindow(widget.winId()).toImage();
}

// The document's own print: dark and neutral, unlike the red mark and its pink fringes.
bool isPrint(QRgb pixel)
{
    return qGray(pixel) < 160 && std::abs(qRed(pixel) - qGreen(pixel)) < 30;
}

// Where the red mark's box should show: its size scaled with the page, centred at a fraction of
// the page counted from the top left, cut by the page's edges.
QRect expectedMark(QSizeF markOnPage, QPointF fraction, const QRectF& page)
{
    const QPointF centre(page.left() + fraction.x() * page.width(),
                         page.top() + fraction.y() * page.height());
    const QSizeF size = markOnPage * page.width();
    return QRectF(centre - QPointF(size.width() / 2, size.height() / 2), size).intersected(page).toRect();
}

// Empty when every edge of actual lies within tolerance of expected's; otherwise where they lie.
QString boxError(const QRect& actual, const QRect& expected, int tolerance)
{
    return distanceError(actual.topLeft(), expected.topLeft(), tolerance) +
           distanceError(actual.bottomRight(), expected.bottomRight(), tolerance);
}

} // namespace

class TestPreviewSection : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void markFollowsTheDesignAndThePage_data()
    {
        QTest::addColumn<QSize>("size");
        QTest::addColumn<std::function<void(WatermarkSettings&)>>("edit");
        QTest::addColumn<QPointF>("place");
        using Edit = std::function<void(WatermarkSettings&)>;
        QTest::newRow("resized only")
            << QSize(300, 560) << Edit([](WatermarkSettings&) {}) << QPointF(0.5, 0.5);
        QTest::newRow("X 50 to 0") << QSize(700, 420) << Edit([](WatermarkSettings& s) { s.setXPosition(0); })
                                   << QPointF(0, 0.5);
        QTest::newRow("upper right") << QSize(520, 900) << Edit([](WatermarkSettings& s) {
            s.setXPosition(80);
            s.setYPosition(90);
        }) << QPointF(0.8, 0.1);
        QTest::newRow("picture design without a picture")
            << QSize(460, 520) << Edit([](WatermarkSettings& s) { s.setType(WatermarkType::image); })
            << QPointF(0.5, 0.5);
    }

    void markFollowsTheDesignAndThePage()
    {
        QFETCH(QSize, size);
        QFETCH(std::function<void(WatermarkSettings&)>, edit);
        QFETCH(QPointF, place);
        // Bound afterwards to another design, whose mark then shows where the first one was not.
        PreviewSection preview(WatermarkSettings::fromSnapshot(redText(QStringLiteral("HHHH"), 20, 20)),
                               sample);
        preview.resize(400, 500);
        preview.show();
        QVERIFY(QTest::qWaitForWindowExposed(&preview));
        const auto settings = WatermarkSettings::fromSnapshot(redText(QStringLiteral("HHHH")));
        preview.setSettings(settings);
        const std::optional<QRectF> page = preview.pageRect(preview.size());
        QVERIFY(page);
        QRect mark;
        QString error;
        QTRY_VERIFY2((error = distanceError(QRectF(mark = inkBounds(onScreen(preview), isRed)).center(),
                                            page->center(), 1.5))
                         .isEmpty(),
                     qPrintable(error));

        // First at the same size, which only the design's change can repaint, then resized.
        const QSizeF markOnPage = QSizeF(mark.size()) / page->width();
        edit(*settings);
        for (const QSize shownSize : {preview.size(), size}) {
            preview.resize(shownSize);
            const QRectF moved = preview.pageRect(shownSize).value_or(QRectF());
            const QRect expected = expectedMark(markOnPage, place, moved);
            QImage shown;
            QTRY_VERIFY2(
                (error = boxError(inkBounds(shown = onScreen(preview), isRed), expected, 2)).isEmpty(),
                qPrintable(error));
            // The text column of the sample runs from 72 pt to 540 pt of the 612 pt page.
            const QRect print = inkBounds(shown, isPrint);
            QVERIFY(std::abs(print.left() - (moved.left() + moved.width() * 72 / 612)) <= 2);
            QVERIFY(std::abs(print.right() + 1 - (moved.left() + moved.width() * 540 / 612)) <= 2);
        }
    }

    // The fields show the sample's values: its name, the page shown of its two, the first file;
    // the recipient as typed on the Home screen, or in grey while none is.
    void fieldsShowTheSampleValues()
    {
        const auto fields =
            WatermarkSettings::fromSnapshot(redText(QStringLiteral("{filename} {page}/{pages} #{n}")));
        const auto typed = WatermarkSettings::fromSnapshot(redText(QStringLiteral("Lorem_Ipsum 1/2 #1")));
        PreviewSection preview(fields, sample);
        preview.resize(400, 500);
        const QImage shown = preview.grab().toImage();
        preview.setSettings(typed);
        QCOMPARE(shown, preview.grab().toImage());
        // All but the first: the second page, {page} saying so.
        for (const auto& design : {fields, typed})
            design->setPages(*PageSelection::parse(QStringLiteral("allButFirst")));
        typed->setText(QStringLiteral("Lorem_Ipsum 2/2 #1"));
        const QImage second = preview.grab().toImage();
        preview.setSettings(fields);
        QCOMPARE(preview.grab().toImage(), second);
        typed->setPages(*PageSelection::parse(QStringLiteral("first")));
        preview.setSettings(typed);
        QVERIFY(preview.grab().toImage() != second);
        // Whom the copies are for is not known here: the field shows as written, in grey.
        const auto addressed = WatermarkSettings::fromSnapshot(redText(QStringLiteral("{recipient}")));
        preview.setSettings(addressed);
        const QImage placeholder = preview.grab().toImage();
        addressed->setText(QStringLiteral(" "));
        QVERIFY(inkBounds(placeholder, isRed).isEmpty() && placeholder != preview.grab().toImage());
        // Typed on the Home screen, it shows as typed.
        addressed->setText(QStringLiteral("ACME"));
        const QImage typedName = preview.grab().toImage();
        addressed->setText(QStringLiteral("{recipient}"));
        preview.setRecipient(QStringLiteral("ACME"));
        QCOMPARE(preview.grab().toImage(), typedName);
    }

    // The preview keeps the decoded picture between repaints, yet shows a replaced file's pixels.
    void replacedPictureShowsOnTheNextChange()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("picture.png"));
        const QString next = dir.filePath(QStringLiteral("next.png"));
        writeSolidPicture(path, QSize(200, 200), Qt::red);
        writeSolidPicture(next, QSize(200, 200), Qt::blue);
        const auto settings = WatermarkSettings::fromSnapshot(pictureDesign(path));
        PreviewSection preview(settings, sample);
        preview.resize(400, 500);
        QVERIFY(!inkBounds(preview.grab().toImage(), isRed).isEmpty());
        QVERIFY(QFile::remove(path) && QFile::rename(next, path));
        settings->setXPosition(40);
        QCOMPARE(inkBounds(preview.grab().toImage(), isRed), QRect());
    }

    void unusableSampleSaysSo_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("no document") << QStringLiteral("none");
        QTest::newRow("missing file") << QStringLiteral("missing");
        QTest::newRow("not a PDF") << QStringLiteral("text");
        QTest::newRow("needs a password") << QStringLiteral("locked");
        QTest::newRow("no pages") << QStringLiteral("empty");
    }

    void unusableSampleSaysSo()
    {
        QFETCH(QString, kind);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("sample.pdf"));
        const bool locked = kind == QLatin1String("locked");
        if (kind == QLatin1String("text"))
            writeFile(path, "plain words, not a document\n");
        else if (locked || kind == QLatin1String("empty"))
            writePdf(path, std::vector<Page>(locked ? 1 : 0), locked);
        PreviewSection preview(WatermarkSettings::fromSnapshot(redText(QStringLiteral("HHHH"))),
                               kind == QLatin1String("none") ? std::nullopt : std::optional(path));
        preview.resize(400, 500);
        preview.show();
        QVERIFY(QTest::qWaitForWindowExposed(&preview));
        auto* note = preview.findChild<QLabel*>();
        QVERIFY(note && note->isVisible());
        QCOMPARE(note->text(), QStringLiteral("Preview not available"));
        VERIFY_NEAR(note->geometry().center(), preview.rect().center(), 2);
        QCOMPARE(inkBounds(preview.grab().toImage(), isRed), QRect());
    }
};

QTEST_MAIN(TestPreviewSection)
#include "tst_PreviewSection.moc"
