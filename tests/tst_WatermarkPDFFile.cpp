#include "render/ContentBytes.h"
#include "render/GraphicsStateDepth.h"
#include "render/PageGeometry.h"
#include "render/watermarkPDFFile.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <qpdf/BufferInputSource.hh>
#include <qpdf/Pl_Buffer.hh>
#include <qpdf/Pl_Discard.hh>
#include <qpdf/Pl_Flate.hh>
#include <qpdf/Pl_String.hh>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFAcroFormDocumentHelper.hh>
#include <qpdf/QPDFOutlineDocumentHelper.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>
#include <qpdf/QPDFTokenizer.hh>
#include <qpdf/QPDFWriter.hh>

#include <set>

using namespace TestFiles;

Q_DECLARE_METATYPE(TestFiles::Page)

namespace {

constexpr const char* measuredStamping = "--stamp-measured";

// The pages of the document at path, read into pdf, which must outlive them. Warnings are kept
// for getWarnings(), not printed.
std::vector<QPDFPageObjectHelper> pagesOf(QPDF& pdf, const QString& path)
{
    pdf.setSuppressWarnings(true);
    pdf.processFile(QFile::encodeName(path).constData());
    return QPDFPageDocumentHelper(pdf).getAllPages();
}

// The first page of the document at path, read into pdf, found without qpdf's walk of the page
// tree, which refuses trees that loop.
QPDFPageObjectHelper firstPage(QPDF& pdf, const QString& path)
{
    pdf.setSuppressWarnings(true);
    pdf.processFile(QFile::encodeName(path).constData());
    QPDFObjectHandle node = pdf.getRoot().getKey("/Pages");
    while (node.getKey("/Type").isNameAndEquals("/Pages"))
        node = node.getKey("/Kids").getArrayItem(0);
    return QPDFPageObjectHelper(node);
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

// The decoded data of a stream; empty when its filters cannot be undone.
QByteArray dataOf(QPDFObjectHandle stream)
{
    Pl_Buffer buffer("stream");
    bool decoded = false;
    if (!stream.pipeStreamData(&buffer, &decoded, 0, qpdf_dl_generalized, true, true) || !decoded)
        return {};
    const auto bytes = buffer.getBufferSharedPointer();
    return QByteArray(reinterpret_cast<const char*>(bytes->getBuffer()), qsizetype(bytes->getSize()));
}

// What qpdf --check would find wrong with the document: objects it had to repair or could not
// read, and page content that does not tokenise or writes a number with an exponent, which PDF
// does not have. Content nobody can decode is not looked at.
QStringList problemsIn(const QString& path)
{
    QPDF pdf;
    QStringList problems;
    try {
        auto pages = pagesOf(pdf, path);
        Pl_Discard discard;
        QPDFWriter writer(pdf);
        writer.setOutputPipeline(&discard);
        writer.setDecodeLevel(qpdf_dl_none);
        writer.setCompressStreams(false); // else it decodes LZW to compress with Flate
        writer.write();                   // reads every object
        for (const auto& warning : pdf.getWarnings())
            problems << QString::fromUtf8(warning.what());
        for (const auto& [object, entry] : pdf.getXRefTable()) {
            if (object.getObj() < 1 || object.getObj() > 8388607)
                problems << QStringLiteral("object %1, which readers do not read").arg(object.getObj());
        }
        // A page's streams are read as one, as readers read them.
        for (auto& page : pages) {
            QByteArray content;
            for (auto& stream : page.getPageContents())
                content += dataOf(stream) + '\n';
            auto input = std::make_shared<BufferInputSource>("content", content.toStdString());
            QPDFTokenizer tokenizer;
            tokenizer.allowEOF();
            for (QPDFTokenizer::Token token; token.getType() != QPDFTokenizer::tt_eof;) {
                token = tokenizer.readToken(input, "content", true);
                const std::string& word = token.getValue();
                if (token.getType() == QPDFTokenizer::tt_bad ||
                    (token.getType() == QPDFTokenizer::tt_word && word.find_first_of("+-.0123456789") == 0))
                    problems << QString::fromStdString(page.getObjectHandle().unparse() + ": " + word);
            }
        }
    } catch (const std::exception& error) {
        problems << QString::fromUtf8(error.what());
    }
    return problems;
}

// What the first page offers beyond its drawing, a line each: the document's encryption, the
// page's annotations, form fields, bookmarks and structure as qpdf reads them, and the links and
// field values poppler shows.
QStringList featuresOf(const QString& path)
{
    QPDF pdf;
    auto page = firstPage(pdf, path);
    QPDFObjectHandle root = pdf.getRoot();
    int revision = 0, permissions = 0, version = 0;
    QPDF::encryption_method_e streams = QPDF::e_none, strings = streams, files = streams;
    const bool encrypted = pdf.isEncrypted(revision, permissions, version, streams, strings, files);
    QStringList found{QString::asprintf("encrypted %d, R%d P%d V%d, methods %d %d", encrypted, revision,
                                        permissions, version, streams, strings)};
    const auto add = [&](const std::string& line) { found << QString::fromStdString(line); };
    for (auto& annotation : page.getAnnotations())
        add(annotation.getObjectHandle().getKey("/Subtype").unparse() + " " +
            annotation.getAppearanceState() + " " +
            annotation.getObjectHandle().getKey("/A").unparseResolved());
    for (auto& field : QPDFAcroFormDocumentHelper(pdf).getFormFields())
        add(field.getFullyQualifiedName() + " = " + field.getValue().unparse());
    for (auto& outline : QPDFOutlineDocumentHelper(pdf).getTopLevelOutlines())
        add(outline.getTitle() + " on the page " +
            std::to_string(outline.getDestPage().isSameObjectAs(page.getObjectHandle())));
    QPDFObjectHandle element = root.getKey("/StructTreeRoot").getKey("/K");
    add(root.getKey("/MarkInfo").unparseResolved() + root.getKey("/PageLabels").unparseResolved() +
        element.getKey("/S").unparse() + " MCID " + element.getKey("/K").unparse() + " on the page " +
        std::to_string(element.getKey("/Pg").isSameObjectAs(page.getObjectHandle())) +
        ", page's struct parents " + page.getObjectHandle().getKey("/StructParents").unparse() +
        ", its private data " + page.getObjectHandle().getKey("/PieceInfo").unparseResolved());
    return found + linksAndFields(path, 0);
}

std::string deflated(const std::string& text)
{
    std::string packed;
    Pl_String sink("packed", nullptr, packed);
    Pl_Flate deflate("deflate", &sink, Pl_Flate::a_deflate);
    deflate.write(reinterpret_cast<const unsigned char*>(text.data()), text.size());
    deflate.finish();
    return packed;
}

// A PDF written byte by byte as qpdf would never write it, cross-references included: the
// objects numbered from 1, then the trailer's own entries.
QByteArray rawPdf(const std::vector<QByteArray>& objects, const QByteArray& trailer,
                  const char* version = "1.7")
{
    QByteArray text = QByteArray("%PDF-") + version + "\n";
    QByteArray table =
        "xref\n0 " + QByteArray::number(qulonglong(objects.size() + 1)) + "\n0000000000 65535 f\r\n";
    for (size_t i = 0; i < objects.size(); ++i) {
        table += QByteArray::number(text.size()).rightJustified(10, '0') + " 00000 n\r\n";
        text += QByteArray::number(qulonglong(i + 1)) + " 0 obj\n" + objects[i] + "\nendobj\n";
    }
    return text + table + "trailer\n<< " + trailer + " >>\nstartxref\n" + QByteArray::number(text.size()) +
           "\n%%EOF\n";
}

QByteArray rawStream(const QByteArray& data, const QByteArray& entries = {})
{
    return "<< " + entries + " /Length " + QByteArray::number(data.size()) + " >> stream\n" + data +
           "\nendstream";
}

// A page tree levels deep whose nodes each list the next twice, down to one page listed twice: objects 2 on,
// the page first and its content after the tree.
std::vector<QByteArray> repeatingTree(int levels)
{
    std::vector<QByteArray> objects{"<< /Type /Page /MediaBox [0 0 612 792] /Contents " +
                                    QByteArray::number(levels + 3) + " 0 R >>"};
    for (int level = 0; level < levels; ++level) {
        const QByteArray kid = level + 1 == levels ? "2 0 R 2 0 R"
                                                   : QByteArray::number(level + 4) + " 0 R " +
                                                         QByteArray::number(level + 4) + " 0 R";
        objects.push_back("<< /Type /Pages /Kids [" + kid + "] /Count 1 >>");
    }
    return objects;
}

bool openssl(const QString& folder, const QStringList& arguments)
{
    QProcess process;
    process.setWorkingDirectory(folder);
    process.start(QStringLiteral("openssl"), arguments);
    return process.waitForFinished(30000) && process.exitCode() == 0;
}

// Whether the document's signature (its one field's value) verifies for the bytes its /ByteRange names, as
// openssl checks it (poppler's own check reads freed memory in NSS under AddressSanitizer).
bool signatureVerifies(const QString& path, const QString& folder)
{
    QPDF pdf;
    pdf.setSuppressWarnings(true);
    pdf.processFile(QFile::encodeName(path).constData());
    QPDFObjectHandle signature =
        pdf.getRoot().getKey("/AcroForm").getKey("/Fields").getArrayItem(0).getKey("/V");
    auto range = signature.getKey("/ByteRange").getArrayAsVector();
    const QByteArray bytes = readFile(path);
    if (range.size() != 4)
        return false;
    const QDir dir(folder);
    writeFile(dir.filePath("signed-range"), bytes.mid(range[0].getIntValue(), range[1].getIntValue()) +
                                                bytes.mid(range[2].getIntValue(), range[3].getIntValue()));
    writeFile(dir.filePath("signature"),
              QByteArray::fromStdString(signature.getKey("/Contents").getStringValue()));
    return openssl(folder, {"cms", "-verify", "-binary", "-inform", "DER", "-in", "signature", "-content",
                            "signed-range", "-noverify", "-out", "/dev/null"});
}

// A signed one-page document: field 5 holds signature 6 over all of the document's bytes but
// the signature's own, made by openssl in folder with a key of its own. sigExtra goes into the
// signature dictionary, rootExtra into the catalogue; damage may change the bytes before they
// are signed. Empty when openssl fails.
QByteArray signedPdf(const QString& folder, const QByteArray& sigExtra = {}, const QByteArray& rootExtra = {},
                     const std::function<void(QByteArray&)>& damage = {})
{
    const QByteArray placeholder(8192, '0');
    QByteArray bytes = rawPdf(
        {"<< /Type /Catalog /Pages 2 0 R /AcroForm << /Fields [5 0 R] /SigFlags 3 >> " + rootExtra + " >>",
         "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
         "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents 4 0 R /Annots [5 0 R] >>",
         rawStream("0 g 150 150 40 10 re f"),
         "<< /FT /Sig /T (signature) /V 6 0 R /Type /Annot /Subtype /Widget /Rect [0 0 0 0] /P 3 0 R /F 132 "
         ">>",
         "<< /Type /Sig /Filter /Adobe.PPKLite /SubFilter /adbe.pkcs7.detached " + sigExtra +
             " /ByteRange [0 1111111111 1111111111 1111111111] /Contents <" + placeholder + "> >>"},
        "/Size 7 /Root 1 0 R");
    if (damage)
        damage(bytes);
    const qsizetype start = bytes.indexOf("/Contents <" + placeholder) + 10;
    const qsizetype end = start + placeholder.size() + 2;
    const QByteArray range = QByteArray::number(start).rightJustified(10, '0') + ' ' +
                             QByteArray::number(end).rightJustified(10, '0') + ' ' +
                             QByteArray::number(bytes.size() - end).rightJustified(10, '0');
    bytes.replace(bytes.indexOf("1111111111 1111111111 1111111111"), range.size(), range);
    const QDir dir(folder);
    writeFile(dir.filePath("signed-bytes"), bytes.left(start) + bytes.mid(end));
    if (!openssl(folder, {"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", "key.pem", "-out",
                          "cert.pem", "-subj", "/CN=Signer", "-days", "2"}) ||
        !openssl(folder, {"cms", "-sign", "-binary", "-in", "signed-bytes", "-signer", "cert.pem", "-inkey",
                          "key.pem", "-outform", "DER", "-out", "signature"}))
        return {};
    const QByteArray signature = readFile(dir.filePath("signature")).toHex();
    return bytes.replace(start + 1, signature.size(), signature);
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
    // graphics state its content leaves behind. One drawing serves every page, whatever its size.
    void everyPageStampedAndStillVector()
    {
        QFETCH(bool, inPlace);
        const std::vector<std::pair<Page, QSize>> wanted{
            {Page{}, QSize(612, 792)},
            {Page{.mediaBox = QRectF(100, 200, 400, 300)}, QSize(400, 300)},
            {Page{.cropBox = QRectF(50, 100, 300, 500)}, QSize(300, 500)},
            {Page{.rotate = 90}, QSize(792, 612)},
            {Page{.mediaBox = QRectF(20, 30, 792, 612)}, QSize(792, 612)}, // as large, placed otherwise
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
        QCOMPARE(distinctWatermarks(*outcome), size_t(1));
    }

    // A text that reads differently per page gets a drawing per distinct text, with the page's
    // number and the page count; one that reads alike on every page keeps a single drawing.
    void pageFieldsFilledPerPage_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("shown"); // on each page, %1 its number
        QTest::addColumn<int>("forms");
        QTest::newRow("page of pages")
            << QStringLiteral("Page {page} of {pages}") << QStringLiteral("Page %1 of 3") << 3;
        QTest::newRow("alike per page")
            << QStringLiteral("{{page}} of {pages}") << QStringLiteral("{page} of 3") << 1;
        QTest::newRow("no fields") << QStringLiteral("Plain") << QStringLiteral("Plain") << 1;
    }
    void pageFieldsFilledPerPage()
    {
        QFETCH(QString, text);
        QFETCH(QString, shown);
        QFETCH(int, forms);
        const QString input = m_dir.filePath(QStringLiteral("three.pdf"));
        writePdf(input, {Page{}, Page{.mediaBox = QRectF(0, 0, 400, 300)}, Page{}});
        const auto outcome =
            watermarkPDFFile(input, redText(text), m_dir.filePath(QStringLiteral("out.pdf")));
        QVERIFY2(outcome, qPrintable(outcome.error()));
        for (int i = 0; i < 3; ++i)
            QCOMPARE(pageText(*outcome, i).simplified(), shown.contains(u'%') ? shown.arg(i + 1) : shown);
        QCOMPARE(distinctWatermarks(*outcome), size_t(forms));
    }

    // The mark lies on exactly the chosen pages; the others stay the input's own objects, left out
    // of the appended update. A choice that takes no page writes nothing.
    void chosenPagesOnly()
    {
        const QString input = m_dir.filePath(QStringLiteral("chosen.pdf")), out = outputFolder();
        writePdf(input, std::vector<Page>(5));
        WatermarkSnapshot design = redText(QStringLiteral("STAMP"));
        design.pages = *PageSelection::parse(QStringLiteral("2-,-1"));
        const auto outcome =
            watermarkPDFFile(input, design, QDir(out).filePath(QStringLiteral("chosen.pdf")));
        QVERIFY2(outcome, qPrintable(outcome.error()));
        const QByteArray update = "\n" + readFile(*outcome).mid(QFileInfo(input).size());
        QPDF pdf;
        const auto stamped = pagesOf(pdf, *outcome);
        for (int page = 1; page <= 5; ++page) {
            const int object = stamped[size_t(page - 1)].getObjectHandle().getObjectID();
            QCOMPARE(pageText(*outcome, page - 1).contains(QStringLiteral("STAMP")), page > 1);
            QCOMPARE(update.contains("\n" + QByteArray::number(object) + " 0 obj"), page > 1);
        }
        design.pages = *PageSelection::parse(QStringLiteral("6-"));
        const QString empty = outputFolder();
        QCOMPARE(watermarkPDFFile(input, design, QDir(empty).filePath(QStringLiteral("x.pdf"))).error(),
                 QStringLiteral("no page of it is in the design's page list"));
        QCOMPARE(filesIn(empty), QStringList());
    }

    // Tiles of one drawing cover the four corners of a turned page. Under the content the page's
    // opaque black and grey stay on top; multiplied, black stays black (a scan's text stays
    // readable) and grey turns a darker red, where over the content the mark covers both.
    void tiledLayers_data()
    {
        QTest::addColumn<int>("layer");
        QTest::newRow("over") << int(WatermarkSnapshot::Layer::over);
        QTest::newRow("under") << int(WatermarkSnapshot::Layer::under);
        QTest::newRow("multiply") << int(WatermarkSnapshot::Layer::multiply);
    }

    void tiledLayers()
    {
        QFETCH(int, layer);
        const QString input = m_dir.filePath(QStringLiteral("layers.pdf"));
        writePdf(input,
                 {Page{.rotate = 90, .content = "0 g 100 150 300 300 re f 0.5 g 420 150 150 300 re f "}});
        auto design = redText(QStringLiteral("\u2588\u2588\u2588"), 50, 50, 30, 20);
        design.layout = WatermarkSnapshot::Layout::tiled;
        design.tileGapX = design.tileGapY = 2;
        design.layer = WatermarkSnapshot::Layer(layer);
        const auto outcome =
            watermarkPDFFile(input, design, QDir(outputFolder()).filePath(QStringLiteral("l.pdf")));
        QVERIFY2(outcome, qPrintable(outcome.error()));
        QCOMPARE(distinctWatermarks(*outcome), size_t(1));
        const QImage page = renderPage(*outcome, 0);
        QCOMPARE(page.size(), QSize(792, 612));
        for (const QPoint corner : {QPoint(0, 0), QPoint(772, 0), QPoint(0, 592), QPoint(772, 592)})
            QVERIFY(!inkBounds(page.copy(QRect(corner, QSize(20, 20))), isRed).isEmpty());
        const auto count = [](const QImage& image, auto predicate) {
            int found = 0;
            for (int y = 0; y < image.height(); ++y)
                for (int x = 0; x < image.width(); ++x)
                    found += predicate(image.pixel(x, y));
            return found;
        };
        const auto black = [](QRgb p) { return qRed(p) < 40 && qGreen(p) < 40 && qBlue(p) < 40; };
        const auto grey = [](QRgb p) {
            return std::abs(qRed(p) - 128) < 12 && std::abs(qGreen(p) - 128) < 12;
        };
        const auto darkRed = [](QRgb p) { return std::abs(qRed(p) - 128) < 12 && qGreen(p) < 40; };
        const QImage before = renderPage(input, 0);
        const int blackBefore = count(before, black), greyBefore = count(before, grey);
        QVERIFY(blackBefore >= 300 * 300 && greyBefore >= 150 * 300);
        const bool over = design.layer == WatermarkSnapshot::Layer::over;
        const bool multiply = design.layer == WatermarkSnapshot::Layer::multiply;
        QCOMPARE(count(page, black) >= blackBefore, !over);
        QCOMPARE(count(page, grey) >= greyBefore, !over && !multiply);
        QCOMPARE(count(page, darkRed) > greyBefore / 4, multiply);
    }

    // Under the content, a mark that something opaque of the page's own covers whole would change
    // nothing: the file is refused and nothing written. Wherever any of it may show, the file is
    // written and the mark shows; over the content or multiplied it always does. An image that some
    // readers draw and others do not counts as showing it.
    void hiddenUnderOpaqueContent_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QByteArray>("image"); // what the image's dictionary says beyond its size
        QTest::addColumn<QString>("layout");   // the layer, tiled or not
        QTest::addColumn<QString>("outcome");  // "hidden", "shows" or "written"
        const QByteArray page = "612 0 0 792 0 0 cm /Im0 Do";
        const QByteArray grey = "/ColorSpace /DeviceGray /BitsPerComponent 8";
        const QString under = QStringLiteral("under"), tiled = QStringLiteral("tiled under");
        QTest::newRow("page-sized image") << page << grey << under << "hidden";
        QTest::newRow("over it") << page << grey << QStringLiteral("over") << "shows";
        QTest::newRow("multiplied") << page << grey << QStringLiteral("multiply") << "shows";
        QTest::newRow("white background") << QByteArray("1 g 0 0 612 792 re f") << grey << under << "hidden";
        QTest::newRow("plain state, clip around the page")
            << "/Plain gs -1 -1 614 794 re W n " + page << grey << under << "hidden";
        QTest::newRow("soft mask") << page << grey + " /SMask 6 0 R" << under << "shows";
        QTest::newRow("clipped") << "0 0 306 792 re W n " + page << grey << under << "shows";
        QTest::newRow("half the page")
            << QByteArray("612 0 0 396 0 0 cm /Im0 Do") << grey << under << "shows";
        QTest::newRow("tiles over the page") << page << grey << tiled << "hidden";
        QTest::newRow("tiles, half the page")
            << QByteArray("612 0 0 396 0 396 cm /Im0 Do") << grey << tiled << "shows";
        QTest::newRow("translucent state") << "/Faint gs " + page << grey << under << "shows";
        QTest::newRow("broken data") << page << grey + " /Filter /FlateDecode" << under << "written";
        QTest::newRow("colours readers differ on")
            << page << QByteArray("/ColorSpace [/Indexed /DeviceGray 255 <00>] /BitsPerComponent 8") << under
            << "shows";
        QTest::newRow("bits readers differ on")
            << page << QByteArray("/ColorSpace /DeviceGray /BitsPerComponent 3") << under << "written";
    }

    void hiddenUnderOpaqueContent()
    {
        QFETCH(QByteArray, content);
        QFETCH(QByteArray, image);
        QFETCH(QString, layout);
        QFETCH(QString, outcome);
        const QString input = m_dir.filePath(QStringLiteral("scan.pdf"));
        writeObjects(input,
                     {"<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
                      "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents 4 0 R /Resources "
                      "<< /XObject << /Im0 5 0 R >> /ExtGState << /Plain << /LW 2 >> /Faint << /ca 0.5 "
                      ">> >> >> >>",
                      "<< >> stream\nq " + content + " Q\nendstream",
                      "<< /Subtype /Image /Width 2 /Height 2 " + image + " >> stream\n`p\x80\x90\nendstream",
                      "<< /Subtype /Image /Width 1 /Height 1 /ColorSpace /DeviceGray /BitsPerComponent 8 "
                      ">> stream\n\x10\nendstream"});
        auto design = redText(QStringLiteral("STAMP"), 50, 50, 30, 60);
        design.layer = layout == u"over"       ? WatermarkSnapshot::Layer::over
                       : layout == u"multiply" ? WatermarkSnapshot::Layer::multiply
                                               : WatermarkSnapshot::Layer::under;
        if (layout.startsWith(u"tiled"))
            design.layout = WatermarkSnapshot::Layout::tiled;
        const QString out = outputFolder();
        const auto written = watermarkPDFFile(input, design, QDir(out).filePath(QStringLiteral("scan.pdf")));
        if (outcome == QLatin1String("hidden")) {
            QCOMPARE(written.error(),
                     QStringLiteral("the mark would lie hidden behind the opaque content of page 1"));
            QCOMPARE(filesIn(out), QStringList());
            return;
        }
        QVERIFY2(written, qPrintable(written.error()));
        if (outcome == QLatin1String("shows"))
            QVERIFY(renderPage(*written, 0) != renderPage(input, 0));
    }

    // The reader's upright space lands exactly on the visible area, however the page is turned:
    // where the displayed lower-left, lower-right and upper-left corners lie in user space.
    void displayedSpaceLiesOnTheVisibleArea_data()
    {
        QTest::addColumn<int>("rotation");
        QTest::addColumn<QList<QPointF>>("corners");
        QTest::newRow("0") << 0 << QList<QPointF>{{30, 40}, {530, 40}, {30, 440}};
        QTest::newRow("90") << 90 << QList<QPointF>{{530, 40}, {530, 440}, {30, 40}};
        QTest::newRow("180") << 180 << QList<QPointF>{{530, 440}, {30, 440}, {530, 40}};
        QTest::newRow("270") << 270 << QList<QPointF>{{30, 440}, {30, 40}, {530, 440}};
    }

    void displayedSpaceLiesOnTheVisibleArea()
    {
        QFETCH(int, rotation);
        QFETCH(QList<QPointF>, corners);
        const PageGeometry page{QRectF(30, 40, 500, 400), rotation};
        const QSizeF size = page.displayedSize();
        const QTransform map = page.displayedToUserSpace();
        VERIFY_NEAR(map.map(QPointF(0, 0)), corners[0], 1e-9);
        VERIFY_NEAR(map.map(QPointF(size.width(), 0)), corners[1], 1e-9);
        VERIFY_NEAR(map.map(QPointF(0, size.height())), corners[2], 1e-9);
    }

    // Stamping keeps all the document does beyond its drawing, on odd pages too. A sound document
    // gets the stamp as an update appended to its unchanged bytes, its cross-references written the
    // way its last ones were, encrypted as it is; one that had to be repaired is written anew,
    // encrypted alike. Content nobody can decode is left as it is.
    void everythingElseKept_data()
    {
        QTest::addColumn<QString>("input");
        QTest::addColumn<int>("pages");
        QTest::addColumn<bool>("appended");
        const auto path = [this](const char* name) { return m_dir.filePath(QLatin1String(name)); };
        writeInteractivePdf(path("table.pdf"), {});
        writeInteractivePdf(path("1.4.pdf"), [](QPDFWriter& writer) { writer.forcePDFVersion("1.4"); });
        writeInteractivePdf(path("stream.pdf"),
                            [](QPDFWriter& writer) { writer.setObjectStreamMode(qpdf_o_generate); });
        writeInteractivePdf(path("owner.pdf"), [](QPDFWriter& writer) {
            writer.setR6EncryptionParameters("", "owner", true, true, true, true, true, true, qpdf_r3p_none,
                                             true);
        });
        for (const bool aes : {false, true})
            writeInteractivePdf(path(aes ? "aes.pdf" : "rc4.pdf"), [aes](QPDFWriter& writer) {
                writer.setR4EncryptionParametersInsecure("", "owner", true, true, true, true, true, true,
                                                         qpdf_r3p_low, true, aes);
            });
        // Bytes after the header move every object away from where the cross-references say.
        writeInteractivePdf(path("moved.pdf"), {});
        writeFile(path("moved.pdf"), readFile(path("moved.pdf")).insert(9, "% moved\n"));
        QTest::newRow("cross-reference table") << path("table.pdf") << 1 << true;
        QTest::newRow("cross-reference table, PDF 1.4") << path("1.4.pdf") << 1 << true;
        QTest::newRow("cross-reference stream") << path("stream.pdf") << 1 << true;
        QTest::newRow("owner password only, AES-256") << path("owner.pdf") << 1 << true;
        QTest::newRow("RC4 crypt filters") << path("rc4.pdf") << 1 << true;
        QTest::newRow("AES-128") << path("aes.pdf") << 1 << true;
        QTest::newRow("repaired cross-references") << path("moved.pdf") << 1 << false;

        const auto add = [&](const char* name, int pages, bool appended, std::vector<QByteArray> objects) {
            objects.insert(objects.begin(), "<< /Type /Catalog /Pages 2 0 R >>");
            writeObjects(path(name), objects, [](QPDFWriter& writer) {
                // Kept as they are: qpdf would decode broken streams to compress them again.
                writer.setDecodeLevel(qpdf_dl_none);
                writer.setCompressStreams(false);
            });
            QTest::newRow(name) << path(name) << pages << appended;
        };
        const auto tree = [](const char* kids) {
            return "<< /Type /Pages /MediaBox [0 0 612 792] " + QByteArray(kids) + " >>";
        };
        const QByteArray box = " stream\n0 g 150 150 40 10 re f\nendstream";
        const char* onePage = "/Kids [3 0 R] /Count 1";
        add("near-integer media box", 1, true,
            {tree(onePage),
             "<< /Type /Page /Parent 2 0 R /Contents 4 0 R /MediaBox [0 0 612 791.99999999999989] >>",
             "<< >>" + box});
        add("content with form keys", 1, true,
            {tree(onePage), "<< /Type /Page /Parent 2 0 R /Contents 4 0 R >>",
             "<< /Matrix [0.5 0 0 0.5 0 0] /BBox [0 0 612 792] >>" + box});
        add("content cut short in a string", 1, true,
            {tree(onePage), "<< /Type /Page /Parent 2 0 R /Contents 4 0 R >>",
             "<< >> stream\n0 g 150 150 40 10 re f [(cut (short\nendstream"});
        add("content streams, one broken LZW", 1, true,
            {tree(onePage), "<< /Type /Page /Parent 2 0 R /Contents [4 0 R 5 0 R] >>", "<< >>" + box,
             "<< /Filter /LZWDecode >> stream\n\xff\xff\xff\xff garbage\nendstream"});
        add("content shared with an unknown filter", 2, true,
            {tree("/Kids [3 0 R 5 0 R] /Count 2"), "<< /Type /Page /Parent 2 0 R /Contents 4 0 R >>",
             "<< /Filter /Foo >>" + box, "<< /Type /Page /Parent 2 0 R /Contents 4 0 R >>"});
        // A page tree that loops is mended first, so the document is written anew.
        add("pages node among its own kids", 1, false,
            {tree("/Kids [3 0 R 2 0 R] /Count 1"), "<< /Type /Page /Parent 2 0 R /Contents 4 0 R >>",
             "<< >>" + box});
        add("pages node's parent among its kids", 1, false,
            {tree("/Kids [5 0 R] /Count 1"), "<< /Type /Page /Parent 5 0 R /Contents 4 0 R >>", "<< >>" + box,
             "<< /Type /Pages /Parent 2 0 R /Kids [3 0 R 2 0 R] /Count 1 >>"});

        // Documents made byte by byte: the mark is drawn in the page's initial state and shown,
        // and the output is one readers read without a complaint.
        const auto addRaw = [&](const char* name, bool appended, const QByteArray& bytes) {
            writeFile(path(name), bytes);
            QTest::newRow(name) << path(name) << 1 << appended;
        };
        const QByteArray catalogue = "<< /Type /Catalog /Pages 2 0 R >>";
        const QByteArray page = "<< /Type /Page /Parent 2 0 R /Contents 4 0 R >>";
        const QByteArray drawn = "0 g 150 150 40 10 re f\n";
        // A layer that is off, its section left open.
        addRaw(
            "hidden layer left open", true,
            rawPdf(
                {"<< /Type /Catalog /Pages 2 0 R /OCProperties << /OCGs [5 0 R] /D << /OFF [5 0 R] >> >> >>",
                 tree(onePage),
                 "<< /Type /Page /Parent 2 0 R /Contents 4 0 R /Resources << /Properties << /L1 5 0 R >> >> "
                 ">>",
                 rawStream(drawn + "/OC /L1 BDC 0 0 612 792 re f"), "<< /Type /OCG /Name (L1) >>"},
                "/Size 6 /Root 1 0 R"));
        // Deflate data that breaks after one stored block: what it holds before the break, a Q
        // that restores the state before the page's and a transform that shrinks, counts.
        const QByteArray stored = drawn + "Q 0.02 0 0 0.02 0 0 cm\n";
        const quint16 length = quint16(stored.size());
        const QByteArray broken = QByteArray("\x78\x01\x00", 3) + char(length & 0xff) + char(length >> 8) +
                                  char(~length & 0xff) + char((~length >> 8) & 0xff) + stored + "\x07\xff";
        addRaw("deflate data broken after the content", true,
               rawPdf({catalogue, tree(onePage), page, rawStream(broken, "/Filter /FlateDecode")},
                      "/Size 5 /Root 1 0 R"));
        addRaw("catalogue among the kids", false,
               rawPdf({catalogue, tree("/Kids [3 0 R 1 0 R] /Count 2"), page, rawStream(drawn)},
                      "/Size 5 /Root 1 0 R"));
        addRaw(
            "trailer naming no object", true,
            rawPdf({catalogue, tree(onePage), page, rawStream(drawn)}, "/Size 5 /Root 1 0 R /Info 40 0 R"));
        addRaw("size beyond readers' numbers", false,
               rawPdf({catalogue, tree(onePage), page, rawStream(drawn)}, "/Size 9000000 /Root 1 0 R"));
        // Each level doubles the paths through the tree: each node is followed once.
        std::vector<QByteArray> repeating = repeatingTree(40);
        repeating.insert(repeating.begin(), "<< /Type /Catalog /Pages 3 0 R >>");
        repeating.push_back(rawStream(drawn));
        addRaw("kids repeating a node, 40 levels", false,
               rawPdf(repeating,
                      "/Size " + QByteArray::number(qulonglong(repeating.size() + 1)) + " /Root 1 0 R"));
    }

    void everythingElseKept()
    {
        QFETCH(QString, input);
        QFETCH(int, pages);
        QFETCH(bool, appended);
        const QByteArray before = readFile(input);
        const auto outcome = watermarkPDFFile(input, redText(QStringLiteral("MARK")),
                                              QDir(outputFolder()).filePath(QStringLiteral("out.pdf")));
        QVERIFY2(outcome, qPrintable(outcome.error()));
        const QStringList problems = problemsIn(*outcome);
        QVERIFY2(problems.isEmpty(), qPrintable(problems.join(QStringLiteral("; "))));
        QPDF pdf, original, stamped;
        QCOMPARE(int(pagesOf(pdf, *outcome).size()), pages);
        QCOMPARE(featuresOf(*outcome), featuresOf(input));
        for (int i = 0; i < pages; ++i) {
            const QImage image = renderPage(*outcome, i);
            VERIFY_NEAR(QRectF(inkBounds(image, isRed)).center(), QPointF(306, 396), 3);
            QCOMPARE(inkBounds(image, [](QRgb pixel) { return isInk(pixel) && !isRed(pixel); }),
                     inkBounds(renderPage(input, i), isInk));
        }
        // Marked content stays in the page's own stream, the same object when appended.
        const auto kept = firstPage(original, input).getPageContents().at(0);
        const auto contents = firstPage(stamped, *outcome).getPageContents();
        QVERIFY(std::any_of(contents.begin(), contents.end(), [&](QPDFObjectHandle stream) {
            return dataOf(stream) == dataOf(kept) && (!appended || stream.getObjGen() == kept.getObjGen());
        }));
        const QByteArray after = readFile(*outcome);
        QCOMPARE(after.startsWith(before), appended);
        // From PDF 1.5 on, the update packs its objects and compresses its cross-references.
        if (appended) {
            const QByteArray update = after.mid(before.size());
            const bool packed = before.mid(5, 3) >= "1.5";
            QVERIFY(update.contains("/Prev"));
            QCOMPARE(update.contains("/ObjStm"), packed);
            QCOMPARE(update.contains("/XRef"), packed || before.contains("/XRef"));
        }
    }

    // Pages readers would turn or cut each their own way get the rotation and crop box their mark
    // was laid out on; the mark keeps its size in points on a page of larger units (MuPDF honours
    // them, poppler does not); an inline image cut short still leaves the mark to be drawn.
    void markAlikeInEveryReader_data()
    {
        QTest::addColumn<QByteArray>("entries"); // the page dictionary's own
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QSize>("displayed"); // in points
        QTest::addColumn<int>("unit");
        const QByteArray none;
        QTest::newRow("rotation 90.0") << QByteArray("/Rotate 90.0") << none << QSize(792, 612) << 1;
        QTest::newRow("rotation 45") << QByteArray("/Rotate 45") << none << QSize(612, 792) << 1;
        QTest::newRow("user unit 2") << QByteArray("/UserUnit 2") << none << QSize(1224, 1584) << 2;
        QTest::newRow("crop box taller than the media box")
            << QByteArray("/CropBox [100 -500 300 400]") << none << QSize(200, 400) << 1;
        QTest::newRow("crop box outside the media box")
            << QByteArray("/CropBox [700 900 800 1000]") << none << QSize(612, 792) << 1;
        const QByteArray image = "BI /W 20 /H 20 /BPC 8 /CS /G";
        QTest::newRow("inline image cut short") << none << image + " ID abc" << QSize(612, 792) << 1;
        QTest::newRow("inline image without data") << none << image << QSize(612, 792) << 1;
        QTest::newRow("hexadecimal inline image cut short")
            << none << image + " /F /AHx ID 00ff" << QSize(612, 792) << 1;
    }

    void markAlikeInEveryReader()
    {
        QFETCH(QByteArray, entries);
        QFETCH(QByteArray, content);
        QFETCH(QSize, displayed);
        QFETCH(int, unit);
        const WatermarkSnapshot design = redText(QStringLiteral("WIDE WIDE WIDE"), 25, 75, 0, 12);
        const QString plain = m_dir.filePath(QStringLiteral("plain.pdf"));
        writePdf(plain, {Page{}});
        const int width = inkBounds(renderPage(*watermarkPDFFile(plain, design, plain), 0), isRed).width();
        const QString input = m_dir.filePath(QStringLiteral("odd.pdf"));
        writeFile(
            input,
            rawPdf({"<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
                    "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents 4 0 R " + entries + " >>",
                    rawStream("0 g 150 150 40 10 re f\n" + content)},
                   "/Size 5 /Root 1 0 R"));
        const auto outcome = watermarkPDFFile(input, design, QDir(outputFolder()).filePath("odd.pdf"));
        QVERIFY2(outcome, qPrintable(outcome.error()));
        const QString drawn = m_dir.filePath(QStringLiteral("mupdf.png"));
        QFile::remove(drawn);
        QProcess::execute(QStringLiteral("mutool"), {"draw", "-q", "-r", "72", "-o", drawn, *outcome, "1"});
        for (const bool mupdf : {false, true}) {
            const int scale = mupdf ? 1 : unit; // poppler draws units as points, MuPDF honours them
            const QImage image = mupdf ? QImage(drawn) : renderPage(*outcome, 0);
            const QRect ink = inkBounds(image.convertToFormat(QImage::Format_RGB32), isRed);
            QCOMPARE(image.size(), displayed / scale);
            VERIFY_NEAR(QRectF(ink).center(), QPointF(image.width(), image.height()) / 4, 3);
            QVERIFY2(std::abs(ink.width() - width / scale) <= 3, qPrintable(QString::number(ink.width())));
        }
    }

    // A picture design is embedded losslessly, not re-encoded as JPEG, and drawn at its opacity.
    void pictureDesignLosslessAndBlended()
    {
        const QString picture = m_dir.filePath(QStringLiteral("logo.png"));
        writeSolidPicture(picture, QSize(100, 60), Qt::blue);
        const QString input = m_dir.filePath(QStringLiteral("plain.pdf"));
        writePdf(input, {Page{.content = textContent(QStringLiteral("Name:"), 50, 610)}});
        const auto outcome = watermarkPDFFile(input, pictureDesign(picture, 100, 0.5),
                                              QDir(outputFolder()).filePath("plain.pdf"));
        QVERIFY2(outcome, qPrintable(outcome.error()));
        QCOMPARE(imageFilters(*outcome), std::set<std::string>{"/FlateDecode"});
        const QRgb blended = renderPage(*outcome, 0).pixel(306, 396);
        QVERIFY2(std::abs(qRed(blended) - 128) <= 3 && qBlue(blended) >= 245,
                 qPrintable(QString::number(blended, 16)));
    }

    // A signature covers the bytes it signed: every signed document is stamped by an update
    // appended to them, even one qpdf had to repair to read, so the signature still verifies.
    void signaturesStillVerify_data()
    {
        QTest::addColumn<QByteArray>("input");
        const auto moveCrossReferences = [](QByteArray& bytes) {
            bytes.insert(bytes.lastIndexOf("xref\n0 "), '\n');
        };
        QTest::newRow("sound") << signedPdf(m_dir.path());
        QTest::newRow("cross-references one byte off")
            << signedPdf(m_dir.path(), {}, {}, moveCrossReferences);
        QTest::newRow("text after the end")
            << signedPdf(m_dir.path(), {}, {}, [](QByteArray& bytes) { bytes += QByteArray(2000, 'x'); });
        // qpdf leaves the signature's /Contents unencrypted, as signing needs it.
        QTest::newRow("encrypted with RC4") << signedPdf(m_dir.path(), {}, {}, [this](QByteArray& bytes) {
            const QString plain = m_dir.filePath("signed.pdf"), encrypted = m_dir.filePath("signed-rc4.pdf");
            writeFile(plain, bytes);
            QProcess::execute("qpdf", {"--allow-weak-crypto", "--encrypt", "", "owner", "128", "--use-aes=n",
                                       "--", plain, encrypted});
            bytes = readFile(encrypted);
        });
    }

    void signaturesStillVerify()
    {
        QFETCH(QByteArray, input);
        QVERIFY(!input.isEmpty());
        const QString path = m_dir.filePath(QStringLiteral("signed.pdf"));
        writeFile(path, input);
        QVERIFY(signatureVerifies(path, m_dir.path()));
        const auto outcome = watermarkPDFFile(path, redText(QStringLiteral("MARK")),
                                              QDir(outputFolder()).filePath(QStringLiteral("signed.pdf")));
        QVERIFY2(outcome, qPrintable(outcome.error()));
        QVERIFY(readFile(*outcome).startsWith(input));
        QVERIFY(signatureVerifies(*outcome, m_dir.path()));
        QCOMPARE(outcome.note(), QStringLiteral("its signatures still verify as the earlier revision"));
        VERIFY_NEAR(QRectF(inkBounds(renderPage(*outcome, 0), isRed)).center(), QPointF(306, 396), 3);
    }

    // Content that inflates to hundreds of megabytes is read a piece at a time, and
    // cross-references that would take gigabytes are refused before they are read: each document
    // alone, in a process of its own, stays within 300 MB beyond its own size.
    void boundedMemory_data()
    {
        QTest::addColumn<QString>("input");
        QTest::addColumn<QString>("outcome");
        const auto path = [this](const char* name) { return m_dir.filePath(QLatin1String(name)); };
        const QByteArray catalogue = "<< /Type /Catalog /Pages 2 0 R >>";
        const QByteArray pages = "<< /Type /Pages /MediaBox [0 0 612 792] /Kids [3 0 R] /Count 1 >>";
        std::string bomb;
        {
            Pl_String sink("bomb", nullptr, bomb);
            Pl_Flate deflate("deflate", &sink, Pl_Flate::a_deflate);
            const std::string spaces(1 << 20, ' ');
            deflate.write(reinterpret_cast<const unsigned char*>("0 g 150 150 40 10 re f\n"), 23);
            for (int i = 0; i < 256; ++i)
                deflate.write(reinterpret_cast<const unsigned char*>(spaces.data()), spaces.size());
            deflate.write(reinterpret_cast<const unsigned char*>("Q 0.02 0 0 0.02 0 0 cm\n"), 23);
            deflate.finish();
        }
        writeFile(path("bomb.pdf"),
                  rawPdf({catalogue, pages, "<< /Type /Page /Parent 2 0 R /Contents 4 0 R >>",
                          rawStream(QByteArray::fromStdString(bomb), "/Filter /FlateDecode")},
                         "/Size 5 /Root 1 0 R"));
        QTest::newRow("content inflating to 256 MB") << path("bomb.pdf") << QStringLiteral("written");
        const QByteArray entries =
            QByteArray::fromStdString(deflated(std::string(size_t(8000000) * 4, '\0')));
        QByteArray xref =
            rawPdf({catalogue, pages, "<< /Type /Page /Parent 2 0 R >>"}, "/Size 4 /Root 1 0 R");
        xref = xref.left(xref.indexOf("xref\n")) + "4 0 obj\n" +
               rawStream(entries, "/Type /XRef /Size 8000000 /W [1 2 1] /Root 1 0 R /Filter /FlateDecode") +
               "\nendobj\nstartxref\n" + QByteArray::number(xref.indexOf("xref\n")) + "\n%%EOF\n";
        writeFile(path("xref.pdf"), xref);
        QTest::newRow("eight million cross-references")
            << path("xref.pdf") << QStringLiteral("too large to stamp within the memory budget");
    }

    void boundedMemory()
    {
        QFETCH(QString, input);
        QFETCH(QString, outcome);
        const QString output = QDir(outputFolder()).filePath(QStringLiteral("out.pdf"));
        QProcess child;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("ASAN_OPTIONS"), environment.value(QStringLiteral("ASAN_OPTIONS")) +
                                                               QStringLiteral(":detect_leaks=0"));
        child.setProcessEnvironment(environment);
        child.start(QCoreApplication::applicationFilePath(), {measuredStamping, input, output});
        QVERIFY(child.waitForFinished(-1));
        const QList<QByteArray> lines = child.readAllStandardOutput().trimmed().split('\n');
        QVERIFY(lines.size() >= 2);
        QCOMPARE(QString::fromUtf8(lines[lines.size() - 2]), outcome);
        const qint64 peak = lines.last().toLongLong() * 1024;
        QVERIFY2(peak < (qint64(300) << 20) + QFileInfo(input).size(),
                 qPrintable(QString::number(peak >> 20)));
        if (outcome == QStringLiteral("written"))
            VERIFY_NEAR(QRectF(inkBounds(renderPage(output, 0), isRed)).center(), QPointF(306, 396), 3);
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
        // Kids that are numbers, one looping back: nothing a reader can show, so nothing to stamp.
        writeObjects(path("number kids.pdf"),
                     {"<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Kids [3 0 2 0 R] /Count 1 >>"});
        writePdf(path("locked.pdf"), {page}, true);
        writePdf(path("good.pdf"), {page});
        QTest::newRow("text named .pdf") << path("text.pdf") << true << QStringLiteral("not a PDF document");
        QTest::newRow("damaged") << path("damaged.pdf") << true << QStringLiteral("damaged beyond repair");
        QTest::newRow("missing file") << path("missing.pdf") << true << QStringLiteral("does not exist");
        QTest::newRow("no pages") << path("empty.pdf") << true << QStringLiteral("has no pages");
        QTest::newRow("kids that are no pages")
            << path("number kids.pdf") << true << QStringLiteral("has no pages");
        QTest::newRow("needs a password") << path("locked.pdf") << true << QStringLiteral("needs a password");
        QTest::newRow("missing output folder")
            << path("good.pdf") << false << QStringLiteral("the output folder does not exist");
        // Deep enough to exhaust the stack of a walk that recurses once per level.
        std::vector<QByteArray> deep{"<< /Type /Catalog /Pages 2 0 R >>"};
        for (int level = 2; level < 30000; ++level)
            deep.push_back("<< /Type /Pages /Kids [" + QByteArray::number(level + 1) + " 0 R] /Count 1 >>");
        deep.push_back("<< /Type /Page /MediaBox [0 0 612 792] >>");
        writeFile(path("deep.pdf"), rawPdf(deep, "/Size 30001 /Root 1 0 R"));
        writeFile(path("certified.pdf"),
                  signedPdf(m_dir.path(),
                            "/Reference [<< /Type /SigRef /TransformMethod /DocMDP /TransformParams "
                            "<< /Type /TransformParams /P 2 /V /1.2 >> >>]",
                            "/Perms << /DocMDP 6 0 R >>"));
        QTest::newRow("certified") << path("certified.pdf") << true
                                   << QStringLiteral(
                                          "certified against changes: stamping would void its certification");
        // New objects would be numbered beyond what readers read.
        QByteArray last = rawPdf({"<< /Type /Catalog /Pages 2 0 R >>",
                                  "<< /Type /Pages /Kids [3 0 R] /Count 1 /MediaBox [0 0 612 792] >>",
                                  "<< /Type /Page /Parent 2 0 R >>"},
                                 "/Size 8388608 /Root 1 0 R");
        const QByteArray table = last.mid(last.indexOf("xref\n"));
        const QByteArray object = "8388607 0 obj\nnull\nendobj\n";
        last = last.left(last.size() - table.size()) + object + table.left(table.indexOf("trailer")) +
               "8388607 1\n" + QByteArray::number(last.size() - table.size()).rightJustified(10, '0') +
               " 00000 n\r\n" +
               table.mid(table.indexOf("trailer"), table.indexOf("startxref") - table.indexOf("trailer")) +
               "startxref\n" + QByteArray::number(last.size() - table.size() + object.size()) + "\n%%EOF\n";
        writeFile(path("last number.pdf"), last);
        QTest::newRow("object numbered at readers' limit")
            << path("last number.pdf") << true << QStringLiteral("has more objects than readers can number");
        QTest::newRow("page tree 30000 levels deep")
            << path("deep.pdf") << true << QStringLiteral("page tree too deep");
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

    // How far content leaves the graphics state open. Only operators count: not what strings,
    // names, comments or inline image data hold.
    void graphicsStateDepthCountsOperatorsOnly_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<int>("lowest");
        QTest::addColumn<int>("ending");
        QTest::addColumn<bool>("inText");
        QTest::newRow("balanced") << QByteArray("q 1 0 0 1 5 5 cm q Q Q") << 0 << 0 << false;
        QTest::newRow("open") << QByteArray("q q 0 0 10 10 re W n") << 0 << 2 << false;
        QTest::newRow("more Q than q") << QByteArray("Q Q q\nQ Q") << -3 << -3 << false;
        QTest::newRow("strings") << QByteArray("BT (q \\) (Q) q) Tj <51> Tj ET q") << 0 << 1 << false;
        QTest::newRow("names, dictionaries")
            << QByteArray("/q gs /Q << /Q 1 >> BDC EMC Q") << -1 << -1 << false;
        QTest::newRow("comment") << QByteArray("q % Q Q Q\nq") << 0 << 2 << false;
        QTest::newRow("words that are not q") << QByteArray("qQ Qq q1") << 0 << 0 << false;
        QTest::newRow("open text object") << QByteArray("q BT /F1 12 Tf (ET) Tj") << 0 << 1 << true;
        QTest::newRow("inline image")
            << QByteArray("q BI /W 2 /H 1 /BPC 8 /CS /G ID QQ\nEI Q Q") << -1 << -1 << false;
        // Content cut short (broken data decodes only so far) leaves things open that would
        // swallow the closing operators.
        QTest::newRow("cut short in a string") << QByteArray("q BT (text (nested Q \\") << 0 << 1 << true;
        QTest::newRow("cut short in brackets") << QByteArray("q [(a) << /K [1 <7") << 0 << 1 << false;
        QTest::newRow("marked content left open")
            << QByteArray("/OC /L1 BDC q /P BMC EMC") << 0 << 1 << false;
        QTest::newRow("cut short in inline image data")
            << QByteArray("q BI /W 9 /H 9 ID Q\nE") << 0 << 1 << false;
        QTest::newRow("inline image without data") << QByteArray("q BI /W 9 /H 9 /BPC") << 0 << 1 << false;
    }

