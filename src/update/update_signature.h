#pragma once
// What makes an update authentic: the control file carries a detached Ed25519 signature made with
// the maker's private key, checked against the public key built into the program, and lists the
// SHA-256 of every file it names, checked against each download.
#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace quorvane {

using TUpdatePublicKey = std::array<std::uint8_t, 32>;
inline constexpr std::size_t Ed25519SignatureSize = 64;

// The key the build was given (QUORVANE_UPDATE_PUBLIC_KEY), as 64 hex digits; "" when none.
const std::string& BuiltInUpdateKey();

// 64 hex digits (either case) as the 32 key bytes; nullopt for anything else.
std::optional<TUpdatePublicKey> ParseUpdateKey(std::string_view hex);

// True when signature is a valid Ed25519 signature of message under key.
bool VerifyEd25519(const TUpdatePublicKey& key, std::span<const std::uint8_t> message,
                   std::span<const std::uint8_t> signature);

// True for 64 hex digits, the form a SHA-256 takes in the control file.
bool IsSha256Text(std::string_view text);

// A SHA-256 computed piece by piece, for a download as its blocks arrive.
class TSha256 {
public:
    TSha256();
    ~TSha256();
    TSha256(const TSha256&) = delete;
    TSha256& operator=(const TSha256&) = delete;
    void Add(const void* data, std::size_t size);
    // The digest as 64 lower-case hex digits; "" when the hash could not be computed.
    std::string HexDigest();

private:
    struct State;
    std::unique_ptr<State> state_;
};

// Compares two hex digests, ignoring case.
bool SameDigest(std::string_view a, std::string_view b);

}  // namespace quorvane
