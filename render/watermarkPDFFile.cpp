#include "render/watermarkPDFFile.h"

#include "render/CheckedSaveFile.h"
#include "render/IoDevicePipeline.h"
#include "render/PageGeometry.h"
#include "render/RegularFile.h"
#include "render/SystemError.h"
#include "render/drawWatermark.h"

#include <QBuffer>
#include <QFile>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>

#include <qpdf/Buffer.hh>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFAcroFormDocumentHelper.hh>
#include <qpdf/QPDFExc.hh>
#include <qpdf/QPDFLogger.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>
#include <qpdf/QPDFSystemError.hh>
#include <qpdf/QPDFWriter.hh>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <exception>
#include <map>
#include <memory>
#include <new>
#include <set>

#include <unistd.h>

namespace {

// A drawing of the design for one visible page size, as a form XObject ready to be placed.
struct Stamp
{
    QPDFObjectHandle form;  // in the input document
    double heightShift = 0; // QPdfWriter pages are whole points tall; see stampFor()
};

// The QPdfWriter documents that stamps were copied from. qpdf copies stream data lazily,
// so they and their bytes must outlive the writing of the output.
struct StampSource
{
    QByteArray bytes;
    std::unique_ptr<QPDF> pdf;
};

std::shared_ptr<QPDFLogger> silentLogger()
{
    auto logger = QPDFLogger::create();
    logger->setInfo(logger->discard());
    logger->setWarn(logger->discard());
    logger->setError(logger->discard());
    return logger;
}

std::unique_ptr<QPDF> newQpdf()
{
    auto pdf = std::make_unique<QPDF>();
    pdf->setLogger(silentLogger());
    pdf->setSuppressWarnings(true);
    return pdf;
}

QRectF toQRect(const QPDFObjectHandle::Rectangle& box)
{
    // PDF rectangles are y-up; QRectF's "top" here is the lower edge.
    return QRectF(QPointF(std::min(box.llx, box.urx), std::min(box.lly, box.ury)),
                  QPointF(std::max(box.llx, box.urx), std::max(box.lly, box.ury)));
}

PageGeometry geometryOf(QPDFPageObjectHelper& page)
{
    QPDFObjectHandle media = page.getMediaBox();
    QPDFObjectHandle crop = page.getCropBox();
    const QRectF mediaBox =
        media.isRectangle() ? toQRect(media.getArrayAsRectangle()) : QRectF(0, 0, 612, 792);
    const QRectF cropBox = crop.isRectangle() ? toQRect(crop.getArrayAsRectangle()) : mediaBox;
    const QRectF visible = cropBox.intersected(mediaBox);
    QPDFObjectHandle rotate = page.getAttribute("/Rotate", false);
    const long long turn = rotate.isInteger() ? rotate.getIntValue() : 0;
    return {visible.isEmpty() ? mediaBox : visible, PageGeometry::normalisedRotation(turn)};
}

// Keys stamps by the displayed size, to a thousandth of a point.
std::pair<long long, long long> sizeKey(const QSizeF& size)
{
    return {std::llround(size.width() * 1000), std::llround(size.height() * 1000)};
}

class PdfStamper
{
public:
    explicit PdfStamper(const WatermarkSnapshot& settings) : m_settings(settings) {}

    FileOutcome run(const QString& inputFile, const QString& outputPath);

private:
    FileOutcome open(const QString& inputFile);
    void flattenAnnotations();
    void stampPage(QPDFPageObjectHelper& page);
    QPDFObjectHandle contentForm(QPDFPageObjectHelper& page, const PageGeometry& geometry);
    const Stamp& stampFor(const QSizeF& size);
    FileOutcome write(const QString& outputPath);

