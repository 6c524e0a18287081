#include "designs/FontPicker.h"
#include "model/WatermarkSettings.h"
#include "render/FontResolver.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QTest>

class TestFontPicker : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // A listed face is the current entry; any other name is kept and shown as the placeholder.
    void picksAndFollowsTheDesign()
    {
        const auto settings = WatermarkSettings::makeNew();
        FontPicker picker(settings);
        QComboBox* menu = picker.menu();
        QTRY_COMPARE(menu->count(), FontResolver::installedFaces().size());
        // "Helvetica" is no installed face's name: no entry is current and the name is kept.
        QCOMPARE(menu->currentIndex(), -1);
        QCOMPARE(menu->placeholderText(), QStringLiteral("Helvetica"));

        // Type-ahead on the closed menu.
        QTest::keyClick(menu, Qt::Key_U);
        QVERIFY(settings->fontName().startsWith(QLatin1Char('U')));

        // An entry chosen in the popup.
        menu->showPopup();
        menu->view()->setCurrentIndex(
            menu->model()->index(menu->findText(QStringLiteral("DejaVu Sans Oblique")), 0));
        QTest::keyClick(menu->view(), Qt::Key_Return);
        QCOMPARE(settings->fontName(), QStringLiteral("DejaVu Sans Oblique"));
        settings->setFontName(QStringLiteral("Liberation Serif Bold"));
        QCOMPARE(menu->currentText(), QStringLiteral("Liberation Serif Bold"));
        settings->setFontName(QStringLiteral("ArialMT"));
        QCOMPARE(menu->currentIndex(), -1);
        QCOMPARE(menu->placeholderText(), QStringLiteral("ArialMT"));
    }
};

QTEST_MAIN(TestFontPicker)
#include "tst_FontPicker.moc"
