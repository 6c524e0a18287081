#include "render/FontResolver.h"
#include "support/TestFiles.h"

#include <QRawFont>
#include <QTest>

#include <fontconfig/fontconfig.h>

#include <future>

using namespace TestFiles;

namespace {

// A sample line in the named font, drawn through the one drawing routine; on a thread of its
// own, as the batch draws, when asked.
QImage drawn(const QString& fontName, bool onWorker = false)
{
    if (onWorker)
        return std::async(std::launch::async, drawn, fontName, false).get();
    auto design = redText(QStringLiteral("Hamburgefonstiv"), 50, 50, 0, 40);
    design.fontName = fontName;
    return drawnOnWhite(design, {600, 120});
}

int inkOf(const QImage& image)
{
    const auto* pixels = reinterpret_cast<const QRgb*>(image.constBits());
    return int(std::count_if(pixels, pixels + image.width() * image.height(), isRed));
}

// fontconfig's full names for the face Qt really loads for font.
QStringList loadedFullNames(const QFont& font)
{
    const QRawFont raw = QRawFont::fromFont(font);
    const QByteArray family = raw.familyName().section(QStringLiteral(" ["), 0, 0).toUtf8(); // no foundry
    const QByteArray style = raw.styleName().toUtf8();
    FcPattern* face = FcPatternBuild(nullptr, FC_FAMILY, FcTypeString, family.constData(), FC_STYLE,
                                     FcTypeString, style.constData(), nullptr);
    FcObjectSet* objects = FcObjectSetBuild(FC_FULLNAME, nullptr);
    FcFontSet* fonts = FcFontList(nullptr, face, objects);
    QStringList names;
    FcChar8* name = nullptr;
    for (int i = 0; i < fonts->nfont; ++i) {
        for (int n = 0; FcPatternGetString(fonts->fonts[i], FC_FULLNAME, n, &name) == FcResultMatch; ++n)
            names.append(QString::fromUtf8(reinterpret_cast<const char*>(name)));
    }
    FcFontSetDestroy(fonts);
    FcObjectSetDestroy(objects);
    FcPatternDestroy(face);
    return names;
}

} // namespace

class TestFontResolver : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Full, PostScript and family names, including those of faces this machine lacks, reach the
    // installed face, never the default one, on worker threads too; bold names draw visibly bolder.
    void namesDrawTheirFace_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("face");
        QTest::addColumn<QString>("bolderThan");
        const auto row = [](const char* name, const char* face, const char* bolderThan = "") {
            QTest::newRow(name) << QString(name) << QString(face) << QString(bolderThan);
        };
        row("Nimbus Sans Bold", "NimbusSans-Bold", "Nimbus Sans");
        row("Helvetica", "Nimbus Sans Regular");
        row("Helvetica-Bold", "Nimbus Sans Bold", "Helvetica");
        row("Helvetica Bold Oblique", "Nimbus Sans Bold Italic");
        row("Arial-BoldMT", "Liberation Sans Bold");
        row("Times New Roman", "Liberation Serif");
        row("DejaVu Sans Condensed Bold", "DejaVuSansCondensed-Bold");
    }

    void namesDrawTheirFace()
    {
        QFETCH(QString, name);
        QFETCH(QString, face);
        QFETCH(QString, bolderThan);
        const QImage expected = drawn(face);
        QVERIFY(expected != drawn(QStringLiteral("DejaVu Sans")));
        QCOMPARE(drawn(name, true), expected);
        if (!bolderThan.isEmpty())
            QVERIFY(inkOf(expected) > 1.25 * inkOf(drawn(bolderThan)));
    }

    // One entry per face, URW's Type 1 and OpenType copies listed once, each name drawing a
    // face that carries it.
    void everyListedFaceResolvesToItself()
    {
        const QStringList faces = FontResolver::installedFaces();
        QCOMPARE(faces.count(QStringLiteral("Nimbus Sans Bold")), 1);
        QVERIFY(faces.contains(QStringLiteral("DejaVu Sans Oblique")));
        QVERIFY(!faces.contains(QStringLiteral("NimbusSans-Bold")));
        QVERIFY(std::is_sorted(faces.begin(), faces.end(), [](const QString& a, const QString& b) {
            return a.compare(b, Qt::CaseInsensitive) < 0;
        }));
        QCOMPARE(faces.join(QLatin1Char('\n')).toCaseFolded().split(QLatin1Char('\n')).removeDuplicates(), 0);
        for (const QString& name : faces)
            QVERIFY2(loadedFullNames(FontResolver::fontFor(name)).contains(name), qPrintable(name));
    }
};

QTEST_MAIN(TestFontResolver)
#include "tst_FontResolver.moc"
