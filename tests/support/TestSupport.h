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

#include "platform/SysUtils.h"

namespace dv::test {

// Fixes the process-wide number and date formats that texts are compared
// against ('.', '/', ':', "dd/mm/yyyy", "hh:nn:ss") and puts the previous
// ones back when it goes.
class FixedFormats {
public:
    FixedFormats() : FSaved(FormatSettings()) {
        TFormatSettings& fs = FormatSettings();
        fs.DecimalSeparator = '.';
        fs.DateSeparator = '/';
        fs.TimeSeparator = ':';
        fs.ShortDateFormat = "dd/mm/yyyy";
        fs.LongTimeFormat = "hh:nn:ss";
    }
    ~FixedFormats() { FormatSettings() = FSaved; }
    FixedFormats(const FixedFormats&) = delete;
    FixedFormats& operator=(const FixedFormats&) = delete;

private:
    TFormatSettings FSaved;
};

}  // namespace dv::test
