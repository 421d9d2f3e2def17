// The transaction calculator: the transaction counters of the loaded
// statistics as average rates per working hour, minute and second, for the
// whole database and per client computer. The edits hold the only state:
// every computation reads its inputs from their texts.
#pragma once

#include <QDialog>
#include <cstdint>

class QLabel;
class QLineEdit;
class QPushButton;

namespace dv {

class TTranCalc : public QDialog {
public:
    // The integer type of the inputs and of the whole-number results: that
    // of the transaction counters.
    using TValue = int64_t;   // counters are 48-bit from ODS 13 on

    // Builds the dialog and runs FormCreate; an error there is shown and the
    // dialog still opens, without values.
    explicit TTranCalc(QWidget* owner = nullptr);
    ~TTranCalc() override;

    // LoadFromStatistics, then Recompute.
    void FormCreate();
    // "Reset changes": the model's values, 8 working hours, 10 computers.
    void bResetClick();
    // "Recompute".
    void bRecalcClick();
    // Transactions per day and active transactions from DBInfo.
    void LoadFromStatistics();
    // The seven outputs from the three numeric inputs, in the order
    // eTranComp, eTranHour, eTranMin, eTranHourC, eTranMinC, eTranSec,
    // eTranSecC. Text that is not an integer raises EConvertError before any
    // output changes; a zero divisor raises EDivByZero, and a quotient that
    // does not fit TValue EIntOverflow, at the first output that divides so,
    // the outputs before it keeping their new values.
    void Recompute();

    // Inputs.
    QLineEdit* eTransPerDay = nullptr;
    QLineEdit* eActiveTrans = nullptr;
    QLineEdit* eWorkHours = nullptr;
    QLineEdit* eComputers = nullptr;
    QPushButton* bReset = nullptr;
    QPushButton* bRecalc = nullptr;
    // Outputs (read-only, bold).
    QLineEdit* eTranComp = nullptr;
    QLineEdit* eTranHour = nullptr;
    QLineEdit* eTranMin = nullptr;
    QLineEdit* eTranSec = nullptr;
    QLineEdit* eTranHourC = nullptr;
    QLineEdit* eTranMinC = nullptr;
    QLineEdit* eTranSecC = nullptr;

private:
    void SetupUi();
};

// The dialog while it is open; nullptr otherwise.
extern TTranCalc* TranCalc;

}  // namespace dv
