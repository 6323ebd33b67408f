#include "platform/Errors.h"
#include "service/InterfaceRegistry.h"
#include "service/QuorvantisService.h"
#include "service/RemoteTypeRegistry.h"

#include <atomic>
#include <gtest/gtest.h>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace qv {
namespace {

const InterfaceInfo& station() {
    RegisterQuorvantisService();
    return QuorvantisServiceSoap::interfaceInfo();
}

// Private interfaces so these tests can register freely without touching the station's entry.
struct PlainInterface : IRemoteInterface {};
struct NamedInterface : IRemoteInterface {};

InterfaceInfo plainInfo() {
    return {typeid(PlainInterface), "PlainInterface", {}};
}
InterfaceInfo namedInfo() {
    return {typeid(NamedInterface), "NamedInterface", {}};
}

TEST(QuorvantisServiceRegistration, SoapActionIsNamespaceFollowedByOperation) {
    const std::string ns = QuorvantisServiceNamespace;
    ASSERT_TRUE(ns.starts_with("http://"));
    ASSERT_EQ(ns.find('/', 7), ns.size() - 1) << "the namespace's path must be \"/\"";

    EXPECT_EQ(interfaceRegistry().soapAction(station(), "Fichar"), ns + "Fichar");
    EXPECT_EQ(interfaceRegistry().soapAction(station()), ns + "Fichar");
    EXPECT_EQ(interfaceRegistry().namespaceUri(station()), ns);
    EXPECT_EQ(interfaceRegistry().wsdlEncoding(station()), "utf-8");
}

TEST(QuorvantisServiceRegistration, OptionsAndNamesAreTheDeclaredOnes) {
    const InvokeOptions options = interfaceRegistry().options(station());
    EXPECT_TRUE(options.contains(InvokeOption::DocumentStyle));
    EXPECT_TRUE(options.contains(InvokeOption::HasDefaultSoapAction));
    EXPECT_TRUE(options.contains(InvokeOption::HasNamespace));
    EXPECT_FALSE(options.contains(InvokeOption::HasReturnParamNames));

    EXPECT_EQ(interfaceRegistry().externalOperationName(station(), "Fichar"), "Fichar");
    EXPECT_EQ(interfaceRegistry().returnParamNames(station()),
              (std::vector<std::string>{"Result", "Return"}));

    // The request test pins the names on the wire; here, what any declaration must satisfy:
    // values only go out, each name once, and the wire uses the declared names.
    const OperationInfo& fichar = station().operation("Fichar");
    EXPECT_FALSE(fichar.params.empty());
    std::set<std::string> seen;
    for (const ParamInfo& param : fichar.params) {
        EXPECT_EQ(param.passing, ParamPassing::In) << param.name;
        EXPECT_TRUE(seen.insert(param.name).second) << "declared twice: " << param.name;
        EXPECT_EQ(interfaceRegistry().externalParamName(station(), "Fichar", param.name),
                  param.name);
    }
    EXPECT_THROW(station().operation("Salir"), GeneralError);
}

TEST(QuorvantisServiceRegistration, RepeatedRegistrationChangesNothing) {
    const std::string before = interfaceRegistry().soapAction(station(), "Fichar");
    RegisterQuorvantisService();
    interfaceRegistry().registerInterface(station(), "http://other.example/", "latin1");
    interfaceRegistry().registerInvokeOptions(station(), {InvokeOption::DocumentStyle});
    EXPECT_EQ(interfaceRegistry().namespaceUri(station()), QuorvantisServiceNamespace);
    EXPECT_EQ(interfaceRegistry().wsdlEncoding(station()), "utf-8");
    EXPECT_EQ(interfaceRegistry().soapAction(station(), "Fichar"), before);
}

TEST(QuorvantisServiceRegistration, ResultClassIsRegisteredUnderTheServiceNamespace) {
    station();
    const auto type = remoteTypeRegistry().xmlTypeOf(typeid(FichadaResult));
    ASSERT_TRUE(type.has_value());
    EXPECT_EQ(type->namespaceUri, QuorvantisServiceNamespace);
    EXPECT_EQ(type->name, "FichadaResult");

    auto created =
        remoteTypeRegistry().createForXmlType(QuorvantisServiceNamespace, "FichadaResult");
    ASSERT_NE(dynamic_cast<FichadaResult*>(created.get()), nullptr);
    EXPECT_EQ(remoteTypeRegistry().createForXmlType("http://other.example/", "FichadaResult"),
              nullptr);
    EXPECT_EQ(remoteTypeRegistry().createForXmlType(QuorvantisServiceNamespace, "fichadaresult"),
              nullptr);
}

TEST(InterfaceRegistry, SoapActionWithoutDefaultIsNamespaceHashOperation) {
    interfaceRegistry().registerInterface(plainInfo(), "http://plain.example/", "utf-8");
    EXPECT_EQ(interfaceRegistry().soapAction(plainInfo(), "Op"), "http://plain.example/#Op");
    EXPECT_FALSE(
        interfaceRegistry().options(plainInfo()).contains(InvokeOption::HasDefaultSoapAction));
}

TEST(InterfaceRegistry, DefaultSoapActionTakesExternalOperationName) {
    interfaceRegistry().registerInterface(namedInfo(), "http://named.example/", "utf-8");
    interfaceRegistry().registerDefaultSoapAction(namedInfo(),
                                                  "urn:%operationName%/%operationName%");
    interfaceRegistry().registerExternalOperationName(namedInfo(), "Op", "DoIt");
    interfaceRegistry().registerExternalParamName(namedInfo(), "Op", "a", "Alpha");
    interfaceRegistry().registerReturnParamNames(namedInfo(), "Answer;;Out");

    EXPECT_EQ(interfaceRegistry().soapAction(namedInfo(), "Op"), "urn:DoIt/DoIt");
    EXPECT_EQ(interfaceRegistry().soapAction(namedInfo()), "urn:%operationName%/%operationName%");
    EXPECT_EQ(interfaceRegistry().externalParamName(namedInfo(), "Op", "a"), "Alpha");
    EXPECT_EQ(interfaceRegistry().externalParamName(namedInfo(), "Other", "a"), "a");
    EXPECT_EQ(interfaceRegistry().returnParamNames(namedInfo()),
              (std::vector<std::string>{"Answer", "Out"}));
}

TEST(InterfaceRegistry, UnregisteredInterfaceIsAClearError) {
    struct Unknown : IRemoteInterface {};
    const InterfaceInfo unknown{typeid(Unknown), "Unknown", {}};
    EXPECT_FALSE(interfaceRegistry().isRegistered(unknown));
    try {
        interfaceRegistry().soapAction(unknown, "Op");
        FAIL() << "lookup of an unregistered interface succeeded";
    } catch (const GeneralError& e) {
        EXPECT_STREQ(e.what(), "Interface Unknown is not registered");
    }
}

TEST(Registries, ConcurrentLookupsAndRegistrationsAgree) {
    const std::string expected = std::string(QuorvantisServiceNamespace) + "Fichar";
    std::atomic<int> mismatches{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 2000; ++i) {
                RegisterQuorvantisService();
                if (t % 2 == 0) {
                    interfaceRegistry().registerInvokeOptions(station(),
                                                              {InvokeOption::DocumentStyle});
                    remoteTypeRegistry().registerClass<FichadaResult>("http://x.example/", "X");
                }
                if (interfaceRegistry().soapAction(station(), "Fichar") != expected ||
                    !remoteTypeRegistry().createForXmlType(QuorvantisServiceNamespace,
                                                           "FichadaResult")) {
                    ++mismatches;
                }
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(mismatches.load(), 0);
    EXPECT_EQ(remoteTypeRegistry().xmlTypeOf(typeid(FichadaResult))->name, "FichadaResult");
}

} // namespace
} // namespace qv
