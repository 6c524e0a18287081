#pragma once

#include "render/FileOutcome.h"

#include <QIODevice>
#include <QSaveFile>

// An output written into a temporary file beside its destination and renamed over it only once
// every byte is on the disk. Each write goes straight to the disk and the first failure is
// remembered, so nothing can be committed after a failed write even when the encoder writing
// into it ignores a short write. Random access, readable too, as libtiff reads back what it wrote.
// Destroyed without a successful commit, it removes the temporary file and leaves any file at
// the destination as it was.
class CheckedSaveFile : public QIODevice
{
public:
    explicit CheckedSaveFile(const QString& path);
    ~CheckedSaveFile() override;

    // Creates the temporary file and opens this device on it; the reason in words when it cannot.
    FileOutcome create();

    // Flushes to the disk and renames over the destination: the destination's path, or why not.
    FileOutcome commit();

    // Writes everything source reads at path and commits it: the path, or why not.
    static FileOutcome copy(QIODevice& source, const QString& path);

    // Why writing failed, in words, when a write has failed; otherwise the given reason.
    QString failureReason(const QString& otherwise) const;

    qint64 size() const override;

protected:
    // Flushes the descriptor's data to the disk: 0, or the errno of the failure.
    virtual int syncToDisk(int descriptor);

    qint64 readData(char* data, qint64 maxSize) override;
    qint64 writeData(const char* data, qint64 size) override;

private:
    QString m_path;
    QSaveFile m_file;
    int m_writeError = 0; // the errno of the first failed write
};