    void graphicsStateDepthCountsOperatorsOnly()
    {
        QFETCH(QByteArray, content);
        QFETCH(int, lowest);
        QFETCH(int, ending);
        QFETCH(bool, inText);
        const auto depth = GraphicsStateDepth::of(content.toStdString());
        QCOMPARE(depth.lowest, lowest);
        QCOMPARE(depth.ending, ending);
        QCOMPARE(depth.inText, inText);
        // The brackets leave the state as it was before them, whatever the content does.
        const auto all = depth.opening() + content.toStdString() + depth.closing();
        const auto bracketed = GraphicsStateDepth::of(all);
        QVERIFY2(bracketed.lowest == 0 && bracketed.ending == 0 && !bracketed.inText &&
                     bracketed.markedContent == 0 && bracketed.unclosed.empty(),
                 all.c_str());
    }

    // Many contents are read over the threads, each into its own place; stored, deflated and
    // joined streams decode, broken data as far as it goes, and content nobody can decode counts
    // as balanced.
    void graphicsStateDepthOfManyContents()
    {
        QPDF pdf;
        pdf.emptyPDF();
        std::vector<ContentBytes> contents;
        for (int i = 0; i < 200; ++i) {
            std::string opened;
            for (int j = 0; j < i % 7; ++j)
                opened += "q ";
            auto plain = pdf.newStream(opened);
            auto packed = pdf.newStream(deflated("q Q Q\n"));
            packed.getDict().replaceKey("/Filter", QPDFObjectHandle::newName("/FlateDecode"));
            contents.push_back(ContentBytes::read({plain, packed}));
        }
        auto unknown = pdf.newStream(std::string("Q Q"));
        unknown.getDict().replaceKey("/Filter", QPDFObjectHandle::newName("/Foo"));
        // Broken data: what inflates before the break counts, as readers show it.
        std::string text = "q q BT (";
        for (int k = 0; k < 3000; ++k)
            text += char('a' + (k * k + 7 * k) % 26);
        const std::string packed = deflated(text + ") Tj ET Q Q\n");
        auto cut = pdf.newStream(packed.substr(0, packed.size() / 2));
        cut.getDict().replaceKey("/Filter", QPDFObjectHandle::newName("/FlateDecode"));
        contents.push_back(ContentBytes::read({cut}));
        contents.push_back(ContentBytes::read({unknown}));
        const auto depths = GraphicsStateDepth::ofEach(contents);
        QCOMPARE(depths.size(), contents.size());
        for (int i = 0; i < 200; ++i)
            QCOMPARE(depths[size_t(i)].ending, i % 7 - 1);
        const GraphicsStateDepth& broken = depths[200];
        QVERIFY(broken.ending == 2 && broken.inText && broken.unclosed == ")");
        QCOMPARE(depths.back().lowest, 0);
        QCOMPARE(depths.back().ending, 0);
    }

private:
    QString outputFolder()
    {
        const QString path = m_dir.filePath(QStringLiteral("out-%1").arg(++m_outputs));
        QDir().mkpath(path);
        return path;
    }

