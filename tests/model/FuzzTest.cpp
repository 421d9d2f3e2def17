// Damaged input never crashes the reader or the save-file reader: mutated real
// statistics (through a list source and through files), mutated save-file
// text, binary bytes, a 10 MB line, 100 000 tables and numbers beyond 64 bits.
// Meant to run under the address and undefined-behaviour sanitizers as well.
#include <chrono>
#include <map>
#include <random>
#include <tuple>

#include "tests/model/StatTestSupport.h"
#include "tests/support/FuzzSupport.h"
#include "model/StrData.h"
#include "platform/streaming/ComponentText.h"

using namespace dv;
using namespace dv::test;

namespace {

// Answers Abort/Ignore boxes at random (mostly Ignore) and checks that every
// text shown is one of the reader's own.
class RandomAnswers : public IDialogProvider {
public:
    explicit RandomAnswers(std::mt19937& rng) : FRng(rng) { FPrevious = SetDialogProvider(this); }
    ~RandomAnswers() override { SetDialogProvider(FPrevious); }
    int MessageDlg(const std::string& msg, TMsgDlgType, TMsgDlgButtons buttons, int) override {
        ++Count;
        Shown = msg.substr(0, 200);
        bool known = msg == SErrParseStatistics || msg == SErrParseTableIndex || msg == SNoStatistics;
        for (const char* prefix : {SErrParseRelation, SErrParseIndex, "Error parsing the line ",
                                   "Error parsing statistics info: the header", "The statistics text ends "})
            known = known || msg.rfind(prefix, 0) == 0;
        EXPECT_TRUE(known) << msg.substr(0, 200);
        if (buttons & mbIgnore) return FRng() % 8 == 0 ? mrAbort : mrIgnore;
        return mrOk;
    }
    bool OpenFileDialog(TFileDialogRequest&) override { return false; }
    bool SaveFileDialog(TFileDialogRequest&) override { return false; }
    int Count = 0;
    std::string Shown;   // the last message

private:
    std::mt19937& FRng;
    IDialogProvider* FPrevious;
};

// The model after any parse: every table owned by the model and listed once,
// every index owned by and pointing at its listed table; after a usable one
// the totals a walk over the model gives.
void ExpectConsistentModel(bool usable) {
    const TDatabaseInfo& db = *DBInfo;
    EXPECT_EQ(db.ComponentCount(), static_cast<int>(db.Relations.size()));
    size_t owned = 0;
    for (const TRelation* r : db.Relations) {
        EXPECT_EQ(r->Owner(), &db);
        owned += static_cast<size_t>(r->ComponentCount());
        double isize = 0;
        for (const TIndex* i : db.Indices)
            if (i->Relation == r) isize += i->SizeMb;
        EXPECT_NEAR(r->ISizeMB, isize, 1e-9);
    }
    EXPECT_EQ(owned, db.Indices.size());
    for (const TIndex* i : db.Indices) {
        ASSERT_NE(i->Relation, nullptr);
        EXPECT_EQ(i->Owner(), i->Relation);
    }
    EXPECT_EQ(StatSource, nullptr);
    if (!usable) return;
    TDatabaseInfo& m = *DBInfo;
    const auto totals = [&] {
        return std::tuple(m.RecordSize, m.VersionSize, m.IndexSize, m.Pages, m.MaxRName, m.MaxIName, m.Garbage);
    };
    const auto read = totals();
    CalcDatabaseTotals(m);
    EXPECT_EQ(read, totals());
}

std::string OldText() {
    return "Database \"/x.gdb\"\n\tPage size\t\t1024\n\tODS version\t\t11.2 type 0200\n\tNext transaction\t9\n"
           "\tCreation date\t\tMay 27, 2013 23:40:53\n\tWrite timestamp\tMay 28, 2013 00:00:01\n\t*END*\n"
           "Analyzing database pages ...\n" +
           std::string(kOldLayoutBlobTable) +
           "U (129)\n\n    Index J (0)\n\tDepth: 1, leaf buckets: 0, nodes: 0\n"
           "\tAverage data length: 0.00, total dup: 0, max dup: 0\n\tFill distribution:\n"
           "\t     0 - 19% = 0\n\t    20 - 39% = 0\n\t    40 - 59% = 0\n\t    60 - 79% = 0\n\t    80 - 99% = 0\n";
}

class Fuzz : public StatFixture {};

TEST_F(Fuzz, MutatedStatisticsThroughListsAndFiles) {
    const std::vector<std::string> seeds = {ReadFile(DataPath("fb3_full.txt")), ReadFile(DataPath("fb3_index.txt")),
                                            ReadFile(DataPath("fb3_service.txt")), OldText()};
    std::mt19937 rng(20240611);
    RandomAnswers answers(rng);
    int usable = 0;
    for (int round = 0; round < 600; ++round) {
        const std::string text = Mutate(seeds[round % seeds.size()], rng);
        SCOPED_TRACE("round " + std::to_string(round));
        const bool ok = round % 3 == 0 ? ParseAsFile(text) : ParseText(text);
        usable += ok;
        ExpectConsistentModel(ok);
        if (HasFailure()) {
            ADD_FAILURE() << "input:\n" << text.substr(0, 4000);
            return;
        }
    }
    // The mutations leave most texts readable in part.
    EXPECT_GT(usable, 300);
    EXPECT_GT(answers.Count, 50);
}

// A real output, and a large one made of its blocks, cut every few hundred
// bytes (and at the 4 KiB steps the engine writes in): each cut either holds
// the whole text or says that it was cut; what loads is always figures the
// whole text holds, and never the reset's forced writes "off".
TEST_F(Fuzz, TextsCutAnywhereSaySoAndKeepOnlyWholeBlocks) {
    const std::string real = ReadFile(DataPath("fb3_full.txt"));
    const size_t blocksAt = real.find("Analyzing database pages ...\n") + 29;
    const size_t closingAt = real.find("Gstat completion time");
    std::string large = real.substr(0, blocksAt);
    for (int copy = 0; copy < 60; ++copy) {
        std::string blocks = real.substr(blocksAt, closingAt - blocksAt);
        for (const char* name : {"CUSTOMERS", "DOCUMENTS", "EMPTY_TABLE", "ORDERS", "Odd (name)"})
            blocks = StringReplaceAll(blocks, std::string(name) + " (", std::string(name) + "_" + std::to_string(copy) + " (");
        for (int id = 128; id < 140; ++id)
            blocks = StringReplaceAll(blocks, "(" + std::to_string(id) + ")\n", "(" + std::to_string(id + 20 * copy) + ")\n");
        large += blocks;
    }
    large += real.substr(closingAt);
    std::mt19937 rng(7);
    RandomAnswers answers(rng);
    const struct {
        const char* What;
        std::string Text;
        size_t Step;
    } texts[] = {{"real output", real, 211}, {"index statistics", ReadFile(DataPath("fb3_index.txt")), 97},
                 {"large output", large, 4096}};
    for (const auto& t : texts) {
        const TextStats whole = ReadTextStats(t.Text);
        std::map<std::string, const TextTable*> tables;
        std::map<std::string, const TextIndex*> indices;
        for (const TextTable& tt : whole.Tables) {
            tables[tt.Name] = &tt;
            for (const TextIndex& ti : tt.Indices) indices[ti.Name] = &ti;
        }
        // From its closing line on the statistics are whole, its time cut or not.
        const size_t wholeFrom = t.Text.find("Gstat completion time") + 21;
        std::vector<size_t> cuts;
        for (size_t cut = 0; cut < t.Text.size(); cut += t.Step) cuts.push_back(cut);
        cuts.push_back(t.Text.size());
        for (const size_t cut : cuts) {
            SCOPED_TRACE(std::string(t.What) + " cut at " + std::to_string(cut));
            for (int way = 0; way < 2; ++way) {
                answers.Count = 0;
                answers.Shown.clear();
                const std::string part = t.Text.substr(0, cut);
                ExpectConsistentModel(way == 0 ? ParseAsFile(part) : ParseText(part));
                if (cut >= wholeFrom) {
                    EXPECT_EQ(answers.Count, 0) << answers.Shown;
                    EXPECT_EQ(DBInfo->Relations.size(), whole.Tables.size());
                } else {
                    // Never a silent load of less than the text.
                    EXPECT_GE(answers.Count, 1);
                    // A file cut is seen as one: one message, saying so.
                    if (way == 0 && (DBInfo->NxT != 0 || !DBInfo->Relations.empty())) {
                        EXPECT_EQ(answers.Count, 1);
                        EXPECT_EQ(answers.Shown.rfind("The statistics text ends ", 0), 0u) << answers.Shown;
                    }
                }
                if (DBInfo->NxT != 0) {
                    EXPECT_EQ(DBInfo->FW, 1);
                }
                for (const TRelation* r : DBInfo->Relations) {
                    const TextTable* tt = tables[r->TableName];
                    ASSERT_NE(tt, nullptr) << r->TableName;
                    EXPECT_EQ(r->Records, tt->Records) << r->TableName;
                    EXPECT_EQ(r->Versions, tt->Versions) << r->TableName;
                    EXPECT_EQ(r->DataPages, tt->DataPages) << r->TableName;
                    EXPECT_EQ(r->Fill100, tt->Fill[4]) << r->TableName;
                }
                for (const TIndex* i : DBInfo->Indices) {
                    const TextIndex* ti = indices[i->IndexName];
                    ASSERT_NE(ti, nullptr) << i->IndexName;
                    EXPECT_EQ(i->Nodes, ti->Nodes) << i->IndexName;
                    EXPECT_EQ(i->TotalDup, ti->TotalDup) << i->IndexName;
                    const int32_t bands[5] = {i->Fill20, i->Fill40, i->Fill60, i->Fill80, i->Fill100};
                    for (int b = 0; b < 5; ++b) EXPECT_EQ(bands[b], ti->Fill[b]) << i->IndexName << " band " << b;
                }
                if (HasFailure()) return;
            }
        }
    }
}

TEST_F(Fuzz, BinaryBytes) {
    std::mt19937 rng(11);
    RandomAnswers answers(rng);
    for (int round = 0; round < 20; ++round) {
        std::string bytes(1 + rng() % 200000, '\0');
        for (char& c : bytes) c = static_cast<char>(rng());
        if (round % 2) bytes = "\t*END*\nAnalyzing database pages\n" + bytes;
        const bool usable = ParseAsFile(bytes);
        EXPECT_FALSE(usable && DBInfo->PageSize == 0 && DBInfo->NxT == 0 && DBInfo->Relations.empty());
        ExpectConsistentModel(usable);
    }
}

TEST_F(Fuzz, TenMegabyteLines) {
    const std::string big(10 * 1024 * 1024, 'x');
    const std::string head = "\tPage size\t\t4096\n\tNext transaction\t5\n\t*END*\nAnalyzing database pages ...\n";
    const auto start = std::chrono::steady_clock::now();
    // In the header, as an unindented line, as a table's name and as an
    // indented line after the blocks.
    EXPECT_FALSE(ParseAsFile("\tPage size\t" + big + "\n" + head));
    EXPECT_EQ(Shown(), std::vector<std::string>{SErrParseStatistics});
    Dialogs.Messages.clear();
    // A line of no block before a table is said (and may be passed over).
    Dialogs.Answer(mrIgnore);
    EXPECT_TRUE(ParseAsFile(head + big + "\n" + "T (128)\n"));
    EXPECT_EQ(Shown(), std::vector<std::string>{SErrParseRelation + big + "\r\n" + big});
    ASSERT_NE(Table("T"), nullptr);
    EXPECT_EQ(Table("T")->Id, 128);
    EXPECT_TRUE(ParseText(head + big + " (128)\nNEXT (129)\n"));
    ASSERT_EQ(DBInfo->Relations.size(), 2u);
    EXPECT_EQ(DBInfo->Relations[0]->TableName.size(), big.size());
    EXPECT_TRUE(ParseAsFile(head + "    Index " + big + "\r" + big));
    EXPECT_EQ(DBInfo->MaxRName, 0);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(60));
}

