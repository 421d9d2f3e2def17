#include <gtest/gtest.h>

#include <stdexcept>
#include <vector>

#include "platform/streaming/Classes.h"

using namespace dv;

namespace {
class TThing : public TComponent {
public:
    using TComponent::TComponent;
    const char* ClassName() const override { return "TThing"; }
};
}  // namespace

TEST(Component, OwnedComponentsKeepTheOrderInWhichTheyBecameOwned) {
    // Owners of a few and of many, whose list has grown several times.
    for (const int extra : {0, 6, 40}) {
        SCOPED_TRACE(extra);
        TThing root(nullptr);
        auto* a = new TThing(&root);
        auto* b = new TThing(&root);
        auto* other = new TThing(nullptr);
        root.InsertComponent(other);
        std::vector<TComponent*> more;
        for (int i = 0; i < extra; ++i) more.push_back(new TThing(&root));
        ASSERT_EQ(root.ComponentCount(), 3 + extra);
        EXPECT_EQ(root.Components(0), a);
        EXPECT_EQ(root.Components(1), b);
        EXPECT_EQ(root.Components(2), other);
        EXPECT_THROW(root.Components(3 + extra), std::out_of_range);
        delete a;  // leaves its owner as it goes
        EXPECT_EQ(root.ComponentCount(), 2 + extra);
        EXPECT_EQ(root.Components(0), b);
        if (extra) {
            delete more[2];
            more.erase(more.begin() + 2);
        }
        std::vector<TComponent*> expected{b, other};
        expected.insert(expected.end(), more.begin(), more.end());
        const auto list = root.ComponentList();
        EXPECT_EQ(std::vector<TComponent*>(list.begin(), list.end()), expected);
    }
}

TEST(Component, MovingOwnershipLeavesTheOldOwner) {
    TThing first(nullptr), second(nullptr);
    auto* c = new TThing(&first);
    second.InsertComponent(c);
    EXPECT_EQ(first.ComponentCount(), 0);
    EXPECT_EQ(second.ComponentCount(), 1);
    EXPECT_EQ(c->Owner(), &second);
}

TEST(Component, NamingRules) {
    // A small owner searches its list; one of many components keeps a name
    // index, built at its first check, also over names set unchecked: all
    // must answer alike.
    for (const auto& [siblings, unchecked] : {std::pair{0, false}, {40, false}, {40, true}}) {
        SCOPED_TRACE(std::to_string(siblings) + (unchecked ? " named unchecked" : ""));
        TThing root(nullptr);
        for (int i = 0; i < siblings; ++i) {
            auto* sibling = new TThing(&root);
            if (unchecked)
                sibling->SetUniqueName("S" + std::to_string(i));
            else
                sibling->SetName("S" + std::to_string(i));
        }
        auto* a = new TThing(&root);
        auto* b = new TThing(&root);
        a->SetName("Relation128");
        struct Case { const char* name; const char* error; };
        const Case cases[] = {
            {"relation128", "A component named relation128 already exists"},  // case ignored
            {"1abc", "''1abc'' is not a valid component name"},
            {"a b", "''a b'' is not a valid component name"},
            {"a-b", "''a-b'' is not a valid component name"},
        };
        if (siblings > 0) {
            EXPECT_THROW(b->SetName("s39"), EComponentError);
            // Once the index is kept, a name set unchecked joins it.
            (new TThing(&root))->SetUniqueName("Late");
            EXPECT_THROW(b->SetName("LATE"), EComponentError);
        }
        // Names of up to 20 characters are kept in place, longer ones apart.
        for (const char* before : {"", "Other_Name_Of_21Chars", "Other"}) {
            b->SetName(before);
            for (const Case& c : cases) {
                try {
                    b->SetName(c.name);
                    ADD_FAILURE() << c.name << " was accepted";
                } catch (const EComponentError& e) {
                    EXPECT_EQ(e.Message(), c.error) << c.name;
                }
                // A refused name leaves the old one in place, and still taken.
                EXPECT_EQ(b->Name(), before);
                if (*before) {
                    EXPECT_THROW(a->SetName(before), EComponentError);
                }
            }
        }
        b->SetName("OTHER");   // only the case changes
        b->SetName("_Relation128Index0");
        EXPECT_EQ(b->Name(), "_Relation128Index0");
        // A name made of a part of the component's own name.
        b->SetName("Relation128_Index0_Of_A_Long_Name");
        b->SetUniqueName(b->Name().substr(1));
        EXPECT_EQ(b->Name(), "elation128_Index0_Of_A_Long_Name");
        b->SetUniqueName(b->Name().substr(3, 7));
        EXPECT_EQ(b->Name(), "tion128");
        b->SetUniqueName(b->Name().substr(1));
        EXPECT_EQ(b->Name(), "ion128");
        b->SetName("_Relation128Index0");
        a->SetName("Other");   // the name b gave up is free again
        EXPECT_EQ(a->Name(), "Other");
        b->SetName("RELATION128");
        // Names that come and go many times over leave the others in place.
        for (int i = 0; i < 300; ++i) {
            b->SetName("Temp" + std::to_string(i));
            auto* passing = new TThing(&root);
            passing->SetName("Passing" + std::to_string(i));
            delete passing;
        }
        EXPECT_THROW(a->SetName("temp299"), EComponentError);
        if (siblings) {
            EXPECT_THROW(a->SetName("s39"), EComponentError);
        }
        a->SetName("Passing299");
        a->SetName("Relation128");
        EXPECT_EQ(a->Name(), "Relation128");
    }
    TThing root(nullptr);
    (new TThing(&root))->SetName("Relation128");
    // Empty names never clash.
    auto* c = new TThing(&root);
    auto* d = new TThing(&root);
    EXPECT_EQ(c->Name(), d->Name());
    // An owner refuses a component whose name it already has.
    auto* stranger = new TThing(nullptr);
    stranger->SetName("RELATION128");
    EXPECT_THROW(root.InsertComponent(stranger), EComponentError);
    EXPECT_EQ(stranger->Owner(), nullptr);
    delete stranger;
}
