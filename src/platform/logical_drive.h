#pragma once
// A drive number as the drive table hands it out: 1-based, A: = 1, C: = 3. A drive's letter is
// the character '@' + number, so numbers past 26 take the characters after 'Z' ('[' is 27, 'a'
// is 33: letters are never case-folded, or drive 33 would open A:). 191 ('\xFF') is the last
// number with a character of its own; above it names, roots and device names would wrap and
// name another drive.
#include <cstdint>
#include <string>

namespace quorvane {

class LogicalDrive {
public:
    static constexpr std::uint8_t First = 1;
    static constexpr std::uint8_t Last = 191;

    constexpr LogicalDrive() = default;  // 0: no drive
    constexpr explicit LogicalDrive(std::uint8_t number) : number_(number) {}

    // The drive whose letter is the character c, exactly as it stands; no drive when none is.
    static constexpr LogicalDrive fromLetter(char c) {
        return checked(static_cast<unsigned char>(c) - LetterBase);
    }
    // The drive of a 0-based index (A: = 0) as DOS's disk calls and the shell's format call
    // count drives.
    static constexpr LogicalDrive fromZeroBasedIndex(std::uint8_t index) { return checked(index + 1); }
    // The drive of a root path "E:\" (only its first character counts, as a root is made).
    static LogicalDrive fromRoot(const std::string& root) {
        return root.empty() ? LogicalDrive() : fromLetter(root[0]);
    }
    // The drive of an NT device name "\\.\E:"; no drive for anything else.
    static LogicalDrive fromDeviceName(const std::string& name) {
        if (name.size() != 6 || name.compare(0, 4, "\\\\.\\") != 0 || name[5] != ':') return {};
        return fromLetter(name[4]);
    }

    constexpr bool isValid() const { return number_ >= First && number_ <= Last; }
    constexpr std::uint8_t value() const { return number_; }
    constexpr explicit operator std::uint8_t() const { return number_; }

    constexpr char letter() const { return static_cast<char>(LetterBase + number_); }
    // "E:", as messages and listings name a drive.
    std::string name() const { return std::string(1, letter()) + ":"; }
    // "E:\"
    std::string root() const { return name() + "\\"; }
    // "\\.\E:", the name the volume is opened by.
    std::string deviceName() const { return "\\\\.\\" + name(); }
    // 0-based, A: = 0; see fromZeroBasedIndex.
    constexpr std::uint8_t zeroBasedIndex() const { return static_cast<std::uint8_t>(number_ - 1); }

    friend constexpr bool operator==(LogicalDrive, LogicalDrive) = default;

private:
    static constexpr int LetterBase = '@';

    static constexpr LogicalDrive checked(int number) {
        return number >= First && number <= Last ? LogicalDrive(static_cast<std::uint8_t>(number)) : LogicalDrive();
    }

    std::uint8_t number_ = 0;
};

}  // namespace quorvane
