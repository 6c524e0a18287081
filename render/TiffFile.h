#pragma once

#include "model/Result.h"
#include "render/MarkCompositor.h"
#include "render/TiffPage.h"

#include <QString>

class QIODevice;
struct tiff;

// A TIFF file read or written page by page by libtiff through a Qt device (random access).
// libtiff's messages are kept here, never printed. Used on one thread at a time.
class TiffFile
{
public:
    enum class Mode
    {
        read,
        write,
    };

    // Reading starts at the first page. isOpen() says whether the device holds a TIFF file
    // (reading) or the header could be written (writing).
    TiffFile(QIODevice& device, Mode mode);
    ~TiffFile();
    TiffFile(const TiffFile&) = delete;
    TiffFile& operator=(const TiffFile&) = delete;

    bool isOpen() const { return m_tiff != nullptr; }
    // How many pages the file holds (reading).
    int pageCount() const;

    // The current page as 8-bit RGBA, whatever its photometric and bit depth; the reason in
    // words when it cannot be read. Pages larger than Qt's picture allocation limit are refused.
    Result<TiffPage> readPage();
    // Moves on to the next page: false after the last one, the reason when it is unreadable.
    Result<bool> nextPage();
    // How many pages the file holds, as far as their chain can be followed; the current page stays.
    int pageCount();

    // The current page's tags and stored size, without its pixels.
    TiffPage readTags();
    // The bytes stamping the current page holds at most: its largest strip or tile as stored and
    // as samples of two bytes, each once as read and once as written, or its pixels at eight
    // bytes each when it goes as 8-bit RGBA (writePage), whichever is more.
    qint64 stampingFootprint();
    // Appends the current page to output as it is stored (its samples, compression, predictor,
    // strips or tiles, planes, photometric and extra samples) with the mark composited into its
    // samples, and the tags given; a grey page under a coloured mark, or a palette page whose colour
    // map lacks a colour of the mark, becomes RGB. Blocks the mark misses are copied as stored
    // where the codec allows. False, with nothing written, when the page's samples are of a kind
    // this cannot write back (see TiffLayout); the reason in words when writing failed.
    Result<bool> stampPage(TiffFile& output, const TiffPage& tags, const MarkLayer& mark,
                           const MarkCompositor::InkOf& inkOf = {});
    // Whether the last page stampPage wrote changed under the mark (not when it lies behind opaque pixels).
    bool markShown() const { return m_markShown; }

    // Appends the page as 8-bit RGB, or RGBA when it has alpha, Deflate-compressed, with its
    // resolution, colour profile, subfile type and page number. False when it was not written.
    bool writePage(const TiffPage& page);
    // Writes out what libtiff still holds and closes the file. False when that failed.
    bool close();

    // libtiff's own last error, for debugging; not worded for the user.
    QString lastError() const { return m_lastError; }

private:
    tiff* m_tiff = nullptr;
    QString m_lastError;
    bool m_markShown = false;
};
