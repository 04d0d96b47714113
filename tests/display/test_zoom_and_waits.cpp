#include <QtTest>

#include <chrono>

#include <filesystem>

#include "display/picture_loader.h"
#include "display/timed_waits.h"
#include "display/zoom.h"
#include "shell/frm_main.h"
#include "support/window_fixture.h"

using shell::FrmMain;

class TestZoomAndWaits : public QObject {
    Q_OBJECT
    testsupport::WindowFixture f;

private slots:
    void init() {
        f.setUp();
        display::zoomCenterX = display::zoomCenterY = 0;
    }

    void aClickMovesBarsZoomAndFramesTheSquareForASecond() {
        FrmMain w;
        w.Form_Load("");
        QCOMPARE(int(display::zoomCenterX), 0);
        QCOMPARE(int(display::zoomCenterY), 0);
        bool visibleDuring = false;
        QString style;
        QTimer::singleShot(300, [&] {
            visibleDuring = !w.Shape1->isHidden();
            style = w.Shape1->styleSheet();
        });
        w.picMain_MouseDown(300, 200);
        QVERIFY(visibleDuring);
        QVERIFY(style.contains("255,255,0")); // yellow
        QVERIFY(w.Shape1->isHidden());
        QCOMPARE(w.HScroll1->value(), 300);
        QCOMPARE(w.VScroll1->value(), 200);
        QCOMPARE(int(display::zoomCenterX), 300);
        QCOMPARE(int(display::zoomCenterY), 200);
        QCOMPARE(w.Shape1->geometry().left(), 276); // 275 inside the 1-pixel border

        // outside both ranges: the bars stay, the zoom still centres on the click
        w.chkInvert->setChecked(true);
        QTimer::singleShot(200, [&] { style = w.Shape1->styleSheet(); });
        w.picMain_MouseDown(680, 30);
        QVERIFY(style.contains("255,0,0")); // light red when inverted
        QCOMPARE(w.HScroll1->value(), 300);
        QCOMPARE(w.VScroll1->value(), 200);
        QCOMPARE(int(display::zoomCenterX), 680);
        QCOMPARE(int(display::zoomCenterY), 30);
    }

    void barsAndContinuousZoom() {
        FrmMain w;
        w.Form_Load("");
        w.VScroll1->setValue(470);
        w.HScroll1->setValue(100);
        QCOMPARE(int(display::zoomCenterX), 100);
        QCOMPARE(int(display::zoomCenterY), 470);
        w.chkZoom->setChecked(false);
        w.picMain_MouseMove(10, 10);
        QCOMPARE(int(display::zoomCenterX), 100);
        w.chkZoom->setChecked(true);
        w.picMain_MouseMove(10.5, 11.5); // halves to even
        QCOMPARE(int(display::zoomCenterX), 10);
        QCOMPARE(int(display::zoomCenterY), 12);
        QCOMPARE(w.HScroll1->value(), 100); // moves do not touch the bars
    }

    void aPictureWrittenAnewIsShownAnew() {
        const QString dir = QDir::tempPath() + "/vospen-pictures-" + QString::number(QCoreApplication::applicationPid());
        QDir().mkpath(dir);
        const std::string path = (dir + "/ReshotImage.jpg").toStdString();
        QImage white(800, 600, QImage::Format_Grayscale8), black(800, 600, QImage::Format_Grayscale8);
        white.fill(255);
        black.fill(0);
        QVERIFY(white.save(QString::fromStdString(path), "JPG"));
        const QImage first = display::LoadPicture(path, QSize(696, 520));
        QCOMPARE(qGray(first.pixel(10, 10)), 255);
        QCOMPARE(display::LoadPicture(path, QSize(696, 520)).cacheKey(), first.cacheKey()); // kept
        // the same name written again (a new run): the new picture, even at the same size
        QVERIFY(black.save(QString::fromStdString(path), "JPG"));
        std::filesystem::last_write_time(path, std::filesystem::last_write_time(path) + std::chrono::seconds(1));
        QVERIFY(qGray(display::LoadPicture(path, QSize(696, 520)).pixel(10, 10)) < 10);
        std::filesystem::remove(path);
        QVERIFY(display::LoadPicture(path, QSize(696, 520)).isNull());
        QDir(dir).removeRecursively();
    }

    void nestedWaitsEndWithTheLatest() {
        using Clock = std::chrono::steady_clock;
        bool innerDone = false;
        Clock::time_point innerEnd;
        QTimer::singleShot(100, [&] {
            display::WaitMilliseconds(300);
            innerDone = true;
            innerEnd = Clock::now();
        });
        const auto start = Clock::now();
        display::WaitSeconds(2);
        const auto outer = Clock::now() - start;
        QVERIFY(innerDone);
        // the outer wait ends with the inner one (about 0.4 s), long before its own 2 s
        QVERIFY(outer < std::chrono::milliseconds(1500));
        QVERIFY(outer >= std::chrono::milliseconds(350));
        QVERIFY(Clock::now() - innerEnd < std::chrono::milliseconds(500));
    }
};

QTEST_MAIN(TestZoomAndWaits)
#include "test_zoom_and_waits.moc"
