// A busy or wait cursor over the whole application for the life of a scope.
#pragma once

#include <QApplication>
#include <QCursor>

namespace dv {

class TOverrideCursor {
public:
    explicit TOverrideCursor(Qt::CursorShape shape) { QApplication::setOverrideCursor(QCursor(shape)); }
    ~TOverrideCursor() { QApplication::restoreOverrideCursor(); }
    TOverrideCursor(const TOverrideCursor&) = delete;
    TOverrideCursor& operator=(const TOverrideCursor&) = delete;
};

}  // namespace dv
