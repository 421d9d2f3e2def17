#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <random>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

#include "platform/streaming/ComponentText.h"
#include "platform/stores/FileIO.h"

using namespace dv;

namespace {

// A small tree shaped like the statistics model: the root hands over the
// components it owns that have no parent of their own; a group hands over
// everything it owns; an item moves into its enclosing group while loading.
class TTestRoot : public TComponent {
public:
    using TComponent::TComponent;
    const char* ClassName() const override { return "TTestRoot"; }
    const TPropList& Props() const override {
        static const TPropList props = [this] {
            TPropList all = TComponent::Props();
            using R = TTestRoot;
            all.push_back(Prop("Count", &R::Count));
            all.push_back(Prop("Small", &R::Small));
            all.push_back(Prop("Level", &R::Level));
            all.push_back(Prop("Big", &R::Big));
            all.push_back(Prop("Flag", &R::Flag));
            all.push_back(Prop("Ratio", &R::Ratio));
            all.push_back(Prop("Sel", &R::Sel));
            all.push_back(DateProp("When", &R::When));
            all.push_back(Prop("Title", &R::Title));
            all.push_back(Prop("Limit", &R::Limit, true, true, 7));
            all.push_back(Prop("Enabled", &R::Enabled, true, true, 1));
            all.push_back(NotStored("Items", TPropType::List));
            all.push_back(Prop("Problem", &R::Problem, false));
            return all;
        }();
        return props;
    }
    void GetChildren(const std::function<void(TComponent*)>& proc, TComponent* root) override {
        if (root != this) return;
        for (TComponent* c : ComponentList())
            if (!c->HasParent()) proc(c);
    }

    int32_t Count = 0;
    int16_t Small = 0;
    uint8_t Level = 0;
    int64_t Big = 0;
    bool Flag = false;
    double Ratio = 0;
    float Sel = 0;
    double When = 0;
    std::string Title;
    int32_t Limit = 7;
    bool Enabled = true;
    bool Problem = false;
};

class TTestGroup : public TComponent {
public:
    using TComponent::TComponent;
    const char* ClassName() const override { return "TTestGroup"; }
    const TPropList& Props() const override {
        static const TPropList props = [this] {
            TPropList all = TComponent::Props();
            all.push_back(Prop("Caption", &TTestGroup::Caption));
            all.push_back(Prop("Size", &TTestGroup::Size));
            return all;
        }();
        return props;
    }
    void GetChildren(const std::function<void(TComponent*)>& proc, TComponent*) override {
        for (TComponent* c : ComponentList()) proc(c);
    }
    std::string Caption;
    double Size = 0;
};

class TTestItem : public TComponent {
public:
    using TComponent::TComponent;
    const char* ClassName() const override { return "TTestItem"; }
    const TPropList& Props() const override {
        static const TPropList props = [this] {
            TPropList all = TComponent::Props();
            all.push_back(Prop("Id", &TTestItem::Id));
            all.push_back(Prop("Key", &TTestItem::Key));
            return all;
        }();
        return props;
    }
    bool HasParent() const override { return true; }
    void SetParentComponent(TComponent* parent) override {
        SeenLoading = IsLoading();
        OwnerBeforeMove = Owner();
        if (!IsLoading()) return;
        if (auto* g = dynamic_cast<TTestGroup*>(parent)) {
            g->InsertComponent(this);
            Group = g;
        }
    }
    int32_t Id = 0;
    std::string Key;
    TTestGroup* Group = nullptr;
    bool SeenLoading = false;
    TComponent* OwnerBeforeMove = nullptr;
};

struct RegisterTestClasses {
    RegisterTestClasses() {
        RegisterComponentClass<TTestGroup>("TTestGroup");
        RegisterComponentClass<TTestItem>("TTestItem");
    }
};
const RegisterTestClasses registerTestClasses;

// The property line as written for one value (without indentation and CR LF),
// or "" when the property is left out.
std::string WrittenLine(const std::string& text, const std::string& prop) {
    const std::string key = "\r\n  " + prop + " = ";
    const size_t p = text.find(key);
    if (p == std::string::npos) return std::string();
    const size_t start = p + key.size();
    return text.substr(start, text.find("\r\n", start) - start);
}

// A tree with two groups, named and unnamed items, and awkward strings.
void BuildTree(TTestRoot& root) {
    root.SetName("Root");
    root.Count = -5;
    root.Big = -9000000000LL;
    root.Flag = true;
    root.Ratio = 45.67;
    root.Sel = 0.5f;
    root.When = 41275.5;
    root.Title = "O'Neil\tand a line\r\nbreak";
    root.Limit = 8;
    for (int g = 0; g < 2; ++g) {
        auto* group = new TTestGroup(&root);
        group->SetName("Group" + std::to_string(g));
        group->Caption = std::string(70 + g, 'x');
        group->Size = 1.0 / 3 + g;
        for (int i = 0; i < 3; ++i) {
            auto* item = new TTestItem(group);
            if (i != 2) item->SetName(std::string(group->Name()) + "Item" + std::to_string(i));
            item->Id = g * 10 + i;
            item->Key = i == 1 ? "" : "K" + std::to_string(i);
        }
    }
}

// The ways a text is read: whole, and in blocks so small that a window ends
// on nearly every line and long lines outgrow the block, one of them handed
// out in reads shorter than asked for, as a pipe may give them.
struct TReadWay {
    const char* Name;
    size_t Block;  // 0: the whole text at once
    size_t Piece;  // the most bytes one read hands out
};
constexpr TReadWay kReadWays[] = {{"whole", 0, 0}, {"7-byte blocks", 7, 7}, {"64-byte blocks of 5-byte reads", 64, 5}};

void ReadAs(const TReadWay& way, const std::string& text, TComponent& root) {
    if (way.Block == 0) return ReadComponentText(text, root);
    size_t at = 0;
    ReadComponentText(
        [&](char* buf, size_t size) {
            const size_t n = std::min({size, way.Piece, text.size() - at});
            std::memcpy(buf, text.data() + at, n);
            at += n;
            return n;
        },
        root, 1, way.Block);
}

}  // namespace

