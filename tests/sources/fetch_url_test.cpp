// FetchUrl against a real HTTP server on 127.0.0.1.
#include "sources/fetch_url.h"

#include <curl/curl.h>
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <thread>

#include "common/messages.h"
#include "sources/http_test_server.h"
#include "support/program.h"

namespace {

TestResponse Body(std::string body, int status = 200) {
    TestResponse r;
    r.status = status;
    r.body = std::move(body);
    return r;
}

// The cause of a failed fetch, or nothing when it gave a text.
std::optional<std::string> FailureOf(const std::string& url, const FetchOptions& options = {}) {
    try {
        FetchUrl(url, options);
    } catch (const EFetchError& e) {
        return e.Message();
    }
    return std::nullopt;
}

double SecondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

TEST(FetchUrl, SendsTheOldAgentAndAsksForNoCachedCopy) {
    TestHttpServer server([](const TestRequest&) { return Body("ok"); });
    EXPECT_EQ(FetchUrl(server.Url("/x?q=1%2C+2")), "ok");
    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].target, "/x?q=1%2C+2");
    EXPECT_EQ(requests[0].headers.at("user-agent"), "InetURL:/1.0");
    EXPECT_EQ(requests[0].headers.at("cache-control"), "no-cache");
    EXPECT_EQ(requests[0].headers.at("pragma"), "no-cache");
}

TEST(FetchUrl, PutsTheHttpPrefixOnlyWhereNoneStands) {
    const struct {
        const char *in, *out;
    } cases[] = {
        {"127.0.0.1/x", "http://127.0.0.1/x"},
        {"HTTP://127.0.0.1/x", "HTTP://127.0.0.1/x"},
        {"hTtPs://oeis.org/", "hTtPs://oeis.org/"},
        {"oeis.org/search?q=http://x", "http://oeis.org/search?q=http://x"},
        {"localhost:8080/x", "http://localhost:8080/x"},
        {"ftp://127.0.0.1/x", "ftp://127.0.0.1/x"},
        {"file:/etc/passwd", "file:/etc/passwd"},
    };
    for (const auto& c : cases) EXPECT_EQ(WithHttpPrefix(c.in), c.out);

    TestHttpServer server([](const TestRequest&) { return Body("ok"); });
    const std::string hostAndPath = "127.0.0.1:" + std::to_string(server.Port()) + "/p";
    EXPECT_EQ(FetchUrl(hostAndPath), "ok");
    EXPECT_EQ(FetchUrl("HTTP://" + hostAndPath), "ok");
    EXPECT_EQ(server.Requests().size(), 2u);
}

TEST(FetchUrl, StatusOtherThan200Or302GivesStatusText) {
    const struct {
        int status;
        const char *body, *result;
    } cases[] = {
        {200, "<html>page</html>", "<html>page</html>"},
        {200, "", ""},
        {302, "moved, but no Location", "moved, but no Location"},
        {404, "<html>Not Found: 1, 2, 3</html>", "Status:404"},
        {500, "", "Status:500"},
        {204, "", "Status:204"},
        {301, "no Location", "Status:301"},
    };
    for (const auto& c : cases) {
        TestHttpServer server([&](const TestRequest&) { return Body(c.body, c.status); });
        EXPECT_EQ(FetchUrl(server.Url("/")), c.result) << c.status;
    }
}

TEST(FetchUrl, EachPieceOf4095BytesEndsAtItsFirstZeroByte) {
    const std::string filler(4095, 'x');
    const struct {
        std::string body, result;
    } cases[] = {
        {std::string("ab\0cd", 5), "ab"},
        {std::string("\0", 1) + "abc", ""},
        {std::string("ab\0", 3) + filler + "tail", "abxxxtail"},
        {filler + std::string("\0z", 2), filler},
        {filler.substr(1) + std::string("\0", 1) + "next", filler.substr(1) + "next"},
        {filler + filler + "!", filler + filler + "!"},
    };
    FetchOptions whole;
    whole.wholeBody = true;
    for (const auto& c : cases) {
        TestHttpServer server([&](const TestRequest&) { return Body(c.body); });
        EXPECT_EQ(FetchUrl(server.Url("/")), c.result) << c.body.size();
        EXPECT_EQ(FetchUrl(server.Url("/"), whole), c.body) << c.body.size();
    }
}

