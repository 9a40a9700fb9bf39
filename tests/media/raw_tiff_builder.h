#pragma once
// Builds the first bytes of TIFF-based raw files: a header in either byte order with any magic
// (42 for TIFF, "RO" for Olympus, 0x55 for Panasonic), bytes of the maker's own at fixed places
// (Canon's "CR" at 8), and IFD0 with the entries a test gives, values longer than four bytes
// written after it or at a place of the test's choosing.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace quorvane::testing {

class RawTiffBuilder {
public:
    static constexpr std::uint16_t Byte = 1, Ascii = 2, Short = 3, Long = 4;

    RawTiffBuilder(bool bigEndian, std::uint16_t magic = 42, std::uint32_t ifdOffset = 8)
        : big_(bigEndian), magic_(magic), ifdOffset_(ifdOffset) {}

    RawTiffBuilder& Number(std::uint16_t tag, std::uint16_t type, std::uint32_t value) {
        Entry e{tag, type, 1, {}};
        if (type == Short) Put16(e.value, static_cast<std::uint16_t>(value));
        else Put32(e.value, value);
        entries_.push_back(e);
        return *this;
    }
    // An ASCII value, with its terminating zero unless told otherwise (writers do leave it out).
    RawTiffBuilder& Text(std::uint16_t tag, const std::string& text, bool terminated = true) {
        Entry e{tag, Ascii, 0, {text.begin(), text.end()}};
        if (terminated) e.value.push_back(0);
        e.count = static_cast<std::uint32_t>(e.value.size());
        entries_.push_back(e);
        return *this;
    }
    RawTiffBuilder& Bytes(std::uint16_t tag, std::vector<std::uint8_t> bytes) {
        entries_.push_back({tag, Byte, static_cast<std::uint32_t>(bytes.size()), std::move(bytes)});
        return *this;
    }
    // Bytes written over the built file at offset, such as Canon's "CR\x02\0" at 8.
    RawTiffBuilder& Put(std::size_t offset, const std::string& bytes) {
        patches_.push_back({offset, bytes});
        return *this;
    }
    // Where the first value longer than four bytes goes (0: right after IFD0).
    RawTiffBuilder& ValuesAt(std::uint32_t offset) {
        valuesAt_ = offset;
        return *this;
    }

    // The file, padded to size bytes.
    std::vector<std::uint8_t> Build(std::size_t size = 2048) const {
        std::vector<std::uint8_t> out;
        out.push_back(big_ ? 'M' : 'I');
        out.push_back(big_ ? 'M' : 'I');
        Put16(out, magic_);
        Put32(out, ifdOffset_);
        out.resize(ifdOffset_, 0);

        std::vector<Entry> sorted = entries_;
        std::stable_sort(sorted.begin(), sorted.end(), [](const Entry& a, const Entry& b) { return a.tag < b.tag; });
        const std::uint32_t ifdEnd = ifdOffset_ + 2 + 12 * static_cast<std::uint32_t>(sorted.size()) + 4;
        std::uint32_t valueAt = valuesAt_ != 0 ? valuesAt_ : ifdEnd;
        std::vector<std::pair<std::uint32_t, std::vector<std::uint8_t>>> values;

        Put16(out, static_cast<std::uint16_t>(sorted.size()));
        for (const Entry& e : sorted) {
            Put16(out, e.tag);
            Put16(out, e.type);
            Put32(out, e.count);
            if (e.value.size() <= 4) {
                std::vector<std::uint8_t> inline4 = e.value;
                inline4.resize(4, 0);
                out.insert(out.end(), inline4.begin(), inline4.end());
            } else {
                Put32(out, valueAt);
                values.emplace_back(valueAt, e.value);
                valueAt += static_cast<std::uint32_t>(e.value.size() + (e.value.size() & 1));
            }
        }
        Put32(out, 0);  // no next IFD
        out.resize(std::max<std::size_t>(size, valueAt), 0);
        for (const auto& [at, bytes] : values) std::copy(bytes.begin(), bytes.end(), out.begin() + at);
        for (const auto& [at, bytes] : patches_) {
            std::copy(bytes.begin(), bytes.end(), out.begin() + static_cast<std::ptrdiff_t>(at));
        }
        return out;
    }

private:
    struct Entry {
        std::uint16_t tag;
        std::uint16_t type;
        std::uint32_t count;
        std::vector<std::uint8_t> value;  // in the file's byte order
    };
    struct Patch {
        std::size_t offset;
        std::string bytes;
    };

    void Put16(std::vector<std::uint8_t>& out, std::uint16_t v) const {
        const std::uint8_t hi = static_cast<std::uint8_t>(v >> 8), lo = static_cast<std::uint8_t>(v);
        if (big_) out.insert(out.end(), {hi, lo});
        else out.insert(out.end(), {lo, hi});
    }
    void Put32(std::vector<std::uint8_t>& out, std::uint32_t v) const {
        if (big_) {
            Put16(out, static_cast<std::uint16_t>(v >> 16));
            Put16(out, static_cast<std::uint16_t>(v));
        } else {
            Put16(out, static_cast<std::uint16_t>(v));
            Put16(out, static_cast<std::uint16_t>(v >> 16));
        }
    }

    bool big_;
    std::uint16_t magic_;
    std::uint32_t ifdOffset_;
    std::uint32_t valuesAt_ = 0;
    std::vector<Entry> entries_;
    std::vector<Patch> patches_;
};

}  // namespace quorvane::testing
