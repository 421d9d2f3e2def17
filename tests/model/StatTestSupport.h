// Helpers of the statistics reader tests: a fixture with a fresh model and a
// scripted dialog layer, line splitting, temporary files, and an independent
// reading of real statistics text (regular expressions, unlike the reader)
// to check parsed models against the numbers in the text.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "model/StatParser.h"
#include "model/dkmain.h"
#include "tests/support/ScriptedDialogs.h"
#include "tests/support/TestSupport.h"

namespace dv::test {

std::string JoinLines(const TStringList& lines, const std::string& eol);
// Every "\n" replaced by eol.
std::string WithLineEnds(const std::string& text, const std::string& eol);

// One table block of the old (before ODS 12) layout: "T (128)" with blobs
// on pages of their own and index "I" with null segments.
extern const char* const kOldLayoutBlobTable;

// A file under a per-process temporary folder; removed by the fixture.
std::string TempPath(const std::string& name);
// Sets a file's modification time (local calendar time).
void SetFileTime(const std::string& path, int year, int month, int day, int hour, int min, int sec);

class StatFixture : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    bool ParseText(const std::string& text) { return ParseStatLines(SplitLines(text)); }
    // Writes text to a temporary file and parses it through a file source.
    bool ParseAsFile(const std::string& text, const std::string& name = "stat.txt");
    std::vector<std::string> Shown() const;
    TRelation* Table(const std::string& name) const;
    TIndex* Index(const std::string& name) const;

    ScriptedDialogs Dialogs;
};

// What the text says about one table or index, read with regular expressions.
struct TextIndex {
    std::string Name;
    int32_t Id = 0, Depth = 0, Leafs = 0;
    int64_t TotalDup = 0, MaxDup = 0;
    int64_t Nodes = 0;
    double KeyLen = 0;
    int32_t Fill[5] = {};
};
struct TextTable {
    std::string Name;
    int32_t Id = 0, DataPages = 0, Slots = 0, AverageFill = 0, MaxVer = 0;
    int64_t Records = 0, Versions = 0;
    double RecLen = 0, VerLen = 0;
    bool HasPages = false, HasRecords = false;
    int32_t Fill[5] = {};
    std::vector<TextIndex> Indices;
};
struct TextStats {
    int32_t PageSize = 0, Dialect = 0, Sweep = 20000;
    int64_t OIT = 0, OAT = 0, OST = 0, NxT = 0;
    int64_t Generation = 0;
    std::string DbName, ODS, Attrib;
    std::vector<TextTable> Tables;
};
TextStats ReadTextStats(const std::string& text);

// Compares the model with the text's figures (EXPECTs, naming the table or
// index), including the derived values that follow from them.
void ExpectModelMatchesText(const TextStats& text);

}  // namespace dv::test
