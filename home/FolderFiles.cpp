#include "home/FolderFiles.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>

namespace {

// The digits from position on, and where they end.
QStringView digitsAt(QStringView name, qsizetype position)
{
    qsizetype end = position;
    while (end < name.size() && name[end].isDigit())
        ++end;
    return name.mid(position, end - position);
}

QStringView withoutLeadingZeros(QStringView digits)
{
    qsizetype zeros = 0;
    while (zeros + 1 < digits.size() && digits[zeros] == QLatin1Char('0'))
        ++zeros;
    return digits.mid(zeros);
}

// Name order as file managers show it: numbers by their value, letters ignoring case.
bool comesBefore(QStringView a, QStringView b)
{
    qsizetype i = 0;
    qsizetype j = 0;
    while (i < a.size() && j < b.size()) {
        if (a[i].isDigit() && b[j].isDigit()) {
            const QStringView x = digitsAt(a, i);
            const QStringView y = digitsAt(b, j);
            i += x.size();
            j += y.size();
            const QStringView p = withoutLeadingZeros(x);
            const QStringView q = withoutLeadingZeros(y);
            if (p.size() != q.size())
                return p.size() < q.size();
            if (const int order = p.compare(q); order != 0)
                return order < 0;
            continue;
        }
        const QChar c = a[i++].toCaseFolded();
        const QChar d = b[j++].toCaseFolded();
        if (c != d)
            return c < d;
    }
    if (a.size() - i != b.size() - j)
        return a.size() - i < b.size() - j;
    return a < b;
}

void collect(const QString& path, QStringList& files)
{
    QFileInfoList entries =
        QDir(path).entryInfoList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot | QDir::System);
    std::sort(entries.begin(), entries.end(),
              [](const QFileInfo& a, const QFileInfo& b) { return comesBefore(a.fileName(), b.fileName()); });
    for (const QFileInfo& entry : std::as_const(entries)) {
        if (entry.isDir() && !entry.isSymLink())
            collect(entry.filePath(), files);
        else if (!entry.isDir())
            files.append(entry.filePath());
    }
}

} // namespace

namespace FolderFiles {

QStringList in(const QString& folder)
{
    QStringList files;
    collect(folder, files);
    return files;
}

QStringList expanded(const QStringList& paths)
{
    QStringList files;
    for (const QString& path : paths) {
        if (QFileInfo(path).isDir())
            collect(path, files);
        else
            files.append(path);
    }
    return files;
}

} // namespace FolderFiles
