#include "update/update_signature.h"

#include "quorvane_build_info.h"

#include <openssl/evp.h>

#include <cctype>
#include <memory>

namespace quorvane {
namespace {

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool allHex(std::string_view text) {
    for (char c : text)
        if (hexValue(c) < 0) return false;
    return true;
}

struct PkeyFree {
    void operator()(EVP_PKEY* k) const { EVP_PKEY_free(k); }
};
struct MdCtxFree {
    void operator()(EVP_MD_CTX* c) const { EVP_MD_CTX_free(c); }
};

}  // namespace

const std::string& BuiltInUpdateKey() {
    static const std::string key = QUORVANE_UPDATE_PUBLIC_KEY;
    return key;
}

std::optional<TUpdatePublicKey> ParseUpdateKey(std::string_view hex) {
    TUpdatePublicKey key{};
    if (hex.size() != key.size() * 2 || !allHex(hex)) return std::nullopt;
    for (std::size_t i = 0; i < key.size(); ++i)
        key[i] = static_cast<std::uint8_t>(hexValue(hex[2 * i]) * 16 + hexValue(hex[2 * i + 1]));
    return key;
}

bool VerifyEd25519(const TUpdatePublicKey& key, std::span<const std::uint8_t> message,
                   std::span<const std::uint8_t> signature) {
    if (signature.size() != Ed25519SignatureSize) return false;
    const std::unique_ptr<EVP_PKEY, PkeyFree> pkey(
        EVP_PKEY_new_raw_public_key(EVP_PKEY_ED25519, nullptr, key.data(), key.size()));
    const std::unique_ptr<EVP_MD_CTX, MdCtxFree> ctx(EVP_MD_CTX_new());
    if (!pkey || !ctx) return false;
    // Ed25519 signs the message itself, in one pass: no digest is named.
    if (EVP_DigestVerifyInit(ctx.get(), nullptr, nullptr, nullptr, pkey.get()) != 1) return false;
    return EVP_DigestVerify(ctx.get(), signature.data(), signature.size(), message.data(), message.size()) == 1;
}

bool IsSha256Text(std::string_view text) { return text.size() == 64 && allHex(text); }

bool SameDigest(std::string_view a, std::string_view b) {
    if (a.size() != b.size() || a.empty()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) return false;
    return true;
}

struct TSha256::State {
    std::unique_ptr<EVP_MD_CTX, MdCtxFree> ctx{EVP_MD_CTX_new()};
    bool ok = false;
};

TSha256::TSha256() : state_(std::make_unique<State>()) {
    state_->ok = state_->ctx && EVP_DigestInit_ex(state_->ctx.get(), EVP_sha256(), nullptr) == 1;
}

TSha256::~TSha256() = default;

void TSha256::Add(const void* data, std::size_t size) {
    if (state_->ok && size > 0) state_->ok = EVP_DigestUpdate(state_->ctx.get(), data, size) == 1;
}

std::string TSha256::HexDigest() {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (!state_->ok || EVP_DigestFinal_ex(state_->ctx.get(), digest, &length) != 1) return {};
    state_->ok = false;
    static constexpr char hex[] = "0123456789abcdef";
    std::string text;
    for (unsigned int i = 0; i < length; ++i) {
        text += hex[digest[i] >> 4];
        text += hex[digest[i] & 15];
    }
    return text;
}

}  // namespace quorvane
