#include "service/HttpServiceProxy.h"
#include "service/InterfaceRegistry.h"
#include "service/QuorvantisServiceGetter.h"
#include "service/SoapErrors.h"
#include "tests/support/TestHttpServer.h"

#include <gtest/gtest.h>

namespace qv {
namespace {

const std::string kNamespace = QuorvantisServiceNamespace;

std::string envelope(const std::string& body) {
    return "<?xml version=\"1.0\" encoding=\"utf-8\"?>"
           "<soap:Envelope xmlns:soap=\"http://schemas.xmlsoap.org/soap/envelope/\">"
           "<soap:Body>" +
           body + "</soap:Body></soap:Envelope>";
}

std::string ficharAnswer(const std::string& resultChildren) {
    return envelope("<FicharResponse xmlns=\"" + kNamespace + "\"><FicharResult>" + resultChildren +
                    "</FicharResult></FicharResponse>");
}

template <typename Error = GeneralError> Error errorOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const Error& error) {
        return error;
    }
    ADD_FAILURE() << "no error of the expected kind was raised";
    return Error("");
}

struct UnrelatedInterface : IRemoteInterface {};

class ServiceProxyTest : public ::testing::Test {
protected:
    void SetUp() override { RegisterQuorvantisService(); }

    std::unique_ptr<QuorvantisServiceSoap> service() {
        return GetQuorvantisServiceSoap(false, server.url("/QuorvantisService.asmx?site=1"));
    }

    test::TestHttpServer server;
};

TEST_F(ServiceProxyTest, FicharPostsTheExactRequestAndReadsTheAnswer) {
    server.respond(200, ficharAnswer("<puntaje>95</puntaje><resultado>Bienvenido, Ana</resultado>"
                                     "<foto>/9j/4AAQ</foto>"));

    const auto result = service()->Fichar("12345678", "QUJD", "I");

    ASSERT_NE(result, nullptr);
    EXPECT_EQ(result->puntaje, 95);
    EXPECT_EQ(result->resultado, "Bienvenido, Ana");
    EXPECT_EQ(result->foto, "/9j/4AAQ");

    const auto requests = server.requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].target, "/QuorvantisService.asmx?site=1");
    EXPECT_EQ(requests[0].body,
              "<?xml version=\"1.0\" encoding=\"UTF-8\"?>"
              "<SOAP-ENV:Envelope xmlns:SOAP-ENV=\"http://schemas.xmlsoap.org/soap/envelope/\" "
              "xmlns:xsd=\"http://www.w3.org/2001/XMLSchema\" "
              "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\">"
              "<SOAP-ENV:Body><Fichar xmlns=\"" +
                  kNamespace +
                  "\"><AppId>12345678</AppId><huellaWSQ>QUJD</huellaWSQ><modo>I</modo></Fichar>"
                  "</SOAP-ENV:Body></SOAP-ENV:Envelope>");
    const auto& headers = requests[0].headers;
    ASSERT_EQ(headers.count("SOAPAction"), 1u);
    EXPECT_EQ(headers.find("SOAPAction")->second, "\"" + kNamespace + "Fichar\"");
    EXPECT_EQ(headers.find("Content-Type")->second, "text/xml");
}

TEST_F(ServiceProxyTest, AnAnswerWithoutAResultGivesNull) {
    server.respond(200, envelope("<FicharResponse><a>1</a><b>2</b></FicharResponse>"));
    EXPECT_EQ(service()->Fichar("1", "QUJD", "E"), nullptr);
}

TEST_F(ServiceProxyTest, AFaultOnStatus500IsRaisedWithItsTextAndCode) {
    server.respond(500, envelope("<soap:Fault><faultcode>soap:Server</faultcode>"
                                 "<faultstring>Huella no reconocida</faultstring></soap:Fault>"));
    const auto proxy = service();
    const auto fault = errorOf<ERemoteFault>([&] { proxy->Fichar("1", "QUJD", "I"); });
    EXPECT_STREQ(fault.what(), "Huella no reconocida");
    EXPECT_EQ(fault.FaultCode, "soap:Server");
}

TEST_F(ServiceProxyTest, AFailedCallLeavesTheProxyUsable) {
    const auto proxy = service();
    server.respond(404, "no such page", "text/html");
    const auto error = errorOf([&] { proxy->Fichar("1", "QUJD", "I"); });
    EXPECT_EQ(std::string(error.what()),
              "Not Found (404) - '" + server.url("/QuorvantisService.asmx?site=1") + "'");

    server.respond(200, ficharAnswer("<resultado>OK</resultado>"));
    const auto result = proxy->Fichar("1", "QUJD", "I");
    ASSERT_NE(result, nullptr);
    EXPECT_EQ(result->resultado, "OK");
    EXPECT_EQ(result->puntaje, 0);
    EXPECT_EQ(result->foto, "");
}

