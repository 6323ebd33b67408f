// The real clocking-service process on an ephemeral loopback port with a temporary database,
// called the way the station calls it.

#include "imaging/PgmFile.h"
#include "imaging/UMimeFile.h"
#include "platform/Files.h"
#include "service/QuorvantisServiceGetter.h"
#include "service/SoapErrors.h"
#include "tests/clocking/ClockingTestSupport.h"
#include "tests/support/TempFolder.h"
#include "tools/clocking-service/Jpeg.h"
#include "tools/clocking-service/Ledger.h"
#include "wsq/Wsq.h"

#include <atomic>
#include <gtest/gtest.h>
#include <mutex>
#include <pugixml.hpp>
#include <set>
#include <thread>

namespace qv::test {
namespace {

using clocking::Database;
using clocking::LedgerLine;

class ClockingServiceTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* name : {"http_proxy", "https_proxy", "all_proxy"}) {
            ::unsetenv(name);
        }
        enroll({"20123456", "Ana Pérez"});
    }

    void enroll(std::vector<std::string> args) {
        args.insert(args.begin(), {"--db", db.string(), "enroll"});
        const CommandRun run = runClockingService(args);
        ASSERT_EQ(run.exitCode, 0) << run.err;
    }

    std::vector<LedgerLine> ledger() {
        Database store(db);
        return clocking::latestEntries(store, 1000);
    }

    TempFolder folder;
    std::filesystem::path db = std::filesystem::path(folder.path("ledger.db"));
};

TEST_F(ClockingServiceTest, ClockInAnswersWithTheNameAndPhotographAndIsRecorded) {
    ServiceProcess service(db);
    const auto print = testPrint();
    const auto station = GetQuorvantisServiceSoap(false, service.url());

    const auto known = station->Fichar(" 20123456 ", base64Text(print), "I");
    ASSERT_TRUE(known);
    EXPECT_EQ(known->puntaje, 0);
    EXPECT_EQ(known->resultado.rfind("Ingreso registrado: Ana Pérez, ", 0), 0u) << known->resultado;
    MemoryStream photo;
    Base64TextToStream(known->foto, photo);
    const auto size = clocking::jpegSize(photo.bytes());
    ASSERT_TRUE(size) << "the photograph is not a JPEG file";
    EXPECT_GT(size->width, 0);

    const auto stranger = station->Fichar("999", base64Text(print), "E");
    ASSERT_TRUE(stranger);
    EXPECT_EQ(stranger->resultado, "Usuario no registrado: 999");
    EXPECT_EQ(stranger->foto, "");

    const auto lines = ledger();
    ASSERT_EQ(lines.size(), 2u);
    const auto& first = lines[1].entry;
    EXPECT_EQ(first.appId, " 20123456 ");
    EXPECT_EQ(first.mode, "I");
    EXPECT_EQ(first.staffId, "20123456");
    EXPECT_EQ(first.resultado, known->resultado);
    EXPECT_EQ(first.printWidth, 256);
    EXPECT_EQ(first.printHeight, 360);
    EXPECT_EQ(first.peer.rfind("127.0.0.1:", 0), 0u);
    EXPECT_FALSE(first.fault);
    EXPECT_EQ(lines[0].entry.mode, "E");
    EXPECT_FALSE(lines[0].entry.staffId);

    // The print is kept exactly as received, and exported as such or decoded.
    const auto wsqOut = std::filesystem::path(folder.path("back.wsq"));
    const auto pgmOut = std::filesystem::path(folder.path("back.pgm"));
    const std::string entry = std::to_string(first.entry);
    EXPECT_EQ(runClockingService({"--db", db.string(), "export-print", entry, wsqOut}).exitCode, 0);
    EXPECT_EQ(readFileBytes(wsqOut), print);
    EXPECT_EQ(runClockingService({"--db", db.string(), "export-print", entry, pgmOut}).exitCode, 0);
    const GrayRaster decoded = parsePgm(readFileBytes(pgmOut));
    EXPECT_EQ(decoded.width, 256);
    EXPECT_EQ(decoded.height, 360);

    const CommandRun table = runClockingService({"--db", db.string(), "ledger", "--limit", "1"});
    EXPECT_EQ(table.exitCode, 0);
    EXPECT_NE(table.out.find("Usuario no registrado: 999"), std::string::npos) << table.out;
    EXPECT_EQ(table.out.find("Ana Pérez"), std::string::npos) << "--limit 1 shows one entry";

    const CommandRun stopped = service.stop();
    EXPECT_EQ(stopped.exitCode, 0) << stopped.out;
    EXPECT_NE(stopped.out.find("time zone"), std::string::npos) << "HH:MM is local: which?";
    // One line per request, with the caller, the identifier and the answer.
    EXPECT_NE(
        stopped.out.find("POST /QuorvantisService.asmx  200  \"999\"  Usuario no registrado: 999"),
        std::string::npos)
        << stopped.out;
    EXPECT_NE(stopped.out.find("stopped"), std::string::npos);
}

