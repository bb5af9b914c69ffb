// https through Schannel, libcurl's TLS on Windows: the system's store of
// authorities, with revocation checked where the answer can be had; a PEM
// file takes the store's place.
#include "net/easy_curl.h"

namespace talvo::utility {

void easy_curl::use_system_trust() {
    // A hard revocation check fails behind the many networks that block the
    // lists' servers; a revoked certificate is still refused when it can be
    // told.
    curl_easy_setopt(handle_, CURLOPT_SSL_OPTIONS, long{CURLSSLOPT_REVOKE_BEST_EFFORT});
}

void easy_curl::add_ca_file(const std::string& path) {
    ca_file_ = path;
    curl_easy_setopt(handle_, CURLOPT_CAINFO, ca_file_.c_str());
}

}  // namespace talvo::utility
