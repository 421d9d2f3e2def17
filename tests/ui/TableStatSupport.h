// Helpers of the tables and indices view tests: a hand-built model, and the
// cell as the user sees it, read back through the views' own handlers.
#pragma once

#include <QFont>
#include <cstdlib>
#include <functional>
#include <string>

#include "model/dkmain.h"
#include "model/options.h"
#include "platform/gui/VirtualTrees.h"
#include "tests/support/TestModel.h"
#include "tests/support/qt/PaintRequests.h"

namespace dv::test {

// The colour the grid paints a cell in before the view's handler runs; a
// cell the handler leaves alone keeps it.
constexpr TColor ColumnColour = 0x00123456;

// An empty model with a page size, default options, and an environment
// where settings never touch the user's own.
inline void ResetModel(int pageSize = 4096) {
    static bool once = [] {
        setenv("DRAVOLT_CONFIG_DIR", "/tmp/dravolt-h8-test-config", 1);
        return true;
    }();
    (void)once;
    InitStatisticsModel();
    DBInfo->Reset(true);
    DBInfo->PageSize = pageSize;
    DBInfo->IsRecordInfoAvailable = true;
    DBInfo->IsNullSegInfoAvailable = false;
    OptionSettings = TOptionSettings();
}

inline TRelation* AddTable(const std::string& name) { return NewTable(name); }
inline TIndex* AddIndex(TRelation* r, const std::string& name) { return NewIndex(r, name); }

// A painted cell: what the grid and the view's handler asked to paint, and
// the colour that leaves at a few places.
struct TPaintedCell {
    std::vector<TPaintRequest> Requests;
    int Width = 0, Height = 0;
    TColor At(int x, int y) const { return ColorAt(Requests, QPoint(x, y)).value_or(clWindow); }
    TColor At(int x) const { return At(x, Height / 2); }
    TColor Left() const { return At(1); }
    TColor Right() const { return At(Width - 2); }
    // Width of the bar: the run of `colour` from the left edge.
    int RunFromLeft(TColor colour) const {
        int x = 0;
        while (x < Width && At(x) == colour) ++x;
        return x;
    }
};

using TBeforePaint = std::function<void(TCanvas&, QRect)>;

// Paints one cell of width w as the grid does: the column colour first, then
// the view's OnBeforeCellPaint.
inline TPaintedCell PaintCell(const TBeforePaint& handler, int w = 100, int h = 18) {
    TPaintedCell cell;
    cell.Width = w;
    cell.Height = h;
    TPaintRecorder recorder;
    TCanvas canvas(nullptr, QFont());
    canvas.Brush.Color = ColumnColour;
    const QRect rect(0, 0, w, h);
    canvas.FillRect(rect);
    handler(canvas, rect);
    cell.Requests = std::move(recorder.Requests);
    return cell;
}

// The font style OnPaintText leaves on a fresh canvas.
inline TFontStyles FontStyleOf(const std::function<void(TCanvas&)>& handler) {
    TCanvas canvas(nullptr, QFont());
    handler(canvas);
    return canvas.Font.Style;
}

// The top-level nodes in display order.
inline std::vector<PVirtualNode> Rows(TVirtualStringTree* tree) {
    std::vector<PVirtualNode> rows;
    for (PVirtualNode n = tree->GetFirst(); n; n = tree->GetNextSibling(n)) rows.push_back(n);
    return rows;
}

}  // namespace dv::test
