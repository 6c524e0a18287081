#include <QTest>

class TestSavedDesigns : public QObject
{
    Q_OBJECT
};

QTEST_GUILESS_MAIN(TestSavedDesigns)
#include "tst_SavedDesigns.moc"
