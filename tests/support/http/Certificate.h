// The TLS listener's certificate, made at test time.
#pragma once

#include <string>

#include "support/http/TestServer.h"

namespace testhttp {

struct GeneratedCertificate {
    std::string certificatePem;
    std::string privateKeyPem;
};

GeneratedCertificate generateCertificate(const TlsOptions& options);

}  // namespace testhttp
