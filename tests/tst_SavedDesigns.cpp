#include "model/SavedDesigns.h"
#include "model/WatermarkCoding.h"
#include "support/StdoutCapture.h"

#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include <limits>

namespace {

const QByteArray savedLines = "Saving watermark...\nSaved\n";

std::shared_ptr<WatermarkSettings> design(const QString& name, double x = 50)
{
    auto values = WatermarkSettings::makeNew()->snapshot();
    values.watermarkName = name;
    values.text = name + QStringLiteral(" – ünïcode ✓ 😀 \\ \"/\"");
    values.xPosition = x;
    values.textColor = {0.1, 1.0 / 3, 0.123456789012345, 0.5};
    return WatermarkSettings::fromSnapshot(values);
}

// A second object with the same id as the given design, edited.
std::shared_ptr<WatermarkSettings> editedCopy(const WatermarkSettings& original, const QString& name)
{
    auto values = original.snapshot();
    values.watermarkName = name;
    values.imageData = QUrl(QStringLiteral("file:///tmp/logo.png"));
    values.type = WatermarkType::image;
    return WatermarkSettings::fromSnapshot(values);
}

// The stored text of a list, for comparisons that print readably when they fail.
QByteArray encoded(const WatermarkList& list)
{
    std::vector<WatermarkSnapshot> snapshots;
    for (const auto& element : list)
        snapshots.push_back(element->snapshot());
    const auto bytes = WatermarkCoding::encodeList(snapshots);
    return bytes ? *bytes : "<not encodable>";
}

QStringList names(const WatermarkList& list)
{
    QStringList result;
    for (const auto& element : list)
        result << element->watermarkName();
    return result;
}

} // namespace

Q_DECLARE_METATYPE(WatermarkSnapshot)

class TestSavedDesigns : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void nothingStoredLoadsAsNothing();
    void undecodableValueLoadsAsNothingAndStays_data();
    void undecodableValueLoadsAsNothingAndStays();
    void storedListSurvivesARestart();
    void failedWriteDoesNotReportSaved();
    void encodingFailureKeepsThePreviousList_data();
    void encodingFailureKeepsThePreviousList();
    void saveReplacesInPlaceOrAppends();
    void deleteRemovesTheFirstWithTheSameId();
    void deletingAnUnknownDesignWritesNothing();
    void deletingTheOnlyDesignLeavesAnEmptyList();

private:
    QString settingsFile() const { return m_dir->filePath(QStringLiteral("designs.ini")); }
    // The raw value, read past SavedDesigns; an invalid QVariant when there is none.
    QVariant storedValue() const
    {
        return QSettings(settingsFile(), QSettings::IniFormat).value(SavedDesigns::key);
    }
    void writeValue(const QVariant& value) const
    {
        QSettings settings(settingsFile(), QSettings::IniFormat);
        settings.setValue(SavedDesigns::key, value);
    }

    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestSavedDesigns::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

void TestSavedDesigns::cleanup()
{
    m_dir.reset();
}

void TestSavedDesigns::nothingStoredLoadsAsNothing()
{
    QSettings(settingsFile(), QSettings::IniFormat).setValue(QStringLiteral("otherKey"), 1);

    StdoutCapture capture;
    const auto loaded = SavedDesigns(settingsFile()).loadWatermarks();
    QCOMPARE(capture.finish(), QByteArray());
    QVERIFY(!loaded);
    QVERIFY(!storedValue().isValid());
}

void TestSavedDesigns::undecodableValueLoadsAsNothingAndStays_data()
{
    QTest::addColumn<QByteArray>("value");
    const QByteArray good = encoded({design(QStringLiteral("Good"))});
    QByteArray missingName = good;
    missingName.replace("\"watermarkName\"", "\"watermarkTitle\"");
    QTest::newRow("not JSON") << QByteArray("\x01\x02 not json");
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("an object") << QByteArray("{}");
    QTest::newRow("a design without its name") << missingName;
    QTest::newRow("one good, one broken") << good.chopped(1) + ",{\"text\":\"x\"}]";
}

void TestSavedDesigns::undecodableValueLoadsAsNothingAndStays()
{
    QFETCH(QByteArray, value);
    writeValue(value);
    QFile file(settingsFile());
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray fileBefore = file.readAll();
    file.close();

    StdoutCapture capture;
    const auto loaded = SavedDesigns(settingsFile()).loadWatermarks();
    QCOMPARE(capture.finish(), QByteArray());
    QVERIFY(!loaded);
    QCOMPARE(storedValue().toByteArray(), value);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), fileBefore);
}

void TestSavedDesigns::storedListSurvivesARestart()
{
    const WatermarkList list{design(QStringLiteral("First"), 10),
                             editedCopy(*design(QStringLiteral("x")), "Pic"),
                             design(QStringLiteral("Third"), 0.1)};
    {
        StdoutCapture capture;
        SavedDesigns(settingsFile()).storeWatermarks(list);
        QCOMPARE(capture.finish(), savedLines);
    }
    QCOMPARE(storedValue().toByteArray(), encoded(list));

    StdoutCapture capture;
    const auto loaded = SavedDesigns(settingsFile()).loadWatermarks();
    QCOMPARE(capture.finish(), QByteArray());
    QVERIFY(loaded);
    QCOMPARE(encoded(*loaded), encoded(list));
    for (size_t i = 0; i < list.size(); ++i) {
        QCOMPARE(loaded->at(i)->snapshot(), list.at(i)->snapshot());
        QVERIFY(loaded->at(i) != list.at(i));
    }
}

