#include "render/watermarkPDFFile.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>
#include <qpdf/QPDFWriter.hh>

#include <set>

using namespace TestFiles;

Q_DECLARE_METATYPE(TestFiles::Page)

namespace {

struct PageBoxes
{
    QRectF mediaBox;
    QRectF cropBox;
    int rotate = 0;
};

void open(QPDF& pdf, const QString& path)
{
    const QByteArray fileName = QFile::encodeName(path);
    pdf.processFile(fileName.constData());
}

QRectF rectOf(QPDFObjectHandle box)
{
    const auto r = box.getArrayAsRectangle();
    return QRectF(QPointF(r.llx, r.lly), QPointF(r.urx, r.ury));
}

std::vector<PageBoxes> boxesOf(const QString& path)
{
    QPDF pdf;
    open(pdf, path);
    std::vector<PageBoxes> result;
    for (auto& page : QPDFPageDocumentHelper(pdf).getAllPages()) {
        auto rotate = page.getAttribute("/Rotate", false);
        result.push_back({rectOf(page.getMediaBox()), rectOf(page.getCropBox()),
                          rotate.isInteger() ? rotate.getIntValueAsInt() : 0});
    }
    return result;
}

// How many distinct watermark forms the output's pages place.
size_t distinctWatermarks(const QString& path)
{
    QPDF pdf;
    open(pdf, path);
    std::set<QPDFObjGen> forms;
    for (auto& page : QPDFPageDocumentHelper(pdf).getAllPages())
        forms.insert(
            page.getObjectHandle().getKey("/Resources").getKey("/XObject").getKey("/Watermark").getObjGen());
    return forms.size();
}

// The filters of every image that the pages show, inside forms too.
std::set<std::string> imageFilters(const QString& path)
{
    QPDF pdf;
    open(pdf, path);
    std::set<std::string> filters;
    for (auto& page : QPDFPageDocumentHelper(pdf).getAllPages()) {
        page.forEachImage(true, [&](QPDFObjectHandle& image, QPDFObjectHandle&, std::string const&) {
            auto filter = image.getDict().getKey("/Filter");
            filters.insert(filter.isName() ? filter.getName() : filter.unparse());
        });
    }
    return filters;
}

QStringList filesIn(const QString& folder)
{
    return QDir(folder).entryList(QDir::Files | QDir::Hidden);
}

} // namespace

