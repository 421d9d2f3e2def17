#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace dv::test {

std::string ReadFile(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    std::ostringstream s;
    s << f.rdbuf();
    return s.str();
}

void WriteFile(const std::string& path, const std::string& content) {
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f << content;
}

std::string DataPath(const std::string& name) { return std::string(DRAVOLT_TEST_DATA) + "/" + name; }

std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

bool UnderCI() {
    const char* ci = std::getenv("CI");
    return ci && std::string(ci) == "true";
}

TUnwritableFolder::TUnwritableFolder(TKind kind) : FKind(kind) {
    std::string tmpl = testing::TempDir() + "dvunwritableXXXXXX";
    if (!::mkdtemp(tmpl.data())) return;
    FPath = tmpl;
    FMounted = ::mount("tmpfs", FPath.c_str(), "tmpfs", 0, "size=256k,mode=0755") == 0;
}

void TUnwritableFolder::Lock() {
    if (FKind == ReadOnly) {
        if (FMounted)
            ::mount("tmpfs", FPath.c_str(), "tmpfs", MS_REMOUNT | MS_RDONLY, nullptr);
        else
            ::chmod(FPath.c_str(), 0555);
    } else if (FMounted) {
        // Not a byte left: writes stop at the first block of a new file.
        std::ofstream filler(FPath + "/filler", std::ios::binary);
        const std::string block(4096, 'f');
        while (filler.write(block.data(), block.size())) {
        }
    } else {
        std::signal(SIGXFSZ, SIG_IGN);
        struct rlimit limit {};
        ::getrlimit(RLIMIT_FSIZE, &limit);
        limit.rlim_cur = 1;
        FLimited = ::setrlimit(RLIMIT_FSIZE, &limit) == 0;
    }
}

std::vector<std::string> TUnwritableFolder::NamesIn(const std::string& folder) {
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator(folder, ec)) names.push_back(e.path().filename());
    std::sort(names.begin(), names.end());
    return names;
}

TUnwritableFolder::~TUnwritableFolder() {
    if (FLimited) {
        struct rlimit limit {};
        ::getrlimit(RLIMIT_FSIZE, &limit);
        limit.rlim_cur = limit.rlim_max;
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    if (FPath.empty()) return;
    if (FMounted) ::umount2(FPath.c_str(), MNT_DETACH);
    ::chmod(FPath.c_str(), 0700);
    std::error_code ec;
    std::filesystem::remove_all(FPath, ec);
}

}  // namespace dv::test