void TestSavedDesigns::failedWriteDoesNotReportSaved()
{
    // A regular file where the settings folder should be: the write cannot succeed.
    QFile blocker(m_dir->filePath(QStringLiteral("folder")));
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    StdoutCapture capture;
    SavedDesigns(m_dir->filePath(QStringLiteral("folder/designs.ini"))).storeWatermarks({design("A")});
    QCOMPARE(capture.finish(), QByteArray("Saving watermark...\n"));
}

void TestSavedDesigns::encodingFailureKeepsThePreviousList_data()
{
    QTest::addColumn<WatermarkSnapshot>("values");
    constexpr double notANumber = std::numeric_limits<double>::quiet_NaN();
    auto position = design(QStringLiteral("Lost"))->snapshot();
    position.yPosition = std::numeric_limits<double>::infinity();
    auto colourAndSize = design(QStringLiteral("Lost"))->snapshot();
    colourAndSize.textColor = {notANumber, 0, 0, 1};
    colourAndSize.fontSize = notANumber;
    QTest::newRow("infinite position") << position;
    QTest::newRow("no colour and no size") << colourAndSize;
}

void TestSavedDesigns::encodingFailureKeepsThePreviousList()
{
    QFETCH(WatermarkSnapshot, values);
    const auto unstorable = WatermarkSettings::fromSnapshot(values);
    const SavedDesigns store(settingsFile());
    WatermarkList list{design(QStringLiteral("Kept"))};
    {
        StdoutCapture capture;
        store.storeWatermarks(list);
        QCOMPARE(capture.finish(), savedLines);
    }
    const QByteArray before = storedValue().toByteArray();

    auto uncolourable = design(QStringLiteral("Uncolourable"));
    uncolourable->setTextColor({std::numeric_limits<double>::quiet_NaN(), 0, 0, 1});
    StdoutCapture capture;
    store.storeWatermarks({uncolourable, unstorable});
    store.saveWatermark(list, unstorable);
    QCOMPARE(capture.finish(), QByteArray());
    QCOMPARE(storedValue().toByteArray(), before);
    QCOMPARE(names(*store.loadWatermarks()), QStringList{"Kept"});
}

void TestSavedDesigns::saveReplacesInPlaceOrAppends()
{
    const SavedDesigns store(settingsFile());
    WatermarkList list{design("A"), design("B"), design("C")};
    const auto edited = editedCopy(*list[1], QStringLiteral("B edited"));
    const auto added = design("D");

    StdoutCapture capture;
    store.saveWatermark(list, edited);
    const QByteArray afterReplace = storedValue().toByteArray();
    store.saveWatermark(list, added);
    QCOMPARE(capture.finish(), savedLines + savedLines);

    QCOMPARE(names(list), (QStringList{"A", "B edited", "C", "D"}));
    QCOMPARE(list[1], edited); // the very object saved, not a copy of its values
    QCOMPARE(list[3], added);
    QCOMPARE(afterReplace, encoded({list[0], list[1], list[2]}));
    QCOMPARE(storedValue().toByteArray(), encoded(list));
}

void TestSavedDesigns::deleteRemovesTheFirstWithTheSameId()
{
    const SavedDesigns store(settingsFile());
    const auto a = design("A");
    const auto twin = editedCopy(*a, QStringLiteral("A twin"));
    WatermarkList list{design("B"), a, design("C"), twin};

    StdoutCapture capture;
    store.deleteWatermark(list, *editedCopy(*a, QStringLiteral("another object, same id")));
    QCOMPARE(capture.finish(), savedLines);
    QCOMPARE(names(list), (QStringList{"B", "C", "A twin"}));
    QCOMPARE(list[2], twin);
    QCOMPARE(storedValue().toByteArray(), encoded(list));
}

void TestSavedDesigns::deletingAnUnknownDesignWritesNothing()
{
    const SavedDesigns store(settingsFile());
    WatermarkList list{design("A")};
    store.storeWatermarks(list);
    const QByteArray before = storedValue().toByteArray();
    list.push_back(design("B")); // in memory only: a stray write would store it

    StdoutCapture capture;
    store.deleteWatermark(list, *design("Unknown"));
    QCOMPARE(capture.finish(), QByteArray());
    QCOMPARE(names(list), (QStringList{"A", "B"}));
    QCOMPARE(storedValue().toByteArray(), before);
}

void TestSavedDesigns::deletingTheOnlyDesignLeavesAnEmptyList()
{
    const auto only = design("Only");
    WatermarkList list{only};
    SavedDesigns(settingsFile()).saveWatermark(list, only);

    StdoutCapture capture;
    SavedDesigns(settingsFile()).deleteWatermark(list, *only);
    QCOMPARE(capture.finish(), savedLines);
    QVERIFY(list.empty());
    QCOMPARE(storedValue().toByteArray(), QByteArray("[]"));

    const auto loaded = SavedDesigns(settingsFile()).loadWatermarks();
    QVERIFY(loaded); // an empty list, which is not the same as nothing stored
    QVERIFY(loaded->empty());
}

QTEST_GUILESS_MAIN(TestSavedDesigns)
#include "tst_SavedDesigns.moc"
