#pragma once

#include "tests/support/TempFolder.h"

#include <string>

namespace qv::test {

// Throw-away certificates made with the openssl command in a private temporary folder:
// a CA the client is told to trust, a second CA it is not, and server certificates from both.
class TestCertificates {
public:
    struct Pair {
        std::string certificate;
        std::string key;
    };

    TestCertificates();
    TestCertificates(const TestCertificates&) = delete;
    TestCertificates& operator=(const TestCertificates&) = delete;

    const std::string& trustedCAFile() const { return trustedCA_.certificate; }
    // Issued by the trusted CA for 127.0.0.1, valid now.
    const Pair& valid() const { return valid_; }
    // Issued by the trusted CA for another host name, and already expired.
    const Pair& expiredForOtherHost() const { return expiredForOtherHost_; }
    // Issued for 127.0.0.1 by the CA that nobody trusts.
    const Pair& untrustedIssuer() const { return untrustedIssuer_; }

private:
    Pair makeCA(const std::string& name);
    Pair makeLeaf(const std::string& name, const Pair& issuer, const std::string& subject,
                  int days);

    TempFolder folder_;
    Pair trustedCA_;
    Pair otherCA_;
    Pair valid_;
    Pair expiredForOtherHost_;
    Pair untrustedIssuer_;
};

} // namespace qv::test
