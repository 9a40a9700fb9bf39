#pragma once
// Files made by the real tools (ImageMagick's convert, ffmpeg, heif-enc, exiftool) in a private
// temporary folder, read back whole.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <unistd.h>
#include <vector>

namespace quorvane::testing {

class ToolFolder {
public:
    ToolFolder() {
        std::string pattern = (std::filesystem::temp_directory_path() / "quorvane-starts-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
        path_ = pattern;
    }
    ~ToolFolder() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    ToolFolder(const ToolFolder&) = delete;
    ToolFolder& operator=(const ToolFolder&) = delete;

    // Runs command in the folder; false (with the command in the test's output) when it fails.
    bool Run(const std::string& command) const {
        const std::string full = "cd '" + path_.string() + "' && SOURCE_DATE_EPOCH=1700000000 " + command +
                                 " >>tools.log 2>&1";
        const bool ok = std::system(full.c_str()) == 0;
        if (!ok) ADD_FAILURE() << "failed: " << command;
        return ok;
    }

    std::vector<std::uint8_t> Read(const std::string& name) const {
        std::ifstream in(path_ / name, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }

private:
    std::filesystem::path path_;
};

}  // namespace quorvane::testing
