#include "render/PdfPageStamper.h"

#include "model/SpareThreads.h"
#include "render/ContentBytes.h"
#include "render/PageTree.h"
#include "render/QuietQpdf.h"
#include "render/drawWatermark.h"
#include "render/plainDecimal.h"

#include <QBuffer>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>

#include <qpdf/Buffer.hh>
#include <qpdf/QPDFExc.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>
#include <qpdf/QPDFPageObjectHelper.hh>

#include <algorithm>
#include <cmath>
#include <exception>

namespace {

constexpr size_t portionSize = 16 << 20;

QRectF toQRect(const QPDFObjectHandle::Rectangle& box)
{
    // PDF rectangles are y-up; QRectF's "top" here is the lower edge.
    return QRectF(QPointF(std::min(box.llx, box.urx), std::min(box.lly, box.ury)),
                  QPointF(std::max(box.llx, box.urx), std::max(box.lly, box.ury)));
}

// Reads the boxes and rotation, inherited ones too, without changing the page tree.
PageGeometry geometryOf(QPDFPageObjectHelper& page)
{
    QPDFObjectHandle media = page.getMediaBox(false);
    QPDFObjectHandle crop = page.getCropBox(false);
    const QRectF mediaBox =
        media.isRectangle() ? toQRect(media.getArrayAsRectangle()) : QRectF(0, 0, 612, 792);
    const QRectF cropBox = crop.isRectangle() ? toQRect(crop.getArrayAsRectangle()) : mediaBox;
    const QRectF visible = cropBox.intersected(mediaBox);
    QPDFObjectHandle rotate = page.getAttribute("/Rotate", false);
    QPDFObjectHandle unit = page.getObjectHandle().getKey("/UserUnit");
    return {visible.isEmpty() ? mediaBox : visible,
            PageGeometry::normalisedRotation(rotate.isNumber() ? rotate.getNumericValue() : 0),
            PageGeometry::normalisedUserUnit(unit.isNumber() ? unit.getNumericValue() : 1)};
}

// Readers disagree on a rotation that is no whole multiple of 90 (90.0 turns the page in MuPDF
// and Ghostscript but not in poppler, 45 in MuPDF alone) and on a crop box reaching beyond the
// media box (poppler keeps a side longer than the media box's whole). The page is given the
// rotation and crop box its mark was laid out on, so that every reader shows page and mark alike.
void settleGeometry(QPDFObjectHandle page, const PageGeometry& geometry)
{
    QPDFPageObjectHelper helper(page);
    QPDFObjectHandle rotate = helper.getAttribute("/Rotate", false);
    if (!rotate.isNull() && !(rotate.isInteger() && rotate.getIntValue() % 90 == 0))
        page.replaceKey("/Rotate", QPDFObjectHandle::newInteger(geometry.rotation));
    QPDFObjectHandle crop = helper.getCropBox(false);
    if (crop.isRectangle() && toQRect(crop.getArrayAsRectangle()) != geometry.visibleArea) {
        const QRectF& area = geometry.visibleArea;
        page.replaceKey("/CropBox", QPDFObjectHandle::newArray(QPDFObjectHandle::Rectangle(
                                        area.left(), area.top(), area.right(), area.bottom())));
    }
}

// The page's content streams as a reader takes them: one stream or an array of them.
std::vector<QPDFObjectHandle> contentStreamsOf(QPDFObjectHandle page)
{
    QPDFObjectHandle contents = page.getKey("/Contents");
    if (contents.isStream())
        return {contents};
    std::vector<QPDFObjectHandle> streams;
    if (contents.isArray()) {
        for (auto& item : contents.getArrayAsVector()) {
            if (item.isStream())
                streams.push_back(item);
        }
    }
    return streams;
}

std::vector<QPDFObjGen> identities(const std::vector<QPDFObjectHandle>& objects)
{
    std::vector<QPDFObjGen> result;
    for (const auto& object : objects)
        result.push_back(object.getObjGen());
    return result;
}

// Keys stamps by the displayed size, to a thousandth of a point.
std::pair<long long, long long> sizeKey(const QSizeF& size)
{
    return {std::llround(size.width() * 1000), std::llround(size.height() * 1000)};
}

std::string placement(const QTransform& place, const std::string& name)
{
    std::string text = "q";
    for (double value : {place.m11(), place.m12(), place.m21(), place.m22(), place.dx(), place.dy()})
        text += ' ' + plainDecimal(value);
    return text + " cm " + name + " Do Q\n";
}

} // namespace