TEST(StreamFloat, FixedWithEighteenDecimalsAndSixteenSignificantDigits) {
    const struct {
        double value;
        const char* text;
    } cases[] = {
        {45.67, "45.670000000000000000"},
        {static_cast<double>(0.5f), "0.500000000000000000"},
        {41275.5, "41275.500000000000000000"},
        {-3.25, "-3.250000000000000000"},
        {1.0 / 3, "0.333333333333333300"},
        {2.0 / 3, "0.666666666666666600"},  // ...6663 rounds down
        {0.1 + 0.2, "0.300000000000000000"},
        {static_cast<double>(0.1f), "0.100000001490116100"},
        {0.001234, "0.001234000000000000"},
        {static_cast<double>(1.0f / 13), "0.076923079788684840"},  // 16 digits from 0.01 up
        {0.012345678901234567, "0.012345678901234570"},
        {0.0012345678901234567, "0.001234567890123457"},
        {1e-5, "0.000010000000000000"},
        {123456789.123456789, "123456789.123456800000000000"},
        {9999999999999998.0, "9999999999999998.000000000000000000"},  // 16 digits: still fixed
        {12345678901234567.0, "1.234567890123457E16"},               // 17 digits: exponent form
        {1e17, "1E17"},
        {-2.5e300, "-2.5E300"},
        {1e-20, "0.000000000000000000"},
        {0.0, "0.000000000000000000"},
        {INFINITY, "INF"},
        {-INFINITY, "-INF"},
        {NAN, "NAN"},
    };
    for (const auto& c : cases) EXPECT_EQ(FormatStreamFloat(c.value), c.text) << "value " << c.value;

    // The fixed forms against the C library's printf, which rounds the exact
    // binary value: 16 significant digits (%.15e) set in 18 decimals, or below
    // 0.01 the value rounded at the 18th decimal (%.18f). Random values of
    // every magnitude written in fixed form, two-decimal values as the
    // statistics give them, halves at the 16th digit and the neighbours of
    // the points where the digit count or the form changes.
    const auto byPrintf = [](double v) {
        char sci[40], fixed[400];
        std::snprintf(sci, sizeof sci, "%.15e", std::fabs(v));
        const int exp = std::atoi(std::strchr(sci, 'e') + 1);
        const std::string sign = v < 0 ? "-" : "";
        if (exp < -2) {
            std::snprintf(fixed, sizeof fixed, "%.18f", std::fabs(v));
            const std::string s = fixed;
            return s.find_first_not_of("0.") == std::string::npos ? s : sign + s;
        }
        const std::string digits = sci[0] + std::string(sci + 2, 15);
        const std::string s = exp < 0 ? "0." + std::string(-exp - 1, '0') + digits
                                      : digits.substr(0, exp + 1) + "." + digits.substr(exp + 1);
        return sign + s + std::string(18 - (s.size() - s.find('.') - 1), '0');
    };
    std::vector<double> values;
    std::mt19937_64 random(20240611);
    for (int i = 0; i < 200000; ++i) {
        const uint64_t exponent = 1023 - 70 + random() % (70 + 54);  // 2^-70 .. 2^53
        values.push_back(std::bit_cast<double>((exponent << 52) | (random() >> 12) | (random() & 1) << 63));
        values.push_back(static_cast<double>(random() % 100000000000) / 100);
        values.push_back(static_cast<double>(uint64_t(1) << 50) + static_cast<double>(random() % (uint64_t(7) << 50)) +
                         0.5);
    }
    for (int j = -20; j <= 16; ++j) {
        for (const double edge : {std::pow(10.0, j), std::pow(10.0, j) * (1 - 5e-17), 0.01, 0.005e-15}) {
            double up = edge, down = edge;
            for (int k = 0; k < 8; ++k) {
                values.push_back(up = std::nextafter(up, HUGE_VAL));
                values.push_back(down = std::nextafter(down, 0.0));
            }
        }
    }
    values.push_back(DBL_MIN);
    values.push_back(DBL_TRUE_MIN);
    int failures = 0;
    for (const double v : values) {
        if (v == 0 || std::fabs(v) >= 1e16 || FormatStreamFloat(v) == byPrintf(v)) continue;
        ADD_FAILURE() << std::hexfloat << v << ": " << FormatStreamFloat(v) << " instead of " << byPrintf(v);
        if (++failures == 10) break;
    }
}

