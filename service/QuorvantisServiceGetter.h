// Makes the clocking service proxy for an address (GetQuorvantisServiceSoap).

#pragma once

#include "service/QuorvantisService.h"

#include <memory>
#include <string>

namespace qv {

// Where a developer's own copy of the clocking service listens.
inline constexpr char QuorvantisDevelopmentAddress[] =
    "http://localhost:21796/QuorvantisService.asmx";

// A ready proxy for the clocking service at Addr, or at the development address when Addr is
// empty. Each call makes a new proxy with its own connection; the caller owns it. Only the
// direct URL road exists: UseWSDL true is refused, as is an address that is not http or https.
std::unique_ptr<QuorvantisServiceSoap> GetQuorvantisServiceSoap(bool UseWSDL,
                                                                const std::string& Addr);

} // namespace qv
