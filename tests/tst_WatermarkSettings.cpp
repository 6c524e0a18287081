#include <QTest>

class TestWatermarkSettings : public QObject
{
    Q_OBJECT
};

QTEST_GUILESS_MAIN(TestWatermarkSettings)
#include "tst_WatermarkSettings.moc"
