#pragma once
// A throw-away Ed25519 key pair for the update tests, made afresh for each signer: it signs
// control files the way the maker's key does, and its public half stands in for the built-in key.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace quorvane::testing {

class TestSigner {
public:
    TestSigner();
    ~TestSigner();
    TestSigner(const TestSigner&) = delete;
    TestSigner& operator=(const TestSigner&) = delete;

    // The public key as TWebUpdate::PublicKey takes it (64 hex digits).
    std::string PublicKeyHex() const;
    // The 64-byte detached signature of text.
    std::string Sign(const std::string& text) const;
    // The private key as PEM, for the openssl command line.
    std::string PrivateKeyPem() const;

private:
    struct Key;
    std::unique_ptr<Key> key_;
};

// The SHA-256 of text as 64 lower-case hex digits, by openssl's one-shot digest.
std::string Sha256Hex(const std::string& text);

}  // namespace quorvane::testing
