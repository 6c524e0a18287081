#include "model/SavedDesigns.h"
#include "support/StdoutCapture.h"
#include "support/TestFiles.h"

#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QByteArray savedLines = "Saving watermark...\nSaved\n";

std::shared_ptr<WatermarkSettings> design(const QString& name, double x = 50)
{
    auto values = WatermarkSettings::makeNew()->snapshot();
    values.watermarkName = name;
    values.imageData = QUrl(QStringLiteral("file:///tmp/%1 logo.png").arg(name));
    values.xPosition = x;
    return WatermarkSettings::fromSnapshot(values);
}

std::vector<WatermarkSnapshot> snapshots(const std::optional<WatermarkList>& list)
{
    std::vector<WatermarkSnapshot> result;
    for (const auto& element : list.value_or(WatermarkList()))
        result.push_back(element->snapshot());
    return result;
}

} // namespace

class TestSavedDesigns : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    // A preferences file of its own for every test and row.
    QString file() const { return m_dir.filePath(QTest::currentTestFunction()) + QTest::currentDataTag(); }
    QVariant stored() const { return QSettings(file(), QSettings::IniFormat).value(SavedDesigns::key); }

private Q_SLOTS:
    void unreadableValueLoadsAsNothing_data()
    {
        QTest::addColumn<QVariant>("value");
        QTest::newRow("absent") << QVariant();
        QTest::newRow("not JSON") << QVariant(QByteArray("\x01 not json"));
        QTest::newRow("a broken design") << QVariant(QByteArray("[{\"text\":\"x\"}]"));
        QTest::newRow("text, not bytes") << QVariant(QStringLiteral("[]"));
    }

    void unreadableValueLoadsAsNothing()
    {
        QFETCH(QVariant, value);
        if (value.isValid())
            QSettings(file(), QSettings::IniFormat).setValue(SavedDesigns::key, value);
        StdoutCapture capture;
        const auto loaded = SavedDesigns(file()).loadWatermarks();
        QCOMPARE(capture.finish(), QByteArray());
        QVERIFY(!loaded);
        QCOMPARE(stored(), value);
    }

    // Saving replaces the design of the same id in place or appends it; deleting removes the
    // design of the same id, down to an empty list, which reads back as a list. Saving a design
    // that cannot be stored, or deleting one not listed, changes neither the list nor what is
    // stored, and prints nothing. A new store reads the list back, as after a restart.
    void saveAndDeleteSurviveARestart()
    {
        const WatermarkList original{design("A", 0.1), design("B", 1.0 / 3)};
        WatermarkList list = original;
        const auto edited = WatermarkSettings::fromSnapshot(list[0]->snapshot()); // same id, another object
        edited->setWatermarkName(QStringLiteral("A edited"));
        const auto added = design("C");
        StdoutCapture capture;
        SavedDesigns(file()).saveWatermark(list, edited);
        SavedDesigns(file()).saveWatermark(list, added);
        const WatermarkList saved = list;
        const QVariant before = stored();
        SavedDesigns(file()).saveWatermark(list, design("", qQNaN()));
        SavedDesigns(file()).deleteWatermark(list, *design("?"));
        QCOMPARE(stored(), before);
        const auto reloaded = snapshots(SavedDesigns(file()).loadWatermarks());
        for (const auto& gone : saved)
            SavedDesigns(file()).deleteWatermark(list, *WatermarkSettings::fromSnapshot(gone->snapshot()));
        QCOMPARE(capture.finish(), savedLines.repeated(5));
        QVERIFY(saved == (WatermarkList{edited, original[1], added})); // the very objects saved
        QCOMPARE(reloaded, snapshots(saved));
        QVERIFY(list.empty());
        QCOMPARE(stored(), QVariant(QByteArray("[]")));
        const auto loaded = SavedDesigns(file()).loadWatermarks();
        QVERIFY(loaded && loaded->empty()); // an empty list, not nothing
    }

    // A stored list this version cannot read survives the first write, under a key of its own;
    // a second, different one does not replace the first.
    void unreadableListIsKeptOnWrite()
    {
        const QList<QByteArray> unreadable{"[{\"from\":\"a newer version\"}]", "[ broken"};
        const SavedDesigns store(file());
        StdoutCapture capture;
        for (const QByteArray& value : unreadable) {
            QSettings(file(), QSettings::IniFormat).setValue(SavedDesigns::key, value);
            store.storeWatermarks({design("New")});
            store.storeWatermarks({design("Newer")}); // readable by now: nothing more is kept
        }
        QCOMPARE(capture.finish().count("Kept the unreadable saved designs"), 2);
        const QSettings settings(file(), QSettings::IniFormat);
        QCOMPARE(settings.value(SavedDesigns::unreadableKey), QVariant(unreadable[0]));
        QCOMPARE(settings.value(SavedDesigns::unreadableKey + QStringLiteral(".2")), QVariant(unreadable[1]));
        QCOMPARE(store.loadWatermarks().value().front()->watermarkName(), QStringLiteral("Newer"));
    }
};

QTEST_GUILESS_MAIN(TestSavedDesigns)
#include "tst_SavedDesigns.moc"
