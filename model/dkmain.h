// The statistics model: one database, its tables, indices and columns, as a
// component tree that streams to the save-file text format.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/streaming/Classes.h"
#include "platform/text/DateUtils.h"

namespace dv {

class TRelation;
class TIndex;
class TRelationField;

// Text that is mostly empty (an index's key columns are known only once read
// from the server): eight bytes, and a block of its own when it has any.
class TRareText {
public:
    TRareText() = default;
    TRareText(const TRareText& o) { Assign(o.str()); }
    TRareText& operator=(const TRareText& o) {
        if (this != &o) Assign(o.str());
        return *this;
    }
    TRareText& operator=(std::string_view s) {
        Assign(s);
        return *this;
    }
    TRareText& operator+=(std::string_view s) {
        if (FText)
            FText->append(s);
        else
            Assign(s);
        return *this;
    }
    const std::string& str() const { return FText ? *FText : Empty(); }
    operator const std::string&() const { return str(); }
    bool empty() const { return !FText; }
    void clear() { FText.reset(); }
    friend bool operator==(const TRareText& a, std::string_view b) { return a.str() == b; }

private:
    static const std::string& Empty() {
        static const std::string empty;
        return empty;
    }
    // Empty text holds no block.
    void Assign(std::string_view s) {
        if (s.empty())
            FText.reset();
        else if (FText)
            FText->assign(s);
        else
            FText = std::make_unique<std::string>(s);
    }
    std::unique_ptr<std::string> FText;
};

class TDatabaseInfo : public TComponent {
public:
    explicit TDatabaseInfo(TComponent* AOwner);
    ~TDatabaseInfo() override;
    const char* ClassName() const override { return "TDatabaseInfo"; }
    const TPropList& Props() const override;
    void GetChildren(const std::function<void(TComponent*)>& proc, TComponent* root) override;

    // Clears header values and totals; with freeItems also the indices, then
    // the tables.
    void Reset(bool freeItems);

    // Published, in declaration order.
    std::string DbName;
    TDateTime CDate = 0;
    TDateTime WDate = 0;
    TDateTime DDate = 0;
    TDateTime Age = 0;
    int32_t PageSize = 0;
    int64_t Generation = 0;
    // 64 bits: engines from ODS 12 on count transactions in 48 bits.
    int64_t OIT = 0;
    int64_t OAT = 0;
    int64_t OST = 0;
    int64_t NxT = 0;
    int32_t FW = 1;
    int32_t Dialect = 0;
    std::string ODS;
    int16_t ODSMajor = 0;
    int16_t ODSMinor = 0;
    std::string Attrib;
    int32_t Sweep = 20000;
    int32_t MaxIName = 0;
    int32_t MaxRName = 0;
    int64_t AverageTran = 1;
    int64_t RecordSize = 0;
    int64_t VersionSize = 0;
    int64_t IndexSize = 0;
    int32_t Pages = 0;
    double Garbage = 0;
    int32_t DBSize = 0;
    bool IsRecordInfoAvailable = false;
    bool IsNullSegInfoAvailable = false;
    std::vector<TIndex*> Indices;        // not stored
    std::vector<TRelation*> Relations;   // not stored
};

class TRelation final : public TComponent {
public:
    explicit TRelation(TComponent* AOwner);
    ~TRelation() override;
    const char* ClassName() const override { return "TRelation"; }
    const TPropList& Props() const override;
    void GetChildren(const std::function<void(TComponent*)>& proc, TComponent* root) override;

