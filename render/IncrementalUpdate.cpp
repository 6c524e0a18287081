#include "render/IncrementalUpdate.h"

#include "render/RegularFile.h"

#include <QCryptographicHash>

#include <qpdf/Buffer.hh>
#include <qpdf/PDFVersion.hh>
#include <qpdf/Pipeline.hh>
#include <qpdf/Pl_Flate.hh>
#include <qpdf/Pl_String.hh>
#include <qpdf/QPDFCryptoProvider.hh>
#include <qpdf/QPDFXRefEntry.hh>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <stdexcept>

namespace {

constexpr long long copyBlock = 1 << 20;
// Readers look for the header within the first kilobyte and for startxref within the last.
constexpr long long searchedLength = 1024;

// Trailer entries that describe one cross-reference section, written anew for the update's own.
const std::set<std::string> sectionKeys{"/Size",    "/Prev",         "/XRefStm", "/Type",        "/W",
                                        "/Index",   "/Length",       "/Filter",  "/DecodeParms", "/F",
                                        "/FFilter", "/FDecodeParms", "/DL",      "/ID"};

// Objects packed into one object stream at most: enough for deflate to find what pages repeat,
// few enough that a reader looking up one object inflates little else.
constexpr size_t objectsPerStream = 200;

std::string readAt(const RegularFile& file, long long offset, long long length)
{
    auto bytes = file.readAt(offset, length);
    if (!bytes)
        throw std::runtime_error(bytes.error().toStdString());
    return std::move(bytes).value();
}

std::string fixedWidth(long long value, int width)
{
    char text[32];
    std::snprintf(text, sizeof text, "%0*lld", width, value);
    return text;
}

std::string bigEndian(long long value, int bytes)
{
    std::string text(static_cast<size_t>(bytes), '\0');
    for (int i = bytes - 1; i >= 0; --i, value >>= 8)
        text[static_cast<size_t>(i)] = static_cast<char>(value & 0xff);
    return text;
}

std::string deflated(const std::string& data)
{
    std::string packed;
    Pl_String sink("packed", nullptr, packed);
    Pl_Flate deflate("deflate", &sink, Pl_Flate::a_deflate);
    deflate.write(reinterpret_cast<const unsigned char*>(data.data()), data.size());
    deflate.finish();
    return packed;
}

// Rows of cross-reference entries as the PNG "Up" predictor has them: each byte less the one
// above it, so that entries alike but for a growing offset or index become mostly zeros.
std::string predictedRows(const std::string& rows, size_t width)
{
    std::string out;
    out.reserve(rows.size() + rows.size() / width);
    for (size_t row = 0; row < rows.size(); row += width) {
        out += '\x02';
        for (size_t i = row; i < row + width; ++i)
            out += char(rows[i] - (row == 0 ? 0 : rows[i - width]));
    }
    return out;
}

// PDF 1.5 brought object streams and cross-reference streams.
bool allowsCompressedSections(const std::string& version)
{
    int major = 0;
    int minor = 0;
    std::sscanf(version.c_str(), "%d.%d", &major, &minor);
    return !(PDFVersion(major, minor) < PDFVersion(1, 5));
}

bool isRegular(char c)
{
    return !std::strchr(" \t\r\n\f()<>[]{}/%", c) && c != '\0';
}

// Appends a token, separated from the one before only where the two would otherwise run
// together: pages are the bulk of an update, and most of their bytes would be spaces.
void appendToken(const std::string& token, std::string& out)
{
    if (!out.empty() && !token.empty() && isRegular(out.back()) && isRegular(token.front()))
        out += ' ';
    out += token;
}

std::string hexString(const QByteArray& bytes)
{
    std::string text(1, '<');
    text += bytes.toHex().toStdString();
    text += '>';
    return text;
}

unsigned char* bytesOf(std::string& text)
{
    return reinterpret_cast<unsigned char*>(text.data());
}

std::string rc4(std::string data, std::string key)
{
    std::string out(data.size(), '\0');
    const auto crypto = QPDFCryptoProvider::getImpl();
    crypto->RC4_init(bytesOf(key), static_cast<int>(key.size()));
    crypto->RC4_process(bytesOf(data), data.size(), bytesOf(out));
    crypto->RC4_finalize();
    return out;
}

// AES in CBC mode with a random initialisation vector written before the data, which is padded
// as PKCS #5 pads it.
std::string aes(const std::string& data, std::string key)
{
    constexpr size_t block = QPDFCryptoImpl::rijndael_buf_size;
    std::string padded = data + std::string(block - data.size() % block, char(block - data.size() % block));
    const auto crypto = QPDFCryptoProvider::getImpl();
    unsigned char chain[block];
    crypto->provideRandomData(chain, block);
    std::string out(reinterpret_cast<const char*>(chain), block);
    out.resize(block + padded.size());
    crypto->rijndael_init(true, bytesOf(key), key.size(), true, chain);
    for (size_t i = 0; i < padded.size(); i += block)
        crypto->rijndael_process(bytesOf(padded) + i, bytesOf(out) + block + i);
    crypto->rijndael_finalize();
    return out;
}

bool isCryptFiltered(QPDFObjectHandle dictionary)
{
    QPDFObjectHandle filter = dictionary.getKey("/Filter");
    QPDFObjectHandle filters = filter.isArray() ? filter : QPDFObjectHandle::newArray({filter});
    for (auto& item : filters.getArrayAsVector()) {
        if (item.isNameAndEquals("/Crypt"))
            return true;
    }
    return false;
}

} // namespace

