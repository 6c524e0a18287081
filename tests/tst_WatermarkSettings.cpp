#include "model/PageSelection.h"
#include "model/TextFields.h"
#include "model/WatermarkCoding.h"
#include "model/WatermarkSettings.h"
#include "support/StdoutCapture.h"

#include <QTest>

using Json = nlohmann::json;

namespace {

const WatermarkColor black(0, 0, 0, 1);
const QByteArray upperId = "6F1C2A3B-9D4E-4F5A-8B7C-0D1E2F3A4B5C";
const QUuid someId = QUuid::fromString(QLatin1String(upperId.toLower()));

// Every field away from its default and awkward to store, so a field lost, swapped or rounded shows.
const WatermarkSnapshot
    unusual(QStringLiteral("Draft/Entwurf \"ü\" \\ 草稿 😀"), 31.5, 1.0 / 3, -45.25, someId,
            QUrl(QStringLiteral("file:///tmp/logo%20one.png")), 37.123456789012345, 0.1, 87.75,
            WatermarkType::image, WatermarkColor(0.1, 1.0 / 3, 0.123456789012345, 0.75),
            QStringLiteral("Times New Roman"), QStringLiteral("Confidential"),
            WatermarkSnapshot::Layout::tiled, 2.5, 0.125, true, WatermarkSnapshot::Anchor::bottomRight, 4.75,
            WatermarkSnapshot::SizeReference::longerSide, 33.25, WatermarkSnapshot::Layer::multiply);

// The stored object of `unusual` with members set to JSON text, or removed for empty text.
Json storedWith(std::initializer_list<std::pair<QByteArray, QByteArray>> changes = {})
{
    Json object = Json::parse(WatermarkCoding::encodeList({unusual})->toStdString()).at(0);
    for (const auto& [key, value] : changes) {
        object.erase(key.toStdString());
        if (!value.isEmpty())
            object[key.toStdString()] = Json::parse(value.toStdString());
    }
    return object;
}

} // namespace

char* toString(const WatermarkSnapshot& design)
{
    const auto text = WatermarkCoding::encodeList({design});
    return qstrdup(text ? text->constData() : "(not encodable)");
}

