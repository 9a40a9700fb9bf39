// The 9x family's decision chain over fake drivers: the remembered CD-ROM test, CD reads one
// sector at a time, INT 25h/26h against INT 21h 7305h, locking around writes and the device
// parameter queries.
#include "disk/ldiskio.h"
#include "disk/ldiskio_platform.h"
#include "ldiskio_fakes.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace quorvane {
namespace {

using testing::DriverRequest;
using testing::FakeDrivers;

class Ldiskio9x : public ::testing::Test {
protected:
    void TearDown() override { ldiskio::Shutdown(); }

    void start(const std::string& family = "9x") {
        ldiskio::PlatformServices services;
        services.version = VersionForFamily(family);
        services.drivers = &drivers;
        ldiskio::Restart(services);
    }

    std::vector<DriverRequest> requestsOf(const std::string& driver, std::uint32_t code) const {
        std::vector<DriverRequest> out;
        for (const auto& r : drivers.requests) {
            if (r.driver == driver && r.code == code) out.push_back(r);
        }
        return out;
    }

    FakeDrivers drivers;
};

TEST_F(Ldiskio9x, TheCdRomTestIsAskedOncePerRunOfOneDrive) {
    start();
    std::vector<std::uint8_t> buffer(512);
    for (const std::uint8_t drive : {4, 4, 5, 4}) ReadLogicalSectors(drive, 0, 1, buffer.data());
    const auto tests = requestsOf("int2f", INT2F_IS_CDROM);
    ASSERT_EQ(tests.size(), 3u);
    EXPECT_EQ(tests[0].drive, 3);  // 0 = A:
    EXPECT_EQ(tests[1].drive, 4);
    EXPECT_EQ(tests[2].drive, 3);
}

TEST_F(Ldiskio9x, ACdReadStopsAtTheFirstFailingSector) {
    start();
    drivers.cdDrives = {4};
    drivers.cdFailAtRequest = 3;
    std::vector<std::uint8_t> buffer(10 * 2048, 0xEE);
    EXPECT_FALSE(ReadLogicalSectors(4, 20, 10, buffer.data()));
    const auto reads = requestsOf("int2f", INT2F_READ_SECTOR);
    ASSERT_EQ(reads.size(), 4u);
    for (std::uint32_t i = 0; i < 4; ++i) {
        EXPECT_EQ(reads[i].sector, 20 + i);
        EXPECT_EQ(reads[i].buffer, reads[0].buffer + i * 2048);
    }
    for (std::size_t sector = 0; sector < 3; ++sector) EXPECT_EQ(buffer[sector * 2048], 20 + sector);
    EXPECT_EQ(buffer[3 * 2048], 0xEE);
    EXPECT_EQ(drivers.count("vwin32", VWIN32_DIOC_DOS_DRIVEINFO), 0);
}

TEST_F(Ldiskio9x, DiskReadsTakeTheExtendedCallWhereTheSystemHasIt) {
    start("9x");
    std::vector<std::uint8_t> buffer(3 * 512);
    ASSERT_TRUE(ReadLogicalSectors(5, 77, 3, buffer.data()));
    const auto calls = requestsOf("vwin32", VWIN32_DIOC_DOS_DRIVEINFO);
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].regs.reg_EAX, 0x7305u);
    EXPECT_EQ(calls[0].regs.reg_ECX, 0xFFFFFFFFu);
    EXPECT_EQ(calls[0].regs.reg_EDX, 5u);
    EXPECT_EQ(calls[0].regs.reg_ESI, 0u);
    EXPECT_EQ(calls[0].packet.dwStartSector, 77u);
    EXPECT_EQ(calls[0].packet.wSectors, 3);
    EXPECT_EQ(buffer[0], testing::FakeNtDrive::byteAt(77 * 512));
}

TEST_F(Ldiskio9x, DiskReadsUseInt25WithoutTheExtendedCall) {
    start("95");
    std::vector<std::uint8_t> buffer(512);
    ASSERT_TRUE(ReadLogicalSectors(5, 9, 1, buffer.data()));
    const auto calls = requestsOf("vwin32", VWIN32_DIOC_DOS_INT25);
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].regs.reg_EAX, 4u);  // 0 = A:
    EXPECT_EQ(calls[0].regs.reg_ECX, 0xFFFFu);
    EXPECT_EQ(calls[0].packet.dwStartSector, 9u);

    drivers.ioFails = true;  // carry set
    EXPECT_FALSE(ReadLogicalSectors(5, 9, 1, buffer.data()));
}

