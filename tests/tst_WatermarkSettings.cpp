#include "model/WatermarkCoding.h"
#include "model/WatermarkColor.h"
#include "model/WatermarkSettings.h"
#include "support/StdoutCapture.h"

#include <QTest>

#include <cmath>
#include <functional>
#include <limits>

using Json = nlohmann::json;

namespace {

constexpr double notANumber = std::numeric_limits<double>::quiet_NaN();
constexpr double infinity = std::numeric_limits<double>::infinity();

const QUuid someId = QUuid::fromString(QStringLiteral("{6f1c2a3b-9d4e-4f5a-8b7c-0d1e2f3a4b5c}"));

// Every field away from its default and awkward to store, so a field lost, swapped or
// rounded on the way shows.
WatermarkSnapshot unusualDesign()
{
    WatermarkSnapshot design;
    design.text = QStringLiteral("Draft/Entwurf \"ü\" \\ 草稿 😀");
    design.fontSize = 31.5;
    design.opacity = 1.0 / 3;
    design.rotation = -45.25;
    design.id = someId;
    design.imageData = QUrl(QStringLiteral("file:///tmp/logo%20one.png"));
    design.imageSize = 37.123456789012345;
    design.xPosition = 0.1;
    design.yPosition = 87.75;
    design.type = WatermarkType::image;
    design.textColor = {0.1, 1.0 / 3, 0.123456789012345, 0.75};
    design.fontName = QStringLiteral("Times New Roman");
    design.watermarkName = QStringLiteral("Confidential");
    return design;
}

QByteArray encodedList(const std::vector<WatermarkSnapshot>& designs)
{
    const auto bytes = WatermarkCoding::encodeList(designs);
    return bytes ? *bytes : QByteArray("<not encodable: ") + bytes.error().toUtf8() + '>';
}

// The stored JSON object of one design, to be taken apart by a test.
Json encodedObject(const WatermarkSnapshot& design)
{
    return Json::parse(encodedList({design}).toStdString()).at(0);
}

QByteArray toBytes(const Json& json)
{
    return QByteArray::fromStdString(json.dump());
}

// Replaces a member with the given JSON text, or removes it when the text is empty.
Json withMember(Json object, const QString& key, const QByteArray& replacement)
{
    if (replacement.isEmpty())
        object.erase(key.toStdString());
    else
        object[key.toStdString()] = Json::parse(replacement.toStdString());
    return object;
}

// What each setter is checked against: the same change made to a plain copy of the fields.
struct Change
{
    std::function<void(WatermarkSettings&)> apply;
    std::function<void(WatermarkSnapshot&)> expect;
};

} // namespace

Q_DECLARE_METATYPE(Change)
Q_DECLARE_METATYPE(WatermarkSnapshot)
Q_DECLARE_METATYPE(WatermarkColor)

char* toString(const WatermarkSnapshot& design)
{
    return qstrdup(encodedList({design}).constData());
}

char* toString(const WatermarkColor& color)
{
    return qstrdup(QStringLiteral("(%1, %2, %3, %4)")
                       .arg(color.red(), 0, 'g', 17)
                       .arg(color.green(), 0, 'g', 17)
                       .arg(color.blue(), 0, 'g', 17)
                       .arg(color.alpha(), 0, 'g', 17)
                       .toUtf8()
                       .constData());
}

class TestWatermarkSettings : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // The design record.
    void initialiserKeepsEveryField();
    void makeNewGivesTheSampleDesign();
    void equalityAndHashGoByIdAlone();
    void setterChangesItsFieldThenSignals_data();
    void setterChangesItsFieldThenSignals();

    // The colour archive.
    void colourArchiveRoundTripIsExact_data();
    void colourArchiveRoundTripIsExact();
    void colourWithNonFiniteComponentDoesNotArchive_data();
    void colourWithNonFiniteComponentDoesNotArchive();
    void damagedColourArchiveIsRejected_data();
    void damagedColourArchiveIsRejected();

    // The stored JSON form.
    void encodedMembersComeInFixedOrder_data();
    void encodedMembersComeInFixedOrder();
    void encodedTextIsCompactWithEscapedSlashesAndUpperCaseId();
    void designsSurviveEncodeAndDecode_data();
    void designsSurviveEncodeAndDecode();
    void decodingAcceptsPlainSlashesAndLowerCaseId();
    void nonFiniteNumberFailsEncoding_data();
    void nonFiniteNumberFailsEncoding();
    void uncolourableDesignIsStoredWithoutColour();
    void brokenDesignFailsTheWholeList_data();
    void brokenDesignFailsTheWholeList();
    void optionalAndUnknownMembers_data();
    void optionalAndUnknownMembers();
    void unreadableColourDecodesAsBlack_data();
    void unreadableColourDecodesAsBlack();
    void listThatIsNotAnArrayFails_data();
    void listThatIsNotAnArrayFails();
};

