#pragma once
// The fixture pages of the lookup tests and a shorthand for plain answers.
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>

#include "sources/http_test_server.h"

inline std::string Fixture(const char* name) {
    const auto path = std::filesystem::path(SONAVIX_TEST_DATA_DIR) / "oeis" / name;
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    if (text.str().empty()) throw std::runtime_error("fixture missing: " + path.string());
    return text.str();
}

inline TestResponse Answer(int status, std::string body) {
    TestResponse r;
    r.status = status;
    r.body = std::move(body);
    return r;
}
