// What the development service's tests share: a test print, the station's request, calls over HTTP.

#include "tests/clocking/ClockingTestSupport.h"

#include "imaging/UMimeFile.h"
#include "platform/Files.h"
#include "service/QuorvantisService.h"
#include "service/SoapCallConverter.h"
#include "service/SoapErrors.h"
#include "tests/support/Eventually.h"

#include <fstream>
#include <httplib.h>

namespace qv::test {

std::vector<std::uint8_t> testPrint(const std::string& name) {
    return readFileBytes(std::string(QV_TESTDATA_DIR) + "/wsq/" + name);
}

std::string base64Text(const std::vector<std::uint8_t>& bytes) {
    MemoryStream stream(bytes);
    std::string text;
    StreamToBase64Text(stream, text);
    return text;
}

std::string stationRequest(const std::string& appId, const std::string& huellaWSQ,
                           const std::string& modo) {
    registerQuorvantisService();
    TSoapCallConverter converter;
    converter.Options.insert(TSoapConvertOption::soDocument);
    const auto& intf = QuorvantisServiceSoap::interfaceInfo();
    const std::vector<std::string> values{appId, huellaWSQ, modo};
    return converter.BuildRequest(intf, intf.operation("Fichar"), values);
}

std::string stationSoapAction() {
    return "\"" + std::string(kQuorvantisServiceNamespace) + "Fichar\"";
}

HttpReply post(const ServiceProcess& service, const std::string& body,
               const std::string& soapAction, const std::string& path) {
    httplib::Client client(service.host(), service.port());
    client.set_read_timeout(30, 0);
    httplib::Headers headers;
    if (!soapAction.empty()) {
        headers.emplace("SOAPAction", soapAction);
    }
    const auto result = client.Post(path.c_str(), headers, body, "text/xml; charset=utf-8");
    return result ? HttpReply{result->status, result->body} : HttpReply{};
}

HttpReply get(const ServiceProcess& service, const std::string& target, const std::string& host) {
    httplib::Client client(service.host(), service.port());
    httplib::Headers headers;
    if (!host.empty()) {
        headers.emplace("Host", host);
    }
    const auto result = client.Get(target.c_str(), headers);
    return result ? HttpReply{result->status, result->body} : HttpReply{};
}

std::string faultAsStationReadsIt(const std::string& reply) {
    registerQuorvantisService();
    TSoapCallConverter converter;
    converter.Options.insert(TSoapConvertOption::soDocument);
    try {
        converter.ReadResponse(MemoryStream(std::vector<std::uint8_t>(reply.begin(), reply.end())),
                               QuorvantisServiceSoap::interfaceInfo());
    } catch (const ERemoteFault& fault) {
        return fault.what();
    }
    return "";
}

HttpReply madePicture(const ServiceProcess& service, const std::string& target) {
    HttpReply reply;
    eventually([&] {
        reply = get(service, target);
        return reply.status != 503;
    });
    return reply;
}

std::string requestHead(const std::string& method, const std::string& path,
                        const std::string& headers) {
    return method + " " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n" + headers +
           "\r\n";
}

long memoryKiB(pid_t pid, const std::string& field) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.starts_with(field)) {
            return std::stol(line.substr(field.size()));
        }
    }
    return -1;
}

} // namespace qv::test
