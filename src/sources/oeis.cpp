#include "sources/oeis.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <random>

#include "common/messages.h"
#include "common/quote.h"
#include "common/text.h"
#include "sources/bfile.h"
#include "sources/fetch_url.h"
#include "sources/oeis_json.h"
#include "sources/oeis_query.h"
#include "sources/text_routines.h"

namespace {

// Markers of the old pages, in the order the lookup meets them.
constexpr const char* kM1 = R"(<table cellspacing="0" cellpadding="0" border="0" width="100%">)";
constexpr const char* kM2 = R"(<a href="/~kvet/sequences/A)";
constexpr const char* kM3 = "\"";
constexpr const char* kM4 = "<td valign=top align=left>";
constexpr const char* kM5 = "</td>";
constexpr const char* kM6 = "<pre>";
constexpr const char* kM7 = "[";
constexpr const char* kM8 = "]";

bool IsRandomWord(const std::string& q) {
    std::string upper = q;
    for (char& c : upper)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return upper == "ZUFALL" || upper == "RANDOM";
}

std::string WithoutLeadingZeros(std::string digits) {
    digits.erase(0, digits.find_first_not_of('0') == std::string::npos
                        ? digits.size()
                        : digits.find_first_not_of('0'));
    return digits;
}

// "A" and the number with at least six digits, as the database writes it.
std::string SixDigitANumber(const std::string& digits) {
    return "A" + std::string(digits.size() < 6 ? 6 - digits.size() : 0, '0') + digits;
}

// An A-number typed in the field: "A45", "a000045", blanks around allowed.
bool ParseANumber(const std::string& q, std::string& digits) {
    const std::size_t first = q.find_first_not_of(' ');
    const std::size_t last = q.find_last_not_of(' ');
    if (first == std::string::npos || (q[first] != 'A' && q[first] != 'a')) return false;
    const std::string rest = WithoutLeadingZeros(q.substr(first + 1, last - first));
    if (!IsAllDigits(rest) || rest.size() > 7) return false;
    digits = rest;
    return true;
}

// Deletes each "<" through the first ">" after it, as long as such a pair is
// left; a "<" without a ">" after it ends the removal.
std::string WithoutMarkup(const std::string& s) {
    std::string out;
    std::size_t i = 0;
    for (;;) {
        const std::size_t lt = s.find('<', i);
        const std::size_t gt = lt == std::string::npos ? lt : s.find('>', lt + 1);
        if (gt == std::string::npos) {
            out.append(s, i);
            return out;
        }
        out.append(s, i, lt - i);
        i = gt + 1;
    }
}

// Line feeds go (carriage returns stay), then blanks at both ends.
std::string CleanName(std::string s) {
    std::erase(s, '\n');
    return Trimmed(s, " ", " ");
}

// Keeps digits and ",", then puts one blank after every ",".
std::string TermsText(const std::string& raw) {
    std::string out;
    for (const char c : raw) {
        if (IsDigit(c)) out += c;
        if (c == ',') out += ", ";
    }
    return out;
}

// A "-" before a digit: the sign of a term, which TermsText drops.
bool HasNegativeTerm(const std::string& raw) {
    for (std::size_t i = 0; i + 1 < raw.size(); ++i)
        if (raw[i] == '-' && IsDigit(raw[i + 1])) return true;
    return false;
}

// The status of an answer that says the file is not there (404, 410); 0 otherwise.
int MissingFileStatus(const std::string& text) {
    if (text == "Status:404") return 404;
    if (text == "Status:410") return 410;
    return 0;
}

bool HasDigit(const std::string& s) {
    for (const char c : s)
        if (IsDigit(c)) return true;
    return false;
}

[[noreturn]] void Fail(const std::string& query, const std::string& cause) {
    throw EOeisError(msg::OeisSearchFor(query) + " ist fehlgeschlagen: " + cause);
}

}  // namespace

