#include "sources/fetch_url.h"

#include <curl/curl.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>

namespace {

constexpr std::size_t kPieceSize = 4095;

bool StartsWithNoCase(const std::string& s, const char* prefix) {
    const std::size_t n = std::strlen(prefix);
    if (s.size() < n) return false;
    for (std::size_t i = 0; i < n; ++i)
        if (std::tolower(static_cast<unsigned char>(s[i])) != prefix[i]) return false;
    return true;
}

// "ftp://", "file://" and the like; a bare host name has no scheme.
bool HasOtherScheme(const std::string& s) {
    std::size_t i = 0;
    while (i < s.size() && (std::isalnum(static_cast<unsigned char>(s[i])) || s[i] == '+' ||
                            s[i] == '-' || s[i] == '.'))
        ++i;
    return i > 0 && std::isalpha(static_cast<unsigned char>(s[0])) && s.compare(i, 3, "://") == 0 &&
           !StartsWithNoCase(s, "http://") && !StartsWithNoCase(s, "https://");
}

// Collects the body as the old client read it: fixed pieces of 4095 bytes,
// each kept up to its first zero byte. Pieces are cut at fixed offsets of the
// body, so the result does not depend on how the network splits the data.
struct TBodySink {
    using Clock = std::chrono::steady_clock;
    CURL* curl;
    std::size_t cap;
    std::chrono::milliseconds stallLimit;
    Clock::time_point lastActivity = Clock::now();
    bool stalled = false;
    std::string text;
    char piece[kPieceSize];
    std::size_t fill = 0;
    std::size_t received = 0;
    bool overCap = false;
    bool statusOnly = false;
    bool statusChecked = false;

    void Flush() {
        const void* zero = std::memchr(piece, 0, fill);
        text.append(piece, zero ? static_cast<const char*>(zero) - piece : fill);
        fill = 0;
    }
};

bool StatusWanted(long code) { return code == 200 || code == 302; }

size_t WriteBody(char* data, size_t, size_t size, void* userdata) {
    auto* sink = static_cast<TBodySink*>(userdata);
    sink->lastActivity = TBodySink::Clock::now();
    if (!sink->statusChecked) {
        // Only the status matters for other answers; stop before their body.
        long code = 0;
        curl_easy_getinfo(sink->curl, CURLINFO_RESPONSE_CODE, &code);
        sink->statusChecked = true;
        sink->statusOnly = !StatusWanted(code);
    }
    if (sink->statusOnly) return 0;
    if (size > sink->cap - sink->received) {
        sink->overCap = true;
        return 0;
    }
    sink->received += size;
    for (size_t used = 0; used < size;) {
        const size_t n = std::min(size - used, kPieceSize - sink->fill);
        std::memcpy(sink->piece + sink->fill, data + used, n);
        sink->fill += n;
        used += n;
        if (sink->fill == kPieceSize) sink->Flush();
    }
    return size;
}

size_t HeaderLine(char*, size_t, size_t size, void* userdata) {
    static_cast<TBodySink*>(userdata)->lastActivity = TBodySink::Clock::now();
    return size;
}

// A server that has accepted the connection but sends nothing for a while is
// given up; curl's own speed check does not watch the wait for the headers.
int CheckStall(void* userdata, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    auto* sink = static_cast<TBodySink*>(userdata);
    curl_off_t connected = 0;
    curl_easy_getinfo(sink->curl, CURLINFO_CONNECT_TIME_T, &connected);
    const auto now = TBodySink::Clock::now();
    if (connected == 0) {
        sink->lastActivity = now;  // the connect time-out rules until then
    } else if (now - sink->lastActivity >= sink->stallLimit) {
        sink->stalled = true;
        return 1;
    }
    return 0;
}

// Proxies configured for the system stay in use, but never for this machine.
std::string NoProxyList() {
    std::string list = "localhost,127.0.0.1,::1";
    for (const char* name : {"no_proxy", "NO_PROXY"})
        if (const char* v = std::getenv(name); v && *v) return std::string(v) + "," + list;
    return list;
}

std::string Seconds(long ms) { return std::to_string((ms + 999) / 1000) + " s"; }

std::string Cause(CURLcode rc, CURL* curl, const TFetchOptions& o, const TBodySink& sink) {
    if (sink.overCap)
        return "die Antwort ist größer als " + std::to_string(o.maxBodyBytes) + " Bytes";
    if (sink.stalled)
        return "Zeitüberschreitung: der Server sendet seit " + Seconds(o.stallTimeoutMs) +
               " nichts mehr";
    switch (rc) {
        case CURLE_OPERATION_TIMEDOUT: {
            curl_off_t connected = 0;
            curl_easy_getinfo(curl, CURLINFO_CONNECT_TIME_T, &connected);
            if (connected == 0)
                return "Zeitüberschreitung: keine Verbindung innerhalb von " +
                       Seconds(o.connectTimeoutMs);
            return "Zeitüberschreitung: keine vollständige Antwort innerhalb von " +
                   Seconds(o.totalTimeoutMs);
        }
        case CURLE_COULDNT_RESOLVE_HOST:
        case CURLE_COULDNT_RESOLVE_PROXY:
            return "der Servername wurde nicht gefunden (keine Netzverbindung?)";
        case CURLE_COULDNT_CONNECT:
            return "keine Verbindung zum Server";
        case CURLE_TOO_MANY_REDIRECTS:
            return "mehr als " + std::to_string(o.maxRedirects) + " Weiterleitungen";
        case CURLE_UNSUPPORTED_PROTOCOL:
            return "nur http- und https-Adressen werden abgerufen";
        case CURLE_URL_MALFORMAT:
            return "die Adresse ist ungültig";
        case CURLE_FILESIZE_EXCEEDED:
            return "die Antwort ist größer als " + std::to_string(o.maxBodyBytes) + " Bytes";
        case CURLE_PEER_FAILED_VERIFICATION:
        case CURLE_SSL_CONNECT_ERROR:
        case CURLE_SSL_CACERT_BADFILE:
            return "die sichere Verbindung (TLS) kam nicht zustande";
        case CURLE_GOT_NOTHING:
        case CURLE_RECV_ERROR:
        case CURLE_PARTIAL_FILE:
        case CURLE_WEIRD_SERVER_REPLY:
            return "der Server hat die Verbindung ohne vollständige Antwort beendet";
        default:
            return "Übertragungsfehler " + std::to_string(static_cast<int>(rc)) + " (" +
                   curl_easy_strerror(rc) + ")";
    }
}

}  // namespace

