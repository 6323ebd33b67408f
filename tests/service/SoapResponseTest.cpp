#include "service/QuorvantisService.h"
#include "service/RemoteTypeRegistry.h"
#include "service/SoapCallConverter.h"
#include "service/SoapErrors.h"

#include <gtest/gtest.h>
#include <string>

namespace qv {
namespace {

const std::string kNamespace = kQuorvantisServiceNamespace;

std::string envelope(const std::string& body, const std::string& header = {}) {
    return "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n"
           "<soap:Envelope xmlns:soap=\"http://schemas.xmlsoap.org/soap/envelope/\" "
           "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\">\r\n" +
           header + "<soap:Body>" + body + "</soap:Body></soap:Envelope>";
}

std::string answer(const std::string& resultContent,
                   const std::string& resultName = "FicharResult") {
    return envelope("<FicharResponse xmlns=\"" + kNamespace + "\"><" + resultName + ">" +
                    resultContent + "</" + resultName + "></FicharResponse>");
}

const std::string kFullResult = "<puntaje>95</puntaje><resultado>Bienvenido, Ana</resultado>"
                                "<foto>/9j/4AAQ</foto>";

class SoapResponse : public ::testing::Test {
protected:
    void SetUp() override {
        registerQuorvantisService();
        converter_.Options.insert(TSoapConvertOption::soDocument);
    }

    std::unique_ptr<FichadaResult> read(const std::string& text) const {
        MemoryStream stream(std::vector<std::uint8_t>(text.begin(), text.end()));
        stream.seek(stream.size());
        return converter_.ReadResponse(stream, QuorvantisServiceSoap::interfaceInfo());
    }

    template <typename Error> std::string failure(const std::string& text) const {
        try {
            read(text);
        } catch (const Error& e) {
            return e.what();
        }
        ADD_FAILURE() << "no error of the expected kind for: " << text;
        return {};
    }

    static void expectFull(const FichadaResult* result) {
        ASSERT_NE(result, nullptr);
        EXPECT_EQ(result->puntaje, 95);
        EXPECT_EQ(result->resultado, "Bienvenido, Ana");
        EXPECT_EQ(result->foto, "/9j/4AAQ");
    }

