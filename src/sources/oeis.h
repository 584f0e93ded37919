#pragma once
// The lookup of a sequence in the On-Line Encyclopedia of Integer Sequences.
//
// It speaks two dialects of the server: today's JSON search (the default,
// https://oeis.org/) and the old HTML pages of a base address whose path ends
// in "/sequences/" (search page, then the list-of-terms page). The environment
// variable SONAVIX_OEIS_BASE names another base address.
//
// A lookup either gives a complete hit or throws EOeisError, whose German
// message names the query and the cause; the caller then leaves the frame as
// it was. All texts it gives are UTF-8.
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "common/errors.h"
#include "sources/fetch_url.h"

class EOeisError : public EInvalidInput {
    using EInvalidInput::EInvalidInput;
};

enum class OeisDialect { Legacy, Json };

inline constexpr const char* kOeisDefaultBase = "https://oeis.org/";

// The base address: SONAVIX_OEIS_BASE when set, else kOeisDefaultBase; with
// "http://" put in front when it names no scheme and a "/" at its end. It is
// also the home page that the link opens before the first lookup.
std::string OeisBaseAddress();
std::string NormalizeOeisBase(std::string base);
OeisDialect OeisDialectOf(const std::string& base);

// What the frame shows after a successful lookup: "OEIS-Index:" becomes
// visible, the link reads linkCaption and opens linkUrl, Memo1 gets name and
// mmoSequence terms.
struct OeisHit {
    std::string linkCaption;  // "A" and the number, e.g. "A000045"
    std::string linkUrl;      // the sequence's page
    std::string name;
    std::string terms;  // result text: unsigned members separated by ", "
    // What the user should be told although the lookup succeeded, in German,
    // one sentence each: no b-file, so the short list; signs dropped.
    std::vector<std::string> notices;
};

class OeisLookup {
public:
    // One GET; gives the body or "Status:" and the code, throws EFetchError
    // when no answer came (FetchUrl's contract).
    using FetchFunction = std::function<std::string(const std::string& url)>;
    // A random draw from 0 to 99999 for the words "ZUFALL" and "RANDOM".
    using DrawFunction = std::function<std::uint32_t()>;

    // Without fetch, FetchUrl with limits, whose totalTimeoutMs holds for the
    // whole lookup, both requests of the old dialect together; without draw, a
    // generator seeded from the clock at every draw.
    explicit OeisLookup(std::string base = OeisBaseAddress(), FetchFunction fetch = {},
                        DrawFunction draw = {}, FetchOptions limits = {});

    const std::string& Base() const { return base_; }
    OeisDialect Dialect() const { return dialect_; }

    // Looks the text of the query field up; throws EOeisError. wholeSequence:
    // the terms come from the hit's b-file instead of its short list; a hit
    // whose b-file is not there (404, 410) keeps its short list, with a notice.
    OeisHit Run(const std::string& query, bool wholeSequence = false) const;

private:
    std::string base_;
    OeisDialect dialect_;
    FetchFunction fetch_;
    DrawFunction draw_;
    FetchOptions limits_;

    using Deadline = std::chrono::steady_clock::time_point;
    // hit: the A-number whose list of terms is fetched, empty for the search.
    std::string Fetch(const std::string& url, const std::string& query, Deadline end,
                      const std::string& hit = {}, bool bFile = false) const;
    OeisHit RunLegacy(const std::string& query, const std::string& q, Deadline end) const;
    OeisHit RunJson(const std::string& query, const std::string& q, Deadline end) const;
};

// Draws from 0 to 99999 with a generator seeded from the clock.
std::uint32_t ClockSeededDraw();
