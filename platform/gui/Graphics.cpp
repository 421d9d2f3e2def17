#include "platform/gui/Graphics.h"

#include "platform/text/SysUtils.h"

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

void TCanvas::fill(TPaintKind kind, const QRect& rect, const QColor& color) {
    if (!rect.isValid()) return;
    if (TPaintRecorder* r = TPaintRecorder::Installed()) {
        TPaintRequest& q = r->Requests.emplace_back();
        q.Kind = kind;
        q.Rect = rect;
        q.Color = ColorToWin(color);
    }
    if (painter_) painter_->fillRect(rect, color);
}

void TCanvas::FillRect(const QRect& rect) {
    if (painter_ || TPaintRecorder::Installed()) fill(pkFill, rect, ColorFromWin(Brush.Color));
}

void TCanvas::FillRect(const QRect& rect, const QColor& color) { fill(pkFill, rect, color); }

void TCanvas::DrawLine(const QPoint& from, const QPoint& to, const QColor& color) {
    if (TPaintRecorder* r = TPaintRecorder::Installed()) {
        TPaintRequest& q = r->Requests.emplace_back();
        q.Kind = pkLine;
        q.Rect = QRect(from, to).normalized();
        q.Color = ColorToWin(color);
    }
    if (!painter_) return;
    painter_->setPen(color);
    painter_->drawLine(from, to);
}

void TCanvas::DrawImage(const QIcon& icon, const QRect& rect, bool ghosted) {
    if (TPaintRecorder* r = TPaintRecorder::Installed()) {
        TPaintRequest& q = r->Requests.emplace_back();
        q.Kind = pkImage;
        q.Rect = rect;
        q.ImageKey = icon.cacheKey();
        q.Ghosted = ghosted;
    }
    if (painter_) icon.paint(painter_, rect, Qt::AlignCenter, ghosted ? QIcon::Disabled : QIcon::Normal);
}

void TCanvas::DrawText(const QRect& rect, int flags, const QString& text, const QColor& pen) {
    if (TPaintRecorder* r = TPaintRecorder::Installed()) {
        TPaintRequest& q = r->Requests.emplace_back();
        q.Kind = pkText;
        q.Rect = rect;
        q.Color = ColorToWin(pen);
        q.Style = Font.Style;
        q.Text = text;
    }
    if (!painter_) return;
    painter_->setFont(QtFont());
    painter_->setPen(pen);
    painter_->drawText(rect, flags, text);
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
    canvas.fill(pkBar, bar, ColorFromWin(color));
}

int CompareText(const std::string& a, const std::string& b) {
    // The C library's collation of the user's locale (the application sets
    // it from the environment at start), straight on the UTF-8 bytes: a sort
    // of 60 000 names makes about a million of these calls.
    const int r = std::strcoll(a.c_str(), b.c_str());
    return r < 0 ? -1 : (r > 0 ? 1 : 0);
}

QString DisplayText(std::string_view bytes) {
    if (IsUtf8(bytes)) return QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
    // Windows-1252 at 0x80-0x9F; its five unassigned bytes, and 0xA0-0xFF,
    // are the Latin-1 characters of the same number.
    static const char16_t k80[32] = {
        0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
        0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
        0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
    QString shown;
    shown.reserve(static_cast<qsizetype>(bytes.size()));
    for (size_t i = 0; i < bytes.size();) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        const size_t n = b < 0x80 ? 1 : Utf8CharSize(bytes, i);
        if (n > 1) shown += QString::fromUtf8(bytes.data() + i, static_cast<qsizetype>(n));
        else if (b >= 0x80 && b < 0xA0) shown += QChar(k80[b - 0x80]);
        else shown += QChar(b);
        i += n;
    }
    return shown;
}

QString CellDisplayText(std::string_view bytes) {
    QString shown = DisplayText(bytes);
    for (QChar& c : shown)
        if (c.unicode() == '\t') c = QChar(char16_t(0x2192));
        else if (c.unicode() < 0x20) c = QChar(char16_t(0x2400 + c.unicode()));
    return shown;
}

}  // namespace dv
