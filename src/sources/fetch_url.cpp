#include "sources/fetch_url.h"

#include <curl/curl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>

#include "common/messages.h"
#include "common/quote.h"
#include "common/text.h"

namespace {

constexpr std::size_t kPieceSize = 4095;

// Collects the body as the old client read it: fixed pieces of 4095 bytes,
// each kept up to its first zero byte. Pieces are cut at fixed offsets of the
// body, so the result does not depend on how the network splits the data.
struct BodySink {
    using Clock = std::chrono::steady_clock;
    CURL* curl;
    std::size_t cap;
    std::chrono::milliseconds stallLimit;
    Clock::time_point lastActivity = Clock::now();
    bool stalled = false;
    const std::function<bool()>* cancelled = nullptr;
    bool aborted = false;
    std::string text;
    char piece[kPieceSize];
    std::size_t fill = 0;
    std::size_t received = 0;
    bool overCap = false;
    bool wholeBody = false;  // zero bytes are kept
    bool statusOnly = false;
    bool statusChecked = false;
    std::size_t headerBytes = 0;  // of complete header lines, all answers of a redirect chain
    curl_socket_t socket = CURL_SOCKET_BAD;  // the connection opened last
    std::string location;                    // of the last answer that sent the client on

    void Flush() {
        const void* zero = wholeBody ? nullptr : std::memchr(piece, 0, fill);
        text.append(piece, zero ? static_cast<const char*>(zero) - piece : fill);
        fill = 0;
    }
};

bool StatusWanted(long code) { return code == 200 || code == 302; }

size_t WriteBody(char* data, size_t, size_t size, void* userdata) {
    auto* sink = static_cast<BodySink*>(userdata);
    sink->lastActivity = BodySink::Clock::now();
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

size_t HeaderLine(char* data, size_t, size_t size, void* userdata) {
    auto* sink = static_cast<BodySink*>(userdata);
    sink->lastActivity = BodySink::Clock::now();
    sink->headerBytes += size;
    static constexpr std::string_view kLocation = "location:";
    const std::string_view line(data, size);
    if (line.size() > kLocation.size() &&
        std::equal(kLocation.begin(), kLocation.end(), line.begin(), [](char a, char b) {
            return a == std::tolower(static_cast<unsigned char>(b));
        })) {
        sink->location = Trimmed(line.substr(kLocation.size()), " \t", " \t\r\n");
    }
    return size;
}

// The time since the connection last received a byte, as the kernel counts it:
// a header line that arrives a byte at a time reaches no callback until it is
// complete, but each of its bytes is a sign of life.
std::optional<std::chrono::milliseconds> SinceLastByte(curl_socket_t socket) {
    tcp_info info{};
    socklen_t size = sizeof info;
    if (socket == CURL_SOCKET_BAD || getsockopt(socket, IPPROTO_TCP, TCP_INFO, &info, &size) != 0)
        return std::nullopt;
    return std::chrono::milliseconds(info.tcpi_last_data_recv);
}

int NoteSocket(void* userdata, curl_socket_t socket, curlsocktype) {
    static_cast<BodySink*>(userdata)->socket = socket;
    return CURL_SOCKOPT_OK;
}

// A server that has accepted the connection but sends nothing for a while is
// given up; curl's own speed check does not watch the wait for the headers.
int CheckStall(void* userdata, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    auto* sink = static_cast<BodySink*>(userdata);
    if (sink->cancelled && *sink->cancelled && (*sink->cancelled)()) {
        sink->aborted = true;
        return 1;
    }
    curl_off_t connected = 0;
    curl_easy_getinfo(sink->curl, CURLINFO_CONNECT_TIME_T, &connected);
    const auto now = BodySink::Clock::now();
    if (connected == 0) {
        sink->lastActivity = now;  // the connect time-out rules until then
        return 0;
    }
    if (const auto sinceByte = SinceLastByte(sink->socket); sinceByte)
        sink->lastActivity = std::max(sink->lastActivity, now - *sinceByte);
    if (now - sink->lastActivity >= sink->stallLimit) {
        sink->stalled = true;
        return 1;
    }
    return 0;
}

// curl_easy_perform, but one that can be cancelled: curl calls its progress
// callback only about once a second while no byte arrives, so the loop looks
// at the request itself every 50 ms.
CURLcode PerformCancellable(CURL* curl, BodySink& sink) {
    if (!sink.cancelled || !*sink.cancelled) return curl_easy_perform(curl);
    const std::unique_ptr<CURLM, decltype(&curl_multi_cleanup)> multi(curl_multi_init(),
                                                                      &curl_multi_cleanup);
    if (!multi || curl_multi_add_handle(multi.get(), curl) != CURLM_OK) return CURLE_OUT_OF_MEMORY;
    CURLcode result = CURLE_OK;
    for (int running = 1; running;) {
        if (curl_multi_perform(multi.get(), &running) != CURLM_OK) {
            result = CURLE_OUT_OF_MEMORY;
            break;
        }
        if (!running) break;
        if ((*sink.cancelled)()) {
            sink.aborted = true;
            break;
        }
        curl_multi_poll(multi.get(), nullptr, 0, 50, nullptr);
    }
    int left = 0;
    while (const CURLMsg* message = curl_multi_info_read(multi.get(), &left))
        if (message->msg == CURLMSG_DONE) result = message->data.result;
    curl_multi_remove_handle(multi.get(), curl);
    return result;
}

// Proxies configured for the system stay in use, but never for this machine.
std::string NoProxyList() {
    std::string list = "localhost,127.0.0.1,::1";
    for (const char* name : {"no_proxy", "NO_PROXY"})
        if (const char* v = std::getenv(name); v && *v) return std::string(v) + "," + list;
    return list;
}

std::string Seconds(long ms) { return std::to_string((ms + 999) / 1000) + " s"; }

constexpr const char* kNotHttp = "die Antwort des Servers ist keine gültige HTTP-Antwort";
// Beyond this the headers' size, not the connection, is why a reply broke off.
constexpr std::size_t kHugeHeaders = std::size_t{200} * 1024;

std::string OtherScheme(const std::string& scheme) {
    return std::string(msg::OnlyHttpAddresses) + ", nicht \"" + QuotedText(scheme) + ":\"";
}

// totalMs: the time this transfer had, less than o.totalTimeoutMs when it was
// the rest of a longer task.
std::string Cause(CURLcode rc, CURL* curl, const FetchOptions& o, long totalMs,
                  const BodySink& sink) {
    if (sink.overCap) return msg::AnswerLargerThan(o.maxBodyBytes);
    if (sink.stalled)
        return "Zeitüberschreitung: der Server sendet seit " + Seconds(o.stallTimeoutMs) +
               " nichts mehr";
    long code = 0;
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &code);
    switch (rc) {
        case CURLE_OPERATION_TIMEDOUT: {
            curl_off_t connected = 0;
            curl_easy_getinfo(curl, CURLINFO_CONNECT_TIME_T, &connected);
            if (connected == 0 && o.connectTimeoutMs < totalMs)
                return "Zeitüberschreitung: keine Verbindung innerhalb von " +
                       Seconds(o.connectTimeoutMs);
            return msg::NoCompleteAnswerWithin(Seconds(o.totalTimeoutMs));
        }
        case CURLE_TOO_MANY_REDIRECTS:
            return "mehr als " + std::to_string(o.maxRedirects) + " Weiterleitungen";
        case CURLE_UNSUPPORTED_PROTOCOL: {
            // Our own check has seen the address; what is left is a redirect
            // elsewhere, or a reply curl could not read as HTTP at all.
            if (code < 300 || code > 399) return kNotHttp;
            const std::string scheme = SchemeOf(sink.location);
            return "der Server leitet weiter, aber " +
                   (scheme.empty() ? std::string(msg::OnlyHttpAddresses) : OtherScheme(scheme));
        }
        case CURLE_FILESIZE_EXCEEDED:
            return msg::AnswerLargerThan(o.maxBodyBytes);
        case CURLE_OUT_OF_MEMORY:
            // curl gives up on a single header line beyond its limit this way.
            if (code != 0 && !sink.statusChecked) return "eine Kopfzeile der Antwort ist zu lang";
            return TransferErrorText(rc);
        case CURLE_RECV_ERROR:
            if (sink.headerBytes > kHugeHeaders && !sink.statusChecked)
                return "die Kopfzeilen der Antwort sind zu lang";
            return TransferErrorText(rc);
        default:
            return TransferErrorText(rc);
    }
}

}  // namespace

