#pragma once

#include <qpdf/Pipeline.hh>

class QIODevice;

// The end of a qpdf pipeline that writes into a Qt device (a QSaveFile for outputs).
// Write errors are remembered rather than thrown, and read through failed().
class IoDevicePipeline : public Pipeline
{
public:
    explicit IoDevicePipeline(QIODevice& device);

    void write(unsigned char const* data, size_t length) override;
    void finish() override {}
    bool failed() const { return m_failed; }

private:
    QIODevice& m_device;
    bool m_failed = false;
};
