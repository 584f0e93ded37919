#pragma once
// Sequence texts: unsigned decimal members, each followed by ",", nothing else.
#include <cstdint>
#include <string>
#include <string_view>

// Builds the sequence text from any text: every character other than a digit or
// "," separates members, so "-34" reads as 34 and "3.5" as 3 and 5.
std::string NormalizeSequenceText(std::string_view raw);

// Number of members of a sequence text (its count of ",").
size_t MemberCount(std::string_view sequenceText);

// Walks a sequence text from its front. A cyclic cursor starts again at the
// front when it runs out, which is what lining the tempo sequence up with the
// note sequence by repeated doubling amounts to, without building the copies.
class SequenceCursor {
public:
    explicit SequenceCursor(std::string text, bool cyclic = false)
        : text_(std::move(text)), cyclic_(cyclic) {}
    bool AtEnd() const { return text_.empty() || (!cyclic_ && pos_ >= text_.size()); }
    // Takes the next member: its decimal digits, of any length, valid as long
    // as the cursor lives.
    std::string_view Take();

private:
    std::string text_;
    size_t pos_ = 0;
    bool cyclic_;
};