TEST(ComponentTextWriter, ValueFormsAndOmittedDefaults) {
    struct Case {
        const char* name;
        std::function<void(TTestRoot&)> set;
        const char* prop;
        const char* line;  // "" = left out
    };
    const Case cases[] = {
        {"integer 0 without default is written", [](TTestRoot&) {}, "Count", "0"},
        {"negative integer", [](TTestRoot& r) { r.Count = INT32_MIN; }, "Count", "-2147483648"},
        {"smallint", [](TTestRoot& r) { r.Small = -32768; }, "Small", "-32768"},
        {"byte", [](TTestRoot& r) { r.Level = 255; }, "Level", "255"},
        {"int64 0 left out", [](TTestRoot&) {}, "Big", ""},
        {"int64 min", [](TTestRoot& r) { r.Big = INT64_MIN; }, "Big", "-9223372036854775808"},
        {"boolean False is written", [](TTestRoot&) {}, "Flag", "False"},
        {"boolean True", [](TTestRoot& r) { r.Flag = true; }, "Flag", "True"},
        {"double 0 left out", [](TTestRoot&) {}, "Ratio", ""},
        {"double", [](TTestRoot& r) { r.Ratio = 45.67; }, "Ratio", "45.670000000000000000"},
        {"single", [](TTestRoot& r) { r.Sel = 0.5f; }, "Sel", "0.500000000000000000"},
        {"date", [](TTestRoot& r) { r.When = 41275.5; }, "When", "41275.500000000000000000"},
        {"empty string left out", [](TTestRoot&) {}, "Title", ""},
        {"string", [](TTestRoot& r) { r.Title = "abc"; }, "Title", "'abc'"},
        {"quote", [](TTestRoot& r) { r.Title = "O'Neil"; }, "Title", "'O'#39'Neil'"},
        {"control characters", [](TTestRoot& r) { r.Title = std::string("a\tb\r\n\x01", 6); }, "Title",
         "'a'#9'b'#13#10#1"},
        {"only escapes", [](TTestRoot& r) { r.Title = "''"; }, "Title", "#39#39"},
        {"high bytes stay literal", [](TTestRoot& r) { r.Title = "caf\xC3\xA9"; }, "Title", "'caf\xC3\xA9'"},
        {"declared default left out", [](TTestRoot&) {}, "Limit", ""},
        {"other than the default", [](TTestRoot& r) { r.Limit = 0; }, "Limit", "0"},
        {"boolean default True left out", [](TTestRoot&) {}, "Enabled", ""},
        {"boolean off its default", [](TTestRoot& r) { r.Enabled = false; }, "Enabled", "False"},
        {"not stored", [](TTestRoot& r) { r.Problem = true; }, "Problem", ""},
        {"tag 0 never written", [](TTestRoot&) {}, "Tag", ""},
        {"tag other than 0", [](TTestRoot& r) { r.Tag = 3; }, "Tag", "3"},
        {"NaN", [](TTestRoot& r) { r.Ratio = NAN; }, "Ratio", "NAN"},
    };
    for (const Case& c : cases) {
        TTestRoot root(nullptr);
        c.set(root);
        const std::string text = WriteComponentText(root);
        EXPECT_EQ(WrittenLine(text, c.prop), c.line) << c.name << "\n" << text;
    }
}

TEST(ComponentTextWriter, LongStringsAreCutIntoPiecesOf64Characters) {
    const std::string s64(64, 'a');
    const std::string s65 = s64 + "b";
    std::string greek64;
    for (int i = 0; i < 64; ++i) greek64 += "\xCE\xB1";
    const struct {
        std::string value;
        std::string written;
    } cases[] = {
        {s64, "  Title = '" + s64 + "'\r\n"},
        {s65, "  Title = \r\n    '" + s64 + "' +\r\n    'b'\r\n"},
        {s64 + s64, "  Title = \r\n    '" + s64 + "' +\r\n    '" + s64 + "'\r\n"},
        // An escape counts as one character of its piece.
        {std::string(63, 'a') + "'" + "zz", "  Title = \r\n    '" + std::string(63, 'a') + "'#39 +\r\n    'zz'\r\n"},
        {std::string(62, 'a') + "\r\n" + "z", "  Title = \r\n    '" + std::string(62, 'a') + "'#13#10 +\r\n    'z'\r\n"},
        // So does a UTF-8 character; a byte that is not part of one is a character of its own.
        {std::string(63, 'a') + "\xC3\xA9z", "  Title = \r\n    '" + std::string(63, 'a') + "\xC3\xA9' +\r\n    'z'\r\n"},
        {greek64, "  Title = '" + greek64 + "'\r\n"},
        {std::string(63, 'a') + "\xE9\xE9", "  Title = \r\n    '" + std::string(63, 'a') + "\xE9' +\r\n    '\xE9'\r\n"},
    };
    for (const auto& c : cases) {
        TTestRoot root(nullptr);
        root.Title = c.value;
        const std::string text = WriteComponentText(root);
        EXPECT_NE(text.find(c.written), std::string::npos) << "length " << c.value.size() << "\n" << text;
        TTestRoot back(nullptr);
        ReadComponentText(text, back);
        EXPECT_EQ(back.Title, c.value);
    }
}