class TestWatermarkPDFFile : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init() { QVERIFY(m_dir.isValid()); }

    void everyPageStampedAndStillVector()
    {
        const QString input = m_dir.filePath(QStringLiteral("Report.PDF"));
        std::vector<Page> pages;
        for (int i = 1; i <= 3; ++i)
            pages.push_back({.content = textContent(QStringLiteral("Original page %1").arg(i), 72, 720)});
        writePdf(input, pages);
        const QString out = outputFolder();

        const auto outcome = watermarkPDFFile(input, redText(QStringLiteral("STAMP")), out);
        QVERIFY2(outcome, qPrintable(outcome.error()));
        QCOMPARE(*outcome, QDir(out).filePath(QStringLiteral("Report.PDF")));
        QCOMPARE(filesIn(out), QStringList{QStringLiteral("Report.PDF")});
        QCOMPARE(pageCount(*outcome), 3);
        for (int i = 0; i < 3; ++i) {
            const QString text = pageText(*outcome, i);
            QVERIFY2(text.contains(QStringLiteral("Original page %1").arg(i + 1)), qPrintable(text));
            QVERIFY2(text.contains(QStringLiteral("STAMP")), qPrintable(text));
            VERIFY_NEAR(centreOf(inkBounds(renderPage(*outcome, i), isRed)), QPoint(306, 396), 3);
        }
        // One drawing of the design serves every page of the same size.
        QCOMPARE(distinctWatermarks(*outcome), size_t(1));
    }

    // The design is laid out over the visible area as the reader sees it, and every page
    // keeps its own boxes and rotation.
    void pageGeometry_data()
    {
        QTest::addColumn<Page>("page");
        QTest::addColumn<QSize>("displayed");
        QTest::newRow("plain letter") << Page{} << QSize(612, 792);
        QTest::newRow("offset media box") << Page{.mediaBox = QRectF(100, 200, 400, 300)} << QSize(400, 300);
        QTest::newRow("cropped") << Page{.cropBox = QRectF(50, 100, 300, 500)} << QSize(300, 500);
        QTest::newRow("rotated 90") << Page{.rotate = 90} << QSize(792, 612);
        QTest::newRow("rotated 180") << Page{.rotate = 180} << QSize(612, 792);
        QTest::newRow("rotated 270") << Page{.rotate = 270} << QSize(792, 612);
        QTest::newRow("rotated -90") << Page{.rotate = -90} << QSize(792, 612);
        QTest::newRow("rotated, cropped, offset")
            << Page{.mediaBox = QRectF(30, 40, 500, 400), .cropBox = QRectF(60, 80, 300, 200), .rotate = 90}
            << QSize(200, 300);
    }

    void pageGeometry()
    {
        QFETCH(Page, page);
        QFETCH(QSize, displayed);
        page.content =
            textContent(QStringLiteral("Body"), page.mediaBox.left() + 100, page.mediaBox.top() + 100);
        const QString input = m_dir.filePath(QStringLiteral("in.pdf"));
        writePdf(input, {page});

        // A wide text placed a quarter in from the left and a quarter down from the top.
        const auto outcome =
            watermarkPDFFile(input, redText(QStringLiteral("WIDE WIDE WIDE"), 25, 75, 0, 12), outputFolder());
        QVERIFY2(outcome, qPrintable(outcome.error()));
        const QImage image = renderPage(*outcome, 0);
        QCOMPARE(image.size(), displayed);
        const QRect ink = inkBounds(image, isRed);
        VERIFY_NEAR(centreOf(ink), QPoint(displayed.width() / 4, displayed.height() / 4), 3);
        QVERIFY2(ink.width() > 3 * ink.height(), "the text is not upright to the reader");

        const auto before = boxesOf(input).at(0);
        const auto after = boxesOf(*outcome).at(0);
        QCOMPARE(after.mediaBox, before.mediaBox);
        QCOMPARE(after.cropBox, before.cropBox);
        QCOMPARE(after.rotate, before.rotate);
    }

    void mixedSizesKeepTheirOwnBoxes()
    {
        const QString input = m_dir.filePath(QStringLiteral("mixed.pdf"));
        writePdf(input, {Page{.mediaBox = QRectF(0, 0, 300, 300),
                              .content = textContent(QStringLiteral("Small"), 10, 10)},
                         Page{.mediaBox = QRectF(0, 0, 842, 1191),
                              .content = textContent(QStringLiteral("Far corner"), 700, 1150)},
                         Page{.mediaBox = QRectF(0, 0, 300, 300),
                              .content = textContent(QStringLiteral("Again"), 10, 10)}});
        const auto outcome = watermarkPDFFile(input, redText(QStringLiteral("X")), outputFolder());
        QVERIFY2(outcome, qPrintable(outcome.error()));
        QCOMPARE(renderPage(*outcome, 1).size(), QSize(842, 1191));
        QVERIFY(pageText(*outcome, 1).contains(QStringLiteral("Far corner")));
        VERIFY_NEAR(centreOf(inkBounds(renderPage(*outcome, 1), isRed)), QPoint(421, 595), 3);
        VERIFY_NEAR(centreOf(inkBounds(renderPage(*outcome, 2), isRed)), QPoint(150, 150), 3);
        QCOMPARE(distinctWatermarks(*outcome), size_t(2));
    }

    // Content that leaves transforms or an unbalanced graphics state behind cannot move or
    // clip the watermark.
    void pageGraphicsStateCannotLeak_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::newRow("unclosed q with transform")
            << QByteArray("q q 0.2 0 0 0.2 400 50 cm 0 0 10 10 re W n ");
        QTest::newRow("extra Q") << QByteArray("Q Q Q 2 0 0 2 0 0 cm ");
        QTest::newRow("transform without q") << QByteArray("0.5 0 0 0.5 100 100 cm ");
    }

    void pageGraphicsStateCannotLeak()
    {
        QFETCH(QByteArray, content);
        const QString input = m_dir.filePath(QStringLiteral("state.pdf"));
        writePdf(input, {Page{.content = content + textContent(QStringLiteral("Body"), 72, 72)}});
        const auto outcome = watermarkPDFFile(input, redText(QStringLiteral("STAMP")), outputFolder());
        QVERIFY2(outcome, qPrintable(outcome.error()));
        VERIFY_NEAR(centreOf(inkBounds(renderPage(*outcome, 0), isRed)), QPoint(306, 396), 3);
    }

    void filledFormKeepsItsValue()
    {
        const QString input = m_dir.filePath(QStringLiteral("form.pdf"));
        writeFormPdf(input, QStringLiteral("Jane Filled-In"));
        const auto outcome = watermarkPDFFile(input, redText(QStringLiteral("STAMP")), outputFolder());
        QVERIFY2(outcome, qPrintable(outcome.error()));
        const QString text = pageText(*outcome, 0);
        QVERIFY2(text.contains(QStringLiteral("Jane Filled-In")), qPrintable(text));

        QPDF pdf;
        open(pdf, *outcome);
        QVERIFY(!pdf.getRoot().hasKey("/AcroForm"));
        QVERIFY(!pdf.getTrailer().hasKey("/Info"));
        for (auto& page : QPDFPageDocumentHelper(pdf).getAllPages())
            QVERIFY(!page.getObjectHandle().hasKey("/Annots"));
    }

    void pictureDesignKeepsItsPixelsAndOpacity()
    {
        const QString picture = m_dir.filePath(QStringLiteral("logo.png"));
        QImage stripes(100, 60, QImage::Format_RGB32);
        for (int x = 0; x < stripes.width(); ++x) {
            for (int y = 0; y < stripes.height(); ++y)
                stripes.setPixel(x, y, x % 2 ? qRgb(0, 0, 255) : qRgb(255, 255, 0));
        }
        QVERIFY(stripes.save(picture));
        const QString input = m_dir.filePath(QStringLiteral("plain.pdf"));
        writePdf(input, {Page{.mediaBox = QRectF(0, 0, 300, 200)}});

        const auto opaque = watermarkPDFFile(input, pictureDesign(picture, 100, 1), outputFolder());
        QVERIFY2(opaque, qPrintable(opaque.error()));
        // The picture is embedded losslessly, not re-encoded as JPEG.
        QCOMPARE(imageFilters(*opaque), std::set<std::string>{"/FlateDecode"});
        QVERIFY(!inkBounds(renderPage(*opaque, 0), [](QRgb p) {
                     return qBlue(p) > 200 && qRed(p) < 60;
                 }).isEmpty());

        const auto faint = watermarkPDFFile(input, pictureDesign(picture, 100, 0.5), outputFolder());
        QVERIFY2(faint, qPrintable(faint.error()));
        const QRgb blended = renderPage(*faint, 0).pixel(101, 100);
        QVERIFY2(std::abs(qRed(blended) - 128) <= 3 && qBlue(blended) >= 245,
                 qPrintable(QString::number(blended, 16)));
    }

    void unusableInputsWriteNothing_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("text named .pdf") << QStringLiteral("text");
        QTest::newRow("missing file") << QStringLiteral("missing");
        QTest::newRow("no pages") << QStringLiteral("empty");
        QTest::newRow("needs a password") << QStringLiteral("password");
        QTest::newRow("truncated") << QStringLiteral("truncated");
    }

    void unusableInputsWriteNothing()
    {
        QFETCH(QString, kind);
        const QString input = m_dir.filePath(QStringLiteral("bad.pdf"));
        if (kind == QLatin1String("text")) {
            QFile file(input);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("just some words, not a document\n");
        } else if (kind == QLatin1String("empty")) {
            writePdf(input, {});
        } else if (kind == QLatin1String("password")) {
            writePdf(input, {Page{.content = textContent(QStringLiteral("Secret"), 72, 72)}});
            encrypt(input, "user-secret");
        } else if (kind == QLatin1String("truncated")) {
            writePdf(input, {Page{.content = textContent(QStringLiteral("Cut"), 72, 72)}});
            QFile file(input);
            QVERIFY(file.open(QIODevice::ReadWrite));
            QVERIFY(file.resize(40));
        }
        const QString out = outputFolder();
        const auto outcome = watermarkPDFFile(input, redText(QStringLiteral("STAMP")), out);
        QVERIFY(!outcome);
        QVERIFY(!outcome.error().isEmpty());
        QCOMPARE(filesIn(out), QStringList());
    }

    // The output replaces a file of its name, here the input itself, only once it is complete.
    void outputFolderMayBeTheInputsFolder()
    {
        QTemporaryDir folder;
        const QString input = folder.filePath(QStringLiteral("same.pdf"));
        std::vector<Page> pages(20, Page{.content = textContent(QStringLiteral("Kept text"), 72, 72)});
        writePdf(input, pages);
        const auto outcome = watermarkPDFFile(input, redText(QStringLiteral("STAMP")), folder.path());
        QVERIFY2(outcome, qPrintable(outcome.error()));
        QCOMPARE(*outcome, input);
        QCOMPARE(pageCount(input), 20);
        QVERIFY(pageText(input, 19).contains(QStringLiteral("Kept text")));
        QVERIFY(pageText(input, 19).contains(QStringLiteral("STAMP")));
        QCOMPARE(filesIn(folder.path()), QStringList{QStringLiteral("same.pdf")});
    }

    void missingOutputFolderWritesNothing()
    {
        const QString input = m_dir.filePath(QStringLiteral("doc.pdf"));
        writePdf(input, {Page{}});
        QVERIFY(!watermarkPDFFile(input, redText(QStringLiteral("STAMP")),
                                  m_dir.filePath(QStringLiteral("gone"))));
    }