void TestWatermarkSettings::initialiserKeepsEveryField()
{
    const WatermarkColor color(0.2, 0.4, 0.6, 0.8);
    const WatermarkSettings design(QStringLiteral("Text"), 30, 0.25, 15, someId, WatermarkType::image, 10, 90,
                                   QStringLiteral("Courier"), color, QStringLiteral("Name"));
    QCOMPARE(design.text(), QStringLiteral("Text"));
    QCOMPARE(design.fontSize(), 30.0);
    QCOMPARE(design.opacity(), 0.25);
    QCOMPARE(design.rotation(), 15.0);
    QCOMPARE(design.id(), someId);
    QCOMPARE(design.type(), WatermarkType::image);
    QCOMPARE(design.xPosition(), 10.0);
    QCOMPARE(design.yPosition(), 90.0);
    QCOMPARE(design.fontName(), QStringLiteral("Courier"));
    QCOMPARE(design.textColor(), color);
    QCOMPARE(design.watermarkName(), QStringLiteral("Name"));
    QVERIFY(!design.imageData());
    QCOMPARE(design.imageSize(), 100.0);

    // The picture fields have no place in the initialiser; a snapshot must still carry them.
    QCOMPARE(WatermarkSettings::fromSnapshot(unusualDesign())->snapshot(), unusualDesign());
}

void TestWatermarkSettings::makeNewGivesTheSampleDesign()
{
    const auto design = WatermarkSettings::makeNew();
    QCOMPARE(design->watermarkName(), QStringLiteral("Your Watermark"));
    QCOMPARE(design->text(), QStringLiteral("Sample Watermark"));
    QCOMPARE(design->textColor(), WatermarkColor(0, 0, 0, 1));
    QCOMPARE(design->fontName(), QStringLiteral("Helvetica"));
    QCOMPARE(design->fontSize(), 24.0);
    QCOMPARE(design->xPosition(), 50.0);
    QCOMPARE(design->yPosition(), 50.0);
    QCOMPARE(design->rotation(), 0.0);
    QCOMPARE(design->opacity(), 0.5);
    QCOMPARE(design->imageSize(), 100.0);
    QVERIFY(!design->imageData());
    QCOMPARE(design->type(), WatermarkType::text);
    QVERIFY(!design->id().isNull());
    QVERIFY(WatermarkSettings::makeNew()->id() != design->id());
}

void TestWatermarkSettings::equalityAndHashGoByIdAlone()
{
    const auto original = WatermarkSettings::fromSnapshot(unusualDesign());

    auto renamedFields = unusualDesign();
    renamedFields.text = QStringLiteral("Other text");
    renamedFields.watermarkName = QStringLiteral("Other name");
    renamedFields.fontSize = 8;
    const auto renamed = WatermarkSettings::fromSnapshot(renamedFields);
    QVERIFY(*original == *renamed);
    QCOMPARE(qHash(*original), qHash(*renamed));
    QCOMPARE(qHash(*original, 42), qHash(*renamed, 42));
    QCOMPARE(std::hash<WatermarkSettings>{}(*original), std::hash<WatermarkSettings>{}(*renamed));

    auto twinFields = unusualDesign();
    twinFields.id = QUuid::fromString(QStringLiteral("0b3e6d1a-2c4f-4e8a-9b1d-3f5a7c9e1b2d"));
    const auto twin = WatermarkSettings::fromSnapshot(twinFields);
    QVERIFY(!(*original == *twin));
    QVERIFY(*original != *twin);
    QVERIFY(qHash(*original) != qHash(*twin));
}

