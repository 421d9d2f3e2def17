// Helpers of the tables and indices view tests: a hand-built model, and the
// cell as the user sees it, read back through the views' own handlers.
#pragma once

#include <QFont>
#include <QImage>
#include <QPainter>
#include <cstdlib>
#include <functional>
#include <string>

#include "model/dkmain.h"
#include "model/options.h"
#include "platform/gui/VirtualTrees.h"
#include "tests/support/TestModel.h"

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

// A painted cell: the image and the colour at a few places.
struct TPaintedCell {
    QImage Image;
    TColor At(int x) const { return ColorToWin(QColor(Image.pixel(x, Image.height() / 2))); }
    TColor Left() const { return At(1); }
    TColor Right() const { return At(Image.width() - 2); }
    // Width of the bar: the run of `colour` from the left edge.
    int RunFromLeft(TColor colour) const {
        int x = 0;
        while (x < Image.width() && At(x) == colour) ++x;
        return x;
    }
};

using TBeforePaint = std::function<void(TCanvas&, QRect)>;

// Paints one cell of width w as the grid does: the column colour first, then
// the view's OnBeforeCellPaint.
inline TPaintedCell PaintCell(const TBeforePaint& handler, int w = 100, int h = 18) {
    TPaintedCell cell;
    cell.Image = QImage(w, h, QImage::Format_RGB32);
    QPainter painter(&cell.Image);
    TCanvas canvas(&painter, QFont());
    canvas.Brush.Color = ColumnColour;
    const QRect rect(0, 0, w, h);
    canvas.FillRect(rect);
    handler(canvas, rect);
    painter.end();
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
