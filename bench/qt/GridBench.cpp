// Grid benchmark through the main window, on the statistics text that
// parse_bench writes (N tables with three indices each). Prints, as medians:
//   1. loading the file until the window has painted (and the grids' share),
//   2. each header-click sort of the indices grid until it has painted, per
//      column,
//   3. each press and release of the problem filter until the grids shown
//      painted, per tab,
//   4. a row change in the tables grid ("Tables + Indices") until the indices
//      grid has followed and painted,
//   5. the same row change on a database a tenth the size, and the ratio,
//   6. a start of the program with the file until its window has painted.
// Then the rebuild and sort times of both grids on their own, and how many
// rows one paint of the indices grid asks for.
//
//   QT_QPA_PLATFORM=offscreen build/bench/bench_grid [tables=20000] [runs=5]
#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QProcess>
#include <QTabBar>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>
#include <vector>

#include "model/dkmain.h"
#include "model/moninfo.h"
#include "model/options.h"
#include "model/problems.h"
#include "ui/views/dbinfofr.h"
#include "ui/views/dblistfr.h"
#include "ui/views/indexStat.h"
#include "ui/window/main.h"
#include "ui/views/tablestat.h"

using namespace dv;

namespace {

double Ms(const QElapsedTimer& t) { return static_cast<double>(t.nsecsElapsed()) / 1e6; }

double Median(std::vector<double> v) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

// Counts the paint events of the widgets it watches.
class PaintCounter : public QObject {
public:
    int Paints = 0;
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::Paint) ++Paints;
        return false;
    }
};

PaintCounter* g_paints = nullptr;

// Delivers everything pending (timers, posted events, update requests)
// until a round paints nothing more; the time ends with the last paint.
void Settle() {
    for (int round = 0; round < 50; ++round) {
        const int before = g_paints->Paints;
        QApplication::sendPostedEvents();
        QApplication::processEvents(QEventLoop::AllEvents);
        if (g_paints->Paints == before && round > 0) break;
    }
}

std::string WriteStatText(int tables) {
    const std::string path = "/tmp/dravolt-grid-bench-" + std::to_string(tables) + ".txt";
    const std::string cmd = std::string(PARSE_BENCH) + " " + std::to_string(tables) + " " + path + " 1 >/dev/null";
    if (std::system(cmd.c_str()) != 0) {
        std::fprintf(stderr, "could not write the statistics text with %s\n", PARSE_BENCH);
        std::exit(1);
    }
    return path;
}

void ClickHeader(TVirtualStringTree* grid, int column) {
    QHeaderView* h = grid->header();
    const QPoint at(h->sectionViewportPosition(column) + h->sectionSize(column) / 2, h->height() / 2);
    QTest::mouseClick(h->viewport(), Qt::LeftButton, Qt::NoModifier, at);
}

struct RowChange {
    double Median = 0;
    double Worst = 0;
};

// Moves down the tables grid one row at a time, each move until the indices
// grid has followed and painted.
RowChange MoveThroughTables(TMainForm& form, int moves) {
    form.SelectTab(4);
    Settle();
    TVirtualStringTree* tables = FrTableStat->vstTblStat;
    tables->setFocus();
    QTest::keyClick(tables, Qt::Key_Home);
    Settle();
    std::vector<double> times;
    for (int m = 0; m < moves; ++m) {
        QElapsedTimer t;
        t.start();
        QTest::keyClick(tables, Qt::Key_Down);
        Settle();
        times.push_back(Ms(t));
    }
    TVirtualStringTree* indices = FrIndexStat->vstIdxStat;
    int shown = 0;
    for (PVirtualNode n = indices->GetFirst(); n; n = indices->GetNextSibling(n)) shown += indices->IsVisible(n);
    if (shown > 3) std::fprintf(stderr, "the indices grid did not follow the tables grid (%d rows shown)\n", shown);
    return {Median(times), *std::max_element(times.begin(), times.end())};
}

