#pragma once

#include "model/WatermarkSnapshot.h"

#include <QString>

#include <functional>
#include <optional>
#include <vector>

// Fields in a text design's text, filled in per file and, in a PDF, per page: {filename} (without
// folder and extension), {date}, {page}, {pages}, {n} (the file's place in the batch),
// {exif:KEY} (an EXIF or XMP value by its Exiv2 key) and {recipient}. "{{" and "}}" write a
// brace; anything else in braces stays as written, so a text without fields reads as it is.
namespace TextFields {

// A value left out leaves its field as written, to be filled in later (the page fields by the
// stamping of each page) or never.
struct Values
{
    std::optional<QString> fileName;
    std::optional<QString> date;
    std::optional<int> page;
    std::optional<int> pages;
    std::optional<int> number;
    std::optional<QString> recipient;
    // The metadata value of a key as written after "exif:"; empty where the file has none.
    // Left out, {exif:…} stays as written.
    std::function<QString(const QString& key)> metadata;
};

// Where a field stands in an expanded text.
struct Span
{
    qsizetype start = 0;
    qsizetype length = 0;
};

// Today as {date} shows it: the user's locale's short form.
QString today();

// The text as shown: its fields replaced by the values, "{{" and "}}" written as one brace, and
// anything else in braces as written.
QString expand(const QString& text, const Values& values);
// The same, giving where fields the values left out stay as written, so they can be shown as
// placeholders.
QString expand(const QString& text, const Values& values, std::vector<Span>& unfilled);

// The text with the fields the values give filled in, still a text with fields: the rest stays
// as written, braces doubled included, and a value's own braces are doubled, so a later expand
// fills the remaining fields and nothing a value brought.
QString fill(const QString& text, const Values& values);

// Whether the text holds the field of that name ("recipient", "page", "exif"...), escapes aside.
bool uses(const QString& text, const QString& field);

// Whether the text reads differently from page to page of one document.
bool variesPerPage(const QString& text);

// A text design as it draws on one page of pages (1-based): its text, still holding the fields
// fill left, expanded with the page's number and count. Other designs as they are.
WatermarkSnapshot onPage(WatermarkSnapshot design, int page, int pages);

} // namespace TextFields
