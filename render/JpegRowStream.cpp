#include "render/JpegRowStream.h"

#include <jerror.h>

#include <algorithm>
#include <cstring>
#include <new>
#include <utility>

// One array's rows, each allocated when first used.
struct JpegRowStream::Array
{
    int component; // of the decoder, whose rows it follows
    JDIMENSION blocksPerRow;
    std::vector<JBLOCKROW> rows; // null where not held
    JDIMENSION handed = 0;       // rows handed to the hook
};

// The input from memory, given whole or a chunk more at a time: at the end of what it was given
// the decoder suspends, backed up to the last blocks it completed, and goes on from there when
// given more, the bytes from there on being still in place.
struct JpegRowStream::Source
{
    static constexpr size_t chunk = 1 << 16;
    jpeg_source_mgr manager{};
    const JOCTET* end = nullptr;

    static Source& of(j_decompress_ptr info) { return *reinterpret_cast<Source*>(info->src); }
    static void start(j_decompress_ptr) {}
    const JOCTET* given() const { return manager.next_input_byte + manager.bytes_in_buffer; }
    void more() { manager.bytes_in_buffer += std::min(chunk, size_t(end - given())); }
    static boolean fill(j_decompress_ptr info)
    {
        static const JOCTET endOfImage[] = {0xFF, JPEG_EOI};
        Source& source = of(info);
        if (source.given() < source.end)
            return FALSE;
        // A cut file ends as libjpeg's own sources end it, the rest left blank.
        WARNMS(info, JWRN_JPEG_EOF);
        source.manager.next_input_byte = endOfImage;
        source.manager.bytes_in_buffer = sizeof endOfImage;
        source.end = endOfImage + sizeof endOfImage;
        return TRUE;
    }
    // Skips within the memory, whether given yet or not.
    static void skip(j_decompress_ptr info, long count)
    {
        Source& source = of(info);
        const auto skipped =
            std::min(size_t(std::max(count, 0L)), size_t(source.end - source.manager.next_input_byte));
        source.manager.next_input_byte += skipped;
        source.manager.bytes_in_buffer -= std::min(skipped, source.manager.bytes_in_buffer);
    }
    static void finish(j_decompress_ptr) {}
};

JpegRowStream::JpegRowStream(jpeg_decompress_struct& in, jpeg_compress_struct& out, const QByteArray& input,
                             size_t byteLimit)
    : m_in(in), m_source(std::make_unique<Source>()), m_byteLimit(byteLimit)
{
    jpeg_source_mgr& source = m_source->manager;
    source.next_input_byte = reinterpret_cast<const JOCTET*>(input.constData());
    source.bytes_in_buffer = size_t(input.size());
    m_source->end = source.next_input_byte + input.size();
    source.init_source = Source::start;
    source.fill_input_buffer = Source::fill;
    source.skip_input_data = Source::skip;
    source.resync_to_restart = jpeg_resync_to_restart;
    source.term_source = Source::finish;
    in.src = &source;
    for (jpeg_memory_mgr* memory : {in.mem, out.mem}) {
        memory->request_virt_barray = request;
        memory->access_virt_barray = access;
    }
    in.client_data = out.client_data = this;
}

JpegRowStream::~JpegRowStream()
{
    for (const auto& array : m_arrays)
        for (JBLOCKROW row : array->rows)
            delete[] row;
}

jvirt_barray_ptr* JpegRowStream::readCoefficients()
{
    // Given a chunk at a time, the decoder reads on only as the encoder asks. Arithmetic
    // decoding cannot suspend; more than one scan writes every row more than once.
    m_streaming = !m_in.arith_code && !jpeg_has_multiple_scans(&m_in);
    if (m_streaming)
        m_in.src->bytes_in_buffer = std::min(m_in.src->bytes_in_buffer, Source::chunk);
    jpeg_read_coefficients(&m_in);
    return m_decoded.data();
}

jvirt_barray_ptr JpegRowStream::blankArray(int component)
{
    const jpeg_component_info& info = m_in.comp_info[component];
    return add(component, info.width_in_blocks, info.height_in_blocks);
}

void JpegRowStream::setRowHook(RowHook hook)
{
    m_hook = std::move(hook);
}

const JBLOCK* JpegRowStream::heldRow(jvirt_barray_ptr array, int row) const
{
    const auto& rows = reinterpret_cast<const Array*>(array)->rows;
    return row >= 0 && size_t(row) < rows.size() ? rows[size_t(row)] : nullptr;
}

JpegRowStream& JpegRowStream::of(j_common_ptr info)
{
    return *static_cast<JpegRowStream*>(info->client_data);
}

jvirt_barray_ptr JpegRowStream::add(int component, JDIMENSION blocksPerRow, JDIMENSION rows)
{
    m_arrays.push_back(std::make_unique<Array>(Array{component, blocksPerRow, std::vector<JBLOCKROW>(rows)}));
    return reinterpret_cast<jvirt_barray_ptr>(m_arrays.back().get());
}

// Only the decoder asks, one array per component in order, all blank to begin with.
jvirt_barray_ptr JpegRowStream::request(j_common_ptr info, int, boolean, JDIMENSION blocksPerRow,
                                        JDIMENSION rows, JDIMENSION)
{
    JpegRowStream& self = of(info);
    self.m_decoded.push_back(self.add(int(self.m_decoded.size()), blocksPerRow, rows));
    return self.m_decoded.back();
}

JBLOCKARRAY JpegRowStream::access(j_common_ptr info, jvirt_barray_ptr handle, JDIMENSION start,
                                  JDIMENSION count, boolean)
{
    JpegRowStream& self = of(info);
    Array& array = *reinterpret_cast<Array*>(handle);
    const JDIMENSION end = start + count;
    if (end > array.rows.size())
        ERREXIT(info, JERR_BAD_VIRTUAL_ACCESS);
    if (info->is_decompressor) {
        self.hold(info, array, start, end);
        return &array.rows[start];
    }
    if (self.m_streaming) {
        self.readUpTo(array, end);
        for (JDIMENSION row = 0; row < start; ++row) {
            self.m_held -= array.rows[row] ? array.blocksPerRow * sizeof(JBLOCK) : 0;
            delete[] std::exchange(array.rows[row], nullptr);
        }
    }
    self.hold(info, array, start, end);
    for (; array.handed < end; ++array.handed)
        if (self.m_hook)
            self.m_hook(handle, int(array.handed), array.rows[array.handed]);
    return &array.rows[start];
}

// Lets the decoder read on until the array's component is complete up to row end.
void JpegRowStream::readUpTo(const Array& array, JDIMENSION end)
{
    const auto rowsPerStep = JDIMENSION(m_in.comp_info[array.component].v_samp_factor);
    while (!jpeg_input_complete(&m_in) && m_in.input_iMCU_row * rowsPerStep < end) {
        m_source->more();
        jpeg_read_coefficients(&m_in);
    }
}

// Rows start to end allocated, blank where new.
void JpegRowStream::hold(j_common_ptr info, Array& array, JDIMENSION start, JDIMENSION end)
{
    for (JDIMENSION row = start; row < end; ++row) {
        if (array.rows[row])
            continue;
        m_held += array.blocksPerRow * sizeof(JBLOCK);
        if (m_held > m_byteLimit || !(array.rows[row] = new (std::nothrow) JBLOCK[array.blocksPerRow]))
            ERREXIT(info, JERR_OUT_OF_MEMORY);
        std::memset(array.rows[row], 0, array.blocksPerRow * sizeof(JBLOCK));
    }
}
