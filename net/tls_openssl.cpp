// https through OpenSSL, libcurl's TLS library on Linux: the system's
// authorities (libcurl's default bundle), and those of a PEM file besides.
#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>

#include <memory>

#include "net/easy_curl.h"

namespace talvo::utility {

void easy_curl::use_system_trust() {}

void easy_curl::add_ca_file(const std::string& path) {
    ca_file_ = path;
    curl_easy_setopt(handle_, CURLOPT_SSL_CTX_FUNCTION, &easy_curl::ssl_context_callback);
    curl_easy_setopt(handle_, CURLOPT_SSL_CTX_DATA, this);
}

// libcurl has loaded the system's authorities into the new connection's
// store by now; this adds the file's.
CURLcode easy_curl::ssl_context_callback(CURL*, void* context, void* self) {
    const std::string& path = static_cast<easy_curl*>(self)->ca_file_;
    const std::unique_ptr<BIO, decltype(&BIO_free)> file(BIO_new_file(path.c_str(), "r"), BIO_free);
    X509_STORE* store = SSL_CTX_get_cert_store(static_cast<SSL_CTX*>(context));
    int read = 0;
    while (file) {
        X509* certificate = PEM_read_bio_X509(file.get(), nullptr, nullptr, nullptr);
        if (certificate == nullptr) break;
        ++read;
        X509_STORE_add_cert(store, certificate);  // fails only for one there already
        X509_free(certificate);
    }
    ERR_clear_error();  // the end of the file reads as an error
    return read > 0 ? CURLE_OK : CURLE_SSL_CACERT_BADFILE;
}

}  // namespace talvo::utility