TEST_F(ClockingServiceTest, EveryRefusalIsAFaultTheStationReportsAndIsRecorded) {
    ServiceProcess service(db);
    const std::string print = base64Text(testPrint());
    const std::string tinyPrint = base64Text(testPrint("syn12_grad_256x256.nbis.wsq"))
                                      .substr(0, 40); // cut: the decoder refuses it
    std::vector<std::uint8_t> pixels(32 * 40);
    for (std::size_t i = 0; i < pixels.size(); ++i) {
        pixels[i] = static_cast<std::uint8_t>(i * 37);
    }
    const std::string tiny = base64Text(wsq::encode(pixels, 32, 40));
    const std::string valid = stationRequest("20123456", print, "I");
    const auto replace = [](std::string text, const std::string& from, const std::string& to) {
        return text.replace(text.find(from), from.size(), to);
    };
    struct Case {
        const char* what;
        std::string body;
        std::string soapAction;
        const char* faultPart;
    };
    const std::vector<Case> cases{
        {"wrong SOAPAction", valid, "\"urn:other#Fichar\"", "Unknown SOAPAction"},
        {"no SOAPAction", valid, "", "Unknown SOAPAction"},
        {"not XML", "<a><b></a>", stationSoapAction(), "not well-formed XML"},
        {"SOAP 1.2 envelope",
         replace(valid, "http://schemas.xmlsoap.org/soap/envelope/",
                 "http://www.w3.org/2003/05/soap-envelope"),
         stationSoapAction(), "SOAP 1.1 Envelope"},
        {"DTD", replace(valid, "<SOAP-ENV:Envelope", "<!DOCTYPE x><SOAP-ENV:Envelope"),
         stationSoapAction(), "Document type declarations"},
        {"wrong namespace",
         replace(valid, "xmlns=\"http://quorvantis.example/\"", "xmlns=\"urn:x\""),
         stationSoapAction(), "Unknown operation {urn:x}Fichar"},
        {"wrong element name",
         replace(replace(valid, "<AppId>", "<AppID>"), "</AppId>", "</AppID>"), stationSoapAction(),
         "Unexpected element"},
        {"missing modo", replace(valid, "<modo>I</modo>", ""), stationSoapAction(),
         "lacks its modo"},
        {"mode X", stationRequest("20123456", print, "X"), stationSoapAction(),
         "modo must be \"I\""},
        {"bad Base64", stationRequest("20123456", "QUJD*", "I"), stationSoapAction(),
         "not valid Base64"},
        {"empty print", stationRequest("20123456", "", "I"), stationSoapAction(), "is empty"},
        {"not WSQ", stationRequest("20123456", base64Text({1, 2, 3, 4, 5, 6}), "E"),
         stationSoapAction(), "not a WSQ fingerprint"},
        {"damaged WSQ", stationRequest("20123456", tinyPrint, "E"), stationSoapAction(),
         "not a WSQ fingerprint"},
        {"tiny print", stationRequest("20123456", tiny, "I"), stationSoapAction(),
         "implausibly small"},
    };
    for (const Case& c : cases) {
        const HttpReply reply = post(service, c.body, c.soapAction);
        EXPECT_EQ(reply.status, 500) << c.what;
        const std::string fault = faultAsStationReadsIt(reply.body);
        EXPECT_NE(fault.find(c.faultPart), std::string::npos) << c.what << ": " << fault;
    }

    // Every request is in the ledger with its fault, newest first.
    const auto lines = ledger();
    ASSERT_EQ(lines.size(), cases.size());
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const auto& entry = lines[lines.size() - 1 - i].entry;
        ASSERT_TRUE(entry.fault) << cases[i].what;
        EXPECT_NE(entry.fault->find(cases[i].faultPart), std::string::npos) << *entry.fault;
        EXPECT_FALSE(entry.resultado) << cases[i].what;
    }
    Database store(db);
    const auto notWsq = clocking::findEntry(store, lines[lines.size() - 12].entry.entry);
    EXPECT_EQ(notWsq->mode, "E");
    // A refused print is described, not kept: a caller cannot fill the disk with them.
    EXPECT_TRUE(notWsq->wsq.empty());
    EXPECT_NE(notWsq->fault->find("the print sent (6 bytes, beginning 010203040506) is not kept"),
              std::string::npos)
        << *notWsq->fault;
}

