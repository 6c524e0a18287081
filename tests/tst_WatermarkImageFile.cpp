#include <QTest>

class TestWatermarkImageFile : public QObject
{
    Q_OBJECT
};

QTEST_GUILESS_MAIN(TestWatermarkImageFile)
#include "tst_WatermarkImageFile.moc"