TEST(FetchUrl, FollowsAtMostFiveRedirectsAndOnlyToHttp) {
    // /r/N sends the client on to /r/N-1; /r/0 answers.
    TestHttpServer server([](const TestRequest& r) {
        if (r.target == "/r/0") return Body("arrived");
        if (r.target == "/ftp") {
            TestResponse to = Body("", 302);
            to.headers = {"Location: ftp://127.0.0.1/file"};
            return to;
        }
        TestResponse next = Body("", r.target == "/r/3" ? 301 : 302);
        next.headers = {"Location: /r/" + std::to_string(std::stoi(r.target.substr(3)) - 1)};
        return next;
    });
    EXPECT_EQ(FetchUrl(server.Url("/r/5")), "arrived");
    EXPECT_EQ(server.Requests().size(), 6u);
    EXPECT_EQ(FailureOf(server.Url("/r/6")), "mehr als 5 Weiterleitungen");
    EXPECT_EQ(FailureOf(server.Url("/ftp")), "der Server leitet weiter, aber " +
                                                 std::string(msg::OnlyHttpAddresses) +
                                                 ", nicht \"ftp:\"");
    for (const char* scheme : {"ftp", "file", "gopher", "dict", "mailto"})
        for (const char* rest : {"://127.0.0.1/x", ":/etc/passwd"})
            EXPECT_EQ(FailureOf(std::string(scheme) + rest),
                      std::string(msg::OnlyHttpAddresses) + ", nicht \"" + scheme + ":\"");
}

TEST(FetchUrl, NamesRepliesThatAreNoHttpOrCannotBeRead) {
    const std::string longLine = "X-Lang: " + std::string(2 << 20, 'a') + "\r\n";
    std::string manyLines;
    for (int i = 0; i < 8000; ++i) manyLines += "X-Zeile: " + std::string(40, 'a') + "\r\n";
    const struct {
        const char* name;
        std::string raw;
        const char* cause;
    } cases[] = {
        {"a bare body", "1, 2, 3", "die Antwort des Servers ist keine gültige HTTP-Antwort"},
        {"garbage", std::string("\0\xFF\r\n\r\nxx", 8),
         "die Antwort des Servers ist keine gültige HTTP-Antwort"},
        {"no status code", "HTTP/1.1 abc\r\n\r\n",
         "die Antwort des Servers ist keine gültige HTTP-Antwort"},
        {"a 2 MiB header line", "HTTP/1.1 200 OK\r\n" + longLine + "\r\nok",
         "eine Kopfzeile der Antwort ist zu lang"},
        {"headers of 400 KB", "HTTP/1.1 200 OK\r\n" + manyLines + "\r\nok",
         "die Kopfzeilen der Antwort sind zu lang"},
    };
    for (const auto& c : cases) {
        TestHttpServer server([&](const TestRequest&) {
            TestResponse r;
            r.raw = c.raw;
            return r;
        });
        EXPECT_EQ(FailureOf(server.Url("/")).value_or("no failure"), c.cause) << c.name;
    }
}

TEST(FetchUrl, EveryTransferErrorIsWordedInGerman) {
    for (int code = 1; code < CURL_LAST; ++code) {
        const std::string text = TransferErrorText(code);
        EXPECT_EQ(text.find(curl_easy_strerror(static_cast<CURLcode>(code))), std::string::npos)
            << code << ": " << text;
        EXPECT_FALSE(text.empty()) << code;
    }
}

// A server whose certificate nobody vouches for, as a machine without a
// certificate store sees every server.
TEST(FetchUrl, SaysWhenTheCertificateCannotBeVerified) {
    const std::optional<std::string> openssl = "/usr/bin/openssl";
    if (access(openssl->c_str(), X_OK) != 0) GTEST_SKIP() << "openssl missing (package openssl)";
    const std::string dir = ::testing::TempDir() + "sonavix-tls-" + std::to_string(getpid());
    std::filesystem::create_directories(dir);
    ASSERT_EQ(RunProgram(*openssl,
                         {"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-subj", "/CN=127.0.0.1",
                          "-days", "1", "-keyout", dir + "/key.pem", "-out", dir + "/cert.pem"})
                  .status,
              0);
    int port;
    {
        TestHttpServer free([](const TestRequest&) { return Body(""); });
        port = free.Port();
    }
    ChildProgram server(*openssl, {"s_server", "-accept", std::to_string(port), "-cert",
                                   dir + "/cert.pem", "-key", dir + "/key.pem", "-www", "-quiet"});
    const std::string url = "https://127.0.0.1:" + std::to_string(port) + "/";
    std::optional<std::string> failure = FailureOf(url);
    for (int i = 0; i < 50 && failure == "keine Verbindung zum Server"; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));  // still starting
        failure = FailureOf(url);
    }
    EXPECT_EQ(failure.value_or("no failure"),
              "das Zertifikat des Servers ließ sich nicht prüfen (wahrscheinliche Ursache: auf "
              "diesem Rechner fehlt der Zertifikatsspeicher, Paket ca-certificates)");
    std::filesystem::remove_all(dir);
}