TEST_F(ClockingServiceTest, ParallelClockInsAreAllRecorded) {
    ServiceProcess service(db);
    const std::string print = base64Text(testPrint());
    constexpr int kStations = 8;
    constexpr int kEach = 6;
    std::vector<std::string> failures(kStations);
    {
        std::vector<std::jthread> stations;
        for (int s = 0; s < kStations; ++s) {
            stations.emplace_back([&, s] {
                try {
                    const auto proxy = GetQuorvantisServiceSoap(false, service.url());
                    for (int i = 0; i < kEach; ++i) {
                        const auto id = std::to_string(s * 100 + i);
                        const auto answer = proxy->Fichar(id, print, i % 2 ? "E" : "I");
                        if (!answer || answer->resultado != "Usuario no registrado: " + id) {
                            failures[s] = "wrong answer for " + id;
                        }
                    }
                } catch (const std::exception& error) {
                    failures[s] = error.what();
                }
            });
        }
    }
    for (const auto& failure : failures) {
        EXPECT_EQ(failure, "");
    }
    std::set<std::string> ids;
    for (const auto& line : ledger()) {
        ids.insert(line.entry.appId.value_or(""));
    }
    EXPECT_EQ(ids.size(), static_cast<std::size_t>(kStations * kEach));
}

TEST_F(ClockingServiceTest, SigtermUnderLoadLosesNoAnsweredClockIn) {
    auto service = std::make_unique<ServiceProcess>(db);
    const std::string print = base64Text(testPrint());
    std::mutex mutex;
    std::set<std::string> answered;
    std::atomic<int> answers{0};
    {
        std::vector<std::jthread> stations;
        for (int s = 0; s < 4; ++s) {
            stations.emplace_back([&, s] {
                for (int i = 0;; ++i) {
                    const std::string id = std::to_string(s) + "-" + std::to_string(i);
                    const HttpReply reply =
                        post(*service, stationRequest(id, print, "I"), stationSoapAction());
                    if (reply.status != 200) {
                        return; // the service has stopped
                    }
                    std::lock_guard lock(mutex);
                    answered.insert(id);
                    ++answers;
                }
            });
        }
        while (answers < 20) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        const CommandRun stopped = service->stop();
        EXPECT_EQ(stopped.exitCode, 0) << stopped.out;
    }
    Database store(db);
    auto check = store.prepare("PRAGMA integrity_check");
    ASSERT_TRUE(check.step());
    EXPECT_EQ(check.text(0), "ok");
    std::set<std::string> recorded;
    for (const auto& line : clocking::latestEntries(store, 100000)) {
        recorded.insert(line.entry.appId.value_or(""));
    }
    for (const auto& id : answered) {
        EXPECT_TRUE(recorded.contains(id)) << id << " was answered but not recorded";
    }
}

TEST_F(ClockingServiceTest, WsdlDescribesFicharAtTheAddressTheCallerUsed) {
    ServiceProcess service(db);
    for (const char* query : {"?WSDL", "?wsdl", "?Wsdl"}) {
        const HttpReply reply =
            get(service, std::string("/Quorvantis%20SVC/QuorvantisService.asmx") + query,
                "localhost:8080");
        ASSERT_EQ(reply.status, 200) << query;
        pugi::xml_document wsdl;
        ASSERT_TRUE(wsdl.load_string(reply.body.c_str())) << query;
        const auto definitions = wsdl.child("wsdl:definitions");
        EXPECT_STREQ(definitions.attribute("targetNamespace").value(),
                     "http://quorvantis.example/");
        EXPECT_TRUE(definitions.find_node([](const pugi::xml_node& node) {
            return std::string_view(node.name()) == "wsdl:operation" &&
                   std::string_view(node.attribute("name").value()) == "Fichar";
        }));
        const auto action = definitions.select_node("//soap:operation").node();
        EXPECT_STREQ(action.attribute("soapAction").value(), "http://quorvantis.example/Fichar");
        EXPECT_STREQ(action.attribute("style").value(), "document");
        const auto address = definitions.select_node("//soap:address").node();
        EXPECT_STREQ(address.attribute("location").value(),
                     "http://localhost:8080/Quorvantis%20SVC/QuorvantisService.asmx");
    }
}

