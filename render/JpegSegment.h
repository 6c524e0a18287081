#pragma once

#include <QByteArray>

// An APPn or COM segment of a JPEG file: its marker and its payload after the length bytes.
struct JpegSegment
{
    int marker = 0;
    QByteArray payload;
};
