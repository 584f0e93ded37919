// The lookup in both dialects, against a loopback server and against a fake fetch.
#include "sources/oeis.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <set>

#include "common/messages.h"
#include "sources/oeis_fixtures.h"

namespace {

const std::string kLegacyPath = "/~kvet/sequences/";
const std::string kM1 = R"(<table cellspacing="0" cellpadding="0" border="0" width="100%">)";
const std::string kM2 = R"(<a href="/~kvet/sequences/A)";

// The message of the failed lookup, or "no failure".
std::string FailureOf(const OeisLookup& lookup, const std::string& query) {
    try {
        lookup.Run(query);
    } catch (const EOeisError& e) {
        return e.Message();
    }
    return "no failure";
}

std::string Failed(const std::string& query, const std::string& cause) {
    return msg::OeisSearchFor(query) + " ist fehlgeschlagen: " + cause;
}

// A fetch that notes the addresses and answers every one with the same text.
struct RecordingFetch {
    std::vector<std::string> urls;
    std::string answer = "Status:404";
    OeisLookup::FetchFunction Function() {
        return [this](const std::string& url) {
            urls.push_back(url);
            return answer;
        };
    }
};

}  // namespace

TEST(OeisLegacy, FillsTheFrameFromTheFirstHitAndItsListOfTerms) {
    TestHttpServer server([](const TestRequest& r) {
        if (r.target.starts_with(kLegacyPath + "?q="))
            return Answer(200, Fixture("legacy_search_fibonacci.html"));
        if (r.target == kLegacyPath + "table?a=45&fmt=4")
            return Answer(200, Fixture("legacy_table_45.html"));
        return Answer(404, "");
    });
    const OeisLookup lookup(server.Url(kLegacyPath));
    ASSERT_EQ(lookup.Dialect(), OeisDialect::Legacy);

    const OeisHit hit = lookup.Run("1, 2, 3, 5, 8");
    EXPECT_EQ(hit.linkCaption, "A000045");
    EXPECT_EQ(hit.linkUrl, server.Url(kLegacyPath + "A000045"));
    EXPECT_EQ(hit.name, "Fibonacci numbers: F(n) = F(n-1) + F(n-2).");
    EXPECT_EQ(hit.terms, "0, 1, 1, 2");
    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].target, kLegacyPath + "?q=1%2C+2%2C+3%2C+5%2C+8");
    EXPECT_EQ(requests[1].target, kLegacyPath + "table?a=45&fmt=4");
    EXPECT_EQ(requests[1].headers.at("user-agent"), "InetURL:/1.0");
}

TEST(OeisJson, FillsTheFrameFromTheFirstResultOfObjectOrBareArray) {
    const struct {
        const char *fixture, *name, *terms;
    } cases[] = {
        {"json_fibonacci_object.json",
         "Fibonacci numbers: F(n) = F(n-1) + F(n-2) with F(0) = 0 and F(1) = 1.",
         "0, 1, 1, 2, 3, 5, 8, 13"},
        {"json_fibonacci_array.json", "Fibonacci numbers: F(n) ≡ F(n-1) + F(n-2), \"golden\" 🌻",
         "0, 1, 1, 2, 3, 5, 8, 13"},
    };
    for (const auto& c : cases) {
        TestHttpServer server([&](const TestRequest&) { return Answer(200, Fixture(c.fixture)); });
        const OeisLookup lookup(server.Url("/"));
        ASSERT_EQ(lookup.Dialect(), OeisDialect::Json);
        const OeisHit hit = lookup.Run("1, 2, 3, 5, 8");
        EXPECT_EQ(hit.linkCaption, "A000045") << c.fixture;
        EXPECT_EQ(hit.linkUrl, server.Url("/A000045")) << c.fixture;
        EXPECT_EQ(hit.name, c.name) << c.fixture;
        EXPECT_EQ(hit.terms, c.terms) << c.fixture;
        ASSERT_EQ(server.Requests().size(), 1u);
        EXPECT_EQ(server.Requests()[0].target, "/search?q=1%2C+2%2C+3%2C+5%2C+8&fmt=json");
    }
}