TEST_F(Fuzz, AHundredThousandTables) {
    std::string text = "\tPage size\t\t4096\n\tNext transaction\t5\n\t*END*\nAnalyzing database pages ...\n";
    for (int id = 0; id < 100000; ++id) text += "TABLE_" + std::to_string(id) + " (" + std::to_string(id) + ")\n";
    text += "    Index LAST_IDX (0)\n\tDepth: 1, leaf buckets: 1, nodes: 1\n"
            "\tAverage data length: 1.00, total dup: 0, max dup: 0\n\tFill distribution:\n"
            "\t     0 - 19% = 1\n\t    20 - 39% = 0\n\t    40 - 59% = 0\n\t    60 - 79% = 0\n\t    80 - 99% = 0\n";
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(ParseAsFile(text));
    EXPECT_TRUE(Dialogs.Messages.empty()) << Dialogs.LastText();
    EXPECT_EQ(DBInfo->Relations.size(), 100000u);
    EXPECT_EQ(DBInfo->Relations.back()->Name(), "Relation99999");
    EXPECT_EQ(DBInfo->Indices.at(0)->Relation, DBInfo->Relations.back());
    EXPECT_EQ(DBInfo->MaxRName, 11);
    DBInfo->Reset(true);
    EXPECT_EQ(DBInfo->ComponentCount(), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30));
}