TEST_F(Ldiskio9x, AWriteWhoseLockFailsSendsNoWrite) {
    start();
    drivers.lockFails = true;
    std::vector<std::uint8_t> buffer(512);
    EXPECT_FALSE(WriteLogicalSectors(5, 0, 1, buffer.data()));
    const auto ioctls = requestsOf("vwin32", VWIN32_DIOC_DOS_IOCTL);
    ASSERT_EQ(ioctls.size(), 2u);  // two lock attempts, no unlock
    EXPECT_EQ(ioctls[0].regs.reg_ECX, 0x484Au);
    EXPECT_EQ(ioctls[1].regs.reg_ECX, 0x084Au);
    EXPECT_EQ(drivers.count("vwin32", VWIN32_DIOC_DOS_DRIVEINFO), 0);
    EXPECT_EQ(drivers.count("vwin32", VWIN32_DIOC_DOS_INT26), 0);
}

TEST_F(Ldiskio9x, AWriteIsLockedAndAlwaysUnlocked) {
    for (const bool writeFails : {false, true}) {
        SCOPED_TRACE(writeFails);
        drivers = FakeDrivers{};
        drivers.ioFails = writeFails;
        start("95");
        std::vector<std::uint8_t> buffer(512);
        EXPECT_EQ(WriteLogicalSectors(5, 3, 1, buffer.data()), !writeFails);
        // No CD-ROM test for writes: lock, INT 26h, unlock.
        ASSERT_EQ(drivers.requests.size(), 3u);
        EXPECT_EQ(drivers.requests[0].regs.reg_ECX, 0x484Au);
        EXPECT_EQ(drivers.requests[0].regs.reg_EBX, 5u);  // drive 5, lock level 0
        EXPECT_EQ(drivers.requests[1].code, VWIN32_DIOC_DOS_INT26);
        EXPECT_EQ(drivers.requests[1].packet.dwStartSector, 3u);
        EXPECT_EQ(drivers.requests[2].regs.reg_ECX, 0x486Au);
        ldiskio::Shutdown();
    }
}

TEST_F(Ldiskio9x, ParametersKeepTheFirstAnswersSizesWhenTheSecondFails) {
    start();
    DEVICEPARAMS first;
    first.cylinders = 10;
    first.bpb.heads = 2;
    first.bpb.sectorsPerTrack = 9;
    first.bpb.bytesPerSector = 512;
    first.bpb.totalSectors32 = 40000;
    drivers.deviceParams[1] = first;
    drivers.deviceParamsFail = {0};
    TLogDriveParams p;
    EXPECT_FALSE(GetLogDriveParams(5, p));
    EXPECT_EQ(p.TotalSectors, 40000u);
    EXPECT_EQ(p.BytesPerSector, 512u);
    const auto queries = requestsOf("vwin32", VWIN32_DIOC_DOS_IOCTL);
    ASSERT_EQ(queries.size(), 2u);
    EXPECT_EQ(queries[0].specialFunctions, 1);
    EXPECT_EQ(queries[1].specialFunctions, 0);
    EXPECT_EQ(queries[0].regs.reg_ECX, 0x0860u);
    EXPECT_EQ(queries[0].regs.reg_Flags, CARRY_FLAG);  // preset, the driver clears it
}

TEST_F(Ldiskio9x, ParametersFollowTheDeviceTypeAndAttributes) {
    struct Case {
        std::uint8_t deviceType;
        std::uint16_t attributes;
        std::uint16_t driveType;
        std::uint16_t removable;
    };
    const Case cases[] = {
        {0, 0, 1, 1}, {4, 0, 1, 1}, {7, 0, 1, 1}, {8, 0, 1, 1},
        {5, 1, 3, 0},  // fixed disk
        {5, 0, 3, 1},  // hard-disk-like device with a removable medium
        {6, 0, 2, 1}, {9, 0, 2, 1}, {6, 1, 0, 0},
        {12, 1, 7, 0},  // unknown type: the earlier value stays
    };
    start();
    for (const Case& c : cases) {
        SCOPED_TRACE(int{c.deviceType});
        DEVICEPARAMS answer;
        answer.deviceType = c.deviceType;
        answer.deviceAttributes = c.attributes;
        answer.cylinders = 100;
        answer.bpb.heads = 16;
        answer.bpb.sectorsPerTrack = 63;
        answer.bpb.bytesPerSector = 512;
        answer.bpb.totalSectors16 = 1000;
        drivers.deviceParams[0] = answer;
        drivers.deviceParams[1] = answer;
        drivers.deviceParams[1].bpb.totalSectors32 = 200000;  // the largest count of either answer wins
        TLogDriveParams p;
        p.DriveType = 7;
        ASSERT_TRUE(GetLogDriveParams(5, p));
        EXPECT_EQ(p.DriveType, c.driveType);
        EXPECT_EQ(p.Removable, c.removable);
        EXPECT_EQ(p.TotalSectors, 200000u);
        EXPECT_EQ(p.Cylinders, 100u);
        EXPECT_EQ(p.Heads, 16u);
        EXPECT_EQ(p.SectorsPerTrack, 63u);
    }
}

