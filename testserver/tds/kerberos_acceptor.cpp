#include "kerberos_acceptor.h"

#include <gssapi/gssapi.h>
#include <gssapi/gssapi_ext.h>
#include <gssapi/gssapi_krb5.h>
#include <mutex>
#include <stdexcept>

namespace testserver {

namespace {

// GSSAPI's texts for a major and minor status, as its own tools print them.
std::string statusText(OM_uint32 major, OM_uint32 minor) {
    std::string text;
    const auto collect = [&text](OM_uint32 code, int type) {
        OM_uint32 context = 0;
        do {
            OM_uint32 ignored = 0;
            gss_buffer_desc buffer{};
            gss_display_status(&ignored, code, type, GSS_C_NO_OID, &context, &buffer);
            if (!text.empty())
                text += ": ";
            text.append(static_cast<const char*>(buffer.value), buffer.length);
            gss_release_buffer(&ignored, &buffer);
        } while (context != 0);
    };
    collect(major, GSS_C_GSS_CODE);
    if (minor != 0)
        collect(minor, GSS_C_MECH_CODE);
    return text;
}

} // namespace

struct KerberosAcceptor::Impl {
    std::string keytab;
    std::mutex mutex; // guards credentials
    gss_cred_id_t credentials = GSS_C_NO_CREDENTIAL;

    // The credentials of the keytab, acquired once.
    gss_cred_id_t acquire() {
        std::lock_guard<std::mutex> lock(mutex);
        if (credentials != GSS_C_NO_CREDENTIAL)
            return credentials;
        // The keytab goes with these credentials only (no process-wide KRB5_KTNAME), so a
        // test can run servers with different keytabs side by side.
        gss_key_value_element_desc element{"keytab", keytab.c_str()};
        gss_key_value_set_desc store{1, &element};
        OM_uint32 minor = 0;
        const OM_uint32 major =
            gss_acquire_cred_from(&minor, GSS_C_NO_NAME, GSS_C_INDEFINITE, GSS_C_NO_OID_SET,
                                  GSS_C_ACCEPT, &store, &credentials, nullptr, nullptr);
        if (GSS_ERROR(major)) {
            credentials = GSS_C_NO_CREDENTIAL;
            throw std::runtime_error("keytab " + keytab + ": " + statusText(major, minor));
        }
        return credentials;
    }
};

KerberosAcceptor::KerberosAcceptor(std::string keytab) : d(std::make_unique<Impl>()) {
    d->keytab = std::move(keytab);
}

KerberosAcceptor::~KerberosAcceptor() {
    OM_uint32 minor = 0;
    if (d->credentials != GSS_C_NO_CREDENTIAL)
        gss_release_cred(&minor, &d->credentials);
}

void KerberosAcceptor::check() const {
    d->acquire();
}

KerberosAcceptor::Outcome KerberosAcceptor::accept(const std::string& token) const {
    Outcome out;
    gss_cred_id_t credentials = GSS_C_NO_CREDENTIAL;
    try {
        credentials = d->acquire();
    } catch (const std::exception& e) {
        out.error = e.what();
        return out;
    }
    gss_ctx_id_t context = GSS_C_NO_CONTEXT;
    gss_buffer_desc input{token.size(), const_cast<char*>(token.data())};
    gss_buffer_desc output{};
    gss_name_t client = GSS_C_NO_NAME;
    OM_uint32 minor = 0;
    const OM_uint32 major =
        gss_accept_sec_context(&minor, &context, credentials, &input, GSS_C_NO_CHANNEL_BINDINGS,
                               &client, nullptr, &output, nullptr, nullptr, nullptr);
    OM_uint32 ignored = 0;
    if (major == GSS_S_COMPLETE) {
        gss_buffer_desc name{};
        gss_display_name(&ignored, client, &name, nullptr);
        out.principal.assign(static_cast<const char*>(name.value), name.length);
        gss_release_buffer(&ignored, &name);
        out.replyToken.assign(static_cast<const char*>(output.value), output.length);
        out.ok = true;
    } else {
        out.error = statusText(major, minor);
    }
    gss_release_buffer(&ignored, &output);
    gss_release_name(&ignored, &client);
    gss_delete_sec_context(&ignored, &context, GSS_C_NO_BUFFER);
    return out;
}

} // namespace testserver