std::uint32_t ClockSeededDraw() {
    std::mt19937 generator(
        static_cast<std::uint32_t>(std::chrono::system_clock::now().time_since_epoch().count()));
    return std::uniform_int_distribution<std::uint32_t>(0, 99999)(generator);
}

std::string NormalizeOeisBase(std::string base) {
    base = Trimmed(base);
    if (base.empty()) return kOeisDefaultBase;
    base = WithHttpPrefix(base);
    if (base.back() != '/') base += '/';
    return base;
}

std::string OeisBaseAddress() {
    const char* configured = std::getenv("SONAVIX_OEIS_BASE");
    return NormalizeOeisBase(configured ? configured : "");
}

OeisDialect OeisDialectOf(const std::string& base) {
    return base.ends_with("/sequences/") ? OeisDialect::Legacy : OeisDialect::Json;
}

OeisLookup::OeisLookup(std::string base, FetchFunction fetch, DrawFunction draw,
                       FetchOptions limits)
    : base_(NormalizeOeisBase(std::move(base))),
      dialect_(OeisDialectOf(base_)),
      fetch_(std::move(fetch)),
      draw_(draw ? std::move(draw) : &ClockSeededDraw),
      limits_(std::move(limits)) {}

std::string OeisLookup::Fetch(const std::string& url, const std::string& query, Deadline end,
                              const std::string& hit, bool bFile) const {
    // A failed second request is not a failed search: the message names the hit.
    const auto failed = [&](const std::string& cause) {
        if (hit.empty()) Fail(query, cause);
        throw EOeisError(msg::OeisSearchFor(query) + " fand " + hit +
                         (bFile ? ", aber die b-Datei von " + hit + " konnte"
                                : ", aber die Glieder von " + hit + " konnten") +
                         " nicht geladen werden: " + cause);
    };
    std::string text;
    try {
        if (fetch_) {
            text = fetch_(url);
        } else {
            FetchOptions options = limits_;
            options.deadline = end;
            if (bFile) {
                options.maxBodyBytes = std::max(options.maxBodyBytes, kBFileBytesMax);
                // Its reader refuses a zero byte instead of losing what follows it.
                options.wholeBody = true;
            }
            text = FetchUrl(url, options);
        }
    } catch (const EFetchError& e) {
        failed(e.Message());
    }
    if (text.empty()) failed("der Server gab eine leere Antwort");
    // A sequence without a b-file keeps its short list; the caller says so.
    if (bFile && MissingFileStatus(text) != 0) return text;
    if (text.starts_with("Status:"))
        failed("der Server antwortete mit dem Status " + text.substr(7));
    return text;
}

OeisHit OeisLookup::Run(const std::string& query, bool wholeSequence) const {
    if (query.find_first_not_of(" \t\r\n") == std::string::npos)
        throw EOeisError(
            "Bitte einen OEIS-Index, einen Suchbegriff oder einige Glieder einer Folge eingeben");
    std::string q = query;
    if (IsRandomWord(query)) q = "A" + std::to_string(draw_() % 100000 + 1);
    // One limit for the whole lookup, however many requests it takes.
    const Deadline end =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(limits_.totalTimeoutMs);
    OeisHit hit =
        dialect_ == OeisDialect::Legacy ? RunLegacy(query, q, end) : RunJson(query, q, end);
    if (!wholeSequence) return hit;
    const std::string text =
        Fetch(BFileAddress(base_, hit.linkCaption), query, end, hit.linkCaption, true);
    if (const int status = MissingFileStatus(text); status != 0) {
        hit.notices.insert(hit.notices.begin(), msg::NoBFile(hit.linkCaption, status));
        return hit;
    }
    try {
        const BFileRead read = ReadBFile(text);
        hit.terms = read.terms;
        // The short list's notice went with its terms.
        hit.notices.clear();
        if (read.negativeTerms) hit.notices.push_back(msg::SignsNotRead(hit.linkCaption));
    } catch (const EBFileError& e) {
        throw EOeisError(msg::OeisSearchFor(query) + " fand " + hit.linkCaption +
                         ", aber die b-Datei von " + hit.linkCaption +
                         " ist fehlerhaft: " + e.Message());
    }
    return hit;
}

