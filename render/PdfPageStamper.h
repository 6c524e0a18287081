#pragma once

#include "model/WatermarkSnapshot.h"
#include "render/GraphicsStateDepth.h"
#include "render/OpaqueCover.h"
#include "render/PageGeometry.h"
#include "render/PreparedMark.h"

#include <QByteArray>

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFObjectHandle.hh>

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

// Lays a design over chosen pages of a document qpdf holds, changing nothing but the pages' own
// dictionaries. A page's content streams stay as they are, between a new stream that saves the
// graphics state and a new one that restores it and paints the design, so marked content stays
// where the structure tree finds it and no left-over state moves the design. The design is
// drawn once per document in its own space, as a form XObject, and each page places it (once,
// or once per tile) with its own matrix; annotations stay as they were, above it. A text that
// reads differently per page ({page}, {pages}) is drawn once per distinct text instead, all of
// them in one drawing so that they share its font.
//
// readPages() comes first and reads all that is needed of the document's structure, so that the
// caller can tell from qpdf's warnings whether the document needed repair before anything is
// decoded or changed. All qpdf exceptions pass through to the caller.
class PdfPageStamper
{
public:
    PdfPageStamper(QPDF& pdf, const WatermarkSnapshot& settings);
    ~PdfPageStamper();
    PdfPageStamper(const PdfPageStamper&) = delete;
    PdfPageStamper& operator=(const PdfPageStamper&) = delete;

    // Reads every page's boxes, rotation, resources and content streams, and meanwhile draws the
    // design as the first page needs it. False without pages.
    bool readPages();

    // Reads how the content of each page chosen (1-based numbers, each a page readPages() found)
    // nests its graphics state (over all cores), draws the design and changes those pages; the
    // others stay as they are. Content that cannot be decoded is bracketed as if it were balanced.
    void stampPages(const std::vector<int>& chosen);

    // How many pages readPages() found.
    size_t pageCount() const { return m_pages.size(); }

    // The document's own objects that stampPages() changed: the chosen pages.
    std::vector<QPDFObjGen> changedObjects() const;

    // A page whose own content paints something opaque over the whole of a mark laid under it:
    // its number (1-based), its displayed size and the mark's area on it (y down), in the page's
    // units as readers that ignore /UserUnit show them.
    struct HiddenMark
    {
        int page = 0;
        QSizeF pageSize;
        QRectF area;
    };
    // The first chosen pages (at most mostHiddenMarks, in order) where stampPages() found a mark
    // under the content hidden.
    const std::vector<HiddenMark>& hiddenMarks() const { return m_hiddenMarks; }
    static constexpr size_t mostHiddenMarks = 4;

private:
    // One page as read, before it changes.
    struct Page
    {
        QPDFObjectHandle object;
        PageGeometry geometry;
        QPDFObjectHandle resources;             // its own or inherited; may be null
        std::vector<QPDFObjectHandle> contents; // the content streams, in order
        size_t contentIndex = 0;                // into the distinct contents
        size_t mark = 0;                        // into m_marks
        bool chosen = false;                    // stamped
    };
    // What a drawing of the design holds: which of the marks, its text as glyph outlines or as
    // text, and of a picture, which pixels (all of them unless it is far larger than a page).
    using StampKey = std::tuple<size_t, bool, int, int, int, int>;
    // A drawing of the design as a form XObject of this document.
    struct Stamp
    {
        QPDFObjectHandle form;
        QTransform formToOwn; // from the form's space to the mark's own
    };
    // A QPdfWriter document a stamp was copied from: qpdf copies stream data lazily, so it has
    // to live until the document has been written.
    struct StampSource
    {
        QByteArray bytes;
        std::unique_ptr<QPDF> pdf;
    };

    // The copies of the design a page of some size shows, and the drawing they place.
    struct PageMarks
    {
        std::vector<MarkPlacement> copies;
        StampKey key;
    };
    // A page's placement of its copies: the page's space and the names it calls them by.
    using PlacementKey = std::tuple<size_t, double, double, double, double, double, double, double, double,
                                    std::string, std::string>;

    void stampPage(const Page& page, const GraphicsStateDepth& depth);
    std::optional<QRectF> markArea(const Page& page);
    // markAreas: each page's markArea(), none for pages not chosen.
    std::vector<OpaqueCover> coversOf(const std::vector<size_t>& needed,
                                      const std::vector<size_t>& neededIndex,
                                      const std::vector<std::optional<QRectF>>& markAreas);
    void noteHiddenMarks(const std::vector<OpaqueCover>& covers, const std::vector<size_t>& neededIndex,
                         const std::vector<std::optional<QRectF>>& markAreas);
    const PageMarks& marksOn(size_t mark, const QSizeF& size);
    void readAllPages();
    void prepareMarks();
    std::optional<QSizeF> firstPageSize() const;
    StampKey keyFor(size_t mark, const std::vector<MarkPlacement>& copies, const QSizeF& size) const;
    QByteArray drawnStamps(const std::vector<StampKey>& keys) const;
    const Stamp& stampFor(const StampKey& key);
    void adoptStamps(const std::vector<StampKey>& keys, QByteArray drawing);
    // A page's resources with the stamp added, and the names the page's content calls it and
    // its blend by (no blend name unless the design multiplies).
    struct PlacedResources
    {
        QPDFObjectHandle resources;
        std::string form;
        std::string blend;
    };
    const PlacedResources& resourcesWith(const Page& page, const QPDFObjectHandle& form);
    QPDFObjectHandle sharedStream(const std::string& content);

    QPDF& m_pdf;
    const WatermarkSnapshot& m_settings;
    // The design as one mark, or one per distinct text a page shows.
    std::vector<std::unique_ptr<PreparedMark>> m_marks;
    std::vector<Page> m_pages;
    std::vector<std::vector<QPDFObjectHandle>> m_distinctContents; // pages may share content
    std::vector<StampSource> m_stampSources;
    std::map<StampKey, Stamp> m_stamps;
    std::map<std::pair<std::string, QPDFObjGen>, PlacedResources> m_sharedResources;
    std::map<std::string, QPDFObjectHandle> m_sharedStreams;
    // A run of pages of one size and placement (most pages of most documents) lays the grid out
    // once; only the last is kept, so memory stays the same whatever the pages.
    std::optional<std::pair<std::tuple<size_t, double, double>, PageMarks>> m_lastMarks;
    std::optional<std::pair<PlacementKey, std::string>> m_lastPlacement;
    std::vector<HiddenMark> m_hiddenMarks;
};
