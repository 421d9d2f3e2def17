#pragma once

#include <string>
#include <vector>

namespace dv::test {

std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& content);
// A file under tests/data.
std::string DataPath(const std::string& name);
// The text split at LF as a line source gets it (CR and blanks kept); a
// final line end does not give an empty last line.
std::vector<std::string> SplitLines(const std::string& text);
// True when CI=true: a missing server is then a failure, never a skip.
bool UnderCI();

}  // namespace dv::test
