// Painting helpers shared by the grids: Windows colour values, a small canvas
// over QPainter that the views paint cell backgrounds, bars, lines, images
// and texts with, and the in-cell bar. Colours travel as 0x00BBGGRR values
// until they are painted; only ColorFromWin turns them into QColor.
#pragma once

#include <QColor>
#include <QFont>
#include <QIcon>
#include <QPoint>
#include <QRect>
#include <QString>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class QPainter;

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

// One thing a canvas was asked to paint. Colours are the painted ones as
// 0x00BBGGRR (system colours resolved through the palette).
enum TPaintKind : uint8_t { pkFill, pkBar, pkLine, pkImage, pkText };
struct TPaintRequest {
    TPaintKind Kind = pkFill;
    // The pixels asked for: a fill's or bar's rectangle, the pixels of a
    // one-pixel line, the image's box, the box a text is laid out in.
    QRect Rect;
    TColor Color = clBlack;  // fill, bar, line and text colour
    TFontStyles Style = 0;   // text
    QString Text;            // text, as shown (elided)
    qint64 ImageKey = 0;     // image: QIcon::cacheKey() of the icon painted
    bool Ghosted = false;    // image: painted disabled
};

// Keeps every request any canvas receives while it is installed, so that a
// grid's painting can be checked by what it asked for instead of by pixels.
// Installing nests; the previous recorder is back when this one goes.
// Without one the canvas pays a single pointer test per call.
class TPaintRecorder {
public:
    TPaintRecorder() : previous_(installed_) { installed_ = this; }
    ~TPaintRecorder() { installed_ = previous_; }
    TPaintRecorder(const TPaintRecorder&) = delete;
    TPaintRecorder& operator=(const TPaintRecorder&) = delete;

    std::vector<TPaintRequest> Requests;

    static TPaintRecorder* Installed() { return installed_; }

private:
    static inline TPaintRecorder* installed_ = nullptr;
    TPaintRecorder* previous_;
};

// One-line texts laid out once, for the fonts they are drawn in. A grid
// paints the same few hundred cell texts at every sort, scroll and filter,
// and laying a text out (shaping, line breaking) was most of its drawing.
class TLaidOutTexts {
public:
    TLaidOutTexts();
    ~TLaidOutTexts();
    TLaidOutTexts(const TLaidOutTexts&) = delete;
    TLaidOutTexts& operator=(const TLaidOutTexts&) = delete;
    // Draws the text in the painter's font and pen with the pixels
    // QPainter::drawText(rect, flags, text) gives, for a single line of
    // text that fits rect, in a painter that is not right-to-left, in a font
    // without lines (underline, strike-out, overline); false,
    // having drawn nothing, for any other text.
    bool Draw(QPainter* painter, const QRect& rect, int flags, const QString& text);

private:
    struct TFontTexts;
    std::vector<std::unique_ptr<TFontTexts>> fonts_;
};

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
    // Fills the rectangle with a colour of the palette (the selection);
    // Brush is left as it is.
    void FillRect(const QRect& rect, const QColor& color);
    // A horizontal or vertical line of one pixel, both ends included.
    void DrawLine(const QPoint& from, const QPoint& to, const QColor& color);
    // The icon centred in rect.
    void DrawImage(const QIcon& icon, const QRect& rect, bool ghosted);
    // One line of text in the QtFont() of Font.Style and the given pen;
    // flags are Qt::AlignmentFlag | Qt::TextFlag values.
    void DrawText(const QRect& rect, int flags, const QString& text, const QColor& pen);

    // The base font with Font.Style applied (kerning off, see the auto-width).
    QFont QtFont() const;
    QPainter* Painter() const { return painter_; }
    // Texts that DrawText may draw from layouts kept there (nullptr: none).
    void SetLaidOutTexts(TLaidOutTexts* texts) { texts_ = texts; }

private:
    friend void DrawBar(TCanvas&, const QRect&, double, TColor);
    void fill(TPaintKind kind, const QRect& rect, const QColor& color);

    QPainter* painter_;
    QFont baseFont_;
    TLaidOutTexts* texts_ = nullptr;
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
// The same for one grid cell, a single line: a control character of a name
// (a table named with a tab in it) is shown as a visible sign (an arrow for
// a tab, as editors show one; the control picture for the others) instead
// of a stretch of blank that the cell's elision cuts short.
QString CellDisplayText(std::string_view bytes);

}  // namespace dv
