#include "model/dkmain.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <type_traits>
#include <typeinfo>

namespace dv {

TDatabaseInfo* DBInfo = nullptr;
TStringList* UnsavedStatLines = nullptr;

namespace {
TPropList WithBase(const TComponent& base, std::initializer_list<TPropInfo> own) {
    TPropList all = base.TComponent::Props();
    all.insert(all.end(), own.begin(), own.end());
    return all;
}
// A stored string property held in a TRareText: the stream goes through Get
// and Set.
template <class C>
TPropInfo RareTextProp(const char* name, TRareText C::*member) {
    TPropInfo p;
    p.Name = name;
    p.Type = TPropType::String;
    p.Get = [member](const TComponent& c) -> TPropValue { return (static_cast<const C&>(c).*member).str(); };
    p.Set = [member](TComponent& c, const TPropValue& v) { static_cast<C&>(c).*member = std::get<std::string>(v); };
    return p;
}
// The model's classes are final: an object is one of them exactly when its
// dynamic type is, which one comparison of type information tells without
// the library's walk of the class tree (a save file asks it of every table,
// index and column, twice).
template <class T>
T* ExactCast(TComponent* c) {
    static_assert(std::is_final_v<T>);
    return c && typeid(*c) == typeid(T) ? static_cast<T*>(c) : nullptr;
}
}  // namespace

// A model holds 100 000 tables and 300 000 indices: each is one heap block
// of the heap's next size up (its size and eight bytes, to sixteen), which
// a member more would make a size larger.
static_assert(sizeof(TIndex) <= 200 && sizeof(TRelation) <= 296);

// ---------------------------------------------------------------- TDatabaseInfo

TDatabaseInfo::TDatabaseInfo(TComponent* AOwner) : TComponent(AOwner) { Reset(false); }

TDatabaseInfo::~TDatabaseInfo() {
    // The lists do not own; the base destructor frees every owned table (and
    // with it the indices and columns the tables own).
    Indices.clear();
    Relations.clear();
}

const TPropList& TDatabaseInfo::Props() const {
    using D = TDatabaseInfo;
    static const TPropList props = WithBase(*this, {
        Prop("DbName", &D::DbName),
        DateProp("CDate", &D::CDate),
        DateProp("WDate", &D::WDate),
        DateProp("DDate", &D::DDate),
        DateProp("Age", &D::Age),
        Prop("PageSize", &D::PageSize),
        Prop("Generation", &D::Generation),
        Prop("OIT", &D::OIT),
        Prop("OAT", &D::OAT),
        Prop("OST", &D::OST),
        Prop("NxT", &D::NxT),
        Prop("FW", &D::FW),
        Prop("Dialect", &D::Dialect),
        Prop("ODS", &D::ODS),
        Prop("ODSMajor", &D::ODSMajor),
        Prop("ODSMinor", &D::ODSMinor),
        Prop("Attrib", &D::Attrib),
        Prop("Sweep", &D::Sweep),
        Prop("MaxIName", &D::MaxIName, true, true, 0),
        Prop("MaxRName", &D::MaxRName, true, true, 0),
        Prop("AverageTran", &D::AverageTran, true, true, 1),
        Prop("RecordSize", &D::RecordSize),
        Prop("VersionSize", &D::VersionSize),
        Prop("IndexSize", &D::IndexSize),
        Prop("Pages", &D::Pages, true, true, 0),
        Prop("Garbage", &D::Garbage),
        Prop("DBSize", &D::DBSize, true, true, 0),
        Prop("IsRecordInfoAvailable", &D::IsRecordInfoAvailable),
        Prop("IsNullSegInfoAvailable", &D::IsNullSegInfoAvailable),
        NotStored("Indices", TPropType::List),
        NotStored("Relations", TPropType::List),
    });
    return props;
}

void TDatabaseInfo::GetChildren(const std::function<void(TComponent*)>& proc, TComponent* root) {
    TComponent::GetChildren(proc, root);
    if (root != this) return;
    // Copy first: a callback must not see the list change under it.
    const auto list = ComponentList();
    const std::vector<TComponent*> owned(list.begin(), list.end());
    for (TComponent* c : owned)
        if (!c->HasParent()) proc(c);
}

void TDatabaseInfo::Reset(bool freeItems) {
    DbName.clear();
    ODS.clear();
    CDate = WDate = DDate = Age = 0;
    PageSize = 0;
    Generation = 0;
    OIT = OAT = OST = NxT = 0;
    FW = 1;
    Dialect = 0;
    ODSMajor = ODSMinor = 0;
    Attrib.clear();
    Sweep = 20000;
    MaxIName = MaxRName = 0;
    AverageTran = 1;
    RecordSize = VersionSize = IndexSize = 0;
    Pages = 0;
    Garbage = 0;
    DBSize = 0;
    IsRecordInfoAvailable = false;
    IsNullSegInfoAvailable = false;
    if (freeItems) {
        FreeIndices(*this);
        FreeRelations(*this);
        // Whatever else a damaged save file left under the model (an index
        // outside any table) goes too, so that nothing is owned afterwards.
        while (ComponentCount() > 0) delete Components(ComponentCount() - 1);
    }
}

// ---------------------------------------------------------------- TRelation

TRelation::TRelation(TComponent* AOwner) : TComponent(AOwner) {}

TRelation::~TRelation() { Fields.clear(); }

const TPropList& TRelation::Props() const {
    using R = TRelation;
    static const TPropList props = WithBase(*this, {
        Prop("Id", &R::Id),
        Prop("TableName", &R::TableName),
        Prop("PointerPage", &R::PointerPage),
        Prop("IndexPage", &R::IndexPage),
        Prop("RecLen", &R::RecLen),
        Prop("Records", &R::Records),
        Prop("MaxRecLen", &R::MaxRecLen),
        Prop("VerLen", &R::VerLen),
        Prop("Versions", &R::Versions),
        Prop("MaxVer", &R::MaxVer),
        Prop("DataPages", &R::DataPages),
        Prop("PageSlots", &R::PageSlots),
        Prop("AverageFill", &R::AverageFill),
        Prop("SizeMB", &R::SizeMB),
        Prop("ISizeMB", &R::ISizeMB),
        Prop("Fill20", &R::Fill20),
        Prop("Fill40", &R::Fill40),
        Prop("Fill60", &R::Fill60),
        Prop("Fill80", &R::Fill80),
        Prop("Fill100", &R::Fill100),
        Prop("RealFill", &R::RealFill),
        Prop("Blobs", &R::Blobs),
        Prop("BAvgLen", &R::BAvgLen),
        Prop("BTotal", &R::BTotal),
        Prop("BMaxBLen", &R::BMaxBLen),
        Prop("BAvgSegLen", &R::BAvgSegLen),
        Prop("BSegments", &R::BSegments),
        Prop("BMaxSegLen", &R::BMaxSegLen),
        Prop("BPages", &R::BPages),
        Prop("BSlots", &R::BSlots),
        Prop("BAvgFill", &R::BAvgFill),
        Prop("BFill20", &R::BFill20),
        Prop("BFill40", &R::BFill40),
        Prop("BFill60", &R::BFill60),
        Prop("BFill80", &R::BFill80),
        Prop("BFill100", &R::BFill100),
        Prop("BSizeMB", &R::BSizeMB),
        NotStored("Fields", TPropType::List),
        Prop("Problem", &R::Problem, false),
    });
    return props;
}

void TRelation::GetChildren(const std::function<void(TComponent*)>& proc, TComponent*) {
    const auto list = ComponentList();
    const std::vector<TComponent*> owned(list.begin(), list.end());
    for (TComponent* c : owned) proc(c);
}

// ---------------------------------------------------------------- TIndex

const TPropList& TIndex::Props() const {
    using I = TIndex;
    static const TPropList props = WithBase(*this, {
        Prop("id", &I::id),
        Prop("IndexName", &I::IndexName),
        Prop("Depth", &I::Depth),
        Prop("Leafs", &I::Leafs),
        Prop("Nodes", &I::Nodes),
        Prop("NullSeg", &I::NullSeg),
        Prop("KeyLen", &I::KeyLen),
        WidenedProp("TotalDup", &I::TotalDup),
        WidenedProp("MaxDup", &I::MaxDup),
        Prop("Uniques", &I::Uniques),
        Prop("SizeMb", &I::SizeMb),
        Prop("AverageFill", &I::AverageFill),
        Prop("Fill20", &I::Fill20),
        Prop("Fill40", &I::Fill40),
        Prop("Fill60", &I::Fill60),
        Prop("Fill80", &I::Fill80),
        Prop("Fill100", &I::Fill100),
        NotStored("Relation", TPropType::Reference),
        RareTextProp("Key", &I::Key),
        Prop("Stats", &I::Stats),
        Prop("Sel", &I::Sel),
        Prop("Inactive", &I::Inactive),
        Prop("Problem", &I::Problem, false),
    });
    return props;
}

void TIndex::SetParentComponent(TComponent* parent) {
    if (!IsLoading()) return;
    auto* rel = ExactCast<TRelation>(parent);
    if (!rel) return;
    rel->InsertComponent(this);
    Relation = rel;
}

// ---------------------------------------------------------------- TRelationField

const TPropList& TRelationField::Props() const {
    using F = TRelationField;
    static const TPropList props = WithBase(*this, {
        Prop("id", &F::id),
        Prop("FieldName", &F::FieldName),
        Prop("Length", &F::Length),
        Prop("DataType", &F::DataType),
        Prop("Precision", &F::Precision),
        Prop("Scale", &F::Scale),
        Prop("SubType", &F::SubType),
        Prop("CharLength", &F::CharLength, true, true, 0),
    });
    return props;
}

void TRelationField::SetParentComponent(TComponent* parent) {
    if (!IsLoading()) return;
    auto* rel = ExactCast<TRelation>(parent);
    if (!rel) return;
    rel->InsertComponent(this);
}

// ---------------------------------------------------------------- whole model

void FreeIndices(TDatabaseInfo& db) {
    std::vector<TIndex*> list;
    list.swap(db.Indices);
    for (TIndex* i : list) delete i;
}

void FreeRelations(TDatabaseInfo& db) {
    std::vector<TRelation*> list;
    list.swap(db.Relations);
    // Last first: each table then leaves the end of the model's list.
    for (auto it = list.rbegin(); it != list.rend(); ++it) {
        TRelation* r = *it;
        std::vector<TRelationField*> fields;
        fields.swap(r->Fields);
        for (TRelationField* f : fields) delete f;
        delete r;
    }
}

namespace {
// Totals saturate at the limits of their type instead of overflowing: a save
// file can hold any values, and a size that has run over is shown as the
// largest one rather than as a wrapped, possibly negative number.
int64_t SatAdd(int64_t a, int64_t b) {
    int64_t r;
    if (!__builtin_add_overflow(a, b, &r)) return r;
    return b > 0 ? INT64_MAX : INT64_MIN;
}
int64_t SatMul(int64_t a, int64_t b) {
    int64_t r;
    if (!__builtin_mul_overflow(a, b, &r)) return r;
    return (a < 0) != (b < 0) ? INT64_MIN : INT64_MAX;
}
int32_t SatAdd32(int32_t a, int32_t b) {
    int32_t r;
    if (!__builtin_add_overflow(a, b, &r)) return r;
    return b > 0 ? INT32_MAX : INT32_MIN;
}
// The nearest integer, halves to the even neighbour; beyond the 64-bit range
// the nearest limit, NaN 0.
int64_t NearestSat(double x) {
    if (std::isnan(x)) return 0;
    const double r = std::nearbyint(x);
    if (r >= 9223372036854775808.0) return INT64_MAX;
    if (r < -9223372036854775808.0) return INT64_MIN;
    return static_cast<int64_t>(r);
}
// In characters: the widths of the name columns of the report's lists.
int32_t NameLength(const std::string& s) {
    const size_t chars = Utf8Length(s);
    return chars > static_cast<size_t>(INT32_MAX) ? INT32_MAX : static_cast<int32_t>(chars);
}
}  // namespace

void TModelTotals::AddTable(const TRelation& r) {
    FMaxRName = std::max(FMaxRName, NameLength(r.TableName));
    // 17 bytes of overhead per record here (the fill estimates use 17.2).
    FRecordSize = SatAdd(FRecordSize, SatMul(r.Records, NearestSat(r.RecLen + 17)));
    FVersionSize = SatAdd(FVersionSize, SatMul(r.Versions, NearestSat(r.VerLen + 17)));
    FPages = SatAdd32(FPages, r.DataPages);
}

void TModelTotals::AddIndex(const TIndex& i, int32_t pageSize) {
    FMaxIName = std::max(FMaxIName, NameLength(i.IndexName));
    FIndexSize = SatAdd(FIndexSize, static_cast<int64_t>(i.Leafs) * pageSize);
}

void TModelTotals::Store(TDatabaseInfo& db) const {
    db.RecordSize = FRecordSize;
    db.VersionSize = FVersionSize;
    db.Pages = FPages;
    db.MaxRName = FMaxRName;
    db.MaxIName = FMaxIName;
    // No record bytes (possible only in an edited save file): no percentage.
    db.Garbage = db.VersionSize == 0 || db.RecordSize == 0
                     ? 0
                     : static_cast<double>(db.VersionSize) / (static_cast<double>(db.RecordSize) / 100);
    db.IndexSize = SatAdd(FIndexSize, FIndexSize / 100);
}

void CalcDatabaseTotals(TDatabaseInfo& db) {
    TModelTotals totals;
    for (const TRelation* r : db.Relations) totals.AddTable(*r);
    for (const TIndex* i : db.Indices) totals.AddIndex(*i, db.PageSize);
    totals.Store(db);
}

void RebuildModelLists(TDatabaseInfo& db) {
    db.Relations.clear();
    db.Indices.clear();
    for (TComponent* c : db.ComponentList()) {
        auto* rel = ExactCast<TRelation>(c);
        if (!rel) continue;
        db.Relations.push_back(rel);
        rel->Fields.clear();
        for (TComponent* o : rel->ComponentList()) {
            if (auto* idx = ExactCast<TIndex>(o)) {
                idx->Relation = rel;
                db.Indices.push_back(idx);
            } else if (auto* f = ExactCast<TRelationField>(o)) {
                rel->Fields.push_back(f);
            }
        }
    }
}

void InitStatisticsModel() {
    if (DBInfo) return;
    RegisterComponentClass<TRelation>("TRelation");
    RegisterComponentClass<TIndex>("TIndex");
    RegisterComponentClass<TRelationField>("TRelationField");
    DBInfo = new TDatabaseInfo(nullptr);
    DBInfo->SetName("DBInfo");
}

}  // namespace dv
