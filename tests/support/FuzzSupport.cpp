#include "tests/support/FuzzSupport.h"

namespace dv::test {

std::string Mutate(std::string s, std::mt19937& rng) {
    static const std::string pieces[] = {"99999999999999999999999", "-2147483649", "9223372036854775808", "1e400",
                                         "nan", "\r", "\n", "\t", " (", ")", "    Index ", "Fill distribution:\n",
                                         "Blob pointer\n", "*END*", "Analyzing database pages", "= ", "%", ",",
                                         std::string("\0", 1), "\xff\xfe", "Root page: "};
    const int edits = 1 + static_cast<int>(rng() % 6);
    for (int e = 0; e < edits && !s.empty(); ++e) {
        const size_t at = rng() % s.size();
        switch (rng() % 8) {
        case 0: s[at] = static_cast<char>(rng()); break;
        case 1: s.erase(at, rng() % 200); break;
        case 2: s.insert(at, s.substr(rng() % s.size(), rng() % 300)); break;
        case 3: s.insert(at, pieces[rng() % (sizeof pieces / sizeof *pieces)]); break;
        case 4: s.resize(at); break;
        case 5:
            // A digit run replaced by a huge or odd number.
            for (size_t i = at; i < s.size(); ++i)
                if (s[i] >= '0' && s[i] <= '9') {
                    size_t j = i;
                    while (j < s.size() && s[j] >= '0' && s[j] <= '9') ++j;
                    s.replace(i, j - i, pieces[rng() % 5]);
                    break;
                }
            break;
        case 6: {
            // Two lines swapped.
            const size_t a = s.rfind('\n', at), b = s.find('\n', at);
            if (a != std::string::npos && b != std::string::npos && b > a) {
                const std::string line = s.substr(a + 1, b - a);
                s.erase(a + 1, b - a);
                s.insert(rng() % (s.size() + 1), line);
            }
            break;
        }
        default: s.insert(at, std::string(rng() % 4, '\n')); break;
        }
    }
    return s;
}

}  // namespace dv::test
