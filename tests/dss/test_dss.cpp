// The survey-picture request, the download against a real local server, the
// reply check, and the retrieval through the window.
#include <QtTest>

#include <filesystem>

#include "support/files.h"
#include <fstream>
#include <memory>
#include <sstream>

#include <zlib.h>

#include "dss/dss_request.h"
#include "pair.h"
#include "platform/http_download.h"
#include "shell/frm_main.h"
#include "shell/working_settings.h"
#include "support/http_server.h"
#include "support/window_fixture.h"

namespace fs = std::filesystem;

namespace {

// The simulated survey plate with its RA moved by `hours`: a plate of another field.
std::string plateMovedBy(const std::string& plate, int hours) {
    std::string moved = plate;
    for (std::size_t o = 0; o + 80 <= moved.size() && moved.compare(o, 3, "END") != 0; o += 80)
        if (moved.compare(o, 9, "PLTRAH  =") == 0) {
            const int h = std::atoi(moved.substr(o + 10, 20).c_str());
            char card[81];
            std::snprintf(card, sizeof card, "PLTRAH  = %20d", (h + hours) % 24);
            std::string c(card);
            c.resize(80, ' ');
            moved.replace(o, 80, c);
        }
    return moved;
}

} // namespace

class TestDss : public QObject {
    Q_OBJECT
    testsupport::WindowFixture f;
    fs::path root;
    skysim::Pair pair;
    // The window loaded, on the pair's reshot and work folder, the server set.
    void openOnThePair(shell::FrmMain& w, const testsupport::HttpServer& server) {
        w.Form_Load("");
        shell::dssServer = server.base();
        w.reshotPath = (root / "pair" / "reshot.fts").string();
        w.workFolder = (root / "pair" / "current").string() + "/";
        w.cmdGetDSS->setEnabled(true);
    }

private slots:
    void initTestCase() {
        root = fs::temp_directory_path() / ("vospen-dss-" + std::to_string(::getpid()));
        skysim::PairOptions o;
        o.out = (root / "pair").string();
        o.width = 640;
        o.height = 480;
        o.seed = 17;
        o.dss = true;
        o.supernovae = {14.5}; // a candidate for the cards
        pair = skysim::MakePair(o);
        skysim::WritePair(o, pair);
        fs::create_directories(root / "pair" / "current");
    }
    void cleanupTestCase() { fs::remove_all(root); }

    // The cards of a check made before the plate came: fetching the plate
    // gives them its verdict.
    void aFetchedPlateGivesTheCardsItsVerdict() {
        const fs::path dir = root / "pair";
        testsupport::HttpServer server;
        server.body = testsupport::Slurp(dir / "dss.fits");
        shell::FrmMain w;
        w.Form_Load(QString::fromStdString((dir / "reference.fts").string() + "," + (dir / "reshot.fts").string() + "," +
                                           (dir / "catalog").string() + ",1"));
        shell::dssServer = server.base();
        fs::remove(fs::path(w.workFolder) / "DSSPicture.fit");
        w.cmdcheck->click();
        QVERIFY(w.lstUnidentified->count() >= 1);
        w.lstCandidates->setCurrentRow(0);
        w.lstCandidates_Click();
        QVERIFY(w.txtCard->toPlainText().contains("Sky survey: not made: No sky-survey plate"));
        w.cmdGetDSS->click();
        QVERIFY(f.dialogs->messages.empty());
        QVERIFY2(w.txtCard->toPlainText().contains(QRegularExpression("Sky survey: (a|perhaps|no) .*source")),
                 qPrintable(w.txtCard->toPlainText()));
    }

    void init() {
        f.setUp();
        fs::remove(root / "pair" / "current" / "DSSPicture.fit");
        fs::remove(root / "pair" / "current" / "DSSPicture.jpg");
    }

    void theRequestText() {
        // the worked example: 1392 x 1040 at 1.5"/px, RA 12.5 h, Dec +45.25
        QCOMPARE(QString::fromStdString(dss::DssRequest(12.5, 45.25, dss::FieldArcmin(1040, 1.5),
                                                        dss::FieldArcmin(1392, 1.5), '.')),
                 QString("/cgi-bin/dss_search?v=poss2ukstu_red&r=12+30+0.0&d=%2B45+15+0.0&e=J2000&h=26&w=34.8"
                         "&f=fit&c=none&fov=NONE&v3="));
        // the south: "-" and the absolute value
        QVERIFY(QString::fromStdString(dss::DssRequest(1.0, -12.5, 10, 10, '.')).contains("&d=-12+30+0.0&"));
        // a comma locale, a long field size, seconds rounding to 60.0
        QCOMPARE(QString::fromStdString(dss::FieldSize(dss::FieldArcmin(1040, 1.55), ',')), QString("26,8666666666667"));
        QCOMPARE(QString::fromStdString(dss::Sexagesimal(12.5, ',')), QString("12+30+0,0"));
        QCOMPARE(QString::fromStdString(dss::Sexagesimal(1.0 + 59.0 / 60 + 59.97 / 3600, '.')), QString("1+59+60.0"));
        QCOMPARE(dss::FieldArcmin(40000, 1.5), 1000.0); // no 16-bit overflow
    }

