#pragma once

#include <qpdf/Pipeline.hh>

#include <string>

class QIODevice;

// The end of a qpdf pipeline that writes into a Qt device (the output's save file). qpdf hands
// over its output in tens of thousands of small pieces; they are gathered and written in large
// blocks. Write errors are remembered rather than thrown, and read through failed() once
// finish() has written what is left.
class IoDevicePipeline : public Pipeline
{
public:
    explicit IoDevicePipeline(QIODevice& device);

    void write(unsigned char const* data, size_t length) override;
    void finish() override;
    bool failed() const { return m_failed; }

private:
    void writeBuffer();

    QIODevice& m_device;
    std::string m_buffer;
    bool m_failed = false;
};