std::string SchemeOf(const std::string& s) {
    const auto isScheme = [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) || c == '+' || c == '-' || c == '.';
    };
    if (s.empty() || !std::isalpha(static_cast<unsigned char>(s[0]))) return {};
    std::size_t colon = 0;
    while (colon < s.size() && isScheme(s[colon])) ++colon;
    if (colon == s.size() || s[colon] != ':' || colon + 1 == s.size()) return {};
    // "host:8080/path" is a host and its port.
    std::size_t end = colon + 1;
    while (end < s.size() && std::isdigit(static_cast<unsigned char>(s[end]))) ++end;
    if (end > colon + 1 && (end == s.size() || s[end] == '/' || s[end] == '?' || s[end] == '#'))
        return {};
    return ToLower(s.substr(0, colon));
}

std::string WithHttpPrefix(const std::string& address) {
    return SchemeOf(address).empty() ? "http://" + address : address;
}

// NOLINTNEXTLINE(readability-function-size): a table, one case per libcurl code
std::string TransferErrorText(int curlCode) {
    switch (static_cast<CURLcode>(curlCode)) {
        case CURLE_OK:
            return "kein Fehler";
        case CURLE_UNSUPPORTED_PROTOCOL:
            return msg::OnlyHttpAddresses;
        case CURLE_URL_MALFORMAT:
            return "die Adresse ist ungültig";
        case CURLE_COULDNT_RESOLVE_HOST:
        case CURLE_COULDNT_RESOLVE_PROXY:
            return "der Servername wurde nicht gefunden (keine Netzverbindung?)";
        case CURLE_COULDNT_CONNECT:
            return "keine Verbindung zum Server";
        case CURLE_WEIRD_SERVER_REPLY:
        case CURLE_BAD_CONTENT_ENCODING:
        case CURLE_CHUNK_FAILED:
            return kNotHttp;
        case CURLE_HTTP2:
        case CURLE_HTTP2_STREAM:
        case CURLE_HTTP3:
        case CURLE_QUIC_CONNECT_ERROR:
            return "die Verbindung zum Server brach im Protokoll ab (HTTP/2 oder HTTP/3)";
        case CURLE_GOT_NOTHING:
        case CURLE_PARTIAL_FILE:
            return "der Server hat die Verbindung ohne vollständige Antwort beendet";
        case CURLE_SEND_ERROR:
        case CURLE_RECV_ERROR:
        case CURLE_AGAIN:
        case CURLE_UNRECOVERABLE_POLL:
            return "die Verbindung zum Server brach ab";
        case CURLE_OPERATION_TIMEDOUT:
            return "Zeitüberschreitung";
        case CURLE_TOO_MANY_REDIRECTS:
            return "zu viele Weiterleitungen";
        case CURLE_FILESIZE_EXCEEDED:
            return "die Antwort ist zu groß";
        case CURLE_OUT_OF_MEMORY:
            return "nicht genug Arbeitsspeicher für die Antwort";
        case CURLE_WRITE_ERROR:
        case CURLE_ABORTED_BY_CALLBACK:
            return "die Übertragung wurde abgebrochen";
        case CURLE_PEER_FAILED_VERIFICATION:
        case CURLE_SSL_ISSUER_ERROR:
        case CURLE_SSL_INVALIDCERTSTATUS:
        case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
            return "das Zertifikat des Servers ließ sich nicht prüfen (wahrscheinliche Ursache: "
                   "auf diesem Rechner fehlt der Zertifikatsspeicher, Paket ca-certificates)";
        case CURLE_SSL_CACERT_BADFILE:
        case CURLE_SSL_CRL_BADFILE:
            return "der Zertifikatsspeicher fehlt oder ist nicht lesbar, so lässt sich das "
                   "Zertifikat des Servers nicht prüfen (Paket ca-certificates installieren)";
        case CURLE_SSL_CONNECT_ERROR:
        case CURLE_SSL_CIPHER:
        case CURLE_SSL_CERTPROBLEM:
        case CURLE_SSL_CLIENTCERT:
        case CURLE_SSL_SHUTDOWN_FAILED:
        case CURLE_USE_SSL_FAILED:
            return "die sichere Verbindung (TLS) kam nicht zustande";
        case CURLE_SSL_ENGINE_NOTFOUND:
        case CURLE_SSL_ENGINE_SETFAILED:
        case CURLE_SSL_ENGINE_INITFAILED:
            return "die Verschlüsselung (TLS) dieses Rechners ließ sich nicht einrichten";
        case CURLE_PROXY:
            return "der Proxy-Server lehnte die Verbindung ab";
        case CURLE_AUTH_ERROR:
        case CURLE_LOGIN_DENIED:
        case CURLE_REMOTE_ACCESS_DENIED:
            return "der Server verlangt eine Anmeldung";
        case CURLE_INTERFACE_FAILED:
        case CURLE_NO_CONNECTION_AVAILABLE:
            return "keine Netzwerkverbindung verfügbar";
        case CURLE_NOT_BUILT_IN:
        case CURLE_FAILED_INIT:
        case CURLE_FUNCTION_NOT_FOUND:
        case CURLE_BAD_FUNCTION_ARGUMENT:
        case CURLE_UNKNOWN_OPTION:
        case CURLE_SETOPT_OPTION_SYNTAX:
        case CURLE_RECURSIVE_API_CALL:
            return "der HTTP-Client dieses Rechners kann die Anfrage nicht ausführen "
                   "(libcurl-Fehler " +
                   std::to_string(curlCode) + ")";
        default:
            // Codes of FTP, SSH, TFTP, LDAP and the like; this program speaks only HTTP.
            return "unerwarteter Fehler der Übertragung (libcurl-Fehler " +
                   std::to_string(curlCode) + ")";
    }
}