// Starts the program with the statistics file until it says that its
// window has painted (it then ends); below 0 when it never said so.
double StartToFirstPaint(const std::string& file, const QString& configDir) {
    QProcess program;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DRAVOLT_FIRST_PAINT"), QStringLiteral("1"));
    env.insert(QStringLiteral("DRAVOLT_CONFIG_DIR"), configDir);
    program.setProcessEnvironment(env);
    program.setStandardErrorFile(QProcess::nullDevice());
    QElapsedTimer t;
    t.start();
    program.start(QStringLiteral(DRAVOLT_APP), {QString::fromStdString(file)});
    QByteArray said;
    while (!said.contains("painted") && program.waitForReadyRead(30000)) said += program.readAllStandardOutput();
    const double ms = said.contains("painted") ? Ms(t) : -1;
    program.waitForFinished(30000);
    return ms;
}

}  // namespace

int main(int argc, char** argv) {
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    // Paint as soon as an update is asked for, not after the platform's idle
    // pause: the figures are the work, not the wait.
    setenv("QT_QPA_UPDATE_IDLE_TIME", "0", 1);
    QApplication app(argc, argv);
    const int tableCount = argc > 1 ? std::atoi(argv[1]) : 20000;
    const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;

    QTemporaryDir config;
    setenv("DRAVOLT_CONFIG_DIR", config.path().toLocal8Bit().constData(), 1);
    const std::string big = WriteStatText(tableCount);
    const std::string small = WriteStatText(std::max(1, tableCount / 10));

    InitStatisticsModel();
    InitMonitorInfo();
    InitDatabaseLists();
    PaintCounter paints;
    g_paints = &paints;

    TMainForm form;
    form.resize(1200, 800);
    form.show();
    Settle();
    for (QWidget* w : {FrTableStat->vstTblStat->viewport(), FrIndexStat->vstIdxStat->viewport(),
                       static_cast<QWidget*>(FrTableStat->vstTblStat->header()->viewport()),
                       static_cast<QWidget*>(FrIndexStat->vstIdxStat->header()->viewport())})
        w->installEventFilter(&paints);
    form.installEventFilter(&paints);

    // 1. Load: the file command's work until the window has painted; the
    // grids' rebuild is timed again on its own below.
    std::vector<double> loads;
    for (int r = 0; r < runs; ++r) {
        QElapsedTimer t;
        t.start();
        form.OpenStatFile(big);
        Settle();
        loads.push_back(Ms(t));
    }
    const size_t indexCount = DBInfo->Indices.size();
    std::printf("database: %zu tables, %zu indices\n", DBInfo->Relations.size(), indexCount);

    std::vector<double> rebuilds;
    for (int r = 0; r < runs; ++r) {
        QElapsedTimer t;
        t.start();
        FrTableStat->FillTables();
        FrIndexStat->FillIndices();
        rebuilds.push_back(Ms(t));
    }
    Settle();
    // The summary's rebuild on its own, and the problem lists' share of it.
    std::vector<double> summaries, problemLists;
    size_t problemRows = 0;
    for (int r = 0; r < runs; ++r) {
        QElapsedTimer t;
        t.start();
        FrDbInfo->FillDbInfo();
        summaries.push_back(Ms(t));
        t.start();
        const TProblemLists lists = ComputeProblemLists(*DBInfo);
        problemLists.push_back(Ms(t));
        problemRows = static_cast<size_t>(FrDbInfo->vstDbInfo->TotalCount());
    }
    Settle();

    // 2. Header-click sorts of the indices grid, on the Indices tab: every
    // visible column, clicked twice (descending, then ascending).
    form.SelectTab(3);
    Settle();
    TVirtualStringTree* indices = FrIndexStat->vstIdxStat;
    double worstSort = 0;
    int worstColumn = -1;
    std::vector<double> allSorts;
    std::vector<std::pair<int, double>> columnSorts;
    for (int c = 0; c < indices->Header().Columns.Count(); ++c) {
        if (!indices->Header().Columns[c].Visible()) continue;
        std::vector<double> times;
        for (int r = 0; r < runs; ++r) {
            for (int click = 0; click < 2; ++click) {
                QElapsedTimer t;
                t.start();
                ClickHeader(indices, c);
                Settle();
                times.push_back(Ms(t));
            }
        }
        const double m = Median(times);
        allSorts.push_back(m);
        columnSorts.emplace_back(c, m);
        if (m > worstSort) {
            worstSort = m;
            worstColumn = c;
        }
    }

    // 3. The problem filter, pressed and released on every tab, on "Tables +
    // Indices" with a table focused.
    std::vector<double> toggles;
    std::vector<std::pair<int, double>> tabToggles;
    auto toggle = [&](int times, std::vector<double>& into) {
        for (int r = 0; r < times; ++r) {
            QElapsedTimer t;
            t.start();
            form.Widgets().tbFilter->click();
            Settle();
            into.push_back(Ms(t));
        }
    };
    for (const int tab : {3, 0, 1, 2, 4}) {
        form.SelectTab(tab);
        Settle();
        if (tab == 4) {
            FrTableStat->vstTblStat->setFocus();
            QTest::keyClick(FrTableStat->vstTblStat, Qt::Key_Home);
            Settle();
        }
        std::vector<double> times;
        toggle(2 * runs, times);
        tabToggles.emplace_back(tab, Median(times));
        toggles.insert(toggles.end(), times.begin(), times.end());
    }
    if (form.Widgets().tbFilter->isChecked()) {
        std::vector<double> last;
        toggle(1, last);
    }

    // 4. Row changes in the tables grid.
    const RowChange bigMoves = MoveThroughTables(form, 200);

    // The grids on their own, with the rows one paint asks for.
    std::set<PVirtualNode> asked;
    {
        form.SelectTab(3);
        Settle();
        auto getText = indices->OnGetText;
        indices->OnGetText = [&](TVirtualStringTree* s, PVirtualNode n, TColumnIndex c, std::string& text) {
            asked.insert(n);
            getText(s, n, c, text);
        };
        indices->viewport()->repaint();
        indices->OnGetText = getText;
    }

    // 5. The same row change on a database a tenth the size.
    form.OpenStatFile(small);
    Settle();
    const size_t smallIndexCount = DBInfo->Indices.size();
    const RowChange smallMoves = MoveThroughTables(form, 200);

    std::printf("1. load file to painted window: %.1f ms (goal <= 150 ms; grids' rebuild alone: %.1f ms)\n", Median(loads),
                Median(rebuilds));
    std::printf("   summary rebuild alone: %.1f ms (%zu rows; problem lists alone: %.1f ms)\n", Median(summaries),
                problemRows, Median(problemLists));
    std::printf("2. header-click sort + paint of the indices grid: worst column %d (\"%s\") %.1f ms, "
                "median over columns %.1f ms (goal: every sort <= 10 ms)\n",
                worstColumn, worstColumn >= 0 ? indices->Header().Columns[worstColumn].Text().c_str() : "",
                worstSort, Median(allSorts));
    std::printf("   sort per column (median):");
    for (const auto& [c, m] : columnSorts) std::printf(" \"%s\" %.1f", indices->Header().Columns[c].Text().c_str(), m);
    std::printf(" ms\n");
    std::printf("3. problem filter toggle + paint: %.1f ms (worst %.1f ms; goal <= 10 ms)\n", Median(toggles),
                toggles.empty() ? 0 : *std::max_element(toggles.begin(), toggles.end()));
    std::printf("   toggle per tab (median):");
    for (const auto& [tab, m] : tabToggles)
        std::printf(" \"%s\" %.1f", form.Widgets().InfoTab->tabText(tab).toUtf8().constData(), m);
    std::printf(" ms\n");
    std::printf("4. row change in the tables grid, indices grid following + paint, %zu indices: %.2f ms "
                "(worst %.2f ms; goal <= 10 ms)\n",
                indexCount, bigMoves.Median, bigMoves.Worst);
    std::printf("5. the same with %zu indices: %.2f ms (worst %.2f ms); ratio %.2f\n", smallIndexCount,
                smallMoves.Median, smallMoves.Worst, smallMoves.Median > 0 ? bigMoves.Median / smallMoves.Median : 0);
    std::vector<double> starts;
    for (int r = 0; r < runs; ++r) starts.push_back(StartToFirstPaint(big, config.path()));
    std::printf("6. process start to painted window, %zu indices: %.1f ms (worst %.1f ms; goal <= 250 ms)\n",
                indexCount, Median(starts), *std::max_element(starts.begin(), starts.end()));
    std::printf("one paint of the indices grid asked %zu rows\n", asked.size());
    return 0;
}