void TestWatermarkSettings::setterChangesItsFieldThenSignals_data()
{
    QTest::addColumn<Change>("change");
    // The starting design is unusualDesign(); every value here differs from its field there.
#define CHANGE(name, setter, field, ...)                                                                     \
    QTest::newRow(name) << Change                                                                            \
    {                                                                                                        \
        [](WatermarkSettings& design) { design.setter(__VA_ARGS__); },                                       \
            [](WatermarkSnapshot& values) { values.field = __VA_ARGS__; }                                    \
    }
    CHANGE("text", setText, text, QStringLiteral("Changed"));
    CHANGE("fontSize", setFontSize, fontSize, 12.0);
    CHANGE("opacity", setOpacity, opacity, 0.9);
    CHANGE("rotation", setRotation, rotation, 90.0);
    CHANGE("id", setId, id, QUuid::fromString(QStringLiteral("0b3e6d1a-2c4f-4e8a-9b1d-3f5a7c9e1b2d")));
    CHANGE("imageData", setImageData, imageData, QUrl(QStringLiteral("file:///tmp/other.png")));
    CHANGE("imageData removed", setImageData, imageData, std::nullopt);
    CHANGE("imageSize", setImageSize, imageSize, 250.0);
    CHANGE("xPosition", setXPosition, xPosition, 5.0);
    CHANGE("yPosition", setYPosition, yPosition, 95.0);
    CHANGE("type", setType, type, WatermarkType::text);
    CHANGE("textColor", setTextColor, textColor, WatermarkColor(0.1, 1.0 / 3, 0.123456789012345, 0.5));
    CHANGE("fontName", setFontName, fontName, QStringLiteral("Courier"));
    CHANGE("watermarkName", setWatermarkName, watermarkName, QStringLiteral("Renamed"));
#undef CHANGE
}

void TestWatermarkSettings::setterChangesItsFieldThenSignals()
{
    QFETCH(Change, change);
    auto expected = unusualDesign();
    change.expect(expected);
    QVERIFY(!(expected == unusualDesign()));

    const auto design = WatermarkSettings::fromSnapshot(unusualDesign());
    std::vector<WatermarkSnapshot> seenBySlot;
    connect(design.get(), &WatermarkSettings::changed, this,
            [&] { seenBySlot.push_back(design->snapshot()); });

    change.apply(*design);
    QCOMPARE(design->snapshot(), expected);
    QCOMPARE(seenBySlot.size(), size_t(1));
    QCOMPARE(seenBySlot.front(), expected); // the new value is in place when the signal arrives

    change.apply(*design); // the same value again is no change
    QCOMPARE(seenBySlot.size(), size_t(1));
    QCOMPARE(design->snapshot(), expected);
}

void TestWatermarkSettings::colourArchiveRoundTripIsExact_data()
{
    QTest::addColumn<WatermarkColor>("color");
    QTest::newRow("awkward fractions") << WatermarkColor(0.1, 1.0 / 3, 0.123456789012345, 2.0 / 3);
    QTest::newRow("black") << WatermarkColor::black();
    QTest::newRow("transparent white") << WatermarkColor(1, 1, 1, 0);
    QTest::newRow("tiny and near one") << WatermarkColor(1e-300, 5e-324, 0.9999999999999999, 0.7);
    QTest::newRow("outside 0 to 1") << WatermarkColor(-0.25, 1.5, 1e6, 1);
}

void TestWatermarkSettings::colourArchiveRoundTripIsExact()
{
    QFETCH(WatermarkColor, color);
    const auto archived = color.archive();
    QVERIFY2(archived.ok(), qPrintable(archived.error()));
    const auto back = WatermarkColor::unarchive(*archived);
    QVERIFY2(back.ok(), qPrintable(back.error()));
    QCOMPARE(*back, color); // exact: the comparison is of the doubles themselves
}

void TestWatermarkSettings::colourWithNonFiniteComponentDoesNotArchive_data()
{
    QTest::addColumn<WatermarkColor>("color");
    QTest::newRow("red NaN") << WatermarkColor(notANumber, 0, 0, 1);
    QTest::newRow("green NaN") << WatermarkColor(0, notANumber, 0, 1);
    QTest::newRow("blue infinite") << WatermarkColor(0, 0, infinity, 1);
    QTest::newRow("alpha minus infinite") << WatermarkColor(0, 0, 0, -infinity);
}

