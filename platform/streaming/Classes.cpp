#include "platform/streaming/Classes.h"

#include <algorithm>
#include <bit>
#include <map>
#include <new>
#include <stdexcept>
#include <utility>

namespace dv {

TPropInfo NotStored(const char* name, TPropType type) {
    TPropInfo p;
    p.Name = name;
    p.Type = type;
    p.Stored = false;
    return p;
}

void TShortName::Assign(std::string_view s) {
    // The old block goes last: `s` may view it.
    char* old = nullptr;
    if (static_cast<unsigned char>(FBytes[kInline]) == kOnHeap) std::memcpy(&old, FBytes, sizeof old);
    if (s.size() <= kInline) {
        // memmove: `s` may be this name's own characters.
        std::memmove(FBytes, s.data(), s.size());
        FBytes[kInline] = static_cast<char>(s.size());
    } else {
        char* p = new char[s.size()];
        std::memcpy(p, s.data(), s.size());
        const size_t len = s.size();
        std::memcpy(FBytes, &p, sizeof p);
        std::memcpy(FBytes + sizeof p, &len, sizeof len);
        FBytes[kInline] = static_cast<char>(kOnHeap);
    }
    delete[] old;
}

void TShortName::Free() {
    if (static_cast<unsigned char>(FBytes[kInline]) != kOnHeap) return;
    char* p;
    std::memcpy(&p, FBytes, sizeof p);
    delete[] p;
    FBytes[kInline] = 0;
}

TComponent::TComponent(TComponent* AOwner) {
    if (AOwner) AOwner->InsertComponent(this);
}

TComponent::~TComponent() {
    FState |= csDestroying;
    // Free what is still owned, last first; each child leaves our list
    // itself, and the last one takes the list with it.
    while (FOwned) delete FOwned->Items()[FOwned->Count - 1];
    if (FOwner) FOwner->RemoveComponent(this);
}

const TPropList& TComponent::Props() const {
    static const TPropList props = [] {
        // A name is set through SetName: the owner's index views the name.
        TPropInfo name;
        name.Name = "Name";
        name.Type = TPropType::String;
        name.Stored = false;
        name.Get = [](const TComponent& c) -> TPropValue { return std::string(c.Name()); };
        name.Set = [](TComponent& c, const TPropValue& v) { c.SetName(std::get<std::string>(v)); };
        return TPropList{name, Prop("Tag", &TComponent::Tag, true, true, 0)};
    }();
    return props;
}

static bool IsValidIdent(std::string_view s) {
    if (s.empty()) return false;
    auto alpha = [](char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_'; };
    if (!alpha(s[0])) return false;
    return std::all_of(s.begin() + 1, s.end(), [&](char c) { return alpha(c) || (c >= '0' && c <= '9'); });
}

size_t NoCaseHash::operator()(std::string_view s) const noexcept {
    // FNV-1a over the upper-cased bytes.
    uint64_t h = 14695981039346656037ull;
    for (char c : s) {
        const unsigned char u = static_cast<unsigned char>(c >= 'a' && c <= 'z' ? c - 32 : c);
        h = (h ^ u) * 1099511628211ull;
    }
    return static_cast<size_t>(h);
}

bool NoCaseEqual::operator()(std::string_view a, std::string_view b) const noexcept { return SameText(a, b); }

// Slots enough for the names at no more than half of them: a table of
// 100 000 names grows to twice the room it needs at most, not four times.
static size_t SlotsFor(size_t names, size_t minSlots) { return std::max(minSlots, std::bit_ceil((names + 1) * 2)); }

TNameSet::TNameSet(size_t expected) : FSlots(SlotsFor(expected, 64)), FMinSlots(FSlots.size()) {}

const TComponent* TNameSet::Find(std::string_view name, uint64_t hash) const {
    for (size_t i = Home(hash);; i = (i + 1) & Mask()) {
        const Slot& s = FSlots[i];
        if (!s.Comp) return nullptr;
        if (s.Comp != Erased() && s.Hash == hash && SameText(s.Comp->Name(), name)) return s.Comp;
    }
}

void TNameSet::Insert(const TComponent* comp, uint64_t hash) {
    // Erased slots count as used, so that a set that names come and go in
    // is cleaned up rather than grown.
    if ((FUsed + 1) * 2 > FSlots.size()) Rehash(SlotsFor(FLive, FMinSlots));
    size_t i = Home(hash);
    while (FSlots[i].Comp && FSlots[i].Comp != Erased()) i = (i + 1) & Mask();
    if (!FSlots[i].Comp) ++FUsed;
    FSlots[i] = {hash, comp};
    ++FLive;
}

void TNameSet::Erase(const TComponent* comp, uint64_t hash) {
    for (size_t i = Home(hash); FSlots[i].Comp; i = (i + 1) & Mask()) {
        if (FSlots[i].Comp == comp) {
            FSlots[i].Comp = Erased();
            --FLive;
            return;
        }
    }
}

void TNameSet::Rehash(size_t slots) {
    std::vector<Slot> old(slots);
    old.swap(FSlots);
    FUsed = 0;
    FLive = 0;
    for (const Slot& s : old)
        if (s.Comp && s.Comp != Erased()) Insert(s.Comp, s.Hash);
}

// Slots that fill an allocation of the heap's sizes exactly (a header and
// 1, 3, 7, 15 ... slots): a table's three indices take one 48-byte block.
TComponent::TOwned* TComponent::NewOwned(uint32_t capacity) {
    void* p = ::operator new(sizeof(TOwned) + capacity * sizeof(TComponent*));
    auto* owned = new (p) TOwned;
    owned->Capacity = capacity;
    return owned;
}

void TComponent::FreeOwned(TOwned* owned) {
    delete owned->Names;
    owned->~TOwned();
    ::operator delete(owned);
}

TComponent* TComponent::Components(int index) const {
    if (index < 0 || index >= ComponentCount()) throw std::out_of_range("component index out of range");
    return FOwned->Items()[index];
}

void TComponent::ValidateRename(TComponent* c, std::string_view oldName, std::string_view newName) {
    if (newName.empty() || SameText(oldName, newName)) return;
    // The index is built for the first check that needs it, not before: an
    // owner whose components are all named unchecked never pays for one.
    if (FOwned && !FOwned->Names && FOwned->Count >= 32) {
        FOwned->Names = new TNameSet(FOwned->Count);
        for (TComponent* o : ComponentList()) IndexName(o, o->Name(), true);
    }
    const auto list = ComponentList();
    const bool taken = Names() ? Names()->Find(newName, TNameSet::Hash(newName)) != nullptr
                               : std::any_of(list.begin(), list.end(), [&](TComponent* other) {
                                     return other != c && SameText(other->Name(), newName);
                                 });
    if (taken) throw EComponentError("A component named " + std::string(newName) + " already exists");
}

void TComponent::SetName(std::string_view name) {
    if (name == Name()) return;
    if (!name.empty() && !IsValidIdent(name))
        throw EComponentError("''" + std::string(name) + "'' is not a valid component name");
    if (FOwner) {
        FOwner->ValidateRename(this, Name(), name);
        FOwner->IndexName(this, Name(), false);
    }
    FName.Assign(name);
    if (FOwner) FOwner->IndexName(this, Name(), true);
}

void TComponent::SetUniqueName(std::string_view name) {
    if (FOwner) FOwner->IndexName(this, Name(), false);
    FName.Assign(name);
    if (FOwner) FOwner->IndexName(this, Name(), true);
}

TComponent* TComponent::FindComponent(std::string_view name) const {
    if (name.empty()) return nullptr;
    for (TComponent* c : ComponentList())
        if (SameText(c->Name(), name)) return c;
    return nullptr;
}

void TComponent::InsertComponent(TComponent* c) {
    if (!c || c->FOwner == this) return;
    ValidateRename(nullptr, std::string_view(), c->Name());
    if (c->FOwner) c->FOwner->RemoveComponent(c);
    if (!FOwned) {
        FOwned = NewOwned(1);
    } else if (FOwned->Count == FOwned->Capacity) {
        TOwned* grown = NewOwned(FOwned->Capacity * 2 + 1);
        std::copy_n(FOwned->Items(), FOwned->Count, grown->Items());
        grown->Count = FOwned->Count;
        grown->Names = std::exchange(FOwned->Names, nullptr);
        FreeOwned(std::exchange(FOwned, grown));
    }
    FOwned->Items()[FOwned->Count++] = c;
    IndexName(c, c->Name(), true);
    c->FOwner = this;
}

void TComponent::IndexName(const TComponent* c, std::string_view name, bool add) {
    if (!Names() || name.empty()) return;
    if (add) Names()->Insert(c, TNameSet::Hash(name));
    else Names()->Erase(c, TNameSet::Hash(name));
}

void TComponent::RemoveComponent(TComponent* c) {
    if (!FOwned) return;
    // From the back: components are mostly freed last first.
    TComponent** items = FOwned->Items();
    uint32_t i = FOwned->Count;
    while (i > 0 && items[i - 1] != c) --i;
    if (i == 0) return;
    std::copy(items + i, items + FOwned->Count, items + i - 1);
    --FOwned->Count;
    IndexName(c, c->Name(), false);
    // An owner left with nothing keeps no list and no index: the next load
    // may name its components unchecked.
    if (FOwned->Count == 0) FreeOwned(std::exchange(FOwned, nullptr));
    c->FOwner = nullptr;
}

void TComponent::GetChildren(const std::function<void(TComponent*)>&, TComponent*) {}

static std::map<std::string, TComponentFactory, std::less<>>& Registry() {
    static std::map<std::string, TComponentFactory, std::less<>> r;
    return r;
}

void RegisterClass(const std::string& className, TComponentFactory factory) {
    Registry()[className] = std::move(factory);
}

const TComponentFactory* FindClass(std::string_view className) {
    auto it = Registry().find(className);
    return it == Registry().end() ? nullptr : &it->second;
}

}  // namespace dv
