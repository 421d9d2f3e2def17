// The application object: every exception that escapes an event handler
// ends here, is shown through the dialog layer and the program goes on.
#pragma once

#include <QApplication>
#include <exception>
#include <functional>

namespace dv {

class TApplication : public QApplication {
public:
    TApplication(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;
};

// Shows the message of the exception in flight or held by `e` as an error
// box (EAbort stays silent). Used by the application object and by the
// command guards of the windows.
void ShowException(std::exception_ptr e);
// Runs fn; an exception is shown by ShowException and false comes back.
bool RunGuarded(const std::function<void()>& fn);

// Ending on a termination signal (SIGTERM, SIGINT, SIGHUP). QuitOnSignal runs
// in the event loop: it cancels a running statistics service, closes the open
// dialogs and makes every event loop end; from then on no message box is
// shown (messages go to standard error) and the program start finishes the
// window as on close. QuitSignal is the signal, 0 while none came.
void QuitOnSignal(int signal);
int QuitSignal();

}  // namespace dv