IncrementalUpdate::IncrementalUpdate(QPDF& pdf, const RegularFile& file, bool repaired)
    : m_pdf(pdf), m_file(file), m_fileSize(file.size()), m_repaired(repaired)
{
    int permissions = 0;
    QPDF::encryption_method_e files = QPDF::e_none;
    if (!m_pdf.isEncrypted(m_encryption.revision, permissions, m_encryption.version, m_encryption.streams,
                           m_encryption.strings, files))
        return;
    // Before crypt filters (version 4) every string and stream is RC4's; qpdf names no method.
    if (m_encryption.version < 4)
        m_encryption.streams = m_encryption.strings = QPDF::e_rc4;
    if (m_encryption.streams == QPDF::e_unknown || m_encryption.strings == QPDF::e_unknown)
        throw Refused("uses a PDF feature this program does not support");
    m_encryption.key = m_pdf.getEncryptionKey();
}

void IncrementalUpdate::write(const std::vector<QPDFObjGen>& changed, Pipeline& output)
{
    findLastCrossReference();
    int largest = 0;
    for (const auto& [object, entry] : m_pdf.getXRefTable()) {
        m_original.insert(object);
        largest = std::max(largest, object.getObj());
    }
    // New objects follow the file's /Size, unless it points past what readers read.
    QPDFObjectHandle size = m_pdf.getTrailer().getKey("/Size");
    const bool sizeReadable = size.isInteger() && size.getIntValue() <= largestObjectNumber;
    m_nextNumber = std::max(largest + 1, sizeReadable ? static_cast<int>(size.getIntValue()) : 0);

    // What qpdf made of a damaged file beyond its own objects (a page it had to copy, say) is
    // reachable only through objects it did not say it changed.
    for (const auto& object : changed) {
        if (!m_original.count(object))
            throw Refused("damaged where an appended update cannot mend it");
    }
    // A document whose version knows object streams gets its objects packed and compressed,
    // and cross-references as a compressed stream; an older one keeps the kind it has.
    QPDFObjectHandle version = m_pdf.getRoot().getKey("/Version");
    m_objectStreams = allowsCompressedSections(m_pdf.getPDFVersion()) ||
                      (version.isName() && allowsCompressedSections(version.getName().substr(1)));
    m_crossReferenceStream = m_crossReferenceStream || m_objectStreams;
    copyFile(output);
    // An object both stamped and mended is written once: an object stream lists a number once.
    std::set<QPDFObjGen> written;
    for (const auto& object : changed) {
        if (written.insert(object).second)
            writeObject(m_pdf.getObjectByObjGen(object), object.getObj(), object.getGen());
    }
    for (size_t i = 0; i < m_pending.size(); ++i)
        writeObject(m_pending[i], m_newNumbers.at(m_pending[i].getObjGen()), 0);
    writeObjectStreams();
    if (m_repaired)
        listUnwrittenObjects();
    // The cross-reference stream takes one number more.
    if (m_nextNumber - (m_crossReferenceStream ? 0 : 1) > largestObjectNumber)
        throw Refused("has more objects than readers can number");
    if (m_crossReferenceStream)
        writeCrossReferenceStream();
    else
        writeCrossReferenceTable();
    output.write(reinterpret_cast<const unsigned char*>(m_section.data()), m_section.size());
}

