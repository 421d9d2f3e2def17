// The built program as a process: where it is, and one run of it offscreen
// with its settings in a folder of the test, killed when it does not end.
#pragma once

#include <QProcess>
#include <QProcessEnvironment>
#include <QStringList>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "platform/SysUtils.h"

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

}  // namespace dv::test
