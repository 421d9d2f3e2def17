// Hand-built models for the model, summary, monitor, grid and report tests:
// builders that add tables, indices and columns the way the parser leaves
// them (owned by the model / their table, listed in Relations / Indices in
// order), a common header, and a loaded, healthy database with nothing to
// report.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>

#include "model/dkmain.h"
#include "model/options.h"
#include "platform/text/DateUtils.h"
#include "platform/text/SysUtils.h"
#include "tests/support/TestSupport.h"

namespace dv::test {

// A table in the model's list, with every count left at zero. A component
// name, when given, is set before the table joins the list, so a name the
// model refuses leaves the list as it was.
inline TRelation* NewTable(const std::string& name, const std::string& componentName = "") {
    auto* r = new TRelation(DBInfo);
    if (!componentName.empty()) r->SetName(componentName);
    r->Id = static_cast<int32_t>(DBInfo->Relations.size()) + 128;
    r->TableName = name;
    DBInfo->Relations.push_back(r);
    return r;
}

// An index of `table` in the model's list, with every count left at zero;
// the component name as for NewTable.
inline TIndex* NewIndex(TRelation* table, const std::string& name, const std::string& componentName = "") {
    auto* i = new TIndex(table);
    if (!componentName.empty()) i->SetName(componentName);
    i->IndexName = name;
    i->Relation = table;
    DBInfo->Indices.push_back(i);
    return i;
}

inline TRelationField* AddField(TRelation* r, const std::string& name, int type, int length = 0) {
    auto* f = new TRelationField(r);
    f->FieldName = name;
    f->DataType = type;
    f->Length = length;
    r->Fields.push_back(f);
    return f;
}

// The header every hand-built model starts from: a dialect 3 database on
// ODS 12.0 created on 1 March 2024.
inline void FillTestHeader(TDatabaseInfo& db, int32_t pageSize) {
    db.DbName = "/data/shop.fdb";
    db.PageSize = pageSize;
    db.FW = 1;
    db.Dialect = 3;
    db.ODS = "12.0";
    db.ODSMajor = 12;
    db.ODSMinor = 0;
    db.CDate = EncodeDate(2024, 3, 1);
}

class DbInfoModelTest : public ::testing::Test {
protected:
    void SetUp() override {
        InitStatisticsModel();
        DBInfo->Reset(true);
        OptionSettings = TOptionSettings();
        Formats = std::make_unique<FixedFormats>();
        TDatabaseInfo& db = *DBInfo;
        FillTestHeader(db, 8192);
        db.Sweep = 0;
        SetCounters(100, 101, 101, 102);
        db.Age = db.CDate + 0.5;   // one day of work
        db.AverageTran = 102;
    }
    void TearDown() override {
        DBInfo->Reset(true);
        OptionSettings = TOptionSettings();
        Formats.reset();
    }
    std::unique_ptr<FixedFormats> Formats;

    // The four transaction counters, oldest first.
    static void SetCounters(int64_t oit, int64_t ost, int64_t oat, int64_t nxt) {
        DBInfo->OIT = oit;
        DBInfo->OST = ost;
        DBInfo->OAT = oat;
        DBInfo->NxT = nxt;
    }

    TRelation* AddTable(const std::string& name, int64_t records = 100, int32_t dataPages = 2) {
        TRelation* r = NewTable(name);
        r->Records = records;
        r->DataPages = dataPages;
        r->PointerPage = 100 + static_cast<int32_t>(DBInfo->Relations.size());
        r->RecLen = 40;
        r->AverageFill = 70;
        if (static_cast<int32_t>(name.size()) > DBInfo->MaxRName) DBInfo->MaxRName = static_cast<int32_t>(name.size());
        return r;
    }
    TIndex* AddIndex(TRelation* table, const std::string& name, int64_t nodes) {
        TIndex* i = NewIndex(table, name);
        i->Nodes = nodes;
        i->Uniques = nodes;
        i->Depth = 2;
        i->AverageFill = 70;
        DBInfo->MaxIName = std::max(DBInfo->MaxIName, static_cast<int32_t>(Utf8Length(name)));
        return i;
    }

    // The first data-page count at which a table counts as very big.
    static int32_t NearPageLimitLow(int32_t pageSize) {
        const int64_t a = static_cast<int64_t>(std::ceil(2147483647.0 / pageSize * 17.476));
        return static_cast<int32_t>(a - a / 5);
    }
    static int32_t NearPageLimitHigh(int32_t pageSize) {
        const int64_t a = static_cast<int64_t>(std::ceil(2147483647.0 / pageSize * 17.476));
        return static_cast<int32_t>(a + a / 100);
    }

    // A table of each kind the ten problem lists hold, named after its list;
    // returns nothing, the model holds them.
    void AddOneOfEachProblem() {
        TRelation* frag = AddTable("FRAG", 1000, 100);   // 100 > 200000/8192, fill 10 < 60
        frag->AverageFill = 10;
        TRelation* vers = AddTable("VERS", 10, 2);
        vers->Versions = 31;                              // 10 < 31/3
        TRelation* blob = AddTable("BLOB", 10, 500);      // capacity far above 10 * 1.44
        TRelation* mass = AddTable("MASS", 10000, 50);
        mass->MaxVer = 1;
        mass->Versions = 6000;                            // > 5000 and 60 % > 10 %
        // Enough records that its pages are not "fragmented with blobs".
        TRelation* big = AddTable("BIG", 300000000, NearPageLimitLow(8192));
        TRelation* empty = AddTable("EMPTY", 0, 0);
        (void)frag; (void)blob; (void)empty;
        TRelation* host = AddTable("HOST", 5000, 100);
        host->AverageFill = 90;
        TIndex* deep = AddIndex(host, "IDX_DEEP", 5000);
        deep->Depth = 4;
        TIndex* bad = AddIndex(host, "IDX_BAD", 5000);
        bad->TotalDup = 4950;                             // > 90 %
        bad->MaxDup = 2000;                               // > 30 %
        bad->Uniques = 50;
        TIndex* useless = AddIndex(host, "IDX_USELESS", 5000);
        useless->Uniques = 1;                             // also a bad index
        useless->TotalDup = 4999;
        useless->MaxDup = 4999;
        TIndex* broken = AddIndex(host, "IDX_BROKEN", 4000);   // 5000 records > 4000 keys
        (void)vers; (void)mass; (void)big; (void)deep; (void)bad; (void)useless; (void)broken;
    }
};

// The text with every CR LF taken out: what wrapping started from.
inline std::string Unwrapped(const std::string& s) { return StringReplaceAll(s, "\r\n", ""); }

}  // namespace dv::test
