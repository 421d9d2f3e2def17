// TVirtualStringTree: painting a cell, measuring column widths, hints and the
// clipboard copy. Every one of them asks the view's events afresh.
#include "platform/text/SysUtils.h"
#include "platform/gui/VTModel.h"
#include "platform/gui/VirtualTrees.h"

#include <QApplication>
#include <QClipboard>
#include <QHeaderView>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QPainter>
#include <QStyle>
#include <QToolTip>
#include <algorithm>
#include <cmath>

namespace dv {

namespace {

Qt::Alignment qtAlignment(TAlignment a) {
    switch (a) {
        case taRightJustify: return Qt::AlignRight | Qt::AlignVCenter;
        case taCenter: return Qt::AlignHCenter | Qt::AlignVCenter;
        default: return Qt::AlignLeft | Qt::AlignVCenter;
    }
}

}  // namespace

int TVirtualStringTree::cellIndent(PVirtualNode node, int modelColumn) const {
    // The branch area of a tree lies in the first column on screen.
    if (header()->visualIndex(modelColumn) != 0) return 0;
    const int level = GetNodeLevel(node) + (rootIsDecorated() ? 1 : 0);
    return level * indentation();
}

void TVirtualStringTree::paintCell(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) {
    PVirtualNode node = NodeOf(index);
    if (!node) return;
    const TColumnIndex column = ColumnOf(index.column());
    const QRect full = option.rect;
    QRect cell = full;
    if (vertLines_) cell.setRight(cell.right() - 1);
    if (horzLines_) cell.setBottom(cell.bottom() - 1);

    painter->save();
    painter->setClipRect(full);
    TCanvas canvas(painter, option.font);
    canvas.SetLaidOutTexts(&laidOut_);

    // 1. the column's own colour, then whatever the view paints over it
    canvas.Brush.Color = column == NoColumn ? clWindow : header_.Columns[column].Color();
    canvas.FillRect(cell);
    if (OnBeforeCellPaint) {
        OnBeforeCellPaint(this, canvas, node, column, cell);
        painter->setClipRect(full);
    }
    const bool selected = option.state & QStyle::State_Selected;
    if (selected) {
        const QPalette::ColorGroup group =
            (option.state & QStyle::State_Active) ? QPalette::Active : QPalette::Inactive;
        canvas.FillRect(cell, option.palette.color(group, QPalette::Highlight));
    }

    // 2. font style of the text
    canvas.Font.Style = 0;
    canvas.Font.Color = selected ? clHighlightText : clWindowText;
    if (OnPaintText) OnPaintText(this, canvas, node, column);

    // 3. the row image
    int x = cell.left() + Margin;
    if (OnGetImageIndex) {
        bool ghosted = false;
        int image = -1;
        OnGetImageIndex(this, node, selected ? ikSelected : ikNormal, column, ghosted, image);
        if (image >= 0 && image < Images.Count()) {
            const QRect r(x, cell.top() + (cell.height() - Images.Height) / 2, Images.Width, Images.Height);
            canvas.DrawImage(Images.Icons[image], r, ghosted);
            x += Images.Width + ImageSpacing;
        }
    }

    // 4. the text
    std::string text;
    if (OnGetText) OnGetText(this, node, column, text);
    if (!text.empty()) {
        const QRect textRect(QPoint(x + TextMargin, cell.top()), QPoint(cell.right() - TextMargin, cell.bottom()));
        if (textRect.width() > 0) {
            const QFont font = canvas.QtFont();
            QColor pen = ColorFromWin(canvas.Font.Color);
            if (selected && canvas.Font.Color == clHighlightText) {
                const QPalette::ColorGroup group =
                    (option.state & QStyle::State_Active) ? QPalette::Active : QPalette::Inactive;
                pen = option.palette.color(group, QPalette::HighlightedText);
            }
            const QFontMetrics fm(font);
            const QString shown = shownText(fm, canvas.Font.Style, option.font, text, textRect.width());
            const TAlignment align = column == NoColumn ? taLeftJustify : header_.Columns[column].Alignment();
            canvas.DrawText(textRect, int(qtAlignment(align)) | Qt::TextSingleLine, shown, pen);
        }
    }

    // 5. the focused cell and the grid lines
    if ((option.state & QStyle::State_HasFocus) && hasFocus()) {
        QStyleOptionFocusRect focus;
        focus.initFrom(this);
        focus.rect = cell;
        focus.state |= QStyle::State_KeyboardFocusChange | QStyle::State_Item;
        focus.backgroundColor = selected ? option.palette.color(QPalette::Highlight) : option.palette.color(QPalette::Base);
        style()->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, painter, this);
    }
    if (horzLines_ || vertLines_) {
        // Darkening goes through HSV; one colour serves every cell of a paint.
        const QColor midlight = option.palette.color(QPalette::Midlight);
        if (midlight != lineBase_) {
            lineBase_ = midlight;
            lineColor_ = midlight.darker(110);
        }
        const QColor& line = lineColor_;
        if (horzLines_) canvas.DrawLine(full.bottomLeft(), full.bottomRight(), line);
        if (vertLines_) canvas.DrawLine(full.topRight(), full.bottomRight(), line);
    }
    painter->restore();
}

