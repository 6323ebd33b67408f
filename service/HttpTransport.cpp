#include "service/HttpTransport.h"

#include "platform/Errors.h"
#include "platform/TextTrim.h"
#include "service/CertificateLeniency.h"
#include "service/HttpExchange.h"
#include "service/InterfaceRegistry.h"

#include <algorithm>
#include <exception>
#include <string_view>

namespace qv {

namespace {

// Appended to every failure that happens once the whole request has left: the service may
// have recorded the clock-in, and the person at the station must not assume it did not.
constexpr std::string_view kOutcomeUnknown =
    " - The request had been sent: whether the service recorded it is unknown; check before "
    "sending it again";

} // namespace

namespace {

std::string bypassListForCurl(const std::string& byPass) {
    std::string list = byPass;
    std::replace_if(
        list.begin(), list.end(), [](char c) { return c == ';' || c == ' ' || c == '\t'; }, ',');
    return list;
}

std::string describe(std::chrono::milliseconds span) {
    if (span.count() % 60'000 == 0) {
        return std::to_string(span.count() / 60'000) + " min";
    }
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

// Whether the whole request left this machine, so that the service may have acted on it.
bool requestSent(CURL* handle, std::size_t requestBytes) {
    curl_off_t connectedAt = 0;
    curl_off_t uploaded = 0;
    return curl_easy_getinfo(handle, CURLINFO_PRETRANSFER_TIME_T, &connectedAt) == CURLE_OK &&
           curl_easy_getinfo(handle, CURLINFO_SIZE_UPLOAD_T, &uploaded) == CURLE_OK &&
           connectedAt > 0 && uploaded >= static_cast<curl_off_t>(requestBytes);
}

} // namespace

THttpTransport::THttpTransport() {
    ensureCurlInitialised();
}

void THttpTransport::setURL(const std::string& url) {
    HttpUrl parts;
    if (!url.empty()) {
        parts = splitHttpUrl(url);
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
        fail("The HTTP client could not be opened", false);
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

void THttpTransport::configureTls(CURL* h) const {
    // A plain http address never depends on what the TLS library can do. Should a redirect
    // lead to https, libcurl's strict defaults apply: the leniency below covers only the
    // address the operator configured.
    if (urlParts_.scheme != HttpScheme::Https) {
        return;
    }
    const bool lenient = InvokeOptions.contains(TSoapInvokeOption::soIgnoreInvalidCerts);
    const CURLcode rules = curl_easy_setopt(
        h, CURLOPT_SSL_CTX_FUNCTION, lenient ? &acceptCertificatesOutsideTheirDates : nullptr);
    if (rules != CURLE_OK) {
        const curl_version_info_data* version = curl_version_info(CURLVERSION_NOW);
        const std::string library = version && version->ssl_version ? version->ssl_version : "none";
        fail("The HTTP client's TLS library (" + library +
                 ") cannot apply the station's certificate rules",
             false);
    }
    setOption(h, CURLOPT_SSL_VERIFYPEER, 1L);
    setOption(h, CURLOPT_SSL_VERIFYHOST, lenient ? 0L : 2L);
    if (!caFile_.empty()) {
        // Only ever set: clearing it would also drop the system's default bundle.
        setOption(h, CURLOPT_CAINFO, caFile_.c_str());
    }
}

void THttpTransport::configure(HttpExchange& exchange, const std::string& request,
                               curl_slist* headers) {
    CURL* h = handle_.get();
    setOption(h, CURLOPT_URL, urlParts_.address.c_str());
    setOption(h, CURLOPT_PROTOCOLS_STR, "http,https");
    setOption(h, CURLOPT_HTTP_VERSION, long{CURL_HTTP_VERSION_1_1});
    setOption(h, CURLOPT_NOSIGNAL, 1L);
    setOption(h, CURLOPT_POST, 1L);
    setOption(h, CURLOPT_POSTFIELDS, request.data());
    setOption(h, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(request.size()));
    setOption(h, CURLOPT_HTTPHEADER, headers);
    setOption(h, CURLOPT_USERAGENT, Agent.empty() ? nullptr : Agent.c_str());

    // A moved service gets the same POST again (307 and 308 keep it anyway); a 303 is refused
    // where the headers arrive. A secure address is never followed to a plain one.
    setOption(h, CURLOPT_FOLLOWLOCATION, 1L);
    setOption(h, CURLOPT_MAXREDIRS, 5L);
    setOption(h, CURLOPT_POSTREDIR, long{CURL_REDIR_POST_301 | CURL_REDIR_POST_302});
    setOption(h, CURLOPT_REDIR_PROTOCOLS_STR,
              urlParts_.scheme == HttpScheme::Https ? "https" : "http,https");

    setOption(h, CURLOPT_PROXY, Proxy.empty() ? nullptr : Proxy.c_str());
    const std::string byPass = bypassListForCurl(ProxyByPass);
    setOption(h, CURLOPT_NOPROXY, Proxy.empty() || byPass.empty() ? nullptr : byPass.c_str());
    setOption(h, CURLOPT_USERNAME, UserName.empty() ? nullptr : UserName.c_str());
    setOption(h, CURLOPT_PASSWORD, UserName.empty() ? nullptr : Password.c_str());
    setOption(h, CURLOPT_HTTPAUTH, UserName.empty() ? CURLAUTH_BASIC : CURLAUTH_ANY);
    configureTls(h);

    setOption(h, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(limits_.connectTimeout.count()));
    // The progress callback enforces the deadline; this only backs it up.
    setOption(h, CURLOPT_TIMEOUT_MS, static_cast<long>(limits_.callDeadline.count() + 1000));
    setOption(h, CURLOPT_NOPROGRESS, 0L);
    setOption(h, CURLOPT_XFERINFOFUNCTION, &HttpExchange::onProgress);
    setOption(h, CURLOPT_XFERINFODATA, &exchange);
    setOption(h, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(limits_.maxReplyBytes));

    setOption(h, CURLOPT_HEADERFUNCTION, &HttpExchange::onHeader);
    setOption(h, CURLOPT_HEADERDATA, &exchange);
    setOption(h, CURLOPT_WRITEFUNCTION, &HttpExchange::onBody);
    setOption(h, CURLOPT_WRITEDATA, &exchange);
    setOption(h, CURLOPT_ERRORBUFFER, exchange.errorText);
}

void THttpTransport::SendAndReceive(const std::string& request, MemoryStream& response) {
    requireURL();
    HttpExchange exchange(response, limits_, clock_, !UserName.empty() || urlParts_.hasUserInfo);
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
    if (code == CURLE_OK && !exchange.callbackFailure) {
        if (isErrorStatus(exchange.status)) {
            disconnect();
            failWithStatus(exchange);
        }
        return;
    }
    const bool sent = requestSent(handle_.get(), request.size());
    disconnect();
    if (exchange.callbackFailure) {
        std::rethrow_exception(exchange.callbackFailure);
    }
    if (exchange.seeOther) {
        fail("The service redirected the call with " + std::to_string(exchange.status) + " (" +
                 exchange.reason + ") to '" + displayedUrl(exchange.location) +
                 "', where a SOAP call cannot follow",
             sent);
    }
    // An error status wins over the aborted or stalled read it causes, and over a length
    // announced beyond the size limit: the body was never wanted.
    if (isErrorStatus(exchange.status) &&
        (exchange.refusedStatus || exchange.stalled || code == CURLE_FILESIZE_EXCEEDED)) {
        failWithStatus(exchange);
    }
    if (code == CURLE_UNSUPPORTED_PROTOCOL && isRedirect(exchange.status)) {
        fail("The service redirected the call to '" + displayedUrl(exchange.location) +
                 "', where a call to this address may not go",
             sent);
    }
    if (exchange.replyTooLarge || code == CURLE_FILESIZE_EXCEEDED) {
        fail("The reply is larger than " + std::to_string(limits_.maxReplyBytes) + " bytes", sent);
    }
    if (exchange.overdue ||
        (code == CURLE_OPERATION_TIMEDOUT && clock_() - exchange.started >= limits_.callDeadline)) {
        fail("The service did not complete its answer within " + describe(limits_.callDeadline),
             sent);
    }
    if (exchange.stalled) {
        fail("The service sent nothing for " + describe(limits_.stallTimeout), sent);
    }
    const std::string_view detail = trimmed(std::string_view(exchange.errorText), isLineBreak);
    fail(std::string(detail.empty() ? curl_easy_strerror(code) : detail), sent);
}

void THttpTransport::fail(const std::string& text, bool requestWasSent) const {
    throw GeneralError(text + " - URL:" + displayedUrl(url_) + " - SOAPAction:" + SOAPAction() +
                       (requestWasSent ? std::string(kOutcomeUnknown) : std::string()));
}

void THttpTransport::failWithStatus(const HttpExchange& exchange) const {
    throw GeneralError(exchange.reason + " (" + std::to_string(exchange.status) + ") - '" +
                       displayedUrl(url_) + "'");
}

} // namespace qv
