#pragma once

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFObjGen.hh>
#include <qpdf/QPDFObjectHandle.hh>

#include <QByteArray>

#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

class Pipeline;
class RegularFile;

// Writes a PDF as its file's own bytes followed by one incremental update: the changed objects,
// every new object they reach, a cross-reference section of the kind the file's last one is (a
// table or a stream) and a trailer whose /Prev points at that one. Objects keep their numbers;
// new ones are numbered from the file's /Size on.
//
// Sound only for a document qpdf read without repairing it (the file's cross-references and
// offsets are then right) and that is not encrypted (appended objects would have to be).
class IncrementalUpdate
{
public:
    // pdf was read from file, which stays open.
    IncrementalUpdate(QPDF& pdf, const RegularFile& file);

    // Writes the file and the update into output; throws what qpdf throws, and std::runtime_error
    // when the file cannot be read again or has changed since it was read.
    void write(const std::vector<QPDFObjGen>& changed, Pipeline& output);

private:
    void copyFile(Pipeline& output);
    void findLastCrossReference();
    void writeObject(QPDFObjectHandle object, int number, int generation);
    void writeValue(QPDFObjectHandle value, std::string& out);
    void writeEntry(const std::string& key, QPDFObjectHandle value, std::string& out);
    void writeStream(QPDFObjectHandle stream);
    std::string reference(QPDFObjectHandle object);
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
    std::set<QPDFObjGen> m_original;
    int m_nextNumber = 0;
    std::map<QPDFObjGen, int> m_newNumbers;
    std::vector<QPDFObjectHandle> m_pending;
    std::map<int, std::pair<long long, int>> m_offsets; // number -> offset, generation
    std::string m_section;                              // the update, written after the file
};
