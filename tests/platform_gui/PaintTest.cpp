// Painting asks the view at paint time, only for the rows on screen; cell
// fills, bars and fonts come from the events; chess positions; auto-width.
#include "tests/platform_gui/GridTestSupport.h"
#include "tests/support/qt/PaintRequests.h"

#include <QApplication>
#include <QHeaderView>
#include <QImage>
#include <QPainter>
#include <QPixmap>
#include <QScrollBar>
#include <gtest/gtest.h>

using namespace dv;
using namespace dv::test;

namespace {

std::vector<Row> manyRows(int n) {
    std::vector<Row> r;
    for (int i = 0; i < n; ++i) r.push_back({"row" + std::to_string(i), i});
    return r;
}

QImage paintViewport(TVirtualStringTree& t) {
    QApplication::processEvents();
    return t.viewport()->grab().toImage();
}

QIcon solidIcon(QColor c) {
    QPixmap p(16, 16);
    p.fill(c);
    return QIcon(p);
}

}  // namespace

TEST(Paint, AsksOnlyTheRowsOnScreen) {
    GridFixture f;
    f.fill(manyRows(60000));
    f.tree.resize(300, 240);
    f.tree.show();
    paintViewport(f.tree);

    const int rowHeight = f.tree.visualRect(f.tree.IndexOf(f.tree.GetFirst())).height();
    ASSERT_GT(rowHeight, 0);
    const int onScreen = f.tree.viewport()->height() / rowHeight + 1;

    struct Case {
        int scrollTo;  // first row at the top
    };
    for (Case c : {Case{0}, Case{30000}, Case{59990}}) {
        f.tree.verticalScrollBar()->setValue(c.scrollTo);
        paintViewport(f.tree);  // settle the scroll
        f.textCallsPerRow.clear();
        paintViewport(f.tree);
        ASSERT_FALSE(f.textCallsPerRow.empty()) << "scrolled to " << c.scrollTo;
        EXPECT_LE(static_cast<int>(f.textCallsPerRow.size()), onScreen) << "scrolled to " << c.scrollTo;
        const int first = f.textCallsPerRow.begin()->first;
        const int last = f.textCallsPerRow.rbegin()->first;
        EXPECT_GE(first, std::min(c.scrollTo, 60000 - onScreen)) << "scrolled to " << c.scrollTo;
        EXPECT_LE(last - first + 1, onScreen) << "scrolled to " << c.scrollTo;
        for (auto& [row, calls] : f.textCallsPerRow) EXPECT_EQ(calls, 2) << "row " << row;  // one per column
    }
}

TEST(Paint, NothingIsCachedBetweenPaints) {
    GridFixture f;
    f.fill(manyRows(3));
    f.tree.resize(300, 200);
    f.tree.show();
    paintViewport(f.tree);
    const int before = f.getTextCalls;
    f.rows[1].Name = "changed";
    paintViewport(f.tree);
    EXPECT_EQ(f.getTextCalls - before, 6);
    EXPECT_EQ(f.tree.model()->data(f.tree.model()->index(1, 0)).toString(), "changed");
    // The grid lines follow a change of the palette.
    for (const QColor midlight : {QColor(0x40, 0x80, 0xC0), QColor(0xC0, 0x20, 0x60)}) {
        QPalette palette = f.tree.palette();
        palette.setColor(QPalette::Midlight, midlight);
        f.tree.setPalette(palette);
        TPaintRecorder recorder;
        f.tree.viewport()->grab();
        int lines = 0;
        for (const TPaintRequest& q : recorder.Requests) {
            if (q.Kind != pkLine) continue;
            ++lines;
            EXPECT_EQ(ColorText(q.Color), ColorText(ColorToWin(midlight.darker(110)))) << RequestLine(q);
        }
        EXPECT_GT(lines, 0);
    }
}

