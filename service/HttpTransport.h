#pragma once

#include "platform/MemoryStream.h"
#include "platform/MonotonicClock.h"
#include "service/CurlHandles.h"
#include "service/FlagSet.h"
#include "service/HttpLimits.h"
#include "service/HttpUrl.h"
#include "service/RemoteInterface.h"

#include <string>
#include <utility>

namespace qv {

struct HttpExchange;

enum class TSoapInvokeOption {
    // Send "SOAPAction:" with no value instead of two double quotes when no action is known.
    soNoValueForEmptySOAPAction,
    // Accept HTTPS certificates issued for another host name or outside their dates; an
    // issuer the machine does not trust is refused all the same.
    soIgnoreInvalidCerts,
};
using TSoapInvokeOptions = FlagSet<TSoapInvokeOption>;

// Carries one SOAP exchange at a time over HTTP: posts the request text to the endpoint with
// the operation's SOAPAction and hands the reply body back. The connection stays open between
// calls and is dropped after any failure, on a new URL and on destruction.
class THttpTransport {
public:
    THttpTransport();
    THttpTransport(const THttpTransport&) = delete;
    THttpTransport& operator=(const THttpTransport&) = delete;

    std::string Agent = "Tarvell SOAP 1.1";
    std::string UserName;
    std::string Password;
    // Empty: the standard proxy variables of the environment apply (http_proxy, https_proxy,
    // all_proxy, no_proxy).
    std::string Proxy;
    // Hosts that bypass Proxy, separated by ';', ',' or blanks.
    std::string ProxyByPass;
    bool UseUTF8InHeader = false;
    TSoapInvokeOptions InvokeOptions{TSoapInvokeOption::soIgnoreInvalidCerts};

    const std::string& URL() const { return url_; }
    const HttpUrl& urlParts() const { return urlParts_; }
    // Checks and splits the text before anything changes; an empty text clears the URL.
    void setURL(const std::string& url);

    // The action as it goes into the header and into messages: two double quotes stand in for
    // an empty action unless soNoValueForEmptySOAPAction is set.
    std::string SOAPAction() const;
    void setSOAPAction(const std::string& action) { soapAction_ = action; }

    // Takes the registry's SOAPAction for the operation. Fails when no URL is set: this build
    // has no WSDL road to find an endpoint by.
    void PrepareCall(const InterfaceInfo& intf, const std::string& operation);

    // Posts the request and writes the reply body into the stream at its position.
    void SendAndReceive(const std::string& request, MemoryStream& response);

    bool connected() const { return static_cast<bool>(handle_); }

    void setLimits(const HttpLimits& limits) { limits_ = limits; }
    // Where the stall time-out reads the time; the system's monotonic clock unless a test
    // drives it.
    void setClock(MonotonicClock clock) { clock_ = std::move(clock); }
    // A PEM bundle to trust instead of the system's certificate authorities.
    void setCAFile(const std::string& path) {
        disconnect(); // a new handle starts from the system's default trust
        caFile_ = path;
    }

private:
    void requireURL() const;
    void connect();
    void disconnect() { handle_.reset(); }
    CurlSlistPtr requestHeaders() const;
    void configure(HttpExchange& exchange, const std::string& request, curl_slist* headers);
    void configureTls(CURL* handle) const;
    // "<text> - URL:<url> - SOAPAction:<action>", saying that the outcome is unknown when the
    // request had been sent in full.
    [[noreturn]] void fail(const std::string& text, bool requestWasSent) const;
    [[noreturn]] void failWithStatus(const HttpExchange& exchange) const;

    std::string url_;
    HttpUrl urlParts_;
    std::string soapAction_;
    std::string caFile_;
    HttpLimits limits_;
    MonotonicClock clock_ = systemMonotonicTime;
    CurlEasyPtr handle_;
};

} // namespace qv
