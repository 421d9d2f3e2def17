// What a grid asked its canvas to paint, as text lines a test compares (one
// line per request, in order), and the colour a point is left in.
#pragma once

#include "platform/gui/Graphics.h"

#include <cstdio>
#include <initializer_list>
#include <optional>
#include <string>
#include <vector>

namespace dv::test {

inline std::string RectText(const QRect& r) {
    return std::to_string(r.left()) + "," + std::to_string(r.top()) + " " + std::to_string(r.width()) + "x" +
           std::to_string(r.height());
}

inline std::string ColorText(TColor c) {
    char s[12];
    std::snprintf(s, sizeof s, "#%06X", static_cast<unsigned>(c & 0xFFFFFF));
    return s;
}

// "fill 0,0 200x18 #123456", "bar ...", "line 0,17 200x1 #...",
// "image 4,1 16x16", "text 22,0 170x18 #000000 style 1 'abc'".
inline std::string RequestLine(const TPaintRequest& q) {
    static const char* const kinds[] = {"fill", "bar", "line", "image", "text"};
    std::string s = std::string(kinds[q.Kind]) + " " + RectText(q.Rect);
    if (q.Kind == pkImage) return s + (q.Ghosted ? " ghosted" : "");
    s += " " + ColorText(q.Color);
    if (q.Kind == pkText) s += " style " + std::to_string(q.Style) + " '" + q.Text.toStdString() + "'";
    return s;
}

inline std::string RequestLines(const std::vector<TPaintRequest>& requests) {
    std::string s;
    for (const TPaintRequest& q : requests) s += RequestLine(q) + "\n";
    return s;
}

// The expected lines of fills and bars.
struct TFill {
    QRect Rect;
    TColor Color;
    TPaintKind Kind = pkFill;
};
inline std::string Fills(std::initializer_list<TFill> fills) {
    std::string s;
    for (const TFill& f : fills) {
        TPaintRequest q;
        q.Kind = f.Kind;
        q.Rect = f.Rect;
        q.Color = f.Color;
        s += RequestLine(q) + "\n";
    }
    return s;
}

// The colour of the last fill, bar or line that covers the point: what the
// point shows once everything asked for is painted. None when nothing does.
inline std::optional<TColor> ColorAt(const std::vector<TPaintRequest>& requests, const QPoint& p) {
    for (auto q = requests.rbegin(); q != requests.rend(); ++q)
        if ((q->Kind == pkFill || q->Kind == pkBar || q->Kind == pkLine) && q->Rect.contains(p)) return q->Color;
    return std::nullopt;
}

}  // namespace dv::test
