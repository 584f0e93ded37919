#include "sources/generation.h"

#include <gtest/gtest.h>

#include <chrono>

#include "common/errors.h"
#include "common/messages.h"
#include "support/expect_error.h"

namespace {
struct Frame {
    TTerm term;
    ValueListTable startValues{std::vector<std::string>{"0"}, 1};
    FormulaGenerator generator{term, startValues};

    std::string Generate(const std::string& formula, const std::string& count, bool zero = false,
                         std::vector<std::string> starts = {}) {
        if (!starts.empty()) {
            generator.FormulaExit(formula);
            for (size_t i = 0; i < starts.size(); ++i)
                startValues.SetValue(static_cast<int>(i), starts[i]);
        }
        std::string list = "vorher";
        generator.Generate(formula, count, zero, list);
        return list;
    }
    std::vector<std::string> Rows() const {
        std::vector<std::string> rows;
        for (int i = 0; i < startValues.RowCount(); ++i)
            rows.push_back(startValues.Key(i) + "=" + startValues.Value(i));
        return rows;
    }
};
}  // namespace

TEST(Generation, MembersAsTheExplicitListShowsThem) {
    const struct {
        const char* formula;
        const char* count;
        bool zero;
        std::vector<std::string> starts;
        std::string list;
    } cases[] = {
        {"0",
         "30",
         false,
         {},
         "0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, "
         "0"},
        {"x", "3", false, {}, "1, 2, 3"},
        {"x", "3", true, {}, "0, 1, 2"},
        {"x_1+x_2", "5", false, {"1", "0"}, "1, 2, 3, 5, 8"},
        {"x_1-5", "3", false, {"0"}, "-5, -10, -15"},
        {"x_1/2", "1", false, {"-4"}, "-2"},
        {"x*2000000000", "2", false, {}, "2000000000, 4000000000"},
        {"x_1-1", "1", false, {"-9223372036854775807"}, "-9223372036854775808"},
        {"x_3", "4", false, {"7", "8", "9"}, "9, 8, 7, 9"},
        {"x", "0", false, {}, ""},
        {"x", "-5", false, {}, ""},
        {"x^2", "+4", false, {}, "1, 4, 9, 16"},
    };
    for (const auto& c : cases) {
        Frame f;
        EXPECT_EQ(f.Generate(c.formula, c.count, c.zero, c.starts), c.list) << c.formula;
    }
}

TEST(Generation, StartValueTableFollowsTheFormula) {
    Frame f;
    f.generator.FormulaExit("x_1+x_2");
    EXPECT_EQ(f.Rows(), (std::vector<std::string>{"1=0", "2=0"}));
    EXPECT_TRUE(f.generator.StartValuesShown());
    f.startValues.SetValue(1, "6");
    f.generator.FormulaExit("x_3");
    EXPECT_EQ(f.Rows(), (std::vector<std::string>{"1=0", "2=6", "3=0"}));
    f.generator.FormulaExit("x+1");  // no x_k: hidden, rows kept
    EXPECT_FALSE(f.generator.StartValuesShown());
    EXPECT_EQ(f.Rows().size(), 3u);
    f.generator.FormulaExit("x_1");
    EXPECT_EQ(f.Rows(), (std::vector<std::string>{"1=0"}));
}

TEST(Generation, NewRowsTakeWhatTheTermRemembers) {
    Frame f;
    EXPECT_EQ(f.Generate("x_1+x_2", "4", false, {"1", "1"}), "2, 3, 5, 8");
    // Predecessors now holds 8, 5; a third row takes the list's third element, which does not
    // exist.
    f.generator.FormulaExit("x_4");
    EXPECT_EQ(f.Rows(), (std::vector<std::string>{"1=1", "2=1", "3=0", "4=0"}));
    Frame g;
    g.Generate("x_1-1", "3", false, {"0"});  // leaves -3
    g.startValues.Assign({});
    g.generator.FormulaExit("x_1");
    EXPECT_EQ(g.Rows(), (std::vector<std::string>{"1=-3"}));
    // What the table shows is accepted by the next generation.
    EXPECT_EQ(g.Generate("x_1", "1"), "-3");
}

TEST(Generation, FailuresLeaveWhatTheyShould) {
    struct Case {
        const char* name;
        const char* formula;
        const char* count;
        std::vector<std::string> starts;
        const char* message;
        const char* list;
    } cases[] = {
        {"start value", "x_1+1", "3", {"eins"}, "'eins' ist kein gültiger Integerwert", "vorher"},
        {"count", "x", "drei", {}, "'drei' ist kein gültiger Integerwert", ""},
        {"evaluation", "1/(3-x)", "5", {}, "Gleitkommadivision durch Null", "0, 1"},
        {"too many predecessors", "x_101", "1", {}, nullptr, "vorher"},
        {"start value beyond 64 bits",
         "x_1",
         "1",
         {"9223372036854775808"},
         "'9223372036854775808' ist kein gültiger Integerwert",
         "vorher"},
        {"member beyond 64 bits",
         "x_1*2",
         "3",
         {"3000000000000000000"},
         "Das 2. Folgeglied (x = 2) ist 12000000000000000000 und liegt außerhalb von "
         "-9223372036854775808 bis 9223372036854775807",
         "6000000000000000000"},
    };
    for (const auto& c : cases) {
        Frame f;
        if (!c.starts.empty()) {
            f.generator.FormulaExit(c.formula);
            f.startValues.SetValue(0, c.starts[0]);
        }
        std::string list = "vorher";
        const std::string message =
            MessageOf<Exception>([&] { f.generator.Generate(c.formula, c.count, false, list); });
        if (c.message)
            EXPECT_EQ(message, c.message) << c.name;
        else
            EXPECT_NE(message.find("x_101"), std::string::npos) << message;
        EXPECT_EQ(list, c.list) << c.name;
    }
}

TEST(Generation, FibonacciIsExactUpToTheLastMemberThatFits) {
    Frame f;
    std::string list;
    f.generator.FormulaExit("x_1+x_2");
    f.startValues.SetValue(0, "1");
    f.startValues.SetValue(1, "0");
    EXPECT_EQ(MessageOf<EInvalidInput>([&] { f.generator.Generate("x_1+x_2", "100", true, list); }),
              "Das 92. Folgeglied (x = 91) ist 12200160415121876738 und liegt außerhalb von "
              "-9223372036854775808 bis 9223372036854775807");
    EXPECT_EQ(list.substr(list.rfind(", ") + 2), "7540113804746346429");
    EXPECT_EQ(list.substr(0, 12), "1, 2, 3, 5, ");
}

TEST(Generation, EvaluationFailureKeepsTheMembersBefore) {
    Frame f;
    std::string list;
    EXPECT_THROW(f.generator.Generate("6/(3-x)", "5", false, list), EZeroDivide);
    EXPECT_EQ(list, "3, 6");
}

TEST(Generation, HugeCountEndsAtTheListCapacity) {
    Frame f;
    std::string list;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(
        MessageOf<EOutOfCapacity>([&] { f.generator.Generate("x", "2147483647", false, list); }),
        msg::MemoCapacity);
    EXPECT_LE(list.size(), kExplicitListCapacity);
    EXPECT_GT(list.size(), kExplicitListCapacity - 16);
    EXPECT_EQ(list.substr(0, 9), "1, 2, 3, ");
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
}
