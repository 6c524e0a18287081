#pragma once

#include <QStringList>

// The files a folder holds, as a person dropping the folder expects them.
namespace FolderFiles {

// The paths of the folder's files and those of its folders, in the order a file manager shows
// them by name ("scan 2" before "scan 10"). Hidden entries are left out, as a file manager leaves
// them out; linked folders are not entered, so a link to a folder above cannot make the walk
// endless. Files are not judged: whatever is not a folder is listed.
QStringList in(const QString& folder);

// The paths in their order, each folder among them replaced by the files it holds, as above.
QStringList expanded(const QStringList& paths);

} // namespace FolderFiles