TEST(ClockingServiceCommandsTest, BadCommandLinesAndFilesAreRefusedClearly) {
    TempFolder folder;
    const std::string db = (std::filesystem::path(folder.path("s.db"))).string();
    const auto garbage = std::filesystem::path(folder.path("garbage.db"));
    writeFileBytes(garbage, std::vector<std::uint8_t>(4096, 'x'));
    const auto notJpeg = std::filesystem::path(folder.path("photo.jpg"));
    writeFileBytes(notJpeg, std::vector<std::uint8_t>{'n', 'o'});

    struct Case {
        std::vector<std::string> args;
        int exitCode;
        const char* errorPart;
    };
    const std::vector<Case> cases{
        {{}, 2, "no command"},
        {{"--db", db, "dance"}, 2, "unknown command"},
        {{"--db", db, "dance", "--help"}, 2, "unknown command"},
        {{"--db", db, "ledger", "--csv", "--from", "2026-13-01"}, 2, "not a date"},
        {{"--db", db, "ledger", "--csv", "--limit", "3"}, 2, "does not take --limit"},
        {{"--db", db, "staff", "remove", "404"}, 1, "no member of staff"},
        {{"--db", db, "enroll", "7"}, 2, "takes 2 arguments"},
        {{"--db", db, "enroll", "  ", "Nadie"}, 2, "identifier may not be empty"},
        {{"--db", db, "enroll", "8", " "}, 2, "name may not be empty"},
        {{"--db", db, "ledger", "--limit", "ten"}, 2, "positive whole number"},
        {{"--db", db, "staff", "--listen", "x"}, 2, "does not take --listen"},
        {{"--db", db, "serve", "--listen", "127.0.0.1"}, 2, "HOST:PORT"},
        {{"--db", db, "export-print", "1", "out.png"}, 2, ".wsq, .pgm or .bmp"},
        {{"--db", db, "export-print", "1", "out.wsq"}, 1, "no entry 1"},
        {{"--db", db, "enroll", "7", "Siete", "--photo", notJpeg.string()}, 1, "not a JPEG"},
        {{"--db", garbage.string(), "staff"}, 1, "garbage.db cannot be used"},
        {{"--db", db, "serve", "--listen", "192.0.2.1:1"}, 1, "cannot listen"},
    };
    for (const Case& c : cases) {
        const CommandRun run = runClockingService(c.args);
        EXPECT_EQ(run.exitCode, c.exitCode) << c.errorPart << ": " << run.err;
        EXPECT_NE(run.err.find(c.errorPart), std::string::npos) << run.err;
    }

    // A port another service holds.
    ServiceProcess holder(std::filesystem::path(folder.path("holder.db")));
    const CommandRun taken = runClockingService(
        {"--db", db, "serve", "--listen", "127.0.0.1:" + std::to_string(holder.port())});
    EXPECT_EQ(taken.exitCode, 1);
    EXPECT_NE(taken.err.find("cannot listen"), std::string::npos) << taken.err;

    for (const char* command : {"serve", "enroll", "staff", "ledger", "export-print"}) {
        const CommandRun help = runClockingService({command, "--help"});
        EXPECT_EQ(help.exitCode, 0) << command;
        EXPECT_NE(help.out.find(std::string("clocking-service [--db FILE] ") + command),
                  std::string::npos);
    }
    EXPECT_EQ(runClockingService({"--version"}).out,
              "clocking-service (Quorvantis) " QV_PROJECT_VERSION "\n");
    EXPECT_NE(runClockingService({"--help"}).out.find("NOT the operator's production service"),
              std::string::npos);
}

} // namespace
} // namespace qv::test
