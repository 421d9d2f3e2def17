// A component tree with published properties and a class registry: the part
// of the class library that the model and its save files rely on.
//
// A component may own others; owned components are kept in the order they
// became owned and are freed with their owner. Each class lists its published
// properties in declaration order (TPropInfo) so that the text writer and
// reader in ComponentText.h can stream a whole tree.
#pragma once

#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <variant>
#include <vector>

#include "platform/text/SysUtils.h"

namespace dv {

using TStringList = std::vector<std::string>;

enum class TPropType { Integer, Smallint, Byte, Int64, Boolean, Double, Single, DateTime, String, List, Reference };

// Ordinal values (Integer .. Int64, Boolean as 0/1) travel as int64_t, floating
// values as double, strings as std::string.
using TPropValue = std::variant<int64_t, double, std::string>;

class TComponent;

// Hashing and comparing names without regard to ASCII case, so that a set of
// component names is searched without an upper-cased copy of each name.
struct NoCaseHash {
    size_t operator()(std::string_view s) const noexcept;
};
struct NoCaseEqual {
    bool operator()(std::string_view a, std::string_view b) const noexcept;
};

// Components by name, ignoring ASCII case. A slot holds a name's hash and
// the component that has it (the name itself is the component's), so that a
// set of a hundred thousand names costs no allocation or copy per name. The
// caller hashes a name once (Hash) and hands the hash to every call.
class TNameSet {
public:
    // Room for about `expected` names before the table grows.
    explicit TNameSet(size_t expected = 0);
    static uint64_t Hash(std::string_view name) { return NoCaseHash{}(name); }

    // The component named `name` (whose hash is `hash`), or nullptr.
    const TComponent* Find(std::string_view name, uint64_t hash) const;
    void Insert(const TComponent* comp, uint64_t hash);
    // Forgets `comp`, whose name had the hash `hash`.
    void Erase(const TComponent* comp, uint64_t hash);
    // Starts loading the slot a name will be looked up in.
    void Prefetch(uint64_t hash) const { __builtin_prefetch(&FSlots[Home(hash)]); }

private:
    struct Slot {
        uint64_t Hash = 0;
        const TComponent* Comp = nullptr;   // nullptr: never used; Erased(): free again
    };
    static const TComponent* Erased() { return reinterpret_cast<const TComponent*>(&kErasedMark); }
    static inline const char kErasedMark = 0;
    size_t Mask() const { return FSlots.size() - 1; }
    size_t Home(uint64_t hash) const { return static_cast<size_t>((hash * 0x9E3779B97F4A7C15ull) >> 20) & Mask(); }
    void Rehash(size_t slots);