PdfPageStamper::PdfPageStamper(QPDF& pdf, const WatermarkSnapshot& settings)
    : m_pdf(pdf), m_settings(settings)
{}

PdfPageStamper::~PdfPageStamper() = default;

bool PdfPageStamper::readPages()
{
    // Drawing the design takes a while the first time (fonts are looked up and loaded), so it is
    // drawn for the first page's size on this thread, which keeps the drawing's per-thread
    // caches, while another thread walks the pages; qpdf's document is only ever used by one
    // thread at a time.
    const std::optional<QSizeF> firstSize = firstPageSize();
    if (!firstSize) {
        readAllPages();
        return !m_pages.empty();
    }
    std::exception_ptr failure;
    SpareThreads reader(1, [this, &failure] {
        try {
            readAllPages();
        } catch (...) {
            failure = std::current_exception();
        }
    });
    if (reader.started() == 0)
        readAllPages(); // no idle thread to be had
    QByteArray drawing = drawnStamp(*firstSize);
    reader.join();
    if (failure)
        std::rethrow_exception(failure);
    adoptStamp(*firstSize, std::move(drawing));
    return !m_pages.empty();
}

// The displayed size of the first page, found by following the first kids down the page tree;
// nothing when that does not lead to a page.
std::optional<QSizeF> PdfPageStamper::firstPageSize() const
{
    try {
        QPDFObjectHandle node = m_pdf.getRoot().getKey("/Pages");
        for (int depth = 0; depth < 64 && node.isDictionary(); ++depth) {
            QPDFObjectHandle kids = node.getKey("/Kids");
            if (!kids.isArray()) {
                QPDFPageObjectHelper page(node);
                return geometryOf(page).displayedSize();
            }
            node = kids.getArrayNItems() > 0 ? kids.getArrayItem(0) : QPDFObjectHandle::newNull();
        }
    } catch (const std::exception&) {
        // The page walk that follows meets the same damage and reports it.
    }
    return std::nullopt;
}

void PdfPageStamper::readAllPages()
{
    std::vector<QPDFPageObjectHelper> pages;
    try {
        pages = QPDFPageDocumentHelper(m_pdf).getAllPages();
    } catch (const QPDFExc& error) {
        if (error.getErrorCode() != qpdf_e_pages)
            throw;
        PageTree(m_pdf).repair();
        pages = QPDFPageDocumentHelper(m_pdf).getAllPages();
    }
    std::map<std::vector<QPDFObjGen>, size_t> contentIndices;
    for (auto& helper : pages) {
        // qpdf lists what a damaged tree names among its kids, numbers included; only
        // dictionaries are pages a reader can show.
        if (!helper.getObjectHandle().isDictionary())
            continue;
        Page page{helper.getObjectHandle(), geometryOf(helper), helper.getAttribute("/Resources", false),
                  contentStreamsOf(helper.getObjectHandle())};
        auto [known, isNew] =
            contentIndices.try_emplace(identities(page.contents), m_distinctContents.size());
        if (isNew)
            m_distinctContents.push_back(page.contents);
        page.contentIndex = known->second;
        m_pages.push_back(std::move(page));
    }
}

void PdfPageStamper::stampPages()
{
    // Contents are read here, where qpdf's document lives, a portion at a time so that a document
    // with a great deal of content never holds all of it at once; decoding and reading them runs
    // over the cores.
    const std::function<void()> drawStamps = [this] {
        for (const auto& page : m_pages)
            stampFor(page.geometry.displayedSize());
    };
    std::vector<GraphicsStateDepth> depths;
    for (size_t first = 0; first < m_distinctContents.size();) {
        std::vector<ContentBytes> portion;
        size_t bytes = 0;
        while (first + portion.size() < m_distinctContents.size() && bytes < portionSize) {
            portion.push_back(ContentBytes::read(m_distinctContents[first + portion.size()]));
            bytes += portion.back().size();
        }
        // The design is drawn while the first portion is read.
        const auto portionDepths =
            GraphicsStateDepth::ofEach(portion, first == 0 ? drawStamps : std::function<void()>());
        depths.insert(depths.end(), portionDepths.begin(), portionDepths.end());
        first += portion.size();
    }
    for (const auto& page : m_pages)
        stampPage(page, depths[page.contentIndex]);
}

