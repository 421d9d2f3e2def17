// Parse benchmark: writes a statistics text of N tables with three indices
// each in the layout of current engines, with names as real schemas have
// them, then times
//   - a plain line count over the file (the floor for any reader),
//   - reading every line through the file source,
//   - ParseStatFile (reset, parse, totals), with the model's heap use: once
//     into a fresh heap (the first load of a process, where every page of the
//     model is faulted in; on a virtual machine that fault cost can exceed
//     the parse itself) and then as every later load, on the heap the
//     previous model gave back,
//   - making the model's save-file text in memory, and that plus writing it
//     (against a plain write of the same bytes), and loading it back as the
//     program opens a save file (against a plain read of the same bytes in
//     the same blocks and the text parse of the same model; like the parse,
//     into a model that was reset beforehand).
// Each figure is the median of the runs, all in this one process, printed
// beside its floor and its goal. With runs=0 only the text is written (for
// the batch and grid benchmarks).
//
//   parse_bench [tables=20000] [file=/tmp/dravolt-parse-bench.txt] [runs=5]
#include <fcntl.h>
#include <malloc.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <unordered_set>
#include <vector>

#include "model/StatFile.h"
#include "model/StatParser.h"
#include "model/dkmain.h"
#include "platform/streaming/ComponentText.h"
#include "platform/stores/FileIO.h"

using namespace dv;