    std::vector<Slot> FSlots;   // a power of two, at most half used
    size_t FUsed = 0;           // slots in use (names and erased ones)
    size_t FLive = 0;           // names
    size_t FMinSlots;
};

// The member a property reads and writes, for the text stream: a save file
// holds a million values, each of which would otherwise go through Get or
// Set and a TPropValue (a string property's text copied on the way). Kind
// None: the property has no plain member, or its Get or Set does more than
// touch it, and the stream goes through Get and Set.
struct TPropField {
    enum TKind : uint8_t { None, Bool, Byte, Int16, Int32, Int64, Float, Double, String };
    TKind Kind = None;
    union {
        bool TComponent::*AsBool = nullptr;
        uint8_t TComponent::*AsByte;
        int16_t TComponent::*AsInt16;
        int32_t TComponent::*AsInt32;
        int64_t TComponent::*AsInt64;
        float TComponent::*AsFloat;
        double TComponent::*AsDouble;
        std::string TComponent::*AsString;
    };
};

struct TPropInfo {
    std::string Name;
    TPropType Type = TPropType::Integer;
    bool Stored = true;          // false: declared never streamed
    bool HasDefault = false;     // a declared default (ordinal types only)
    bool StoreZero = false;      // an Int64 written even when it is 0
    int64_t Default = 0;
    std::function<TPropValue(const TComponent&)> Get;      // empty for List/Reference
    std::function<void(TComponent&, const TPropValue&)> Set;
    TPropField Field;   // set by Prop(); cleared by whoever replaces Get or Set
};
using TPropList = std::vector<TPropInfo>;

namespace detail {
template <class T>
constexpr TPropType PropTypeOf() {
    if constexpr (std::is_same_v<T, bool>) return TPropType::Boolean;
    else if constexpr (std::is_same_v<T, uint8_t>) return TPropType::Byte;
    else if constexpr (std::is_same_v<T, int16_t>) return TPropType::Smallint;
    else if constexpr (std::is_same_v<T, int32_t>) return TPropType::Integer;
    else if constexpr (std::is_same_v<T, int64_t>) return TPropType::Int64;
    else if constexpr (std::is_same_v<T, float>) return TPropType::Single;
    else if constexpr (std::is_same_v<T, double>) return TPropType::Double;
    else if constexpr (std::is_same_v<T, std::string>) return TPropType::String;
    else static_assert(sizeof(T) == 0, "unsupported property type");
}

// Ordinal, floating and string types hold their values alike.
constexpr int ValueClass(TPropType t) {
    switch (t) {
    case TPropType::Double:
    case TPropType::Single:
    case TPropType::DateTime:
        return 1;
    case TPropType::String:
        return 2;
    case TPropType::List:
    case TPropType::Reference:
        return 3;
    default:
        return 0;
    }
}

// The member as one of the base's members: C derives from TComponent without
// a virtual base, so the pointer still names C's member and is only ever
// applied to a C.
template <class C, class T>
TPropField FieldOf(T C::*member) {
    TPropField f;
    const auto base = static_cast<T TComponent::*>(member);
    if constexpr (std::is_same_v<T, bool>) f.Kind = TPropField::Bool, f.AsBool = base;
    else if constexpr (std::is_same_v<T, uint8_t>) f.Kind = TPropField::Byte, f.AsByte = base;
    else if constexpr (std::is_same_v<T, int16_t>) f.Kind = TPropField::Int16, f.AsInt16 = base;
    else if constexpr (std::is_same_v<T, int32_t>) f.Kind = TPropField::Int32, f.AsInt32 = base;
    else if constexpr (std::is_same_v<T, int64_t>) f.Kind = TPropField::Int64, f.AsInt64 = base;
    else if constexpr (std::is_same_v<T, float>) f.Kind = TPropField::Float, f.AsFloat = base;
    else if constexpr (std::is_same_v<T, double>) f.Kind = TPropField::Double, f.AsDouble = base;
    else f.Kind = TPropField::String, f.AsString = base;
    return f;
}
}  // namespace detail

// Declares a stored property that reads and writes the member directly.
// `type` may override the deduced type (a double that is a TDateTime).
template <class C, class T>
TPropInfo Prop(const char* name, T C::*member, bool stored = true, bool hasDefault = false,
               int64_t def = 0, TPropType type = detail::PropTypeOf<T>()) {
    TPropInfo p;
    p.Name = name;
    p.Type = type;
    p.Stored = stored;
    p.HasDefault = hasDefault;
    p.Default = def;
    p.Get = [member](const TComponent& c) -> TPropValue {
        const T& v = static_cast<const C&>(c).*member;
        if constexpr (std::is_same_v<T, std::string>) return v;
        else if constexpr (std::is_floating_point_v<T>) return static_cast<double>(v);
        else return static_cast<int64_t>(v);
    };
    p.Set = [member](TComponent& c, const TPropValue& v) {
        T& f = static_cast<C&>(c).*member;
        if constexpr (std::is_same_v<T, std::string>) f = std::get<std::string>(v);
        else if constexpr (std::is_floating_point_v<T>) f = static_cast<T>(std::get<double>(v));
        else if constexpr (std::is_same_v<T, bool>) f = std::get<int64_t>(v) != 0;
        else f = static_cast<T>(std::get<int64_t>(v));
    };
    // A type given that holds its value otherwise than the member goes the
    // long way, through Get and Set.
    if (detail::ValueClass(type) == detail::ValueClass(detail::PropTypeOf<T>())) p.Field = detail::FieldOf(member);
    return p;
}
// A stored 64-bit property that was once a 32-bit one: written even when it
// is 0, as the 32-bit property was, so that files saved before and after it
// widened are the same bytes for the same values.
template <class C>
TPropInfo WidenedProp(const char* name, int64_t C::*member) {
    TPropInfo p = Prop(name, member);
    p.StoreZero = true;
    return p;
}
// Declared date-time property (a double counting days since 1899-12-30).
template <class C>
TPropInfo DateProp(const char* name, double C::*member) {
    return Prop(name, member, true, false, 0, TPropType::DateTime);
}
// Declared, never-streamed property that has no value of its own here
// (a list or an object reference); kept so the declaration order is complete.
TPropInfo NotStored(const char* name, TPropType type);

// A component's name in 21 bytes: up to 20 characters in place (every name
// the statistics reader makes up, such as "Relation20127Index2", fits), a
// longer one in a block of its own. Byte-aligned, so that it packs beside
// the component's state byte: a model holds hundreds of thousands of them.
class TShortName {
public:
    TShortName() { FBytes[kInline] = 0; }
    ~TShortName() { Free(); }
    TShortName(const TShortName&) = delete;
    TShortName& operator=(const TShortName&) = delete;