TEST(ComponentTextWriter, NestsByOwnershipWithTwoBlanksAndCrLf) {
    TTestRoot root(nullptr);
    root.SetName("Root");
    auto* group = new TTestGroup(&root);
    group->SetName("G");
    group->Caption = "c";
    auto* named = new TTestItem(group);
    named->SetName("GItem");
    named->Id = 4;
    auto* unnamed = new TTestItem(group);
    unnamed->Key = "k";
    const std::string expected =
        "object Root: TTestRoot\r\n"
        "  Count = 0\r\n"
        "  Small = 0\r\n"
        "  Level = 0\r\n"
        "  Flag = False\r\n"
        "  object G: TTestGroup\r\n"
        "    Caption = 'c'\r\n"
        "    object GItem: TTestItem\r\n"
        "      Id = 4\r\n"
        "    end\r\n"
        "    object TTestItem\r\n"
        "      Id = 0\r\n"
        "      Key = 'k'\r\n"
        "    end\r\n"
        "  end\r\n"
        "end\r\n";
    EXPECT_EQ(WriteComponentText(root), expected);

    // A text many times the writer's own buffer, with a name longer than it.
    TTestRoot big(nullptr);
    auto* many = new TTestGroup(&big);
    std::string bigExpected = "object TTestRoot\r\n  Count = 0\r\n  Small = 0\r\n  Level = 0\r\n  Flag = False\r\n"
                              "  object TTestGroup\r\n";
    for (int i = 0; i < 5000; ++i) {
        auto* item = new TTestItem(many);
        const std::string name = i == 2500 ? std::string(100000, 'N') : "I" + std::to_string(i);
        item->SetName(name);
        item->Id = i;
        bigExpected += "    object " + name + ": TTestItem\r\n      Id = " + std::to_string(i) + "\r\n    end\r\n";
    }
    bigExpected += "  end\r\nend\r\n";
    std::string bigText = "magic\r\n";
    WriteComponentText(big, bigText);
    ASSERT_EQ(bigText.size(), bigExpected.size() + 7);
    const auto diff = std::mismatch(bigExpected.begin(), bigExpected.end(), bigText.begin() + 7);
    EXPECT_EQ(diff.first, bigExpected.end()) << "first difference at byte " << diff.first - bigExpected.begin();
}

TEST(ComponentTextReader, RoundTripOfATree) {
    TTestRoot root(nullptr);
    BuildTree(root);
    const std::string text = WriteComponentText(root);
    for (const TReadWay& way : kReadWays) {
        SCOPED_TRACE(way.Name);
        TTestRoot back(nullptr);
        ReadAs(way, text, back);
        EXPECT_EQ(back.Name(), "Root");
        EXPECT_EQ(back.Count, -5);
        EXPECT_EQ(back.Big, -9000000000LL);
        EXPECT_TRUE(back.Flag);
        EXPECT_EQ(back.Ratio, 45.67);
        EXPECT_EQ(back.Sel, 0.5f);
        EXPECT_EQ(back.When, 41275.5);
        EXPECT_EQ(back.Title, root.Title);
        EXPECT_EQ(back.Limit, 8);
        EXPECT_TRUE(back.Enabled);
        ASSERT_EQ(back.ComponentCount(), 2);
        for (int g = 0; g < 2; ++g) {
            auto* group = dynamic_cast<TTestGroup*>(back.Components(g));
            ASSERT_NE(group, nullptr);
            EXPECT_EQ(group->Name(), "Group" + std::to_string(g));
            EXPECT_EQ(group->Caption, std::string(70 + g, 'x'));
            EXPECT_NEAR(group->Size, 1.0 / 3 + g, 1e-15);
            ASSERT_EQ(group->ComponentCount(), 3);
            for (int i = 0; i < 3; ++i) {
                auto* item = dynamic_cast<TTestItem*>(group->Components(i));
                ASSERT_NE(item, nullptr);
                EXPECT_EQ(item->Id, g * 10 + i);
                EXPECT_EQ(item->Name(), i == 2 ? "" : std::string(group->Name()) + "Item" + std::to_string(i));
                // Created with the root as owner, loading while told its parent,
                // then moved; loading is over afterwards.
                EXPECT_EQ(item->OwnerBeforeMove, &back);
                EXPECT_TRUE(item->SeenLoading);
                EXPECT_FALSE(item->IsLoading());
                EXPECT_EQ(item->Group, group);
            }
        }
        EXPECT_FALSE(back.IsLoading());
        // Written again, the text is the same.
        EXPECT_EQ(WriteComponentText(back), text);
    }
}

