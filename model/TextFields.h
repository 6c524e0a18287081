#pragma once

#include <QString>

#include <functional>

// Fields in a text design's text, filled in per file and, in a PDF, per page: {filename} (without
// folder and extension), {date}, {page}, {pages}, {n} (the file's place in the batch),
// {exif:KEY} (an EXIF or XMP value by its Exiv2 key) and {recipient}. "{{" and "}}" write a
// brace; anything else in braces stays as written, so a text without fields reads as it is.
namespace TextFields {

struct Values
{
    QString fileName;
    QString date;
    int page = 1;
    int pages = 1;
    int number = 1;
    QString recipient;
    // The metadata value of a key as written after "exif:"; empty where the file has none.
    std::function<QString(const QString& key)> metadata;
};

// The text with its fields replaced by the values.
QString expand(const QString& text, const Values& values);

// Whether the text holds the field of that name ("recipient", "page", "exif"...), escapes aside.
bool uses(const QString& text, const QString& field);

// Whether the text reads differently from page to page of one document.
bool variesPerPage(const QString& text);

} // namespace TextFields
