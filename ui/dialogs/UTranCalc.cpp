#include "ui/dialogs/UTranCalc.h"

#include <QFrame>
#include <QGridLayout>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>

#include "model/dkmain.h"
#include "platform/text/SysUtils.h"
#include "ui/window/Application.h"
#include "ui/views/dbinfofr.h"
#include "ui/window/main.h"

namespace dv {

TTranCalc* TranCalc = nullptr;

namespace {

constexpr int kClientWidth = 411;
constexpr int kClientHeight = 283;

QString Text(int64_t v) { return QString::fromStdString(IntToStr(v)); }

using TValue = TTranCalc::TValue;

// Strict whole-text conversion: "'<text>' is not a valid integer value".
TValue IntOf(const QLineEdit* e) { return StrToInt64(e->text().toStdString()); }

}  // namespace

TTranCalc::TTranCalc(QWidget* owner) : QDialog(owner) {
    SetupUi();
    // An error here is shown; the dialog still opens, with what it has.
    RunGuarded([this] { FormCreate(); });
}

TTranCalc::~TTranCalc() {
    if (TranCalc == this) TranCalc = nullptr;
}

void TTranCalc::SetupUi() {
    setObjectName("TranCalc");
    setWindowTitle("TranCalc");
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setWindowFlag(Qt::MSWindowsFixedSizeDialogHint, true);

    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(12, 12, 12, 12);
    grid->setHorizontalSpacing(10);
    grid->setVerticalSpacing(6);
    grid->setColumnStretch(0, 1);

    auto edit = [this](const char* name, bool output) {
        auto* e = new QLineEdit(this);
        e->setObjectName(name);
        e->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        e->setMinimumWidth(100);
        if (output) {
            e->setReadOnly(true);
            e->setFocusPolicy(Qt::ClickFocus);   // selectable for copying, skipped by Tab
            QFont f = e->font();
            f.setBold(true);
            e->setFont(f);
        }
        return e;
    };
    auto label = [this](const char* text, QWidget* buddy) {
        auto* l = new QLabel(text, this);
        if (buddy) l->setBuddy(buddy);
        return l;
    };

    // Inputs, with the two commands beside them.
    eTransPerDay = edit("eTransPerDay", false);
    eActiveTrans = edit("eActiveTrans", false);
    eWorkHours = edit("eWorkHours", false);
    eComputers = edit("eComputers", false);
    eWorkHours->setText("8");
    eComputers->setText("10");
    bReset = new QPushButton("Reset changes", this);
    bReset->setObjectName("bReset");
    bRecalc = new QPushButton("Recompute", this);
    bRecalc->setObjectName("bRecalc");
    bRecalc->setDefault(true);
    grid->addWidget(label("Transactions per day", eTransPerDay), 0, 0);
    grid->addWidget(eTransPerDay, 0, 1);
    grid->addWidget(bReset, 0, 2);
    grid->addWidget(label("Active transactions", eActiveTrans), 1, 0);
    grid->addWidget(eActiveTrans, 1, 1);
    grid->addWidget(label("Working hours per day", eWorkHours), 2, 0);
    grid->addWidget(eWorkHours, 2, 1);
    grid->addWidget(bRecalc, 2, 2);
    grid->addWidget(label("Computers", eComputers), 3, 0);
    grid->addWidget(eComputers, 3, 1);

    auto* line = new QFrame(this);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    grid->addWidget(line, 4, 0, 1, 3);

    // Results: the whole database on the left, one computer on the right.
    eTranComp = edit("eTranComp", true);
    eTranHour = edit("eTranHour", true);
    eTranMin = edit("eTranMin", true);
    eTranSec = edit("eTranSec", true);
    eTranHourC = edit("eTranHourC", true);
    eTranMinC = edit("eTranMinC", true);
    eTranSecC = edit("eTranSecC", true);
    grid->addWidget(label("Transactions per application", nullptr), 5, 2, Qt::AlignHCenter);
    grid->addWidget(eTranComp, 6, 2);
    grid->addWidget(label("Transactions per hour", eTranHour), 7, 0);
    grid->addWidget(eTranHour, 7, 1);
    grid->addWidget(eTranHourC, 7, 2);
    grid->addWidget(label("Transactions per minute", eTranMin), 8, 0);
    grid->addWidget(eTranMin, 8, 1);
    grid->addWidget(eTranMinC, 8, 2);
    grid->addWidget(label("Transactions per second", eTranSec), 9, 0);
    grid->addWidget(eTranSec, 9, 1);
    grid->addWidget(eTranSecC, 9, 2);
    grid->setRowStretch(10, 1);

    // Tab reads the rows as the eye does: each button after the field of its row.
    {
        QWidget* const order[] = {eTransPerDay, bReset, eActiveTrans, eWorkHours, bRecalc, eComputers};
        for (size_t i = 1; i < std::size(order); ++i) QWidget::setTabOrder(order[i - 1], order[i]);
    }

    connect(bReset, &QPushButton::clicked, this, [this] { RunGuarded([this] { bResetClick(); }); });
    connect(bRecalc, &QPushButton::clicked, this, [this] { RunGuarded([this] { bRecalcClick(); }); });

    // A fixed border: the designed size, or more where the fonts need it.
    setFixedSize(grid->sizeHint().expandedTo(QSize(kClientWidth, kClientHeight)));
    if (QScreen* s = parentWidget() ? parentWidget()->screen() : QGuiApplication::primaryScreen())
        move(s->availableGeometry().center() - rect().center());
}

void TTranCalc::FormCreate() {
    LoadFromStatistics();
    Recompute();
}

void TTranCalc::bResetClick() {
    LoadFromStatistics();
    eWorkHours->setText("8");
    eComputers->setText("10");
    Recompute();
}

void TTranCalc::bRecalcClick() { Recompute(); }

void TTranCalc::LoadFromStatistics() {
    if (!DBInfo) {   // no model at all: as with nothing loaded
        eTransPerDay->setText("0");
        eActiveTrans->setText("0");
        return;
    }
    const TDatabaseInfo& db = *DBInfo;
    // The day count of the summary: at least one day, so a creation date
    // just after the statistics date gives a rate rather than an error.
    const int32_t days = StatDayCount(db);
    const int64_t active = TransactionGap(db, db.NxT, db.OAT);
    eTransPerDay->setText(Text(IntDiv64(db.NxT, days)));
    eActiveTrans->setText(Text(active));
}

void TTranCalc::Recompute() {
    const TValue t = IntOf(eTransPerDay);
    const TValue c = IntOf(eComputers);
    const TValue h = IntOf(eWorkHours);
    // Whole-number division: a zero divisor and a quotient that does not fit
    // are errors shown to the user, like text that is not a number.
    eTranComp->setText(Text(IntDiv64(t, c)));
    const TValue perHour = IntDiv64(t, h);
    eTranHour->setText(Text(perHour));
    const TValue perMinute = IntDiv64(perHour, 60);
    eTranMin->setText(Text(perMinute));
    eTranHourC->setText(Text(IntDiv64(perHour, c)));
    eTranMinC->setText(Text(IntDiv64(perMinute, c)));
    eTranSec->setText(Text(IntDiv64(perMinute, 60)));
    // From the per-minute integer, so what its division dropped stays dropped.
    const double perSecond = static_cast<double>(perMinute) / 60.0 / static_cast<double>(c) + 0.0;   // + 0.0: no "-0.00"
    eTranSecC->setText(QString::fromStdString(Format("%.2f", {perSecond})));
}

// The main window's command: a modal dialog created for each use.
void RunTransactionCalculator() {
    TTranCalc dialog(MainForm);
    TranCalc = &dialog;
    dialog.exec();
}

}  // namespace dv
