#include "render/PdfPageStamper.h"

#include "model/SpareThreads.h"
#include "model/TextFields.h"
#include "render/ContentBytes.h"
#include "render/OpaqueResources.h"
#include "render/PageTree.h"
#include "render/QuietQpdf.h"
#include "render/drawWatermark.h"
#include "render/plainDecimal.h"

#include <QBuffer>
#include <QElapsedTimer>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>

#include <qpdf/Buffer.hh>
#include <qpdf/Pl_Buffer.hh>
#include <qpdf/Pl_Flate.hh>
#include <qpdf/QPDFExc.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>
#include <qpdf/QPDFPageObjectHelper.hh>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <exception>
#include <functional>
#include <set>
#include <span>

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

std::string matrix(const QTransform& place)
{
    std::string text;
    for (double value : {place.m11(), place.m12(), place.m21(), place.m22(), place.dx(), place.dy()})
        text += plainDecimal(value) + ' ';
    return text;
}

// The stamp placed by each matrix, under the blend when there is one. One copy without a blend
// is written as it always was.
std::string placement(const std::vector<QTransform>& places, const std::string& name,
                      const std::string& blend)
{
    if (places.size() == 1 && blend.empty())
        return "q " + matrix(places.front()) + "cm " + name + " Do Q\n";
    std::string text = blend.empty() ? "q\n" : "q " + blend + " gs\n";
    for (const QTransform& place : places)
        text += "q " + matrix(place) + "cm " + name + " Do Q\n";
    return text + "Q\n";
}

// Placement streams at least this long are compressed.
constexpr size_t compressedStreamSize = 1024;

// The scale that keeps the drawing's numbers within PDF's limit of 32,767.
double drawingScale(const QRectF& extent)
{
    return std::min(1.0, 32767.0 / std::max({extent.width(), extent.height(), 1.0}));
}

// A picture drawn more than this many times the page's longer side is drawn into the stamp only
// as far as it shows: readers scale a picture to its whole drawn size before cutting it.
constexpr double croppedPictureRatio = 2;

// The drawn page as a form XObject of its own document: its content stream, as QPdfWriter
// compressed it, made the form, with the page's resources, one object for all pages whose
// resources read alike. The drawing's document is thrown away after, so its page may change.
QPDFObjectHandle formOf(QPDF& source, QPDFPageObjectHelper& page,
                        std::map<std::string, QPDFObjectHandle>& sharedResources)
{
    QPDFObjectHandle form = page.getObjectHandle().getKey("/Contents");
    if (!form.isStream())
        return page.getFormXObjectForPage(false);
    QPDFObjectHandle dictionary = form.getDict();
    dictionary.replaceKey("/Type", QPDFObjectHandle::newName("/XObject"));
    dictionary.replaceKey("/Subtype", QPDFObjectHandle::newName("/Form"));
    if (QPDFObjectHandle group = page.getObjectHandle().getKey("/Group"); group.isDictionary())
        dictionary.replaceKey("/Group", group);
    QPDFObjectHandle resources = page.getAttribute("/Resources", false);
    if (resources.isDictionary()) {
        auto [shared, isNew] = sharedResources.try_emplace(resources.unparseResolved(), resources);
        if (isNew && !resources.isIndirect())
            shared->second = source.makeIndirectObject(resources);
        dictionary.replaceKey("/Resources", shared->second);
    }
    return form;
}

