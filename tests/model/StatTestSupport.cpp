#include "tests/model/StatTestSupport.h"

#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <regex>

namespace dv::test {

const char* const kOldLayoutBlobTable =
    "T (128)\n    Primary pointer page: 1, Index root page: 2\n"
    "    Average record length: 22.07, total records: 15, max record length: 99\n"
    "    Average version length: 3.33, total versions: 3, max versions: 1\n"
    "    Data pages: 1, data page slots: 1, average fill: 86%\n    Fill distribution:\n"
    "\t 0 - 19% = 0\n\t20 - 39% = 0\n\t40 - 59% = 0\n\t60 - 79% = 0\n\t80 - 99% = 1\n"
    "    Blob pointer page: 3\n"
    "    Average blob length: 0.1, total blobs: 7, max blob length: 9\n"
    "    Average segment length: 1.7, total segments: 8, max segment length: 6\n"
    "    Blob pages: 2, blob page slots: 3, average fill: 4%\n    Fill distribution:\n"
    "\t 0 - 19% = 2\n\t20 - 39% = 0\n\t40 - 59% = 0\n\t60 - 79% = 0\n\t80 - 99% = 0\n"
    "    Index I (0)\n\tDepth: 1, leaf buckets: 1, nodes: 7\n\tnull keys, segment null: 2\n"
    "\tAverage data length: 0.33, total dup: 3, max dup: 2\n\tFill distribution:\n"
    "\t     0 - 19% = 1\n\t    20 - 39% = 0\n\t    40 - 59% = 0\n\t    60 - 79% = 0\n\t    80 - 99% = 0\n";

std::string JoinLines(const TStringList& lines, const std::string& eol) {
    std::string r;
    for (const std::string& l : lines) r += l + eol;
    return r;
}

std::string WithLineEnds(const std::string& text, const std::string& eol) { return StringReplaceAll(text, "\n", eol); }

static std::string TempDir() {
    static const std::string dir = [] {
        std::string d = (std::filesystem::temp_directory_path() / ("dravolt-stat-" + std::to_string(getpid()))).string();
        std::filesystem::create_directories(d);
        return d;
    }();
    return dir;
}

std::string TempPath(const std::string& name) { return TempDir() + "/" + name; }

void SetFileTime(const std::string& path, int year, int month, int day, int hour, int min, int sec) {
    std::tm tm{};
    tm.tm_year = year - 1900;
    tm.tm_mon = month - 1;
    tm.tm_mday = day;
    tm.tm_hour = hour;
    tm.tm_min = min;
    tm.tm_sec = sec;
    tm.tm_isdst = -1;
    const time_t t = mktime(&tm);
    struct timeval tv[2] = {{t, 0}, {t, 0}};
    ASSERT_EQ(utimes(path.c_str(), tv), 0) << path;
}

void StatFixture::SetUp() {
    InitStatisticsModel();
    DBInfo->Reset(true);
}

void StatFixture::TearDown() {
    DBInfo->Reset(true);
    std::error_code ec;
    std::filesystem::remove_all(TempDir(), ec);
    std::filesystem::create_directories(TempDir(), ec);
}

bool StatFixture::ParseAsFile(const std::string& text, const std::string& name) {
    const std::string path = TempPath(name);
    WriteFile(path, text);
    return ParseStatFile(path);
}

std::vector<std::string> StatFixture::Shown() const {
    std::vector<std::string> r;
    for (const ShownMessage& m : Dialogs.Messages) r.push_back(m.Text);
    return r;
}

TRelation* StatFixture::Table(const std::string& name) const {
    for (TRelation* r : DBInfo->Relations)
        if (r->TableName == name) return r;
    return nullptr;
}

TIndex* StatFixture::Index(const std::string& name) const {
    for (TIndex* i : DBInfo->Indices)
        if (i->IndexName == name) return i;
    return nullptr;
}

// ---------------------------------------------------------------- independent reading

namespace {
std::string Clean(std::string line) {
    while (!line.empty() && static_cast<unsigned char>(line.back()) <= ' ') line.pop_back();
    return line;
}
bool Find(const std::string& line, const std::regex& re, std::smatch& m) { return std::regex_search(line, m, re); }
}  // namespace

TextStats ReadTextStats(const std::string& text) {
    static const std::regex rePage(R"(^\s*Page size\s+(\d+)$)"), reOIT(R"(Oldest transaction\s+(\d+))"),
        reOAT(R"(Oldest active\s+(\d+))"), reOST(R"(Oldest snapshot\s+(\d+))"), reNxT(R"(Next transaction\s+(\d+))"),
        reDialect(R"(Database dialect\s+(\d+))"), reGen(R"(^\s*Generation\s+(\d+))"), reODS(R"(ODS version\s+(\S+))"),
        reSweep(R"(Sweep interval:\s+(\d+))"), reName(R"(^Database \"(.*)\"$)"), reAttr(R"(^\s*Attributes\s+(.*)$)"),
        // A table line is not indented by four blanks or a tab; its
        // name may begin with a blank.
        reTable(R"(^(?!    |\t)(.+) \((\d+)\)$)"), reBlankTable(R"(^((?:    |\t).*) \((\d+)\)$)"), reIndex(R"(^(?:    |\t)\s*Index (.*) \((\d+)\)$)"),
        reRec(R"(Average record length: ([\d.]+), total records: (\d+))"),
        reVer(R"(Average version length: ([\d.]+), total versions: (\d+), max versions: (\d+))"),
        reSlots(R"(data page slots: (\d+))"), reData(R"(Data pages: (\d+),.*average fill: (\d+)%)"),
        reBand(R"(^\s*(\d+) - \d+% = (\d+)$)"),
        reDepth(R"([Dd]epth: (\d+), leaf buckets: (\d+), nodes: (\d+))"),
        reDup(R"(total dup: (\d+), max dup: (\d+))"), reKey(R"([Aa]verage data length: ([\d.]+))");
    TextStats s;
    bool blocks = false;
    TextTable* table = nullptr;
    TextIndex* index = nullptr;
    std::smatch m;
    TStringList lines;
    for (const std::string& raw : SplitLines(text))
        if (!Clean(raw).empty()) lines.push_back(Clean(raw));
    for (size_t at = 0; at < lines.size(); ++at) {
        const std::string& line = lines[at];
        // An indented "Index NAME (id)" is an index when its block follows;
        // otherwise (a table whose name begins with four blanks) a table.
        static const std::regex reIndexNext(R"(^\s+(Root page:|Depth:))");
        const bool indexBlockNext = at + 1 < lines.size() && std::regex_search(lines[at + 1], reIndexNext);
        if (!blocks) {
            if (Find(line, rePage, m)) s.PageSize = std::stoi(m[1]);
            if (Find(line, reOIT, m)) s.OIT = std::stoll(m[1]);
            if (Find(line, reOAT, m)) s.OAT = std::stoll(m[1]);
            if (Find(line, reOST, m)) s.OST = std::stoll(m[1]);
            if (Find(line, reNxT, m)) s.NxT = std::stoll(m[1]);
            if (Find(line, reDialect, m)) s.Dialect = std::stoi(m[1]);
            if (Find(line, reGen, m)) s.Generation = std::stoll(m[1]);
            if (Find(line, reODS, m)) s.ODS = m[1];
            if (Find(line, reSweep, m)) s.Sweep = std::stoi(m[1]);
            if (Find(line, reName, m)) s.DbName = m[1];
            if (Find(line, reAttr, m)) s.Attrib = m[1];
            if (line.find("Analyzing database pages") != std::string::npos) blocks = true;
            continue;
        }
        if (Find(line, reTable, m) || (blocks && !indexBlockNext && std::regex_match(line, m, reBlankTable))) {
            s.Tables.push_back(TextTable());
            table = &s.Tables.back();
            index = nullptr;
            table->Name = m[1];
            table->Id = std::stoi(m[2]);
        } else if (table && Find(line, reIndex, m)) {
            table->Indices.push_back(TextIndex());
            index = &table->Indices.back();
            index->Name = m[1];
            index->Id = std::stoi(m[2]);
        } else if (index) {
            if (Find(line, reDepth, m)) {
                index->Depth = std::stoi(m[1]);
                index->Leafs = std::stoi(m[2]);
                index->Nodes = std::stoll(m[3]);
            }
            if (Find(line, reDup, m)) {
                index->TotalDup = std::stoll(m[1]);
                index->MaxDup = std::stoll(m[2]);
            }
            if (Find(line, reKey, m)) index->KeyLen = std::stod(m[1]);
            if (Find(line, reBand, m)) index->Fill[std::stoi(m[1]) / 20] = std::stoi(m[2]);
        } else if (table) {
            if (Find(line, reRec, m)) {
                table->HasRecords = true;
                table->RecLen = std::stod(m[1]);
                table->Records = std::stoll(m[2]);
            }
            if (Find(line, reVer, m)) {
                table->VerLen = std::stod(m[1]);
                table->Versions = std::stoll(m[2]);
                table->MaxVer = std::stoi(m[3]);
            }
            if (Find(line, reSlots, m)) table->Slots = std::stoi(m[1]);
            if (Find(line, reData, m)) {
                table->HasPages = true;
                table->DataPages = std::stoi(m[1]);
                table->AverageFill = std::stoi(m[2]);
            }
            if (Find(line, reBand, m)) table->Fill[std::stoi(m[1]) / 20] = std::stoi(m[2]);
        }
    }
    return s;
}

void ExpectModelMatchesText(const TextStats& t) {
    const TDatabaseInfo& db = *DBInfo;
    EXPECT_EQ(db.PageSize, t.PageSize);
    EXPECT_EQ(db.OIT, t.OIT);
    EXPECT_EQ(db.OAT, t.OAT);
    EXPECT_EQ(db.OST, t.OST);
    EXPECT_EQ(db.NxT, t.NxT);
    EXPECT_EQ(db.Dialect, t.Dialect);
    EXPECT_EQ(db.Generation, t.Generation);
    EXPECT_EQ(db.ODS, t.ODS);
    EXPECT_EQ(db.Sweep, t.Sweep);
    EXPECT_EQ(db.DbName, t.DbName);
    EXPECT_EQ(db.Attrib, t.Attrib);
    EXPECT_EQ(db.FW, t.Attrib.find("force write") != std::string::npos ? 1 : 0);

    size_t totalIndices = 0;
    ASSERT_EQ(db.Relations.size(), t.Tables.size());
    for (size_t ti = 0; ti < t.Tables.size(); ++ti) {
        const TextTable& tt = t.Tables[ti];
        const TRelation& r = *db.Relations[ti];
        SCOPED_TRACE("table " + tt.Name);
        EXPECT_EQ(r.TableName, tt.Name);
        EXPECT_EQ(r.Id, tt.Id);
        EXPECT_EQ(r.Name(), "Relation" + std::to_string(tt.Id));
        EXPECT_EQ(r.Owner(), &db);
        EXPECT_EQ(r.Records, tt.Records);
        EXPECT_DOUBLE_EQ(r.RecLen, tt.RecLen);
        EXPECT_EQ(r.Versions, tt.Versions);
        EXPECT_DOUBLE_EQ(r.VerLen, tt.VerLen);
        EXPECT_EQ(r.MaxVer, tt.MaxVer);
        EXPECT_EQ(r.DataPages, tt.DataPages);
        EXPECT_EQ(r.PageSlots, tt.Slots);
        EXPECT_EQ(r.AverageFill, tt.AverageFill);
        const int32_t bands[5] = {r.Fill20, r.Fill40, r.Fill60, r.Fill80, r.Fill100};
        for (int b = 0; b < 5; ++b) EXPECT_EQ(bands[b], tt.Fill[b]) << "band " << b;
        EXPECT_NEAR(r.SizeMB, static_cast<double>(tt.DataPages) * t.PageSize / 1048576.0, 1e-12);
        if (tt.Records > 0 && tt.DataPages > 0) {
            const double real = (tt.Records * (17.2 + tt.RecLen) + tt.Versions * (17.2 + tt.VerLen)) * 100.0 /
                                (static_cast<double>(t.PageSize) * tt.DataPages);
            EXPECT_NEAR(r.RealFill, real, 0.5 + 1e-9);
        } else {
            EXPECT_EQ(r.RealFill, 0);
        }

        double isize = 0;
        size_t found = 0;
        for (const TIndex* i : db.Indices)
            if (i->Relation == &r) ++found;
        EXPECT_EQ(found, tt.Indices.size());
        for (const TextIndex& ti2 : tt.Indices) {
            SCOPED_TRACE("index " + ti2.Name);
            ASSERT_LT(totalIndices, db.Indices.size());
            const TIndex& i = *db.Indices[totalIndices++];
            EXPECT_EQ(i.IndexName, ti2.Name);
            EXPECT_EQ(i.id, ti2.Id);
            EXPECT_EQ(i.Relation, &r);
            EXPECT_EQ(i.Owner(), &r);
            EXPECT_EQ(i.Name(), std::string(r.Name()) + "Index" + std::to_string(ti2.Id));
            EXPECT_EQ(i.Depth, ti2.Depth);
            EXPECT_EQ(i.Leafs, ti2.Leafs);
            EXPECT_EQ(i.Nodes, ti2.Nodes);
            EXPECT_EQ(i.TotalDup, ti2.TotalDup);
            EXPECT_EQ(i.MaxDup, ti2.MaxDup);
            EXPECT_DOUBLE_EQ(i.KeyLen, ti2.KeyLen);
            EXPECT_EQ(i.Uniques, ti2.Nodes - ti2.TotalDup);
            const int64_t u = ti2.Nodes - ti2.TotalDup;
            EXPECT_FLOAT_EQ(i.Sel, u > 0 ? static_cast<float>(1.0 / static_cast<double>(u)) : 0.0f);
            const int32_t ib[5] = {i.Fill20, i.Fill40, i.Fill60, i.Fill80, i.Fill100};
            for (int b = 0; b < 5; ++b) EXPECT_EQ(ib[b], ti2.Fill[b]) << "band " << b;
            if (ti2.Leafs > 0) {
                const double avg = (ti2.Fill[0] * 20.0 + ti2.Fill[1] * 40.0 + ti2.Fill[2] * 60.0 + ti2.Fill[3] * 80.0 +
                                    ti2.Fill[4] * 100.0) / ti2.Leafs;
                EXPECT_NEAR(i.AverageFill, avg, 0.5 + 1e-9);
            } else {
                EXPECT_EQ(i.AverageFill, 0);
            }
            EXPECT_NEAR(i.SizeMb, static_cast<double>(ti2.Leafs) * t.PageSize / 1048576.0, 1e-12);
            EXPECT_FALSE(i.Problem);
            isize += i.SizeMb;
        }
        EXPECT_NEAR(r.ISizeMB, isize, 1e-12);
        EXPECT_FALSE(r.Problem);
    }
    EXPECT_EQ(db.Indices.size(), totalIndices);
}

}  // namespace dv::test