void IncrementalUpdate::findLastCrossReference()
{
    const std::string head = readAt(m_file, 0, std::min(m_fileSize, searchedLength));
    const size_t header = head.find("%PDF-");
    m_headerOffset = header == std::string::npos ? 0 : static_cast<long long>(header);

    const long long tailLength = std::min(m_fileSize, searchedLength + 30);
    const std::string tail = readAt(m_file, m_fileSize - tailLength, tailLength);
    if (!tail.empty() && tail.back() != '\n' && tail.back() != '\r')
        m_section += '\n';
    // A repaired file's own sections are not used: what they say may be what is broken.
    if (m_repaired)
        return;
    const size_t keyword = tail.rfind("startxref");
    if (keyword == std::string::npos)
        throw std::runtime_error("no startxref");
    m_lastCrossReference = std::stoll(tail.substr(keyword + 9));
    const std::string section = readAt(m_file, m_headerOffset + m_lastCrossReference,
                                       std::min(64LL, m_fileSize - m_headerOffset - m_lastCrossReference));
    const size_t start = section.find_first_not_of(" \t\r\n\f");
    m_crossReferenceStream = start == std::string::npos || section.compare(start, 4, "xref") != 0;
}

// Every object qpdf found and the update does not write, where qpdf found it, and the head of
// the free list. Objects inside object streams can only be listed by a cross-reference stream.
void IncrementalUpdate::listUnwrittenObjects()
{
    m_entries.try_emplace(0, Entry{});
    for (const auto& [object, entry] : m_pdf.getXRefTable()) {
        if (entry.getType() == 0 || object.getObj() <= 0 || m_entries.count(object.getObj()))
            continue;
        m_entries[object.getObj()] = entry.getType() == 1
                                         ? Entry{1, entry.getOffset(), object.getGen()}
                                         : Entry{2, entry.getObjStreamNumber(), entry.getObjStreamIndex()};
        m_crossReferenceStream = m_crossReferenceStream || entry.getType() == 2;
    }
}

void IncrementalUpdate::copyFile(Pipeline& output)
{
    for (long long offset = 0; offset < m_fileSize; offset += copyBlock) {
        const std::string block = readAt(m_file, offset, std::min(copyBlock, m_fileSize - offset));
        output.write(reinterpret_cast<const unsigned char*>(block.data()), block.size());
    }
}

void IncrementalUpdate::writeObject(QPDFObjectHandle object, int number, int generation)
{
    // A direct object has number 0, which no reader looks up: it must be written where it is used.
    if (number <= 0)
        throw Refused("damaged beyond repair");
    // An object stream holds neither streams nor objects of a later generation.
    if (m_objectStreams && generation == 0 && !object.isStream()) {
        std::string text;
        writeBody(object, text);
        m_packed.emplace_back(number, std::move(text));
        return;
    }
    beginObject(number, generation);
    m_writing = QPDFObjGen(number, generation);
    if (object.isStream())
        writeStream(object);
    else
        writeBody(object, m_section);
    m_writing = QPDFObjGen();
    m_section += "\nendobj\n";
}

void IncrementalUpdate::beginObject(int number, int generation)
{
    m_entries[number] = {1, m_fileSize - m_headerOffset + static_cast<long long>(m_section.size()),
                         generation};
    m_section += std::to_string(number) + ' ' + std::to_string(generation) + " obj\n";
}

void IncrementalUpdate::writeBody(QPDFObjectHandle object, std::string& out)
{
    if (object.isArray() || object.isDictionary())
        writeValue(object.shallowCopy(), out);
    else
        out += object.isString() ? stringToken(object) : object.unparseResolved();
}