private:
    QString outputFolder()
    {
        const QString path = m_dir.filePath(QStringLiteral("out-%1").arg(++m_outputs));
        QDir().mkpath(path);
        return path;
    }

    static void encrypt(const QString& path, const char* userPassword)
    {
        rewritePdf(
            path, [](QPDF&) {},
            [&](QPDFWriter& writer) {
                writer.setR6EncryptionParameters(userPassword, "owner", true, true, true, true, true, true,
                                                 qpdf_r3p_full, true);
            });
    }

    // A page with a filled text field whose appearance the reader has to generate.
    static void writeFormPdf(const QString& path, const QString& value)
    {
        writePdf(path, {Page{.content = textContent(QStringLiteral("Name:"), 50, 610)}});
        rewritePdf(path, [&](QPDF& pdf) {
            auto page = QPDFPageDocumentHelper(pdf).getAllPages().at(0).getObjectHandle();
            auto font = pdf.makeIndirectObject(
                QPDFObjectHandle::parse("<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>"));
            auto field = pdf.makeIndirectObject(QPDFObjectHandle::parse(
                QStringLiteral("<< /Type /Annot /Subtype /Widget /FT /Tx /T (name) /V (%1) /F 4 "
                               "/Rect [100 600 400 630] /DA (/Helv 12 Tf 0 g) >>")
                    .arg(value)
                    .toStdString()));
            field.replaceKey("/P", page);
            page.replaceKey("/Annots", QPDFObjectHandle::newArray({field}));
            auto form = QPDFObjectHandle::parse("<< /NeedAppearances true /DA (/Helv 12 Tf 0 g) >>");
            form.replaceKey("/Fields", QPDFObjectHandle::newArray({field}));
            auto fonts = QPDFObjectHandle::newDictionary();
            fonts.replaceKey("/Helv", font);
            auto resources = QPDFObjectHandle::newDictionary();
            resources.replaceKey("/Font", fonts);
            form.replaceKey("/DR", resources);
            pdf.getRoot().replaceKey("/AcroForm", form);
        });
    }

    QTemporaryDir m_dir;
    int m_outputs = 0;
};

QTEST_MAIN(TestWatermarkPDFFile)
#include "tst_WatermarkPDFFile.moc"
