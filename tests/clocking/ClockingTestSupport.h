// What the development service's tests share: a test print, the station's request, calls over HTTP.

#pragma once

#include "tests/clocking/ServiceProcess.h"

#include <cstdint>
#include <string>
#include <vector>

namespace qv::test {

std::vector<std::uint8_t> testPrint(const std::string& name = "fp11_scanner_256x360.nbis.wsq");
std::string base64Text(const std::vector<std::uint8_t>& bytes);

// The request text the station builds for Fichar.
std::string stationRequest(const std::string& appId, const std::string& huellaWSQ,
                           const std::string& modo);
// The SOAPAction header value the station sends, quotes included.
std::string stationSoapAction();

struct HttpReply {
    int status = 0;
    std::string body;
};
HttpReply post(const ServiceProcess& service, const std::string& body,
               const std::string& soapAction, const std::string& path = "/QuorvantisService.asmx");
HttpReply get(const ServiceProcess& service, const std::string& target,
              const std::string& host = "");

// GET of a picture, asked again while the service answers that it is still being made.
HttpReply madePicture(const ServiceProcess& service, const std::string& target);

// A request's head for 127.0.0.1, closing the connection after the answer; `headers` are
// whole lines.
std::string requestHead(const std::string& method, const std::string& path,
                        const std::string& headers);

// A figure of /proc/PID/status in KiB ("VmHWM:" the peak resident memory, "VmRSS:" the
// present), or -1.
long memoryKiB(pid_t pid, const std::string& field);

// The fault message the station's reader raises for this reply, or "" when it reads a result.
std::string faultAsStationReadsIt(const std::string& reply);

} // namespace qv::test