    void downloadsAgainstALocalServer() {
        testsupport::HttpServer server;
        server.body = "SIMPLE  =                    T";
        const std::string file = (root / "dl.bin").string();
        auto r = platform::DownloadToFile(server.base() + "/x", file);
        QVERIFY(r.ok);
        QCOMPARE(testsupport::Slurp(file), server.body);
        server.mode = testsupport::HttpServer::Mode::NotFound;
        r = platform::DownloadToFile(server.base() + "/x", file);
        QVERIFY(!r.ok);
        QVERIFY(QString::fromStdString(r.error).contains("404"));
        server.mode = testsupport::HttpServer::Mode::Redirect;
        r = platform::DownloadToFile(server.base() + "/x", file);
        QVERIFY(r.ok);
        server.mode = testsupport::HttpServer::Mode::Hang;
        r = platform::DownloadToFile(server.base() + "/x", file, {1, 100u << 20});
        QVERIFY(!r.ok);
        QVERIFY(QString::fromStdString(r.error).contains("within 1 s"));
        server.mode = testsupport::HttpServer::Mode::Huge;
        r = platform::DownloadToFile(server.base() + "/x", file, {30, 1u << 20});
        QVERIFY(!r.ok);
        QVERIFY(QString::fromStdString(r.error).contains("larger than 1 MB"));
    }

    void replyCheck() {
        const fs::path p = root / "reply.fit";
        std::ofstream(p) << "<html>error</html>";
        QVERIFY(QString::fromStdString(dss::CheckDssReply(p.string())).contains("web page"));
        std::ofstream(p, std::ios::trunc) << "";
        QVERIFY(QString::fromStdString(dss::CheckDssReply(p.string())).contains("empty"));
        const fs::path real = fs::path(VOSPEN_REAL_DATA) / "dss" / "dss.14.29.56-62.41.05.fits.gz";
        if (fs::exists(real)) { // a gzip reply is unpacked into place
            fs::copy_file(real, p, fs::copy_options::overwrite_existing);
            QCOMPARE(QString::fromStdString(dss::CheckDssReply(p.string())), QString());
            QVERIFY(testsupport::Slurp(p).rfind("SIMPLE  =", 0) == 0);
        }
    }

    // A reply whose header claims a plate far larger than the field asked for
    // (a small gzip reply could unpack to gigabytes) is refused unread.
    void aPlateFarLargerThanAskedIsRefusedBeforeUnpacking() {
        const fs::path p = root / "huge.fit";
        std::string h;
        for (const char* c : {"SIMPLE  =                    T", "BITPIX  =                    8", "NAXIS   =                    2",
                              "NAXIS1  =                20000", "NAXIS2  =                20000", "END"}) {
            std::string card(c);
            card.resize(80, ' ');
            h += card;
        }
        h.resize(2880, ' ');
        for (const bool zipped : {false, true}) {
            if (zipped) {
                std::unique_ptr<gzFile_s, int (*)(gzFile)> gz(gzopen(p.c_str(), "wb"), gzclose);
                gzwrite(gz.get(), h.data(), static_cast<unsigned>(h.size()));
            } else {
                std::ofstream(p, std::ios::binary | std::ios::trunc) << h;
            }
            const QString why = QString::fromStdString(dss::CheckDssReply(p.string(), dss::MostDssPixels(16, 12)));
            QVERIFY2(why.contains("400000000 pixels"), qPrintable(why));
        }
        QVERIFY(dss::MostDssPixels(16, 12) >= 16LL * 960 * 720);
    }

    // A reply that starts like FITS but cannot serve: cut short, or a plate of
    // another field. Never kept; a kept picture of another field (two
    // galaxies' reshots in one folder) is fetched anew; after a failure the
    // folder's old picture is not shown and "Blink DSS" stays as it was.
    void aReplyThatIsNoUsablePlateIsNeverKept() {
        const std::string good = testsupport::Slurp(root / "pair" / "dss.fits");
        testsupport::HttpServer server;
        shell::FrmMain w;
        openOnThePair(w, server);
        const fs::path fit = root / "pair" / "current" / "DSSPicture.fit";
        std::ofstream(root / "pair" / "current" / "DSSPicture.jpg") << "another galaxy's picture";
        w.cmdblinkdss->setEnabled(false);
        int replies = 0;
        for (const std::string& bad : {good.substr(0, 5760), plateMovedBy(good, 3)}) {
            server.body = bad;
            w.cmdGetDSS->click();
            QCOMPARE(int(server.requests().size()), ++replies);
            QCOMPARE(int(f.dialogs->messages.size()), replies);
            QVERIFY(f.dialogs->messages.back().text.startsWith("Error in Sub GetDSSPic: \r\n3001"));
            QVERIFY(!fs::exists(fit));
            QVERIFY(!w.cmdblinkdss->isEnabled());
        }
        QVERIFY(f.dialogs->messages.back().text.contains("another field"));
        // a picture of another field kept from before is replaced by the right one
        std::ofstream(fit, std::ios::binary) << plateMovedBy(good, 3);
        server.body = good;
        w.cmdGetDSS->click();
        QCOMPARE(int(server.requests().size()), ++replies);
        QCOMPARE(int(f.dialogs->messages.size()), replies - 1);
        QCOMPARE(testsupport::Slurp(fit), good);
        QVERIFY(w.cmdblinkdss->isEnabled());
    }

