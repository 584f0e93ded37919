#include <gtest/gtest.h>

#include <QApplication>
#include <QGuiApplication>
#include <QProgressDialog>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <ctime>

#include "sources/oeis_fixtures.h"
#include "support/window_fixture.h"

namespace {

// Both dialects answer the members 1, 2, 3, 5, 8 with the Fibonacci numbers.
TestResponse Serve(const TestRequest& r) {
    if (r.target.starts_with("/~kvet/sequences/?q=1%2C+2%2C+3%2C+5%2C+8"))
        return Answer(200, Fixture("legacy_search_fibonacci.html"));
    if (r.target == "/~kvet/sequences/table?a=45&fmt=4")
        return Answer(200, Fixture("legacy_table_45.html"));
    if (r.target.starts_with("/search?q=1%2C+2%2C+3%2C+5%2C+8&fmt=json"))
        return Answer(200, Fixture("json_fibonacci_object.json"));
    return Answer(404, "");
}

struct Dialect {
    const char* base;   // path of the server's base address
    const char* terms;  // what its fixture holds of the Fibonacci numbers
    std::vector<int> keys;
};

void PrintTo(const Dialect& d, std::ostream* os) { *os << d.base; }

class OeisFrame : public WindowTest, public ::testing::WithParamInterface<Dialect> {
protected:
    void SetUp() override {
        // The window takes its base address when it is created.
        setenv("SONAVIX_OEIS_BASE", server.Url(GetParam().base).c_str(), 1);
        WindowTest::SetUp();
    }
    void TearDown() override {
        WindowTest::TearDown();
        unsetenv("SONAVIX_OEIS_BASE");
    }

    TestHttpServer server{Serve};
};
}  // namespace

TEST_P(OeisFrame, LookupFillsTheFrameAndPlays) {
    TfrmFolgen* f = window->frmFolgenNoten;
    std::vector<std::string> opened;
    window->OpenUrl = [&](const QUrl& url) { opened.push_back(url.toString().toStdString()); };
    f->rbtOEIS->click();
    QTest::mouseClick(f->frmOEIS1->lblLink, Qt::LeftButton);
    EXPECT_EQ(opened, std::vector<std::string>{server.Url(GetParam().base)});
    f->rbtOEIS->click();
    EXPECT_TRUE(f->frmOEIS1->isVisibleTo(f));
    f->frmOEIS1->edtOEIS->setText("1, 2, 3, 5, 8");
    window->btnPlay->click();
    // The fixture's terms hold a negative one: the window says once that signs are not read.
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_TRUE(errors[0].startsWith("A000045 hat negative Glieder")) << errors[0].toStdString();
    errors.clear();
    EXPECT_EQ(f->frmOEIS1->mmoSequence->toPlainText(), GetParam().terms);
    EXPECT_EQ(f->frmOEIS1->lblLink->text(), "A000045");
    EXPECT_TRUE(f->frmOEIS1->lblVorLink->isVisibleTo(f));
    QTest::mouseClick(f->frmOEIS1->lblLink, Qt::LeftButton);
    ASSERT_EQ(opened.size(), 2u);
    EXPECT_EQ(opened[1], server.Url(std::string(GetParam().base) + "A000045"));
    EXPECT_TRUE(f->frmOEIS1->Memo1->toPlainText().startsWith("Fibonacci numbers"));
    QTest::keyClicks(f->frmOEIS1->Memo1, "xyz");  // the name is shown, not typed into
    EXPECT_FALSE(f->frmOEIS1->Memo1->toPlainText().contains("xyz"));
    std::vector<int> keys;
    for (const auto& n : Notes()) keys.push_back(n.note - 8);
    EXPECT_EQ(keys, GetParam().keys);

    // Members in the memo are played again without a new lookup.
    const size_t requests = server.Requests().size();
    window->btnPlay->click();
    EXPECT_EQ(server.Requests().size(), requests);
    EXPECT_EQ(Notes().size(), 2 * keys.size());
}

TEST_P(OeisFrame, TempoFrameLookupChangesOnlyItsOwnControls) {
    window->cbxTempoFolge->click();
    TfrmOEIS* tempo = window->frmFolgenTempo->frmOEIS1;
    TfrmOEIS* noten = window->frmFolgenNoten->frmOEIS1;
    tempo->edtOEIS->setText("1, 2, 3, 5, 8");
    QTest::keyClick(tempo->edtOEIS, Qt::Key_Return);  // Enter does what "Los!" does
    EXPECT_EQ(tempo->mmoSequence->toPlainText(), GetParam().terms);
    EXPECT_EQ(noten->mmoSequence->toPlainText(), "");
    EXPECT_EQ(noten->lblLink->text(), "OEIS");
    EXPECT_FALSE(noten->lblVorLink->isVisibleTo(window.get()));
}

TEST_P(OeisFrame, FailedLookupLeavesTheFrameAndSaysWhy) {
    TfrmOEIS* frame = window->frmFolgenNoten->frmOEIS1;
    frame->mmoSequence->setPlainText("7, 8");
    frame->edtOEIS->setText("gibt es nicht");
    frame->btnGo->click();
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_TRUE(errors[0].contains("gibt es nicht")) << errors[0].toStdString();
    EXPECT_EQ(frame->mmoSequence->toPlainText(), "7, 8");
    EXPECT_EQ(frame->lblLink->text(), "OEIS");
}

