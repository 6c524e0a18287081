#include <QTest>

class TestWatermarkPDFFile : public QObject
{
    Q_OBJECT
};

QTEST_GUILESS_MAIN(TestWatermarkPDFFile)
#include "tst_WatermarkPDFFile.moc"