TEST_F(Ldiskio9x, CdRomParametersComeFromTheCdDriver) {
    start();
    drivers.cdDrives = {4};
    drivers.cdSectors = 1234;
    TLogDriveParams p;
    p.Heads = 5;
    ASSERT_TRUE(GetLogDriveParams(4, p));
    EXPECT_EQ(p.DriveType, 4);
    EXPECT_EQ(p.Removable, 1);
    EXPECT_EQ(p.TotalSectors, 1234u);
    EXPECT_EQ(p.BytesPerSector, 2048u);
    EXPECT_EQ(p.Heads, 0u);

    drivers.cdSizeOk = false;
    ASSERT_TRUE(GetLogDriveParams(4, p));
    EXPECT_EQ(p.TotalSectors, 358400u);
}

TEST_F(Ldiskio9x, StartUpLoadsTheDriversAndReportsTheMissingOnes) {
    std::vector<std::string> messages;
    SetDiskMessageHook([&](const std::string& caption, const std::string& text) {
        EXPECT_EQ(caption, "Error");
        messages.push_back(text);
    });
    drivers.missing = {VWIN32_NAME, INT2F_NAME, INT13EXT_NAME};
    start();
    SetDiskMessageHook(nullptr);
    EXPECT_THAT(messages, ::testing::ElementsAre("Error loading \"INT13EXT.VXD\"",
                                                 "Error loading \"VWIN32.VXD (INT25/26)\"",
                                                 "Error loading \"INT2F.VXD\" (MSCDEX/CDFS)"));
    // The unit runs on; calls that need a missing driver fail.
    std::vector<std::uint8_t> buffer(512);
    EXPECT_FALSE(ReadLogicalSectors(5, 0, 1, buffer.data()));
    EXPECT_TRUE(drivers.requests.empty());
}

TEST_F(Ldiskio9x, ProgramEndClosesTheDriversAndUnloadsTheBiosDriver) {
    start();
    EXPECT_THAT(drivers.lifecycle, ::testing::ElementsAre(std::string("load ") + INT13EXT_NAME,
                                                          std::string("load ") + VWIN32_NAME,
                                                          std::string("load ") + INT2F_NAME));
    drivers.lifecycle.clear();
    ldiskio::Shutdown();
    EXPECT_THAT(drivers.lifecycle,
                ::testing::ElementsAre("close 1", "close 2", std::string("delete ") + INT13EXT_UNLOAD_NAME));
}

TEST(LdiskioStartUp, TheFamilyAndTheExtendedCallComeFromTheVersion) {
    struct Case {
        const char* name;
        bool ok;
        std::uint32_t platform, major, minor;
        const char* csd;
        bool isNT, hasFat32Calls;
    };
    const Case cases[] = {
        {"NT", true, 2, 5, 1, "", true, false},
        {"95", true, 1, 4, 0, "", false, false},
        {"95 OSR2", true, 1, 4, 0, " B ", false, true},
        {"95 other", true, 1, 4, 0, "C", false, false},
        {"98", true, 1, 4, 10, "", false, true},
        {"version unknown", false, 2, 5, 1, "", false, false},
    };
    testing::FakeDrivers drivers;
    testing::FakeNtVolumes volumes;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ldiskio::PlatformServices services;
        services.version.ok = c.ok;
        services.version.dwPlatformId = c.platform;
        services.version.dwMajorVersion = c.major;
        services.version.dwMinorVersion = c.minor;
        services.version.szCSDVersion = c.csd;
        services.drivers = &drivers;
        services.volumes = &volumes;
        SetDiskMessageHook([](const std::string&, const std::string&) {});
        ldiskio::Restart(services);
        SetDiskMessageHook(nullptr);
        const auto state = ldiskio::Inspect();
        EXPECT_EQ(state.isNT, c.isNT);
        EXPECT_EQ(state.hasFat32Calls, c.hasFat32Calls);
        EXPECT_EQ(state.hVWin32 != INVALID_DRIVER_HANDLE, !c.isNT);
        EXPECT_TRUE(state.hasTransferBuffer);
        EXPECT_EQ(state.lastCDDrive, -1);
        EXPECT_TRUE(optUseINT25);
        ldiskio::Shutdown();
    }
}

}  // namespace
}  // namespace quorvane
