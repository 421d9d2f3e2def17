#include "ui/server/serverwait.h"

#include <QCoreApplication>
#include <QDialog>
#include <QEventLoop>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>

#include "server/DMData.h"
#include "ui/window/main.h"

namespace dv {

QDialog* ServerWaitWindow = nullptr;
QPushButton* ServerWaitCancel = nullptr;

namespace {
// Calls that end sooner show no window.
constexpr int kShowAfterMs = 500;
// Shortest time between two rounds of events (the service calls the hook
// before every line).
constexpr int kPumpIntervalMs = 25;
}  // namespace

TServerWaitScope::TServerWaitScope(const std::string& what) : FWhat(what) {
    FSince.start();
    if (!DM) return;
    FOldWait = DM->OnWait;
    FOldServiceWait = DM->IBStatService->OnWait;
    DM->OnWait = [this] { Pump(); };
    DM->IBStatService->OnWait = [this] { Pump(); };
}

TServerWaitScope::~TServerWaitScope() {
    if (DM) {
        DM->OnWait = FOldWait;
        DM->IBStatService->OnWait = FOldServiceWait;
    }
    if (FWindow) {
        if (ServerWaitWindow == FWindow) {
            ServerWaitWindow = nullptr;
            ServerWaitCancel = nullptr;
        }
        delete FWindow;
    }
}

void TServerWaitScope::Pump() {
    if (FPumped.isValid() && FPumped.elapsed() < kPumpIntervalMs) return;
    FPumped.restart();
    if (!FWindow && FSince.elapsed() >= kShowAfterMs && !ServerWaitWindow) {
        FWindow = new QDialog(MainForm, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
        FWindow->setObjectName(QStringLiteral("ServerWait"));
        FWindow->setWindowTitle(QStringLiteral("Waiting for the server"));
        FWindow->setWindowModality(Qt::ApplicationModal);
        auto* layout = new QHBoxLayout(FWindow);
        layout->addWidget(new QLabel(QString::fromStdString(FWhat), FWindow), 1);
        auto* cancel = new QPushButton(QStringLiteral("Cancel"), FWindow);
        cancel->setObjectName(QStringLiteral("btnCancel"));
        layout->addWidget(cancel);
        QObject::connect(cancel, &QPushButton::clicked, FWindow, [] {
            if (DM) DM->Cancel();
        });
        // Escape and the close box cancel too.
        QObject::connect(FWindow, &QDialog::rejected, FWindow, [] {
            if (DM) DM->Cancel();
        });
        ServerWaitWindow = FWindow;
        ServerWaitCancel = cancel;
        FWindow->show();
    }
    QCoreApplication::processEvents(FWindow ? QEventLoop::AllEvents : QEventLoop::ExcludeUserInputEvents);
}

}  // namespace dv