TEST(OeisLookup, SendsTheQueryEncodedForItsDialect) {
    TestHttpServer server([](const TestRequest&) { return Answer(404, "nothing here"); });
    const struct {
        OeisDialect dialect;
        const char *query, *target;
    } cases[] = {
        {OeisDialect::Legacy, "Primzahlen größer", "?q=Primzahlen+gr%F6%DFer"},
        {OeisDialect::Legacy, "50%+x", "?q=50%25+x"},
        {OeisDialect::Legacy, "A45", "?q=A45"},
        {OeisDialect::Legacy, "Fibonacci π", "?q=Fibonacci+%3F"},
        {OeisDialect::Json, "Primzahlen größer", "search?q=Primzahlen+gr%C3%B6%C3%9Fer&fmt=json"},
        {OeisDialect::Json, "50%+x", "search?q=50%25+x&fmt=json"},
        {OeisDialect::Json, "A45", "search?q=id%3AA000045&fmt=json"},
        {OeisDialect::Json, " a0000045 ", "search?q=id%3AA000045&fmt=json"},
        {OeisDialect::Json, "A1234567", "search?q=id%3AA1234567&fmt=json"},
        {OeisDialect::Json, "A12345678", "search?q=A12345678&fmt=json"},
        {OeisDialect::Json, "A4x", "search?q=A4x&fmt=json"},
    };
    for (const auto& c : cases) {
        const std::string path = c.dialect == OeisDialect::Legacy ? kLegacyPath : "/";
        const OeisLookup lookup(server.Url(path));
        EXPECT_EQ(FailureOf(lookup, c.query),
                  Failed(c.query, "der Server antwortete mit dem Status 404"));
        EXPECT_EQ(server.Requests().back().target, path + c.target) << c.query;
    }
}

namespace {

// Runs "1, 2, 3" against a server that answers the search and the list of terms.
std::string FailureAgainst(const std::string& path, const TestResponse& search,
                           const TestResponse& table) {
    TestHttpServer server([&](const TestRequest& r) {
        return r.target.find("table?a=") != std::string::npos ? table : search;
    });
    return FailureOf(OeisLookup(server.Url(path)), "1, 2, 3");
}

}  // namespace

TEST(OeisLookup, OneTimeLimitHoldsForBothRequestsAndNoSchemeButHttp) {
    // The search page takes 1.2 s, the list of terms would take 20 s.
    TestHttpServer server([](const TestRequest& r) {
        TestResponse slow = Answer(200, Fixture("legacy_search_fibonacci.html"));
        slow.delayMs = r.target.find("table?a=") != std::string::npos ? 20000 : 1200;
        return slow;
    });
    FetchOptions limits;
    limits.totalTimeoutMs = 2000;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(FailureOf(OeisLookup(server.Url(kLegacyPath), {}, {}, limits), "1, 2, 3"),
              msg::OeisSearchFor("1, 2, 3") +
                  " fand A000045, aber die Glieder von A000045 konnten nicht geladen werden: " +
                  msg::NoCompleteAnswerWithin("2 s"));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(2600));
    EXPECT_EQ(server.Requests().size(), 2u);

    EXPECT_EQ(FailureOf(OeisLookup("gopher://h/"), "1"),
              Failed("1", std::string(msg::OnlyHttpAddresses) + ", nicht \"gopher:\""));
}

