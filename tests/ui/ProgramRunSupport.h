// The built program as a process: where it is, and one run of it offscreen
// with its settings in a folder of the test, killed when it does not end.
#pragma once

#include <QProcess>
#include <QProcessEnvironment>
#include <QStringList>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

#include "platform/text/SysUtils.h"

namespace dv::test {

// app/dravolt beside the tests folder of the build (build/tests/test_ui,
// build/app/dravolt); DRAVOLT_EXE names another.
inline std::string ProgramPath() {
    if (const char* p = std::getenv("DRAVOLT_EXE"); p && *p) return p;
    return std::filesystem::weakly_canonical(ExeDir() + "../app/dravolt").string();
}

struct TProgramRun {
    bool Finished = false;      // ended by itself within the time
    QProcess::ExitStatus Status = QProcess::CrashExit;
    int ExitCode = -1;          // -1 unless it exited normally
    std::string Output;         // standard output and error
};

// Runs the program with these arguments, QT_QPA_PLATFORM=offscreen and
// DRAVOLT_CONFIG_DIR=configDir. A run still going after timeoutMs (a window
// or message box left open) is killed; Finished is then false.
inline TProgramRun RunProgram(const QStringList& args, const QString& configDir, int timeoutMs = 60000) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("DRAVOLT_CONFIG_DIR"), configDir);
    QProcess p;
    p.setProcessEnvironment(env);
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(QString::fromStdString(ProgramPath()), args);
    TProgramRun r;
    if (!p.waitForStarted(10000)) return r;
    r.Finished = p.waitForFinished(timeoutMs);
    if (!r.Finished) {
        p.kill();   // our own child only
        p.waitForFinished(5000);
    }
    r.Status = p.exitStatus();
    r.ExitCode = r.Status == QProcess::NormalExit ? p.exitCode() : -1;
    r.Output = p.readAll().toStdString();
    return r;
}

// How a run without a display reaches the program.
enum class TFeed {
    Direct,         // the program itself
    Pipe,           // cat input | program /dev/stdin report
    Fifo,           // a writer fills the FIFO named as input
    Unprivileged,   // as user nobody when the test runs as root
};

struct TBareRun {
    bool Finished = false;
    QProcess::ExitStatus Status = QProcess::CrashExit;
    int ExitCode = -1;
    std::string Out;   // standard output
    std::string Err;   // standard error
};

// True when a run as user nobody is possible (as root, through setpriv).
inline bool CanRunUnprivileged() {
    return ::geteuid() != 0 ||
           QProcess::execute(QStringLiteral("sh"), {QStringLiteral("-c"),
                                                   QStringLiteral("command -v setpriv >/dev/null && id nobody >/dev/null")}) == 0;
}

// Runs the program with an input and a report path as a scheduled job would:
// no DISPLAY, WAYLAND_DISPLAY, QT_QPA_PLATFORM or XDG_RUNTIME_DIR, settings
// in configDir. For
// Pipe the input file is sent through a pipe; for Fifo `input` is a FIFO and
// `source` the file a writer sends into it.
inline TBareRun RunWithoutDisplay(TFeed feed, const QString& input, const QString& report, const QString& configDir,
                                  const QString& source = QString(), int timeoutMs = 20000) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "XDG_RUNTIME_DIR"})
        env.remove(QString::fromLatin1(name));
    env.insert(QStringLiteral("DRAVOLT_CONFIG_DIR"), configDir);
    QString script;
    switch (feed) {
        case TFeed::Direct: script = QStringLiteral("exec \"$0\" \"$1\" \"$2\""); break;
        case TFeed::Pipe: script = QStringLiteral("cat \"$1\" | \"$0\" /dev/stdin \"$2\""); break;
        case TFeed::Fifo: script = QStringLiteral("cat \"$3\" > \"$1\" & exec \"$0\" \"$1\" \"$2\""); break;
        case TFeed::Unprivileged:
            script = ::geteuid() == 0
                         ? QStringLiteral("exec setpriv --reuid=nobody --regid=nogroup --clear-groups \"$0\" \"$1\" \"$2\"")
                         : QStringLiteral("exec \"$0\" \"$1\" \"$2\"");
            break;
    }
    QProcess p;
    p.setProcessEnvironment(env);
    // Its own process group, so that a run that does not end is killed with
    // the pipe's other end.
    p.setChildProcessModifier([] { ::setpgid(0, 0); });
    p.start(QStringLiteral("/bin/sh"),
            {QStringLiteral("-c"), script, QString::fromStdString(ProgramPath()), input, report, source});
    TBareRun r;
    if (!p.waitForStarted(10000)) return r;
    r.Finished = p.waitForFinished(timeoutMs);
    if (!r.Finished) {
        ::kill(-static_cast<pid_t>(p.processId()), SIGKILL);   // the group this run made
        p.waitForFinished(5000);
    }
    if (feed == TFeed::Fifo) {
        // A program that ended without opening the FIFO leaves its writer
        // waiting for a reader: one comes and goes, and the writer ends.
        const int fd = ::open(input.toLocal8Bit().constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd >= 0) ::close(fd);
    }
    r.Status = p.exitStatus();
    r.ExitCode = r.Status == QProcess::NormalExit ? p.exitCode() : -1;
    r.Out = p.readAllStandardOutput().toStdString();
    r.Err = p.readAllStandardError().toStdString();
    return r;
}

}  // namespace dv::test