// The packed objects, in object streams numbered after every other new object. In an encrypted
// document each stream is encrypted as a whole, with its own key; the objects in it are not.
void IncrementalUpdate::writeObjectStreams()
{
    for (size_t first = 0; first < m_packed.size(); first += objectsPerStream) {
        const size_t end = std::min(m_packed.size(), first + objectsPerStream);
        const int streamNumber = m_nextNumber++;
        std::string offsets;
        std::string bodies;
        for (size_t i = first; i < end; ++i) {
            const auto& [number, text] = m_packed[i];
            m_entries[number] = {2, streamNumber, static_cast<int>(i - first)};
            offsets += std::to_string(number) + ' ' + std::to_string(bodies.size()) + ' ';
            bodies += text + '\n';
        }
        beginObject(streamNumber, 0);
        m_writing = QPDFObjGen(streamNumber, 0);
        const std::string data = encrypted(deflated(offsets + bodies), m_encryption.streams);
        m_writing = QPDFObjGen();
        m_section += "<</Type/ObjStm/N " + std::to_string(end - first) + "/First " +
                     std::to_string(offsets.size()) + "/Filter/FlateDecode/Length " +
                     std::to_string(data.size()) + ">>stream\n" + data + "\nendstream\nendobj\n";
    }
    m_packed.clear();
}

// Outside an object of its own (in an object stream, in the trailer) a string is not encrypted.
std::string IncrementalUpdate::stringToken(QPDFObjectHandle string) const
{
    if (m_encryption.key.empty() || m_writing.getObj() == 0)
        return string.unparse();
    return hexString(QByteArray::fromStdString(encrypted(string.getStringValue(), m_encryption.strings)));
}

// Strings and stream data of the object being written, as the document's encryption has them:
// with the object's own key, by the document's method. Nothing else (the trailer, the
// cross-references) is encrypted.
std::string IncrementalUpdate::encrypted(const std::string& data, QPDF::encryption_method_e method) const
{
    if (m_encryption.key.empty() || method == QPDF::e_none || m_writing.getObj() == 0)
        return data;
    const bool withAes = method == QPDF::e_aes || method == QPDF::e_aesv3;
    const std::string key = QPDF::compute_data_key(m_encryption.key, m_writing.getObj(), m_writing.getGen(),
                                                   withAes, m_encryption.version, m_encryption.revision);
    return withAes ? aes(data, key) : rc4(data, key);
}

void IncrementalUpdate::writeValue(QPDFObjectHandle value, std::string& out)
{
    if (value.isIndirect()) {
        appendToken(reference(value), out);
    } else if (value.isArray()) {
        out += '[';
        for (auto& item : value.getArrayAsVector())
            writeValue(item, out);
        out += ']';
    } else if (value.isDictionary()) {
        out += "<<";
        for (auto& [key, item] : value.getDictAsMap())
            writeEntry(key, item, out);
        out += ">>";
    } else if (value.isString()) {
        appendToken(stringToken(value), out);
    } else {
        appendToken(value.unparse(), out);
    }
}

// A key whose value is null is as good as absent, a reference to no object too: written, it
// would be numbered as a new object, which the trailer's entries, written last, never get.
void IncrementalUpdate::writeEntry(const std::string& key, QPDFObjectHandle value, std::string& out)
{
    if (value.isNull())
        return;
    out += QPDFObjectHandle::newName(key).unparse();
    writeValue(value, out);
}

void IncrementalUpdate::writeStream(QPDFObjectHandle stream)
{
    QPDFObjectHandle dictionary = stream.getDict().shallowCopy();
    dictionary.removeKey("/Length");
    const auto buffer = stream.getRawStreamData();
    std::string data(reinterpret_cast<const char*>(buffer->getBuffer()), buffer->getSize());
    // A stream with a crypt filter of its own says how it is encrypted.
    if (!isCryptFiltered(dictionary))
        data = encrypted(data, m_encryption.streams);
    dictionary.replaceKey("/Length", QPDFObjectHandle::newInteger(static_cast<long long>(data.size())));
    writeValue(dictionary, m_section);
    m_section += "\nstream\n" + data + "\nendstream";
}

// The file's own objects keep their numbers; a new object is numbered on first sight and
// written after the objects before it.
std::string IncrementalUpdate::reference(QPDFObjectHandle object)
{
    const QPDFObjGen identity = object.getObjGen();
    if (m_original.count(identity))
        return std::to_string(identity.getObj()) + ' ' + std::to_string(identity.getGen()) + " R";
    auto [known, isNew] = m_newNumbers.try_emplace(identity, m_nextNumber);
    if (isNew) {
        ++m_nextNumber;
        m_pending.push_back(object);
    }
    return std::to_string(known->second) + " 0 R";
}

