// How long ReadMetadata takes for a large schema: 2000 tables of 10 columns
// and 3 indices each on the local server. Run by hand:
//   build/bench/ReadMetadataBench            (creates the database once, keeps it)
//   build/bench/ReadMetadataBench --drop     (removes it afterwards)
// SYSDBA's password comes from DRAVOLT_FB_PASSWORD (default masterkey).
#include <sys/stat.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "model/StatParser.h"
#include "model/dkmain.h"
#include "server/DMData.h"

using namespace dv;

namespace {

constexpr int kTables = 2000;
constexpr int kColumns = 10;
constexpr int kIndices = 3;

std::string Password() {
    const char* pw = std::getenv("DRAVOLT_FB_PASSWORD");
    return pw && *pw ? pw : "masterkey";
}

bool Exists(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

// The schema is made by the server in one block: thousands of separate DDL
// statements through the command-line tool take minutes.
int CreateDatabase(const std::string& path) {
    std::string script = "/tmp/dravolt-bench-metadata.sql";
    std::ofstream f(script);
    f << "create database 'localhost:" << path << "' user 'SYSDBA' password '" << Password()
      << "' page_size 8192;\n";
    std::string columns;
    for (int c = 0; c < kColumns; ++c)
        columns += std::string(c ? ", " : "") + "C" + std::to_string(c) +
                   (c % 3 == 0 ? " integer" : c % 3 == 1 ? " varchar(30)" : " numeric(15,2)");
    f << "set term ^;\nexecute block as declare t integer = 0; begin\n"
      << "  while (t < " << kTables << ") do begin\n"
      << "    execute statement 'create table BT' || t || ' (" << columns << ")';\n"
      << "    t = t + 1;\n  end\nend^\ncommit^\n"
      << "execute block as declare t integer = 0; declare i integer; begin\n"
      << "  while (t < " << kTables << ") do begin\n    i = 0;\n"
      << "    while (i < " << kIndices << ") do begin\n"
      << "      execute statement 'create index BX' || t || '_' || i || ' on BT' || t || ' (C' || i || ', C' || (i + 3) || ')';\n"
      << "      i = i + 1;\n    end\n    t = t + 1;\n  end\nend^\nset term ;^\ncommit;\n";
    f.close();
    std::string cmd = "isql-fb -q -i " + script;
    int rc = std::system(cmd.c_str());
    std::remove(script.c_str());
    return rc;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string path = "/tmp/dravolt-fb/dvbench_metadata.fdb";
    bool drop = argc > 1 && std::string(argv[1]) == "--drop";

    if (!Exists(path)) {
        std::printf("creating %d tables with %d columns and %d indices each ...\n", kTables, kColumns, kIndices);
        if (CreateDatabase(path) != 0) {
            std::fprintf(stderr, "could not create %s\n", path.c_str());
            return 1;
        }
    }

    InitStatisticsModel();
    TDM dm(nullptr);
    dm.SetServiceParams("localhost", path, "SYSDBA", Password(), 0);

    TStringList lines;
    dm.IBStatService->Activate();
    dm.IBStatService->ServiceStart();
    while (!dm.IBStatService->Eof()) {
        std::string l = dm.IBStatService->GetNextLine();
        if (!dm.IBStatService->Eof()) lines.push_back(l);
    }
    dm.IBStatService->Deactivate();
    if (!ParseStatLines(lines)) {
        std::fprintf(stderr, "the statistics did not parse\n");
        return 1;
    }
    std::printf("model: %zu tables, %zu indices\n", DBInfo->Relations.size(), DBInfo->Indices.size());

    for (int run = 1; run <= 3; ++run) {
        auto start = std::chrono::steady_clock::now();
        dm.ReadMetadata();
        double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        size_t columns = 0;
        for (TRelation* r : DBInfo->Relations) columns += r->Fields.size();
        std::printf("ReadMetadata run %d: %.3f s (%zu columns)\n", run, s, columns);
    }

    if (drop) {
        std::string cmd = "echo \"connect 'localhost:" + path + "' user 'SYSDBA' password '" + Password() +
                          "'; drop database;\" | isql-fb -q";
        std::system(cmd.c_str());
    }
    return 0;
}
