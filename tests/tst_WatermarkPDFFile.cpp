#include "render/watermarkPDFFile.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>

#include <set>

#include <sys/stat.h>

using namespace TestFiles;

Q_DECLARE_METATYPE(TestFiles::Page)

namespace {

// The pages of the document at path, read into pdf, which must outlive them.
std::vector<QPDFPageObjectHelper> pagesOf(QPDF& pdf, const QString& path)
{
    pdf.processFile(QFile::encodeName(path).constData());
    return QPDFPageDocumentHelper(pdf).getAllPages();
}

// Every page's media box, crop box and rotation as qpdf reads them, a line a page.
QByteArray boxesOf(const QString& path)
{
    QPDF pdf;
    std::string boxes;
    for (auto& page : pagesOf(pdf, path))
        boxes += page.getMediaBox().unparse() + page.getCropBox().unparse() +
                 page.getAttribute("/Rotate", false).unparse() + "\n";
    return QByteArray::fromStdString(boxes);
}

// How many distinct watermark forms the output's pages place.
size_t distinctWatermarks(const QString& path)
{
    QPDF pdf;
    std::set<QPDFObjGen> forms;
    for (auto& page : pagesOf(pdf, path))
        forms.insert(
            page.getObjectHandle().getKey("/Resources").getKey("/XObject").getKey("/Watermark").getObjGen());
    return forms.size();
}

// The filters of every image that the pages show, inside forms too.
std::set<std::string> imageFilters(const QString& path)
{
    QPDF pdf;
    std::set<std::string> filters;
    for (auto& page : pagesOf(pdf, path)) {
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

    // The output is complete before it replaces a file of its name, so it may go over the input.
    void everyPageStampedAndStillVector_data()
    {
        QTest::addColumn<bool>("inPlace");
        QTest::newRow("into another folder") << false;
        QTest::newRow("over the input") << true;
    }

    // Every page keeps its own text, boxes and rotation, and shows the design as text laid out
    // upright over its visible area as the reader sees it, whatever transforms or unbalanced
    // graphics state its content leaves behind. One drawing serves every page of a displayed size.
    void everyPageStampedAndStillVector()
    {
        QFETCH(bool, inPlace);
        const std::vector<std::pair<Page, QSize>> wanted{
            {Page{}, QSize(612, 792)},
            {Page{.mediaBox = QRectF(100, 200, 400, 300)}, QSize(400, 300)},
            {Page{.cropBox = QRectF(50, 100, 300, 500)}, QSize(300, 500)},
            {Page{.rotate = 90}, QSize(792, 612)},
            {Page{.rotate = 180}, QSize(612, 792)},
            {Page{.rotate = 270}, QSize(792, 612)},
            {Page{.rotate = -90}, QSize(792, 612)},
            {Page{.mediaBox = QRectF(30, 40, 500, 400), .cropBox = QRectF(60, 80, 300, 200), .rotate = 90},
             QSize(200, 300)},
            {Page{.content = "q q 0.2 0 0 0.2 400 50 cm 0 0 10 10 re W n "}, QSize(612, 792)},
            {Page{.content = "Q Q Q 2 0 0 2 0 0 cm "}, QSize(612, 792)},
            {Page{.content = "0.5 0 0 0.5 100 100 cm "}, QSize(612, 792)},
        };
        std::vector<Page> pages;
        for (auto [page, displayed] : wanted) {
            page.content += textContent(QStringLiteral("Page %1").arg(pages.size()),
                                        page.mediaBox.left() + 150, page.mediaBox.top() + 150);
            pages.push_back(page);
        }
        const QString out = outputFolder();
        const QString input = QDir(inPlace ? out : m_dir.path()).filePath(QStringLiteral("Report.PDF"));
        writePdf(input, pages);
        const QByteArray boxes = boxesOf(input);

        // A wide text placed a quarter in from the left and a quarter down from the top.
        const auto outcome = watermarkPDFFile(input, redText(QStringLiteral("WIDE WIDE WIDE"), 25, 75, 0, 12),
                                              QDir(out).filePath(QStringLiteral("Report.PDF")));
        QVERIFY2(outcome, qPrintable(outcome.error()));
        QCOMPARE(*outcome, QDir(out).filePath(QStringLiteral("Report.PDF")));
        QCOMPARE(filesIn(out), QStringList{QStringLiteral("Report.PDF")});
        QCOMPARE(boxesOf(*outcome), boxes);
        for (int i = 0; i < int(wanted.size()); ++i) {
            const QImage image = renderPage(*outcome, i);
            const QSize displayed = wanted[i].second;
            const QRect ink = inkBounds(image, isRed);
            const QString off =
                distanceError(QRectF(ink).center(), QPoint(displayed.width() / 4, displayed.height() / 4), 3);
            QVERIFY2(image.size() == displayed && off.isEmpty() && ink.width() > 3 * ink.height(),
                     qPrintable(QStringLiteral("page %1, ink %2 wide %3").arg(i).arg(ink.width()).arg(off)));
        }
        // The first and last pages are placed alike, so they share their content stream but not
        // their content. Poppler reads no text from some of the pages between.
        for (int i : {0, int(wanted.size()) - 1}) {
            const QString text = pageText(*outcome, i);
            QVERIFY2(text.contains(QStringLiteral("Page %1").arg(i)) && text.contains(QStringLiteral("WIDE")),
                     qPrintable(text));
        }
        QCOMPARE(distinctWatermarks(*outcome), size_t(5));
    }

    // A filled form field keeps showing its value once the form is gone. A picture design is
    // embedded losslessly, not re-encoded as JPEG, and drawn at its opacity.
    void formValueAndPictureDesign()
    {
        const QString picture = m_dir.filePath(QStringLiteral("logo.png"));
        writeSolidPicture(picture, QSize(100, 60), Qt::blue);
        const QString input = m_dir.filePath(QStringLiteral("form.pdf"));
        writeFormPdf(input);
        const auto outcome = watermarkPDFFile(input, pictureDesign(picture, 100, 0.5),
                                              QDir(outputFolder()).filePath("form.pdf"));
        QVERIFY2(outcome, qPrintable(outcome.error()));
        const QString text = pageText(*outcome, 0);
        QVERIFY2(text.contains(QStringLiteral("Jane Filled-In")), qPrintable(text));
        QCOMPARE(imageFilters(*outcome), std::set<std::string>{"/FlateDecode"});
        const QRgb blended = renderPage(*outcome, 0).pixel(306, 396);
        QVERIFY2(std::abs(qRed(blended) - 128) <= 3 && qBlue(blended) >= 245,
                 qPrintable(QString::number(blended, 16)));
    }

    // Nothing is written, and the reason is in words for the user, not qpdf's.
    void unusableInputsWriteNothing_data()
    {
        QTest::addColumn<QString>("input");
        QTest::addColumn<bool>("folderExists");
        QTest::addColumn<QString>("reason");
        const auto path = [this](const char* name) { return m_dir.filePath(QLatin1String(name)); };
        const Page page{.content = textContent(QStringLiteral("Secret"), 72, 72)};
        writeFile(path("text.pdf"), "just some words, not a document\n");
        writeFile(path("damaged.pdf"), "%PDF-1.7\n1 0 obj << /Type /Catalog /Pages 2 0 R\ntruncated here");
        writePdf(path("empty.pdf"), {});
        writePdf(path("locked.pdf"), {page}, true);
        writePdf(path("good.pdf"), {page});
        QCOMPARE(::mkfifo(QFile::encodeName(path("fifo.pdf")).constData(), 0600), 0);
        QVERIFY(QFile::link(QStringLiteral("/dev/zero"), path("zero.pdf")));
        QTest::newRow("text named .pdf") << path("text.pdf") << true << QStringLiteral("not a PDF document");
        QTest::newRow("damaged") << path("damaged.pdf") << true << QStringLiteral("damaged beyond repair");
        QTest::newRow("missing file") << path("missing.pdf") << true << QStringLiteral("does not exist");
        QTest::newRow("no pages") << path("empty.pdf") << true << QStringLiteral("has no pages");
        QTest::newRow("needs a password") << path("locked.pdf") << true << QStringLiteral("needs a password");
        QTest::newRow("missing output folder")
            << path("good.pdf") << false << QStringLiteral("the output folder does not exist");
        QTest::newRow("fifo") << path("fifo.pdf") << true << QStringLiteral("not a regular file");
        QTest::newRow("link to a device") << path("zero.pdf") << true << QStringLiteral("not a regular file");
    }

    void unusableInputsWriteNothing()
    {
        QFETCH(QString, input);
        QFETCH(bool, folderExists);
        QFETCH(QString, reason);
        const QString out = outputFolder();
        const QString output = QDir(folderExists ? out : out + "/gone").filePath(QFileInfo(input).fileName());
        QCOMPARE(watermarkPDFFile(input, redText(QStringLiteral("STAMP")), output).error(), reason);
        QCOMPARE(filesIn(out), QStringList());
    }

private:
    QString outputFolder()
    {
        const QString path = m_dir.filePath(QStringLiteral("out-%1").arg(++m_outputs));
        QDir().mkpath(path);
        return path;
    }

    // A page with a filled text field whose appearance the reader has to generate.
    static void writeFormPdf(const QString& path)
    {
        writePdf(path, {Page{.content = textContent(QStringLiteral("Name:"), 50, 610)}});
        rewritePdf(path, [&](QPDF& pdf) {
            auto page = QPDFPageDocumentHelper(pdf).getAllPages().at(0).getObjectHandle();
            auto field = pdf.makeIndirectObject(QPDFObjectHandle::parse(
                "<< /Type /Annot /Subtype /Widget /FT /Tx /T (name) /V (Jane Filled-In) "
                "/F 4 /Rect [100 600 400 630] /DA (/Helv 12 Tf 0 g) >>"));
            field.replaceKey("/P", page);
            page.replaceKey("/Annots", QPDFObjectHandle::newArray({field}));
            auto form =
                QPDFObjectHandle::parse("<< /NeedAppearances true /DA (/Helv 12 Tf 0 g) /DR << /Font "
                                        "<< /Helv << /Type /Font /Subtype /Type1 /BaseFont /Helvetica >> "
                                        ">> >> >>");
            form.replaceKey("/Fields", QPDFObjectHandle::newArray({field}));
            pdf.getRoot().replaceKey("/AcroForm", form);
        });
    }

    QTemporaryDir m_dir;
    int m_outputs = 0;
};

QTEST_MAIN(TestWatermarkPDFFile)
#include "tst_WatermarkPDFFile.moc"
