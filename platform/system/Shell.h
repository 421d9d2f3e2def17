// Hand-overs to the desktop: opening a web page or a mail link with the
// user's default program, and starting another program without waiting for
// it. The GUI installs handlers that use the desktop's services; tests
// install recording ones. Without a handler the platform defaults run.
#pragma once

#include <functional>
#include <string>

namespace dv {

using TShellOpenHandler = std::function<bool(const std::string& url)>;
using TProcessStartHandler = std::function<void(const std::string& program)>;

// Opens a URL (https:, mailto:, file:) with the desktop's default handler.
// Returns false when nothing could take it. The default handler runs
// "xdg-open <url>" detached.
bool ShellOpen(const std::string& url);
// Installs h (empty restores the default); returns the previous handler.
TShellOpenHandler SetShellOpenHandler(TShellOpenHandler h);

// Starts a program (a path, no arguments) detached from this process, with
// this process's environment and current folder; does not wait. Raises
// Exception "Cannot run \"<program>\": <system's reason>" when it cannot be
// started.
void StartDetachedProcess(const std::string& program);
TProcessStartHandler SetProcessStartHandler(TProcessStartHandler h);

}  // namespace dv
