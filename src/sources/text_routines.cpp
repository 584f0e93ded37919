#include "sources/text_routines.h"

#include <algorithm>

void ReplaceAt(std::string& s, std::size_t position, std::size_t count,
               std::string_view replacement) {
    const std::size_t at = position == 0 ? 0 : std::min(position - 1, s.size());
    s.replace(at, std::min(count, s.size() - at), replacement);
}

bool DeleteThrough(std::string& s, std::string_view marker) {
    const std::size_t at = marker.empty() ? std::string::npos : s.find(marker);
    if (at == std::string::npos) {
        s.clear();
        return false;
    }
    s.erase(0, at + marker.size());
    return true;
}

bool DeleteFrom(std::string& s, std::string_view marker) {
    const std::size_t at = marker.empty() ? std::string::npos : s.find(marker);
    if (at == std::string::npos) return false;
    s.erase(at);
    return true;
}