    // One page with what a reader offers beyond drawing: a link, a bookmark, a filled text field,
    // a checked check box, page labels and tagged text, a paragraph that is marked content in the
    // page's stream. configure sets how qpdf writes it.
    static void writeInteractivePdf(const QString& path, const std::function<void(QPDFWriter&)>& configure)
    {
        writeObjects(
            path,
            {"<< /Type /Catalog /Pages 2 0 R /Outlines 9 0 R /StructTreeRoot 11 0 R "
             "/MarkInfo << /Marked true >> /PageLabels << /Nums [0 << /S /r /St 3 >>] >> "
             "/AcroForm << /Fields [5 0 R 6 0 R] /NeedAppearances true /DA (/Helv 12 Tf 0 g) "
             "/DR << /Font << /Helv 8 0 R /ZaDb << /Type /Font /Subtype /Type1 /BaseFont /ZapfDingbats >> >> "
             ">> >> >>",
             "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
             "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Resources << /Font << /F1 8 0 R "
             ">> >> /Contents 4 0 R /Annots [7 0 R 5 0 R 6 0 R] /StructParents 0 "
             "/PieceInfo << /Editor << /Private (kept as written) >> >> >>",
             "<< >> stream\n/P << /MCID 0 >> BDC BT /F1 12 Tf 50 610 Td (Name:) Tj ET EMC\nendstream",
             "<< /Type /Annot /Subtype /Widget /FT /Tx /T (name) /V (Jane Filled-In) /F 4 /P 3 0 R "
             "/Rect [100 600 400 630] /DA (/Helv 12 Tf 0 g) >>",
             "<< /Type /Annot /Subtype /Widget /FT /Btn /T (agree) /V /Yes /AS /Yes /F 4 /P 3 0 R "
             "/Rect [100 550 120 570] /AP << /N << /Yes 13 0 R >> >> >>",
             "<< /Type /Annot /Subtype /Link /Rect [50 500 200 520] /Border [0 0 0] "
             "/A << /S /URI /URI (https://example.org/) >> >>",
             "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding /WinAnsiEncoding >>",
             "<< /Type /Outlines /First 10 0 R /Last 10 0 R /Count 1 >>",
             "<< /Title (Chapter 1) /Parent 9 0 R /Dest [3 0 R /Fit] >>",
             "<< /Type /StructTreeRoot /K 12 0 R /ParentTree << /Nums [0 [12 0 R]] >> >>",
             "<< /Type /StructElem /S /P /P 11 0 R /Pg 3 0 R /K 0 >>",
             "<< /BBox [0 0 20 20] >> stream\n0 0 1 rg 2 2 16 16 re f\nendstream"},
            configure);
    }

    QTemporaryDir m_dir;
    int m_outputs = 0;
};

// Run as "--stamp-measured INPUT OUTPUT", the test stamps INPUT alone in a process of its own
// and prints the outcome and the process's peak resident memory in kilobytes (VmHWM: getrusage's
// ru_maxrss keeps the peak of the test that started the process).
int stampMeasured(char* argv[])
{
    const auto outcome = watermarkPDFFile(QString::fromLocal8Bit(argv[2]), redText(QStringLiteral("MARK")),
                                          QString::fromLocal8Bit(argv[3]));
    const QByteArray status = readFile(QStringLiteral("/proc/self/status"));
    const qsizetype peak = status.indexOf("VmHWM:");
    std::printf("%s\n%s\n", outcome ? "written" : qPrintable(outcome.error()),
                status.mid(peak + 6, status.indexOf("kB", peak) - peak - 6).trimmed().constData());
    return 0;
}

int main(int argc, char* argv[])
{
    QGuiApplication app(argc, argv);
    if (argc == 4 && qstrcmp(argv[1], measuredStamping) == 0)
        return stampMeasured(argv);
    TestWatermarkPDFFile test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_WatermarkPDFFile.moc"