    std::string_view View() const {
        const auto n = static_cast<unsigned char>(FBytes[kInline]);
        if (n <= kInline) return {FBytes, n};
        const char* p;
        size_t len;
        std::memcpy(&p, FBytes, sizeof p);
        std::memcpy(&len, FBytes + sizeof p, sizeof len);
        return {p, len};
    }
    // `s` may view this name itself.
    void Assign(std::string_view s);

private:
    static constexpr size_t kInline = 20;
    static constexpr unsigned char kOnHeap = 0xFF;
    void Free();
    // In place: the characters, then their count. On the heap: the block's
    // address and the length, then kOnHeap.
    char FBytes[kInline + 1];
};

enum TComponentState : unsigned { csLoading = 1, csReading = 2, csDestroying = 4 };

class TComponent {
public:
    explicit TComponent(TComponent* AOwner);
    virtual ~TComponent();
    TComponent(const TComponent&) = delete;
    TComponent& operator=(const TComponent&) = delete;

    virtual const char* ClassName() const { return "TComponent"; }
    // Published properties in declaration order, base class first.
    virtual const TPropList& Props() const;

    TComponent* Owner() const { return FOwner; }
    std::string_view Name() const { return FName.View(); }
    // Empty names are always allowed. Otherwise the name must be an identifier
    // (letter or '_' then letters, digits, '_'): EComponentError
    // "''<name>'' is not a valid component name"; and unique (ignoring case)
    // among the owner's components: EComponentError
    // "A component named <name> already exists".
    void SetName(std::string_view name);
    // For a name its maker knows to be an identifier that no sibling holds
    // (built from a number no sibling's name was built from, or checked
    // against a whole tree by a reader that reads names as identifiers): set
    // without looking for a clash; the owner's index, if it keeps one, still
    // learns it.
    void SetUniqueName(std::string_view name);

    int ComponentCount() const { return FOwned ? static_cast<int>(FOwned->Count) : 0; }
    // Raises std::out_of_range for an index outside the list.
    TComponent* Components(int index) const;
    std::span<TComponent* const> ComponentList() const {
        return FOwned ? std::span<TComponent* const>(FOwned->Items(), FOwned->Count) : std::span<TComponent* const>();
    }
    TComponent* FindComponent(std::string_view name) const;

    // Ownership moves: the component leaves its owner's list and is appended
    // to this one's. Raises EComponentError on a name clash in the new owner.
    void InsertComponent(TComponent* c);
    void RemoveComponent(TComponent* c);

    // Streaming protocol: the writer asks the root for its children; the
    // reader tells a new component its enclosing object.
    virtual void GetChildren(const std::function<void(TComponent*)>& proc, TComponent* root);
    virtual void SetParentComponent(TComponent* parent) {}
    virtual bool HasParent() const { return false; }

    unsigned ComponentState() const { return FState; }
    void SetState(unsigned flag, bool on) { FState = static_cast<uint8_t>(on ? (FState | flag) : (FState & ~flag)); }
    bool IsLoading() const { return (FState & csLoading) != 0; }

private:
    // The owned components, in the order they became owned, in one block
    // behind one pointer: most components (an index, a column) own nothing
    // and pay eight bytes for it, not an empty list's 24. The block holds
    // its slots after this header, as many as fill an allocation exactly.
    struct TOwned {
        // The names of the owned components that have one, kept from the
        // first name check of an owner with many components on: a check
        // must not walk every sibling (a model may own 100 000 tables),
        // small owners stay small, and names set unchecked cost nothing
        // until a check comes. Each entry is the component, found by its
        // name, which is re-indexed whenever it changes.
        TNameSet* Names = nullptr;
        uint32_t Count = 0;
        uint32_t Capacity = 0;
        TComponent** Items() { return reinterpret_cast<TComponent**>(this + 1); }
    };
    static TOwned* NewOwned(uint32_t capacity);
    static void FreeOwned(TOwned* owned);
    TNameSet* Names() const { return FOwned ? FOwned->Names : nullptr; }
    void ValidateRename(TComponent* c, std::string_view oldName, std::string_view newName);
    void IndexName(const TComponent* c, std::string_view name, bool add);

    TComponent* FOwner = nullptr;
    TOwned* FOwned = nullptr;

public:
    int32_t Tag = 0;

private:
    // The state and the name end the component at 50 bytes: a derived class
    // places its first small members in what is left of the last word.
    uint8_t FState = 0;
    TShortName FName;
};

// Class registry: the reader creates components by class name with an owner.
using TComponentFactory = std::function<TComponent*(TComponent* owner)>;
void RegisterClass(const std::string& className, TComponentFactory factory);
// nullptr when the class is not registered.
const TComponentFactory* FindClass(std::string_view className);
template <class T>
void RegisterComponentClass(const std::string& className) {
    RegisterClass(className, [](TComponent* owner) -> TComponent* { return new T(owner); });
}

}  // namespace dv
