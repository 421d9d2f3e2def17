// The monitor view: header values and live page counters of a server
// database with a time chart of its open transactions. The main window
// creates it hidden on its big panel; it is view 5, which no tab selects.
#pragma once

#include <QFrame>

#include "platform/gui/VirtualTrees.h"

class QLabel;
class QLineEdit;
class QCheckBox;
class QPushButton;

namespace dv {

class TFrMonitor : public QFrame {
public:
    // The first frame created becomes FrMonitor (until it is destroyed).
    explicit TFrMonitor(QWidget* owner);
    ~TFrMonitor() override;

    // Rebuilds the tree from DBInfo and DBMonInfo.
    void FillMonitor();

    QFrame* Panel1 = nullptr;
    QLabel* Label1 = nullptr;
    QLineEdit* eRefresh = nullptr;
    QCheckBox* cbConnected = nullptr;
    QPushButton* Button1 = nullptr;
    TVirtualStringTree* vstMonitor = nullptr;
};

extern TFrMonitor* FrMonitor;

}  // namespace dv