namespace {

using Clock = std::chrono::steady_clock;

// The save file's first line, as the program writes it.
constexpr std::string_view kMagic = "DVT2DATA\r\n";

double Seconds(Clock::time_point since) { return std::chrono::duration<double>(Clock::now() - since).count(); }

void WriteBands(std::string& out, const char* indent, unsigned seed) {
    static const char* const bands[] = {" 0 - 19%", "20 - 39%", "40 - 59%", "60 - 79%", "80 - 99%"};
    out += indent;
    out += "Fill distribution:\n";
    for (int b = 0; b < 5; ++b) {
        out += indent;
        out += bands[b];
        out += " = " + std::to_string((seed >> b) % 7 * (b + 1)) + "\n";
    }
}

// A well-spread hash of a number (the finaliser of MurmurHash3).
unsigned Mix(unsigned h) {
    h ^= h >> 16;
    h *= 0x85ebca6bu;
    h ^= h >> 13;
    h *= 0xc2b2ae35u;
    return h ^ (h >> 16);
}

// Names as real schemas have them: a module prefix and one to three words
// for a table (EDI_ITEM_ARCHIVE), and for its three indices a primary key, a
// foreign key and a search index (IDX_REP_SERIAL_QUEUE_TYPE_ID). Duplicates
// get a number, as a schema's designer would add one.
class TSchemaNames {
public:
    std::string Table(unsigned seed) {
        static const char* const modules[] = {"EDI", "REP", "ACC", "INV", "HR",  "CRM", "WMS", "POS",
                                              "GL",  "AP",  "AR",  "SYS", "DOC", "PRD", "QA",  "LOG",
                                              "MRP", "CRD", "BIL", "PAY", "TMS", "SRV", "MKT", "WEB"};
        std::string name = modules[seed % 24];
        static const unsigned counts[] = {1, 2, 2, 2, 2, 2, 2, 2, 3, 3, 3, 3, 3, 3, 3, 3};
        const unsigned words = counts[(seed >> 5) % 16];
        for (unsigned w = 0; w < words; ++w) name += std::string("_") + Word(seed >> (9 + 7 * w));
        std::string unique = name;
        for (int n = 2; !FTaken.insert(unique).second; ++n) unique = name + "_" + std::to_string(n);
        return unique;
    }
    static std::string Index(const std::string& table, int i, unsigned seed) {
        if (i == 0) return "PK_" + table;
        if (i == 1) return "FK_" + table + "_" + Word(seed >> 3);
        return "IDX_" + table + "_" + Word(seed >> 9) + "_ID";
    }

private:
    static const char* Word(unsigned seed) {
        static const char* const words[] = {
            "ITEM",     "ORDER",    "SERIAL",   "QUEUE",    "ARCHIVE",   "CUSTOMER", "INVOICE",  "PAYMENT",
            "STOCK",    "MOVEMENT", "PRICE",    "LINE",     "HEADER",    "BATCH",    "STATUS",   "TYPE",
            "ADDRESS",  "CONTACT",  "SHIPMENT", "RETURN",   "ACCOUNT",   "LEDGER",   "ENTRY",    "BALANCE",
            "USER",     "ROLE",     "GROUP",    "DEVICE",   "EVENT",     "AUDIT",    "REQUEST",  "RESPONSE",
            "MESSAGE",  "FILE",     "TAX",      "RATE",     "CURRENCY",  "SITE",     "LOCATION", "VENDOR",
            "CONTRACT", "PRODUCT",  "CATEGORY", "DISCOUNT", "SCHEDULE",  "TASK",     "PROJECT",  "EMPLOYEE",
            "BRANCH",   "REGION",   "COUNTRY",  "CARRIER",  "ROUTE",     "VEHICLE",  "DRIVER",   "CLAIM",
            "POLICY",   "NOTE",     "COMMENT",  "HISTORY",  "SNAPSHOT",  "LOG",      "CONFIG",   "PARAM"};
        return words[seed % 64];
    }
    std::unordered_set<std::string> FTaken;
};

std::string Generate(int tables) {
    std::string out;
    out.reserve(static_cast<size_t>(tables) * 2400 + 4096);
    out += "\nDatabase \"/data/bench.fdb\"\nGstat execution time Tue Dec  8 19:37:53 2026\n\n"
           "Database header page information:\n\tFlags\t\t\t0\n\tGeneration\t\t123456\n"
           "\tSystem Change Number\t0\n\tPage size\t\t8192\n\tODS version\t\t12.0\n"
           "\tOldest transaction\t1000\n\tOldest active\t\t1200\n\tOldest snapshot\t\t1100\n"
           "\tNext transaction\t1500\n\tDatabase dialect\t3\n\tCreation date\t\tDec 8, 2025 19:37:52\n"
           "\tAttributes\t\tforce write\n\n    Variable header data:\n\t*END*\n\n\n"
           "Database file sequence:\nFile /data/bench.fdb is the only file\n\nAnalyzing database pages ...\n";
    TSchemaNames names;
    for (int t = 0; t < tables; ++t) {
        const unsigned seed = static_cast<unsigned>(t) * 2654435761u;
        const std::string name = names.Table(Mix(static_cast<unsigned>(t)));
        const int records = 1000 + static_cast<int>(seed % 100000);
        const int pages = records / 50 + 1;
        out += name + " (" + std::to_string(128 + t) + ")\n";
        out += "    Primary pointer page: " + std::to_string(200 + t * 7) + ", Index root page: " +
               std::to_string(201 + t * 7) + "\n";
        out += "    Total formats: 1, used formats: 1\n";
        out += "    Average record length: " + std::to_string(20 + seed % 300) + ".57, total records: " +
               std::to_string(records) + "\n";
        out += "    Average version length: 14.16, total versions: " + std::to_string(seed % 500) +
               ", max versions: 1\n";
        out += "    Average fragment length: 0.00, total fragments: 0, max fragments: 0\n";
        out += "    Average unpacked length: 700.00, compression ratio: 10.06\n";
        out += "    Pointer pages: 1, data page slots: " + std::to_string(pages + 2) + "\n";
        out += "    Data pages: " + std::to_string(pages) + ", average fill: " + std::to_string(40 + seed % 55) + "%\n";
        out += "    Primary pages: " + std::to_string(pages) + ", secondary pages: 0, swept pages: 0\n";
        out += "    Empty pages: 0, full pages: " + std::to_string(pages / 2) + "\n";
        WriteBands(out, "\t", seed);
        out += "\n";
        for (int i = 0; i < 3; ++i) {
            const int leafs = 1 + records / 400 * (i + 1);
            out += "    Index " + TSchemaNames::Index(name, i, seed) + " (" + std::to_string(i) + ")\n";
            out += "\tRoot page: " + std::to_string(300 + t * 7 + i) + ", depth: " + std::to_string(1 + leafs / 100) +
                   ", leaf buckets: " + std::to_string(leafs) + ", nodes: " + std::to_string(records) + "\n";
            out += "\tAverage node length: 4.56, total dup: " + std::to_string(i == 0 ? 0 : records / (i + 2)) +
                   ", max dup: " + std::to_string(i * 7) + "\n";
            out += "\tAverage key length: 3.01, compression ratio: 4.08\n";
            out += "\tAverage prefix length: 11.26, average data length: 1.01\n";
            out += "\tClustering factor: " + std::to_string(records / 3) + ", ratio: 0.20\n";
            WriteBands(out, "\t    ", seed >> i);
            out += "\n";
        }
    }
    out += "Gstat completion time Tue Dec  8 19:37:53 2026\n";
    return out;
}

size_t HeapInUse() { return mallinfo2().uordblks; }

long PageFaults() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_minflt + u.ru_majflt;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

}  // namespace