TEST(Paint, EventsComeInOrderWithTheColumnColourOnTheBrush) {
    GridFixture f;
    f.fill(manyRows(1));
    f.tree.Header().Columns[1].SetColor(0x00F0FBFF);
    f.tree.resize(300, 100);
    f.tree.show();
    std::vector<std::string> log;
    f.tree.OnBeforeCellPaint = [&](TVirtualStringTree*, TCanvas& c, PVirtualNode, TColumnIndex col, QRect) {
        log.push_back("before" + std::to_string(col) + ":" + std::to_string(c.Brush.Color));
    };
    f.tree.OnPaintText = [&](TVirtualStringTree*, TCanvas& c, PVirtualNode, TColumnIndex col) {
        log.push_back("font" + std::to_string(col));
        if (col == 1) c.Font = {fsBold, clRed};
    };
    f.tree.OnGetImageIndex = [&](TVirtualStringTree*, PVirtualNode, TVTImageKind kind, TColumnIndex col, bool&, int&) {
        log.push_back("image" + std::to_string(col) + (kind == ikNormal ? "n" : "s"));
    };
    auto text = f.tree.OnGetText;
    f.tree.OnGetText = [&](TVirtualStringTree* t, PVirtualNode n, TColumnIndex col, std::string& s) {
        log.push_back("text" + std::to_string(col));
        text(t, n, col, s);
    };
    paintViewport(f.tree);  // settle pending paints
    log.clear();
    std::vector<std::string> texts;
    {
        TPaintRecorder recorder;
        f.tree.viewport()->grab();
        for (const TPaintRequest& q : recorder.Requests) {
            if (q.Kind != pkText) continue;
            const QRect cell = f.tree.visualRect(f.tree.IndexOf(f.tree.GetFirst(), static_cast<int>(texts.size())));
            EXPECT_TRUE(cell.contains(q.Rect)) << RequestLine(q) << " in " << RectText(cell);
            texts.push_back(ColorText(q.Color) + " " + std::to_string(q.Style) + " " + q.Text.toStdString());
        }
    }
    const std::vector<std::string> expected = {
        "before0:" + std::to_string(clWindow), "font0", "image0n", "text0",
        "before1:" + std::to_string(0x00F0FBFF), "font1", "image1n", "text1"};
    EXPECT_EQ(log, expected);
    // The texts go out in the font and colour the events left on the canvas.
    const std::string windowText = ColorText(ColorToWin(ColorFromWin(clWindowText)));
    EXPECT_EQ(texts, (std::vector<std::string>{windowText + " 0 row0", ColorText(clRed) + " 1 0"}));

    // A selected row asks for the selected image.
    f.tree.SetSelected(f.tree.GetFirst(), true);
    log.clear();
    paintViewport(f.tree);
    EXPECT_NE(std::find(log.begin(), log.end(), "image0s"), log.end());
}

