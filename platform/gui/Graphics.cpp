#include "platform/gui/Graphics.h"

#include "platform/text/SysUtils.h"

#include <QApplication>
#include <QPainter>
#include <QPaintDevice>
#include <QPalette>
#include <QString>
#include <QTextLayout>
#include <cmath>
#include <cstring>
#include <unordered_map>

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
    // An opaque line along an axis covers the pixels of the rectangle
    // between its ends, both included, which a fill paints without a pen.
    if ((from.x() == to.x() || from.y() == to.y()) && color.alpha() == 255 &&
        !painter_->testRenderHint(QPainter::Antialiasing) && painter_->transform().isIdentity()) {
        painter_->fillRect(QRect(from, to).normalized(), color);
        return;
    }
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
    if (!texts_ || !texts_->Draw(painter_, rect, flags, text)) painter_->drawText(rect, flags, text);
}

// The layouts of one font at one resolution.
struct TLaidOutTexts::TFontTexts {
    struct TText {
        std::unique_ptr<QTextLayout> Layout;
        qreal Width = 0;    // natural width, what the bounds are made of
        qreal Advance = 0;  // what a right or centred line is placed by
        qreal Height = 0;
    };
    QFont Font;
    int Dpi = 0;
    Qt::LayoutDirection Direction = Qt::LeftToRight;
    std::unordered_map<QString, TText> Texts;
};

TLaidOutTexts::TLaidOutTexts() = default;
TLaidOutTexts::~TLaidOutTexts() = default;

bool TLaidOutTexts::Draw(QPainter* painter, const QRect& rect, int flags, const QString& text) {
    constexpr int alignments =
        Qt::AlignLeft | Qt::AlignRight | Qt::AlignHCenter | Qt::AlignTop | Qt::AlignBottom | Qt::AlignVCenter;
    if ((flags & ~(alignments | Qt::TextSingleLine)) != 0 || text.isEmpty() || !painter->device()) return false;
    // Right to left swaps the sides a text is aligned to.
    const Qt::LayoutDirection direction = painter->layoutDirection();
    if (direction == Qt::RightToLeft) return false;
    const QFont& font = painter->font();
    if (font.underline() || font.strikeOut() || font.overline()) return false;
    // What drawText would turn into other characters or extra lines, and
    // blanks at either end, whose width a line counts its own way.
    if (text.front() == u' ' || text.back() == u' ') return false;
    for (QChar c : text)
        if (c.unicode() < 0x20 || c.unicode() == 0x9C || c == QChar::LineSeparator || c == QChar::ParagraphSeparator)
            return false;

    const int dpi = painter->device()->logicalDpiY();
    TFontTexts* texts = nullptr;
    for (const auto& f : fonts_)
        if (f->Dpi == dpi && f->Direction == direction && f->Font == font) texts = f.get();
    if (!texts) {
        if (fonts_.size() >= 16) fonts_.erase(fonts_.begin());
        texts = fonts_.emplace_back(std::make_unique<TFontTexts>()).get();
        texts->Font = font;
        texts->Dpi = dpi;
        texts->Direction = direction;
    }
    auto at = texts->Texts.find(text);
    if (at == texts->Texts.end()) {
        // A grid scrolled through a long list meets ever new texts.
        if (texts->Texts.size() >= 4096) texts->Texts.clear();
        // As drawText lays out one line: in the painter's direction,
        // left-aligned, on a line wide enough never to break, at the top.
        TFontTexts::TText t;
        t.Layout = std::make_unique<QTextLayout>(text, font);
        QTextOption option;
        option.setTextDirection(direction);
        option.setAlignment(Qt::AlignLeft);
        t.Layout->setTextOption(option);
        t.Layout->setCacheEnabled(true);
        t.Layout->beginLayout();
        QTextLine line = t.Layout->createLine();
        if (line.isValid()) {
            line.setLineWidth(0x01000000);
            line.setPosition(QPointF(0, 0));
        }
        const bool oneLine = line.isValid() && !t.Layout->createLine().isValid();
        t.Layout->endLayout();
        if (!oneLine) return false;
        t.Width = line.naturalTextWidth();
        t.Advance = line.horizontalAdvance();
        t.Height = line.ascent() + line.descent();
        at = texts->Texts.emplace(text, std::move(t)).first;
    }
    const TFontTexts::TText& t = at->second;
    const QRectF r(rect);
    qreal y = 0;
    if (flags & Qt::AlignBottom)
        y = r.height() - t.Height;
    else if (flags & Qt::AlignVCenter)
        y = (r.height() - t.Height) / 2;
    const auto offset = [&](qreal width) {
        if (flags & Qt::AlignRight) return r.width() - width;
        if (flags & Qt::AlignHCenter) return (r.width() - width) / 2;
        return qreal(0);
    };
    // A text that does not fit is drawn clipped to the rectangle: left to drawText.
    if (!r.contains(QRectF(r.x() + offset(t.Width), r.y() + y, t.Width, t.Height))) return false;
    t.Layout->lineAt(0).draw(painter, QPointF(r.x() + offset(t.Advance), r.y() + y));
    return true;
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
