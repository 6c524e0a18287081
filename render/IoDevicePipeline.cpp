#include "render/IoDevicePipeline.h"

#include <QIODevice>

namespace {

constexpr size_t blockSize = 1 << 20;

} // namespace

IoDevicePipeline::IoDevicePipeline(QIODevice& device) : Pipeline("Qt device", nullptr), m_device(device)
{
    m_buffer.reserve(blockSize);
}

void IoDevicePipeline::write(unsigned char const* data, size_t length)
{
    if (m_failed)
        return;
    m_buffer.append(reinterpret_cast<const char*>(data), length);
    if (m_buffer.size() >= blockSize)
        writeBuffer();
}

void IoDevicePipeline::finish()
{
    if (!m_failed)
        writeBuffer();
}

void IoDevicePipeline::writeBuffer()
{
    const auto size = static_cast<qint64>(m_buffer.size());
    m_failed = m_device.write(m_buffer.data(), size) != size;
    m_buffer.clear();
}
