#include "render/watermarkPDFFile.h"

#include "render/CheckedSaveFile.h"
#include "render/IncrementalUpdate.h"
#include "render/IoDevicePipeline.h"
#include "render/PageTree.h"
#include "render/PdfFootprint.h"
#include "render/PdfPageStamper.h"
#include "render/QuietQpdf.h"
#include "render/RegularFile.h"
#include "render/Signatures.h"
#include "render/SystemError.h"

#include <QFile>

#include <poppler-qt6.h>

#include <qpdf/PDFVersion.hh>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFExc.hh>
#include <qpdf/QPDFSystemError.hh>
#include <qpdf/QPDFWriter.hh>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <exception>
#include <new>
#include <optional>
#include <string>

#include <sys/stat.h>

#include <unistd.h>

namespace {

// Documents up to this size are read into memory whole.
constexpr qint64 inMemoryLimit = 256 << 20;

// Transparency (opacity, soft masks) needs PDF 1.4.
constexpr const char* minimumVersion = "1.4";

bool belowMinimumVersion(const std::string& version)
{
    int major = 0;
    int minor = 0;
    std::sscanf(version.c_str(), "%d.%d", &major, &minor);
    return PDFVersion(major, minor) < PDFVersion(1, 4);
}

// Readers look for the header within the first 1024 bytes; without one the file is something else.
bool startsLikePdf(const RegularFile& file)
{
    const auto head = file.readAt(0, std::min<qint64>(1024, file.size()));
    return head && head->find("%PDF-") != std::string::npos;
}

// Whether poppler, drawing the input page as it stands without paper or annotations, paints every
// pixel of the mark's area opaque. An image whose data is broken shows little or nothing there,
// whatever its dictionary says. Pixels that the area's edges cut are not looked at.
bool paintedOpaque(const Poppler::Document& document, const PdfPageStamper::HiddenMark& hidden)
{
    const std::unique_ptr<Poppler::Page> page = document.page(hidden.page - 1);
    if (!page)
        return false;
    const QSizeF size = page->pageSizeF();
    if (std::abs(size.width() - hidden.pageSize.width()) > 0.5 ||
        std::abs(size.height() - hidden.pageSize.height()) > 0.5)
        return false; // read another way than the mark was laid out on
    // Coarse pixels tell as well as fine ones; poppler scales the page's pictures to them.
    const double scale =
        std::min(0.5, 256 / std::max(hidden.area.width(), hidden.area.height())); // per point
    const QRect pixels(
        QPoint(int(std::ceil(hidden.area.left() * scale)), int(std::ceil(hidden.area.top() * scale))),
        QPoint(int(std::floor(hidden.area.right() * scale)) - 1,
               int(std::floor(hidden.area.bottom() * scale)) - 1));
    if (pixels.isEmpty())
        return false;
    const QImage drawn =
        page->renderToImage(72 * scale, 72 * scale, pixels.x(), pixels.y(), pixels.width(), pixels.height())
            .convertToFormat(QImage::Format_ARGB32);
    if (drawn.size() != pixels.size())
        return false;
    for (int y = 0; y < drawn.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(drawn.constScanLine(y));
        if (!std::all_of(line, line + drawn.width(), [](QRgb pixel) { return qAlpha(pixel) == 255; }))
            return false;
    }
    return true;
}

// How many pages poppler shows of a document: none when it cannot open it.
int pagesShown(const std::unique_ptr<Poppler::Document>& document)
{
    return document && !document->isLocked() ? document->numPages() : 0;
}

// Two roads lead to the output. A document qpdf read as it stands, encrypted or not, is written
// as the input's own bytes plus an incremental update holding the changed pages and the design
// (encrypted as the document is): everything else (forms and their values, links, bookmarks,
// the structure tree, a signature's signed revision) stays byte for byte. A document that
// needed repair (damaged cross-references, wrong stream lengths, a broken page tree) cannot
// take an update whose offsets refer to what is broken, so it is rewritten whole by qpdf's
// writer, which keeps the catalogue, the annotations and the encryption with its permissions;
// unless it is signed, since a rewrite voids every signature.
class PdfStamper
{
public:
    explicit PdfStamper(const WatermarkSnapshot& settings) : m_settings(settings) {}

    FileOutcome run(const QString& inputFile, const QString& outputPath);

private:
    FileOutcome open(const QString& inputFile);
    void raiseVersionInCatalogue(std::vector<QPDFObjGen>& changed);
    bool inputUnchanged() const;
    std::optional<int> pageHidingTheMark(const std::vector<PdfPageStamper::HiddenMark>& hidden) const;
    void rewrite(Pipeline& output);
    static bool showsAllPages(CheckedSaveFile& output, size_t pages);

