#include "playback/seqtext.h"

#include <algorithm>

std::string NormalizeSequenceText(std::string_view raw) {
    std::string out;
    out.reserve(raw.size() + 1);
    // One pass does all three steps: separators collapse into one "," after
    // each member, and nothing stands before the first member.
    bool inMember = false;
    for (char c : raw) {
        if (c >= '0' && c <= '9') {
            out += c;
            inMember = true;
        } else if (inMember) {
            out += ',';
            inMember = false;
        }
    }
    if (inMember) out += ',';
    return out;
}

size_t MemberCount(std::string_view sequenceText) {
    return static_cast<size_t>(std::count(sequenceText.begin(), sequenceText.end(), ','));
}

std::string_view SequenceCursor::Take() {
    if (cyclic_ && pos_ >= text_.size()) pos_ = 0;
    const size_t comma = text_.find(',', pos_);
    const size_t end = comma == std::string::npos ? text_.size() : comma;
    const std::string_view member(text_.data() + pos_, end - pos_);
    pos_ = end + 1;
    return member;
}