void TestWatermarkSettings::colourWithNonFiniteComponentDoesNotArchive()
{
    QFETCH(WatermarkColor, color);
    const auto archived = color.archive();
    QVERIFY(!archived.ok());
    QVERIFY(!archived.error().isEmpty());
}

void TestWatermarkSettings::damagedColourArchiveIsRejected_data()
{
    QTest::addColumn<QByteArray>("bytes");
    const Json good = Json::parse(WatermarkColor(0.1, 0.2, 0.3, 0.4).archive()->toStdString());
    auto damaged = [&](const char* key, const QByteArray& replacement) {
        return toBytes(withMember(good, QString::fromLatin1(key), replacement));
    };
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("not JSON") << QByteArray("\x00\x01garbage", 9);
    QTest::newRow("a JSON array") << QByteArray("[0.1,0.2,0.3,0.4]");
    QTest::newRow("another class") << damaged("class", "\"Font\"");
    QTest::newRow("no class") << damaged("class", "");
    QTest::newRow("a later version") << damaged("version", "2");
    QTest::newRow("no version") << damaged("version", "");
    QTest::newRow("another colour space") << damaged("colorSpace", "\"CMYK\"");
    QTest::newRow("three components") << damaged("components", "[0.1,0.2,0.3]");
    QTest::newRow("five components") << damaged("components", "[0.1,0.2,0.3,0.4,0.5]");
    QTest::newRow("a text component") << damaged("components", "[0.1,\"0.2\",0.3,0.4]");
    QTest::newRow("no components") << damaged("components", "");
}

void TestWatermarkSettings::damagedColourArchiveIsRejected()
{
    QFETCH(QByteArray, bytes);
    const auto color = WatermarkColor::unarchive(bytes);
    QVERIFY(!color.ok());
    QVERIFY(!color.error().isEmpty());
}

void TestWatermarkSettings::encodedMembersComeInFixedOrder_data()
{
    QTest::addColumn<WatermarkSnapshot>("design");
    QTest::addColumn<QStringList>("keys");
    const QStringList withPicture{"text",      "fontSize",  "opacity",      "rotation",  "id",
                                  "imageData", "imageSize", "type",         "xPosition", "yPosition",
                                  "textColor", "fontName",  "watermarkName"};
    QStringList withoutPicture = withPicture;
    withoutPicture.removeAll(QStringLiteral("imageData"));
    auto noPicture = unusualDesign();
    noPicture.imageData.reset();
    QTest::newRow("with picture") << unusualDesign() << withPicture;
    QTest::newRow("without picture") << noPicture << withoutPicture;
    QTest::newRow("new design") << WatermarkSettings::makeNew()->snapshot() << withoutPicture;
}

void TestWatermarkSettings::encodedMembersComeInFixedOrder()
{
    QFETCH(WatermarkSnapshot, design);
    QFETCH(QStringList, keys);
    const auto encoded = WatermarkCoding::encode(design);
    QVERIFY2(encoded.ok(), qPrintable(encoded.error()));
    QStringList actual;
    for (const auto& [key, value] : encoded->items())
        actual << QString::fromStdString(key);
    QCOMPARE(actual, keys);

    // The order must survive into the stored text too.
    const auto stored = nlohmann::ordered_json::parse(encodedList({design, design}).toStdString());
    QCOMPARE(stored.size(), size_t(2));
    QVERIFY(stored.at(1) == *encoded);
}

void TestWatermarkSettings::encodedTextIsCompactWithEscapedSlashesAndUpperCaseId()
{
    auto design = unusualDesign();
    design.text = QStringLiteral("a/b");
    design.fontName = QStringLiteral("Courier");
    design.watermarkName = QStringLiteral("Draft");
    design.imageData = QUrl(QStringLiteral("file:///tmp/logo.png"));
    auto second = WatermarkSettings::makeNew()->snapshot();
    second.text = second.watermarkName = QStringLiteral("Second");
    const QByteArray text = encodedList({design, second});

    QVERIFY2(text.startsWith("[{\"text\":\"a\\/b\",\"fontSize\":") && text.endsWith("\"}]"),
             text.constData());
    QVERIFY2(text.contains(",\"id\":\"6F1C2A3B-9D4E-4F5A-8B7C-0D1E2F3A4B5C\","), text.constData());
    QVERIFY2(text.contains(",\"imageData\":\"file:\\/\\/\\/tmp\\/logo.png\","), text.constData());
    QVERIFY2(text.contains("},{"), text.constData());
    for (char blank : {' ', '\n', '\r', '\t'})
        QVERIFY2(!text.contains(blank), text.constData());
    for (qsizetype i = text.indexOf('/'); i >= 0; i = text.indexOf('/', i + 1))
        QVERIFY2(i > 0 && text.at(i - 1) == '\\', text.constData());
}