// From the reader's y-down space over the visible area to the page's default user space.
QTransform targetToUserOf(const PageGeometry& geometry)
{
    return QTransform(1, 0, 0, -1, 0, geometry.displayedSize().height()) * geometry.displayedToUserSpace();
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
    // thread at a time. A text that shows the page count waits for the pages.
    const std::optional<QSizeF> firstSize =
        TextFields::variesPerPage(m_settings.text) ? std::nullopt : firstPageSize();
    if (!firstSize) {
        readAllPages();
        prepareMarks();
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
    prepareMarks();
    const StampKey firstKey = keyFor(0, m_marks[0]->placementsOn(*firstSize), *firstSize);
    QByteArray drawing = drawnStamps({firstKey});
    reader.join();
    if (failure)
        std::rethrow_exception(failure);
    adoptStamps({firstKey}, std::move(drawing));
    return !m_pages.empty();
}

// One mark for the document, or, for a text that reads differently per page, one per distinct
// text with each page's number and the page count filled in. Only the first one prints its
// timing lines.
void PdfPageStamper::prepareMarks()
{
    if (!TextFields::variesPerPage(m_settings.text)) {
        m_marks.push_back(std::make_unique<PreparedMark>(TextFields::onPage(m_settings, 1, 1)));
        return;
    }
    std::map<QString, size_t> marks;
    const int count = int(m_pages.size());
    for (int i = 0; i < count; ++i) {
        const WatermarkSnapshot shown = TextFields::onPage(m_settings, i + 1, count);
        const auto [known, isNew] = marks.try_emplace(shown.text, m_marks.size());
        if (isNew)
            m_marks.push_back(std::make_unique<PreparedMark>(shown, m_marks.empty()));
        m_pages[size_t(i)].mark = known->second;
    }
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

void PdfPageStamper::stampPages(const std::vector<int>& chosen)
{
    // Only the chosen pages' content is read: a document stamped on its first page alone is not
    // decoded whole.
    std::vector<size_t> needed;                                       // distinct contents, in order
    std::vector<size_t> depthOf(m_distinctContents.size(), SIZE_MAX); // into needed
    for (const int number : chosen) {
        Page& page = m_pages.at(size_t(number - 1));
        page.chosen = true;
        if (depthOf[page.contentIndex] == SIZE_MAX) {
            depthOf[page.contentIndex] = needed.size();
            needed.push_back(page.contentIndex);
        }
    }
    // Contents are read here, where qpdf's document lives, a portion at a time so that a document
    // with a great deal of content never holds all of it at once; decoding and reading them runs
    // over the cores.
    const std::function<void()> drawStamps = [this] {
        std::vector<StampKey> missing;
        std::set<StampKey> seen;
        for (const auto& page : m_pages) {
            if (!page.chosen)
                continue;
            const PageMarks& marks = marksOn(page.mark, page.geometry.displayedSize());
            if (!marks.copies.empty() && !m_stamps.contains(marks.key) && seen.insert(marks.key).second)
                missing.push_back(marks.key);
        }
        if (!missing.empty())
            adoptStamps(missing, drawnStamps(missing));
    };
    // Under the content, the same reading learns whether the content hides the mark.
    const bool under = m_settings.layer == WatermarkSnapshot::Layer::under;
    std::vector<std::optional<QRectF>> markAreas; // by page, laid out once for both uses
    for (size_t i = 0; under && i < m_pages.size(); ++i)
        markAreas.push_back(m_pages[i].chosen ? markArea(m_pages[i]) : std::nullopt);
    std::vector<OpaqueCover> covers =
        under ? coversOf(needed, depthOf, markAreas) : std::vector<OpaqueCover>();
    std::vector<GraphicsStateDepth> depths;
    for (size_t first = 0; first < needed.size();) {
        std::vector<ContentBytes> portion;
        size_t bytes = 0;
        while (first + portion.size() < needed.size() && bytes < portionSize) {
            const size_t next = first + portion.size();
            portion.push_back(
                ContentBytes::read(m_distinctContents[needed[next]], under ? &covers[next] : nullptr));
            bytes += portion.back().size();
        }
        // The design is drawn while the first portion is read.
        const auto portionDepths = GraphicsStateDepth::ofEach(
            portion, first == 0 ? drawStamps : std::function<void()>(),
            under ? std::span(covers).subspan(first, portion.size()) : std::span<OpaqueCover>());
        depths.insert(depths.end(), portionDepths.begin(), portionDepths.end());
        first += portion.size();
    }
    if (under)
        noteHiddenMarks(covers, depthOf, markAreas);
    for (const auto& page : m_pages) {
        if (page.chosen)
            stampPage(page, depths[depthOf[page.contentIndex]]);
    }
}

void PdfPageStamper::stampPage(const Page& page, const GraphicsStateDepth& depth)
{
    settleGeometry(page.object, page.geometry);
    const QSizeF size = page.geometry.displayedSize();
    const PageMarks& marks = marksOn(page.mark, size);
    if (marks.copies.empty())
        return; // nothing of the design shows on this page
    const Stamp& stamp = stampFor(marks.key);
    const QTransform targetToUser = targetToUserOf(page.geometry);
    const PlacedResources& resources = resourcesWith(page, stamp.form);
    const PlacementKey placementKey{page.mark,          size.width(),       size.height(),
                                    targetToUser.m11(), targetToUser.m12(), targetToUser.m21(),
                                    targetToUser.m22(), targetToUser.dx(),  targetToUser.dy(),
                                    resources.form,     resources.blend};
    if (!m_lastPlacement || m_lastPlacement->first != placementKey) {
        std::vector<QTransform> places;
        for (const MarkPlacement& copy : marks.copies)
            places.push_back(stamp.formToOwn * copy.toTarget() * targetToUser);
        m_lastPlacement.emplace(placementKey, placement(places, resources.form, resources.blend));
    }
    const std::string& mark = m_lastPlacement->second;
    const bool under = m_settings.layer == WatermarkSnapshot::Layer::under;

    // Under the content the mark comes first, in the page's initial state; over it, last, after
    // the page's own state is undone.
    QPDFObjectHandle contents = QPDFObjectHandle::newArray();
    std::string opening = under ? mark : std::string();
    std::string closing = under ? std::string() : mark;
    if (!page.contents.empty()) {
        contents.appendItem(sharedStream(opening + depth.opening()));
        for (const auto& stream : page.contents)
            contents.appendItem(stream);
        closing = depth.closing() + closing;
    } else {
        closing = opening + closing;
    }
    // Pages placed alike share their streams: only their resources differ.
    contents.appendItem(sharedStream(closing));
    QPDFObjectHandle object = page.object;
    object.replaceKey("/Contents", contents);
    object.replaceKey("/Resources", resources.resources);
}

// Where the page's copies of the mark may put ink, in the reader's y-down space over the visible
// area: nothing shows beyond it.
std::optional<QRectF> PdfPageStamper::markArea(const Page& page)
{
    const QSizeF size = page.geometry.displayedSize();
    const PageMarks& marks = marksOn(page.mark, size);
    if (marks.copies.empty())
        return std::nullopt;
    const auto [mark, outlines, x, y, width, height] = marks.key;
    const QRectF ink = m_marks[mark]->ownExtent(QRect(x, y, width, height));
    QRectF area;
    for (const MarkPlacement& copy : marks.copies)
        area |= copy.toTarget().mapRect(ink);
    area &= QRectF(QPointF(0, 0), size);
    return area.isEmpty() ? std::nullopt : std::optional(area);
}

// What each content needed must cover for the marks of the pages showing it: the area of all
// their marks, in the state names all their resources call plain.
std::vector<OpaqueCover> PdfPageStamper::coversOf(const std::vector<size_t>& needed,
                                                  const std::vector<size_t>& neededIndex,
                                                  const std::vector<std::optional<QRectF>>& markAreas)
{
    std::vector<std::optional<QRectF>> areas(needed.size());
    std::vector<std::optional<std::set<std::string>>> plainStates(needed.size());
    for (size_t i = 0; i < m_pages.size(); ++i) {
        const Page& page = m_pages[i];
        const std::optional<QRectF>& area = markAreas[i];
        if (!area)
            continue;
        const size_t index = neededIndex[page.contentIndex];
        const QRectF inUserSpace = targetToUserOf(page.geometry).mapRect(*area);
        areas[index] = areas[index] ? areas[index]->united(inUserSpace) : inUserSpace;
        std::set<std::string> plain = OpaqueResources::plainStatesOf(page.resources);
        if (plainStates[index])
            std::erase_if(plain,
                          [&](const std::string& name) { return !plainStates[index]->contains(name); });
        plainStates[index] = std::move(plain);
    }
    std::vector<OpaqueCover> covers;
    covers.reserve(needed.size());
    for (size_t i = 0; i < needed.size(); ++i)
        covers.emplace_back(areas[i].value_or(QRectF()), plainStates[i].value_or(std::set<std::string>()));
    return covers;
}

// Only the first few pages found are noted, and only so many images decoded to learn whether they
// are whole: a refusal needs one page, and each costs a decoding of its image.
void PdfPageStamper::noteHiddenMarks(const std::vector<OpaqueCover>& covers,
                                     const std::vector<size_t>& neededIndex,
                                     const std::vector<std::optional<QRectF>>& markAreas)
{
    int imagesLeft = 8;
    for (size_t i = 0; i < m_pages.size() && m_hiddenMarks.size() < mostHiddenMarks; ++i) {
        const Page& page = m_pages[i];
        const std::optional<QRectF>& area = markAreas[i];
        if (!area)
            continue;
        const OpaqueCover& cover = covers[neededIndex[page.contentIndex]];
        const auto& names = cover.coveringXObjects();
        if (cover.coveredOutright() || std::any_of(names.begin(), names.end(), [&](const std::string& name) {
                return imagesLeft-- > 0 && OpaqueResources::isOpaqueImage(page.resources, name);
            })) {
            const double unit = page.geometry.userUnit;
            m_hiddenMarks.push_back({int(i + 1), page.geometry.displayedSize() / unit,
                                     QRectF(area->topLeft() / unit, area->size() / unit)});
        }
    }
}

const PdfPageStamper::PageMarks& PdfPageStamper::marksOn(size_t mark, const QSizeF& size)
{
    const std::tuple<size_t, double, double> sides{mark, size.width(), size.height()};
    if (!m_lastMarks || m_lastMarks->first != sides) {
        PageMarks marks{m_marks[mark]->placementsOn(size), {}};
        if (!marks.copies.empty())
            marks.key = keyFor(mark, marks.copies, size);
        m_lastMarks.emplace(sides, std::move(marks));
    }
    return m_lastMarks->second;
}

QPDFObjectHandle PdfPageStamper::sharedStream(const std::string& content)
{
    auto [shared, isNew] = m_sharedStreams.try_emplace(content);
    if (!isNew)
        return shared->second;
    // A grid of tiles places the drawing many times over in numbers that compress well.
    if (content.size() < compressedStreamSize) {
        shared->second = m_pdf.newStream(content);
        return shared->second;
    }
    Pl_Buffer buffer("placements");
    Pl_Flate deflate("placements", &buffer, Pl_Flate::a_deflate);
    deflate.write(reinterpret_cast<const unsigned char*>(content.data()), content.size());
    deflate.finish();
    shared->second = m_pdf.newStream();
    shared->second.replaceStreamData(buffer.getBufferSharedPointer(),
                                     QPDFObjectHandle::newName("/FlateDecode"), QPDFObjectHandle::newNull());
    return shared->second;
}

// The page's resources with the stamp added under a name of its own. The document's own
// resource dictionaries stay as they are. Pages whose resources are one object or read alike
// share one new dictionary, so a page adds little more than its own dictionary to the output.
const PdfPageStamper::PlacedResources& PdfPageStamper::resourcesWith(const Page& page,
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
    // Adds value to the resources' category under a name the page does not use yet.
    const auto add = [&resources](const std::string& category, const std::string& stem,
                                  QPDFObjectHandle value) {
        QPDFObjectHandle entries = resources.getKey(category);
        entries = entries.isDictionary() ? entries.shallowCopy() : QPDFObjectHandle::newDictionary();
        std::string name = stem;
        for (int i = 1; entries.hasKey(name); ++i)
            name = stem + std::to_string(i);
        entries.replaceKey(name, value);
        resources.replaceKey(category, entries);
        return name;
    };
    PlacedResources placed;
    placed.form = add("/XObject", "/Watermark", form);
    if (m_settings.layer == WatermarkSnapshot::Layer::multiply)
        placed.blend = add("/ExtGState", "/WatermarkBlend",
                           QPDFObjectHandle::parse("<< /Type /ExtGState /BM /Multiply >>"));
    placed.resources = m_pdf.makeIndirectObject(resources);
    shared->second = placed;
    return shared->second;
}

// What a drawing needs for the given copies on a page of the given size: outlines for text too
// large to stay text, and of a picture far larger than the page only the pixels that show.
PdfPageStamper::StampKey PdfPageStamper::keyFor(size_t mark, const std::vector<MarkPlacement>& copies,
                                                const QSizeF& size) const
{
    const PreparedMark& drawn = *m_marks[mark];
    bool outlines = false;
    QRect pixels = drawn.allPixels();
    for (const MarkPlacement& copy : copies)
        outlines = outlines || drawn.needsOutlines(copy);
    if (drawn.isPicture() && !copies.empty()) {
        const double drawnLonger = std::max(pixels.width(), pixels.height()) * copies.front().scale;
        if (drawnLonger > croppedPictureRatio * std::max(size.width(), size.height())) {
            QRect seen;
            for (const MarkPlacement& copy : copies)
                seen |= drawn.visiblePixels(copy, size);
            pixels = seen;
        }
    }
    return {mark, outlines, pixels.x(), pixels.y(), pixels.width(), pixels.height()};
}

// The drawings for the keys, each drawn with QPdfWriter in its mark's own space on a page of its
// own just large enough for its ink: a PDF of one page per key, whose pages share their fonts.
QByteArray PdfPageStamper::drawnStamps(const std::vector<StampKey>& keys) const
{
    QElapsedTimer timer;
    timer.start();
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QPdfWriter writer(&buffer);
    writer.setResolution(72);
    writer.setCreator(QString());
    writer.setPageMargins(QMarginsF(0, 0, 0, 0));
    QPainter painter;
    for (const StampKey& key : keys) {
        const auto [mark, outlines, x, y, width, height] = key;
        const QRect pixels(x, y, width, height);
        const QRectF extent = m_marks[mark]->ownExtent(pixels);
        const double fit = drawingScale(extent);
        // QPdfWriter pages are whole points; round up so the page covers the whole area.
        const QSizeF pageSize(std::max(1.0, std::ceil(extent.width() * fit)),
                              std::max(1.0, std::ceil(extent.height() * fit)));
        writer.setPageSize(QPageSize(pageSize, QPageSize::Point, QString(), QPageSize::ExactMatch));
        if (!painter.isActive()) {
            painter.begin(&writer);
            // Without this QPdfWriter re-encodes picture watermarks as JPEG.
            painter.setRenderHint(QPainter::LosslessImageRendering);
        } else {
            writer.newPage();
        }
        painter.save();
        painter.scale(fit, fit);
        painter.translate(-extent.topLeft());
        if (!extent.isEmpty())
            m_marks[mark]->drawOwn(painter, outlines, pixels);
        painter.restore();
    }
    painter.end();
    m_marks.front()->printDrawingTime(timer);
    return bytes;
}

// The drawing for a key as a form of the document, drawn the first time it is asked for.
const PdfPageStamper::Stamp& PdfPageStamper::stampFor(const StampKey& key)
{
    if (const auto found = m_stamps.find(key); found != m_stamps.end())
        return found->second;
    adoptStamps({key}, drawnStamps({key}));
    return m_stamps.at(key);
}

// Takes each drawn page as a form XObject of the document, for the key in its place.
void PdfPageStamper::adoptStamps(const std::vector<StampKey>& keys, QByteArray drawing)
{
    StampSource source{std::move(drawing), newQuietQpdf()};
    source.pdf->processMemoryFile("watermark", source.bytes.constData(),
                                  static_cast<size_t>(source.bytes.size()));
    std::vector<QPDFPageObjectHelper> pages = QPDFPageDocumentHelper(*source.pdf).getAllPages();
    std::map<std::string, QPDFObjectHandle> sharedResources;
    for (size_t i = 0; i < keys.size(); ++i) {
        const auto [mark, outlines, x, y, width, height] = keys[i];
        const QRectF extent = m_marks[mark]->ownExtent(QRect(x, y, width, height));
        QPDFPageObjectHelper& page = pages.at(i);
        const double pageHeight = toQRect(page.getMediaBox().getArrayAsRectangle()).height();
        QPDFObjectHandle form = formOf(*source.pdf, page, sharedResources);
        // QPdfWriter draws from the top of its whole-point page, y down; the box clips the form
        // to the mark's ink.
        const double fit = drawingScale(extent);
        form.getDict().replaceKey(
            "/BBox", QPDFObjectHandle::newArray(QPDFObjectHandle::Rectangle(
                         0, pageHeight - extent.height() * fit, extent.width() * fit, pageHeight)));
        const QTransform formToOwn = QTransform(1, 0, 0, -1, 0, pageHeight) *
                                     QTransform::fromScale(1 / fit, 1 / fit) *
                                     QTransform::fromTranslate(extent.left(), extent.top());
        m_stamps.emplace(keys[i], Stamp{m_pdf.copyForeignObject(form), formToOwn});
    }
    m_stampSources.push_back(std::move(source));
}

std::vector<QPDFObjGen> PdfPageStamper::changedObjects() const
{
    std::vector<QPDFObjGen> changed;
    for (const auto& page : m_pages) {
        if (page.chosen)
            changed.push_back(page.object.getObjGen());
    }
    return changed;
}
