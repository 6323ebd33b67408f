#include "platform/Errors.h"
#include "service/InterfaceRegistry.h"
#include "service/QuorvantisService.h"
#include "service/SoapCallConverter.h"
#include "service/SoapNamespaces.h"
#include "service/XmlNames.h"

#include <gtest/gtest.h>
#include <pugixml.hpp>
#include <string>
#include <vector>

namespace qv {
namespace {

class SoapRequest : public ::testing::Test {
protected:
    void SetUp() override {
        RegisterQuorvantisService();
        converter_.Options.insert(TSoapConvertOption::soDocument);
    }

    std::string fichar(const std::string& appId, const std::string& huella,
                       const std::string& modo) const {
        const InterfaceInfo& intf = QuorvantisServiceSoap::interfaceInfo();
        const std::vector<std::string> values{appId, huella, modo};
        return converter_.BuildRequest(intf, intf.operation("Fichar"), values);
    }

    TSoapCallConverter converter_;
};

TEST_F(SoapRequest, ShortValuesGiveExactlyTheDocumentTree) {
    const std::string ns = QuorvantisServiceNamespace;
    EXPECT_EQ(fichar("12345", "QUJD", "I"),
              "<?xml version=\"1.0\" encoding=\"UTF-8\"?>"
              "<SOAP-ENV:Envelope xmlns:SOAP-ENV=\"http://schemas.xmlsoap.org/soap/envelope/\" "
              "xmlns:xsd=\"http://www.w3.org/2001/XMLSchema\" "
              "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\">"
              "<SOAP-ENV:Body><Fichar xmlns=\"" +
                  ns +
                  "\"><AppId>12345</AppId><huellaWSQ>QUJD</huellaWSQ><modo>I</modo></Fichar>"
                  "</SOAP-ENV:Body></SOAP-ENV:Envelope>");
}

TEST_F(SoapRequest, ParametersAreInTheServiceNamespaceAndInDeclaredOrder) {
    const std::string text = fichar("7", "QUJD\r\n", "E");
    pugi::xml_document doc;
    ASSERT_TRUE(doc.load_string(text.c_str()));
    const pugi::xml_node envelope = doc.document_element();
    EXPECT_EQ(namespaceOf(envelope), SoapEnvelopeNamespace);
    const pugi::xml_node call = envelope.first_child().first_child();
    EXPECT_EQ(localName(call), "Fichar");
    EXPECT_EQ(namespaceOf(call), QuorvantisServiceNamespace);
    std::vector<std::string> names;
    for (const pugi::xml_node& param : call.children()) {
        names.emplace_back(param.name());
        EXPECT_EQ(namespaceOf(param), QuorvantisServiceNamespace);
        EXPECT_FALSE(param.first_attribute()) << "no type attributes in document style";
    }
    EXPECT_EQ(names, (std::vector<std::string>{"AppId", "huellaWSQ", "modo"}));
    EXPECT_EQ(std::string(call.child("huellaWSQ").text().get()), "QUJD\n")
        << "the text's line end survives (as XML normalises it)";
    EXPECT_EQ(text.find("encodingStyle"), std::string::npos);
    EXPECT_EQ(text.find("Header"), std::string::npos);
}

TEST_F(SoapRequest, MarkupInValuesIsEscapedAndArrivesUnchanged) {
    const std::string appId = "a<b&c>d\"e'f ñ";
    const std::string text = fichar(appId, "", "I");
    EXPECT_NE(text.find("a&lt;b&amp;c"), std::string::npos) << text;
    pugi::xml_document doc;
    ASSERT_TRUE(doc.load_string(text.c_str()));
    const pugi::xml_node call = doc.document_element().first_child().first_child();
    EXPECT_EQ(std::string(call.child("AppId").text().get()), appId);
}

TEST_F(SoapRequest, EmptyValueIsAnEmptyElement) {
    const std::string text = fichar("", "QUJD", "I");
    pugi::xml_document doc;
    ASSERT_TRUE(doc.load_string(text.c_str()));
    const pugi::xml_node appId = doc.document_element().first_child().first_child().first_child();
    EXPECT_STREQ(appId.name(), "AppId");
    EXPECT_STREQ(appId.text().get(), "");
    EXPECT_FALSE(appId.first_child().first_child());
}

TEST_F(SoapRequest, LongBase64TextIsOneTextNode) {
    const std::string huella(300000, 'Q');
    const std::string text = fichar("1", huella + "\r\n", "I");
    pugi::xml_document doc;
    ASSERT_TRUE(doc.load_string(text.c_str()));
    const pugi::xml_node value =
        doc.document_element().first_child().first_child().child("huellaWSQ");
    EXPECT_EQ(std::string(value.first_child().value()), huella + "\n");
    EXPECT_FALSE(value.first_child().next_sibling());
}

struct RenamedInterface : IRemoteInterface {};

TEST_F(SoapRequest, ExternalNamesAreWrittenAndOutParametersSkipped) {
    const InterfaceInfo intf{
        typeid(RenamedInterface),
        "RenamedInterface",
        {{"Op", {{"a"}, {"b", ParamPassing::Out}, {"c", ParamPassing::InOut}}}}};
    interfaceRegistry().registerInterface(intf, "urn:renamed", "utf-8");
    interfaceRegistry().registerExternalOperationName(intf, "Op", "DoIt");
    interfaceRegistry().registerExternalParamName(intf, "Op", "c", "Gamma");
    const std::vector<std::string> values{"1", "2", "3"};
    const std::string text = converter_.BuildRequest(intf, intf.operation("Op"), values);
    EXPECT_NE(text.find("<SOAP-ENV:Body><DoIt xmlns=\"urn:renamed\"><a>1</a><Gamma>3</Gamma>"
                        "</DoIt></SOAP-ENV:Body>"),
              std::string::npos)
        << text;
}

TEST_F(SoapRequest, EncodedStyleAndWrongValueCountAreRefused) {
    const InterfaceInfo& intf = QuorvantisServiceSoap::interfaceInfo();
    const std::vector<std::string> two{"1", "2"};
    EXPECT_THROW(converter_.BuildRequest(intf, intf.operation("Fichar"), two), GeneralError);
    converter_.Options.erase(TSoapConvertOption::soDocument);
    EXPECT_THROW(fichar("1", "2", "I"), GeneralError);
}

TEST_F(SoapRequest, ValuesXml10CannotCarryAreRefusedNamingTheField) {
    struct Case {
        std::string appId;
        std::string holds;
    };
    for (const Case& c : {Case{"12\x01"
                               "3",
                               "the character U+0001 at position 3"},
                          Case{std::string("12\0"
                                           "3",
                                           4),
                               "the character U+0000 at position 3"},
                          Case{"ñ\xEF\xBF\xBE", "the character U+FFFE at position 2"},
                          Case{"ab\xC3(", "a byte that is not UTF-8 text at position 3"},
                          Case{"\xC0\xAF", "a byte that is not UTF-8 text at position 1"},
                          Case{"\xED\xA0\x80", "the character U+D800 at position 1"}}) {
        try {
            fichar(c.appId, "QUJD", "I");
            ADD_FAILURE() << "accepted: " << c.holds;
        } catch (const GeneralError& e) {
            EXPECT_EQ(std::string(e.what()), "Cannot send Fichar: AppId holds " + c.holds +
                                                 ", which an XML 1.0 document cannot carry");
        }
    }
    // Tabs, line ends and characters beyond the BMP are XML text like any other.
    EXPECT_NE(fichar("a\tb\r\nc \xF0\x9F\x98\x80", "QUJD\r\n", "E").find("<AppId>a\tb"),
              std::string::npos);
}

} // namespace
} // namespace qv