OeisHit OeisLookup::RunLegacy(const std::string& query, const std::string& q, Deadline end) const {
    std::string page = Fetch(base_ + "?q=" + EncodeQuery(Utf8ToWindows1252(q)), query, end);
    if (!DeleteThrough(page, kM1)) Fail(query, "die Antwort ist keine Ergebnisseite der OEIS");
    if (!DeleteThrough(page, kM2)) Fail(query, "keine Treffer");

    std::string number = page;
    if (!DeleteFrom(number, kM3) || !IsAllDigits(number) || number.size() > 9 ||
        WithoutLeadingZeros(number).empty())
        Fail(query, msg::UnknownResultPage);
    OeisHit hit;
    hit.linkCaption = "A" + number;
    hit.linkUrl = base_ + "A" + number;
    number = WithoutLeadingZeros(number);

    if (!DeleteThrough(page, kM4) || !DeleteFrom(page, kM5)) Fail(query, msg::UnknownResultPage);
    hit.name = Windows1252ToUtf8(CleanName(WithoutMarkup(page)));

    std::string terms = Fetch(base_ + "table?a=" + number + "&fmt=4", query, end, hit.linkCaption);
    if (!DeleteThrough(terms, kM6) || !DeleteThrough(terms, kM7) || !DeleteFrom(terms, kM8))
        Fail(query, "die Seite der Glieder von " + hit.linkCaption + " hat ein unbekanntes Format");
    if (!HasDigit(terms)) Fail(query, hit.linkCaption + " hat keine Glieder");
    hit.terms = TermsText(terms);
    if (HasNegativeTerm(terms)) hit.notices.push_back(msg::SignsNotRead(hit.linkCaption));
    return hit;
}

OeisHit OeisLookup::RunJson(const std::string& query, const std::string& q, Deadline end) const {
    std::string digits;
    const std::string search = ParseANumber(q, digits) ? "id:" + SixDigitANumber(digits) : q;
    const std::optional<JsonValue> answer = ParseJson(
        Fetch(base_ + "search?q=" + EncodeQuery(SanitizeUtf8(search)) + "&fmt=json", query, end));
    if (!answer) Fail(query, "die Antwort ist kein gültiges JSON");

    using Kind = JsonValue::Kind;
    const JsonValue* results = &*answer;
    if (answer->kind == Kind::Object) {
        results = answer->Member("results");
        if (!results) Fail(query, msg::UnknownAnswerFormat);
    }
    if (results->kind == Kind::Null || (results->kind == Kind::Array && results->items.empty())) {
        const JsonValue* count = answer->Member("count");
        if (count && count->kind == Kind::Number && HasDigit(WithoutLeadingZeros(count->text)))
            Fail(query, "zu viele Treffer; bitte die Suche eingrenzen");
        Fail(query, "keine Treffer");
    }
    if (results->kind != Kind::Array) Fail(query, msg::UnknownAnswerFormat);

    const JsonValue& first = results->items.front();
    const JsonValue* number = first.Member("number");
    const JsonValue* name = first.Member("name");
    const JsonValue* data = first.Member("data");
    if (!number || number->kind != Kind::Number || !IsAllDigits(number->text) ||
        number->text.size() > 9 || WithoutLeadingZeros(number->text).empty() || !name ||
        name->kind != Kind::String || !data || data->kind != Kind::String)
        Fail(query, msg::UnknownAnswerFormat);

    OeisHit hit;
    hit.linkCaption = SixDigitANumber(WithoutLeadingZeros(number->text));
    hit.linkUrl = base_ + hit.linkCaption;
    hit.name = CleanName(name->text);
    if (!HasDigit(data->text)) Fail(query, hit.linkCaption + " hat keine Glieder");
    hit.terms = TermsText(data->text);
    if (HasNegativeTerm(data->text)) hit.notices.push_back(msg::SignsNotRead(hit.linkCaption));
    return hit;
}