void TestWatermarkSettings::designsSurviveEncodeAndDecode_data()
{
    QTest::addColumn<WatermarkSnapshot>("design");
    auto textOnly = unusualDesign();
    textOnly.imageData.reset();
    textOnly.type = WatermarkType::text;
    auto extremes = unusualDesign();
    extremes.text = QString();
    extremes.fontSize = 1e-300;
    extremes.rotation = -0.0;
    extremes.xPosition = -1e300;
    extremes.yPosition = 123456789012345678.0;
    extremes.textColor = WatermarkColor(1, 0, 0, 0);
    extremes.imageData = QUrl(QStringLiteral("https://example.com/a/b%2Fc.png?size=2&x=%C3%BC#top"));
    auto localFile = unusualDesign();
    localFile.imageData = QUrl::fromLocalFile(QStringLiteral("/tmp/Mein Logo (2) ü#1%.png"));
    QTest::newRow("picture and awkward numbers") << unusualDesign();
    QTest::newRow("picture with an awkward file name") << localFile;
    QTest::newRow("text only") << textOnly;
    QTest::newRow("new design") << WatermarkSettings::makeNew()->snapshot();
    QTest::newRow("extremes") << extremes;
}

void TestWatermarkSettings::designsSurviveEncodeAndDecode()
{
    QFETCH(WatermarkSnapshot, design);
    StdoutCapture capture;
    const QByteArray text = encodedList({design, design});
    const auto list = WatermarkCoding::decodeList(text);
    const auto one = WatermarkCoding::decodeOne(toBytes(Json::parse(text.toStdString()).at(0)));
    QCOMPARE(capture.finish(), QByteArray());
    QVERIFY2(list.ok(), qPrintable(list.error()));
    QCOMPARE(list->size(), size_t(2));
    QCOMPARE(list->at(0), design);
    QCOMPARE(list->at(1), design);
    QVERIFY2(one.ok(), qPrintable(one.error()));
    QCOMPARE(*one, design);
}

void TestWatermarkSettings::decodingAcceptsPlainSlashesAndLowerCaseId()
{
    QByteArray text = encodedList({unusualDesign()});
    QVERIFY(text.contains("\\/"));
    text.replace("\\/", "/");
    text.replace("6F1C2A3B-9D4E-4F5A-8B7C-0D1E2F3A4B5C", "6f1c2a3b-9d4e-4f5a-8b7c-0d1e2f3a4b5c");
    const auto list = WatermarkCoding::decodeList(text);
    QVERIFY2(list.ok(), qPrintable(list.error()));
    QCOMPARE(list->size(), size_t(1));
    QCOMPARE(list->front(), unusualDesign());
}

void TestWatermarkSettings::nonFiniteNumberFailsEncoding_data()
{
    QTest::addColumn<WatermarkSnapshot>("design");
    const std::pair<const char*, double WatermarkSnapshot::*> fields[] = {
        {"fontSize", &WatermarkSnapshot::fontSize},   {"opacity", &WatermarkSnapshot::opacity},
        {"rotation", &WatermarkSnapshot::rotation},   {"imageSize", &WatermarkSnapshot::imageSize},
        {"xPosition", &WatermarkSnapshot::xPosition}, {"yPosition", &WatermarkSnapshot::yPosition},
    };
    for (const auto& [name, field] : fields) {
        for (const auto& [kind, value] : {std::pair{"NaN", notANumber}, std::pair{"infinity", infinity},
                                          std::pair{"-infinity", -infinity}}) {
            auto design = unusualDesign();
            design.*field = value;
            QTest::addRow("%s %s", name, kind) << design;
        }
    }
    // The colour would print its own error if it were encoded; a failing design prints nothing.
    auto uncolourable = unusualDesign();
    uncolourable.textColor = WatermarkColor(notANumber, 0, 0, 1);
    uncolourable.opacity = notANumber;
    QTest::newRow("uncolourable too") << uncolourable;
}

