#include <QtTest>

#include <filesystem>

#include "pair.h"
#include "stars/get_plate_stars.h"
#include "stars/star_lines.h"
#include "support/window_fixture.h"

namespace fs = std::filesystem;

class TestGetPlateStars : public QObject {
    Q_OBJECT
    testsupport::WindowFixture f;
    std::string dir;

private slots:
    void initTestCase() {
        skysim::PairOptions o;
        o.out = (fs::temp_directory_path() / ("vospen-gps-" + std::to_string(::getpid()))).string();
        o.width = o.height = 256;
        o.density = 8000;
        skysim::WritePair(o, skysim::MakePair(o));
        dir = o.out;
    }
    void cleanupTestCase() { fs::remove_all(dir); }
    void init() { f.setUp(); }

    void aHeldListStaysAsItWas() {
        stars::GetPlateStars(dir + "/reshot.fts", 5, 1, 1.5, 1, 1, 0);
        const auto held = stars::starList;
        const auto before = *held;
        QVERIFY(!before.empty());
        stars::GetPlateStars(dir + "/reference.fts", 3, 1, 1.5, 1, 4, 1);
        QVERIFY(stars::starList != held);
        QCOMPARE(*held, before);
        QVERIFY(f.dialogs->messages.empty());
    }

    void failureShowsNumberAndDescription() {
        stars::GetPlateStars(dir + "/absent.fts", 5, 1, 1.5, 1, 1, 0);
        QCOMPARE(stars::starList->size(), std::size_t(0));
        QCOMPARE(int(f.dialogs->messages.size()), 1);
        const QString text = f.dialogs->messages[0].text;
        QVERIFY(text.startsWith("Error in Sub GetPlateStars\r\n1001 "));
        QVERIFY(text.contains("absent.fts"));
        QCOMPARE(f.dialogs->messages[0].style, 0);
    }
};

QTEST_MAIN(TestGetPlateStars)
#include "test_get_plate_stars.moc"