TEST(Paint, FillsBarsAndImagesLandInTheCell) {
    GridFixture f;
    f.fill(manyRows(3));
    f.tree.SetGridLines(true, true);
    f.tree.Header().Columns[0].SetWidth(120);
    f.tree.Header().Columns[1].SetWidth(101);
    f.tree.Header().Columns[1].SetColor(0x00FF0000);  // blue column
    f.tree.Images.Add(solidIcon(Qt::magenta));
    f.tree.resize(300, 150);
    f.tree.show();
    std::vector<QRect> cells(3);
    f.tree.OnBeforeCellPaint = [&](TVirtualStringTree*, TCanvas& c, PVirtualNode n, TColumnIndex col, QRect r) {
        const auto row = TVirtualStringTree::GetNodeData(n);
        if (col != 1) return;
        cells[static_cast<size_t>(row)] = r;
        if (row == 0) {
            c.Brush.Color = clRed;
            c.FillRect(r);
        } else if (row == 1) {
            DrawBar(c, r, 50, 0x0000FF00);  // green half bar over the blue column
        }
    };
    f.tree.OnGetImageIndex = [](TVirtualStringTree*, PVirtualNode n, TVTImageKind, TColumnIndex col, bool&, int& i) {
        if (col == 0 && TVirtualStringTree::GetNodeData(n) == 2) i = 0;
    };
    f.tree.OnGetText = [](TVirtualStringTree*, PVirtualNode, TColumnIndex, std::string&) {};  // no text in the way
    QApplication::processEvents();
    TPaintRecorder recorder;
    const QImage img = f.tree.viewport()->grab().toImage();
    const std::vector<TPaintRequest>& asked = recorder.Requests;
    auto within = [&](const QRect& cell) {
        std::vector<TPaintRequest> in;
        for (const TPaintRequest& q : asked)
            if (cell.contains(q.Rect)) in.push_back(q);
        return RequestLines(in);
    };

    const QRect red = cells[0];
    ASSERT_TRUE(red.isValid());
    EXPECT_EQ(red.width(), 100);  // the vertical grid line keeps the column's last pixel
    EXPECT_EQ(within(red), Fills({{red, clBlue}, {red, clRed}}));
    // the green half bar, 1 pixel free above and below, over the blue column
    const QRect bar = cells[1];
    const QRect half(bar.left(), bar.top() + 1, 50, bar.height() - 2);
    EXPECT_EQ(within(bar), Fills({{bar, clBlue}, {half, clLime, pkBar}}));
    EXPECT_EQ(within(cells[2]), Fills({{cells[2], clBlue}}));
    // the image of row 2 sits at the left of column 0
    const QRect row2 = f.tree.visualRect(f.tree.IndexOf(f.tree.GetLastChild(nullptr), 0));
    std::vector<TPaintRequest> images;
    for (const TPaintRequest& q : asked)
        if (q.Kind == pkImage) images.push_back(q);
    ASSERT_EQ(images.size(), 1u);
    EXPECT_EQ(images[0].ImageKey, f.tree.Images.Icons[0].cacheKey());
    EXPECT_EQ(images[0].Rect.left(), row2.left() + TVirtualStringTree::Margin);
    EXPECT_EQ(images[0].Rect.size(), QSize(16, 16));
    EXPECT_TRUE(row2.contains(images[0].Rect)) << RequestLine(images[0]) << " in " << RectText(row2);

    // The canvas paints what it records: each pixel of the viewport that a
    // fill, bar, line or image asked for shows the colour of the last of
    // them that covers it (the icon is all magenta).
    const QColor magenta = f.tree.Images.Icons[0].pixmap(16, 16).toImage().pixelColor(8, 8);
    std::vector<int> shown(asked.size()), wrong(asked.size());
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            for (size_t i = asked.size(); i-- > 0;) {
                if (!asked[i].Rect.contains(x, y)) continue;
                const QColor want = asked[i].Kind == pkImage ? magenta : ColorFromWin(asked[i].Color);
                ++(img.pixelColor(x, y) == want ? shown : wrong)[i];
                break;
            }
    for (size_t i = 0; i < asked.size(); ++i) EXPECT_EQ(wrong[i], 0) << RequestLine(asked[i]);
    // 6 cell fills, the red fill, the bar, the image and 2 grid lines per
    // cell; all show somewhere but the blue fill under the red one.
    EXPECT_EQ(asked.size(), 21u);
    EXPECT_EQ(std::count_if(shown.begin(), shown.end(), [](int n) { return n > 0; }), 20);
}

TEST(Paint, ChessPositionsCountHiddenRows) {
    GridFixture f;
    f.fill(manyRows(6));
    std::vector<PVirtualNode> n;
    for (PVirtualNode x = f.tree.GetFirst(); x; x = f.tree.GetNextSibling(x)) n.push_back(x);
    f.tree.SetVisible(n[1], false);
    f.tree.SetVisible(n[4], false);
    std::string chess;
    for (PVirtualNode x = f.tree.GetFirstVisible(); x; x = f.tree.GetNextVisible(x)) chess += f.tree.IsChessRow(x) ? "#" : ".";
    EXPECT_EQ(chess, "##..");  // rows 0, 2, 3, 5: two filled neighbours, then two plain ones
    f.tree.SortTree(1, sdDescending);  // positions follow the new order
    EXPECT_EQ(f.tree.GetNodeIndex(n[5]), 0);
    EXPECT_TRUE(f.tree.IsChessRow(n[5]));
    EXPECT_FALSE(f.tree.IsChessRow(n[4]));
}