    // Ordered by size from the smallest, not as published (Props() gives
    // that order), so that no member leaves a gap and the two bytes fill the
    // base's last word: a model holds 100 000 tables.
    bool Blobs = false;
    bool Problem = false;  // not stored
    int32_t Id = 0;
    int32_t PointerPage = 0;
    int32_t IndexPage = 0;
    int32_t MaxRecLen = 0;
    int32_t MaxVer = 0;
    int32_t DataPages = 0;
    int32_t PageSlots = 0;
    int32_t AverageFill = 0;
    int32_t Fill20 = 0, Fill40 = 0, Fill60 = 0, Fill80 = 0, Fill100 = 0;
    int32_t RealFill = 0;
    int32_t BSegments = 0;
    int32_t BMaxSegLen = 0;
    int32_t BPages = 0;
    int32_t BSlots = 0;
    int32_t BAvgFill = 0;
    int32_t BFill20 = 0, BFill40 = 0, BFill60 = 0, BFill80 = 0, BFill100 = 0;
    double RecLen = 0;
    int64_t Records = 0;
    double VerLen = 0;
    int64_t Versions = 0;
    double SizeMB = 0;
    double ISizeMB = 0;
    double BAvgLen = 0;
    int64_t BTotal = 0;
    int64_t BMaxBLen = 0;
    double BAvgSegLen = 0;
    double BSizeMB = 0;
    std::vector<TRelationField*> Fields;  // not stored
    std::string TableName;
};

class TIndex final : public TComponent {
public:
    using TComponent::TComponent;
    const char* ClassName() const override { return "TIndex"; }
    const TPropList& Props() const override;
    void SetParentComponent(TComponent* parent) override;
    bool HasParent() const override { return true; }

    // Ordered by size from the smallest, not as published (Props() gives
    // that order), so that no member leaves a gap and the two bytes fill the
    // base's last word: a model holds 300 000 indices, 200 bytes each.
    uint8_t Inactive = 0;
    bool Problem = false;  // not stored
    int32_t id = 0;
    int32_t Depth = 0;
    int32_t Leafs = 0;
    int32_t AverageFill = 0;
    int32_t Fill20 = 0, Fill40 = 0, Fill60 = 0, Fill80 = 0, Fill100 = 0;
    float Stats = 0;
    float Sel = 0;
    int64_t Nodes = 0;
    int64_t NullSeg = 0;
    double KeyLen = 0;
    int64_t TotalDup = 0;
    int64_t MaxDup = 0;
    int64_t Uniques = 0;
    double SizeMb = 0;
    TRelation* Relation = nullptr;  // not stored
    TRareText Key;
    std::string IndexName;
};

class TRelationField final : public TComponent {
public:
    using TComponent::TComponent;
    const char* ClassName() const override { return "TRelationField"; }
    const TPropList& Props() const override;
    void SetParentComponent(TComponent* parent) override;
    bool HasParent() const override { return true; }

    int32_t id = 0;
    std::string FieldName;
    int32_t Length = 0;
    int32_t DataType = 0;
    int32_t Precision = 0;
    int32_t Scale = 0;
    int32_t SubType = 0;
    // Characters of a CHAR or VARCHAR column (Length counts bytes, which a
    // multi-byte character set multiplies); 0 when not known.
    int32_t CharLength = 0;
};

// One entry of the server and database list; Database empty = a server.
class TDatabaseItem {
public:
    std::string Server;
    std::string Database;
    std::string Password;
    std::string User;
};

void FreeIndices(TDatabaseInfo& db);
void FreeRelations(TDatabaseInfo& db);
void CalcDatabaseTotals(TDatabaseInfo& db);

// The totals CalcDatabaseTotals puts into the model, summed one table and
// one index at a time in the order the model lists them: a reader adds each
// as it makes it, while its figures and name are still in the cache, instead
// of walking the whole model again afterwards. Each sum is of one kind
// (tables or indices), so adding the two kinds interleaved gives the same
// figures.
class TModelTotals {
public:
    void AddTable(const TRelation& r);
    // pageSize: the model's, as it is when the totals are stored.
    void AddIndex(const TIndex& i, int32_t pageSize);
    void Store(TDatabaseInfo& db) const;

private:
    int64_t FRecordSize = 0;
    int64_t FVersionSize = 0;
    int64_t FIndexSize = 0;
    int32_t FPages = 0;
    int32_t FMaxRName = 0;
    int32_t FMaxIName = 0;
};
// Rebuilds Relations, Indices and each table's Fields from the ownership tree
// (after reading a save file).
void RebuildModelLists(TDatabaseInfo& db);

// Registers the model classes and creates DBInfo (once per process; a second
// call does nothing).
void InitStatisticsModel();

extern TDatabaseInfo* DBInfo;
extern TStringList* UnsavedStatLines;

}  // namespace dv
