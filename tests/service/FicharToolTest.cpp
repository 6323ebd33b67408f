// Runs the built fichar command as a child process against a loopback clocking service.

#include "imaging/UMimeFile.h"
#include "platform/MemoryStream.h"
#include "service/QuorvantisService.h"
#include "tests/support/ChildRun.h"
#include "tests/support/FileContents.h"
#include "tests/support/TempFolder.h"
#include "tests/support/TestHttpServer.h"

#include <filesystem>
#include <gtest/gtest.h>

namespace qv {
namespace {

namespace fs = std::filesystem;

using Outcome = test::ChildOutcome;
using test::readFile;
using test::writeFile;

std::string base64Of(const std::string& bytes) {
    MemoryStream stream(std::vector<std::uint8_t>(bytes.begin(), bytes.end()));
    std::string text;
    StreamToBase64Text(stream, text);
    return text;
}

std::string answer(const std::string& response) {
    return "<?xml version=\"1.0\"?><s:Envelope "
           "xmlns:s=\"http://schemas.xmlsoap.org/soap/envelope/\"><s:Body>" +
           response + "</s:Body></s:Envelope>";
}

class FicharToolTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* name : {"http_proxy", "https_proxy", "all_proxy"}) {
            ::unsetenv(name);
        }
    }

    // Arguments are the test's own paths and words: no quoting needed.
    Outcome run(const std::string& arguments) const {
        return test::runAndCapture(QV_FICHAR_PATH, test::blankSeparated(arguments));
    }

    test::TempFolder temp;
    const fs::path folder = temp.folder();
    test::TestHttpServer server;
};

TEST_F(FicharToolTest, HelpDocumentsTheCommand) {
    const Outcome outcome = run("--help");
    EXPECT_EQ(outcome.exitCode, 0);
    for (const char* option : {"--url", "--id", "--mode", "--wsq", "--base64", "--photo"}) {
        EXPECT_NE(outcome.out.find(option), std::string::npos) << option;
    }
}

TEST_F(FicharToolTest, WrongCommandLinesAreRefusedBeforeAnyCall) {
    writeFile(folder / "f.b64", "QUJD");
    const std::string fingerprint = " --base64 " + (folder / "f.b64").string();
    const std::string url = " --url " + server.url("/svc");
    const std::vector<std::string> wrongLines{"--mode I" + fingerprint + url,
                                              "--id 7 --mode X" + fingerprint + url,
                                              "--id 7 --mode I" + url,
                                              "--id 7 --mode I --wsq a.wsq" + fingerprint + url,
                                              "--id 7 --mode I --colour blue" + fingerprint + url,
                                              "--id"};
    for (const std::string& arguments : wrongLines) {
        const Outcome outcome = run(arguments);
        EXPECT_EQ(outcome.exitCode, 2) << arguments;
        EXPECT_NE(outcome.err.find("fichar: "), std::string::npos) << arguments;
    }
    EXPECT_TRUE(server.requests().empty());
}

TEST_F(FicharToolTest, SendsAWsqFileAsBase64AndWritesThePhotograph) {
    std::string wsq;
    for (int i = 0; i < 3000; ++i) {
        wsq.push_back(static_cast<char>(i * 7));
    }
    writeFile(folder / "finger.wsq", wsq);
    const std::string jpeg = "\xFF\xD8\xFF\xE0 not really a picture \xFF\xD9";
    std::string photoText = base64Of(jpeg);
    server.respond(200, answer("<FicharResponse><FicharResult><puntaje>88</puntaje>"
                               "<resultado>Bienvenido, José</resultado><foto>" +
                               photoText + "</foto></FicharResult></FicharResponse>"));

    const fs::path photo = folder / "out.jpg";
    const Outcome outcome =
        run("--url " + server.url("/QuorvantisService.asmx") + " --id 20123456 --mode E --wsq " +
            (folder / "finger.wsq").string() + " --photo " + photo.string());

    EXPECT_EQ(outcome.exitCode, 0) << outcome.err;
    EXPECT_NE(outcome.out.find("puntaje: 88\n"), std::string::npos) << outcome.out;
    EXPECT_NE(outcome.out.find("resultado: Bienvenido, José\n"), std::string::npos);
    EXPECT_EQ(readFile(photo), jpeg);

    const auto requests = server.requests();
    ASSERT_EQ(requests.size(), 1u);
    const std::string sentText = base64Of(wsq);
    const std::string body = requests[0].body;
    EXPECT_NE(body.find("<AppId>20123456</AppId>"), std::string::npos);
    EXPECT_NE(body.find("<huellaWSQ>" + sentText.substr(0, sentText.size() - 2)),
              std::string::npos);
    EXPECT_NE(body.find("<modo>E</modo>"), std::string::npos);
    EXPECT_EQ(requests[0].headers.find("SOAPAction")->second,
              "\"" + std::string(QuorvantisServiceNamespace) + "Fichar\"");
}

TEST_F(FicharToolTest, SendsBase64TextAsTheFileHoldsIt) {
    writeFile(folder / "f.b64", "QUJDRA==");
    server.respond(200, answer("<R><FicharResult><resultado>Hasta luego</resultado>"
                               "</FicharResult></R>"));
    const Outcome outcome =
        run("--url " + server.url("/s") + " --id 9 --mode I --base64 " +
            (folder / "f.b64").string() + " --photo " + (folder / "none.jpg").string());
    EXPECT_EQ(outcome.exitCode, 0) << outcome.err;
    EXPECT_NE(outcome.out.find("puntaje: 0\nresultado: Hasta luego\n"), std::string::npos);
    EXPECT_NE(outcome.err.find("no photograph"), std::string::npos);
    EXPECT_FALSE(fs::exists(folder / "none.jpg"));
    EXPECT_NE(server.requests().at(0).body.find("<huellaWSQ>QUJDRA==</huellaWSQ>"),
              std::string::npos);
}

TEST_F(FicharToolTest, FailuresExitNonZeroWithTheirMessage) {
    writeFile(folder / "f.b64", "QUJD");
    const std::string common =
        " --id 1 --mode I --base64 " + (folder / "f.b64").string() + " --url ";

    server.respond(200, answer("<R><a/><b/></R>"));
    Outcome outcome = run(common + server.url("/s"));
    EXPECT_EQ(outcome.exitCode, 1);
    EXPECT_NE(outcome.err.find("without a result"), std::string::npos) << outcome.err;
    EXPECT_EQ(outcome.out, "");

    server.respond(500, answer("<s:Fault><faultcode>s:Client</faultcode>"
                               "<faultstring>Usuario desconocido</faultstring></s:Fault>"));
    outcome = run(common + server.url("/s"));
    EXPECT_EQ(outcome.exitCode, 1);
    EXPECT_EQ(outcome.err, "fichar: Usuario desconocido\n");

    const std::string closed = "http://127.0.0.1:" + std::to_string(test::UnusedLoopbackPort());
    outcome = run(common + closed + "/s");
    EXPECT_EQ(outcome.exitCode, 1);
    EXPECT_NE(outcome.err.find(" - URL:" + closed + "/s - SOAPAction:"), std::string::npos)
        << outcome.err;

    outcome = run(" --id 1 --mode I --wsq " + (folder / "missing.wsq").string());
    EXPECT_EQ(outcome.exitCode, 1);
    EXPECT_NE(outcome.err.find("missing.wsq"), std::string::npos) << outcome.err;
}

} // namespace
} // namespace qv
