// The version record that the build writes into the program, read back by
// GetFileVersionStr from this test binary (which links it) and from files
// with a forged, damaged or missing record.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>

#include "model/utils.h"
#include "platform/system/FileVersion.h"
#include "platform/text/SysUtils.h"
#include "tests/support/TestSupport.h"

namespace dv::test {
namespace {

// The record's layout, written out independently of the reader: marker,
// four 16-bit little-endian numbers, FNV-1a of the 24 bytes before, four
// zero bytes. The marker is put together here so that this binary holds it
// in one piece only inside the real record.
std::string Record(uint16_t a, uint16_t b, uint16_t c, uint16_t d) {
    std::string r = std::string("DRAVOLT") + ".VERSION" + '\x01';
    for (uint16_t v : {a, b, c, d}) {
        r += static_cast<char>(v & 0xFF);
        r += static_cast<char>(v >> 8);
    }
    uint32_t h = 2166136261u;
    for (unsigned char ch : r) {
        h ^= ch;
        h *= 16777619u;
    }
    for (int k = 0; k < 4; ++k) r += static_cast<char>((h >> (8 * k)) & 0xFF);
    r += std::string(4, '\0');
    return r;
}

class UtilsFileVersionTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = std::filesystem::temp_directory_path() /
               ("dravolt-h3-version-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
                "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(dir_);
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }
    std::string File(const std::string& name, const std::string& content) {
        const std::string path = (dir_ / name).string();
        WriteFile(path, content);
        return path;
    }
    std::filesystem::path dir_;
};

TEST_F(UtilsFileVersionTest, TheProgramCarriesTheProjectVersion) {
    EXPECT_EQ(GetFileVersionStr(ExePath()), DRAVOLT_VERSION);
    EXPECT_EQ(GetFileVersionStr(ExePath()), "2.7.0.1");
    const TFileVersion v = ProgramVersion();
    EXPECT_EQ(v.Major, 2);
    EXPECT_EQ(v.Minor, 7);
    EXPECT_EQ(v.Release, 0);
    EXPECT_EQ(v.Build, 1);
}

TEST_F(UtilsFileVersionTest, FilesWithoutARecord) {
    EXPECT_EQ(GetFileVersionStr(File("plain.txt", "Database header page information:\n")), "0.0.0.0");
    EXPECT_EQ(GetFileVersionStr(File("empty.bin", "")), "0.0.0.0");
    EXPECT_EQ(GetFileVersionStr((dir_ / "missing.exe").string()), "0.0.0.0");
    EXPECT_EQ(GetFileVersionStr(dir_.string()), "0.0.0.0");   // a folder
    // Marker alone, a record cut short, a damaged number, a non-zero tail.
    const std::string good = Record(3, 1, 4, 1592);
    EXPECT_EQ(GetFileVersionStr(File("marker.bin", good.substr(0, 16) + std::string(64, 'x'))), "0.0.0.0");
    EXPECT_EQ(GetFileVersionStr(File("short.bin", std::string(10, 'z') + good.substr(0, 31))), "0.0.0.0");
    std::string damaged = good;
    damaged[18] ^= 1;
    EXPECT_EQ(GetFileVersionStr(File("damaged.bin", damaged)), "0.0.0.0");
    std::string tail = good;
    tail[31] = 1;
    EXPECT_EQ(GetFileVersionStr(File("tail.bin", tail)), "0.0.0.0");
}

TEST_F(UtilsFileVersionTest, RecordsAnywhereInAFile) {
    EXPECT_EQ(GetFileVersionStr(File("bare.bin", Record(3, 1, 4, 1592))), "3.1.4.1592");
    EXPECT_EQ(GetFileVersionStr(File("max.bin", Record(65535, 0, 65535, 1))), "65535.0.65535.1");
    // A damaged copy first: the valid one after it counts.
    std::string damaged = Record(9, 9, 9, 9);
    damaged[25] ^= 0x40;
    EXPECT_EQ(GetFileVersionStr(File("second.bin", damaged + "xyz" + Record(1, 2, 3, 4))), "1.2.3.4");
    // Across the reader's 1 MiB read boundary, at every split of the record.
    for (size_t cut = 1; cut < 32; cut += 5) {
        const std::string content = std::string((1u << 20) - cut, '\xAA') + Record(7, 8, 9, 10) + "end";
        EXPECT_EQ(GetFileVersionStr(File("split.bin", content)), "7.8.9.10") << "split after " << cut;
    }
    // Right at the end of a file.
    EXPECT_EQ(GetFileVersionStr(File("end.bin", std::string(3u << 20, 'q') + Record(5, 6, 7, 8))), "5.6.7.8");
}

}  // namespace
}  // namespace dv::test
