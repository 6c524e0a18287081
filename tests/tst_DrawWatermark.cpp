#include <QTest>

class TestDrawWatermark : public QObject
{
    Q_OBJECT
};

QTEST_GUILESS_MAIN(TestDrawWatermark)
#include "tst_DrawWatermark.moc"
