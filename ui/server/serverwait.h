// While the window waits for the server outside the statistics dialog (a
// reload, the database size, the metadata): the event loop keeps running,
// and after half a second a small window says what is being waited for and
// offers Cancel, which gives the server call up at once. Until that window
// shows, the user's input waits in the queue, so nothing else starts
// meanwhile; the window then keeps the main window's input out.
#pragma once

#include <QElapsedTimer>
#include <functional>
#include <string>

class QDialog;
class QPushButton;

namespace dv {

class TServerWaitScope {
public:
    explicit TServerWaitScope(const std::string& what);
    ~TServerWaitScope();
    TServerWaitScope(const TServerWaitScope&) = delete;
    TServerWaitScope& operator=(const TServerWaitScope&) = delete;

private:
    void Pump();

    std::string FWhat;
    QElapsedTimer FSince;
    QElapsedTimer FPumped;
    std::function<void()> FOldWait;
    std::function<void()> FOldServiceWait;
    QDialog* FWindow = nullptr;
};

// The wait window while one shows (nullptr otherwise), and its Cancel button.
extern QDialog* ServerWaitWindow;
extern QPushButton* ServerWaitCancel;

}  // namespace dv