TEST(Paint, BarGeometryRoundsHalvesToEven) {
    struct Case {
        int width;
        double percent;
        int barWidth;  // 0: no bar
    };
    const Case cases[] = {
        {100, 50, 50},   {5, 50, 2},     {7, 50, 4},    {3, 50, 2},        {100, 0.5, 0},
        {100, 1.5, 2},   {100, 2.5, 2},  {100, 100, 100}, {100, 150, 100}, {100, 1e308, 100},
        {100, 0, 0},     {100, -5, 0},   {100, std::numeric_limits<double>::quiet_NaN(), 0},
        {100, std::numeric_limits<double>::infinity(), 0}, {100, -std::numeric_limits<double>::infinity(), 0},
        {0, 50, 0},
    };
    for (const Case& c : cases) {
        const QRect cell(10, 20, c.width, 18);
        const QRect bar = BarRect(cell, c.percent);
        if (c.barWidth == 0) {
            EXPECT_FALSE(bar.isValid()) << c.width << " " << c.percent;
            continue;
        }
        EXPECT_EQ(bar.left(), 10) << c.percent;
        EXPECT_EQ(bar.width(), c.barWidth) << c.width << " " << c.percent;
        EXPECT_EQ(bar.top(), 21) << c.percent;
        EXPECT_EQ(bar.bottom(), 36) << c.percent;  // cell bottom is 37
    }
    // DrawBar without a painter (measuring canvas) does nothing and does not crash.
    TCanvas measuring(nullptr, QFont());
    DrawBar(measuring, QRect(0, 0, 10, 10), 50, clRed);
    EXPECT_EQ(measuring.Brush.Color, clRed);
}

TEST(Paint, ColorFromWinSwapsRedAndBlue) {
    EXPECT_EQ(ColorFromWin(0x000000FF), QColor(255, 0, 0));
    EXPECT_EQ(ColorFromWin(0x00FF0000), QColor(0, 0, 255));
    EXPECT_EQ(ColorFromWin(0x00F0FBFF), QColor(0xFF, 0xFB, 0xF0));
    EXPECT_EQ(ColorToWin(QColor(0x12, 0x34, 0x56)), 0x00563412u);
    EXPECT_EQ(ColorFromWin(clWindow), QApplication::palette().color(QPalette::Base));
}

// Width of a text as the grid paints it (the canvas font of that style).
int paintedWidth(TVirtualStringTree& t, const std::string& text, TFontStyles style = 0) {
    TCanvas c(nullptr, t.font());
    c.Font.Style = style;
    return QFontMetrics(c.QtFont()).horizontalAdvance(QString::fromStdString(text));
}

// The auto-width never cuts a text short; it may be a little wider where the
// font joins letters (ligatures such as "ff") or rounds the sum up.
#define EXPECT_FITS(measured, needed)                 \
    do {                                               \
        const int m_ = (measured), n_ = (needed);      \
        EXPECT_GE(m_, n_);                             \
        EXPECT_LE(m_, n_ + 3);                         \
    } while (0)

