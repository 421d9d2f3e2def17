// WrapAtColumn on 1 KB, 10 KB and 100 KB of report-like text at the report
// and hint widths; the time per byte should stay flat as the text grows.
// Then 100 KB runs of blanks, of CR LF pairs and of one long word, which
// must each take under 5 ms.
#include <chrono>
#include <cstdio>
#include <string>

#include "model/utils.h"

namespace {

std::string MakeText(size_t bytes) {
    const std::string sentence =
        "Forced Write is OFF. It is a dangerous setting, especially for Windows users. "
        "You need to increase database page size because you have 12 indices with depth > 3 "
        "(see \"Deep indices list\" below).\r\n 1. When index is broken - some keys disappiared \r\n"
        "\xC3\xA9t\xC3\xA9 averyveryveryverylongwordwithoutanybreakcharacterinside\tand-so-on. ";
    std::string text;
    while (text.size() < bytes) text += sentence;
    text.resize(bytes);
    return text;
}

}  // namespace

int main() {
    using Clock = std::chrono::steady_clock;
    std::printf("%-8s %-6s %12s %10s %10s\n", "size", "width", "us/call", "ns/byte", "out bytes");
    for (size_t kb : {1, 10, 100}) {
        const std::string text = MakeText(kb * 1024);
        for (int width : {50, 70}) {
            const int reps = static_cast<int>(2000 / kb) + 5;
            size_t out = 0;
            const auto start = Clock::now();
            for (int r = 0; r < reps; ++r) out = dv::WrapAtColumn(text, width).size();
            const double us =
                std::chrono::duration<double, std::micro>(Clock::now() - start).count() / reps;
            std::printf("%-8s %-6d %12.1f %10.2f %10zu\n", (std::to_string(kb) + " KB").c_str(), width, us,
                        us * 1000.0 / static_cast<double>(text.size()), out);
        }
    }

    struct Run {
        const char* what;
        std::string text;
        int width;
    } runs[] = {
        {"blanks", std::string(100 * 1024, ' '), 1},
        {"blanks", std::string(100 * 1024, ' '), 50},
        {"CR LF pairs", [] {
             std::string s;
             for (int i = 0; i < 50 * 1024; ++i) s += "\r\n";
             return s;
         }(), 50},
        {"one word", std::string(100 * 1024, 'x'), 50},
    };
    std::printf("\n%-12s %-6s %10s  (goal < 5 ms)\n", "100 KB of", "width", "ms/call");
    for (const Run& r : runs) {
        const auto start = Clock::now();
        const size_t out = dv::WrapAtColumn(r.text, r.width).size();
        const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
        std::printf("%-12s %-6d %10.2f  (%zu bytes out)\n", r.what, r.width, ms, out);
    }
    return 0;
}