// ---------------------------------------------------------------- widths

// Measures cell texts for the auto-width, once per font style. Shaping a
// text is costly (tens of thousands of cells per rebuild), so plain ASCII
// texts add up their characters' advances instead; the grid paints without
// kerning (TCanvas::QtFont), so the sum is the painted width, rounded up.
// Other texts are shaped.
class TTextMeasure {
public:
    explicit TTextMeasure(const QFont& base) : base_(base) {}
    int width(TFontStyles style, const std::string& text) {
        if (text.empty()) return 0;
        TStyle& s = style_(style);
        double sum = 0;
        for (unsigned char c : text) {
            if (c < 32 || c > 126) return s.metrics->horizontalAdvance(CellDisplayText(text));
            double& a = s.advance[c];
            if (a < 0) a = s.metricsF->horizontalAdvance(QChar(c));
            sum += a;
        }
        return static_cast<int>(std::ceil(sum - 1e-6));
    }

private:
    struct TStyle {
        std::unique_ptr<QFontMetrics> metrics;
        std::unique_ptr<QFontMetricsF> metricsF;
        double advance[128];
    };
    TStyle& style_(TFontStyles style) {
        auto& slot = styles_[style & 0xF];
        if (!slot) {
            slot = std::make_unique<TStyle>();
            TCanvas c(nullptr, base_);
            c.Font.Style = style;
            slot->metrics = std::make_unique<QFontMetrics>(c.QtFont());
            slot->metricsF = std::make_unique<QFontMetricsF>(c.QtFont());
            std::fill(std::begin(slot->advance), std::end(slot->advance), -1.0);
        }
        return *slot;
    }
    QFont base_;
    std::unique_ptr<TStyle> styles_[16];
};

QString TVirtualStringTree::shownText(const QFontMetrics& fm, TFontStyles style, const QFont& base,
                                      const std::string& text, int width) {
    // Eliding shapes the text once more only to find, nearly always, that it
    // fits. A plain ASCII text that fits by the sum of its advances (its
    // shaped width, see TTextMeasure) is shown whole, as eliding would show
    // it; any other text is elided by its shaped width.
    const bool ascii = std::all_of(text.begin(), text.end(), [](unsigned char c) { return c >= 32 && c <= 126; });
    if (ascii) {
        if (!paintMeasure_ || paintMeasureFont_ != base) {
            paintMeasure_ = std::make_shared<TTextMeasure>(base);
            paintMeasureFont_ = base;
        }
        if (paintMeasure_->width(style, text) <= width) return CellDisplayText(text);
    }
    return fm.elidedText(CellDisplayText(text), Qt::ElideRight, width);
}

int TVirtualStringTree::measureCell(TTextMeasure& measure, TCanvas& canvas, PVirtualNode node, TColumnIndex column,
                                    std::string& text) {
    canvas.Font.Style = 0;
    canvas.Font.Color = clWindowText;
    if (OnPaintText) OnPaintText(this, canvas, node, column);
    text.clear();
    if (OnGetText) OnGetText(this, node, column, text);
    int width = Margin + 2 * TextMargin + measure.width(canvas.Font.Style, text);
    if (OnGetImageIndex) {
        bool ghosted = false;
        int image = -1;
        OnGetImageIndex(this, node, ikNormal, column, ghosted, image);
        if (image >= 0 && image < Images.Count()) width += Images.Width + ImageSpacing;
    }
    // the vertical grid line takes the column's last pixel
    if (vertLines_) width += 1;
    return width;
}

int TVirtualStringTree::GetCellContentWidth(PVirtualNode node, TColumnIndex column) {
    if (!node) return 0;
    TTextMeasure measure(font());
    TCanvas canvas(nullptr, font());
    std::string text;
    return measureCell(measure, canvas, node, column, text) + cellIndent(node, column == NoColumn ? 0 : column);
}

int TVirtualStringTree::GetMaxColumnWidth(TColumnIndex column) {
    std::vector<PVirtualNode> rows;
    for (PVirtualNode n = GetFirst(); n; n = GetNext(n)) rows.push_back(n);
    return GetMaxColumnWidth(column, rows);
}

int TVirtualStringTree::GetMaxColumnWidth(TColumnIndex column, const std::vector<PVirtualNode>& rows) {
    const int modelColumn = column == NoColumn ? 0 : column;
    // Only the first column on screen carries the tree's indent.
    const bool indented = header()->visualIndex(modelColumn) == 0 && !(flat_ && !rootIsDecorated());
    TTextMeasure measure(font());
    TCanvas canvas(nullptr, font());
    std::string text;
    int widest = 0;
    for (PVirtualNode n : rows) {
        int w = measureCell(measure, canvas, n, column, text);
        if (indented) w += cellIndent(n, modelColumn);
        widest = std::max(widest, w);
    }
    return widest;
}

// ---------------------------------------------------------------- hints

