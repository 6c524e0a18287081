#include "render/ContentBytes.h"
#include "render/GraphicsStateDepth.h"

#include <QTest>

#include <qpdf/Pl_Flate.hh>
#include <qpdf/Pl_String.hh>
#include <qpdf/QPDF.hh>

namespace {

std::string deflated(const std::string& text)
{
    std::string packed;
    Pl_String sink("packed", nullptr, packed);
    Pl_Flate deflate("deflate", &sink, Pl_Flate::a_deflate);
    deflate.write(reinterpret_cast<const unsigned char*>(text.data()), text.size());
    deflate.finish();
    return packed;
}

} // namespace

class TestGraphicsStateDepth : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Only operators count: not what strings, names, comments or inline image data hold.
    void operatorsOnly_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<int>("lowest");
        QTest::addColumn<int>("ending");
        QTest::addColumn<bool>("inText");
        QTest::newRow("balanced") << QByteArray("q 1 0 0 1 5 5 cm q Q Q") << 0 << 0 << false;
        QTest::newRow("open") << QByteArray("q q 0 0 10 10 re W n") << 0 << 2 << false;
        QTest::newRow("more Q than q") << QByteArray("Q Q q\nQ Q") << -3 << -3 << false;
        QTest::newRow("strings") << QByteArray("BT (q \\) (Q) q) Tj <51> Tj ET q") << 0 << 1 << false;
        QTest::newRow("names, dictionaries")
            << QByteArray("/q gs /Q << /Q 1 >> BDC EMC Q") << -1 << -1 << false;
        QTest::newRow("comment") << QByteArray("q % Q Q Q\nq") << 0 << 2 << false;
        QTest::newRow("words that are not q") << QByteArray("qQ Qq q1") << 0 << 0 << false;
        QTest::newRow("open text object") << QByteArray("q BT /F1 12 Tf (ET) Tj") << 0 << 1 << true;
        QTest::newRow("inline image")
            << QByteArray("q BI /W 2 /H 1 /BPC 8 /CS /G ID QQ\nEI Q Q") << -1 << -1 << false;
    }

    void operatorsOnly()
    {
        QFETCH(QByteArray, content);
        QFETCH(int, lowest);
        QFETCH(int, ending);
        QFETCH(bool, inText);
        const auto depth = GraphicsStateDepth::of(content.toStdString());
        QCOMPARE(depth.lowest, lowest);
        QCOMPARE(depth.ending, ending);
        QCOMPARE(depth.inText, inText);
        // The brackets leave the state as it was before them, whatever the content does.
        const auto all = depth.opening() + content.toStdString() + depth.closing();
        const auto bracketed = GraphicsStateDepth::of(all);
        QVERIFY2(bracketed.lowest == 0 && bracketed.ending == 0 && !bracketed.inText, all.c_str());
    }

    // Many contents are read over the threads, each into its own place; stored, deflated and
    // joined streams decode, and content that cannot be decoded counts as balanced.
    void manyContents()
    {
        QPDF pdf;
        pdf.emptyPDF();
        std::vector<ContentBytes> contents;
        for (int i = 0; i < 200; ++i) {
            std::string opened;
            for (int j = 0; j < i % 7; ++j)
                opened += "q ";
            auto plain = pdf.newStream(opened);
            auto packed = pdf.newStream(deflated("q Q Q\n"));
            packed.getDict().replaceKey("/Filter", QPDFObjectHandle::newName("/FlateDecode"));
            contents.push_back(ContentBytes::read({plain, packed}));
        }
        auto unknown = pdf.newStream(std::string("Q Q"));
        unknown.getDict().replaceKey("/Filter", QPDFObjectHandle::newName("/Foo"));
        contents.push_back(ContentBytes::read({unknown}));
        const auto depths = GraphicsStateDepth::ofEach(contents);
        QCOMPARE(depths.size(), contents.size());
        for (int i = 0; i < 200; ++i)
            QCOMPARE(depths[size_t(i)].ending, i % 7 - 1);
        QCOMPARE(depths.back().lowest, 0);
        QCOMPARE(depths.back().ending, 0);
    }
};

QTEST_GUILESS_MAIN(TestGraphicsStateDepth)
#include "tst_GraphicsStateDepth.moc"
