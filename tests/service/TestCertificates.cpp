#include "tests/service/TestCertificates.h"

#include <cstdlib>
#include <fstream>
#include <stdexcept>

namespace qv::test {

namespace {

void run(const std::string& command) {
    if (std::system((command + " >/dev/null 2>&1").c_str()) != 0) {
        throw std::runtime_error("failed: " + command);
    }
}

} // namespace

TestCertificates::TestCertificates() {
    std::string pattern = (std::filesystem::temp_directory_path() / "qv-certs-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) {
        throw std::runtime_error("mkdtemp failed");
    }
    folder_ = pattern;
    std::ofstream(folder_ / "loopback.ext") << "subjectAltName=IP:127.0.0.1\n";

    trustedCA_ = makeCA("trusted-ca");
    otherCA_ = makeCA("other-ca");
    valid_ = makeLeaf("valid", trustedCA_, "127.0.0.1", 30);
    // -days -1 puts the end of validity a day before its start: expired from the first moment.
    expiredForOtherHost_ = makeLeaf("expired", trustedCA_, "elsewhere.invalid", -1);
    untrustedIssuer_ = makeLeaf("untrusted", otherCA_, "127.0.0.1", 30);
}

TestCertificates::~TestCertificates() {
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
}

TestCertificates::Pair TestCertificates::makeCA(const std::string& name) {
    Pair ca{(folder_ / (name + ".pem")).string(), (folder_ / (name + ".key")).string()};
    run("openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -days 30"
        " -subj '/CN=" +
        name + "' -keyout " + ca.key + " -out " + ca.certificate);
    return ca;
}

TestCertificates::Pair TestCertificates::makeLeaf(const std::string& name, const Pair& issuer,
                                                  const std::string& subject, int days) {
    Pair leaf{(folder_ / (name + ".pem")).string(), (folder_ / (name + ".key")).string()};
    const std::string request = (folder_ / (name + ".csr")).string();
    run("openssl req -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -subj '/CN=" + subject +
        "' -keyout " + leaf.key + " -out " + request);
    const std::string extensions =
        subject == "127.0.0.1" ? " -extfile " + (folder_ / "loopback.ext").string() : "";
    run("openssl x509 -req -in " + request + " -CA " + issuer.certificate + " -CAkey " +
        issuer.key + " -set_serial " + std::to_string(std::rand() % 100000 + 1) + " -days " +
        std::to_string(days) + extensions + " -out " + leaf.certificate);
    return leaf;
}

} // namespace qv::test