void TestWatermarkSettings::nonFiniteNumberFailsEncoding()
{
    QFETCH(WatermarkSnapshot, design);
    auto uncolourable = unusualDesign();
    uncolourable.textColor = WatermarkColor(notANumber, 0, 0, 1);

    StdoutCapture capture;
    const auto alone = WatermarkCoding::encode(design);
    const auto inList = WatermarkCoding::encodeList({unusualDesign(), design});
    const auto afterUncolourable = WatermarkCoding::encodeList({uncolourable, design});
    QCOMPARE(capture.finish(), QByteArray());
    QVERIFY(!alone.ok());
    QVERIFY(!alone.error().isEmpty());
    QVERIFY(!inList.ok());
    QVERIFY(!afterUncolourable.ok());
}

void TestWatermarkSettings::uncolourableDesignIsStoredWithoutColour()
{
    auto design = unusualDesign();
    design.textColor = WatermarkColor(0.5, notANumber, 0.5, 1);
    StdoutCapture capture;
    const auto encoded = WatermarkCoding::encode(design);
    const QByteArray printed = capture.finish();

    QVERIFY2(encoded.ok(), qPrintable(encoded.error()));
    QVERIFY(!encoded->contains("textColor"));
    QVERIFY2(printed.startsWith("Error archiving color: ") && printed.count('\n') == 1 &&
                 printed.endsWith('\n') && printed.size() > int(sizeof "Error archiving color: "),
             printed.constData());

    StdoutCapture quiet;
    const auto decoded = WatermarkCoding::decode(Json::parse(encoded->dump()));
    QCOMPARE(quiet.finish(), QByteArray()); // an absent colour is black, not an error
    QVERIFY2(decoded.ok(), qPrintable(decoded.error()));
    design.textColor = WatermarkColor::black();
    QCOMPARE(*decoded, design);
}

void TestWatermarkSettings::brokenDesignFailsTheWholeList_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QByteArray>("replacement"); // JSON text; empty removes the member
    for (const char* key : {"text", "id", "type", "fontName", "watermarkName"}) {
        QTest::addRow("%s missing", key) << key << QByteArray();
        QTest::addRow("%s null", key) << key << QByteArray("null");
        QTest::addRow("%s a number", key) << key << QByteArray("7");
        QTest::addRow("%s an array", key) << key << QByteArray("[\"a\"]");
    }
    for (const char* key : {"fontSize", "opacity", "rotation", "xPosition", "yPosition"}) {
        QTest::addRow("%s missing", key) << key << QByteArray();
        QTest::addRow("%s null", key) << key << QByteArray("null");
        QTest::addRow("%s a string", key) << key << QByteArray("\"7\"");
        QTest::addRow("%s a boolean", key) << key << QByteArray("true");
    }
    QTest::newRow("type unknown") << "type" << QByteArray("\"video\"");
    QTest::newRow("type capitalised") << "type" << QByteArray("\"Text\"");
    QTest::newRow("id not a UUID") << "id" << QByteArray("\"not-a-uuid\"");
    QTest::newRow("id empty") << "id" << QByteArray("\"\"");
    QTest::newRow("id in braces") << "id" << QByteArray("\"{6F1C2A3B-9D4E-4F5A-8B7C-0D1E2F3A4B5C}\"");
    QTest::newRow("id with a line break")
        << "id" << QByteArray("\"6F1C2A3B-9D4E-4F5A-8B7C-0D1E2F3A4B5C\\n\"");
    QTest::newRow("id too long") << "id" << QByteArray("\"6F1C2A3B-9D4E-4F5A-8B7C-0D1E2F3A4B5C0\"");
    QTest::newRow("imageData a number") << "imageData" << QByteArray("5");
    QTest::newRow("imageSize a string") << "imageSize" << QByteArray("\"100\"");
}

void TestWatermarkSettings::brokenDesignFailsTheWholeList()
{
    QFETCH(QString, key);
    QFETCH(QByteArray, replacement);
    const Json good = encodedObject(unusualDesign());
    const Json broken = withMember(good, key, replacement);

    StdoutCapture capture;
    const auto alone = WatermarkCoding::decode(broken);
    const auto list = WatermarkCoding::decodeList(toBytes(Json::array({good, broken, good})));
    QCOMPARE(capture.finish(), QByteArray());
    QVERIFY(!alone.ok());
    QVERIFY(!alone.error().isEmpty());
    QVERIFY(!list.ok());
}