    TSoapCallConverter converter_;
};

TEST_F(SoapResponse, SingleResultChildOfAnyNameIsRead) {
    expectFull(read(answer(kFullResult)).get());
    expectFull(read(answer(kFullResult, "anything")).get());
    expectFull(
        read(envelope("<r><q:Whatever xmlns:q=\"urn:q\">" + kFullResult + "</q:Whatever></r>"))
            .get());
}

TEST_F(SoapResponse, PropertyOrderCaseAndNamespaceDoNotMatter) {
    expectFull(read(answer("<foto>/9j/4AAQ</foto><resultado>Bienvenido, Ana</resultado>"
                           "<puntaje>95</puntaje>"))
                   .get());
    expectFull(read(answer("<PUNTAJE>95</PUNTAJE><Resultado>Bienvenido, Ana</Resultado>"
                           "<FOTO>/9j/4AAQ</FOTO>"))
                   .get());
    expectFull(read(answer("<p:puntaje xmlns:p=\"urn:other\">95</p:puntaje>"
                           "<resultado xmlns=\"\">Bienvenido, Ana</resultado>"
                           "<foto>/9j/4AAQ</foto><extra>ignored</extra>"))
                   .get());
    // Envelope with a default namespace instead of a prefix, white space between elements.
    expectFull(read("<Envelope xmlns=\"http://schemas.xmlsoap.org/soap/envelope/\">\n  <Body>\n"
                    "    <FicharResponse>\n      <FicharResult>\n" +
                    kFullResult +
                    "\n      </FicharResult>\n    </FicharResponse>\n  </Body>\n"
                    "</Envelope>\n")
                   .get());
}

TEST_F(SoapResponse, FirstMatchingElementWinsAndAttributesStandIn) {
    auto result = read(answer("<puntaje>1</puntaje><puntaje>2</puntaje>"));
    ASSERT_TRUE(result);
    EXPECT_EQ(result->puntaje, 1);

    result = read(envelope("<R><FicharResult puntaje=\"7\" resultado=\"ok\" Foto=\"x\">"
                           "<resultado>from element</resultado></FicharResult></R>"));
    ASSERT_TRUE(result);
    EXPECT_EQ(result->puntaje, 7);
    EXPECT_EQ(result->resultado, "from element");
    EXPECT_EQ(result->foto, "") << "attributes match the property name exactly";
}

TEST_F(SoapResponse, MissingPropertiesKeepDefaults) {
    auto result = read(answer("<puntaje>-3</puntaje><resultado>Sin foto</resultado>"));
    ASSERT_TRUE(result);
    EXPECT_EQ(result->puntaje, -3);
    EXPECT_EQ(result->resultado, "Sin foto");
    EXPECT_EQ(result->foto, "");

    result = read(answer(""));
    ASSERT_TRUE(result) << "an empty result element still gives an object in document style";
    EXPECT_EQ(result->puntaje, 0);

    result = read(answer("<puntaje>+5</puntaje><foto/><resultado></resultado>"));
    ASSERT_TRUE(result);
    EXPECT_EQ(result->puntaje, 5);
    EXPECT_EQ(result->foto, "");
}

TEST_F(SoapResponse, InvalidIntegersFailWithTheText) {
    EXPECT_EQ(failure<EConvertError>(answer("<puntaje></puntaje>")),
              "'' is not a valid integer value");
    EXPECT_EQ(failure<EConvertError>(answer("<puntaje>9x</puntaje>")),
              "'9x' is not a valid integer value");
    EXPECT_EQ(failure<EConvertError>(answer("<puntaje>2147483648</puntaje>")),
              "'2147483648' is not a valid integer value");
    EXPECT_EQ(failure<EConvertError>(answer("<puntaje>+-1</puntaje>")),
              "'+-1' is not a valid integer value");
    EXPECT_EQ(read(answer("<puntaje>-2147483648</puntaje>"))->puntaje, -2147483647 - 1);
}

TEST_F(SoapResponse, PropertyElementsMustHoldOneTextNode) {
    const std::string message = "Element does not contain a single text node";
    EXPECT_EQ(failure<EXmlNodeError>(answer("<resultado><b>x</b></resultado>")), message);
    EXPECT_EQ(failure<EXmlNodeError>(answer("<resultado><![CDATA[x]]></resultado>")), message);
    EXPECT_EQ(failure<EXmlNodeError>(answer("<resultado>a<b/>c</resultado>")), message);
}

TEST_F(SoapResponse, ResultIsPickedByReturnNamesAmongSeveralChildren) {
    EXPECT_EQ(read(envelope("<R><a>" + kFullResult + "</a><b/></R>")), nullptr);
    expectFull(read(envelope("<R><a/><RETURN>" + kFullResult + "</RETURN></R>")).get());
    expectFull(
        read(envelope("<R><x:result xmlns:x=\"urn:x\">" + kFullResult + "</x:result><Return/></R>"))
            .get());
    EXPECT_EQ(read(envelope("<R/>")), nullptr);
    EXPECT_EQ(read(envelope("<R>text only</R>")), nullptr);
}

TEST_F(SoapResponse, WithoutDocumentStyleAMissingResultIsAnError) {
    converter_.Options.erase(TSoapConvertOption::soDocument);
    EXPECT_EQ(failure<ESoapConvertError>(envelope("<R><a/><b/></R>")),
              "SOAP Response Packet: result element expected, received \"<R><a/><b/></R>\"");
}

TEST_F(SoapResponse, ResultByReferenceFollowsTheId) {
    expectFull(read(envelope("<R><Result href=\"#1\"/></R><multiRef id=\"1\">" + kFullResult +
                             "</multiRef>"))
                   .get());
    expectFull(
        read(envelope("<R><Result href=\"#id2\"/><item id=\"id2\">" + kFullResult + "</item></R>"))
            .get());
    EXPECT_EQ(read(envelope("<R><Result href=\"#9\"/></R><multiRef id=\"1\"/>")), nullptr);
}

struct ExtendedResult : FichadaResult {
    std::string extra;
    std::vector<PropertyRef> publishedProperties() override {
        auto properties = FichadaResult::publishedProperties();
        properties.push_back({"extra", &extra});
        return properties;
    }
};

TEST_F(SoapResponse, TypeAttributeSelectsARegisteredDerivedClass) {
    remoteTypeRegistry().registerClass<ExtendedResult>("urn:test", "ExtendedResult");
    auto result = read(envelope("<R xmlns:t=\"urn:test\"><r xsi:type=\"t:ExtendedResult\">"
                                "<extra>more</extra><puntaje>1</puntaje></r></R>"));
    auto* extended = dynamic_cast<ExtendedResult*>(result.get());
    ASSERT_NE(extended, nullptr);
    EXPECT_EQ(extended->extra, "more");
    EXPECT_EQ(extended->puntaje, 1);

    result = read(envelope("<R xmlns:t=\"urn:nope\"><r xsi:type=\"t:ExtendedResult\">"
                           "<extra>more</extra></r></R>"));
    ASSERT_TRUE(result);
    EXPECT_EQ(dynamic_cast<ExtendedResult*>(result.get()), nullptr);
}

TEST_F(SoapResponse, FaultBecomesRemoteFault) {
    const std::string fault =
        envelope("<soap:Fault><faultcode>soap:Server</faultcode>"
                 "<faultstring>Huella no reconocida &amp; rechazada</faultstring>"
                 "<faultactor>http://svc/</faultactor>"
                 "<detail><code xmlns=\"urn:d\">17</code></detail></soap:Fault>");
    try {
        read(fault);
        FAIL() << "fault not raised";
    } catch (const ERemoteFault& e) {
        EXPECT_STREQ(e.what(), "Huella no reconocida & rechazada");
        EXPECT_EQ(e.FaultCode, "soap:Server");
        EXPECT_EQ(e.FaultActor, "http://svc/");
        EXPECT_EQ(e.FaultDetail, "<detail><code xmlns=\"urn:d\">17</code></detail>");
    }
}

TEST_F(SoapResponse, FaultChildrenMatchWithoutCaseAndLaterOnesWin) {
    try {
        read(envelope("<Fault><FaultString>first</FaultString><FAULTSTRING>second</FAULTSTRING>"
                      "</Fault>"));
        FAIL() << "fault not raised";
    } catch (const ERemoteFault& e) {
        EXPECT_STREQ(e.what(), "second");
        EXPECT_EQ(e.FaultCode, "");
        EXPECT_EQ(e.FaultDetail, "");
    }
    EXPECT_EQ(failure<ERemoteFault>(envelope("<x:Fault xmlns:x=\"urn:x\"/>")), "");
}

TEST_F(SoapResponse, EnvelopeStructureIsChecked) {
    EXPECT_EQ(failure<ESoapConvertError>(
                  "<s:Envelope xmlns:s=\"http://www.w3.org/2003/05/soap-envelope\"><s:Body/>"
                  "</s:Envelope>"),
              "DocumentElement http://schemas.xmlsoap.org/soap/envelope/:Envelope expected, "
              "http://www.w3.org/2003/05/soap-envelope:Envelope found");
    EXPECT_EQ(failure<ESoapConvertError>("<html><body>Error</body></html>"),
              "DocumentElement http://schemas.xmlsoap.org/soap/envelope/:Envelope expected, "
              ":html found");
    EXPECT_EQ(failure<ESoapConvertError>(
                  "<soap:envelope xmlns:soap=\"http://schemas.xmlsoap.org/soap/envelope/\"/>"),
              "DocumentElement http://schemas.xmlsoap.org/soap/envelope/:Envelope expected, "
              "http://schemas.xmlsoap.org/soap/envelope/:envelope found");
    EXPECT_EQ(failure<ESoapConvertError>(
                  "<soap:Envelope xmlns:soap=\"http://schemas.xmlsoap.org/soap/envelope/\"/>"),
              "Invalid SOAP request");
    EXPECT_EQ(failure<ESoapConvertError>(envelope("<R/></soap:Body><soap:Body><R/>")),
              "Invalid SOAP request");
    EXPECT_EQ(failure<ESoapConvertError>(envelope("<R/>", "<soap:Header/><soap:Header/>")),
              "Invalid SOAP request");
    EXPECT_EQ(failure<EListError>(envelope("")), "List index out of bounds (0)");
    EXPECT_EQ(failure<EListError>(envelope("<!-- nothing -->")), "List index out of bounds (0)");
    EXPECT_EQ(read("<soap:Envelope xmlns:soap=\"http://schemas.xmlsoap.org/soap/envelope/\">"
                   "<soap:Other/></soap:Envelope>"),
              nullptr);
}

TEST_F(SoapResponse, HeadersThatMustBeUnderstoodAreRefused) {
    const std::string body = "<R><FicharResult>" + kFullResult + "</FicharResult></R>";
    EXPECT_EQ(failure<GeneralError>(
                  envelope(body, "<soap:Header><Auth mustUnderstand=\"1\"/></soap:Header>")),
              "Soap header Auth with attribute 'mustUnderstand' set to true was not handled");
    EXPECT_EQ(failure<GeneralError>(envelope(
                  body, "<soap:Header><h:Trace xmlns:h=\"urn:h\" soap:mustUnderstand=\"1\"/>"
                        "</soap:Header>")),
              "Soap header Trace with attribute 'mustUnderstand' set to true was not handled");
    expectFull(read(envelope(body, "<soap:Header><Auth mustUnderstand=\"0\"/><Info x=\"1\"/>"
                                   "</soap:Header>"))
                   .get());
}

TEST_F(SoapResponse, MalformedXmlReportsReasonLineAndExcerpt) {
    EXPECT_EQ(failure<EXmlParseError>(""), "no element found\r\nLine: 1\r\n");
    const std::string broken =
        "<?xml version=\"1.0\"?>\n<soap:Envelope xmlns:soap=\"x\">\n"
        "  <soap:Body><FicharResponse>an unfinished answer that goes on and on</soap:Body>\n";
    EXPECT_EQ(failure<EXmlParseError>(broken),
              "mismatched tag\r\nLine: 3\r\n  <soap:Body><FicharResponse>an unfinish");
    const std::string message = failure<EXmlParseError>("<a>\n<b attr=\"ñññ></b></a>");
    EXPECT_TRUE(message.ends_with("\r\nLine: 2\r\n<b attr=\"ñññ></b></a>")) << message;
}

// What a lenient tree parser would let through, each refused at the line where it stands.
TEST_F(SoapResponse, RepliesThatAreNotWellFormedXmlAreRefused) {
    struct Case {
        const char* name;
        std::string reply;
        std::string message;
    };
    const std::string ok = answer(kFullResult);
    const std::string entityDeclared = "<?xml version=\"1.0\"?>\n<!DOCTYPE e [\n<!ENTITY a "
                                       "\"aaaa\">\n]>\n<e>&a;&a;</e>";
    const std::vector<Case> cases{
        {"text after the root", ok + "\r\ntrailing words",
         "junk after document element\r\nLine: 4\r\ntrailing words"},
        {"a second root", ok + "<second/>", "junk after document element\r\nLine: 3\r\n"},
        {"an undefined entity", answer("<resultado>caf&eacute;</resultado>"),
         "undefined entity\r\nLine: 3\r\n"},
        {"an unknown entity under an external DTD",
         "<?xml version=\"1.0\"?>\n<!DOCTYPE e SYSTEM \"e.dtd\">\n<e>&foo;</e>",
         "undefined entity\r\nLine: 3\r\n<e>&foo;</e>"},
        {"an entity declaration", entityDeclared,
         "entity declarations are not allowed in a reply\r\nLine: 3\r\n<!ENTITY a \"aaaa\">"},
        {"invalid UTF-8", answer("<resultado>Adi\xF3s</resultado>"),
         "not well-formed (invalid token)\r\nLine: 3\r\n"},
        {"a NUL character reference", answer("<resultado>cut&#0;here</resultado>"),
         "reference to invalid character number\r\nLine: 3\r\n"},
        {"a raw control character", answer("<resultado>a\x01z</resultado>"),
         "not well-formed (invalid token)\r\nLine: 3\r\n"},
        {"lines ending in CR alone", "<a>\r<b>\r\r</a>", "mismatched tag\r\nLine: 4\r\n</a>"},
        {"an encoding name that is no name", "<?xml version=\"1.0\" encoding=\"utf 8\"?><a/>",
         "XML declaration not well-formed\r\nLine: 1\r\n"},
        {"an encoding nobody reads", "<?xml version=\"1.0\" encoding=\"KOI8-R\"?><a/>",
         "unsupported character encoding 'koi8-r'\r\nLine: 1\r\n<?xml version=\"1.0\" "
         "encoding=\"KOI8-R\"?><"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string message = failure<EXmlParseError>(c.reply);
        EXPECT_TRUE(message.starts_with(c.message)) << message;
    }
}

// "<a>\r\n<b>ó</b>\r\n</c>" written in UTF-16 little-endian with a byte-order mark.
TEST_F(SoapResponse, ParseErrorsInUtf16RepliesNameTheLineAndShowItsText) {
    std::string utf16 = "\xFF\xFE";
    for (const char16_t c : std::u16string(u"<a>\r\n<b>\u00F3</b>\r\n</c>")) {
        utf16 += static_cast<char>(c & 0xFF);
        utf16 += static_cast<char>(c >> 8);
    }
    EXPECT_EQ(failure<EXmlParseError>(utf16), "mismatched tag\r\nLine: 3\r\n</c>");
    EXPECT_EQ(failure<EXmlParseError>(utf16.substr(0, 16) + std::string("\x00\xDC", 2) +
                                      utf16.substr(16)),
              "invalid UTF-16 surrogate\r\nLine: 2\r\n<b");
}

TEST_F(SoapResponse, RepliesInOtherEncodingsAreReadAsUnicode) {
    const std::string latin1 = "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>" +
                               answer("<resultado>Adi\xF3s</resultado><puntaje>1</puntaje>")
                                   .substr(std::string("<?xml version=\"1.0\" "
                                                       "encoding=\"utf-8\"?>")
                                               .size());
    auto result = read(latin1);
    ASSERT_TRUE(result);
    EXPECT_EQ(result->resultado, "Adi\xC3\xB3s");

    const std::string utf8 = answer("<resultado>Adiós</resultado>");
    std::string utf16 = "\xFF\xFE";
    for (unsigned char c : std::string(utf8.substr(utf8.find('<', 1)))) {
        if (c < 0x80) {
            utf16 += static_cast<char>(c);
            utf16 += '\0';
        } else if (c == 0xC3) {
            continue;
        } else {
            utf16 += static_cast<char>(c + 0x40); // ó: C3 B3 -> U+00F3
            utf16 += '\0';
        }
    }
    result = read(utf16);
    ASSERT_TRUE(result);
    EXPECT_EQ(result->resultado, "Adi\xC3\xB3s");

    // Windows code pages and a UTF-16 claim on 8-bit text, as some services write them.
    struct Case {
        std::string declared;
        std::string bytes;
        std::string expected;
    };
    for (const Case& c :
         {Case{"windows-1252", "\x80 \x93ok\x94 \xF1", "€ “ok” ñ"},
          Case{"ISO-8859-15", "\xA4 \xBD \xF1", "€ œ ñ"}, Case{"utf-16", "€ ñ", "€ ñ"}}) {
        const std::string reply = "<?xml version=\"1.0\" encoding=\"" + c.declared + "\"?>" +
                                  answer("<resultado>" + c.bytes + "</resultado>")
                                      .substr(std::string("<?xml version=\"1.0\" "
                                                          "encoding=\"utf-8\"?>")
                                                  .size());
        result = read(reply);
        ASSERT_TRUE(result) << c.declared;
        EXPECT_EQ(result->resultado, c.expected) << c.declared;
    }
}

TEST_F(SoapResponse, DeepNestingIsHandledWithoutExhaustingTheStack) {
    constexpr int depth = 200000;
    std::string detail;
    for (int i = 0; i < depth; ++i) {
        detail += "<d>";
    }
    for (int i = 0; i < depth; ++i) {
        detail += "</d>";
    }
    try {
        read(envelope("<Fault><faultstring>deep</faultstring><detail>" + detail +
                      "</detail></Fault>"));
        FAIL() << "fault not raised";
    } catch (const ERemoteFault& e) {
        // Written back with the innermost element in its short form.
        EXPECT_EQ(e.FaultDetail.size(), std::string("<detail></detail>").size() + detail.size() -
                                            std::string("<d></d>").size() +
                                            std::string("<d/>").size());
    }
    EXPECT_EQ(failure<EXmlNodeError>(answer("<resultado>" + detail + "</resultado>")),
              "Element does not contain a single text node");
}

} // namespace
} // namespace qv
