// Work that the window's first frame does not need waits for that frame, or for a time limit
// when the window is not painted.
#include <QtTest>

#include "app/after_first_paint.h"

namespace {

class CountedPaints : public QWidget {
public:
    int paints = 0;

protected:
    void paintEvent(QPaintEvent* /*event*/) override { ++paints; }
};

}  // namespace

class AfterFirstPaintTest : public QObject {
    Q_OBJECT

private slots:
    void workRunsOnceRightAfterTheFirstPaint() {
        CountedPaints window;
        window.resize(200, 100);
        QList<int> paintsSeen;
        afterFirstPaint(
            window, [&] { paintsSeen << window.paints; }, 60'000);
        QCoreApplication::processEvents();
        QVERIFY(paintsSeen.isEmpty());

        window.show();
        QTRY_COMPARE(paintsSeen.size(), 1);
        QVERIFY(paintsSeen.front() >= 1);
        const int paintsBefore = window.paints;
        window.update();
        QTRY_COMPARE(window.paints, paintsBefore + 1);
        QCoreApplication::processEvents();
        QCOMPARE(paintsSeen.size(), 1);
    }

    void workOnAWindowNeverPaintedRunsAtTheTimeLimit() {
        CountedPaints window;
        int runs = 0;
        afterFirstPaint(
            window, [&] { ++runs; }, 50);
        QTRY_COMPARE(runs, 1);
        QTest::qWait(100);
        QCOMPARE(runs, 1);
        QCOMPARE(window.paints, 0);
    }
};

QTEST_MAIN(AfterFirstPaintTest)
#include "after_first_paint_test.moc"
