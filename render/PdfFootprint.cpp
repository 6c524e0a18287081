#include "render/PdfFootprint.h"

#include "render/RegularFile.h"

#include <algorithm>
#include <cstdlib>
#include <string>

namespace {

// What qpdf holds for one cross-reference entry, measured on a section of eight million.
constexpr qint64 bytesPerEntry = 400;

// Readers look for startxref within the last kilobyte; a section's dictionary is read this far.
constexpr qint64 tailLength = 1024 + 30;
constexpr qint64 dictionaryLength = 4096;
// Object numbers are below 2^31: no section holds more.
constexpr long long largestCount = 1LL << 31;

const char* afterSpace(const char* text)
{
    while (*text == ' ' || *text == '\t' || *text == '\r' || *text == '\n' || *text == '\f')
        ++text;
    return text;
}

// The entries a cross-reference stream's dictionary declares: the counts of its /Index, or its
// /Size without one. What a stream holds is only known once it is inflated, and qpdf keeps
// what it declares.
qint64 declaredIn(const std::string& dictionary)
{
    const size_t index = dictionary.find("/Index");
    if (index != std::string::npos) {
        const char* item = afterSpace(dictionary.c_str() + index + 6);
        if (*item == '[') {
            qint64 entries = 0;
            ++item;
            for (int position = 0;; ++position) { // first number, count, first number, count...
                item = afterSpace(item);
                char* next = nullptr;
                const long long value = std::strtoll(item, &next, 10);
                if (next == item)
                    break;
                if (position % 2 == 1)
                    entries += std::clamp(value, 0LL, largestCount);
                item = next;
            }
            return std::min<qint64>(entries, largestCount);
        }
    }
    const size_t size = dictionary.find("/Size");
    return size == std::string::npos
               ? 0
               : std::clamp(std::strtoll(afterSpace(dictionary.c_str() + size + 5), nullptr, 10), 0LL,
                            largestCount);
}

} // namespace

qint64 PdfFootprint::declaredEntries(const RegularFile& file)
{
    const qint64 length = std::min(file.size(), tailLength);
    const auto tail = file.readAt(file.size() - length, length);
    if (!tail)
        return 0;
    const size_t keyword = tail->rfind("startxref");
    // A table takes twenty bytes of the file an entry: the file's size covers it.
    if (keyword == std::string::npos || tail->rfind("trailer", keyword) != std::string::npos)
        return 0;
    const auto head = file.readAt(0, std::min<qint64>(1024, file.size()));
    const size_t header = head ? head->find("%PDF-") : std::string::npos;
    const qint64 offset = std::strtoll(tail->c_str() + keyword + 9, nullptr, 10) +
                          (header == std::string::npos ? 0 : static_cast<qint64>(header));
    if (offset < 0 || offset >= file.size())
        return 0;
    const auto section = file.readAt(offset, std::min(dictionaryLength, file.size() - offset));
    if (!section || section->find("xref") < section->find("obj"))
        return 0;
    return declaredIn(section->substr(0, section->find("stream")));
}

qint64 PdfFootprint::of(const RegularFile& file)
{
    return file.size() + declaredEntries(file) * bytesPerEntry;
}