    const WatermarkSnapshot& m_settings;
    std::shared_ptr<Buffer> m_flattened; // backs m_input after flattening
    std::unique_ptr<QPDF> m_input;
    std::unique_ptr<QPDF> m_output;
    std::vector<StampSource> m_stampSources;
    std::map<std::pair<long long, long long>, Stamp> m_stamps;
    std::set<QPDFObjGen> m_usedContentStreams;
    std::map<std::string, QPDFObjectHandle> m_pageContents;
};

// Readers look for the header within the first 1024 bytes; without one the file is something else.
bool startsLikePdf(int descriptor)
{
    char head[1024];
    const ssize_t length = ::pread(descriptor, head, sizeof head, 0);
    return length > 0 && QByteArray::fromRawData(head, length).contains("%PDF-");
}

FileOutcome PdfStamper::open(const QString& inputFile)
{
    auto opened = RegularFile::open(inputFile);
    if (!opened)
        return FileOutcome::failure(opened.error());
    if (!startsLikePdf(opened->descriptor()))
        return FileOutcome::failure(QStringLiteral("not a PDF document"));
    const int descriptor = std::move(opened).value().release();
    std::FILE* stream = ::fdopen(descriptor, "rb");
    if (!stream) {
        const int error = errno;
        ::close(descriptor);
        return FileOutcome::failure(SystemError::reason(error));
    }
    m_input = newQpdf();
    // qpdf reads the document lazily from the stream and closes it with m_input. An empty
    // password: documents that need one to open fail here.
    m_input->processFile(QFile::encodeName(inputFile).constData(), stream, true, "");
    return inputFile;
}

// Annotations that print (filled form fields, stamps, highlights) become part of the page so
// the page keeps what it showed. Generated field appearances only survive a write and reload.
void PdfStamper::flattenAnnotations()
{
    QPDFPageDocumentHelper pages(*m_input);
    const auto all = pages.getAllPages();
    if (std::none_of(all.begin(), all.end(),
                     [](QPDFPageObjectHelper page) { return page.getObjectHandle().hasKey("/Annots"); }))
        return;
    QPDFAcroFormDocumentHelper forms(*m_input);
    forms.generateAppearancesIfNeeded();
    pages.flattenAnnotations(an_print);
    QPDFWriter writer(*m_input);
    writer.setOutputMemory();
    writer.setPreserveEncryption(false);
    writer.write();
    m_flattened = writer.getBufferSharedPointer();
    auto reloaded = newQpdf();
    reloaded->processMemoryFile("flattened", reinterpret_cast<const char*>(m_flattened->getBuffer()),
                                m_flattened->getSize());
    m_input = std::move(reloaded);
}

// Draws the design once for a visible page size with QPdfWriter and takes that page as a form.
const Stamp& PdfStamper::stampFor(const QSizeF& size)
{
    const auto key = sizeKey(size);
    if (const auto found = m_stamps.find(key); found != m_stamps.end())
        return found->second;

    StampSource source;
    {
        QBuffer buffer(&source.bytes);
        buffer.open(QIODevice::WriteOnly);
        QPdfWriter writer(&buffer);
        writer.setResolution(72);
        writer.setCreator(QString());
        writer.setPageMargins(QMarginsF(0, 0, 0, 0));
        // QPdfWriter pages are whole points; round up so the page covers the whole area.
        const QSizeF pageSize(std::max(1.0, std::ceil(size.width())),
                              std::max(1.0, std::ceil(size.height())));
        writer.setPageSize(QPageSize(pageSize, QPageSize::Point, QString(), QPageSize::ExactMatch));
        QPainter painter(&writer);
        // Without this QPdfWriter re-encodes picture watermarks as JPEG.
        painter.setRenderHint(QPainter::LosslessImageRendering);
        drawWatermark(painter, m_settings, QRectF(QPointF(0, 0), size));
        painter.end();
    }
    source.pdf = newQpdf();
    source.pdf->processMemoryFile("watermark", source.bytes.constData(),
                                  static_cast<size_t>(source.bytes.size()));
    QPDFPageObjectHelper page = QPDFPageDocumentHelper(*source.pdf).getAllPages().at(0);
    const QRectF stampBox = toQRect(page.getMediaBox().getArrayAsRectangle());
    QPDFObjectHandle form = page.getFormXObjectForPage(false);
    // QPdfWriter's content is drawn from the top of its whole-point page; the target area is its
    // top size.height() points. The box clips the design to that area, as the page would.
    const double shift = stampBox.height() - size.height();
    form.getDict().replaceKey("/BBox", QPDFObjectHandle::newArray(QPDFObjectHandle::Rectangle(
                                           0, shift, size.width(), shift + size.height())));
    Stamp stamp{m_input->copyForeignObject(form), shift};
    m_stampSources.push_back(std::move(source));
    return m_stamps.emplace(key, stamp).first->second;
}

// The page's own content as a form XObject. Painting it with Do brackets it in its own
// graphics state, so unbalanced q/Q or a left-over transform can never move the watermark.
QPDFObjectHandle PdfStamper::contentForm(QPDFPageObjectHelper& page, const PageGeometry& geometry)
{
    QPDFObjectHandle pageObject = page.getObjectHandle();
    QPDFObjectHandle contents = pageObject.getKey("/Contents");
    QPDFObjectHandle form;
    if (contents.isStream() && m_usedContentStreams.insert(contents.getObjGen()).second) {
        // The page's one content stream becomes the form as it is, without decoding it.
        form = contents;
    } else {
        std::string data;
        for (auto& stream : page.getPageContents()) {
            const auto bytes = stream.getStreamData(qpdf_dl_generalized);
            data.append(reinterpret_cast<const char*>(bytes->getBuffer()), bytes->getSize());
            data += '\n';
        }
        form = QPDFObjectHandle::newStream(m_input.get(), data);
    }
    QPDFObjectHandle dict = form.getDict();
    dict.replaceKey("/Type", QPDFObjectHandle::newName("/XObject"));
    dict.replaceKey("/Subtype", QPDFObjectHandle::newName("/Form"));
    QPDFObjectHandle media = page.getMediaBox();
    dict.replaceKey("/BBox", media.isRectangle()
                                 ? media.shallowCopy()
                                 : QPDFObjectHandle::newFromRectangle(QPDFObjectHandle::Rectangle(
                                       geometry.visibleArea.left(), geometry.visibleArea.top(),
                                       geometry.visibleArea.right(), geometry.visibleArea.bottom())));
    QPDFObjectHandle resources = pageObject.getKey("/Resources");
    dict.replaceKey("/Resources", resources.isDictionary() ? resources : QPDFObjectHandle::newDictionary());
    if (pageObject.hasKey("/Group"))
        dict.replaceKey("/Group", pageObject.getKey("/Group"));
    return form;
}

void PdfStamper::stampPage(QPDFPageObjectHelper& page)
{
    const PageGeometry geometry = geometryOf(page);
    const QSizeF size = geometry.displayedSize();
    const Stamp& stamp = stampFor(size);
    const QTransform place =
        QTransform::fromTranslate(0, -stamp.heightShift) * geometry.displayedToUserSpace();

    QPDFObjectHandle xobjects = QPDFObjectHandle::newDictionary();
    std::string content;
    if (page.getObjectHandle().hasKey("/Contents")) {
        xobjects.replaceKey("/Page", contentForm(page, geometry));
        content = "q /Page Do Q\n";
    }
    xobjects.replaceKey("/Watermark", stamp.form);
    content += QStringLiteral("q %1 %2 %3 %4 %5 %6 cm /Watermark Do Q\n")
                   .arg(place.m11(), 0, 'g', 12)
                   .arg(place.m12(), 0, 'g', 12)
                   .arg(place.m21(), 0, 'g', 12)
                   .arg(place.m22(), 0, 'g', 12)
                   .arg(place.dx(), 0, 'g', 12)
                   .arg(place.dy(), 0, 'g', 12)
                   .toStdString();

    QPDFObjectHandle resources = QPDFObjectHandle::newDictionary();
    resources.replaceKey("/XObject", xobjects);
    QPDFObjectHandle pageObject = page.getObjectHandle();
    pageObject.replaceKey("/Resources", resources);
    // Pages placed alike share one content stream: only their resources differ.
    auto [shared, isNew] = m_pageContents.try_emplace(content);
    if (isNew)
        shared->second = QPDFObjectHandle::newStream(m_input.get(), content);
    pageObject.replaceKey("/Contents", shared->second);
    // The output is pages only: nothing interactive is carried over.
    for (const char* key : {"/Annots", "/AA", "/B", "/StructParents", "/Tabs"})
        pageObject.removeKey(key);
    QPDFPageDocumentHelper(*m_output).addPage(page, false);
}

FileOutcome PdfStamper::write(const QString& outputPath)
{
    CheckedSaveFile file(outputPath);
    if (auto created = file.create(); !created)
        return created;
    IoDevicePipeline pipeline(file);
    QPDFWriter writer(*m_output);
    writer.setOutputPipeline(&pipeline);
    // Deterministic IDs: two outputs written in the same second still get different IDs.
    writer.setDeterministicID(true);
    // Object streams compress the many small dictionaries the new pages and forms add.
    writer.setObjectStreamMode(qpdf_o_generate);
    // Transparency (opacity, soft masks) needs 1.4; never go below what the input declared.
    writer.setMinimumPDFVersion("1.4");
    writer.setMinimumPDFVersion(m_input->getPDFVersion(), m_input->getExtensionLevel());
    writer.write();
    pipeline.finish(); // whatever qpdf did, nothing stays unwritten and unchecked
    if (pipeline.failed())
        return FileOutcome::failure(file.failureReason(QStringLiteral("cannot write the document")));
    return file.commit();
}

FileOutcome PdfStamper::run(const QString& inputFile, const QString& outputPath)
{
    if (auto opened = open(inputFile); !opened)
        return opened;
    flattenAnnotations();
    m_input->pushInheritedAttributesToPage();
    auto pages = QPDFPageDocumentHelper(*m_input).getAllPages();
    if (pages.empty())
        return FileOutcome::failure(QStringLiteral("has no pages"));
    m_output = newQpdf();
    m_output->emptyPDF();
    for (auto& page : pages)
        stampPage(page);
    return write(outputPath);
}

// qpdf's own messages name objects and offsets; the user gets what the code means.
QString reasonFor(const QPDFExc& error)
{
    switch (error.getErrorCode()) {
    case qpdf_e_password:
        return QStringLiteral("needs a password");
    case qpdf_e_damaged_pdf:
    case qpdf_e_pages:
    case qpdf_e_object:
    case qpdf_e_linearization:
        return QStringLiteral("damaged beyond repair");
    case qpdf_e_unsupported:
        return QStringLiteral("uses a PDF feature this program does not support");
    default:
        return QStringLiteral("could not be stamped");
    }
}

} // namespace

FileOutcome watermarkPDFFile(const QString& inputFile, const WatermarkSnapshot& settings,
                             const QString& outputPath)
{
    // qpdf reports every problem with the document by throwing; none goes further than here,
    // and its text, written for PDF experts, goes nowhere.
    try {
        return PdfStamper(settings).run(inputFile, outputPath);
    } catch (const QPDFExc& error) {
        return FileOutcome::failure(reasonFor(error));
    } catch (const QPDFSystemError& error) {
        return FileOutcome::failure(SystemError::reason(error.getErrno()));
    } catch (const std::bad_alloc&) {
        return FileOutcome::failure(QStringLiteral("not enough memory for the document"));
    } catch (const std::exception&) {
        // What qpdf throws outside QPDFExc comes from decoding broken stream data.
        return FileOutcome::failure(QStringLiteral("damaged beyond repair"));
    }
}