class TestWatermarkSettings : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // A new design is the sample text in black Helvetica 24, centred, under a fresh id. (Every
    // field reaching its place through the initialiser shows in the setters' snapshots.)
    void newDesignAndIdentity()
    {
        const auto fresh = WatermarkSettings::makeNew();
        QVERIFY(!fresh->id().isNull() && WatermarkSettings::makeNew()->id() != fresh->id());
        QCOMPARE(fresh->snapshot(),
                 WatermarkSnapshot("Sample Watermark", 24, 0.5, 0, fresh->id(), std::nullopt, 100, 50, 50,
                                   WatermarkType::text, black, "Helvetica", "Your Watermark"));
        // Equality and hashing go by id alone: `unusual` differs from its twin in everything else.
        auto plain = fresh->snapshot();
        plain.id = someId;
        const auto twin = WatermarkSettings::fromSnapshot(unusual),
                   made = WatermarkSettings::fromSnapshot(plain);
        QVERIFY(*made == *twin && qHash(*made) == qHash(*twin));
        QVERIFY(!(*made == *fresh) && qHash(*made) != qHash(*fresh));
    }

    // A setter signals once, with the value already in place; the same value again is no change.
    void setterSignalsOnceAfterAChange()
    {
        const auto design = WatermarkSettings::fromSnapshot(unusual);
        std::vector<WatermarkSnapshot> seen;
        connect(design.get(), &WatermarkSettings::changed, this, [&] { seen.push_back(design->snapshot()); });
        for (int twice = 0; twice < 2; ++twice) {
            design->setFontSize(12);
            design->setRotation(7);
        }
        auto smaller = unusual;
        smaller.fontSize = 12;
        auto turned = smaller;
        turned.rotation = 7;
        QCOMPARE(seen, (std::vector{smaller, turned}));
    }

    void colourArchive()
    {
        // Ordinary values go through every stored design; these are the awkward ones.
        const WatermarkColor extreme(5e-324, 0.9999999999999999, -0.25, 1e6);
        const auto back = WatermarkColor::unarchive(*extreme.archive());
        QVERIFY(back.ok() && *back == extreme); // exact: == compares the doubles
        QVERIFY(!WatermarkColor(0, 0, 0, -qInf()).archive().ok());
        const QByteArray good = *WatermarkColor(0.1, 0.2, 0.3, 0.4).archive();
        const std::pair<const char*, const char*> damages[] = {
            {"{", "\x01{"}, {"WatermarkColor", "Font"}, {"\"version\":1", "\"version\":2"}, {"sRGB", "CMYK"},
            {",0.4]", "]"}, {"0.2", "\"0.2\""}};
        for (const auto& [from, to] : damages) {
            const QByteArray damaged = QByteArray(good).replace(from, to);
            QVERIFY2(damaged != good && !WatermarkColor::unarchive(damaged).ok(), damaged.constData());
        }
    }

    void storedTextIsCompactOrderedAndEscaped()
    {
        WatermarkSnapshot design("a/b", 31.5, 0.25, -45.25, someId, QUrl("file:///tmp/logo.png"), 37.5, 0.5,
                                 87.75, WatermarkType::image, WatermarkColor(0.5, 0.25, 0.125, 1), "Times",
                                 "Draft");
        // Single quotes stand for double ones, to keep the expected text readable.
        const QByteArray picture = "'imageData':'file:\\/\\/\\/tmp\\/logo.png',";
        QByteArray text = "[{'text':'a\\/b','fontSize':31.5,'opacity':0.25,'rotation':-45.25,'id':'" +
                          upperId + "'," + picture +
                          "'imageSize':37.5,'type':'image','xPosition':0.5,'yPosition':87.75,"
                          "'textColor':'COLOUR','fontName':'Times','watermarkName':'Draft',"
                          "'layout':'single','tileGapX':10.0,'tileGapY':10.0,'tileStagger':false,"
                          "'anchor':'custom','margin':3.0,'sizeReference':'points','relativeSize':50.0,"
                          "'layer':'over'}]";
        text.replace("COLOUR", design.textColor.archive()->toBase64().replace("/", "\\/"));
        QCOMPARE(*WatermarkCoding::encodeList({design}), QByteArray(text).replace('\'', '"'));
        design.imageData.reset();
        QCOMPARE(*WatermarkCoding::encodeList({design}), text.replace(picture, "").replace('\'', '"'));
    }

    // A colour that cannot be archived is left out with one line, and reads back black without
    // one. A number that is not finite fails the design and its list before anything is printed.
    void storedDesignsReadBack()
    {
        auto uncolourable = unusual;
        uncolourable.textColor = {0.5, qQNaN(), 0.5, 1};
        StdoutCapture capture;
        const QByteArray text = *WatermarkCoding::encodeList({unusual, uncolourable});
        // Read back as written, and with plain slashes and a lower-case id.
        const QByteArray relaxed = QByteArray(text).replace("\\/", "/").replace(upperId, upperId.toLower());
        const auto decoded = WatermarkCoding::decodeList(text), again = WatermarkCoding::decodeList(relaxed);
        const std::array fields{&WatermarkSnapshot::fontSize,  &WatermarkSnapshot::opacity,
                                &WatermarkSnapshot::rotation,  &WatermarkSnapshot::imageSize,
                                &WatermarkSnapshot::xPosition, &WatermarkSnapshot::yPosition,
                                &WatermarkSnapshot::tileGapX,  &WatermarkSnapshot::tileGapY,
                                &WatermarkSnapshot::margin,    &WatermarkSnapshot::relativeSize};
        QList<size_t> encodedAnyway; // fields whose value that is not finite was encoded all the same
        for (size_t row = 0; row < fields.size(); ++row) {
            auto design = unusual;
            design.*fields[row] = std::array{qQNaN(), qInf(), -qInf()}[row % 3];
            if (WatermarkCoding::encode(design).ok() ||
                WatermarkCoding::encodeList({uncolourable, design}).ok())
                encodedAnyway << row;
        }
        const QByteArray printed = capture.finish();
        QVERIFY2(printed.startsWith("Error archiving color: ") && printed.count('\n') == 1,
                 printed.constData());
        QCOMPARE(encodedAnyway, QList<size_t>());
        QVERIFY(relaxed != text && text.count("textColor") == 1);
        uncolourable.textColor = black;
        for (const auto* list : {&decoded, &again}) {
            QVERIFY2(list->ok(), qPrintable(list->error()));
            QCOMPARE(**list, (std::vector{unusual, uncolourable}));
        }
    }

    // A member missing, null or mistyped, or an optional one mistyped, fails the design and its
    // whole list. Absent optional members take their defaults; a colour that does not read is
    // reported and left black.
    void decoding_data()
    {
        QTest::addColumn<QByteArray>("key");
        QTest::addColumn<QByteArray>("value"); // JSON text; empty removes the member
        QTest::addColumn<bool>("reads");
        for (const char* key : {"text", "fontSize", "opacity", "rotation", "id", "type", "xPosition",
                                "yPosition", "fontName", "watermarkName"}) {
            for (const char* value : {"", "null", "true"}) // missing, null, mistyped
                QTest::addRow("%s %s", key, value) << QByteArray(key) << QByteArray(value) << false;
        }
        QTest::newRow("type unknown") << QByteArray("type") << QByteArray("\"video\"") << false;
        QTest::newRow("id not a UUID") << QByteArray("id") << QByteArray("\"not-a-uuid\"") << false;
        QTest::newRow("id with more after it") << QByteArray("id") << "\"" + upperId + "0\"" << false;
        QTest::newRow("id with a line break") << QByteArray("id") << "\"" + upperId + "\\n\"" << false;
        QTest::newRow("imageData a number") << QByteArray("imageData") << QByteArray("5") << false;
        QTest::newRow("imageSize a string") << QByteArray("imageSize") << QByteArray("\"100\"") << false;
        for (const char* key : {"imageData", "imageSize", "textColor"}) {
            for (const char* value : {"", "null"}) // absent
                QTest::addRow("%s %s", key, value) << QByteArray(key) << QByteArray(value) << true;
        }
        for (const char* key : {"layout", "tileGapX", "tileGapY", "tileStagger", "anchor", "margin",
                                "sizeReference", "relativeSize", "layer"}) {
            for (const char* value : {"", "null", "\"later\""}) // absent, or a later version's choice
                QTest::addRow("%s %s", key, value) << QByteArray(key) << QByteArray(value) << true;
        }
        // Pages: absent, every page as today; text that does not read, kept as written.
        for (const char* value : {"", "null", "\"2-,-1\"", "\"5-3\""})
            QTest::addRow("pages %s", value) << QByteArray("pages") << QByteArray(value) << true;
        QTest::newRow("colour not Base64") << QByteArray("textColor") << QByteArray("\"#$%!\"") << true;
        QTest::newRow("colour not an archive")
            << QByteArray("textColor") << "\"" + QByteArray("junk").toBase64() + "\"" << true;
        QTest::newRow("colour not a string") << QByteArray("textColor") << QByteArray("5") << true;
    }

    void decoding()
    {
        QFETCH(QByteArray, key);
        QFETCH(QByteArray, value);
        QFETCH(bool, reads);
        const Json object = storedWith({{key, value}});
        StdoutCapture capture;
        const auto decoded = WatermarkCoding::decode(object);
        const auto list = WatermarkCoding::decodeList(
            QByteArray::fromStdString(Json::array({storedWith(), object}).dump()));
        const QByteArray printed = capture.finish();
        QCOMPARE(decoded.ok(), reads);
        QCOMPARE(list.ok(), reads);
        if (!reads)
            return;
        const bool reported = key == "textColor" && value != "" && value != "null"; // else just absent
        QVERIFY2(printed.startsWith(reported ? "Error unarchiving color: " : "") &&
                     printed.count('\n') == 2 * reported, // once for the design, once for its list
                 printed.constData());
        auto expected = unusual;
        if (key == "imageData")
            expected.imageData.reset();
        if (key == "imageSize")
            expected.imageSize = 100;
        if (key == "textColor")
            expected.textColor = black;
        if (key == "pages") { // stored back as read; text that does not read stamps no page
            const QByteArray text =
                value.isEmpty() || value == "null" ? "all" : QByteArray(value).replace('"', "");
            expected.pages = PageSelection::stored(text);
            QCOMPARE(QByteArray::fromStdString(WatermarkCoding::encode(*decoded)->value("pages", "all")),
                     text);
            QCOMPARE(decoded->pages.stampedPages(9).ok(), text != "5-3");
        }
        auto actual = *decoded;
        if (QByteArrayList{"layout", "tileGapX", "tileGapY", "tileStagger", "anchor", "margin",
                           "sizeReference", "relativeSize", "layer"}
                .contains(key)) {
            // The member keeps today's behaviour; everything else reads as stored.
            const std::string member = key.toStdString();
            auto read = *WatermarkCoding::encode(actual);
            QVERIFY(read[member] == (*WatermarkCoding::encode({}))[member]);
            read[member] = (*WatermarkCoding::encode(unusual))[member];
            actual = *WatermarkCoding::decode(Json::parse(read.dump()));
        }
        QCOMPARE(actual, expected);
        QCOMPARE((*list)[1], *decoded);
    }
    // The words and the list grammar, and the pages each selects of documents of a few lengths.
    void pageSelection_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("count");
        QTest::addColumn<std::vector<int>>("pages");
        QTest::addColumn<QString>("error"); // the start of the reason; empty when it reads
        const auto row = [](const char* text, int count, std::vector<int> pages, const char* error = "") {
            QTest::addRow("%s of %d", text, count)
                << QString::fromUtf8(text) << count << pages << QString::fromUtf8(error);
        };
        row("all", 3, {1, 2, 3});
        row("first", 3, {1});
        row("first", 0, {});
        row("allButFirst", 3, {2, 3});
        row("allButFirst", 1, {});
        row("last", 3, {3});
        row("odd", 5, {1, 3, 5});
        row("even", 5, {2, 4});
        row("1-3,5,8-", 10, {1, 2, 3, 5, 8, 9, 10});
        row("2-,-1", 4, {2, 3, 4});
        row(" -3 - -2 , 1 ", 5, {1, 3, 4});
        row("-3-", 5, {3, 4, 5});
        row("7,-7", 5, {});
        row("-2147483647-,2-9", 5, {1, 2, 3, 4, 5});
        row("0", 5, {}, "“0” names a page 0");
        row("1-0", 5, {}, "“1-0” names a page 0");
        row("5-3", 5, {}, "“5-3” runs backwards");
        row("-1--3", 5, {}, "“-1--3” runs backwards");
        row("odd pages", 5, {}, "“odd pages” is not a page");
        row("1,,2", 5, {}, "“” is not a page");
        row("99999999999", 5, {}, "“99999999999” names a page no document has");
    }

    void pageSelection()
    {
        QFETCH(QString, text);
        QFETCH(int, count);
        QFETCH(std::vector<int>, pages);
        QFETCH(QString, error);
        const auto selection = PageSelection::parse(text);
        QVERIFY2(error.isEmpty() ? selection.ok() : selection.error().startsWith(error),
                 qPrintable(selection.error()));
        if (selection)
            QCOMPARE(selection->pagesOf(count), pages);
    }
    // Each field replaced, braces doubled to write one, and anything else left as written.
    void textFields()
    {
        const TextFields::Values values{.fileName = "Report",
                                        .date = "07/12/2026",
                                        .page = 3,
                                        .pages = 12,
                                        .number = 4,
                                        .recipient = "ACME",
                                        .metadata = [](const QString& key) {
                                            return key == "DateTimeOriginal" ? QStringLiteral("2024:06:03")
                                                                             : QString();
                                        }};
        QCOMPARE(
            TextFields::expand("Page {page} of {pages} – {filename}, {date}, #{n} for {recipient}", values),
            QStringLiteral("Page 3 of 12 – Report, 07/12/2026, #4 for ACME"));
        QCOMPARE(TextFields::expand("{exif:DateTimeOriginal}|{exif:Xmp.dc.title}|{exif:}", values),
                 QStringLiteral("2024:06:03||{exif:}"));
        const QString literal = "{{page}} {unknown} {page {pages}} {{ }} { } {";
        QCOMPARE(TextFields::expand(literal, values), QStringLiteral("{page} {unknown} {page 12} { } { } {"));
        // Filled per file first, then per page: escapes and a value's own braces survive the first.
        const QString perFile = TextFields::fill("{{page}} {page} {filename}", {.fileName = "a{n}b"});
        QCOMPARE(perFile, QStringLiteral("{{page}} {page} a{{n}}b"));
        QCOMPARE(TextFields::expand(perFile, {.page = 3, .number = 9}), QStringLiteral("{page} 3 a{n}b"));
        QVERIFY(TextFields::variesPerPage("p. {pages}") && !TextFields::variesPerPage("{{page}} {filename}"));
        QVERIFY(TextFields::uses("For {recipient}", "recipient") &&
                !TextFields::uses("{{recipient}}", "recipient"));
    }
};

QTEST_GUILESS_MAIN(TestWatermarkSettings)
#include "tst_WatermarkSettings.moc"
