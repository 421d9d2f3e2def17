// Painting helpers shared by the grids: Windows colour values, a small canvas
// over QPainter that the views paint cell backgrounds, bars and lines with,
// and the in-cell bar. Colours travel as 0x00BBGGRR values until they are
// painted; only ColorFromWin turns them into QColor.
#pragma once

#include <QColor>
#include <QFont>
#include <QPoint>
#include <QRect>
#include <cstdint>
#include <string>
#include <string_view>

class QPainter;
class QString;

namespace dv {

// A colour as the options and the views keep it: 0x00BBGGRR, or a system
// colour (high byte 0x80, low byte the system colour number).
using TColor = uint32_t;

constexpr TColor clBlack = 0x00000000;
constexpr TColor clMaroon = 0x00000080;
constexpr TColor clGreen = 0x00008000;
constexpr TColor clNavy = 0x00800000;
constexpr TColor clGray = 0x00808080;
constexpr TColor clSilver = 0x00C0C0C0;
constexpr TColor clRed = 0x000000FF;
constexpr TColor clLime = 0x0000FF00;
constexpr TColor clYellow = 0x0000FFFF;
constexpr TColor clBlue = 0x00FF0000;
constexpr TColor clWhite = 0x00FFFFFF;
// System colours, resolved through the application palette when painted.
constexpr TColor clBtnFace = 0x8000000F;
constexpr TColor clWindow = 0x80000005;
constexpr TColor clWindowText = 0x80000008;
constexpr TColor clHighlight = 0x8000000D;
constexpr TColor clHighlightText = 0x8000000E;
constexpr TColor clInfoBk = 0x80000018;
constexpr TColor clBtnShadow = 0x80000010;

// 0x00BBGGRR (or a system colour) -> QColor.
QColor ColorFromWin(TColor color);
// QColor -> 0x00BBGGRR.
TColor ColorToWin(const QColor& color);

enum TFontStyle : uint32_t { fsBold = 1, fsItalic = 2, fsUnderline = 4, fsStrikeOut = 8 };
using TFontStyles = uint32_t;

// Canvas of one cell paint. The painter may be absent (measuring only): then
// the drawing calls do nothing and only Font is of use.
class TCanvas {
public:
    TCanvas(QPainter* painter, const QFont& baseFont);

    struct TBrush {
        TColor Color = clWindow;
    } Brush;
    struct TCanvasFont {
        TFontStyles Style = 0;
        TColor Color = clWindowText;
    } Font;

    // Fills the rectangle with Brush.Color.
    void FillRect(const QRect& rect);

    // The base font with Font.Style applied (kerning off, see the auto-width).
    QFont QtFont() const;
    QPainter* Painter() const { return painter_; }

private:
    QPainter* painter_;
    QFont baseFont_;
};

// In-cell bar: from the cell's left edge to Left + Round(W * percent / 100)
// (W = the cell's width, halves to even), 1 pixel inside at top and bottom,
// filled with color. A percentage that is not finite or not above 0 draws
// nothing; above 100 the bar stops at the cell's right edge.
void DrawBar(TCanvas& canvas, const QRect& cell, double percent, TColor color);
// The bar rectangle DrawBar fills (empty when nothing is drawn).
QRect BarRect(const QRect& cell, double percent);

// Name comparison of the grids: the user's locale collation, case-sensitive,
// over the whole strings; -1, 0 or 1.
int CompareText(const std::string& a, const std::string& b);

// The text a grid, hint or report window shows for bytes of the model. A
// name from a database that is not in UTF-8 (a Firebird 2 text of a WIN1251
// database) would decode as a row of replacement characters, and two
// different names would look the same; each byte outside a well-formed UTF-8
// sequence is shown as the character it is in Windows-1252 instead. Only what
// is shown changes: the model, the report and the save file keep the bytes.
QString DisplayText(std::string_view bytes);

}  // namespace dv
