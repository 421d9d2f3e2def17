// Statistics through the Services API against the engine's own statistics
// tool on the same database: 3000 tables with two indices each on the local
// server (made once by bench/service_bench_db.sh and kept). Each run reads
// the full statistics (data pages, index pages, record versions) through
// TIBStatisticalService line by line, and runs `fbstat -a -r` to its end;
// the medians and their ratio are printed. The goal is a ratio <= 1.3.
//   service_bench [runs=5] [database=$DRAVOLT_FB_DATA/service-bench-3000.fdb]
// SYSDBA's password comes from DRAVOLT_FB_PASSWORD (default masterkey).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "server/IBComponents.h"

using namespace dv;

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point since) { return std::chrono::duration<double>(Clock::now() - since).count(); }

std::string Env(const char* name, const char* fallback) {
    const char* v = std::getenv(name);
    return v && *v ? v : fallback;
}

std::string Quote(const std::string& s) {
    std::string q = "'";
    for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

struct TRead {
    size_t Lines = 0;
    size_t Bytes = 0;
};

TRead ReadService(const std::string& path, const std::string& password) {
    TIBStatisticalService svc(nullptr);
    svc.ServerName = "localhost";
    svc.Protocol = TProtocol::TCP;
    svc.Params = {"user_name=SYSDBA", "password=" + password};
    svc.DatabaseName = path;
    svc.Options = kFullStatOptions;
    svc.Activate();
    svc.ServiceStart();
    TRead r;
    while (!svc.Eof()) {
        std::string line = svc.GetNextLine();
        if (svc.Eof() && line.empty()) break;
        ++r.Lines;
        r.Bytes += line.size() + 1;
    }
    svc.Deactivate();
    return r;
}

TRead RunTool(const std::string& path, const std::string& password) {
    const std::string cmd = "fbstat -a -r -user SYSDBA -password " + Quote(password) + " " + Quote("localhost:" + path);
    FILE* p = popen(cmd.c_str(), "r");
    TRead r;
    if (!p) return r;
    static char buf[1 << 16];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) {
        r.Bytes += n;
        r.Lines += static_cast<size_t>(std::count(buf, buf + n, '\n'));
    }
    pclose(p);
    return r;
}

}  // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    const std::string password = Env("DRAVOLT_FB_PASSWORD", "masterkey");
    const std::string path =
        argc > 2 ? argv[2] : Env("DRAVOLT_FB_DATA", "/tmp/dravolt-fb") + "/service-bench-3000.fdb";

    const std::string make = "sh " + Quote(std::string(DRAVOLT_SOURCE_DIR) + "/bench/service_bench_db.sh") + " " +
                             Quote(path);
    if (std::system(make.c_str()) != 0) {
        std::fprintf(stderr, "could not make the database %s\n", path.c_str());
        return 1;
    }

    std::vector<double> service, tool;
    TRead s, t;
    for (int run = 0; run < runs; ++run) {
        // Alternate the order so that neither side always finds the cache warm.
        for (int side = 0; side < 2; ++side) {
            const bool serviceFirst = (run % 2 == 0) == (side == 0);
            const auto start = Clock::now();
            if (serviceFirst) {
                s = ReadService(path, password);
                service.push_back(Seconds(start));
            } else {
                t = RunTool(path, password);
                tool.push_back(Seconds(start));
            }
        }
        std::printf("run %d: service %.3f s, fbstat %.3f s\n", run + 1, service.back(), tool.back());
    }
    if (s.Lines != t.Lines) {
        std::fprintf(stderr, "the service sent %zu lines, fbstat printed %zu\n", s.Lines, t.Lines);
        return 1;
    }
    const double ms = Median(service), mt = Median(tool);
    std::printf("lines %zu, service %.1f MB, fbstat %.1f MB\n", s.Lines, s.Bytes / 1e6, t.Bytes / 1e6);
    std::printf("service read  %8.3f s  (median of %d)\n", ms, runs);
    std::printf("fbstat -a -r  %8.3f s  (median of %d)\n", mt, runs);
    std::printf("ratio         %8.2f  (goal <= 1.3)\n", ms / mt);
    return 0;
}
