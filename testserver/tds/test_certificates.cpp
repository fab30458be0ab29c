#include "test_certificates.h"

#include <arpa/inet.h>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <gnutls/gnutls.h>
#include <gnutls/x509.h>
#include <stdexcept>

namespace testserver {

namespace {

void check(int rc, const char* what) {
    if (rc < 0)
        throw std::runtime_error(std::string(what) + ": " + gnutls_strerror(rc));
}

struct Key {
    gnutls_x509_privkey_t key = nullptr;
    Key() {
        check(gnutls_x509_privkey_init(&key), "key");
        check(gnutls_x509_privkey_generate(key, GNUTLS_PK_ECDSA,
                                           GNUTLS_CURVE_TO_BITS(GNUTLS_ECC_CURVE_SECP256R1), 0),
              "key generation");
    }
    ~Key() { gnutls_x509_privkey_deinit(key); }
    Key(const Key&) = delete;
    Key& operator=(const Key&) = delete;
};

struct Certificate {
    gnutls_x509_crt_t crt = nullptr;
    Certificate() { check(gnutls_x509_crt_init(&crt), "certificate"); }
    ~Certificate() { gnutls_x509_crt_deinit(crt); }
    Certificate(const Certificate&) = delete;
    Certificate& operator=(const Certificate&) = delete;
};

void writeFile(const std::string& path, const gnutls_datum_t& data) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data.data), static_cast<std::streamsize>(data.size));
    if (!out)
        throw std::runtime_error("cannot write " + path);
}

void writePem(const std::string& path, gnutls_x509_crt_t crt) {
    gnutls_datum_t data{};
    check(gnutls_x509_crt_export2(crt, GNUTLS_X509_FMT_PEM, &data), "certificate export");
    writeFile(path, data);
    gnutls_free(data.data);
}

void writePem(const std::string& path, gnutls_x509_privkey_t key) {
    gnutls_datum_t data{};
    check(gnutls_x509_privkey_export2(key, GNUTLS_X509_FMT_PEM, &data), "key export");
    writeFile(path, data);
    gnutls_free(data.data);
}

void describe(Certificate& c, const Key& key, const std::string& dn, int serial, std::time_t from,
              std::time_t to) {
    const char* error = nullptr;
    check(gnutls_x509_crt_set_version(c.crt, 3), "version");
    const unsigned char serialBytes[] = {static_cast<unsigned char>(serial)};
    check(gnutls_x509_crt_set_serial(c.crt, serialBytes, sizeof serialBytes), "serial");
    check(gnutls_x509_crt_set_dn(c.crt, dn.c_str(), &error), "subject");
    check(gnutls_x509_crt_set_activation_time(c.crt, from), "activation time");
    check(gnutls_x509_crt_set_expiration_time(c.crt, to), "expiration time");
    check(gnutls_x509_crt_set_key(c.crt, key.key), "public key");
}

// A self-signed authority.
void makeAuthority(Certificate& ca, const Key& key, const std::string& name, int serial) {
    const std::time_t now = std::time(nullptr);
    describe(ca, key, "CN=" + name + ",O=Dervel tests", serial, now - 3600, now + 30 * 86400);
    check(gnutls_x509_crt_set_basic_constraints(ca.crt, 1, -1), "constraints");
    check(gnutls_x509_crt_set_key_usage(ca.crt, GNUTLS_KEY_KEY_CERT_SIGN | GNUTLS_KEY_CRL_SIGN),
          "key usage");
    check(gnutls_x509_crt_sign2(ca.crt, ca.crt, key.key, GNUTLS_DIG_SHA256, 0), "signature");
}

// A server certificate for the names, signed by the authority, and its key.
void makeServer(const std::string& folder, const std::string& name, const Certificate& ca,
                const Key& caKey, bool forLoopback, std::time_t from, std::time_t to, int serial) {
    Key key;
    Certificate c;
    describe(c, key, forLoopback ? "CN=localhost" : "CN=wrong.invalid", serial, from, to);
    check(gnutls_x509_crt_set_basic_constraints(c.crt, 0, -1), "constraints");
    check(gnutls_x509_crt_set_key_usage(c.crt, GNUTLS_KEY_DIGITAL_SIGNATURE), "key usage");
    check(gnutls_x509_crt_set_key_purpose_oid(c.crt, GNUTLS_KP_TLS_WWW_SERVER, 0), "purpose");
    if (forLoopback) {
        const std::string dns = "localhost";
        check(gnutls_x509_crt_set_subject_alt_name(c.crt, GNUTLS_SAN_DNSNAME, dns.data(),
                                                   static_cast<unsigned>(dns.size()),
                                                   GNUTLS_FSAN_APPEND),
              "DNS name");
        in_addr loopback{};
        ::inet_pton(AF_INET, "127.0.0.1", &loopback);
        check(gnutls_x509_crt_set_subject_alt_name(c.crt, GNUTLS_SAN_IPADDRESS, &loopback,
                                                   sizeof loopback, GNUTLS_FSAN_APPEND),
              "IP address");
    } else {
        const std::string dns = "wrong.invalid";
        check(gnutls_x509_crt_set_subject_alt_name(c.crt, GNUTLS_SAN_DNSNAME, dns.data(),
                                                   static_cast<unsigned>(dns.size()),
                                                   GNUTLS_FSAN_APPEND),
              "DNS name");
    }
    check(gnutls_x509_crt_sign2(c.crt, ca.crt, caKey.key, GNUTLS_DIG_SHA256, 0), "signature");
    writePem(folder + "/" + name + ".pem", c.crt);
    writePem(folder + "/" + name + "-key.pem", key.key);
}

} // namespace

void writeTestCertificates(const std::string& folder) {
    // "--make-certs /tmp/certs" on a fresh machine: the folder is made as it is named.
    std::error_code made;
    std::filesystem::create_directories(folder, made);
    if (made)
        throw std::runtime_error(folder + ": " + made.message());
    check(gnutls_global_init(), "GnuTLS");
    const std::time_t now = std::time(nullptr);
    Key caKey;
    Certificate ca;
    makeAuthority(ca, caKey, "Dervel test authority", 1);
    writePem(folder + "/ca.pem", ca.crt);
    makeServer(folder, "server", ca, caKey, true, now - 3600, now + 30 * 86400, 2);
    makeServer(folder, "expired", ca, caKey, true, now - 60 * 86400, now - 30 * 86400, 3);
    makeServer(folder, "wrongname", ca, caKey, false, now - 3600, now + 30 * 86400, 4);
    Key strangerKey;
    Certificate stranger;
    makeAuthority(stranger, strangerKey, "Unknown authority", 5);
    makeServer(folder, "untrusted", stranger, strangerKey, true, now - 3600, now + 30 * 86400, 6);
    gnutls_global_deinit();
}

} // namespace testserver
