#pragma once

#include <string>

namespace dv::test {

std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& content);
// A file under tests/data.
std::string DataPath(const std::string& name);
// True when CI=true: a missing server is then a failure, never a skip.
bool UnderCI();

}  // namespace dv::test