std::string WithHttpPrefix(const std::string& address) {
    if (StartsWithNoCase(address, "http://") || StartsWithNoCase(address, "https://"))
        return address;
    return "http://" + address;
}

std::string FetchUrl(const std::string& address, const TFetchOptions& options) {
    static std::once_flag initialised;
    std::call_once(initialised, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
    if (HasOtherScheme(address)) throw EFetchError("nur http- und https-Adressen werden abgerufen");

    const std::unique_ptr<CURL, decltype(&curl_easy_cleanup)> curl(curl_easy_init(),
                                                                   &curl_easy_cleanup);
    if (!curl) throw EFetchError("der HTTP-Client ließ sich nicht starten");
    curl_slist* headers = curl_slist_append(nullptr, "Cache-Control: no-cache");
    headers = curl_slist_append(headers, "Pragma: no-cache");
    const std::unique_ptr<curl_slist, decltype(&curl_slist_free_all)> headerList(
        headers, &curl_slist_free_all);

    auto sink = std::make_unique<TBodySink>();
    sink->curl = curl.get();
    sink->cap = options.maxBodyBytes;
    sink->stallLimit = std::chrono::milliseconds(options.stallTimeoutMs);
    const std::string url = WithHttpPrefix(address);
    const std::string noProxy = NoProxyList();
    CURL* c = curl.get();
    curl_easy_setopt(c, CURLOPT_URL, url.c_str());
    curl_easy_setopt(c, CURLOPT_USERAGENT, "InetURL:/1.0");
    curl_easy_setopt(c, CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(c, CURLOPT_NOPROXY, noProxy.c_str());
    curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(c, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(c, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(c, CURLOPT_MAXREDIRS, options.maxRedirects);
    curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT_MS, options.connectTimeoutMs);
    curl_easy_setopt(c, CURLOPT_TIMEOUT_MS, options.totalTimeoutMs);
    curl_easy_setopt(c, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(c, CURLOPT_XFERINFOFUNCTION, &CheckStall);
    curl_easy_setopt(c, CURLOPT_XFERINFODATA, sink.get());
    curl_easy_setopt(c, CURLOPT_HEADERFUNCTION, &HeaderLine);
    curl_easy_setopt(c, CURLOPT_HEADERDATA, sink.get());
    curl_easy_setopt(c, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(options.maxBodyBytes));
    curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, &WriteBody);
    curl_easy_setopt(c, CURLOPT_WRITEDATA, sink.get());

    const CURLcode rc = curl_easy_perform(c);
    long code = 0;
    curl_easy_getinfo(c, CURLINFO_RESPONSE_CODE, &code);
    if (rc != CURLE_OK && !sink->statusOnly) throw EFetchError(Cause(rc, c, options, *sink));
    if (!StatusWanted(code)) return "Status:" + std::to_string(code);
    if (sink->fill > 0) sink->Flush();
    return std::move(sink->text);
}
