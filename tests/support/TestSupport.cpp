#include "TestSupport.h"

#include <cstdlib>
#include <fstream>
#include <sstream>

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

bool UnderCI() {
    const char* ci = std::getenv("CI");
    return ci && std::string(ci) == "true";
}

}  // namespace dv::test
