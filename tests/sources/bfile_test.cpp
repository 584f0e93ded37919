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
    } cases[] = {
        {"0 0\n1 1\n2 1\n3 2\n", "0, 1, 1, 2"},
        {"# A000045 (b-file)\r\n\r\n  \n1\t-3\r\n  2   5  \n# end\n7 8", "3, 5, 8"},
        {"-2 4\n-1 1\n0 0\n", "4, 1, 0"},
        {"5 " + std::string(1000, '9') + "\n", std::string(1000, '9')},
    };
    for (const auto& c : cases) EXPECT_EQ(BFileTerms(c.text), c.terms) << c.text;
    // Only the first terms are read; a fault after them does not count.
    const std::string terms = BFileTerms(Pairs(kBFileTermsMax) + "x y\n");
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
        {"1 1\n\n3 2\n2 3\n", "Zeile 4: der Index 2 folgt nicht auf 3"},
        {"1 1\n1 1\n", "Zeile 2: der Index 1 folgt nicht auf 1"},
        {"99999999999999999999 1\n", "Zeile 1: der Index 99999999999999999999 ist zu groß"},
        {"0 1\n1 " + std::string(100000, '7') + "\n",
         "Zeile 2: das Glied hat 100000 Ziffern, mehr als 1000"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(MessageOf<EBFileError>([&] { BFileTerms(c.text); }), c.message)
            << c.text.substr(0, 60);
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
    EXPECT_EQ(hit.terms, BFileTerms(ten));
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
        {Answer(404, "gone"),
         fail + "konnte nicht geladen werden: der Server antwortete mit dem Status 404"},
        {Answer(200, std::string(50u << 20, '1')),
         fail + "konnte nicht geladen werden: " + msg::AnswerLargerThan(kBFileBytesMax)},
        {Answer(200, "0 0\n2 1\n1 1\n"),
         fail + "ist fehlerhaft: Zeile 3: der Index 1 folgt nicht auf 2"},
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

}  // namespace
