#include "model/StatFile.h"

#include <cstring>

#include "model/StatParser.h"
#include "model/dkmain.h"
#include "model/moninfo.h"
#include "platform/stores/FileIO.h"
#include "platform/streaming/ComponentText.h"
#include "platform/text/SysUtils.h"

namespace dv {

namespace {

// The first bytes of a saved-statistics file.
constexpr char kMagic[] = "DVT2DATA\r\n";
constexpr size_t kMagicSize = 10;

}  // namespace

TStatFile::TStatFile(const std::string& fileName) : FName(fileName), FInput(fileName) {
    char head[kMagicSize] = {};
    FSaved = FInput.ReadAt(head, kMagicSize, 0) == kMagicSize && std::memcmp(head, kMagic, kMagicSize) == 0;
}

bool TStatFile::Load() {
    if (DBMonInfo) ResetMonitorInfo(*DBMonInfo);
    try {
        if (!FSaved) {
            if (ParseStatFile(FInput.ReadPath())) return true;
            // What the reader left of a text without statistics is none.
            DBInfo->Reset(true);
            return false;
        }
        DBInfo->Reset(true);
        // The model's text begins on the file's second line, after the magic.
        // It is read in blocks into one buffer: a buffer of the whole file,
        // tens of megabytes of fresh pages, costs more than its copy.
        off_t offset = static_cast<off_t>(kMagicSize);
        const TTextSource source = [this, &offset](char* buf, size_t size) {
            const size_t got = FInput.ReadAt(buf, size, offset);
            offset += static_cast<off_t>(got);
            return got;
        };
        ReadComponentText(source, *DBInfo, 2);
        RebuildModelLists(*DBInfo);
        // A page size of 0 is the model's "nothing loaded": such a file was
        // not written from statistics, and its sizes cannot be computed.
        if (DBInfo->PageSize <= 0)
            throw EReadError("Cannot read file \"" + FName + "\". Its page size is " + IntToStr(DBInfo->PageSize) +
                             " (PageSize), so it holds no statistics.");
        return true;
    } catch (...) {
        // Half a file is not the statistics a report or a save would name.
        DBInfo->Reset(true);
        throw;
    }
}

void SaveStatToFile(TDatabaseInfo& model, const std::string& fileName) {
    // The whole text is made before the file is touched, so a model that
    // cannot be written leaves an existing file as it was.
    std::string text(kMagic, kMagicSize);
    WriteComponentText(model, text);
    SaveFileContent(fileName, text);
}

}  // namespace dv
