#pragma once
// Fakes for the tests of the directory and file objects, the file search and the lost data
// search: scan services that record what the engine tells the scan driver, a recorder of the
// engine's messages, and a temporary folder.
#include "fat/fat_messages.h"
#include "fat/fat_objects.h"
#include "disk/scan_services.h"

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <set>
#include <string>
#include <vector>

namespace quorvane::testing {

// Registered as the engine's scan driver for its lifetime.
class RecordingScan : public TScanServices {
public:
    struct Recovered {
        std::string name;
        std::uint32_t cluster = 0, size = 0;
    };

    RecordingScan() { SetScanServices(this); }
    ~RecordingScan() override { SetScanServices(nullptr); }
    RecordingScan(const RecordingScan&) = delete;
    RecordingScan& operator=(const RecordingScan&) = delete;

    void ProcessMessages() override {
        ++pumps;
        if (onPump) onPump(*this);
    }
    void ProgressStepIt() override { ++steps; }
    bool TimeForUserUpdate() override { return updateEveryTime; }
    void UpdateStatus(const std::string&, const std::string& s2, const std::string& s3, const std::string& s4,
                      const std::string&) override {
        statuses.push_back(s2 + "|" + s3 + "|" + s4);
        if (onStatus) onStatus(*this);
    }
    void ProgressStopTime() override { ++stopTimes; }
    void OnStartScanLostData(std::uint32_t total, std::uint32_t first, std::uint32_t last,
                             std::uint16_t bytesPerCluster) override {
        starts.push_back({total, first, last, bytesPerCluster});
    }
    void OnStartScanLostDataClustor(std::uint32_t total, std::uint32_t first, std::uint32_t last,
                                    std::uint16_t bytesPerCluster) override {
        clusterStarts.push_back({total, first, last, bytesPerCluster});
    }
    // Takes the file over as the scan driver does: marks it, and saves it when a folder is set.
    void AddRecoverFile(TCustomFile& custom) override {
        auto& file = dynamic_cast<TFATFile&>(custom);
        file.InRecoverList = 1;
        recovered.push_back({file.Name, file.FirstCluster, file.Size});
        if (!saveFolder.empty()) {
            std::string path;
            if (file.SaveTo(saveFolder, saveFATNo, &path)) savedPaths.push_back(path);
        }
        if (onRecover) onRecover(*this, file);
    }

    bool updateEveryTime = false;
    std::string saveFolder;
    std::uint8_t saveFATNo = 0;
    std::function<void(RecordingScan&)> onPump, onStatus;
    std::function<void(RecordingScan&, TFATFile&)> onRecover;

    int pumps = 0, steps = 0, stopTimes = 0;
    std::vector<std::string> statuses;
    std::vector<std::vector<std::uint32_t>> starts, clusterStarts;
    std::vector<Recovered> recovered;
    std::vector<std::string> savedPaths;
};

// Records the messages of the engine for its lifetime.
class RecordingMessages {
public:
    RecordingMessages() {
        SetFATMessageHook([this](const std::string& text, const std::string&, TFATMessageKind) {
            texts.push_back(text);
        });
    }
    ~RecordingMessages() { SetFATMessageHook(nullptr); }
    std::vector<std::string> texts;
};

// A new empty folder, removed with everything in it at the end.
class TempFolder {
public:
    TempFolder() {
        char pattern[] = "/tmp/quorvane-objects-XXXXXX";
        path = mkdtemp(pattern);
    }
    ~TempFolder() {
        std::error_code ec;
        std::filesystem::remove_all(path, ec);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    // The folder as SaveTo takes it, with a trailing slash.
    std::string Slash() const { return path + "/"; }

    // The names of the entries in the folder.
    std::set<std::string> Names() const {
        std::set<std::string> names;
        for (const auto& e : std::filesystem::directory_iterator(path)) names.insert(e.path().filename().string());
        return names;
    }

    std::string path;
};

inline std::vector<std::uint8_t> ReadHostFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void WriteHostFile(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

}  // namespace quorvane::testing