// The floor of a save file's read: its bytes in the blocks the program
// reads it in, into one buffer. False, with a message, when they are not the
// `size` bytes written.
bool ReadInBlocks(const std::string& path, size_t size) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        std::fprintf(stderr, "cannot open %s\n", path.c_str());
        return false;
    }
    static std::vector<char> block(kTextBlockSize);
    size_t total = 0;
    ssize_t n;
    while ((n = ::read(fd, block.data(), block.size())) > 0) total += static_cast<size_t>(n);
    ::close(fd);
    if (total != size) {
        std::fprintf(stderr, "cannot read back %s\n", path.c_str());
        return false;
    }
    return true;
}

int main(int argc, char** argv) {
    const int tables = argc > 1 ? std::atoi(argv[1]) : 20000;
    const std::string path = argc > 2 ? argv[2] : "/tmp/dravolt-parse-bench.txt";
    const int runs = argc > 3 ? std::max(0, std::atoi(argv[3])) : 5;
    const std::string dvtPath = path + ".dvt";

    double mb;
    {
        const std::string text = Generate(tables);
        std::ofstream(path, std::ios::binary) << text;
        mb = static_cast<double>(text.size()) / 1e6;
        std::printf("text: %d tables, %d indices, %.1f MB in %s\n", tables, tables * 3, mb, path.c_str());
    }
    if (runs == 0) return 0;
    InitStatisticsModel();

    // The first load of a process: the model's pages are new to it.
    DBInfo->Reset(true);
    malloc_trim(0);
    const long faultsBefore = PageFaults();
    auto coldStart = Clock::now();
    if (!ParseStatFile(path)) return 1;
    const double cold = Seconds(coldStart);
    const long coldFaults = PageFaults() - faultsBefore;

    std::vector<double> counts, sources, parses, makes, writes, plainWrites, reads, plainReads;
    size_t lines = 0, modelBytes = 0, dvtSize = 0;
    for (int run = 0; run < runs; ++run) {
        // Plain line count: read in blocks and count line feeds.
        auto start = Clock::now();
        {
            FILE* f = std::fopen(path.c_str(), "rb");
            static char buf[1 << 18];
            size_t n, count = 0;
            while ((n = std::fread(buf, 1, sizeof buf, f)) > 0)
                for (const char* p = buf; (p = static_cast<const char*>(std::memchr(p, '\n', buf + n - p))); ++p)
                    ++count;
            std::fclose(f);
            lines = count;
        }
        counts.push_back(Seconds(start));

        // Every line through the reader's file source.
        start = Clock::now();
        {
            TTextFileSource source(path);
            std::string line;
            while (!source.Eof()) source.ReadStatLine(line);
        }
        sources.push_back(Seconds(start));

        DBInfo->Reset(true);
        const size_t before = HeapInUse();
        start = Clock::now();
        if (!ParseStatFile(path)) return 1;
        parses.push_back(Seconds(start));
        modelBytes = HeapInUse() - before;
        if (DBInfo->Relations.size() != static_cast<size_t>(tables) ||
            DBInfo->Indices.size() != static_cast<size_t>(tables) * 3) {
            std::fprintf(stderr, "parse lost tables or indices\n");
            return 1;
        }

        // Save-file text: written behind its magic, then read back.
        start = Clock::now();
        {
            std::string dvt(kMagic);
            WriteComponentText(*DBInfo, dvt);
            makes.push_back(Seconds(start));
            std::ofstream(dvtPath, std::ios::binary) << dvt;
            dvtSize = dvt.size();
            writes.push_back(Seconds(start));
            // The floor: the same bytes, made beforehand, only written.
            start = Clock::now();
            std::ofstream(dvtPath, std::ios::binary) << dvt;
            plainWrites.push_back(Seconds(start));
        }
        // The floor: the same bytes only read.
        start = Clock::now();
        if (!ReadInBlocks(dvtPath, dvtSize)) return 1;
        plainReads.push_back(Seconds(start));
        // As the program opens a save file.
        DBInfo->Reset(true);
        start = Clock::now();
        if (!TStatFile(dvtPath).Load()) return 1;
        reads.push_back(Seconds(start));
        if (DBInfo->Indices.size() != static_cast<size_t>(tables) * 3) {
            std::fprintf(stderr, "save file lost indices\n");
            return 1;
        }
    }
    const double dvtMb = dvtSize / 1e6;
    const double count = Median(counts), source = Median(sources), parse = Median(parses);
    const double write = Median(writes), plainWrite = Median(plainWrites), read = Median(reads);
    const double plainRead = Median(plainReads), make = Median(makes);
    std::printf("medians of %d runs; figure, its floor, the ratio and the goal\n", runs);
    std::printf("line count   %8.3f s  %8.1f MB/s  (%zu lines): the floor of a reader\n", count, mb / count, lines);
    std::printf("file source  %8.3f s  %8.1f MB/s  %6.1fx the line count\n", source, mb / source, source / count);
    std::printf("parse        %8.3f s  %8.1f MB/s  %6.1fx the line count (goal <= 5x)\n", parse, mb / parse,
                parse / count);
    std::printf("first parse  %8.3f s  %8.1f MB/s  %6.1fx the line count (goal <= 8x; a fresh heap: %ld page faults)\n",
                cold, mb / cold, cold / count, coldFaults);
    std::printf("model memory %8.0f bytes per table (table + 3 indices), %.1f MB (goal <= 1200)\n",
                static_cast<double>(modelBytes) / tables, modelBytes / 1e6);
    std::printf("plain write  %8.3f s  %8.1f MB/s  (%.1f MB of save-file text): the floor of a writer\n", plainWrite,
                dvtMb / plainWrite, dvtMb);
    std::printf("dvt text     %8.3f s  %8.1f MB/s  made in memory (goal >= 800 MB/s)\n", make, dvtMb / make);
    std::printf("dvt write    %8.3f s  %8.1f MB/s  %6.2fx the plain write's time: made and written\n", write,
                dvtMb / write, write / plainWrite);
    std::printf("plain read   %8.3f s  %8.1f MB/s: the floor of a reader\n", plainRead, dvtMb / plainRead);
    std::printf("dvt read     %8.3f s  %8.1f MB/s  %6.2fx the plain read's time, %.2fx the text parse's speed "
                "(goal >= 2x the text parse and >= 400 MB/s)\n",
                read, dvtMb / read, read / plainRead, parse / read);
    std::remove(dvtPath.c_str());
    return 0;
}
