// The textual component format of save files: "object Name: TClass" blocks
// with "Prop = value" lines, nested by ownership, two blanks per level, CR LF
// line ends. See WriteComponentText for the exact value forms.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

#include "platform/streaming/Classes.h"

namespace dv {

// Writes the tree rooted at `root`: its stored, non-default properties in
// declaration order, then each child that root->GetChildren(proc, root)
// hands over, recursively (a child's children are asked with the same root).
// Values: ordinals in decimal; Boolean True/False; floating and date values
// fixed with 18 decimals rounded to 16 significant digits (exponent form
// beyond 16 integer digits); strings quoted with #nn escapes for characters
// below 32 and the quote, strings over 64 characters split into " +" pieces
// on lines one level deeper. Int64/floating/date/string properties at 0 or
// empty are left out; Integer/Smallint/Byte/Boolean only at a declared default.
std::string WriteComponentText(TComponent& root);
// The same text appended to `out` (a file's magic line, say), without a
// second copy of a text that may run to tens of megabytes.
void WriteComponentText(TComponent& root, std::string& out);

// Reads text written by WriteComponentText into the existing `root`: the
// root's class name in the header is ignored and its component name is set.
// For each nested object the registered class is created with `root` as
// owner, named, told its enclosing object (SetParentComponent) while in the
// csLoading state, then its properties and children are read.
// Raises EReadError on bad syntax ("<what> on line <n>"), an unknown property
// ("Error reading <Name>: <Class>.<Prop> on line <n>: Property <Prop> does
// not exist"; an unnamed component gives no "<Name>: "), a value of the wrong
// kind ("...: Invalid property value") or out of the property's range
// ("...: Value <text> out of range"), an
// unregistered class ("Class <Class> not found"), a naming error of the
// component layer (its own message) or nesting deeper than 64 levels; what
// was read before stays, the object being read when the error came is freed.
// Nothing in the input can make it read out of bounds or recurse without end.
// `firstLine` is the number of the text's first line in its file, for the
// line numbers of the messages.
void ReadComponentText(std::string_view text, TComponent& root, int firstLine = 1);

// Where a text read in blocks comes from: puts up to `size` bytes at `buf`
// and answers how many, 0 at the end; raises what a failed read raises.
using TTextSource = std::function<size_t(char* buf, size_t size)>;
// A block of this size spares a save file of tens of megabytes a buffer of
// its own size (fresh pages, each a fault) for a copy of a few milliseconds.
constexpr size_t kTextBlockSize = size_t(256) << 10;

// ReadComponentText of the text `source` hands out, with the same results
// and messages, read in blocks of `blockSize` bytes (a longer line gets a
// larger block). An EReadError the source raises passes through as it is.
void ReadComponentText(const TTextSource& source, TComponent& root, int firstLine = 1,
                       size_t blockSize = kTextBlockSize);

// The 18-decimal fixed form of a floating value, as written above. Values
// below 0.1 are rounded at the 18th decimal (1e-20 is written as 0). inf and
// NaN, which no sound model holds, are written as the words INF, -INF and NAN;
// the reader takes these back for floating properties only.
std::string FormatStreamFloat(double value);

}  // namespace dv