void PdfPageStamper::stampPage(const Page& page, const GraphicsStateDepth& depth)
{
    const Stamp& stamp = stampFor(page.geometry.displayedSize());
    const QTransform place =
        QTransform::fromTranslate(0, -stamp.heightShift) * page.geometry.displayedToUserSpace();
    auto [resources, name] = resourcesWith(page, stamp.form);

    QPDFObjectHandle contents = QPDFObjectHandle::newArray();
    std::string closing = placement(place, name);
    if (!page.contents.empty()) {
        contents.appendItem(sharedStream(depth.opening()));
        for (const auto& stream : page.contents)
            contents.appendItem(stream);
        closing = depth.closing() + closing;
    }
    // Pages placed alike share their streams: only their resources differ.
    contents.appendItem(sharedStream(closing));
    QPDFObjectHandle object = page.object;
    settleGeometry(object, page.geometry);
    object.replaceKey("/Contents", contents);
    object.replaceKey("/Resources", resources);
}

QPDFObjectHandle PdfPageStamper::sharedStream(const std::string& content)
{
    auto [shared, isNew] = m_sharedStreams.try_emplace(content);
    if (isNew)
        shared->second = m_pdf.newStream(content);
    return shared->second;
}

// The page's resources with the stamp added under a name of its own. The document's own
// resource dictionaries stay as they are. Pages whose resources are one object or read alike
// share one new dictionary, so a page adds little more than its own dictionary to the output.
std::pair<QPDFObjectHandle, std::string> PdfPageStamper::resourcesWith(const Page& page,
                                                                       const QPDFObjectHandle& form)
{
    QPDFObjectHandle original = page.resources;
    const std::string identity =
        original.isIndirect() ? original.getObjGen().unparse(' ') : original.unparse();
    auto [shared, isNew] = m_sharedResources.try_emplace(std::make_pair(identity, form.getObjGen()));
    if (!isNew)
        return shared->second;
    QPDFObjectHandle resources =
        original.isDictionary() ? original.shallowCopy() : QPDFObjectHandle::newDictionary();
    QPDFObjectHandle xobjects = resources.getKey("/XObject");
    xobjects = xobjects.isDictionary() ? xobjects.shallowCopy() : QPDFObjectHandle::newDictionary();
    std::string name = "/Watermark";
    for (int i = 1; xobjects.hasKey(name); ++i)
        name = "/Watermark" + std::to_string(i);
    xobjects.replaceKey(name, form);
    resources.replaceKey("/XObject", xobjects);
    shared->second = {m_pdf.makeIndirectObject(resources), name};
    return shared->second;
}

// The design drawn with QPdfWriter on a page of the given size: a PDF of one page.
QByteArray PdfPageStamper::drawnStamp(const QSizeF& size) const
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QPdfWriter writer(&buffer);
    writer.setResolution(72);
    writer.setCreator(QString());
    writer.setPageMargins(QMarginsF(0, 0, 0, 0));
    // QPdfWriter pages are whole points; round up so the page covers the whole area.
    const QSizeF pageSize(std::max(1.0, std::ceil(size.width())), std::max(1.0, std::ceil(size.height())));
    writer.setPageSize(QPageSize(pageSize, QPageSize::Point, QString(), QPageSize::ExactMatch));
    QPainter painter(&writer);
    // Without this QPdfWriter re-encodes picture watermarks as JPEG.
    painter.setRenderHint(QPainter::LosslessImageRendering);
    drawWatermark(painter, m_settings, QRectF(QPointF(0, 0), size));
    painter.end();
    return bytes;
}

// The design for a displayed page size as a form of the document, drawn the first time it is asked for.
const PdfPageStamper::Stamp& PdfPageStamper::stampFor(const QSizeF& size)
{
    if (const auto found = m_stamps.find(sizeKey(size)); found != m_stamps.end())
        return found->second;
    return adoptStamp(size, drawnStamp(size));
}

// Takes the drawn page as a form XObject of the document.
const PdfPageStamper::Stamp& PdfPageStamper::adoptStamp(const QSizeF& size, QByteArray drawing)
{
    StampSource source{std::move(drawing), newQuietQpdf()};
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
    Stamp stamp{m_pdf.copyForeignObject(form), shift};
    m_stampSources.push_back(std::move(source));
    return m_stamps.emplace(sizeKey(size), stamp).first->second;
}

std::vector<QPDFObjGen> PdfPageStamper::changedObjects() const
{
    std::vector<QPDFObjGen> changed;
    for (const auto& page : m_pages)
        changed.push_back(page.object.getObjGen());
    return changed;
}
