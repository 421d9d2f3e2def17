#pragma once

#include <QApplication>
#include <QDialog>
#include <QTimer>
#include <QWidget>

#include <functional>

#include <gtest/gtest.h>

namespace dv::test {

// Runs `open`, a call that shows a dialog modally and returns once it is
// closed, and calls `act` inside that modal loop on the first modal widget
// of type Dialog. `act` is expected to close it: a dialog it leaves open is
// rejected, so the test never hangs, and the test fails. Returns whether
// `act` ran, that is whether such a dialog was shown modally. The modal
// widget is polled for rather than looked for once, because a dialog may
// become modal only after events the call itself processes first.
template <class Dialog>
bool DriveModal(const std::function<void()>& open, const std::function<void(Dialog&)>& act) {
    QTimer poll;
    poll.setInterval(5);
    bool acted = false;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* dialog = dynamic_cast<Dialog*>(QApplication::activeModalWidget());
        if (!dialog || acted) return;
        acted = true;
        poll.stop();
        act(*dialog);
        if (dialog->isVisible()) {
            ADD_FAILURE() << "the test left the modal window \"" << dialog->windowTitle().toStdString() << "\" open";
            if (auto* d = qobject_cast<QDialog*>(dialog))
                d->reject();
            else
                dialog->close();
        }
    });
    poll.start();
    open();
    return acted;
}

}  // namespace dv::test
