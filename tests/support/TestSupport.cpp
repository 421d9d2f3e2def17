#include "TestSupport.h"

#include <cstdlib>
#include <fstream>
#include <sstream>

#include <chrono>
#include <filesystem>
#include <iterator>
#include <thread>

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

void LetThreadsEndBeforeTheLeakCheck() {
#if defined(__SANITIZE_ADDRESS__)
    // Exit handlers run last registered first: this one, registered before
    // the client library is loaded, runs after the library's own and before
    // the leak check, which the sanitizer registered before main.
    std::atexit([] {
        for (int waited = 0; waited < 2000; ++waited) {
            const auto tasks = std::filesystem::directory_iterator("/proc/self/task");
            if (std::distance(std::filesystem::begin(tasks), std::filesystem::end(tasks)) <= 1) return;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });
#endif
}

}  // namespace dv::test