TEST(ComponentTextReader, ValuesAtTheirLimitsAndEveryByteSurvive) {
    TTestRoot root(nullptr);
    root.Count = INT32_MIN;
    root.Small = INT16_MAX;
    root.Level = 255;
    root.Big = INT64_MAX;
    root.Ratio = -1.234567890123456e-3;
    root.Sel = 3.4e38f;
    root.When = -693593.75;
    for (int c = 1; c < 256; ++c) root.Title += static_cast<char>(c);
    root.Title += '\0';
    TTestRoot back(nullptr);
    ReadComponentText(WriteComponentText(root), back);
    EXPECT_EQ(back.Count, INT32_MIN);
    EXPECT_EQ(back.Small, INT16_MAX);
    EXPECT_EQ(back.Level, 255);
    EXPECT_EQ(back.Big, INT64_MAX);
    EXPECT_EQ(back.Ratio, -1.234567890123456e-3);
    EXPECT_EQ(back.Sel, 3.4e38f);
    EXPECT_EQ(back.When, -693593.75);
    EXPECT_EQ(back.Title, root.Title);

    // Integers whose digits run to, across and past eight-byte steps.
    for (const int64_t big : {12345678LL, 987654321LL, 1234567890123456LL, -123456789012345678LL}) {
        root.Big = big;
        TTestRoot again(nullptr);
        ReadComponentText(WriteComponentText(root), again);
        EXPECT_EQ(again.Big, big);
    }

    root.Ratio = NAN;
    root.When = -INFINITY;
    root.Sel = INFINITY;
    ReadComponentText(WriteComponentText(root), back);
    EXPECT_TRUE(std::isnan(back.Ratio));
    EXPECT_EQ(back.When, -INFINITY);
    EXPECT_EQ(back.Sel, INFINITY);

    // The largest values: 16 digits round them past the type's end, which
    // the reader refuses, so they are written with 17.
    const struct {
        double ratio;
        float sel;
        const char* ratioText;
    } extremes[] = {
        {DBL_MAX, FLT_MAX, "1.7976931348623157E308"},
        {-DBL_MAX, -FLT_MAX, "-1.7976931348623157E308"},
        {std::nextafter(DBL_MAX, 0.0), std::nextafter(FLT_MAX, 0.0f), "1.7976931348623155E308"},
        {1.5e308, 3.4e38f, "1.5E308"},  // an ordinary value keeps its form
    };
    for (const auto& c : extremes) {
        root.Ratio = c.ratio;
        root.When = c.ratio;
        root.Sel = c.sel;
        const std::string text = WriteComponentText(root);
        EXPECT_EQ(WrittenLine(text, "Ratio"), c.ratioText);
        TTestRoot again(nullptr);
        ReadComponentText(text, again);
        EXPECT_EQ(again.Ratio, c.ratio) << text;
        EXPECT_EQ(again.When, c.ratio) << text;
        EXPECT_EQ(again.Sel, c.sel) << text;
    }

    // Every written value reads back as the nearest double to its text,
    // whether its digits fit the reader's exact integer division or not
    // (random values of every magnitude, two-decimal values, hand-written
    // forms with leading zeros, no fraction digits or a 23rd decimal).
    std::vector<std::string> texts = {
        "007.25", "12.", "-0.5", "9007199254740993.0", "0.00000000000000000000001", "-0.0", "123456789012345678.5"};
    // Whole parts and decimals that fill eight-byte steps.
    for (const char* t : {"12345678.12345678", "87654321", "1.000000010000000100"}) texts.push_back(t);
    std::mt19937_64 random(7);
    for (int i = 0; i < 4000; ++i) {
        const uint64_t exponent = 1023 - 60 + random() % 110;
        texts.push_back(FormatStreamFloat(std::bit_cast<double>((exponent << 52) | (random() >> 12))));
        texts.push_back(FormatStreamFloat(-static_cast<double>(random() % 10000000000) / 100));
    }
    std::string many = "object Root: TTestRoot\r\n";
    for (size_t i = 0; i < texts.size(); ++i)
        many += "  object G" + std::to_string(i) + ": TTestGroup\r\n    Size = " + texts[i] + "\r\n  end\r\n";
    for (const TReadWay& way : kReadWays) {
        TTestRoot read(nullptr);
        ReadAs(way, many + "end\r\n", read);
        ASSERT_EQ(read.ComponentCount(), static_cast<int>(texts.size())) << way.Name;
        for (size_t i = 0; i < texts.size(); ++i) {
            const double want = std::strtod(texts[i].c_str(), nullptr);
            const double got = static_cast<const TTestGroup*>(read.Components(static_cast<int>(i)))->Size;
            EXPECT_EQ(std::bit_cast<uint64_t>(got), std::bit_cast<uint64_t>(want)) << texts[i] << ", " << way.Name;
        }
        // The names given while reading are in the owner's name index.
        EXPECT_THROW(read.Components(0)->SetName("g" + std::to_string(texts.size() - 1)), EComponentError);
    }
}

TEST(ComponentTextReader, AcceptsHandWrittenVariants) {
    // LF line ends, tabs, other case, continuations on the next line and on
    // the same one, '+' signs, hexadecimal, integers for floating properties.
    const std::string text =
        "OBJECT R: Whatever\n"
        "\tcount = +12\n"
        "  BIG = $FF\n"
        "  ratio = 3\n"
        "  Sel = 2.5e-1\n"
        "  Flag = true\n"
        "  Title = 'a'\r\n"  // a whole line, which the next one continues
        "  + 'b'#65\n"
        "    + '''' + '\xC3' +\n"
        "    '\xA9'\n"   // cut inside a character, as earlier versions wrote it
        "End\n";
    for (const TReadWay& way : kReadWays) {
        SCOPED_TRACE(way.Name);
        TTestRoot back(nullptr);
        back.SetName("r");  // the text's spelling of the name wins
        ReadAs(way, text, back);
        EXPECT_EQ(back.Name(), "R");
        EXPECT_EQ(back.Count, 12);
        EXPECT_EQ(back.Big, 255);
        EXPECT_EQ(back.Ratio, 3.0);
        EXPECT_EQ(back.Sel, 0.25f);
        EXPECT_TRUE(back.Flag);
        EXPECT_EQ(back.Title, "abA'\xC3\xA9");
    }
}

