#include "service/HttpTransport.h"

#include "platform/Errors.h"
#include "service/CertificateLeniency.h"
#include "service/InterfaceRegistry.h"

#include <algorithm>
#include <charconv>
#include <exception>
#include <string_view>

namespace qv {

// What one call learns while libcurl runs its callbacks.
struct THttpTransport::Exchange {
    Exchange(MemoryStream& stream, const HttpLimits& limits, const MonotonicClock& clock)
        : response(stream)
        , maxReplyBytes(limits.maxReplyBytes)
        , stallTimeout(limits.stallTimeout)
        , clock(clock) {}

    CURL* handle = nullptr;
    MemoryStream& response;
    std::size_t maxReplyBytes;
    std::size_t received = 0;
    bool replyTooLarge = false;

    long status = 0;
    std::string reason;
    bool refusedStatus = false;

    std::chrono::milliseconds stallTimeout;
    const MonotonicClock& clock;
    // Stall tracking starts once the connection is up; connecting has its own time-out.
    bool transferring = false;
    curl_off_t movedSoFar = 0;
    std::chrono::steady_clock::time_point lastMovement;
    bool stalled = false;

    // An exception may not cross libcurl's C frames; it waits here until perform returns.
    std::exception_ptr callbackFailure;
    char errorText[CURL_ERROR_SIZE] = {};
};

namespace {

bool isErrorStatus(long status) {
    return status >= 300 && status != 500;
}
bool isRedirect(long status) {
    return status >= 300 && status < 400;
}

std::string_view trimLineEnd(std::string_view text) {
    while (!text.empty() && (text.back() == '\r' || text.back() == '\n')) {
        text.remove_suffix(1);
    }
    return text;
}

// "HTTP/1.1 404 Not Found" gives 404 and "Not Found"; a missing reason phrase gives "".
void readStatusLine(std::string_view line, long& status, std::string& reason) {
    status = 0;
    reason.clear();
    const auto codeStart = line.find(' ');
    if (codeStart == std::string_view::npos) {
        return;
    }
    const auto rest = line.substr(codeStart + 1);
    std::from_chars(rest.data(), rest.data() + rest.size(), status);
    const auto reasonStart = rest.find(' ');
    if (reasonStart != std::string_view::npos) {
        reason = rest.substr(reasonStart + 1);
    }
}

std::string bypassListForCurl(const std::string& byPass) {
    std::string list = byPass;
    std::replace_if(
        list.begin(), list.end(), [](char c) { return c == ';' || c == ' ' || c == '\t'; }, ',');
    return list;
}

std::string describe(std::chrono::milliseconds span) {
    if (span.count() % 1000 == 0) {
        return std::to_string(span.count() / 1000) + " s";
    }
    return std::to_string(span.count()) + " ms";
}

template <typename Value> void setOption(CURL* handle, CURLoption option, Value value) {
    if (curl_easy_setopt(handle, option, value) != CURLE_OK) {
        throw GeneralError("The HTTP client refused option " + std::to_string(option));
    }
}

} // namespace

THttpTransport::THttpTransport() {
    EnsureCurlInitialised();
}

void THttpTransport::setURL(const std::string& url) {
    HttpUrl parts;
    if (!url.empty()) {
        parts = SplitHttpUrl(url);
    }
    disconnect();
    urlParts_ = parts;
    url_ = url;
}

std::string THttpTransport::SOAPAction() const {
    if (soapAction_.empty() &&
        !InvokeOptions.contains(TSoapInvokeOption::soNoValueForEmptySOAPAction)) {
        return "\"\"";
    }
    return soapAction_;
}

void THttpTransport::requireURL() const {
    if (url_.empty()) {
        throw GeneralError("No WSDL or URL property was set in the THttpServiceProxy component. "
                           "You must set the WSDL or URL property before invoking the Web "
                           "Service");
    }
}

void THttpTransport::PrepareCall(const InterfaceInfo& intf, const std::string& operation) {
    requireURL();
    soapAction_ = interfaceRegistry().soapAction(intf, operation);
}

void THttpTransport::connect() {
    if (handle_) {
        return;
    }
    handle_.reset(curl_easy_init());
    if (!handle_) {
        throw GeneralError("The HTTP client could not be opened - URL:" + url_ +
                           " - SOAPAction:" + SOAPAction());
    }
}

CurlSlistPtr THttpTransport::requestHeaders() const {
    const std::string action = SOAPAction();
    std::string actionLine;
    if (action.empty()) {
        actionLine = "SOAPAction;"; // curl's way to send a header with no value
    } else if (action == "\"\"") {
        actionLine = "SOAPAction: \"\"";
    } else {
        actionLine = "SOAPAction: \"" + action + "\"";
    }
    const char* contentType =
        UseUTF8InHeader ? "Content-Type: text/xml; charset=\"utf-8\"" : "Content-Type: text/xml";

    CurlSlistPtr list;
    // An empty "Expect:" keeps curl from waiting for "100 Continue" before large bodies.
    for (const char* line : {"Accept: text/xml", actionLine.c_str(), contentType, "Expect:"}) {
        curl_slist* grown = curl_slist_append(list.get(), line);
        if (!grown) {
            throw GeneralError("Out of memory while preparing the HTTP request");
        }
        if (!list) {
            list.reset(grown); // later appends keep the same head
        }
    }
    return list;
}

void THttpTransport::configure(Exchange& exchange, const std::string& request,
                               curl_slist* headers) {
    CURL* h = handle_.get();
    setOption(h, CURLOPT_URL, url_.c_str());
    setOption(h, CURLOPT_PROTOCOLS_STR, "http,https");
    setOption(h, CURLOPT_HTTP_VERSION, long{CURL_HTTP_VERSION_1_1});
    setOption(h, CURLOPT_NOSIGNAL, 1L);
    setOption(h, CURLOPT_POST, 1L);
    setOption(h, CURLOPT_POSTFIELDS, request.data());
    setOption(h, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(request.size()));
    setOption(h, CURLOPT_HTTPHEADER, headers);
    setOption(h, CURLOPT_USERAGENT, Agent.empty() ? nullptr : Agent.c_str());

    // Redirects are followed as a desktop HTTP client does, but only to http and https.
    setOption(h, CURLOPT_FOLLOWLOCATION, 1L);
    setOption(h, CURLOPT_MAXREDIRS, 5L);
    setOption(h, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");

    setOption(h, CURLOPT_PROXY, Proxy.empty() ? nullptr : Proxy.c_str());
    const std::string byPass = bypassListForCurl(ProxyByPass);
    setOption(h, CURLOPT_NOPROXY, Proxy.empty() || byPass.empty() ? nullptr : byPass.c_str());
    setOption(h, CURLOPT_USERNAME, UserName.empty() ? nullptr : UserName.c_str());
    setOption(h, CURLOPT_PASSWORD, UserName.empty() ? nullptr : Password.c_str());
    setOption(h, CURLOPT_HTTPAUTH, UserName.empty() ? CURLAUTH_BASIC : CURLAUTH_ANY);

    const bool lenient = InvokeOptions.contains(TSoapInvokeOption::soIgnoreInvalidCerts);
    setOption(h, CURLOPT_SSL_VERIFYPEER, 1L);
    setOption(h, CURLOPT_SSL_VERIFYHOST, lenient ? 0L : 2L);
    setOption(h, CURLOPT_SSL_CTX_FUNCTION,
              lenient ? &AcceptCertificatesOutsideTheirDates : nullptr);
    if (!caFile_.empty()) {
        // Only ever set: clearing it would also drop the system's default bundle.
        setOption(h, CURLOPT_CAINFO, caFile_.c_str());
    }

    setOption(h, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(limits_.connectTimeout.count()));
    setOption(h, CURLOPT_NOPROGRESS, 0L);
    setOption(h, CURLOPT_XFERINFOFUNCTION, &THttpTransport::onProgress);
    setOption(h, CURLOPT_XFERINFODATA, &exchange);
    setOption(h, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(limits_.maxReplyBytes));

    setOption(h, CURLOPT_HEADERFUNCTION, &THttpTransport::onHeader);
    setOption(h, CURLOPT_HEADERDATA, &exchange);
    setOption(h, CURLOPT_WRITEFUNCTION, &THttpTransport::onBody);
    setOption(h, CURLOPT_WRITEDATA, &exchange);
    setOption(h, CURLOPT_ERRORBUFFER, exchange.errorText);
}

void THttpTransport::SendAndReceive(const std::string& request, MemoryStream& response) {
    requireURL();
    Exchange exchange(response, limits_, clock_);
    const CurlSlistPtr headers = requestHeaders();
    connect();
    CURLcode code = CURLE_OK;
    try {
        exchange.handle = handle_.get();
        configure(exchange, request, headers.get());
        code = curl_easy_perform(handle_.get());
        // The handle must not keep pointers into this call's locals.
        curl_easy_setopt(handle_.get(), CURLOPT_ERRORBUFFER, nullptr);
        curl_easy_setopt(handle_.get(), CURLOPT_HTTPHEADER, nullptr);
        curl_easy_setopt(handle_.get(), CURLOPT_POSTFIELDS, nullptr);
    } catch (...) {
        disconnect();
        throw;
    }
    if (exchange.callbackFailure) {
        disconnect();
        std::rethrow_exception(exchange.callbackFailure);
    }

    // An error status wins over the aborted read it causes, and over a length announced
    // beyond the size limit: the body was never wanted.
    if (isErrorStatus(exchange.status) &&
        (code == CURLE_OK || exchange.refusedStatus || code == CURLE_FILESIZE_EXCEEDED)) {
        disconnect();
        failWithStatus(exchange);
    }
    if (exchange.replyTooLarge || code == CURLE_FILESIZE_EXCEEDED) {
        disconnect();
        throw GeneralError("The reply is larger than " + std::to_string(limits_.maxReplyBytes) +
                           " bytes - URL:" + url_ + " - SOAPAction:" + SOAPAction());
    }
    if (exchange.stalled) {
        disconnect();
        throw GeneralError("The service sent nothing for " + describe(limits_.stallTimeout) +
                           " - URL:" + url_ + " - SOAPAction:" + SOAPAction());
    }
    if (code != CURLE_OK) {
        disconnect();
        failWithClientError(code, exchange.errorText);
    }
}

void THttpTransport::failWithClientError(CURLcode code, const char* detail) const {
    std::string_view text = trimLineEnd(detail);
    if (text.empty()) {
        text = curl_easy_strerror(code);
    }
    throw GeneralError(std::string(text) + " - URL:" + url_ + " - SOAPAction:" + SOAPAction());
}

void THttpTransport::failWithStatus(const Exchange& exchange) const {
    throw GeneralError(exchange.reason + " (" + std::to_string(exchange.status) + ") - '" + url_ +
                       "'");
}

std::size_t THttpTransport::onHeader(char* data, std::size_t size, std::size_t count, void* user) {
    auto& exchange = *static_cast<Exchange*>(user);
    const std::string_view line(data, size * count);
    // Every response of the exchange (a "100 Continue", a redirect, the final answer) starts
    // with its own status line; the last one wins.
    if (line.starts_with("HTTP/")) {
        try {
            readStatusLine(trimLineEnd(line), exchange.status, exchange.reason);
        } catch (...) {
            exchange.callbackFailure = std::current_exception();
            return 0;
        }
    }
    return size * count;
}

int THttpTransport::onProgress(void* user, curl_off_t, curl_off_t downloaded, curl_off_t,
                               curl_off_t uploaded) {
    auto& exchange = *static_cast<Exchange*>(user);
    const auto now = exchange.clock();
    if (!exchange.transferring) {
        curl_off_t pretransfer = 0;
        curl_easy_getinfo(exchange.handle, CURLINFO_PRETRANSFER_TIME_T, &pretransfer);
        if (pretransfer == 0) {
            return 0;
        }
        exchange.transferring = true;
        exchange.lastMovement = now;
    }
    const curl_off_t moved = downloaded + uploaded;
    if (moved != exchange.movedSoFar) {
        exchange.movedSoFar = moved;
        exchange.lastMovement = now;
    } else if (now - exchange.lastMovement >= exchange.stallTimeout) {
        exchange.stalled = true;
        return 1;
    }
    return 0;
}

std::size_t THttpTransport::onBody(char* data, std::size_t size, std::size_t count, void* user) {
    auto& exchange = *static_cast<Exchange*>(user);
    const std::size_t length = size * count;
    if (isRedirect(exchange.status)) {
        return length; // the body of a redirect that curl is about to follow
    }
    if (isErrorStatus(exchange.status)) {
        // An error page is of no use to the caller; stop before reading it.
        exchange.refusedStatus = true;
        return 0;
    }
    if (length > exchange.maxReplyBytes - exchange.received) {
        exchange.replyTooLarge = true;
        return 0;
    }
    try {
        exchange.response.write({reinterpret_cast<const std::uint8_t*>(data), length});
    } catch (...) {
        exchange.callbackFailure = std::current_exception();
        return 0;
    }
    exchange.received += length;
    return length;
}

} // namespace qv
