#include "model/SavedDesigns.h"

#include "model/StandardOutput.h"
#include "model/WatermarkCoding.h"
#include "model/openPreferences.h"
#include "model/writePreferences.h"

#include <QSettings>

#include <algorithm>

namespace {

std::optional<std::vector<WatermarkSnapshot>> decode(const QVariant& value)
{
    if (value.typeId() != QMetaType::QByteArray)
        return std::nullopt;
    auto designs = WatermarkCoding::decodeList(value.toByteArray());
    if (!designs)
        return std::nullopt;
    return std::move(designs).value();
}

// A stored list that does not decode (edited by hand, or written by a newer version) shows as
// an empty list, but the next write would destroy it: it is kept under a key of its own first,
// never over an earlier kept list that differs from it.
void keepUnreadableList(QSettings& settings)
{
    const QVariant current = settings.value(QLatin1String(SavedDesigns::key));
    if (!current.isValid() || decode(current))
        return;
    QString backup = QLatin1String(SavedDesigns::unreadableKey);
    for (int n = 2; settings.contains(backup); ++n) {
        if (settings.value(backup) == current)
            return;
        backup = QStringLiteral("%1.%2").arg(QLatin1String(SavedDesigns::unreadableKey)).arg(n);
    }
    settings.setValue(backup, current);
    StandardOutput::printLine(QStringLiteral("Kept the unreadable saved designs under \"%1\"").arg(backup));
}

auto sameId(const WatermarkSettings& design)
{
    return [&design](const std::shared_ptr<WatermarkSettings>& element) { return *element == design; };
}

} // namespace

SavedDesigns::SavedDesigns() = default;

SavedDesigns::SavedDesigns(QString settingsFile) : m_settingsFile(std::move(settingsFile)) {}

std::optional<WatermarkList> SavedDesigns::loadWatermarks() const
{
    const auto settings = openPreferences(m_settingsFile);
    const auto designs = decode(settings->value(QLatin1String(key)));
    if (!designs)
        return std::nullopt;
    WatermarkList list;
    list.reserve(designs->size());
    for (const auto& design : *designs)
        list.push_back(WatermarkSettings::fromSnapshot(design));
    return list;
}

FileOutcome SavedDesigns::storeWatermarks(const WatermarkList& list) const
{
    std::vector<WatermarkSnapshot> snapshots;
    snapshots.reserve(list.size());
    for (const auto& design : list)
        snapshots.push_back(design->snapshot());
    const auto bytes = WatermarkCoding::encodeList(snapshots);
    if (!bytes)
        return FileOutcome::failure(QStringLiteral("a value cannot be stored"));
    StandardOutput::printLine(QStringLiteral("Saving watermark..."));
    const FileOutcome written = writePreferences(m_settingsFile, [&bytes](QSettings& settings) {
        keepUnreadableList(settings);
        settings.setValue(QLatin1String(key), *bytes);
    });
    if (written)
        StandardOutput::printLine(QStringLiteral("Saved"));
    return written;
}

FileOutcome SavedDesigns::saveWatermark(WatermarkList& list,
                                        const std::shared_ptr<WatermarkSettings>& design) const
{
    const auto found = std::find_if(list.begin(), list.end(), sameId(*design));
    if (found != list.end()) {
        *found = design;
        return storeWatermarks(list);
    }
    list.push_back(design);
    FileOutcome written = storeWatermarks(list);
    if (!written)
        list.pop_back(); // listed only once stored
    return written;
}

std::optional<FileOutcome> SavedDesigns::deleteWatermark(WatermarkList& list,
                                                         const WatermarkSettings& design) const
{
    const auto found = std::find_if(list.begin(), list.end(), sameId(design));
    if (found == list.end())
        return std::nullopt;
    const auto position = found - list.begin();
    const auto removed = *found;
    list.erase(found);
    FileOutcome written = storeWatermarks(list);
    if (!written)
        list.insert(list.begin() + position, removed); // still stored, so still listed
    return written;
}