TEST(ComponentTextReader, ErrorsNameTheProblem) {
    const std::string head = "object Root: TTestRoot\r\n";
    const struct {
        std::string text;
        std::string message;  // exact, or a prefix when it ends with '*'
    } cases[] = {
        {head + "  Bogus = 1\r\nend\r\n", "Error reading Root: TTestRoot.Bogus on line 2: Property Bogus does not exist"},
        {head + "  object X: TNope\r\n  end\r\nend\r\n", "Class TNope not found on line 2"},
        {head + "  Count = 2147483648\r\nend\r\n", "Error reading Root: TTestRoot.Count on line 2: Value 2147483648 out of range"},
        {head + "  Count = -2147483649\r\nend\r\n", "Error reading Root: TTestRoot.Count on line 2: Value -2147483649 out of range"},
        {head + "  Small = 32768\r\nend\r\n", "Error reading Root: TTestRoot.Small on line 2: Value 32768 out of range"},
        {head + "  Level = -1\r\nend\r\n", "Error reading Root: TTestRoot.Level on line 2: Value -1 out of range"},
        {head + "  Big = 9223372036854775808\r\nend\r\n",
         "Error reading Root: TTestRoot.Big on line 2: Value 9223372036854775808 out of range"},
        {head + "  Big = 99999999999999999999999999999\r\nend\r\n",
         "Error reading Root: TTestRoot.Big on line 2: Value 99999999999999999999999999999 out of range"},
        {head + "  Ratio = 1e400\r\nend\r\n", "Error reading Root: TTestRoot.Ratio on line 2: Value 1e400 out of range"},
        {head + "  Sel = 1e39\r\nend\r\n", "Error reading Root: TTestRoot.Sel on line 2: Value 1e39 out of range"},
        {head + "  Sel = 4" + std::string(38, '0') + ".5\r\nend\r\n",
         "Error reading Root: TTestRoot.Sel on line 2: Value 4" + std::string(38, '0') + ".5 out of range"},
        {head + "  Count = 1\r\n  object G0: TTestGroup\r\n    Bogus = 1\r\n  end\r\nend\r\n",
         "Error reading G0: TTestGroup.Bogus on line 4: Property Bogus does not exist"},
        // The name after a property is first taken for the one declared next.
        {head + "  Count = 1\r\n  SmallX = 2\r\nend\r\n",
         "Error reading Root: TTestRoot.SmallX on line 3: Property SmallX does not exist"},
        {head + "  Count = 1\r\n  Small = 40000\r\nend\r\n",
         "Error reading Root: TTestRoot.Small on line 3: Value 40000 out of range"},
        {head + "  Count = 1.5\r\nend\r\n", "Error reading Root: TTestRoot.Count on line 2: Invalid property value"},
        {head + "  Count = 'x'\r\nend\r\n", "Error reading Root: TTestRoot.Count on line 2: Invalid property value"},
        {head + "  Flag = 1\r\nend\r\n", "Error reading Root: TTestRoot.Flag on line 2: Invalid property value"},
        {head + "  Title = 12\r\nend\r\n", "Error reading Root: TTestRoot.Title on line 2: Invalid property value"},
        {head + "  Ratio = INFINITE\r\nend\r\n", "Error reading Root: TTestRoot.Ratio on line 2: Invalid property value"},
        {head + "  Count 5\r\nend\r\n", "'=' expected on line 2"},
        {head + "  Count = 5\r\n", "Unexpected end of text on line 3"},
        {head + "  Title = 'open\r\nend\r\n", "Unterminated string on line 2"},
        {head + "  Title = #300\r\nend\r\n", "Invalid character code on line 2"},
        {head + "  Title = 'a' +\r\nend\r\n", "String expected on line 3"},
        {head + "  Count = 12ab\r\nend\r\n", "Invalid numeric value on line 2"},
        {head + "  Ratio = 1.2.3\r\nend\r\n", "Invalid numeric value on line 2"},
        {head + "  Ratio = -5e\r\nend\r\n", "Invalid numeric value on line 2"},
        {head + "end\r\nobject\r\n", "End of text expected on line 3"},
        {"", "'object' expected on line 1"},
        {"\x7F\x45LF", "Invalid character on line 1"},
        // A component name is given once in the whole tree, whatever the
        // case, the nesting or the way it is set.
        {head + "  object Dup: TTestGroup\r\n  end\r\n  object Dup: TTestGroup\r\n  end\r\nend\r\n",
         "A component named Dup already exists on line 4"},
        {head + "  object G: TTestGroup\r\n    object X: TTestItem\r\n    end\r\n  end\r\n"
                "  object H: TTestGroup\r\n    object x: TTestItem\r\n    end\r\n  end\r\nend\r\n",
         "A component named x already exists on line 7"},
        {head + "  object G: TTestGroup\r\n  end\r\n  object H: TTestGroup\r\n    object X: TTestItem\r\n"
                "      Id = 1\r\n      Name = 'G'\r\n    end\r\n  end\r\nend\r\n",
         "A component named G already exists on line 7"},
        {head + "  object G: TTestGroup\r\n    object H: TTestItem\r\n    end\r\n  end\r\n"
                "  object H: TTestGroup\r\n  end\r\nend\r\n",
         "A component named H already exists on line 6"},
        {head + "  object Root: TTestGroup\r\n  end\r\nend\r\n", "A component named Root already exists on line 2"},
        // A name shared up to inside a run of digits is ordered by the whole run.
        {head + "  object tableItem1z: TTestGroup\r\n  end\r\n  object TableItem12: TTestGroup\r\n  end\r\n"
                "  object TableItem1Z: TTestGroup\r\n  end\r\nend\r\n",
         "A component named TableItem1Z already exists on line 6"},
        // A name given up by a rename is free again; the new one is taken.
        {head + "  object G: TTestGroup\r\n    object X: TTestItem\r\n      Name = 'K'\r\n    end\r\n  end\r\n"
                "  object H: TTestGroup\r\n    object X: TTestItem\r\n    end\r\n    object k: TTestItem\r\n"
                "    end\r\n  end\r\nend\r\n",
         "A component named k already exists on line 10"},
        // Names are still found among thousands, in other owners.
        {[&] {
             std::string t = head + "  object G: TTestGroup\r\n";
             for (int i = 0; i < 3000; ++i) t += "    object I" + std::to_string(i) + ": TTestItem\r\n    end\r\n";
             return t + "  end\r\n  object H: TTestGroup\r\n    object i1234: TTestItem\r\n    end\r\n  end\r\nend\r\n";
         }(),
         "A component named i1234 already exists on line 6005"},
        {head + "  object G: TTestGroup\r\n    Name = '9x'\r\n  end\r\nend\r\n",
         "''9x'' is not a valid component name on line 3"},
        {head + "  object 9: TTestGroup\r\n  end\r\nend\r\n", "Identifier expected on line 2"},
    };
    for (const auto& c : cases) {
        for (const TReadWay& way : kReadWays) {
            TTestRoot back(nullptr);
            try {
                ReadAs(way, c.text, back);
                ADD_FAILURE() << "no error for:\n" << c.text;
            } catch (const EReadError& e) {
                EXPECT_EQ(e.Message(), c.message) << way.Name << ":\n" << c.text;
            }
            EXPECT_FALSE(back.IsLoading());
        }
    }
}

