// The monitor view: header values and live page counters of a server
// database with a time chart of its open transactions. The main window
// creates it hidden on its big panel; it is view 5, which no tab selects.
#pragma once

#include <QFrame>
#include <string>
#include <vector>

#include "model/dkmain.h"
#include "model/moninfo.h"
#include "platform/gui/VirtualTrees.h"
#include "ui/views/monchart.h"

class QAction;
class QCheckBox;
class QHBoxLayout;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QToolButton;

namespace dv {

// Item codes of the monitor's own rows (the database rows use the summary's
// codes 100..270; these meanings hold in this tree only).
enum : int {
    miCacheWindow = 300,
    miCacheSize = 310,
    miPageReads = 320,
    miPageWrites = 330,
    miCacheAccess = 340,
    miCacheHitRatio = 360,
    miAllocatedSize = 370,
};

// An up-down control attached to an edit: the arrows step the edit's number
// between Min and Max (a text that is not a number steps from Position).
class TUpDown : public QWidget {
public:
    TUpDown(QWidget* parent, QLineEdit* associate);
    int Min = 0;
    int Max = 100;
    int Position = 10;
    void Step(int delta);
    QToolButton* Up = nullptr;
    QToolButton* Down = nullptr;

private:
    QLineEdit* FAssociate;
};

class TFrMonitor : public QFrame {
public:
    // The first frame created becomes FrMonitor (until it is destroyed).
    explicit TFrMonitor(QWidget* owner);
    ~TFrMonitor() override;

    // Rebuilds the tree from DBInfo and DBMonInfo.
    void FillMonitor();
    // "Refresh": live counters and open transactions from the server. Raises
    // what the server raises (the button shows it through the application's
    // handler); the connection is closed again either way.
    void Button1Click();
    // The refresh interval must be a whole number: otherwise the focus goes
    // back to the edit and the conversion error is raised.
    void eRefreshExit();
    void Copy1Click();

    // The children of the root, in tree order, for the current model.
    static std::vector<int> MonitorRows(const TDatabaseInfo& db);
    // Caption, value and hint (as the grid shows it) of a row.
    static std::string RowCaption(int code);
    static std::string RowValue(int code);
    static std::string RowHint(int code);

    // Grid events.
    void vstMonitorGetText(TVirtualStringTree* tree, PVirtualNode node, TColumnIndex column, std::string& text);
    void vstMonitorGetHint(TVirtualStringTree* tree, PVirtualNode node, TColumnIndex column, std::string& hint);
    void vstMonitorGetImageIndex(TVirtualStringTree* tree, PVirtualNode node, TVTImageKind kind,
                                 TColumnIndex column, bool& ghosted, int& index);
    void vstMonitorColumnDblClick(TVirtualStringTree* tree, TColumnIndex column);

    QFrame* Panel1 = nullptr;
    QLabel* Label1 = nullptr;
    QLineEdit* eRefresh = nullptr;
    TUpDown* UpDown1 = nullptr;
    QCheckBox* cbConnected = nullptr;
    QPushButton* Button1 = nullptr;
    TVirtualStringTree* vstMonitor = nullptr;
    QMenu* PopupMenu1 = nullptr;
    QAction* Copy1 = nullptr;
    TChart* RChart = nullptr;
    TGanttSeries* Series1 = nullptr;

    // Moves the chart beside the tree's columns (called on fills and resizes).
    void PlaceChart();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void ReadOpenTransactions();
    bool FInExit = false;
    QHBoxLayout* FTreeRow = nullptr;   // the tree and the room kept for the chart
};

extern TFrMonitor* FrMonitor;

}  // namespace dv
