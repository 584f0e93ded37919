// The b-file: the strict reading of its lines, and its fetch after the lookup.
#include "sources/bfile.h"

#include <gtest/gtest.h>

#include "common/messages.h"
#include "sources/oeis.h"
#include "sources/oeis_fixtures.h"
#include "support/expect_error.h"

namespace {

// "0 0\n1 1\n..." with the given terms.
std::string Pairs(int count, int firstIndex = 0) {
    std::string text;
    for (int i = 0; i < count; ++i)
        text += std::to_string(firstIndex + i) + " " + std::to_string(i * 7) + "\n";
    return text;
}

TEST(BFile, CommentsBlankLinesAndPairsBecomeTheResultText) {
    const struct {
        std::string text, terms;
        bool negative;  // a term's sign was dropped
    } cases[] = {
        {"0 0\n1 1\n2 1\n3 2\n", "0, 1, 1, 2", false},
        {"# A000045 (b-file)\r\n\r\n  \n1\t-3\r\n  2   5  \n# end\n3 8\n", "3, 5, 8", true},
        {"-2 4\n-1 1\n0 0\n", "4, 1, 0", false},
        {"5 " + std::string(1000, '9') + "\n", std::string(1000, '9'), false},
    };
    for (const auto& c : cases) {
        const BFileRead read = ReadBFile(c.text);
        EXPECT_EQ(read.terms, c.terms) << c.text;
        EXPECT_EQ(read.negativeTerms, c.negative) << c.text;
    }
    // Only the first terms are read; a fault after them does not count.
    const std::string terms = ReadBFile(Pairs(kBFileTermsMax) + "x y").terms;
    EXPECT_EQ(std::count(terms.begin(), terms.end(), ','), kBFileTermsMax - 1);
    EXPECT_TRUE(terms.ends_with(std::to_string((kBFileTermsMax - 1) * 7)));
}

TEST(BFile, AnythingElseIsRefusedNamingTheLine) {
    const struct {
        std::string text, message;
    } cases[] = {
        {"", "die b-Datei enthält kein Glied"},
        {"# nur Kommentar\n\n", "die b-Datei enthält kein Glied"},
        {"<html><body>Not found</body></html>\n",
         "Zeile 1: erwartet \"n a(n)\", nicht \"<html><body>Not found</body></html>\""},
        {"0 1\nSorry, no b-file\n", "Zeile 2: erwartet \"n a(n)\", nicht \"Sorry, no b-file\""},
        {"0 1\n1\n", "Zeile 2: erwartet \"n a(n)\", nicht \"1\""},
        {"0 1 2\n", "Zeile 1: erwartet \"n a(n)\", nicht \"0 1 2\""},
        {"0 1.5\n", "Zeile 1: erwartet \"n a(n)\", nicht \"0 1.5\""},
        {"01\n", "Zeile 1: erwartet \"n a(n)\", nicht \"01\""},
        {"1 1\n\n2 2\n1 3\n", "Zeile 4: der Index 1 folgt nicht auf 2"},
        {"1 1\n1000000 2\n",
         "Zeile 2: der Index 1000000 folgt nicht auf 1, es fehlen a(2) bis a(999999)"},
        {"-1 1\n1 2\n", "Zeile 2: der Index 1 folgt nicht auf -1, es fehlt a(0)"},
        // A body cut short may end in the middle of a term.
        {"1 1\n2 2\n3 12345",
         "Zeile 3: die Zeile endet ohne Zeilenumbruch, die b-Datei ist unvollständig"},
        {"1 1\n# Ende",
         "Zeile 2: die Zeile endet ohne Zeilenumbruch, die b-Datei ist unvollständig"},
        {"1 1\n2 2\n" + std::string(1, '\0') + "3 3\n",
         "Zeile 3: die Zeile enthält das Steuerzeichen 0x00"},
        {"# b-Datei \x1b[1m\n1 1\n", "Zeile 1: die Zeile enthält das Steuerzeichen 0x1B"},
        {"1 1\r\r\n", "Zeile 1: die Zeile enthält das Steuerzeichen 0x0D"},
        {"1 1\x7f\n", "Zeile 1: die Zeile enthält das Steuerzeichen 0x7F"},
        {"1 1\n1 1\n", "Zeile 2: der Index 1 folgt nicht auf 1"},
        {"99999999999999999999 1\n", "Zeile 1: der Index 99999999999999999999 ist zu groß"},
        {"0 1\n1 " + std::string(100000, '7') + "\n",
         "Zeile 2: das Glied hat 100000 Ziffern, mehr als 1000"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(MessageOf<EBFileError>([&] { ReadBFile(c.text); }), c.message)
            << c.text.substr(0, 60);
}

// An answer whose body ends where the connection does.
TestResponse WithoutLength(const std::string& body) {
    TestResponse r;
    r.raw = "HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n" + body;
    return r;
}

const char* const kHit = R"([{"number": 45, "data": "0,1,1,2", "name": "Fibonacci numbers."}])";

TEST(BFile, WholeLookupFetchesTheHitsBFile) {
    const std::string ten = Pairs(kBFileTermsMax);
    TestHttpServer server([&](const TestRequest& r) {
        if (r.target.starts_with("/search")) return Answer(200, kHit);
        if (r.target == "/A000045/b000045.txt") return Answer(200, ten);
        return Answer(404, "");
    });
    const OeisHit hit = OeisLookup(server.Url("/")).Run("fibonacci", true);
    EXPECT_EQ(hit.linkCaption, "A000045");
    EXPECT_EQ(hit.terms, ReadBFile(ten).terms);
    EXPECT_TRUE(hit.notices.empty());
    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 2u);
    // The same fetch as the lookup's: agent and no cache.
    EXPECT_EQ(requests[1].headers.at("user-agent"), "InetURL:/1.0");
    EXPECT_EQ(requests[1].headers.at("cache-control"), "no-cache");
}

TEST(BFile, BFilesThatLieGiveTheLookupsMessage) {
    const std::string fail =
        msg::OeisSearchFor("fibonacci") + " fand A000045, aber die b-Datei von A000045 ";
    const struct {
        TestResponse answer;
        std::string message;
    } cases[] = {
        {Answer(500, "kaputt"),
         fail + "konnte nicht geladen werden: der Server antwortete mit dem Status 500"},
        // A zero byte is not cut away with the rest of its piece of the body.
        {Answer(200, "1 1\n2 2\n" + std::string(1, '\0') + Pairs(400, 3)),
         fail + "ist fehlerhaft: Zeile 3: die Zeile enthält das Steuerzeichen 0x00"},
        {Answer(200, std::string(50u << 20, '1')),
         fail + "konnte nicht geladen werden: " + msg::AnswerLargerThan(kBFileBytesMax)},
        // Without a Content-Length only the last line tells that the body is whole.
        {WithoutLength("1 1\n2 2\n3 12345"),
         fail + "ist fehlerhaft: Zeile 3: die Zeile endet ohne Zeilenumbruch, die b-Datei ist "
                "unvollständig"},
    };
    for (const auto& c : cases) {
        TestHttpServer server([&](const TestRequest& r) {
            return r.target.starts_with("/search") ? Answer(200, kHit) : c.answer;
        });
        EXPECT_EQ(
            MessageOf<EOeisError>([&] { OeisLookup(server.Url("/")).Run("fibonacci", true); }),
            c.message);
    }
}

TEST(BFile, ASequenceWithoutBFileKeepsItsShortListAndSaysSo) {
    TestHttpServer server([&](const TestRequest& r) {
        return r.target.starts_with("/search") ? Answer(200, kHit) : Answer(404, "Not Found");
    });
    const OeisHit hit = OeisLookup(server.Url("/")).Run("fibonacci", true);
    EXPECT_EQ(hit.terms, "0, 1, 1, 2");
    EXPECT_EQ(hit.notices, std::vector<std::string>{msg::NoBFile("A000045", 404)});
}

TEST(BFile, NegativeTermsAreToldOnceWhereverTheyCameFrom) {
    const std::string negative = R"([{"number": 33999, "data": "1,-1,1,-1", "name": "(-1)^n."}])";
    const struct {
        std::string search, bFile;
        bool whole;
        std::string terms;
        std::vector<std::string> notices;
    } cases[] = {
        {negative, "", false, "1, 1, 1, 1", {msg::SignsNotRead("A033999")}},
        {kHit, "0 1\n1 -1\n2 -2\n", true, "1, 1, 2", {msg::SignsNotRead("A000045")}},
        // The short list's signs do not count when the b-file's terms are loaded.
        {negative, "0 1\n1 2\n", true, "1, 2", {}},
        {kHit, "", false, "0, 1, 1, 2", {}},
    };
    for (const auto& c : cases) {
        TestHttpServer server([&](const TestRequest& r) {
            return Answer(200, r.target.starts_with("/search") ? c.search : c.bFile);
        });
        const OeisHit hit = OeisLookup(server.Url("/")).Run("x", c.whole);
        EXPECT_EQ(hit.terms, c.terms) << c.bFile;
        EXPECT_EQ(hit.notices, c.notices) << c.bFile;
    }
}

}  // namespace
