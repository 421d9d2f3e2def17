// The options dialog: the one editor of the analysis options. It copies the
// options into its controls when shown, writes them all back on OK, can put
// back the built-in defaults and picks colours through a colour dialog.
#pragma once

#include <QAbstractSpinBox>
#include <QDialog>
#include <QLineEdit>
#include <array>
#include <cstdint>
#include <functional>
#include <vector>

#include "platform/gui/Graphics.h"

class QCheckBox;
class QGroupBox;
class QLabel;
class QPushButton;
class QTabWidget;
class QToolButton;

namespace dv {

// A whole-number field with up/down arrows. The text is what counts: it may
// be left empty or hold a lone sign while the user types, and the reader
// decides what such a text means. A bounded field (MinValue < MaxValue)
// brings a number into its bounds when the focus leaves it; 0 and 0 mean
// unbounded.
class TSpinEdit : public QAbstractSpinBox {
public:
    TSpinEdit(QWidget* parent, int32_t minValue = 0, int32_t maxValue = 0);

    bool Bounded() const { return FMinValue < FMaxValue; }
    int32_t MinValue() const { return FMinValue; }
    int32_t MaxValue() const { return FMaxValue; }

    QString Text() const;
    void SetText(const QString& text);
    void SetValue(int32_t value);
    // The text as a whole number, brought into the bounds of a bounded
    // field; false when the text is not a 32-bit whole number.
    bool TryValue(int32_t& value) const;

    void stepBy(int steps) override;
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    StepEnabled stepEnabled() const override;
    QValidator::State validate(QString& input, int& pos) const override;
    void fixup(QString& input) const override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    int32_t FMinValue;
    int32_t FMaxValue;
};

// A text field that shows a colour twice: as its background and as its text
// (eight upper-case hexadecimal digits of the 0x00BBGGRR value). The colour
// and the text part ways when the user types: Color() stays what was set.
class TColorEdit : public QLineEdit {
public:
    explicit TColorEdit(QWidget* parent);
    void SetColor(TColor color);
    TColor Color() const { return FColor; }

private:
    TColor FColor = 0;
};

// Eight upper-case hexadecimal digits: 0x00E1FFFF gives "00E1FFFF".
QString ColorHex(TColor color);

class TfrmOptions : public QDialog {
public:
    explicit TfrmOptions(QWidget* owner);

    // Copies the options into the controls (and keeps the enabling rules).
    void ShowOptions();
    // Copies the controls into the options, in a fixed order. A text field
    // of the Interface page that is not a whole number stops it there with
    // EConvertError; what came before stays applied.
    void ApplyOptions();
    // Checks the four text fields of the Interface page the way
    // ApplyOptions reads them; raises its error for the first bad one and
    // returns that field through `bad` (may be null).
    void CheckOptions(QWidget** bad = nullptr) const;

    // Handlers.
    void cbTrBarsClick();
    void cbActSweepClick();
    void bRedColorClick(QToolButton* sender);   // the eight grid-colour buttons
    void bHintColorClick();
    void btnSetDefaultsClick();
    void btnOkClick();

    // The controls, named as the options they edit.
    QTabWidget* OptionsPage = nullptr;
    QWidget* TableTab = nullptr;
    QWidget* IndexTab = nullptr;
    QWidget* TransTab = nullptr;
    QWidget* IntfTab = nullptr;

    TSpinEdit* eAvgFill = nullptr;
    TSpinEdit* eRecVer = nullptr;
    TSpinEdit* eRecVerSize = nullptr;
    TSpinEdit* eVersDeletes = nullptr;
    TSpinEdit* eDelPercent = nullptr;
    QCheckBox* cbZeroTables = nullptr;
    QCheckBox* cbFTable = nullptr;

    TSpinEdit* eIndexDepth = nullptr;
    TSpinEdit* eAvgIdxFill = nullptr;
    TSpinEdit* eKeyTotalDup = nullptr;
    TSpinEdit* eKeyMaxDup = nullptr;
    QCheckBox* cbFIndex = nullptr;

    QCheckBox* cbTrBars = nullptr;
    QCheckBox* cbTrMins = nullptr;
    QLabel* lAverageTran = nullptr;
    TSpinEdit* eActiveTran = nullptr;
    QCheckBox* cbActSweep = nullptr;
    QCheckBox* cbFB152 = nullptr;
    TSpinEdit* eSnapshotTran = nullptr;
    QLabel* lSnapshotTran = nullptr;

    QLineEdit* eHintHidePause = nullptr;
    TColorEdit* eHintColor = nullptr;
    QToolButton* bHintColor = nullptr;
    QLineEdit* eHintWidth = nullptr;
    QLineEdit* eReportWrap = nullptr;
    QGroupBox* GroupBox1 = nullptr;
    std::array<TColorEdit*, 8> e{};            // e1 .. e8
    std::array<QToolButton*, 8> bColor{};      // bRedColor .. bTransColor
    QCheckBox* cbChessFill = nullptr;

    QPushButton* btnSetDefaults = nullptr;
    QPushButton* btnOk = nullptr;
    QPushButton* btnCancel = nullptr;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void BuildTableTab();
    void BuildIndexTab();
    void BuildTransTab();
    void BuildIntfTab();
    void BuildButtons();
    void FormCreate();
    void ApplyEnabling();
    // Runs the colour dialog for a field; see the colour buttons.
    void PickColor(TColorEdit* field);
};

// Runs the options dialog modally. True when it was closed with OK; the
// options are then applied. Its place and page are remembered for the run.
bool ShowOptionsDialog();

// The colour dialog behind the colour buttons: `color` is the starting
// colour in and the chosen one out, `customColors` the colours offered
// beside the basic ones. False when the user cancelled. Tests install their
// own so that no real dialog waits for a user.
using TColorDialogFunc = std::function<bool(TColor& color, const std::vector<TColor>& customColors)>;
// Installs f (empty restores the Qt colour dialog); returns the previous one.
TColorDialogFunc SetColorDialogFunc(TColorDialogFunc f);
// The custom colours the dialog offers ("ColorA" to "ColorI").
const std::vector<TColor>& OptionsCustomColors();

}  // namespace dv