TEST_F(Fuzz, NumbersBeyondSixtyFourBits) {
    struct Case {
        const char* From;
        const char* To;
        const char* Message;   // empty: no message
    } cases[] = {
        {"total records: 1500", "total records: 99999999999999999999", "Error parsing relation CUSTOMERS"},
        {"total versions: 150,", "total versions: 9223372036854775808,", "Error parsing relation CUSTOMERS"},
        {"nodes: 1650", "nodes: 18446744073709551616", "Error parsing index CUSTOMERS_CITY"},
        {"leaf buckets: 1, nodes: 1650", "leaf buckets: 4294967296, nodes: 1650", "Error parsing index CUSTOMERS_CITY"},
        {"average data length: 0.01", "average data length: 1e999", "Error parsing index CUSTOMERS_CITY"},
        {"Average record length: 69.56", "Average record length: 1e300", "Error parsing relation CUSTOMERS"},
        {"Page size\t\t8192", "Page size\t\t99999999999999999999", SErrParseStatistics},
        {"nodes: 1650", "nodes: 9223372036854775807", ""},
        {"total dup: 1637, max dup: 149", "total dup: 9223372036854775808, max dup: 149", "Error parsing index CUSTOMERS_CITY"},
        {"total dup: 1637, max dup: 149", "total dup: 3000000000, max dup: 2999999999", ""},
        {"total dup: 1637", "total dup: -2147483648", ""},
    };
    const std::string text = ReadFile(DataPath("fb3_full.txt"));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.To);
        const size_t at = text.find(c.From);
        ASSERT_NE(at, std::string::npos);
        std::string changed = text;
        changed.replace(at, std::string(c.From).size(), c.To);
        Dialogs.Messages.clear();
        Dialogs.Answer(mrIgnore);
        const bool usable = ParseText(changed);
        if (*c.Message) {
            ASSERT_FALSE(Dialogs.Messages.empty());
            EXPECT_EQ(Dialogs.Messages[0].Text.rfind(c.Message, 0), 0u) << Dialogs.Messages[0].Text;
        } else {
            EXPECT_TRUE(Dialogs.Messages.empty()) << Dialogs.LastText();
        }
        ExpectConsistentModel(usable);
    }
    // Nodes less duplicates wraps instead of overflowing.
    EXPECT_EQ(Index("CUSTOMERS_CITY")->Uniques, static_cast<int64_t>(1650) + 2147483648LL);
}

