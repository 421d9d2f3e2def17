#include "platform/gui/Graphics.h"

#include "platform/SysUtils.h"

#include <QApplication>
#include <QPainter>
#include <QPalette>
#include <QString>
#include <cmath>
#include <cstring>

namespace dv {

QColor ColorFromWin(TColor color) {
    if ((color & 0xFF000000u) == 0x80000000u) {
        const QPalette pal = QApplication::palette();
        switch (color) {
            case clWindow: return pal.color(QPalette::Base);
            case clWindowText: return pal.color(QPalette::Text);
            case clBtnFace: return pal.color(QPalette::Button);
            case clHighlight: return pal.color(QPalette::Highlight);
            case clHighlightText: return pal.color(QPalette::HighlightedText);
            case clInfoBk: return pal.color(QPalette::ToolTipBase);
            case clBtnShadow: return pal.color(QPalette::Dark);
            default: return pal.color(QPalette::Text);
        }
    }
    return QColor(static_cast<int>(color & 0xFF), static_cast<int>((color >> 8) & 0xFF),
                  static_cast<int>((color >> 16) & 0xFF));
}

TColor ColorToWin(const QColor& color) {
    return static_cast<TColor>(color.red()) | (static_cast<TColor>(color.green()) << 8) |
           (static_cast<TColor>(color.blue()) << 16);
}

TCanvas::TCanvas(QPainter* painter, const QFont& baseFont) : painter_(painter), baseFont_(baseFont) {}

void TCanvas::FillRect(const QRect& rect) {
    if (painter_ && rect.isValid()) painter_->fillRect(rect, ColorFromWin(Brush.Color));
}

QFont TCanvas::QtFont() const {
    QFont f = baseFont_;
    f.setBold((Font.Style & fsBold) != 0);
    f.setItalic((Font.Style & fsItalic) != 0);
    f.setUnderline((Font.Style & fsUnderline) != 0);
    f.setStrikeOut((Font.Style & fsStrikeOut) != 0);
    // Without kerning a text is as wide as its characters' advances, which
    // lets the column auto-width add them up instead of shaping every cell.
    f.setKerning(false);
    return f;
}

QRect BarRect(const QRect& cell, double percent) {
    // A share computed over a zero total arrives here as inf or NaN: no bar.
    if (!std::isfinite(percent) || percent <= 0 || cell.width() <= 0) return {};
    const int w = cell.width();
    double length = w * percent / 100;
    if (length > w) length = w;
    const int right = cell.left() + static_cast<int>(Round(length));
    if (right <= cell.left()) return {};
    // right is exclusive; top and bottom stay one pixel inside the cell.
    return QRect(QPoint(cell.left(), cell.top() + 1), QPoint(right - 1, cell.bottom() - 1));
}

void DrawBar(TCanvas& canvas, const QRect& cell, double percent, TColor color) {
    const QRect bar = BarRect(cell, percent);
    if (!bar.isValid()) return;
    canvas.Brush.Color = color;
    canvas.FillRect(bar);
}

int CompareText(const std::string& a, const std::string& b) {
    // The C library's collation of the user's locale (the application sets
    // it from the environment at start), straight on the UTF-8 bytes: a sort
    // of 60 000 names makes about a million of these calls.
    const int r = std::strcoll(a.c_str(), b.c_str());
    return r < 0 ? -1 : (r > 0 ? 1 : 0);
}

}  // namespace dv