TEST(Paint, AutoWidthIsTheWidestCellWithFontAndImage) {
    GridFixture f;
    f.fill({{"short", 1}, {"a much longer name", 2}, {"mid name", 3}});
    f.tree.SetFlatList(true);
    const int extra = TVirtualStringTree::Margin + 2 * TVirtualStringTree::TextMargin + 1;
    const int plainWidth = paintedWidth(f.tree, "a much longer name") + extra;
    EXPECT_FITS(f.tree.GetMaxColumnWidth(0), plainWidth);

    // the widest row in bold is measured in bold
    f.tree.OnPaintText = [](TVirtualStringTree*, TCanvas& c, PVirtualNode n, TColumnIndex) {
        if (TVirtualStringTree::GetNodeData(n) == 1) c.Font.Style = fsBold;
    };
    const int boldWidth = paintedWidth(f.tree, "a much longer name", fsBold) + extra;
    ASSERT_GT(boldWidth, plainWidth);
    EXPECT_FITS(f.tree.GetMaxColumnWidth(0), boldWidth);

    // an image on the widest row adds its width + 2; on a narrow row it does not matter
    f.tree.Images.Add(QIcon());
    f.tree.OnGetImageIndex = [](TVirtualStringTree*, PVirtualNode n, TVTImageKind, TColumnIndex, bool&, int& i) {
        i = TVirtualStringTree::GetNodeData(n) <= 1 ? 0 : -1;
    };
    EXPECT_FITS(f.tree.GetMaxColumnWidth(0), boldWidth + 16 + 2);

    // hidden rows count as well
    f.tree.SetVisible(f.tree.GetNextSibling(f.tree.GetFirst()), false);
    EXPECT_FITS(f.tree.GetMaxColumnWidth(0), boldWidth + 16 + 2);
    // an empty grid needs nothing
    f.fill({});
    EXPECT_EQ(f.tree.GetMaxColumnWidth(0), 0);
}

TEST(Paint, AutoWidthFitsEveryKindOfText) {
    const std::string texts[] = {"1234567890", "WAVE AVATAR To Ty", "office affluent", "Grüße, Ærø", "日本語の索引",
                                 "RDB$INDEX_12", "1,234,567.89", "x"};
    const int extra = TVirtualStringTree::Margin + 2 * TVirtualStringTree::TextMargin + 1;
    for (const std::string& text : texts) {
        for (TFontStyles style : {TFontStyles(0), TFontStyles(fsBold), TFontStyles(fsItalic)}) {
            SCOPED_TRACE(text + " style " + std::to_string(style));
            GridFixture f;
            f.fill({{text, 0}});
            f.tree.SetFlatList(true);
            f.tree.OnPaintText = [style](TVirtualStringTree*, TCanvas& c, PVirtualNode, TColumnIndex) { c.Font.Style = style; };
            EXPECT_FITS(f.tree.GetMaxColumnWidth(0), paintedWidth(f.tree, text, style) + extra);
            // Narrower than the text the cell ends in an ellipsis instead of
            // cutting the text off.
            const int fit = f.tree.GetMaxColumnWidth(0);
            f.tree.resize(fit + 200, 80);
            f.tree.show();
            const auto textPixels = [&](int columnWidth, int shownWidth) {
                f.tree.Header().Columns[0].SetWidth(columnWidth);
                const QRect row = f.tree.visualRect(f.tree.IndexOf(f.tree.GetFirst()));
                return paintViewport(f.tree).copy(0, row.top(), shownWidth, row.height());
            };
            if (text.size() > 3) {
                const int narrow = fit - 5;
                const int narrowShown = narrow - 1 - TVirtualStringTree::TextMargin;
                EXPECT_NE(textPixels(narrow, narrowShown), textPixels(fit + 100, narrowShown)) << "elided";
            }
        }
    }
}

