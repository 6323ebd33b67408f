// Who may read the page and its pictures: loopback names on a loopback bind, a token otherwise.

#pragma once

#include <string>
#include <string_view>

namespace qv::clocking {

// A page in the operator's browser could otherwise read names, photographs and prints from
// the service by DNS rebinding. On a loopback bind every request must name a loopback host
// (DNS rebinding names another); on any other bind the page and pictures also need the token,
// which `serve` prints. The SOAP endpoint and its WSDL never need the token: stations do not
// send one.
class AccessRule {
public:
    // The token is made here, at random, when the address is not a loopback one.
    explicit AccessRule(const std::string& boundHost);

    bool loopbackOnly() const { return token_.empty(); }
    // Empty on a loopback bind.
    const std::string& token() const { return token_; }

    // A Host header value (host[:port]) a request to this service may carry. An absent Host
    // (HTTP/1.0) is no browser's and is let through.
    bool hostAllowed(std::string_view host) const;
    // Whether the token given as a header or query parameter is right; always on loopback.
    bool tokenAccepted(std::string_view given) const;

private:
    std::string token_;
};

// 127.0.0.0/8, ::1, "localhost".
bool isLoopbackHost(std::string_view host);

} // namespace qv::clocking
