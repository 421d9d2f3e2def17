// The pure parts of the client layer: answers of the service query and the
// parameter blocks.
#include <gtest/gtest.h>

#include <string_view>
#include <vector>

#include "server/IBApi.h"

using namespace dv;

namespace {

std::string TextItem(const std::string& text, size_t declaredLength = std::string::npos) {
    size_t len = declaredLength == std::string::npos ? text.size() : declaredLength;
    std::string s(1, static_cast<char>(isc_info_svc_to_eof));
    s += static_cast<char>(len & 0xFF);
    s += static_cast<char>((len >> 8) & 0xFF);
    return s + text;
}

std::string Item(int tag) { return std::string(1, static_cast<char>(tag)); }

}  // namespace

TEST(ServiceAnswer, ChunksEndAndWaits) {
    const std::string end = Item(isc_info_end);
    const std::string longText(300, 'x');   // a length above 255 uses both bytes
    struct Case {
        const char* What;
        std::string Answer;
        bool HasData, More;
        std::string Text;
    } cases[] = {
        {"the last chunk", TextItem("\tPage size\t\t8192\n\n") + end, true, false, "\tPage size\t\t8192\n\n"},
        {"a long chunk", TextItem(longText) + end, true, false, longText},
        {"finished", TextItem("") + end, true, false, ""},
        {"timed out, nothing yet", TextItem("") + Item(isc_info_svc_timeout) + end, true, true, ""},
        {"timed out in a line", TextItem("Analyz") + Item(isc_info_svc_timeout) + end, true, true, "Analyz"},
        {"not ready", TextItem("") + Item(isc_info_data_not_ready) + end, true, true, ""},
        {"buffer full", TextItem("Database hea") + Item(isc_info_truncated), true, true, "Database hea"},
        {"nothing at all", end, false, false, ""},
        {"length beyond the buffer", TextItem("abc", 40000), true, false, "abc"},
        {"length cut off", std::string(1, static_cast<char>(isc_info_svc_to_eof)) + "\x05", false, false, ""},
        {"unknown item first", Item(99) + TextItem("abc") + end, false, false, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.What);
        TServiceAnswer a = ParseServiceAnswer(c.Answer.data(), c.Answer.size());
        EXPECT_EQ(a.HasData, c.HasData);
        EXPECT_EQ(a.More, c.More);
        EXPECT_EQ(a.Text, c.Text);
    }
}

// However the text is cut into chunks, the lines are those of a query per
// line: each ends in one blank instead of its line feed, blank lines are a
// single blank, and a last line without a line feed comes as it is.
TEST(ServiceAnswer, ChunksGiveTheLinesOfALineByLineRead) {
    struct Case {
        const char* What;
        std::string Text;
        std::vector<std::string> Lines;
    } cases[] = {
        {"header and blocks", "\nDatabase \"/db/a.fdb\"\n\tPage size\t\t8192\n\nT (128)\n\r\n",
         {" ", "Database \"/db/a.fdb\" ", "\tPage size\t\t8192 ", " ", "T (128) ", "\r "}},
        {"a last line without a line feed", "a\nb\n\tlast", {"a ", "b ", "\tlast"}},
        {"blank lines only", "\n\n\n", {" ", " ", " "}},
        {"nothing", "", {}},
    };
    for (const Case& c : cases) {
        for (size_t chunk : {size_t{1}, size_t{2}, size_t{3}, size_t{7}, size_t{1000}}) {
            SCOPED_TRACE(std::string(c.What) + ", chunks of " + std::to_string(chunk));
            TServiceLineSplitter splitter;
            std::vector<std::string> lines;
            std::string line;
            for (size_t at = 0; at < c.Text.size(); at += chunk) {
                splitter.Append(std::string_view(c.Text).substr(at, chunk));
                while (splitter.NextLine(line)) lines.push_back(line);
            }
            if (splitter.TakeRest(line)) lines.push_back(line);
            EXPECT_EQ(lines, c.Lines);
            EXPECT_TRUE(splitter.Empty());
            EXPECT_FALSE(splitter.TakeRest(line));
        }
    }
}

TEST(ParamBlocks, ParameterLinesBecomeTheEnginesItems) {
    TParamBlock dpb = BuildDPB({"user_name=SYSDBA", "ISC_DPB_PASSWORD=a=b", ""});
    const std::string expected = std::string{isc_dpb_version1, isc_dpb_user_name, 6} + "SYSDBA" +
                                 std::string{isc_dpb_password, 3} + "a=b";
    EXPECT_EQ(std::string(dpb.Data(), dpb.Length()), expected);

    TParamBlock tpb = BuildTPB({"read", "read_committed", "rec_version", "nowait"});
    EXPECT_EQ(std::string(tpb.Data(), tpb.Length()),
              (std::string{isc_tpb_version3, isc_tpb_read, isc_tpb_read_committed, isc_tpb_rec_version,
                           isc_tpb_nowait}));

    TParamBlock spb = BuildServiceAttachSPB({"user_name=U", "password=P"});
    EXPECT_EQ(std::string(spb.Data(), spb.Length()),
              (std::string{isc_spb_version, isc_spb_current_version, isc_spb_user_name, 1, 'U',
                           isc_spb_password, 1, 'P'}));
}

TEST(ParamBlocks, UnknownNamesAndOverlongValuesAreRefused) {
    struct Case {
        const char* What;
        std::function<void()> Build;
    } cases[] = {
        {"database word", [] { BuildDPB({"no_such_thing=1"}); }},
        {"transaction word", [] { BuildTPB({"read", "autocommit_please"}); }},
        {"transaction word of the database", [] { BuildTPB({"user_name=x"}); }},
        {"service word", [] { BuildServiceAttachSPB({"lc_ctype=UTF8"}); }},
        {"value over 255 bytes", [] { BuildDPB({"password=" + std::string(256, 'p')}); }},
    };
    for (const Case& c : cases) EXPECT_THROW(c.Build(), EIBClientError) << c.What;
    EXPECT_NO_THROW(BuildDPB({"password=" + std::string(255, 'p')}));
}

TEST(ParamBlocks, ParamValueFindsTheFirstValueIgnoringCase) {
    TStringList params = {"user_name=BOB", "PASSWORD=x=y", "password=second", "read"};
    EXPECT_EQ(ParamValue(params, "password"), "x=y");
    EXPECT_EQ(ParamValue(params, "USER_NAME"), "BOB");
    EXPECT_EQ(ParamValue(params, "read"), "");
    EXPECT_EQ(ParamValue(params, "role"), "");
}

TEST(DecodeInteger, LittleEndianSignExtendedFromItsWidth) {
    const char bytes[] = {'\x01', '\x02', '\x03', '\x04'};
    EXPECT_EQ(DecodeInteger(bytes, 4), 0x04030201);
    EXPECT_EQ(DecodeInteger(bytes, 2), 0x0201);
    EXPECT_EQ(DecodeInteger("\xff", 1), -1);
    EXPECT_EQ(DecodeInteger("\xfe\xff", 2), -2);
    EXPECT_EQ(DecodeInteger("\xff\xff\xff\x7f", 4), 2147483647);
    EXPECT_EQ(DecodeInteger(bytes, 0), 0);
}