TEST_F(ServiceProxyTest, EventsSeeAndMayReplaceTheRequestAndSeeTheReply) {
    server.respond(200, ficharAnswer("<resultado>OK</resultado>"));
    THttpServiceProxy proxy;
    proxy.setURL(server.url("/svc"));
    std::string seenMethod;
    std::string seenReply;
    proxy.OnBeforeExecute = [&](const std::string& method, std::string& request) {
        seenMethod = method;
        request = "<replaced/>";
    };
    proxy.OnAfterExecute = [&](const std::string& method, MemoryStream& response) {
        EXPECT_EQ(method, "Fichar");
        seenReply.assign(reinterpret_cast<const char*>(response.data()), response.size());
    };

    EXPECT_NE(proxy.Fichar("1", "QUJD", "I"), nullptr);
    EXPECT_EQ(seenMethod, "Fichar");
    EXPECT_EQ(seenReply, ficharAnswer("<resultado>OK</resultado>"));
    EXPECT_EQ(server.requests().at(0).body, "<replaced/>");
}

TEST_F(ServiceProxyTest, BindingTakesActionAndStyleAndRefusesASecondInterface) {
    THttpServiceProxy proxy;
    ASSERT_TRUE(proxy.bindInterface(QuorvantisServiceSoap::interfaceInfo()));
    EXPECT_EQ(proxy.Transport()->SOAPAction(), kNamespace + "Fichar");
    EXPECT_TRUE(proxy.Converter()->Options.contains(TSoapConvertOption::soDocument));

    const InterfaceInfo unrelated{typeid(UnrelatedInterface), "UnrelatedInterface", {}};
    interfaceRegistry().registerInterface(unrelated, "http://unrelated.test/", "utf-8");
    EXPECT_FALSE(proxy.bindInterface(unrelated));
    EXPECT_TRUE(proxy.bindInterface(QuorvantisServiceSoap::interfaceInfo()));

    THttpServiceProxy boundElsewhere;
    ASSERT_TRUE(boundElsewhere.bindInterface(unrelated));
    EXPECT_FALSE(boundElsewhere.Converter()->Options.contains(TSoapConvertOption::soDocument));
    EXPECT_EQ(boundElsewhere.Transport()->SOAPAction(), "http://unrelated.test/#");
    boundElsewhere.setURL(server.url("/svc"));
    EXPECT_THROW(boundElsewhere.Fichar("1", "QUJD", "I"), GeneralError);
    EXPECT_TRUE(server.requests().empty());
}

TEST_F(ServiceProxyTest, MissingPartsAreReportedBeforeAnythingIsSent) {
    THttpServiceProxy proxy;
    proxy.setURL(server.url("/svc"));
    proxy.setConverter(nullptr);
    EXPECT_STREQ(errorOf([&] { proxy.Fichar("1", "Q", "I"); }).what(),
                 "No Native to Message converter set");
    proxy.setConverter(std::make_unique<TSoapCallConverter>());
    proxy.setTransport(nullptr);
    EXPECT_STREQ(errorOf([&] { proxy.Fichar("1", "Q", "I"); }).what(),
                 "No Message processing node set");

    THttpServiceProxy withoutUrl;
    EXPECT_EQ(std::string(errorOf([&] { withoutUrl.Fichar("1", "Q", "I"); }).what())
                  .rfind("No WSDL or URL property was set", 0),
              0u);
    EXPECT_TRUE(server.requests().empty());
}

TEST(QuorvantisServiceGetterTest, AnEmptyAddressMeansTheDevelopmentService) {
    const auto service = GetQuorvantisServiceSoap(false, "");
    const auto* proxy = dynamic_cast<THttpServiceProxy*>(service.get());
    ASSERT_NE(proxy, nullptr);
    EXPECT_EQ(proxy->URL(), "http://localhost:21796/QuorvantisService.asmx");
    const HttpUrl& parts = proxy->Transport()->urlParts();
    EXPECT_EQ(parts.host, "localhost");
    EXPECT_EQ(parts.port, 21796);
    EXPECT_EQ(parts.target, "/QuorvantisService.asmx");
}

TEST(QuorvantisServiceGetterTest, RefusesOtherSchemesAndTheWsdlRoad) {
    EXPECT_STREQ(errorOf([] { GetQuorvantisServiceSoap(false, "ftp://clocking.test/q"); }).what(),
                 "Invalid url 'ftp://clocking.test/q' - only supports 'http' and 'https' schemes");
    EXPECT_THROW(GetQuorvantisServiceSoap(true, ""), GeneralError);
    EXPECT_THROW(GetQuorvantisServiceSoap(true, "http://clocking.test/q?wsdl"), GeneralError);
}

} // namespace
} // namespace qv
