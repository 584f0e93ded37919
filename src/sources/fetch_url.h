#pragma once
// One blocking HTTP GET, as the lookup needs it.
//
// Error style: an answer of the server is a text (the body, or "Status:" and
// the status code); a transfer that produced no answer (no connection, name not
// found, time-out, body beyond the size cap, too many redirects, a scheme other
// than http and https) throws EFetchError, whose message names the cause in
// German. The lookup adds the query to that message.
#include <cstddef>
#include <string>

#include "common/errors.h"

class EFetchError : public EInvalidInput {
    using EInvalidInput::EInvalidInput;
};

struct TFetchOptions {
    long connectTimeoutMs = 10000;  // to establish the connection
    long stallTimeoutMs = 15000;    // without a single byte arriving, once connected
    long totalTimeoutMs = 30000;    // for the whole transfer, redirects included
    std::size_t maxBodyBytes = std::size_t{4} << 20;
    long maxRedirects = 5;
};

// Puts "http://" in front of an address that starts with neither "http://" nor
// "https://" (compared without regard to case).
std::string WithHttpPrefix(const std::string& address);

// GET with the agent "InetURL:/1.0" and no cached copy. Status 200 or 302 gives
// the body, read in pieces of at most 4095 bytes, each cut at its first zero
// byte; any other status gives "Status:" followed by the code.
std::string FetchUrl(const std::string& address, const TFetchOptions& options = {});