TEST(FetchUrl, RefusesBodiesBeyondTheSizeCap) {
    FetchOptions small;
    small.maxBodyBytes = 100000;
    const struct {
        std::size_t size;
        const char* declared;
        const FetchOptions options;
        bool fits;
    } cases[] = {
        {100000, nullptr, small, true},
        {100001, nullptr, small, false},
        {10, "Content-Length: 100001", small, false},  // refused before the body arrives
        {std::size_t{4} << 20, nullptr, {}, true},
        {(std::size_t{4} << 20) + 1, nullptr, {}, false},
    };
    for (const auto& c : cases) {
        TestHttpServer server([&](const TestRequest&) {
            TestResponse r = Body(std::string(c.size, '7'));
            if (c.declared) r.headers = {c.declared};
            return r;
        });
        const auto failure = FailureOf(server.Url("/"), c.options);
        if (c.fits)
            EXPECT_FALSE(failure) << c.size << ": " << *failure;
        else
            EXPECT_EQ(failure.value_or("fits"), msg::AnswerLargerThan(c.options.maxBodyBytes))
                << c.size;
    }
}

TEST(FetchUrl, TimesOutOnSilentStalledAndDawdlingServers) {
    FetchOptions patient;  // runs out of patience before the whole time is up
    patient.stallTimeoutMs = 1000;
    patient.totalTimeoutMs = 5000;
    FetchOptions hurried;  // the whole time runs out though bytes keep coming
    hurried.stallTimeoutMs = 1000;
    hurried.totalTimeoutMs = 1000;
    TestResponse silent = Body("never");
    silent.delayMs = 20000;
    TestResponse stalled = Body(std::string(100, '1'));
    stalled.stallAfterBytes = 10;
    stalled.stallAfterMs = 20000;
    TestResponse dawdling = Body(std::string(200, '1'));  // a byte every 20 ms: 4 s in all
    dawdling.trickleMs = 20;
    TestResponse headByByte = Body("ok");
    headByByte.trickleHeadMs = 300;
    FetchOptions patient3 = patient;
    patient3.totalTimeoutMs = 3000;
    const struct {
        TestResponse response;
        FetchOptions options;
        std::string cause;
    } cases[] = {
        {silent, patient, "Zeitüberschreitung: der Server sendet seit 1 s nichts mehr"},
        {stalled, patient, "Zeitüberschreitung: der Server sendet seit 1 s nichts mehr"},
        {dawdling, hurried, msg::NoCompleteAnswerWithin("1 s")},
        // Headers a byte every 300 ms: never silent for a second, but not done in three.
        {headByByte, patient3, msg::NoCompleteAnswerWithin("3 s")},
    };
    for (const auto& c : cases) {
        TestHttpServer server([&](const TestRequest&) { return c.response; });
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(FailureOf(server.Url("/"), c.options).value_or("no failure"), c.cause);
        EXPECT_LT(SecondsSince(start), 4.0);  // the server would wait 20 s
    }
}

TEST(FetchUrl, ReportsAServerThatIsNotThere) {
    int port;
    {
        TestHttpServer gone([](const TestRequest&) { return Body(""); });
        port = gone.Port();
    }
    EXPECT_EQ(FailureOf("http://127.0.0.1:" + std::to_string(port) + "/"),
              "keine Verbindung zum Server");
    EXPECT_EQ(FailureOf("http://name.invalid/"),
              "der Servername wurde nicht gefunden (keine Netzverbindung?)");
}

TEST(FetchUrl, CancelEndsTheTransferWithinATenthOfASecond) {
    // Silent for 3 s, then a trickle: the cancel comes while waiting and while receiving.
    TestResponse silent;
    silent.delayMs = 3000;
    TestResponse trickling;
    trickling.body = std::string(1000, 'x');
    trickling.trickleMs = 50;
    for (const TestResponse& answer : {silent, trickling}) {
        TestHttpServer server([&](const TestRequest&) { return answer; });
        using Clock = std::chrono::steady_clock;
        const Clock::time_point cancelAt = Clock::now() + std::chrono::milliseconds(300);
        FetchOptions options;
        options.cancelled = [&] { return Clock::now() >= cancelAt; };
        EXPECT_THROW(FetchUrl(server.Url("/"), options), EAborted);
        const auto late =
            std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - cancelAt);
        // A tenth of a second, and as much again for a machine busy with other work.
        EXPECT_LT(late.count(), 200) << answer.delayMs;
    }
}
