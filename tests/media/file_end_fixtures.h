#pragma once
// Helpers for the end finder tests: real files made by the tools in a private temporary folder,
// and feeding a finder in pieces of several sizes, which must all give the same answer.
#include "media/file_end.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <string_view>
#include <vector>

namespace quorvane::testing {

using Bytes = std::vector<std::uint8_t>;

class ToolDir {
public:
    ToolDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "quorvane-ends-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
        path_ = pattern;
    }
    ~ToolDir() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    ToolDir(const ToolDir&) = delete;
    ToolDir& operator=(const ToolDir&) = delete;

    // Runs command inside the folder, with a fixed clock so that the tools write the same bytes.
    bool Run(const std::string& command) const {
        const std::string full =
            "cd '" + path_.string() + "' && SOURCE_DATE_EPOCH=1700000000 " + command + " >/dev/null 2>&1";
        return std::system(full.c_str()) == 0;
    }

    Bytes Read(const std::string& name) const {
        std::ifstream in(path_ / name, std::ios::binary);
        return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

    void Write(const std::string& name, const Bytes& bytes) const {
        std::ofstream out(path_ / name, std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    }

private:
    std::filesystem::path path_;
};

inline Bytes Concat(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

inline Bytes RandomBytes(std::size_t size, unsigned seed) {
    std::mt19937 random(seed);
    Bytes bytes(size);
    for (auto& b : bytes) b = static_cast<std::uint8_t>(random());
    return bytes;
}

// The first bytes of a JFIF picture, as a carved file that follows another would start.
inline Bytes JpegStart() {
    Bytes b = {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10, 'J', 'F', 'I', 'F', 0, 1, 1, 0, 0, 1, 0, 1, 0, 0,
               0xFF, 0xDB, 0x00, 0x43, 0x00};
    b.resize(b.size() + 64, 0x10);  // the quantisation table
    return b;
}

// Writes test files byte by byte, in either byte order.
class Writer {
public:
    explicit Writer(bool little = false) : little_(little) {}

    Writer& U8(std::uint32_t v) {
        bytes_.push_back(static_cast<std::uint8_t>(v));
        return *this;
    }
    Writer& U16(std::uint32_t v) {
        PutAt(bytes_.size(), v, 2);
        return *this;
    }
    Writer& U32(std::uint64_t v) {
        PutAt(bytes_.size(), v, 4);
        return *this;
    }
    Writer& U64(std::uint64_t v) {
        if (little_) return U32(v & 0xFFFFFFFF).U32(v >> 32);
        return U32(v >> 32).U32(v & 0xFFFFFFFF);
    }
    Writer& Text(std::string_view text) {
        bytes_.insert(bytes_.end(), text.begin(), text.end());
        return *this;
    }
    Writer& Raw(const Bytes& raw) {
        bytes_.insert(bytes_.end(), raw.begin(), raw.end());
        return *this;
    }
    Writer& Fill(std::size_t count, std::uint8_t value = 0) {
        bytes_.insert(bytes_.end(), count, value);
        return *this;
    }
    // Overwrites (or writes past the end, growing the bytes) at a fixed offset.
    Writer& U16At(std::size_t at, std::uint32_t v) {
        PutAt(at, v, 2);
        return *this;
    }
    Writer& U32At(std::size_t at, std::uint64_t v) {
        PutAt(at, v, 4);
        return *this;
    }
    Writer& PadTo(std::size_t size) {
        if (bytes_.size() < size) bytes_.resize(size);
        return *this;
    }

    std::size_t Size() const { return bytes_.size(); }
    const Bytes& Done() const { return bytes_; }

private:
    void PutAt(std::size_t at, std::uint64_t v, int width) {
        if (bytes_.size() < at + static_cast<std::size_t>(width)) bytes_.resize(at + static_cast<std::size_t>(width));
        for (int i = 0; i < width; ++i) {
            const int shift = little_ ? 8 * i : 8 * (width - 1 - i);
            bytes_[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(v >> shift);
        }
    }

    bool little_;
    Bytes bytes_;
};

struct Fed {
    EndState state = EndState::Open;
    std::uint64_t end = 0;
    bool operator==(const Fed&) const = default;
};

inline const char* StateName(EndState s) {
    switch (s) {
        case EndState::Open: return "Open";
        case EndState::Ended: return "Ended";
        case EndState::Unknown: return "Unknown";
    }
    return "?";
}

inline std::ostream& operator<<(std::ostream& out, const Fed& f) {
    out << StateName(f.state);
    if (f.state == EndState::Ended) out << " at " << f.end;
    return out;
}

// Feeds bytes in pieces of piece bytes (0: all at once) to finder.
inline Fed FeedInPieces(FileEndFinder& finder, const Bytes& bytes, std::size_t piece) {
    const std::span<const std::uint8_t> all(bytes);
    if (piece == 0) piece = all.size() > 0 ? all.size() : 1;
    for (std::size_t at = 0; at < all.size(); at += piece) {
        finder.Feed(all.subspan(at, std::min(piece, all.size() - at)));
    }
    return {finder.State(), finder.State() == EndState::Ended ? finder.End() : 0};
}

inline constexpr std::size_t PieceSizes[] = {1, 7, 512, 0};

// Feeds bytes to a new finder in every piece size: the answer, which must not depend on them.
inline Fed FeedEveryWay(EndRule rule, const Bytes& bytes) {
    Fed first;
    for (std::size_t piece : PieceSizes) {
        auto finder = MakeFileEndFinder(rule);
        if (!finder) {
            ADD_FAILURE() << "no finder";
            return {};
        }
        const Fed fed = FeedInPieces(*finder, bytes, piece);
        if (piece == PieceSizes[0]) {
            first = fed;
        } else {
            EXPECT_EQ(fed, first) << "pieces of " << piece << " bytes differ from pieces of 1 byte";
        }
    }
    return first;
}

inline Fed EndedAt(std::uint64_t end) { return {EndState::Ended, end}; }
inline constexpr Fed NotFound{EndState::Unknown, 0};
inline constexpr Fed StillOpen{EndState::Open, 0};

}  // namespace quorvane::testing
