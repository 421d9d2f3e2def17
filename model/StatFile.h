// The statistics files: a statistics text, or a saved-statistics file
// ("DVT2DATA" CR LF, then the model in the textual component format), read
// into the one model; and the writing of a saved-statistics file.
#pragma once

#include <string>

#include "platform/system/InputFile.h"

namespace dv {

class TDatabaseInfo;

// A statistics file opened for loading into DBInfo. Opening it changes
// nothing in the model: a file that cannot be opened or read leaves what was
// loaded before, so the caller may clear what it shows only once this
// succeeded. A saved-statistics file is read while it is loaded: a read
// that fails then leaves the model empty, as a damaged file does.
class TStatFile {
public:
    // Raises EFOpenError or EReadError naming the file.
    explicit TStatFile(const std::string& fileName);

    // A saved-statistics file; such a file brings column and index
    // metadata, a statistics text does not.
    bool Saved() const { return FSaved; }

    // Replaces DBInfo with the file's statistics and resets the live
    // counters. A statistics text that holds no statistics answers false
    // (the reader has said why); a text the reader refuses and a
    // saved-statistics file that cannot be read or holds no statistics
    // raise. After either the model is empty.
    bool Load();

private:
    std::string FName;
    TInputFile FInput;
    bool FSaved = false;  // the file starts with the saved-statistics magic
};

// Writes a saved-statistics file of `model`. An existing file is replaced;
// raises EFCreateError naming the file when it cannot be written.
void SaveStatToFile(TDatabaseInfo& model, const std::string& fileName);

}  // namespace dv
