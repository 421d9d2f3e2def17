#pragma once

#include <string>
#include <unistd.h>
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

// A fresh folder that a save cannot write into once it is locked: a full
// file system or a read-only one. Where the test may mount, it is a small
// tmpfs, filled up or remounted read-only; elsewhere the full disk is a file
// size limit on this process and the read-only folder a folder mode. Files
// put in before Lock() stay readable; everything goes with the object.
class TUnwritableFolder {
public:
    enum TKind { Full, ReadOnly };
    explicit TUnwritableFolder(TKind kind);
    ~TUnwritableFolder();
    TUnwritableFolder(const TUnwritableFolder&) = delete;
    TUnwritableFolder& operator=(const TUnwritableFolder&) = delete;

    const std::string& Path() const { return FPath; }
    // False where it cannot lock (root that may not mount ignores modes).
    bool CanLock() const { return FMounted || FKind == Full || ::geteuid() != 0; }
    void Lock();
    // A folder's names, temporary files included, sorted.
    static std::vector<std::string> NamesIn(const std::string& folder);

private:
    TKind FKind;
    std::string FPath;
    bool FMounted = false;
    bool FLimited = false;
};

}  // namespace dv::test

#include "platform/text/SysUtils.h"

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
