// TLS verification that accepts certificates outside their dates, nothing else.

#pragma once

#include <curl/curl.h>

namespace qv {

// CURLOPT_SSL_CTX_FUNCTION that lets certificates outside their validity dates through while
// every other verification failure, an untrusted issuer above all, still refuses the
// connection. Host-name checking is switched off separately (CURLOPT_SSL_VERIFYHOST).
CURLcode AcceptCertificatesOutsideTheirDates(CURL* handle, void* sslContext, void* userData);

} // namespace qv
