// Every example of the help pages, run through the command-line tool: a page
// marks each one beside its text as
//   <!--check eval|+count=5|+start=1,0|x_1+x_2 => 1, 2, 3, 5, 8-->
// (arguments split at "|", "+name=value" is the option --name value, "+name"
// the switch --name; the expected output's lines joined by " / ", the message
// on standard error when the tool fails).
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <string>
#include <vector>

#include "support/program.h"

namespace {
namespace fs = std::filesystem;

struct Example {
    std::string page;
    std::vector<std::string> args;
    std::string expected;
};

std::vector<std::string> Split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    size_t from = 0;
    for (size_t at; (at = text.find(separator, from)) != std::string::npos; from = at + 1)
        parts.push_back(text.substr(from, at - from));
    parts.push_back(text.substr(from));
    return parts;
}

std::vector<std::string> Arguments(const std::string& marked) {
    std::vector<std::string> args;
    for (const std::string& part : Split(marked, '|')) {
        if (part.empty() || part[0] != '+') {
            args.push_back(part);
            continue;
        }
        const size_t equals = part.find('=');
        args.push_back("--" + part.substr(1, equals - 1));
        if (equals != std::string::npos) args.push_back(part.substr(equals + 1));
    }
    return args;
}

std::vector<Example> ExamplesOfThePages() {
    static const std::regex kMark("<!--check ([^]*?) => ([^]*?)-->");
    std::vector<Example> examples;
    for (const auto& entry : fs::directory_iterator(SONAVIX_HELP_PAGES)) {
        if (entry.path().extension() != ".htm") continue;
        const std::string text = ReadWholeFile(entry.path());
        for (std::sregex_iterator m(text.begin(), text.end(), kMark), end; m != end; ++m)
            examples.push_back(
                {entry.path().filename().string(), Arguments((*m)[1].str()), (*m)[2].str()});
    }
    return examples;
}

// The output as the marks write it: lines joined by " / ", no final newline.
std::string Joined(std::string text) {
    while (!text.empty() && text.back() == '\n') text.pop_back();
    for (size_t at; (at = text.find('\n')) != std::string::npos;) text.replace(at, 1, " / ");
    return text;
}

TEST(HelpPages, EveryMarkedExampleIsWhatTheProgramGives) {
    const std::vector<Example> examples = ExamplesOfThePages();
    // The pages carry dozens of marks; a handful would mean the pattern no longer finds them.
    ASSERT_GE(examples.size(), 40u);
    for (const Example& e : examples) {
        const ProgramResult r = RunProgram(SONAVIX_CLI, e.args);
        std::string shown = e.page + ":";
        for (const std::string& a : e.args) shown += " [" + a + "]";
        EXPECT_EQ(Joined(r.status == 0 ? r.out : r.err), e.expected) << shown;
    }
}

TEST(HelpPages, MarkArgumentsBecomeOptions) {
    EXPECT_EQ(
        Arguments("eval|+count=5|+zero|+start=1,0|x_1+x_2"),
        (std::vector<std::string>{"eval", "--count", "5", "--zero", "--start", "1,0", "x_1+x_2"}));
}

}  // namespace