    const WatermarkSnapshot& m_settings;
    std::unique_ptr<QPDF> m_input;
    std::optional<RegularFile> m_file;
    std::string m_bytes; // the whole input, when qpdf reads it from memory
};

FileOutcome PdfStamper::open(const QString& inputFile)
{
    auto opened = RegularFile::open(inputFile);
    if (!opened)
        return FileOutcome::failure(opened.error());
    if (!startsLikePdf(*opened))
        return FileOutcome::failure(QStringLiteral("not a PDF document"));
    if (PdfFootprint::of(*opened) - opened->size() > PdfFootprint::allowance)
        return FileOutcome::failure(QStringLiteral("too large to stamp within the memory budget"));
    m_file.emplace(std::move(opened).value());
    m_input = newQuietQpdf();
    const QByteArray name = QFile::encodeName(inputFile);
    // qpdf reads objects by seeking all over the file; from memory that costs no system calls,
    // which is a third of the reading time of a long document. Large files are read from the
    // disk as needed instead. An empty password: documents that need one fail here.
    if (m_file->size() <= inMemoryLimit) {
        auto read = m_file->readAt(0, m_file->size());
        if (!read)
            return FileOutcome::failure(read.error());
        m_bytes = std::move(read).value();
        m_input->processMemoryFile(name.constData(), m_bytes.data(), m_bytes.size(), "");
        return inputFile;
    }
    // The stream has a descriptor of its own (sharing the file position, which pread ignores)
    // and is closed with m_input.
    const int descriptor = ::dup(m_file->descriptor());
    std::FILE* stream = descriptor < 0 ? nullptr : ::fdopen(descriptor, "rb");
    if (!stream) {
        const int error = errno;
        if (descriptor >= 0)
            ::close(descriptor);
        return FileOutcome::failure(SystemError::reason(error));
    }
    m_input->processFile(name.constData(), stream, true, "");
    return inputFile;
}

// The update is appended to the file's bytes as they are now: they must still be the ones read.
bool PdfStamper::inputUnchanged() const
{
    struct stat status = {};
    return ::fstat(m_file->descriptor(), &status) == 0 && status.st_size == m_file->size() &&
           static_cast<qint64>(status.st_mtim.tv_sec) * 1000000000 + status.st_mtim.tv_nsec ==
               m_file->modified();
}

// The first page on which the mark would lie hidden under the content, as the stamper found
// it and poppler draws the input: both must agree. A document qpdf had to repair may be read
// another way by other readers, so its marks are never judged hidden.
std::optional<int> PdfStamper::pageHidingTheMark(const std::vector<PdfPageStamper::HiddenMark>& hidden) const
{
    if (hidden.empty() || m_input->anyWarnings())
        return std::nullopt;
    QFile stored;
    std::unique_ptr<Poppler::Document> document;
    if (!m_bytes.empty()) {
        document = Poppler::Document::loadFromData(
            QByteArray::fromRawData(m_bytes.data(), static_cast<qsizetype>(m_bytes.size())));
    } else if (stored.open(m_file->descriptor(), QIODevice::ReadOnly, QFileDevice::DontCloseHandle)) {
        document = Poppler::Document::load(&stored); // every read seeks; qpdf's reads seek too
    }
    if (!document || document->isLocked())
        return std::nullopt;
    document->setRenderHint(Poppler::Document::IgnorePaperColor);
    document->setRenderHint(Poppler::Document::HideAnnotations);
    for (const auto& mark : hidden) {
        if (paintedOpaque(*document, mark))
            return mark.page;
    }
    return std::nullopt;
}

// A reader takes the catalogue's /Version over the header's, which the update cannot change.
void PdfStamper::raiseVersionInCatalogue(std::vector<QPDFObjGen>& changed)
{
    QPDFObjectHandle root = m_input->getRoot();
    QPDFObjectHandle version = root.getKey("/Version");
    if (!belowMinimumVersion(m_input->getPDFVersion()) ||
        (version.isName() && !belowMinimumVersion(version.getName().substr(1))))
        return;
    root.replaceKey("/Version", QPDFObjectHandle::newName(std::string("/") + minimumVersion));
    // A catalogue written directly in the trailer is written with the update's trailer.
    if (root.isIndirect())
        changed.push_back(root.getObjGen());
}

void PdfStamper::rewrite(Pipeline& output)
{
    QPDFWriter writer(*m_input);
    writer.setOutputPipeline(&output);
    // Streams are copied as they are: no time spent decoding and compressing them again, and
    // content that cannot be decoded still arrives for readers that can show some of it.
    writer.setDecodeLevel(qpdf_dl_none);
    writer.setCompressStreams(false);
    // Deterministic IDs: two outputs written in the same second still get different IDs. An
    // encrypted document keeps its own, which its encryption key depends on.
    if (!m_input->isEncrypted())
        writer.setDeterministicID(true);
    writer.setMinimumPDFVersion(minimumVersion);
    writer.write();
}

// A rewrite holds what qpdf made of a document that needed repair, which another reader may take
// differently: poppler has to show every page that was stamped. (Not as many as it shows of the
// input: of a damaged tree it also shows what is no page, the catalogue say, which the repair
// leaves out.)
bool PdfStamper::showsAllPages(CheckedSaveFile& output, size_t pages)
{
    if (!output.seek(0))
        return false;
    return pagesShown(Poppler::Document::loadFromData(output.readAll())) >= static_cast<int>(pages);
}

FileOutcome PdfStamper::run(const QString& inputFile, const QString& outputPath)
{
    if (auto opened = open(inputFile); !opened)
        return opened;
    const Signatures signatures = Signatures::of(*m_input);
    if (signatures.certifiedAgainstChanges)
        return FileOutcome::failure(
            QStringLiteral("certified against changes: stamping would void its certification"));
    // qpdf's own walk of the pages recurses once per level and follows every path: the tree is
    // walked here first, refused when too deep and mended when it repeats a node.
    PageTree tree(*m_input);
    if (tree.depth() > PageTree::depthLimit)
        return FileOutcome::failure(QStringLiteral("page tree too deep"));
    std::vector<QPDFObjGen> mended;
    if (tree.needsRepair())
        mended = tree.repair();
    PdfPageStamper stamper(*m_input, m_settings);
    if (!stamper.readPages())
        return FileOutcome::failure(QStringLiteral("has no pages"));
    const auto chosen = m_settings.pages.stampedPages(static_cast<int>(stamper.pageCount()));
    if (!chosen)
        return FileOutcome::failure(chosen.error());
    // Decided before any content is decoded: broken content is no reason to rewrite the document.
    // A rewrite voids every signature, so a signed document is always updated, whatever qpdf
    // had to repair to read it.
    const bool repaired = m_input->anyWarnings();
    const bool appendUpdate = signatures.isSigned || !repaired;
    stamper.stampPages(*chosen);
    // A mark under the content that cannot show would leave the file as it was, reported marked.
    // Pages of a mended tree may be numbered another way by other readers: none is judged.
    if (const std::optional<int> page =
            mended.empty() ? pageHidingTheMark(stamper.hiddenMarks()) : std::nullopt)
        return FileOutcome::failure(
            QStringLiteral("the mark would lie hidden behind the opaque content of page %1").arg(*page));
    if (appendUpdate && !inputUnchanged())
        return FileOutcome::failure(QStringLiteral("changed while it was being stamped"));

    CheckedSaveFile file(outputPath);
    if (auto created = file.create(); !created)
        return created;
    IoDevicePipeline pipeline(file);
    if (appendUpdate) {
        std::vector<QPDFObjGen> changed = stamper.changedObjects();
        changed.insert(changed.end(), mended.begin(), mended.end());
        raiseVersionInCatalogue(changed);
        IncrementalUpdate(*m_input, *m_file, repaired).write(changed, pipeline);
    } else {
        rewrite(pipeline);
    }
    pipeline.finish(); // whatever happened, nothing stays unwritten and unchecked
    if (pipeline.failed())
        return FileOutcome::failure(file.failureReason(QStringLiteral("cannot write the document")));
    if (!appendUpdate && !showsAllPages(file, stamper.pageCount()))
        return FileOutcome::failure(QStringLiteral("its repaired copy loses pages that readers show"));
    FileOutcome committed = file.commit();
    if (committed && signatures.isSigned)
        return {committed.value(), QStringLiteral("its signatures still verify as the earlier revision")};
    return committed;
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
    } catch (const IncrementalUpdate::Refused& refused) {
        return FileOutcome::failure(QString::fromUtf8(refused.what()));
    } catch (const QPDFSystemError& error) {
        return FileOutcome::failure(SystemError::reason(error.getErrno()));
    } catch (const std::bad_alloc&) {
        return FileOutcome::failure(QStringLiteral("not enough memory for the document"));
    } catch (const std::exception&) {
        // What qpdf throws outside QPDFExc comes from decoding broken stream data.
        return FileOutcome::failure(QStringLiteral("damaged beyond repair"));
    }
}
