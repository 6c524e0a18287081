#pragma once

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFObjGen.hh>
#include <qpdf/QPDFObjectHandle.hh>

#include <QByteArray>

#include <map>
#include <set>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

class Pipeline;
class RegularFile;

// Writes a PDF as its file's own bytes followed by one incremental update: the changed objects,
// every new object they reach, a cross-reference section and a trailer whose /Prev points at the
// file's last one. A document of PDF 1.5 or later (header or catalogue) gets its objects other
// than streams packed into compressed object streams and a compressed cross-reference stream;
// an older one gets a section of the kind its last one is (a table or a stream). Objects keep
// their numbers; new ones are numbered from the file's /Size on.
//
// For a document qpdf had to repair, the update's cross-reference section lists every object
// where qpdf found it, so that no reader depends on the file's broken sections. In an encrypted
// document the update's strings and streams are encrypted with the document's own key and
// method, so that encryption, method and permissions stay exactly as they were.
class IncrementalUpdate
{
public:
    // An update that readers would not read as meant; what() says why, in words for the user.
    struct Refused : std::runtime_error
    {
        using std::runtime_error::runtime_error;
    };

    // Readers keep object numbers below 2^23.
    static constexpr int largestObjectNumber = 8388607;

    // pdf was read from file, which stays open; repaired when qpdf had to repair it. Throws
    // Refused for an encryption method qpdf does not know.
    IncrementalUpdate(QPDF& pdf, const RegularFile& file, bool repaired = false);

    // Writes the file and the update into output; throws what qpdf throws, Refused when the update
    // would need an object number readers do not read or an object without a number, and
    // std::runtime_error when the file cannot be read again.
    void write(const std::vector<QPDFObjGen>& changed, Pipeline& output);

private:
    void copyFile(Pipeline& output);
    void findLastCrossReference();
    void writeObject(QPDFObjectHandle object, int number, int generation);
    void beginObject(int number, int generation);
    void writeBody(QPDFObjectHandle object, std::string& out);
    void writeObjectStreams();
    void writeValue(QPDFObjectHandle value, std::string& out);
    void writeEntry(const std::string& key, QPDFObjectHandle value, std::string& out);
    void writeStream(QPDFObjectHandle stream);
    std::string encrypted(const std::string& data, QPDF::encryption_method_e method) const;
    std::string stringToken(QPDFObjectHandle string) const;
    std::string reference(QPDFObjectHandle object);
    void listUnwrittenObjects();
    std::vector<std::pair<int, int>> numberRuns() const;
    void writeCrossReferenceTable();
    void writeCrossReferenceStream();
    std::string trailerEntries();

    QPDF& m_pdf;
    const RegularFile& m_file;
    long long m_fileSize;
    long long m_headerOffset = 0; // offsets in the file count from its %PDF- header
    long long m_lastCrossReference = 0;
    bool m_crossReferenceStream = false;
    bool m_objectStreams = false;                      // objects other than streams go into object streams
    std::vector<std::pair<int, std::string>> m_packed; // their numbers and text, in order
    std::set<QPDFObjGen> m_original;
    int m_nextNumber = 0;
    std::map<QPDFObjGen, int> m_newNumbers;
    std::vector<QPDFObjectHandle> m_pending;
    // One line of a cross-reference section: 0 for the head of the free list; 1, an offset and a
    // generation; 2, an object stream and an index in it.
    struct Entry
    {
        int type = 0;
        long long field = 0;
        int index = 0;
    };
    std::string previous() const;

    // The document's encryption; no key when it has none.
    struct Encryption
    {
        std::string key;
        int version = 0;
        int revision = 0;
        QPDF::encryption_method_e streams = QPDF::e_none;
        QPDF::encryption_method_e strings = QPDF::e_none;
    };
    Encryption m_encryption;
    QPDFObjGen m_writing; // the object being written; none while the trailer is

    bool m_repaired;
    std::map<int, Entry> m_entries; // by object number
    std::string m_section;          // the update, written after the file
};
