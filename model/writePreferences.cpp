#include "model/writePreferences.h"

#include "model/openPreferences.h"
#include "render/CheckedSaveFile.h"
#include "render/SystemError.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QTemporaryDir>

#include <cerrno>
#include <optional>

#include <fcntl.h>
#include <unistd.h>

namespace {

using SettingsMap = QMap<QString, QVariant>;

SettingsMap contents(const QSettings& settings)
{
    SettingsMap map;
    for (const QString& key : settings.allKeys())
        map.insert(key, settings.value(key));
    return map;
}

// The INI form reads some values back as text ("true" for true, "5" for 5).
bool sameValue(const QVariant& set, const QVariant& read)
{
    if (set == read)
        return true;
    const QString text = set.toString();
    return set.typeId() != read.typeId() && !text.isEmpty() && text == read.toString();
}

bool sameContents(const SettingsMap& set, const SettingsMap& read)
{
    return set.keys() == read.keys() &&
           std::equal(set.cbegin(), set.cend(), read.cbegin(),
                      [](const QVariant& a, const QVariant& b) { return sameValue(a, b); });
}

// QSettings does not say why its write came out short (Qt 6.4 even commits it): a new file in the
// same folder meets the same limit or full disk and tells.
QString whyWritesFail(const QString& folder)
{
    const QByteArray probe = QFile::encodeName(QDir(folder).filePath(QStringLiteral("probe")));
    const int descriptor = ::open(probe.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (descriptor < 0)
        return SystemError::reason(errno);
    const QByteArray bytes(64 * 1024, '\0');
    const ssize_t written = ::write(descriptor, bytes.constData(), static_cast<size_t>(bytes.size()));
    const int error = written < 0 ? errno : 0;
    ::close(descriptor);
    ::unlink(probe.constData());
    if (error != 0)
        return SystemError::reason(error);
    return written < bytes.size() ? SystemError::reason(ENOSPC)
                                  : QStringLiteral("the preferences could not be written whole");
}

FileOutcome failure(const QString& reason)
{
    return FileOutcome::failure(reason);
}

// Writes the current settings with change applied into a new file at path through QSettings:
// what was set, or nothing when QSettings reports a failure.
std::optional<SettingsMap> writeDraft(const QSettings& current, const std::function<void(QSettings&)>& change,
                                      const QString& path)
{
    QSettings draft(path, QSettings::IniFormat);
    const SettingsMap earlier = contents(current);
    for (auto value = earlier.cbegin(); value != earlier.cend(); ++value)
        draft.setValue(value.key(), value.value());
    change(draft);
    SettingsMap expected = contents(draft);
    draft.sync();
    if (draft.status() != QSettings::NoError)
        return std::nullopt;
    return expected;
}

} // namespace

FileOutcome writePreferences(const QString& path, const std::function<void(QSettings&)>& change)
{
    const auto current = openPreferences(path);
    const QString target = current->fileName();
    if (current->status() != QSettings::NoError)
        return failure(QStringLiteral("the preferences file cannot be read"));
    const QString folder = QFileInfo(target).absolutePath();
    if (!QDir().mkpath(folder))
        return failure(QStringLiteral("cannot create the folder %1").arg(folder));

    // QSettings writes a draft; it is read back under a name no QSettings has seen, since one
    // that wrote a file answers from its own cache, not from what reached the disk.
    QTemporaryDir drafts(QDir(folder).filePath(QStringLiteral(".preferences-XXXXXX")));
    if (!drafts.isValid())
        return failure(drafts.errorString());
    const QString draftPath = drafts.filePath(QStringLiteral("draft.conf"));
    const QString checkedPath = drafts.filePath(QStringLiteral("checked.conf"));
    const std::optional<SettingsMap> expected = writeDraft(*current, change, draftPath);
    if (!expected)
        return failure(whyWritesFail(drafts.path()));
    if (!QFile::rename(draftPath, checkedPath))
        return failure(QStringLiteral("cannot write the preferences"));
    const QSettings readBack(checkedPath, QSettings::IniFormat);
    if (readBack.status() != QSettings::NoError || !sameContents(*expected, contents(readBack)))
        return failure(whyWritesFail(drafts.path()));
    QFile checked(checkedPath);
    if (!checked.open(QIODevice::ReadOnly))
        return failure(checked.errorString());
    return CheckedSaveFile::copy(checked, target);
}
