#include "monitor.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace dv {

TFrMonitor* FrMonitor = nullptr;

TFrMonitor::TFrMonitor(QWidget* owner) : QFrame(owner) {
    setObjectName(QStringLiteral("FrMonitor"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    Panel1 = new QFrame(this);
    Panel1->setFixedHeight(29);
    auto* top = new QHBoxLayout(Panel1);
    top->setContentsMargins(6, 2, 6, 2);
    Label1 = new QLabel(QStringLiteral("Refresh interval"), Panel1);
    eRefresh = new QLineEdit(QStringLiteral("10"), Panel1);
    eRefresh->setFixedWidth(40);
    cbConnected = new QCheckBox(QStringLiteral("Stay connected"), Panel1);
    Button1 = new QPushButton(QStringLiteral("Refresh"), Panel1);
    top->addWidget(Label1);
    top->addWidget(eRefresh);
    top->addSpacing(12);
    top->addWidget(cbConnected);
    top->addWidget(Button1);
    top->addStretch(1);
    layout->addWidget(Panel1);

    vstMonitor = new TVirtualStringTree(this);
    vstMonitor->Header().Columns.Add("Parameter", 150);
    vstMonitor->Header().Columns.Add("Value", 200);
    layout->addWidget(vstMonitor, 1);

    if (!FrMonitor) FrMonitor = this;
}

TFrMonitor::~TFrMonitor() {
    if (FrMonitor == this) FrMonitor = nullptr;
}

void TFrMonitor::FillMonitor() {
    // The rows, the counters and the transaction chart come with the monitor
    // view itself; until then a load leaves the view empty.
    vstMonitor->Clear();
}

}  // namespace dv