TEST(OeisLegacy, FailedOrOddPagesGiveAMessageNamingQueryAndCause) {
    const TestResponse good = Answer(200, Fixture("legacy_search_fibonacci.html"));
    const std::string hit = kM1 + "<tr><td>" + kM2;
    const std::string layout = msg::UnknownResultPage;
    const std::string termsLayout = "die Seite der Glieder von A000045 hat ein unbekanntes Format";
    const struct {
        TestResponse search, table;
        std::string cause;
    } cases[] = {
        {Answer(404, "<p>Not found: 1, 2, 3</p>"), {}, "der Server antwortete mit dem Status 404"},
        {Answer(500, ""), {}, "der Server antwortete mit dem Status 500"},
        {Answer(200, ""), {}, "der Server gab eine leere Antwort"},
        {Answer(200, "<p>Wartung bis 12:00, 1. 5.</p>"),
         {},
         "die Antwort ist keine Ergebnisseite der OEIS"},
        {Answer(200, kM1 + "<p>No results.</p>"), {}, "keine Treffer"},
        {Answer(200, hit + "12x\">"), {}, layout},
        {Answer(200, hit + "000000\">"), {}, layout},
        {Answer(200, hit + "000045\">A000045</a></td></tr>"), {}, layout},
        {good, Answer(200, "<pre>no list here, 1, 2</pre>"), termsLayout},
        {good, Answer(200, "<pre>[0, 1, 1, 2"), termsLayout},
        {good, Answer(200, "<p>[1, 2]</p>"), termsLayout},
        {good, Answer(200, "<pre>[]</pre>"), "A000045 hat keine Glieder"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FailureAgainst(kLegacyPath, c.search, c.table), Failed("1, 2, 3", c.cause))
            << c.search.body << " / " << c.table.body;
}

TEST(OeisLegacy, FailedListOfTermsNamesTheHitNotTheSearch) {
    const TestResponse good = Answer(200, Fixture("legacy_search_fibonacci.html"));
    const std::string found =
        msg::OeisSearchFor("1, 2, 3") +
        " fand A000045, aber die Glieder von A000045 konnten nicht geladen werden: ";
    EXPECT_EQ(FailureAgainst(kLegacyPath, good, Answer(404, "")),
              found + "der Server antwortete mit dem Status 404");
    EXPECT_EQ(FailureAgainst(kLegacyPath, good, Answer(200, "")),
              found + "der Server gab eine leere Antwort");
}

TEST(OeisJson, FailedOrOddAnswersGiveAMessageNamingQueryAndCause) {
    const std::string layout = msg::UnknownAnswerFormat;
    const struct {
        int status;
        const char* body;
        std::string cause;
    } cases[] = {
        {503, "", "der Server antwortete mit dem Status 503"},
        {200, "null", "keine Treffer"},
        {200, " [ ] ", "keine Treffer"},
        {200, R"({"count":0,"results":null})", "keine Treffer"},
        {200, R"({"count":523,"results":null})", "zu viele Treffer; bitte die Suche eingrenzen"},
        {200, R"({"greeting":"hello"})", layout},
        {200, R"({"results":{"number":45}})", layout},
        {200, R"([{"number":"45","name":"x","data":"1"}])", layout},
        {200, R"([{"number":-45,"name":"x","data":"1"}])", layout},
        {200, R"([{"number":45,"data":"1"}])", layout},
        {200, R"([{"number":45,"name":"x","data":""}])", "A000045 hat keine Glieder"},
        {200, "<html>1, 2, 3</html>", "die Antwort ist kein gültiges JSON"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FailureAgainst("/", Answer(c.status, c.body), {}), Failed("1, 2, 3", c.cause))
            << c.body;
}

TEST(OeisLookup, TransferFailuresAndEmptyQueriesBecomeMessages) {
    int port;
    {
        TestHttpServer gone([](const TestRequest&) { return Answer(200, ""); });
        port = gone.Port();
    }
    const OeisLookup unreachable("http://127.0.0.1:" + std::to_string(port) + "/");
    EXPECT_EQ(FailureOf(unreachable, "Fibonacci"),
              Failed("Fibonacci", "keine Verbindung zum Server"));

    RecordingFetch fetch;
    const OeisLookup lookup("http://h/", fetch.Function());
    const std::string query(200, '7');
    EXPECT_EQ(FailureOf(lookup, query),
              Failed(std::string(80, '7') + "…", "der Server antwortete mit dem Status 404"));
    for (const char* blank : {"", "   ", " \t\r\n"})
        EXPECT_EQ(
            FailureOf(lookup, blank),
            "Bitte einen OEIS-Index, einen Suchbegriff oder einige Glieder einer Folge eingeben");
    EXPECT_EQ(fetch.urls.size(), 1u);
}

TEST(OeisLookup, RandomWordsDrawANumberFrom1To100000AtEveryRun) {
    const struct {
        const char *base, *word;
        std::uint32_t draw;
        const char* url;
    } cases[] = {
        {"http://h/~kvet/sequences/", "zufall", 0, "http://h/~kvet/sequences/?q=A1"},
        {"http://h/~kvet/sequences/", "Zufall", 99999, "http://h/~kvet/sequences/?q=A100000"},
        {"http://h/~kvet/sequences/", "RANDOM", 44, "http://h/~kvet/sequences/?q=A45"},
        {"http://h/~kvet/sequences/", "rAnDoM", 100044, "http://h/~kvet/sequences/?q=A45"},
        {"http://h/", "ZUFALL", 44, "http://h/search?q=id%3AA000045&fmt=json"},
        {"http://h/", "random", 99999, "http://h/search?q=id%3AA100000&fmt=json"},
    };
    for (const auto& c : cases) {
        RecordingFetch fetch;
        int draws = 0;
        const OeisLookup lookup(c.base, fetch.Function(), [&] { return ++draws, c.draw; });
        FailureOf(lookup, c.word);
        FailureOf(lookup, c.word);
        EXPECT_EQ(draws, 2) << c.word;
        ASSERT_EQ(fetch.urls.size(), 2u);
        EXPECT_EQ(fetch.urls[0], c.url);
    }
    RecordingFetch fetch;
    const OeisLookup lookup("http://h/~kvet/sequences/", fetch.Function(),
                            []() -> std::uint32_t { throw std::logic_error("no draw wanted"); });
    FailureOf(lookup, "zufall ");
    FailureOf(lookup, "Zufallszahlen");
    EXPECT_EQ(fetch.urls, (std::vector<std::string>{"http://h/~kvet/sequences/?q=zufall+",
                                                    "http://h/~kvet/sequences/?q=Zufallszahlen"}));

    std::set<std::uint32_t> drawn;
    for (int i = 0; i < 1000; ++i) {
        const std::uint32_t r = ClockSeededDraw();
        ASSERT_LE(r, 99999u);
        drawn.insert(r);
    }
    EXPECT_GT(drawn.size(), 1u);
}

TEST(OeisLegacy, NameCellLosesMarkupLineFeedsAndOuterBlanks) {
    const struct {
        const char *cell, *name;
    } cases[] = {
        {"<i>F</i>(n)", "F(n)"},
        {"\n  Fibonacci numbers  \n", "Fibonacci numbers"},
        {"a(n) > 2", "a(n) > 2"},
        {"a(n) < 2", "a(n) < 2"},
        {"<a<b>c", "c"},
        {"1 < 2, 3 > 2", "1  2"},
        {"x<sup>2</sup> <", "x2 <"},
        {"zwei\nZeilen\r\n", "zweiZeilen\r"},
        {" \tTab ", "\tTab"},
        {"gr\xF6\xDF"
         "er \x80 <b>",
         "größer €"},
        {"", ""},
    };
    for (const auto& c : cases) {
        RecordingFetch fetch;
        const std::string page =
            kM1 + kM2 + "000045\">A000045</a><td valign=top align=left>" + c.cell + "</td></tr>";
        const OeisLookup lookup("http://h/~kvet/sequences/", [&](const std::string& url) {
            fetch.urls.push_back(url);
            return url.find("table?a=") != std::string::npos ? "<pre>\n[1,\n 2]" : page;
        });
        EXPECT_EQ(lookup.Run("x").name, c.name) << c.cell;
        EXPECT_EQ(fetch.urls.back(), "http://h/~kvet/sequences/table?a=45&fmt=4");
    }
}

TEST(OeisBase, DefaultEnvironmentAndDialect) {
    const struct {
        const char *given, *base;
        OeisDialect dialect;
    } cases[] = {
        {"", "https://oeis.org/", OeisDialect::Json},
        {"  ", "https://oeis.org/", OeisDialect::Json},
        {"https://oeis.org", "https://oeis.org/", OeisDialect::Json},
        {"127.0.0.1:8080", "http://127.0.0.1:8080/", OeisDialect::Json},
        {"HTTP://h/~kvet/sequences", "HTTP://h/~kvet/sequences/", OeisDialect::Legacy},
        {" http://h/~kvet/sequences/ ", "http://h/~kvet/sequences/", OeisDialect::Legacy},
        {"http://h/sequences/x/", "http://h/sequences/x/", OeisDialect::Json},
        // Another scheme stays, so that the lookup can refuse it by its name.
        {"file:/srv/oeis", "file:/srv/oeis/", OeisDialect::Json},
        {"ftp://h/~kvet/sequences/", "ftp://h/~kvet/sequences/", OeisDialect::Legacy},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(NormalizeOeisBase(c.given), c.base) << c.given;
        EXPECT_EQ(OeisLookup(c.given, [](const std::string&) { return ""; }).Dialect(), c.dialect);
    }
    const char* saved = std::getenv("SONAVIX_OEIS_BASE");
    const std::string keep = saved ? saved : "";
    unsetenv("SONAVIX_OEIS_BASE");
    EXPECT_EQ(OeisBaseAddress(), "https://oeis.org/");
    setenv("SONAVIX_OEIS_BASE", "127.0.0.1:9/~kvet/sequences/", 1);
    EXPECT_EQ(OeisBaseAddress(), "http://127.0.0.1:9/~kvet/sequences/");
    EXPECT_EQ(OeisLookup().Dialect(), OeisDialect::Legacy);
    if (saved)
        setenv("SONAVIX_OEIS_BASE", keep.c_str(), 1);
    else
        unsetenv("SONAVIX_OEIS_BASE");
}