TEST(ComponentTextReader, WhatWasReadBeforeAnErrorStays) {
    const std::string text =
        "object Root: TTestRoot\r\n"
        "  Count = 3\r\n"
        "  object G0: TTestGroup\r\n"
        "    object G0Item: TTestItem\r\n"
        "      Id = 1\r\n"
        "    end\r\n"
        "  end\r\n"
        "  object G1: TTestGroup\r\n"
        "    object G1Item: TTestItem\r\n"
        "      Id = 2\r\n"
        "      Oops = 1\r\n"
        "    end\r\n"
        "  end\r\n"
        "end\r\n";
    TTestRoot back(nullptr);
    EXPECT_THROW(ReadComponentText(text, back), EReadError);
    EXPECT_EQ(back.Count, 3);
    // The complete first group stays; the half-read second one is gone.
    ASSERT_EQ(back.ComponentCount(), 1);
    EXPECT_EQ(back.Components(0)->Name(), "G0");
    EXPECT_EQ(back.Components(0)->ComponentCount(), 1);
}

TEST(ComponentTextReader, NestingIsLimited) {
    auto nested = [](int levels) {
        std::string t = "object Root: TTestRoot\r\n";
        for (int i = 0; i < levels; ++i) t += std::string(2 * (i + 1), ' ') + "object TTestGroup\r\n";
        for (int i = levels; i >= 0; --i) t += std::string(2 * i, ' ') + "end\r\n";
        return t;
    };
    TTestRoot ok(nullptr);
    ReadComponentText(nested(63), ok);
    EXPECT_EQ(ok.ComponentCount(), 63);  // every group is owned by the root
    TTestRoot deep(nullptr);
    try {
        ReadComponentText(nested(64), deep);
        ADD_FAILURE() << "64 levels accepted";
    } catch (const EReadError& e) {
        EXPECT_EQ(e.Message(), "Objects nested too deeply on line 65");
    }
}

