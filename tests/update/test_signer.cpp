#include "update/test_signer.h"

#include <openssl/evp.h>
#include <openssl/pem.h>

#include <stdexcept>

namespace quorvane::testing {

struct TestSigner::Key {
    EVP_PKEY* pkey = nullptr;
    ~Key() { EVP_PKEY_free(pkey); }
};

TestSigner::TestSigner() : key_(std::make_unique<Key>()) {
    key_->pkey = EVP_PKEY_Q_keygen(nullptr, nullptr, "ED25519");
    if (key_->pkey == nullptr) throw std::runtime_error("no Ed25519 key could be made");
}

TestSigner::~TestSigner() = default;

std::string TestSigner::PublicKeyHex() const {
    unsigned char raw[32];
    std::size_t length = sizeof raw;
    EVP_PKEY_get_raw_public_key(key_->pkey, raw, &length);
    static constexpr char hex[] = "0123456789abcdef";
    std::string text;
    for (std::size_t i = 0; i < length; ++i) {
        text += hex[raw[i] >> 4];
        text += hex[raw[i] & 15];
    }
    return text;
}

std::string TestSigner::Sign(const std::string& text) const {
    EVP_MD_CTX* ctx = EVP_MD_CTX_new();
    std::string signature(64, '\0');
    std::size_t length = signature.size();
    const bool ok = EVP_DigestSignInit(ctx, nullptr, nullptr, nullptr, key_->pkey) == 1 &&
                    EVP_DigestSign(ctx, reinterpret_cast<unsigned char*>(signature.data()), &length,
                                   reinterpret_cast<const unsigned char*>(text.data()), text.size()) == 1;
    EVP_MD_CTX_free(ctx);
    if (!ok) throw std::runtime_error("signing failed");
    return signature;
}

std::string TestSigner::PrivateKeyPem() const {
    BIO* bio = BIO_new(BIO_s_mem());
    PEM_write_bio_PrivateKey(bio, key_->pkey, nullptr, nullptr, 0, nullptr, nullptr);
    char* data = nullptr;
    const long length = BIO_get_mem_data(bio, &data);
    std::string pem(data, static_cast<std::size_t>(length));
    BIO_free(bio);
    return pem;
}

std::string Sha256Hex(const std::string& text) {
    unsigned char digest[32];
    unsigned int length = 0;
    EVP_Digest(text.data(), text.size(), digest, &length, EVP_sha256(), nullptr);
    static constexpr char hex[] = "0123456789abcdef";
    std::string out;
    for (unsigned int i = 0; i < length; ++i) {
        out += hex[digest[i] >> 4];
        out += hex[digest[i] & 15];
    }
    return out;
}

}  // namespace quorvane::testing