TEST_F(Fuzz, DuplicateCountsBeyondThirtyTwoBitsReadAndSaveWhole) {
    std::string text = ReadFile(DataPath("fb3_full.txt"));
    const std::string from = "nodes: 1650";
    text.replace(text.find(from), from.size(), "nodes: 9000000000");
    const std::string dup = "total dup: 1637, max dup: 149";
    text.replace(text.find(dup), dup.size(), "total dup: 3000000000, max dup: 2999999999");
    ParseText(text);
    EXPECT_TRUE(Dialogs.Messages.empty()) << Dialogs.LastText();
    const TIndex* i = Index("CUSTOMERS_CITY");
    ASSERT_NE(i, nullptr);
    EXPECT_EQ(i->TotalDup, 3000000000LL);
    EXPECT_EQ(i->MaxDup, 2999999999LL);
    EXPECT_EQ(i->Uniques, 6000000000LL);
    // Saved and read back whole; a count of 0 is still written, as the
    // 32-bit count was, so that older and newer files agree byte for byte.
    const std::string saved = WriteComponentText(*DBInfo);
    EXPECT_NE(saved.find("TotalDup = 3000000000\r\n      MaxDup = 2999999999\r\n"), std::string::npos);
    EXPECT_NE(saved.find("TotalDup = 0\r\n      MaxDup = 0\r\n"), std::string::npos);
    DBInfo->Reset(true);
    ReadComponentText(saved, *DBInfo);
    RebuildModelLists(*DBInfo);
    ASSERT_NE(Index("CUSTOMERS_CITY"), nullptr);
    EXPECT_EQ(Index("CUSTOMERS_CITY")->TotalDup, 3000000000LL);
    EXPECT_EQ(Index("CUSTOMERS_CITY")->MaxDup, 2999999999LL);
}

TEST_F(Fuzz, MutatedSaveFileText) {
    ASSERT_TRUE(ParseStatFile(DataPath("fb3_full.txt")));
    const std::string saved = WriteComponentText(*DBInfo);
    std::mt19937 rng(99);
    int readWhole = 0;
    for (int round = 0; round < 500; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        std::string text = Mutate(saved, rng);
        if (round % 5 == 0) {
            // Objects moved or nested where they do not belong.
            const size_t a = text.find("  object Relation");
            if (a != std::string::npos) text.insert(text.find("\r\n", a) + 2, "    object TIndex\r\n    end\r\n");
        }
        DBInfo->Reset(true);
        try {
            ReadComponentText(text, *DBInfo);
            ++readWhole;
        } catch (const std::exception&) {
            // A read error: what was read stays, and the model stays usable.
        }
        // What was read, whole or in part, writes back as a text that reads.
        TDatabaseInfo back(nullptr);
        EXPECT_NO_THROW(ReadComponentText(WriteComponentText(*DBInfo), back));
        RebuildModelLists(*DBInfo);
        CalcDatabaseTotals(*DBInfo);
        for (TIndex* i : DBInfo->Indices) EXPECT_EQ(i->Owner(), i->Relation);
        DBInfo->Reset(true);
        EXPECT_EQ(DBInfo->ComponentCount(), 0);
    }
    EXPECT_GT(readWhole, 10);
}

}  // namespace