TEST(ComponentTextReader, HostileInputRaisesReadErrors) {
    std::vector<std::pair<std::string, std::string>> cases;
    const std::string head = "object Root: TTestRoot\r\n";
    cases.emplace_back("10 MB string on one line", head + "  Title = '" + std::string(10 << 20, 'x') + "'\r\n");
    cases.emplace_back("10 MB number", head + "  Big = " + std::string(10 << 20, '9') + "\r\nend\r\n");
    cases.emplace_back("10 MB of one identifier", "object " + std::string(10 << 20, 'A'));
    std::string deep = head;
    for (int i = 0; i < 100000; ++i) deep += "object TTestGroup\r\n";
    cases.emplace_back("100000 nested objects", deep);
    std::string garbage(1 << 20, '\0');
    std::mt19937 rng(7);
    for (char& c : garbage) c = static_cast<char>(rng());
    cases.emplace_back("binary garbage", garbage);
    cases.emplace_back("garbage after the header", head + garbage);
    cases.emplace_back("NUL in a property line", head + std::string("  Count = 1\0\r\nend\r\n", 19));
    for (const auto& [name, text] : cases) {
        for (const TReadWay& way : kReadWays) {
            TTestRoot back(nullptr);
            EXPECT_THROW(ReadAs(way, text, back), EReadError) << name << ", " << way.Name;
        }
    }
    // The string was read in full before the missing end was noticed; a
    // line far longer than the block still reads.
    for (const TReadWay& way : kReadWays) {
        TTestRoot back(nullptr);
        ReadAs(way, head + "  Title = '" + std::string(10 << 20, 'x') + "'\r\nend\r\n", back);
        EXPECT_EQ(back.Title.size(), size_t{10} << 20) << way.Name;
    }
    // A read that fails surfaces as it was raised.
    TTestRoot back(nullptr);
    try {
        ReadComponentText([](char*, size_t) -> size_t { throw EReadError("Cannot read file \"x\". I/O error"); }, back);
        ADD_FAILURE() << "the failed read went unnoticed";
    } catch (const EReadError& e) {
        EXPECT_EQ(e.Message(), "Cannot read file \"x\". I/O error");
    }
    EXPECT_FALSE(back.IsLoading());
}

// Thousands of damaged versions of a written text: every read ends normally
// or with a dv::Exception, never with a crash, a hang or another exception
// (the sanitizer build watches for out-of-bounds reads).
TEST(ComponentTextReader, FuzzedTextOnlyReturnsOrRaises) {
    TTestRoot root(nullptr);
    BuildTree(root);
    root.Title = std::string(130, 'q') + "'\x01";
    const std::string base = WriteComponentText(root);
    const std::string tokens[] = {"object ", "end", " = ", "'", "#", "+", "$", "-", "1e999", "\r\n", "TTestItem",
                                  "TTestGroup", "99999999999999999999", ".", ":", "Group0", "NAN", "#256"};
    std::mt19937 rng(20240611);
    int ok = 0, raised = 0;
    for (int round = 0; round < 6000; ++round) {
        std::string t = base;
        const int edits = 1 + static_cast<int>(rng() % 4);
        for (int e = 0; e < edits && !t.empty(); ++e) {
            const size_t pos = rng() % t.size();
            switch (rng() % 6) {
            case 0: t[pos] = static_cast<char>(t[pos] ^ (1 << (rng() % 8))); break;
            case 1: t.resize(pos); break;
            case 2: t.insert(pos, 1, static_cast<char>(rng())); break;
            case 3: t.insert(pos, tokens[rng() % std::size(tokens)]); break;
            case 4: t.erase(pos, 1 + rng() % 40); break;
            case 5: t.insert(pos, t.substr(rng() % t.size(), rng() % 200)); break;
            }
        }
        // Every way of reading comes to the same tree or the same message.
        std::string first;
        for (const TReadWay& way : kReadWays) {
            TTestRoot back(nullptr);
            std::string outcome;
            try {
                ReadAs(way, t, back);
                outcome = WriteComponentText(back);
                if (way.Block == 0) ++ok;
            } catch (const dv::Exception& e) {
                outcome = "raised " + e.Message();
                if (way.Block == 0) ++raised;
                EXPECT_FALSE(back.IsLoading());
            } catch (const std::exception& e) {
                ADD_FAILURE() << "unexpected " << e.what() << " for:\n" << t;
            }
            if (way.Block == 0)
                first = outcome;
            else
                EXPECT_EQ(outcome, first) << way.Name << ":\n" << t;
        }
    }
    // Both outcomes occur, so the mutations reach past the syntax checks.
    EXPECT_GT(ok, 100);
    EXPECT_GT(raised, 1000);
}

// A save file's bytes behind its magic line, read as the program reads them:
// whole at every size around the buffer's, nothing past the end.
TEST(ComponentTextReader, FileTextHoldsTheBytesFromTheOffsetToTheEnd) {
    const std::string path = ::testing::TempDir() + "dravolt-file-text.dvt";
    for (size_t size : {size_t(0), size_t(5), size_t(65535), size_t(65536), size_t(200000)}) {
        std::string content(size, 'x');
        for (size_t i = 0; i < size; ++i) content[i] = static_cast<char>('a' + i % 26);
        std::ofstream(path, std::ios::binary | std::ios::trunc) << content;
        for (off_t offset : {off_t(0), off_t(10), static_cast<off_t>(size) + 5}) {
            const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
            ASSERT_GE(fd, 0);
            const TFileText text(fd, offset);
            ::close(fd);
            const size_t from = std::min(static_cast<size_t>(offset), size);
            EXPECT_EQ(text.View(), std::string_view(content).substr(from)) << size << " from " << offset;
        }
    }
    std::remove(path.c_str());
    EXPECT_THROW(TFileText(-1, 0), EInOutError);
}
