#pragma once

#include "model/WatermarkSnapshot.h"
#include "render/GraphicsStateDepth.h"
#include "render/PageGeometry.h"

#include <QByteArray>

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFObjectHandle.hh>

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

// Lays a design over every page of a document qpdf holds, changing nothing but the pages' own
// dictionaries. A page's content streams stay as they are, between a new stream that saves the
// graphics state and a new one that restores it and paints the design, so marked content stays
// where the structure tree finds it and no left-over state moves the design. The design is
// drawn once per displayed page size, as a form XObject; annotations stay as they were, above it.
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
    // design for the first page's size. False without pages.
    bool readPages();

    // Reads how each page's content nests its graphics state (over all cores), draws the design
    // and changes the pages. Content that cannot be decoded is bracketed as if it were balanced.
    void stampPages();

    // How many pages readPages() found.
    size_t pageCount() const { return m_pages.size(); }

    // The document's own objects that stampPages() changed: the pages.
    std::vector<QPDFObjGen> changedObjects() const;

private:
    // One page as read, before it changes.
    struct Page
    {
        QPDFObjectHandle object;
        PageGeometry geometry;
        QPDFObjectHandle resources;             // its own or inherited; may be null
        std::vector<QPDFObjectHandle> contents; // the content streams, in order
        size_t contentIndex = 0;                // into the distinct contents
    };
    // A drawing of the design for one displayed page size, as a form XObject of this document.
    struct Stamp
    {
        QPDFObjectHandle form;
        double heightShift = 0; // QPdfWriter pages are whole points tall; see stampFor()
    };
    // A QPdfWriter document a stamp was copied from: qpdf copies stream data lazily, so it has
    // to live until the document has been written.
    struct StampSource
    {
        QByteArray bytes;
        std::unique_ptr<QPDF> pdf;
    };

    void stampPage(const Page& page, const GraphicsStateDepth& depth);
    void readAllPages();
    std::optional<QSizeF> firstPageSize() const;
    QByteArray drawnStamp(const QSizeF& size) const;
    const Stamp& stampFor(const QSizeF& size);
    const Stamp& adoptStamp(const QSizeF& size, QByteArray drawing);
    std::pair<QPDFObjectHandle, std::string> resourcesWith(const Page& page, const QPDFObjectHandle& form);
    QPDFObjectHandle sharedStream(const std::string& content);

    QPDF& m_pdf;
    const WatermarkSnapshot& m_settings;
    std::vector<Page> m_pages;
    std::vector<std::vector<QPDFObjectHandle>> m_distinctContents; // pages may share content
    std::vector<StampSource> m_stampSources;
    std::map<std::pair<long long, long long>, Stamp> m_stamps;
    std::map<std::pair<std::string, QPDFObjGen>, std::pair<QPDFObjectHandle, std::string>> m_sharedResources;
    std::map<std::string, QPDFObjectHandle> m_sharedStreams;
};
