// Who may read the page and its pictures: loopback names on a loopback bind, a token otherwise.

#include "tools/clocking-service/AccessRule.h"

#include <arpa/inet.h>
#include <array>
#include <cstdio>
#include <random>

namespace qv::clocking {

namespace {

std::string randomToken() {
    std::random_device device; // the kernel's random source
    std::string token;
    for (int i = 0; i < 4; ++i) {
        std::array<char, 9> hex{};
        std::snprintf(hex.data(), hex.size(), "%08x", static_cast<unsigned>(device()));
        token += hex.data();
    }
    return token;
}

// "host", "host:port", "[v6]" or "[v6]:port" without the port and brackets.
std::string_view hostPart(std::string_view host) {
    if (!host.empty() && host.front() == '[') {
        const auto close = host.find(']');
        return close == std::string_view::npos ? host : host.substr(1, close - 1);
    }
    const auto colon = host.find(':');
    return colon == std::string_view::npos ? host : host.substr(0, colon);
}

// Compares in time independent of where the first difference is.
bool sameSecret(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    unsigned char difference = 0;
    for (std::size_t i = 0; i < a.size(); ++i) {
        difference |= static_cast<unsigned char>(a[i] ^ b[i]);
    }
    return difference == 0;
}

} // namespace

bool isLoopbackHost(std::string_view host) {
    const std::string name(host);
    if (name == "localhost" || name == "localhost.") {
        return true;
    }
    in_addr v4{};
    if (::inet_pton(AF_INET, name.c_str(), &v4) == 1) {
        return (ntohl(v4.s_addr) >> 24) == 127;
    }
    in6_addr v6{};
    return ::inet_pton(AF_INET6, name.c_str(), &v6) == 1 && IN6_IS_ADDR_LOOPBACK(&v6);
}

AccessRule::AccessRule(const std::string& boundHost)
    : token_(isLoopbackHost(boundHost) ? std::string() : randomToken()) {}

bool AccessRule::hostAllowed(std::string_view host) const {
    return !loopbackOnly() || host.empty() || isLoopbackHost(hostPart(host));
}

bool AccessRule::tokenAccepted(std::string_view given) const {
    return loopbackOnly() || sameSecret(given, token_);
}

} // namespace qv::clocking
