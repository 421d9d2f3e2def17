#include "platform/streaming/Classes.h"

#include <algorithm>
#include <bit>
#include <map>

namespace dv {

TPropInfo NotStored(const char* name, TPropType type) {
    TPropInfo p;
    p.Name = name;
    p.Type = type;
    p.Stored = false;
    return p;
}

TComponent::TComponent(TComponent* AOwner) {
    if (AOwner) AOwner->InsertComponent(this);
}

TComponent::~TComponent() {
    FState |= csDestroying;
    // Free what is still owned, last first; each child leaves our list itself.
    while (!FComponents.empty()) {
        TComponent* c = FComponents.back();
        delete c;
    }
    if (FOwner) FOwner->RemoveComponent(this);
}

const TPropList& TComponent::Props() const {
    static const TPropList props = [] {
        // A name is set through SetName: the owner's index views the name.
        TPropInfo name = Prop("Name", &TComponent::FName, false);
        name.Set = [](TComponent& c, const TPropValue& v) { c.SetName(std::get<std::string>(v)); };
        name.Field = TPropField();
        return TPropList{name, Prop("Tag", &TComponent::Tag, true, true, 0)};
    }();
    return props;
}

static bool IsValidIdent(const std::string& s) {
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

void TComponent::ValidateRename(TComponent* c, const std::string& oldName, const std::string& newName) {
    if (newName.empty() || SameText(oldName, newName)) return;
    // The index is built for the first check that needs it, not before: an
    // owner whose components are all named unchecked never pays for one.
    if (!FNames && FComponents.size() >= 32) {
        FNames = std::make_unique<TNameSet>(FComponents.size());
        for (TComponent* o : FComponents) IndexName(o, o->FName, true);
    }
    const bool taken = FNames ? FNames->Find(newName, TNameSet::Hash(newName)) != nullptr
                              : std::any_of(FComponents.begin(), FComponents.end(), [&](TComponent* other) {
                                    return other != c && SameText(other->FName, newName);
                                });
    if (taken) throw EComponentError("A component named " + newName + " already exists");
}

void TComponent::SetName(const std::string& name) {
    if (name == FName) return;
    if (!name.empty() && !IsValidIdent(name))
        throw EComponentError("''" + name + "'' is not a valid component name");
    if (FOwner) {
        FOwner->ValidateRename(this, FName, name);
        FOwner->IndexName(this, FName, false);
    }
    FName = name;
    if (FOwner) FOwner->IndexName(this, FName, true);
}

void TComponent::SetUniqueName(std::string name) {
    if (FOwner) FOwner->IndexName(this, FName, false);
    FName = std::move(name);
    if (FOwner) FOwner->IndexName(this, FName, true);
}

void TComponent::SetFreeName(const std::string& name, uint64_t hash) {
    if (name == FName) return;
    if (!name.empty() && !IsValidIdent(name)) throw EComponentError("''" + name + "'' is not a valid component name");
    if (FOwner) FOwner->IndexName(this, FName, false);
    FName = name;
    if (FOwner && FOwner->FNames && !FName.empty()) FOwner->FNames->Insert(this, hash);
}

TComponent* TComponent::FindComponent(const std::string& name) const {
    if (name.empty()) return nullptr;
    for (TComponent* c : FComponents)
        if (SameText(c->FName, name)) return c;
    return nullptr;
}

void TComponent::InsertComponent(TComponent* c) {
    if (!c || c->FOwner == this) return;
    ValidateRename(nullptr, std::string(), c->FName);
    if (c->FOwner) c->FOwner->RemoveComponent(c);
    FComponents.push_back(c);
    IndexName(c, c->FName, true);
    c->FOwner = this;
}

void TComponent::IndexName(const TComponent* c, const std::string& name, bool add) {
    if (!FNames || name.empty()) return;
    if (add) FNames->Insert(c, TNameSet::Hash(name));
    else FNames->Erase(c, TNameSet::Hash(name));
}

void TComponent::RemoveComponent(TComponent* c) {
    // From the back: components are mostly freed last first.
    auto it = std::find(FComponents.rbegin(), FComponents.rend(), c);
    if (it == FComponents.rend()) return;
    FComponents.erase(std::next(it).base());
    IndexName(c, c->FName, false);
    // An owner left with nothing keeps no index: the next load may name its
    // components unchecked.
    if (FComponents.empty()) FNames.reset();
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
