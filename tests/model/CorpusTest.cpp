// Statistics texts published by others, kept beside the project (never in
// it): every whole report, that is every file that its SOURCES.md row or its
// name does not mark as an excerpt, flattened or noisy, loads with all its
// tables and indices and without any message. The folder is DRAVOLT_CORPUS,
// else shared/corpus/gstat beside the checkout. A corpus that was asked for
// by name, or any corpus under CI=true, must be there; outside CI a missing
// one is skipped with its reason, so a clone built elsewhere still tests the
// rest.
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>

#include "tests/model/StatTestSupport.h"

using namespace dv;
using namespace dv::test;
namespace fs = std::filesystem;

namespace {

const char* NamedCorpus() {
    const char* dir = std::getenv("DRAVOLT_CORPUS");
    return dir && *dir ? dir : nullptr;
}

std::string CorpusDir() {
    if (const char* dir = NamedCorpus()) return dir;
    return std::string(DRAVOLT_SOURCE_DIR) + "/../shared/corpus/gstat";
}

// Logs marked as excerpts that hold a whole report among lines of other
// tools (isql's "Sweep interval = 20000" before gstat's own header).
const char* const kWholeReportsInLogs[] = {"fb30rc1_jira-attachments_CORE-4748_console-log-with-gstat-h.txt"};

bool MarkedPartial(const std::string& name, const std::string& sources) {
    for (const char* whole : kWholeReportsInLogs)
        if (name == whole) return false;
    std::string row;
    const size_t at = sources.find("| " + name + " |");
    if (at != std::string::npos) row = sources.substr(at, sources.find('\n', at) - at);
    for (const char* mark : {"excerpt", "flattened", "noise"})
        if (name.find(mark) != std::string::npos || row.find(mark) != std::string::npos) return true;
    return false;
}

class Corpus : public StatFixture {};

TEST_F(Corpus, EveryWholeReportLoadsWithAllTablesAndIndices) {
    if (!fs::is_directory(CorpusDir())) {
        ASSERT_EQ(NamedCorpus(), nullptr) << "DRAVOLT_CORPUS names no folder: " << CorpusDir();
        ASSERT_FALSE(UnderCI()) << "CI needs the corpus at " << CorpusDir();
        GTEST_SKIP() << "no corpus at " << CorpusDir();
    }
    const std::string sources = ReadFile(CorpusDir() + "/SOURCES.md");
    static const std::regex tableLine(R"(^\S.* \(\d+\)\s*$)"), indexLine(R"(^\s+Index .* \(\d+\)\s*$)");
    int whole = 0;
    for (const fs::directory_entry& e : fs::directory_iterator(CorpusDir())) {
        const std::string name = e.path().filename().string();
        if (e.path().extension() != ".txt" || MarkedPartial(name, sources)) continue;
        SCOPED_TRACE(name);
        ++whole;
        const std::string text = ReadFile(e.path().string());
        size_t tables = 0, indices = 0;
        bool blocks = false;
        for (const std::string& line : SplitLines(text)) {
            const std::string clean = line.substr(0, line.find_last_not_of(" \r") + 1);
            if (clean.find("Analyzing database pages") != std::string::npos) blocks = true;
            if (!blocks) continue;
            tables += std::regex_match(clean, tableLine);
            indices += std::regex_match(clean, indexLine);
        }
        for (int way = 0; way < 2; ++way) {
            Dialogs.Messages.clear();
            EXPECT_TRUE(way == 0 ? ParseStatFile(e.path().string()) : ParseText(text));
            EXPECT_TRUE(Dialogs.Messages.empty()) << Dialogs.LastText();
            EXPECT_EQ(DBInfo->Relations.size(), tables);
            EXPECT_EQ(DBInfo->Indices.size(), indices);
            EXPECT_GT(DBInfo->PageSize, 0);
        }
    }
    EXPECT_GT(whole, 30);
}

}  // namespace