TEST(Paint, LaidOutTextsDrawTheTextsDrawTextDraws) {
    // Each text in each style and alignment, in a box it fits in and in
    // boxes too narrow or too low for it, twice (the second time from the
    // layout kept): the pixels of drawText.
    const QString texts[] = {
        "1234567890", "WAVE AVATAR To Ty", "Grüße, Ærø", "日本語の索引", "RDB$INDEX_12…", "שלום 12", " lead", "trail ",
        "x"};
    const QSize boxes[] = {{190, 17}, {191, 18}, {30, 17}, {190, 8}};
    for (const QString& text : texts) {
        for (TFontStyles style :
             {TFontStyles(0), TFontStyles(fsBold), TFontStyles(fsItalic), TFontStyles(fsUnderline)}) {
            for (int align : {Qt::AlignLeft, Qt::AlignRight, Qt::AlignHCenter}) {
                for (const QSize& box : boxes) {
                    for (Qt::LayoutDirection direction : {Qt::LayoutDirectionAuto, Qt::LeftToRight}) {
                        SCOPED_TRACE(text.toStdString() + " style " + std::to_string(style) + " align " +
                                     std::to_string(align) + " box " + std::to_string(box.width()) + "x" +
                                     std::to_string(box.height()) + " direction " + std::to_string(direction));
                        TCanvas canvas(nullptr, QApplication::font());
                        canvas.Font.Style = style;
                        const QFont font = canvas.QtFont();
                        const QRect rect(QPoint(3, 2), box);
                        const int flags = align | Qt::AlignVCenter | Qt::TextSingleLine;
                        const auto paint = [&](auto draw) {
                            QImage image(200, 24, QImage::Format_ARGB32_Premultiplied);
                            image.fill(Qt::white);
                            QPainter p(&image);
                            p.setLayoutDirection(direction);
                            p.setFont(font);
                            p.setPen(Qt::black);
                            draw(p);
                            return image;
                        };
                        const QImage expected = paint([&](QPainter& p) { p.drawText(rect, flags, text); });
                        const bool fits =
                            QFontMetricsF(font).horizontalAdvance(text) <= box.width() && box.height() > 10;
                        const bool plain = style != fsUnderline && !text.startsWith(' ') && !text.endsWith(' ');
                        TLaidOutTexts laidOut;
                        for (int time = 0; time < 2; ++time) {
                            bool drawn = false;
                            const QImage image = paint([&](QPainter& p) {
                                drawn = laidOut.Draw(&p, rect, flags, text);
                                if (!drawn) p.drawText(rect, flags, text);
                            });
                            EXPECT_EQ(image, expected) << "time " << time;
                            EXPECT_EQ(drawn, fits && plain) << "time " << time;
                        }
                    }
                }
            }
        }
    }
}

TEST(Paint, AutoWidthOfATreeColumnCountsTheIndent) {
    GridFixture f;
    f.rows = {{"p", 0}, {"child", 0}};
    PVirtualNode p = f.tree.AddChild(nullptr, 0);
    PVirtualNode c = f.tree.AddChild(p, 1);
    const int extra = TVirtualStringTree::Margin + 2 * TVirtualStringTree::TextMargin + 1;
    EXPECT_FITS(f.tree.GetCellContentWidth(c, 0), 2 * f.tree.indentation() + paintedWidth(f.tree, "child") + extra);
    EXPECT_FITS(f.tree.GetCellContentWidth(c, 1), paintedWidth(f.tree, "0") + extra);  // other columns: no indent
    EXPECT_FITS(f.tree.GetMaxColumnWidth(0), 2 * f.tree.indentation() + paintedWidth(f.tree, "child") + extra);
}

TEST(Paint, NoCellIsAskedWhileAnUpdateIsOpen) {
    GridFixture f;
    f.fill(manyRows(50));
    f.tree.resize(300, 200);
    f.tree.show();
    paintViewport(f.tree);
    f.tree.BeginUpdate();
    f.getTextCalls = 0;
    f.tree.Clear();
    for (int i = 0; i < 50; ++i) f.tree.AddChild(nullptr, i);
    f.tree.SetVisible(f.tree.GetFirst(), false);
    f.tree.viewport()->update();
    QApplication::processEvents();
    EXPECT_EQ(f.getTextCalls, 0);
    f.tree.EndUpdate();
    paintViewport(f.tree);
    EXPECT_GT(f.getTextCalls, 0);
    EXPECT_EQ(ShownText(f.tree).substr(0, 9), "row1 | 1\n");  // the hidden first row stays hidden
}