QString HintDisplayText(const std::string& hint) {
    // The hint window knows only LF, shows a CR as a blank and drops the
    // blanks that begin the text: every break (CR LF, LF CR, a lone CR or
    // LF) becomes one LF, and the blanks that begin a line become
    // non-breaking ones, so columns laid out with blanks stay in line.
    QString out;
    out.reserve(static_cast<qsizetype>(hint.size()));
    const QString text = DisplayText(hint);
    bool lineStart = true;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c == u'\r' || c == u'\n') {
            if (i + 1 < text.size() && (text[i + 1] == u'\r' || text[i + 1] == u'\n') && text[i + 1] != c) ++i;
            out += u'\n';
            lineStart = true;
            continue;
        }
        if (lineStart && c == u' ') {
            out += QChar(0x00A0);
            continue;
        }
        lineStart = false;
        out += c;
    }
    return out;
}

bool TVirtualStringTree::viewportEvent(QEvent* event) {
    if (event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        const QModelIndex index = indexAt(help->pos());
        std::string hint;
        if (showHint_ && index.isValid() && OnGetHint) OnGetHint(this, NodeOf(index), ColumnOf(index.column()), hint);
        if (hint.empty()) {
            QToolTip::hideText();
            event->ignore();
        } else {
            QToolTip::showText(help->globalPos(), HintDisplayText(hint), viewport(), visualRect(index));
        }
        return true;
    }
    return QTreeView::viewportEvent(event);
}

// ---------------------------------------------------------------- copy

const char* const TVirtualStringTree::SortHint = "Click to sort by this column; F4 in the grid sorts by the focused column";

void TVirtualStringTree::keyPressEvent(QKeyEvent* event) {
    if (event == QKeySequence::Copy) {
        CopyToClipBoard();
        event->accept();
        return;
    }
    const bool plain = (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
    if (plain && (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && OnColumnDblClick &&
        FocusedNode()) {
        OnColumnDblClick(this, FocusedColumn());
        event->accept();
        return;
    }
    if (plain && event->key() == SortKey && OnHeaderClick) {
        const TColumnIndex column = FocusedColumn();
        if (column >= 0 && column < header_.Columns.Count() && (header_.Columns[column].Options() & coAllowClick)) {
            OnHeaderClick(this, column);
            event->accept();
            return;
        }
    }
    QTreeView::keyPressEvent(event);
}

void TVirtualStringTree::escapeCell(std::string& out, const std::string& cell, char separator) const {
    // Quoted when the text holds the separator, a double quote or a line
    // break (a break inside an unquoted cell would split the row).
    const bool quote = cell.find_first_of(std::string{separator, '"', '\r', '\n'}) != std::string::npos;
    if (!quote) {
        out += cell;
        return;
    }
    out += '"';
    for (char c : cell) {
        if (c == '"') out += '"';
        out += c;
    }
    out += '"';
}

std::string TVirtualStringTree::ContentToText(TVTExportFormat format) {
    const char sep = format == efCSV ? FormatSettings().ListSeparator : '\t';
    std::vector<int> columns = header_.Columns.VisibleInDisplayOrder();
    if (header_.Columns.Count() == 0) columns.push_back(NoColumn);

    // Selected rows the user can see: a row hidden by a filter (or under a
    // hidden parent) is left out even when it is still selected.
    std::vector<PVirtualNode> rows;
    for (PVirtualNode n : GetSelectedNodes()) {
        bool shown = true;
        for (PVirtualNode a = n; a && a != root_; a = a->Parent) shown = shown && a->Visible;
        if (shown) rows.push_back(n);
    }
    int deepest = 0;
    for (PVirtualNode n : rows) deepest = std::max(deepest, GetNodeLevel(n));

    std::string out;
    for (size_t i = 0; i < columns.size(); ++i) {
        if (i > 0) out += sep;
        escapeCell(out, columns[i] == NoColumn ? std::string() : header_.Columns[columns[i]].Text(), sep);
        if (i == 0) out.append(static_cast<size_t>(deepest), sep);
    }
    out += "\r\n";
    for (PVirtualNode n : rows) {
        const int level = GetNodeLevel(n);
        for (size_t i = 0; i < columns.size(); ++i) {
            if (i > 0) out += sep;
            std::string text;
            if (OnGetText) OnGetText(this, n, columns[i], text);
            if (i == 0) out.append(static_cast<size_t>(level), sep);
            escapeCell(out, text, sep);
            if (i == 0) out.append(static_cast<size_t>(deepest - level), sep);
        }
        out += "\r\n";
    }
    return out;
}

void TVirtualStringTree::CopyToClipBoard() {
    auto* mime = new QMimeData;
    const std::string csv = ContentToText(efCSV);
    const std::string plain = ContentToText(efPlainText);
    mime->setData(QStringLiteral("CSV"), QByteArray::fromStdString(csv));
    mime->setData(QStringLiteral("Plain text"), QByteArray::fromStdString(plain));
    mime->setText(QString::fromStdString(plain));
    QApplication::clipboard()->setMimeData(mime);
}

}  // namespace dv
