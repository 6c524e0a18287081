#include "render/IoDevicePipeline.h"

#include <QIODevice>

IoDevicePipeline::IoDevicePipeline(QIODevice& device) : Pipeline("Qt device", nullptr), m_device(device) {}

void IoDevicePipeline::write(unsigned char const* data, size_t length)
{
    if (m_failed)
        return;
    const auto size = static_cast<qint64>(length);
    m_failed = m_device.write(reinterpret_cast<const char*>(data), size) != size;
}