std::string FetchUrl(const std::string& address, const FetchOptions& options) {
    static std::once_flag initialised;
    std::call_once(initialised, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
    if (const std::string scheme = SchemeOf(address);
        !scheme.empty() && scheme != "http" && scheme != "https")
        throw EFetchError(OtherScheme(scheme));
    long totalMs = options.totalTimeoutMs;
    if (options.deadline) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            *options.deadline - std::chrono::steady_clock::now());
        // curl reads a time-out of 0 as none at all.
        if (left.count() <= 0)
            throw EFetchError(msg::NoCompleteAnswerWithin(Seconds(options.totalTimeoutMs)));
        totalMs = std::min<long>(totalMs, left.count());
    }

    const std::unique_ptr<CURL, decltype(&curl_easy_cleanup)> curl(curl_easy_init(),
                                                                   &curl_easy_cleanup);
    if (!curl) throw EFetchError("der HTTP-Client ließ sich nicht starten");
    curl_slist* headers = curl_slist_append(nullptr, "Cache-Control: no-cache");
    headers = curl_slist_append(headers, "Pragma: no-cache");
    const std::unique_ptr<curl_slist, decltype(&curl_slist_free_all)> headerList(
        headers, &curl_slist_free_all);

    auto sink = std::make_unique<BodySink>();
    sink->curl = curl.get();
    sink->cap = options.maxBodyBytes;
    sink->wholeBody = options.wholeBody;
    sink->stallLimit = std::chrono::milliseconds(options.stallTimeoutMs);
    sink->cancelled = &options.cancelled;
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
    curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT_MS, std::min(options.connectTimeoutMs, totalMs));
    curl_easy_setopt(c, CURLOPT_TIMEOUT_MS, totalMs);
    curl_easy_setopt(c, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(c, CURLOPT_XFERINFOFUNCTION, &CheckStall);
    curl_easy_setopt(c, CURLOPT_XFERINFODATA, sink.get());
    curl_easy_setopt(c, CURLOPT_SOCKOPTFUNCTION, &NoteSocket);
    curl_easy_setopt(c, CURLOPT_SOCKOPTDATA, sink.get());
    curl_easy_setopt(c, CURLOPT_HEADERFUNCTION, &HeaderLine);
    curl_easy_setopt(c, CURLOPT_HEADERDATA, sink.get());
    curl_easy_setopt(c, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(options.maxBodyBytes));
    curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, &WriteBody);
    curl_easy_setopt(c, CURLOPT_WRITEDATA, sink.get());

    const CURLcode rc = PerformCancellable(c, *sink);
    long code = 0;
    curl_easy_getinfo(c, CURLINFO_RESPONSE_CODE, &code);
    if (sink->aborted) throw EAborted("Abgebrochen");
    if (rc != CURLE_OK && !sink->statusOnly)
        throw EFetchError(Cause(rc, c, options, totalMs, *sink));
    if (!StatusWanted(code)) return "Status:" + std::to_string(code);
    if (sink->fill > 0) sink->Flush();
    return std::move(sink->text);
}
