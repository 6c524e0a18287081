#pragma once

#include <QString>

#include <functional>

// A picture's own EXIF, XMP and IPTC values, for the text fields that show them.
namespace FileMetadata {

// A reader of the values of the file at path by Exiv2 key ("Exif.Photo.DateTimeOriginal",
// "Xmp.dc.title", "Iptc.Application2.Caption") or by tag name alone ("DateTimeOriginal": EXIF
// before XMP); empty where the file has none, for a file Exiv2 does not read, and for anything but
// a regular file. Reads the file once, on the first value asked for; the reader is for one thread.
std::function<QString(const QString& key)> of(const QString& path);

} // namespace FileMetadata