void TestWatermarkSettings::optionalAndUnknownMembers_data()
{
    QTest::addColumn<QStringList>("keys");
    QTest::addColumn<QByteArray>("replacement");
    QTest::addColumn<bool>("fromDefaults"); // picture, size and colour back at their defaults
    const QStringList optional{"imageData", "imageSize", "textColor"};
    QTest::newRow("optional members absent") << optional << QByteArray() << true;
    QTest::newRow("optional members null") << optional << QByteArray("null") << true;
    QTest::newRow("unknown members") << QStringList{"version", "extra"} << QByteArray("{\"a\":[1,null]}")
                                     << false;
}

void TestWatermarkSettings::optionalAndUnknownMembers()
{
    QFETCH(QStringList, keys);
    QFETCH(QByteArray, replacement);
    QFETCH(bool, fromDefaults);
    Json object = encodedObject(unusualDesign());
    for (const auto& key : keys)
        object = withMember(object, key, replacement);

    StdoutCapture capture;
    const auto decoded = WatermarkCoding::decode(object);
    QCOMPARE(capture.finish(), QByteArray());
    QVERIFY2(decoded.ok(), qPrintable(decoded.error()));
    auto expected = unusualDesign();
    if (fromDefaults) {
        expected.imageData.reset();
        expected.imageSize = 100;
        expected.textColor = WatermarkColor::black();
    }
    QCOMPARE(*decoded, expected);
}

void TestWatermarkSettings::unreadableColourDecodesAsBlack_data()
{
    QTest::addColumn<QByteArray>("archive"); // the bytes that go Base64-encoded under "textColor"
    Json laterVersion = Json::parse(WatermarkColor(0.1, 0.2, 0.3, 0.4).archive()->toStdString());
    laterVersion["version"] = 2;
    QTest::newRow("no bytes") << QByteArray();
    QTest::newRow("random bytes") << QByteArray("\xff\xfe\x00 not an archive", 18);
    QTest::newRow("a later archive version") << toBytes(laterVersion);
    QTest::newRow("no version") << QByteArray(R"({"class":"WatermarkColor","components":[1,0,0,1]})");
}

void TestWatermarkSettings::unreadableColourDecodesAsBlack()
{
    QFETCH(QByteArray, archive);
    auto object = encodedObject(unusualDesign());
    object["textColor"] = archive.toBase64().toStdString();

    StdoutCapture capture;
    const auto decoded = WatermarkCoding::decode(object);
    const QByteArray printed = capture.finish();

    QVERIFY2(decoded.ok(), qPrintable(decoded.error()));
    auto expected = unusualDesign();
    expected.textColor = WatermarkColor::black();
    QCOMPARE(*decoded, expected);
    const QByteArray prefix = "Error unarchiving color: ";
    QVERIFY2(printed.startsWith(prefix) && printed.size() > prefix.size() + 1 && printed.count('\n') == 1 &&
                 printed.endsWith('\n'),
             printed.constData());
}

void TestWatermarkSettings::listThatIsNotAnArrayFails_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("not JSON") << QByteArray("saved designs");
    QTest::newRow("cut short") << encodedList({unusualDesign()}).chopped(2);
    QTest::newRow("one object") << toBytes(encodedObject(unusualDesign()));
    QTest::newRow("null") << QByteArray("null");
    QTest::newRow("array of numbers") << QByteArray("[1,2]");
    QTest::newRow("trailing text") << encodedList({unusualDesign()}) + " []";
}

void TestWatermarkSettings::listThatIsNotAnArrayFails()
{
    QFETCH(QByteArray, text);
    const auto list = WatermarkCoding::decodeList(text);
    QVERIFY(!list.ok());
    QVERIFY(!list.error().isEmpty());

    const auto empty = WatermarkCoding::decodeList("[]");
    QVERIFY(empty.ok() && empty->empty());
}

QTEST_GUILESS_MAIN(TestWatermarkSettings)
#include "tst_WatermarkSettings.moc"