// The written object numbers as runs of consecutive numbers: (first, count), in order, as both
// kinds of cross-reference section list them.
std::vector<std::pair<int, int>> IncrementalUpdate::numberRuns() const
{
    std::vector<std::pair<int, int>> runs;
    for (const auto& [number, entry] : m_entries) {
        if (!runs.empty() && runs.back().first + runs.back().second == number)
            ++runs.back().second;
        else
            runs.emplace_back(number, 1);
    }
    return runs;
}

void IncrementalUpdate::writeCrossReferenceTable()
{
    const long long start = m_fileSize - m_headerOffset + static_cast<long long>(m_section.size());
    m_section += "xref\n";
    for (const auto& [first, count] : numberRuns()) {
        m_section += std::to_string(first) + ' ' + std::to_string(count) + '\n';
        for (int number = first; number < first + count; ++number) {
            const Entry& entry = m_entries.at(number);
            m_section += entry.type == 0
                             ? std::string("0000000000 65535 f\r\n")
                             : fixedWidth(entry.field, 10) + ' ' + fixedWidth(entry.index, 5) + " n\r\n";
        }
    }
    m_section += "trailer\n<</Size " + std::to_string(m_nextNumber) + previous() + trailerEntries() +
                 ">>\nstartxref\n" + std::to_string(start) + "\n%%EOF\n";
}

void IncrementalUpdate::writeCrossReferenceStream()
{
    const int streamNumber = m_nextNumber++;
    const long long start = m_fileSize - m_headerOffset + static_cast<long long>(m_section.size());
    m_entries[streamNumber] = {1, start, 0};
    const int offsetBytes = start > 0xffffffffLL ? 8 : 4;
    std::string index;
    std::string entries;
    for (const auto& [first, count] : numberRuns()) {
        index += std::to_string(first) + ' ' + std::to_string(count) + ' ';
        for (int number = first; number < first + count; ++number) {
            const Entry& entry = m_entries.at(number);
            entries += char(entry.type) + bigEndian(entry.field, offsetBytes) +
                       bigEndian(entry.type == 0 ? 0xffff : entry.index, 2);
        }
    }
    const std::string columns = std::to_string(3 + offsetBytes);
    const std::string data = deflated(predictedRows(entries, static_cast<size_t>(3 + offsetBytes)));
    m_section += std::to_string(streamNumber) + " 0 obj\n<</Type/XRef/Size " + std::to_string(m_nextNumber) +
                 previous() + "/W[1 " + std::to_string(offsetBytes) + " 2]/Index[" + index +
                 "]/Filter/FlateDecode/DecodeParms<</Predictor 12/Columns " + columns + ">>/Length " +
                 std::to_string(data.size()) + trailerEntries() + ">>stream\n" + data +
                 "\nendstream\nendobj\nstartxref\n" + std::to_string(start) + "\n%%EOF\n";
}

// The section before the update's, unless the update's lists every object.
std::string IncrementalUpdate::previous() const
{
    return m_repaired ? std::string() : " /Prev " + std::to_string(m_lastCrossReference);
}

// What the file's last trailer says about the document (its catalogue, information, anything
// else), and an identifier whose second half tells this version from the one before.
std::string IncrementalUpdate::trailerEntries()
{
    QPDFObjectHandle trailer = m_pdf.getTrailer();
    std::string text;
    for (auto& [key, value] : trailer.getDictAsMap()) {
        if (!sectionKeys.count(key))
            writeEntry(key, value, text);
    }
    const QByteArray changedPart =
        QCryptographicHash::hash(QByteArray::fromStdString(m_section), QCryptographicHash::Md5);
    QPDFObjectHandle id = trailer.getKey("/ID");
    const std::string firstPart = id.isArray() && id.getArrayNItems() == 2 && id.getArrayItem(0).isString()
                                      ? id.getArrayItem(0).unparse()
                                      : hexString(changedPart);
    return text + "/ID[" + firstPart + hexString(changedPart) + ']';
}
