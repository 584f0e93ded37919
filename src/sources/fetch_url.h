#pragma once
// One blocking HTTP GET, as the lookup needs it.
//
// Error style: an answer of the server is a text (the body, or "Status:" and
// the status code); a transfer that produced no answer (no connection, name not
// found, time-out, body beyond the size cap, too many redirects, a scheme other
// than http and https, a reply that is no HTTP) throws EFetchError, whose
// message names the cause in German. The lookup adds the query to that message.
#include <chrono>
#include <cstddef>
#include <functional>
#include <optional>
#include <string>

#include "common/errors.h"

class EFetchError : public EInvalidInput {
    using EInvalidInput::EInvalidInput;
};

struct FetchOptions {
    long connectTimeoutMs = 10000;  // to establish the connection
    long stallTimeoutMs = 15000;    // without a single byte arriving, once connected
    long totalTimeoutMs = 30000;    // for the whole transfer, redirects included
    // When set, the transfer is a part of a longer task that ends there; the
    // transfer gets only the time left, and totalTimeoutMs names the task's limit.
    std::optional<std::chrono::steady_clock::time_point> deadline;
    std::size_t maxBodyBytes = std::size_t{4} << 20;
    // The body as it came, zero bytes and all, for a reader that checks it
    // itself; otherwise each piece of 4095 bytes ends at its first zero byte.
    bool wholeBody = false;
    long maxRedirects = 5;
    // Asked while the transfer runs, from the thread that runs it; true ends
    // the transfer at once with EAborted.
    std::function<bool()> cancelled;
};

// The scheme an address starts with ("ftp" of "ftp://host", "file" of
// "file:/x"), or "" when it names none; "host:8080" names a port, not a scheme.
std::string SchemeOf(const std::string& address);

// Puts "http://" in front of an address that names no scheme.
std::string WithHttpPrefix(const std::string& address);

// The German text of a libcurl result code, as far as it tells the cause alone.
std::string TransferErrorText(int curlCode);

// GET with the agent "InetURL:/1.0" and no cached copy. Status 200 or 302 gives
// the body, read in pieces of at most 4095 bytes, each cut at its first zero
// byte unless options.wholeBody; any other status gives "Status:" followed by
// the code.
std::string FetchUrl(const std::string& address, const FetchOptions& options = {});