namespace {
// A hit whose name and single member are runs of 256 Ki digits.
class LongMember : public WindowTest {
protected:
    void SetUp() override {
        setenv("SONAVIX_OEIS_BASE", server.Url("/").c_str(), 1);
        WindowTest::SetUp();
    }
    void TearDown() override {
        WindowTest::TearDown();
        unsetenv("SONAVIX_OEIS_BASE");
    }

    const std::string digits = std::string(size_t{256} * 1024, '7');
    std::atomic<bool> busyWhileFetching{false};
    TestHttpServer server{[this](const TestRequest&) {
        const QCursor* cursor = QGuiApplication::overrideCursor();
        busyWhileFetching = cursor && cursor->shape() == Qt::WaitCursor;
        return Answer(200, R"({"results":[{"number":45,"name":")" + digits + R"(","data":")" +
                               digits + R"("}]})");
    }};
};
}  // namespace

TEST_F(LongMember, FillsTheFrameQuicklyUnderABusyCursorAndPlays) {
    TfrmFolgen* f = window->frmFolgenNoten;
    f->rbtOEIS->click();
    window->show();
    f->frmOEIS1->edtOEIS->setText("7");
    const std::clock_t start = std::clock();
    f->frmOEIS1->btnGo->click();
    window->grab();  // lays the boxes out and paints them
    EXPECT_LT(double(std::clock() - start) / CLOCKS_PER_SEC, 2.0);
    EXPECT_TRUE(busyWhileFetching);
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    EXPECT_EQ(f->frmOEIS1->mmoSequence->toPlainText().toStdString(), digits);
    EXPECT_EQ(f->frmOEIS1->Memo1->toPlainText().toStdString(), digits);

    // 77...7 leaves 1 by 4 (77) and 1 by 3 (its digit sum): row 1 of the chromatic map, key 41.
    window->btnPlay->click();
    EXPECT_TRUE(errors.empty());
    ASSERT_EQ(Notes().size(), 1u);
    EXPECT_EQ(Notes()[0].note, 41 + 8);
}

TEST_F(LongMember, APastedLongRunKeepsEveryBoxResponsive) {
    TfrmFolgen* f = window->frmFolgenNoten;
    window->show();
    const std::pair<const char*, QPlainTextEdit*> boxes[] = {
        {"mmoExplizit", f->frmExplizit1->mmoExplizit},
        {"mmoSequence", f->frmOEIS1->mmoSequence},
        {"Memo1", f->frmOEIS1->Memo1}};
    for (const auto& [name, box] : boxes) {
        box->parentWidget()->show();
        const std::clock_t start = std::clock();
        box->moveCursor(QTextCursor::End);
        box->insertPlainText(QString::fromStdString(digits));  // as a paste inserts it
        box->grab();
        EXPECT_LT(double(std::clock() - start) / CLOCKS_PER_SEC, 2.0) << name;
        EXPECT_TRUE(box->toPlainText().endsWith(QString::fromStdString(digits)));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Dialects, OeisFrame,
    ::testing::Values(Dialect{"/", "0, 1, 1, 2, 3, 5, 8, 13", {40, 41, 41, 42, 43, 45, 48, 41}},
                      Dialect{"/~kvet/sequences/", "0, 1, 1, 2", {40, 41, 41, 42}}),
    [](const auto& info) { return info.index == 0 ? "Json" : "Legacy"; });

namespace {
// A server that answers only after 5 s.
class SlowLookup : public WindowTest {
protected:
    void SetUp() override {
        setenv("SONAVIX_OEIS_BASE", server.Url("/").c_str(), 1);
        WindowTest::SetUp();
    }
    void TearDown() override {
        WindowTest::TearDown();
        unsetenv("SONAVIX_OEIS_BASE");
    }
    TestHttpServer server{[](const TestRequest&) {
        TestResponse r = Answer(200, R"([{"number": 45, "data": "0,1", "name": "F."}])");
        r.delayMs = 5000;
        return r;
    }};
};
}  // namespace

TEST_F(SlowLookup, AbbrechenEndsTheLookupAtOnceAndLeavesTheFrame) {
    TfrmOEIS* frame = window->frmFolgenNoten->frmOEIS1;
    frame->edtOEIS->setText("fibonacci");
    QString label;
    std::chrono::steady_clock::time_point cancelled;
    QTimer::singleShot(300, [&] {
        auto* dialog = qobject_cast<QProgressDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        label = dialog->labelText();
        cancelled = std::chrono::steady_clock::now();
        auto* abbrechen = dialog->findChild<QPushButton*>();
        ASSERT_NE(abbrechen, nullptr);
        EXPECT_EQ(abbrechen->text(), "Abbrechen");
        abbrechen->click();
    });
    frame->btnGo->click();
    const auto late = std::chrono::steady_clock::now() - cancelled;
    EXPECT_EQ(label, "Die OEIS wird abgefragt...");
    EXPECT_LT(std::chrono::duration_cast<std::chrono::milliseconds>(late).count(), 200);
    EXPECT_TRUE(errors.empty());
    EXPECT_EQ(frame->lblLink->text(), "OEIS");
    EXPECT_TRUE(frame->mmoSequence->toPlainText().isEmpty());
}