    // The download runs while the window paints and answers: the label stays,
    // and a close request cancels the transfer and closes the window at once,
    // instead of waiting out the server's 60 s and then being lost.
    void aCloseDuringTheDownloadCancelsItAndCloses() {
        testsupport::HttpServer server;
        server.mode = testsupport::HttpServer::Mode::Hang;
        shell::FrmMain w;
        openOnThePair(w, server);
        bool labelShown = false;
        QTimer::singleShot(1500, [&] {
            labelShown = !w.lblDownload->isHidden() &&
                         w.lblDownload->text() == "Downloading DSS-Image, please wait...";
            w.close();
        });
        QElapsedTimer clock;
        clock.start();
        w.cmdGetDSS->click();
        QVERIFY2(clock.elapsed() < 10000, qPrintable(QString::number(clock.elapsed())));
        QVERIFY(labelShown);
        QVERIFY(w.isUnloaded());
        QVERIFY(f.dialogs->messages.empty());
        QVERIFY(!fs::exists(root / "pair" / "current" / "DSSPicture.fit"));
        QVERIFY(!fs::exists(root / "pair" / "current" / "DSSPicture.fit.part"));
    }

    void aRealGzipCutOutFromTheServerIsKeptAsFits() {
        const fs::path real = fs::path(VOSPEN_REAL_DATA) / "dss" / "dss.14.29.56-62.41.05.fits.gz";
        if (!fs::exists(real)) QSKIP("real data folder absent");
        testsupport::HttpServer server;
        server.body = testsupport::Slurp(real);
        const fs::path part = root / "real.fit";
        QVERIFY(platform::DownloadToFile(server.base() + "/cgi-bin/dss_search?v=poss2ukstu_red", part.string()).ok);
        QCOMPARE(QString::fromStdString(dss::CheckDssReply(part.string())), QString());
        QVERIFY(testsupport::Slurp(part).rfind("SIMPLE  =", 0) == 0);
    }

    void theWindowFetchesAlignsAndBlinks() {
        testsupport::HttpServer server;
        server.body = testsupport::Slurp(root / "pair" / "dss.fits");
        shell::FrmMain w;
        openOnThePair(w, server);
        w.cmdGetDSS->click();
        QVERIFY2(f.dialogs->messages.empty(), f.dialogs->messages.empty() ? "" : qPrintable(f.dialogs->messages[0].text));
        QCOMPARE(int(server.requests().size()), 1);
        QVERIFY(QString::fromStdString(server.requests()[0]).startsWith("GET /cgi-bin/dss_search?v=poss2ukstu_red&r="));
        QVERIFY(fs::exists(root / "pair" / "current" / "DSSPicture.fit"));
        QVERIFY(fs::exists(root / "pair" / "current" / "DSSPicture.jpg"));
        QVERIFY(w.cmdblinkdss->isEnabled());
        QVERIFY(w.lblDownload->isHidden());
        // again: no new request, the picture made anew
        fs::remove(root / "pair" / "current" / "DSSPicture.jpg");
        w.cmdGetDSS->click();
        QCOMPARE(int(server.requests().size()), 1);
        QVERIFY(fs::exists(root / "pair" / "current" / "DSSPicture.jpg"));
        // the DSS blink: the reshot first, then the survey picture
        w.cmdblinkdss->click();
        QVERIFY(w.Timer2->isActive());
        QCOMPARE(w.cmdblinkdss->text(), QString("Stop"));
        w.cmdblinkdss->click();
        QCOMPARE(w.cmdblinkdss->text(), QString("Blink DSS"));
    }

    void aBadReplyIsNeverKept() {
        testsupport::HttpServer server;
        server.mode = testsupport::HttpServer::Mode::Html;
        shell::FrmMain w;
        openOnThePair(w, server);
        w.cmdGetDSS->click();
        QCOMPARE(int(f.dialogs->messages.size()), 1);
        QVERIFY(f.dialogs->messages[0].text.startsWith("Error in Sub GetDSSPic: \r\n3001"));
        QVERIFY(f.dialogs->messages[0].text.contains("web page"));
        QVERIFY(!fs::exists(root / "pair" / "current" / "DSSPicture.fit"));
        QVERIFY(!fs::exists(root / "pair" / "current" / "DSSPicture.fit.part"));
        QVERIFY(w.lblDownload->isHidden());
        // the next retrieval tries again
        server.mode = testsupport::HttpServer::Mode::NotFound;
        w.cmdGetDSS->click();
        QCOMPARE(int(server.requests().size()), 2);
        QVERIFY(f.dialogs->messages[1].text.contains("404"));
    }
};

QTEST_MAIN(TestDss)
#include "test_dss.moc"
