#pragma once

#include <QByteArray>

#include <cstdio>
#include <functional>
#include <memory>
#include <vector>

#include <jpeglib.h>

// Carries a JPEG's blocks from a decoder to an encoder in place of libjpeg's whole-picture
// arrays, which would hold every block of the picture at once. A file of one Huffman-coded scan
// is read as the encoder asks for its rows of blocks, and rows behind the encoder are freed, so
// a few rows are held at a time; any other file is read whole first, as libjpeg would. Each
// row is handed to the row hook once, complete, just before the encoder first takes it.
class JpegRowStream
{
public:
    using RowHook = std::function<void(jvirt_barray_ptr array, int row, JBLOCKROW blocks)>;

    // Feeds in from input and takes over both codecs' block arrays, which must be created and
    // stay put, as must input. Holding more than byteLimit of blocks at once is an error.
    JpegRowStream(jpeg_decompress_struct& in, jpeg_compress_struct& out, const QByteArray& input,
                  size_t byteLimit);
    ~JpegRowStream();
    JpegRowStream(const JpegRowStream&) = delete;
    JpegRowStream& operator=(const JpegRowStream&) = delete;

    // After jpeg_read_header: the arrays for jpeg_write_coefficients, one per component.
    // libjpeg's errors go through the codecs' error manager, as all of these.
    jvirt_barray_ptr* readCoefficients();
    // An array of blank blocks the size of the decoder's component, filled as that one is.
    jvirt_barray_ptr blankArray(int component);
    void setRowHook(RowHook hook);
    // Whether readCoefficients read every block (more than one scan, or arithmetic coding).
    bool readsWhole() const { return !m_streaming; }
    // The array's row as held now, before the hook has seen it; null when it is not held.
    const JBLOCK* heldRow(jvirt_barray_ptr array, int row) const;

private:
    struct Array;
    struct Source;

    static JpegRowStream& of(j_common_ptr info);
    static jvirt_barray_ptr request(j_common_ptr info, int pool, boolean preZero, JDIMENSION blocksPerRow,
                                    JDIMENSION rows, JDIMENSION maxAccess);
    static JBLOCKARRAY access(j_common_ptr info, jvirt_barray_ptr handle, JDIMENSION start, JDIMENSION count,
                              boolean writable);
    jvirt_barray_ptr add(int component, JDIMENSION blocksPerRow, JDIMENSION rows);
    void readUpTo(const Array& array, JDIMENSION end);
    void hold(j_common_ptr info, Array& array, JDIMENSION start, JDIMENSION end);

    jpeg_decompress_struct& m_in;
    std::unique_ptr<Source> m_source;
    std::vector<std::unique_ptr<Array>> m_arrays;
    std::vector<jvirt_barray_ptr> m_decoded; // the decoder's, in component order
    RowHook m_hook;
    size_t m_byteLimit;
    size_t m_held = 0;
    bool m_streaming = false;
};
