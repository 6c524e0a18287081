#pragma once

#include "model/WatermarkSettings.h"
#include "render/FileOutcome.h"

#include <QString>

#include <memory>
#include <optional>
#include <vector>

using WatermarkList = std::vector<std::shared_ptr<WatermarkSettings>>;

// The saved list of designs: JSON bytes under "savedWatermarks" in the user's preferences
// (QSettings in the user's configuration folder). Used on the main thread only.
class SavedDesigns
{
public:
    // The user's own preferences file.
    SavedDesigns();
    // A preferences file at the given path, for tests and tools.
    explicit SavedDesigns(QString settingsFile);

    // The stored list as new objects, or nothing when there is none or it does not decode.
    std::optional<WatermarkList> loadWatermarks() const;

    // Writes the whole list, or nothing: the preferences file written, or why not. An encoding
    // failure writes and prints nothing; otherwise prints "Saving watermark...", writes the whole
    // file or leaves the earlier one (writePreferences), and prints "Saved" once it is written.
    // A stored list that does not decode is first kept under unreadableKey (with ".2", ".3"
    // after it when that is taken by another), with one line saying so.
    FileOutcome storeWatermarks(const WatermarkList& list) const;

    // Replaces the design with the same id in place, or appends it; then stores the list. A
    // design appended is taken off again when the list could not be stored.
    FileOutcome saveWatermark(WatermarkList& list, const std::shared_ptr<WatermarkSettings>& design) const;

    // Removes the first design with the same id and stores the list; nothing if none matches.
    // The design is put back in its place when the list could not be stored.
    std::optional<FileOutcome> deleteWatermark(WatermarkList& list, const WatermarkSettings& design) const;

    static constexpr const char* key = "savedWatermarks";
    static constexpr const char* unreadableKey = "savedWatermarks.unreadable";

private:
    QString m_settingsFile;
};
