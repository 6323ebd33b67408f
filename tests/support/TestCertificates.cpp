#include "tests/support/TestCertificates.h"

#include "tests/support/ChildRun.h"

#include <cstdlib>
#include <stdexcept>

namespace qv::test {

namespace {

void openssl(const std::vector<std::string>& arguments) {
    const ChildOutcome outcome = runAndCapture("openssl", arguments);
    if (outcome.exitCode != 0) {
        std::string command = "openssl";
        for (const auto& argument : arguments) {
            command += " " + argument;
        }
        throw std::runtime_error("failed: " + command + "\n" + outcome.err);
    }
}

} // namespace

TestCertificates::TestCertificates() {
    folder_.writeFile("loopback.ext", "subjectAltName=IP:127.0.0.1\n");

    trustedCA_ = makeCA("trusted-ca");
    otherCA_ = makeCA("other-ca");
    valid_ = makeLeaf("valid", trustedCA_, "127.0.0.1", 30);
    // -days -1 puts the end of validity a day before its start: expired from the first moment.
    expiredForOtherHost_ = makeLeaf("expired", trustedCA_, "elsewhere.invalid", -1);
    untrustedIssuer_ = makeLeaf("untrusted", otherCA_, "127.0.0.1", 30);
}

TestCertificates::Pair TestCertificates::makeCA(const std::string& name) {
    Pair ca{folder_.path(name + ".pem"), folder_.path(name + ".key")};
    openssl({"req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:P-256", "-nodes",
             "-days", "30", "-subj", "/CN=" + name, "-keyout", ca.key, "-out", ca.certificate});
    return ca;
}

TestCertificates::Pair TestCertificates::makeLeaf(const std::string& name, const Pair& issuer,
                                                  const std::string& subject, int days) {
    Pair leaf{folder_.path(name + ".pem"), folder_.path(name + ".key")};
    const std::string request = folder_.path(name + ".csr");
    openssl({"req", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:P-256", "-nodes", "-subj",
             "/CN=" + subject, "-keyout", leaf.key, "-out", request});
    std::vector<std::string> signing{"x509",        "-req",
                                     "-in",         request,
                                     "-CA",         issuer.certificate,
                                     "-CAkey",      issuer.key,
                                     "-set_serial", std::to_string(std::rand() % 100000 + 1),
                                     "-days",       std::to_string(days),
                                     "-out",        leaf.certificate};
    if (subject == "127.0.0.1") {
        signing.insert(signing.end(), {"-extfile", folder_.path("loopback.ext")});
    }
    openssl(signing);
    return leaf;
}

} // namespace qv::test
