#include "ui/dialogs/options.h"

#include <QApplication>
#include <QCheckBox>
#include <QColorDialog>
#include <QFocusEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QShowEvent>
#include <QTabWidget>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>
#include <limits>

#include "model/dkmain.h"
#include "model/options.h"
#include "platform/system/Dialogs.h"
#include "platform/text/SysUtils.h"
#include "platform/gui/VirtualTrees.h"
#include "ui/window/Application.h"
#include "ui/window/main.h"

static void InitDialogResources() { Q_INIT_RESOURCE(dialogs); }

namespace dv {

namespace {

TColorDialogFunc g_colorDialog;

// Longest hide pause whose milliseconds still fit the option.
constexpr int32_t kMaxHintHidePauseSec = std::numeric_limits<int32_t>::max() / 1000;

bool RunQtColorDialog(TColor& color, const std::vector<TColor>& customColors) {
    for (size_t i = 0; i < customColors.size() && static_cast<int>(i) < QColorDialog::customCount(); ++i)
        QColorDialog::setCustomColor(static_cast<int>(i), ColorFromWin(customColors[i]));
    QColorDialog dlg(ColorFromWin(color), QApplication::activeModalWidget());
    if (dlg.exec() != QDialog::Accepted) return false;
    color = ColorToWin(dlg.selectedColor());
    return true;
}

bool RunColorDialog(TColor& color) {
    if (g_colorDialog) return g_colorDialog(color, OptionsCustomColors());
    return RunQtColorDialog(color, OptionsCustomColors());
}

// A colour field's text read as hexadecimal, as the class library reads
// "$" followed by the text (the error names that whole text).
TColor HexColor(const QString& text) {
    return static_cast<TColor>(StrToInt("$" + text.toStdString()));
}

int32_t DecimalField(const QLineEdit* field) { return StrToInt(field->text().toStdString()); }

// Seconds in the field, milliseconds in the option.
int32_t HintHidePauseField(const QLineEdit* field) {
    const int32_t seconds = DecimalField(field);
    if (seconds < 0 || seconds > kMaxHintHidePauseSec)
        throw EConvertError("Hint hide pause must be from 0 to " + IntToStr(kMaxHintHidePauseSec) + " seconds");
    return seconds * 1000;
}

// A spin field's whole number, or `fallback` for a text that is none.
int32_t SpinValue(const TSpinEdit* field, int32_t fallback) {
    int32_t v;
    return field->TryValue(v) ? v : fallback;
}

template <class W>
W* Named(W* w, const char* name) {
    w->setObjectName(QString::fromLatin1(name));
    return w;
}

QLabel* Caption(const char* text, QWidget* buddy, QWidget* parent) {
    auto* l = new QLabel(QString::fromLatin1(text), parent);
    l->setBuddy(buddy);
    return l;
}

}  // namespace

// ---------------------------------------------------------------------------
// TSpinEdit

TSpinEdit::TSpinEdit(QWidget* parent, int32_t minValue, int32_t maxValue)
    : QAbstractSpinBox(parent), FMinValue(minValue), FMaxValue(maxValue) {
    setAlignment(Qt::AlignLeft);
    setCorrectionMode(QAbstractSpinBox::CorrectToPreviousValue);
    setAccelerated(true);
    lineEdit()->setMaxLength(11);   // a sign and ten digits: every 32-bit number
    SetText(QStringLiteral("0"));
}

QString TSpinEdit::Text() const { return lineEdit()->text(); }

void TSpinEdit::SetText(const QString& text) {
    lineEdit()->setText(text);
    update();   // the arrows' enabled state follows the text
}

void TSpinEdit::SetValue(int32_t value) {
    if (Bounded()) value = std::clamp(value, FMinValue, FMaxValue);
    SetText(QString::number(value));
}

bool TSpinEdit::TryValue(int32_t& value) const {
    int32_t v;
    if (!TryStrToInt(Text().toStdString(), v)) return false;
    value = Bounded() ? std::clamp(v, FMinValue, FMaxValue) : v;
    return true;
}

void TSpinEdit::stepBy(int steps) {
    int32_t v;
    if (!TryValue(v)) v = FMinValue;
    const int64_t next = static_cast<int64_t>(v) + steps;
    const int64_t lo = Bounded() ? FMinValue : std::numeric_limits<int32_t>::min();
    const int64_t hi = Bounded() ? FMaxValue : std::numeric_limits<int32_t>::max();
    SetValue(static_cast<int32_t>(std::clamp(next, lo, hi)));
    lineEdit()->selectAll();
}

QSize TSpinEdit::sizeHint() const {
    // Room for seven digits and a sign beside the arrows; longer numbers
    // scroll.
    QSize s = QAbstractSpinBox::sizeHint();
    s.setWidth(fontMetrics().horizontalAdvance(QStringLiteral("-0000000")) + 32);
    return s;
}

QSize TSpinEdit::minimumSizeHint() const { return sizeHint(); }

QAbstractSpinBox::StepEnabled TSpinEdit::stepEnabled() const {
    int32_t v;
    if (!Bounded() || !TryValue(v)) return StepUpEnabled | StepDownEnabled;
    StepEnabled e = StepNone;
    if (v < FMaxValue) e |= StepUpEnabled;
    if (v > FMinValue) e |= StepDownEnabled;
    return e;
}

QValidator::State TSpinEdit::validate(QString& input, int&) const {
    // Digits and a sign in front; anything else is refused as it is typed.
    static const QRegularExpression kWhole(QStringLiteral("^[+-]?[0-9]*$"));
    return kWhole.match(input).hasMatch() ? QValidator::Acceptable : QValidator::Invalid;
}

void TSpinEdit::fixup(QString&) const {
    // The text stays as typed; its reader decides what an empty one means.
}

void TSpinEdit::focusOutEvent(QFocusEvent* event) {
    int32_t v;
    if (Bounded() && TryStrToInt(Text().toStdString(), v) && (v < FMinValue || v > FMaxValue)) SetValue(v);
    QAbstractSpinBox::focusOutEvent(event);
}

// ---------------------------------------------------------------------------
// TColorEdit

QString ColorHex(TColor color) { return QStringLiteral("%1").arg(color, 8, 16, QLatin1Char('0')).toUpper(); }

TColorEdit::TColorEdit(QWidget* parent) : QLineEdit(parent) {
    setMaxLength(32);
    setFixedWidth(fontMetrics().horizontalAdvance(QStringLiteral("00000000")) + 18);
}

void TColorEdit::SetColor(TColor color) {
    FColor = color;
    setText(ColorHex(color));
    const QColor bg = ColorFromWin(color);
    QPalette p = palette();
    p.setColor(QPalette::Base, bg);
    // The digits stay readable on dark and on light colours.
    const int luma = (bg.red() * 299 + bg.green() * 587 + bg.blue() * 114) / 1000;
    p.setColor(QPalette::Text, luma < 140 ? Qt::white : Qt::black);
    setPalette(p);
}

// ---------------------------------------------------------------------------
// TfrmOptions: building

TfrmOptions::TfrmOptions(QWidget* owner) : QDialog(owner) {
    InitDialogResources();
    setObjectName(QStringLiteral("frmOptions"));
    setWindowTitle(QStringLiteral("Options"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 6, 6, 6);
    OptionsPage = Named(new QTabWidget(this), "OptionsPage");
    layout->addWidget(OptionsPage, 1);
    BuildTableTab();
    BuildIndexTab();
    BuildTransTab();
    BuildIntfTab();
    BuildButtons();
    FormCreate();

    // Fixed border: the design size, or what the desktop's fonts need.
    const QSize hint = sizeHint().expandedTo(QSize(353, 370));
    setFixedSize(hint);
}

void TfrmOptions::BuildTableTab() {
    TableTab = Named(new QWidget, "TableTab");
    auto* grid = new QGridLayout(TableTab);
    eAvgFill = Named(new TSpinEdit(TableTab, 0, 100), "eAvgFill");
    eRecVer = Named(new TSpinEdit(TableTab), "eRecVer");
    eRecVerSize = Named(new TSpinEdit(TableTab), "eRecVerSize");
    eVersDeletes = Named(new TSpinEdit(TableTab), "eVersDeletes");
    eDelPercent = Named(new TSpinEdit(TableTab), "eDelPercent");
    const std::pair<const char*, TSpinEdit*> rows[] = {
        {"Table average fill (%) <", eAvgFill},
        {"Record version / record count >", eRecVer},
        {"Record/Version size %", eRecVerSize},
        {"Massive deletes/updates min", eVersDeletes},
        {"Massive del/upd Records/Versions %", eDelPercent},
    };
    int row = 0;
    for (const auto& [text, field] : rows) {
        grid->addWidget(Caption(text, field, TableTab), row, 0);
        grid->addWidget(field, row++, 1);
    }
    cbZeroTables = Named(new QCheckBox(QStringLiteral("Report about tables with no records"), TableTab), "cbZeroTables");
    cbFTable = Named(new QCheckBox(QStringLiteral("View table detailed fragmentation"), TableTab), "cbFTable");
    grid->addWidget(cbZeroTables, row++, 0, 1, 3);
    grid->addWidget(cbFTable, row++, 0, 1, 3);
    grid->setColumnStretch(2, 1);
    grid->setRowStretch(row, 1);
    OptionsPage->addTab(TableTab, QStringLiteral("Table"));
}

void TfrmOptions::BuildIndexTab() {
    IndexTab = Named(new QWidget, "IndexTab");
    auto* grid = new QGridLayout(IndexTab);
    eIndexDepth = Named(new TSpinEdit(IndexTab, 0, 10), "eIndexDepth");
    eAvgIdxFill = Named(new TSpinEdit(IndexTab, 0, 100), "eAvgIdxFill");
    eKeyTotalDup = Named(new TSpinEdit(IndexTab, 0, 100), "eKeyTotalDup");
    eKeyMaxDup = Named(new TSpinEdit(IndexTab, 0, 100), "eKeyMaxDup");
    const std::pair<const char*, TSpinEdit*> rows[] = {
        {"Index depth >", eIndexDepth},
        {"Index average fill (%) <", eAvgIdxFill},
        {"Keys/Total Dup > %", eKeyTotalDup},
        {"Keys/Max Dup  > %", eKeyMaxDup},
    };
    int row = 0;
    for (const auto& [text, field] : rows) {
        grid->addWidget(Caption(text, field, IndexTab), row, 0);
        grid->addWidget(field, row++, 1);
    }
    cbFIndex = Named(new QCheckBox(QStringLiteral("View index detailed fragmentation"), IndexTab), "cbFIndex");
    grid->addWidget(cbFIndex, row++, 0, 1, 3);
    grid->setColumnStretch(2, 1);
    grid->setRowStretch(row, 1);
    OptionsPage->addTab(IndexTab, QStringLiteral("Index"));
}

void TfrmOptions::BuildTransTab() {
    TransTab = Named(new QWidget, "TransTab");
    auto* grid = new QGridLayout(TransTab);
    int row = 0;
    cbTrBars = Named(new QCheckBox(QStringLiteral("Use graph bars for transactions state"), TransTab), "cbTrBars");
    grid->addWidget(cbTrBars, row++, 0, 1, 3);
    cbTrMins = Named(new QCheckBox(QStringLiteral("Relative (from oldest) bars %"), TransTab), "cbTrMins");
    auto* indent = new QHBoxLayout;
    indent->setContentsMargins(20, 0, 0, 0);
    indent->addWidget(cbTrMins);
    grid->addLayout(indent, row++, 0, 1, 3);

    auto* averageRow = new QHBoxLayout;
    averageRow->addWidget(new QLabel(QStringLiteral("Current statistics transactions per day:"), TransTab));
    lAverageTran = Named(new QLabel(TransTab), "lAverageTran");
    QFont bold = lAverageTran->font();
    bold.setBold(true);
    lAverageTran->setFont(bold);
    lAverageTran->setTextInteractionFlags(Qt::TextSelectableByMouse);
    averageRow->addWidget(lAverageTran);
    averageRow->addStretch(1);
    grid->setRowMinimumHeight(row++, 6);
    grid->addLayout(averageRow, row++, 0, 1, 3);

    eActiveTran = Named(new TSpinEdit(TransTab), "eActiveTran");
    grid->addWidget(Caption("Daily active transactions limit, %", eActiveTran, TransTab), row, 0);
    grid->addWidget(eActiveTran, row++, 1);
    cbActSweep = Named(
        new QCheckBox(QStringLiteral("Use default sweep interval instead of average transactions"), TransTab),
        "cbActSweep");
    grid->addWidget(cbActSweep, row++, 0, 1, 3);
    cbFB152 = Named(new QCheckBox(QStringLiteral("Only InterBase 7.x  is used"), TransTab), "cbFB152");
    grid->addWidget(cbFB152, row++, 0, 1, 3);

    eSnapshotTran = Named(new TSpinEdit(TransTab), "eSnapshotTran");
    lSnapshotTran = Named(Caption("Daily snapshot transactions limit, %", eSnapshotTran, TransTab), "lSnapshotTran");
    // Shown with its field: a field the user can edit is never left unnamed.
    grid->addWidget(lSnapshotTran, row, 0);
    grid->addWidget(eSnapshotTran, row++, 1);
    grid->setColumnStretch(2, 1);
    grid->setRowStretch(row, 1);
    OptionsPage->addTab(TransTab, QStringLiteral("Transactions"));

    connect(cbTrBars, &QCheckBox::clicked, this, [this] { RunGuarded([this] { cbTrBarsClick(); }); });
    connect(cbActSweep, &QCheckBox::clicked, this, [this] { RunGuarded([this] { cbActSweepClick(); }); });
}

void TfrmOptions::BuildIntfTab() {
    IntfTab = Named(new QWidget, "IntfTab");
    auto* page = new QVBoxLayout(IntfTab);

    auto* top = new QGridLayout;
    eHintHidePause = Named(new QLineEdit(IntfTab), "eHintHidePause");
    eHintColor = Named(new TColorEdit(IntfTab), "eHintColor");
    bHintColor = Named(new QToolButton(IntfTab), "bHintColor");
    bHintColor->setIcon(QIcon(QStringLiteral(":/dialogs/color.svg")));
    bHintColor->setToolTip(QStringLiteral("Choose a color"));
    eHintWidth = Named(new QLineEdit(IntfTab), "eHintWidth");
    eReportWrap = Named(new QLineEdit(IntfTab), "eReportWrap");
    const int numberWidth = eHintWidth->fontMetrics().horizontalAdvance(QStringLiteral("0000000")) + 12;
    for (QLineEdit* f : {eHintHidePause, eHintWidth, eReportWrap}) f->setFixedWidth(numberWidth);
    top->addWidget(Caption("Hint hide pause", eHintHidePause, IntfTab), 0, 0);
    auto* pause = new QHBoxLayout;
    pause->addWidget(eHintHidePause);
    pause->addWidget(new QLabel(QStringLiteral("sec"), IntfTab));
    top->addLayout(pause, 0, 1);
    top->addWidget(Caption("Hint color", eHintColor, IntfTab), 0, 3);
    auto* hintColor = new QHBoxLayout;
    hintColor->setSpacing(2);
    hintColor->addWidget(eHintColor);
    hintColor->addWidget(bHintColor);
    top->addLayout(hintColor, 0, 4);
    top->addWidget(Caption("Hint max width", eHintWidth, IntfTab), 1, 0);
    top->addWidget(eHintWidth, 1, 1, Qt::AlignLeft);
    top->addWidget(Caption("Report text wrap", eReportWrap, IntfTab), 1, 3);
    top->addWidget(eReportWrap, 1, 4, Qt::AlignLeft);
    top->setColumnMinimumWidth(2, 10);
    top->setColumnStretch(5, 1);
    page->addLayout(top);

    GroupBox1 = Named(new QGroupBox(QStringLiteral("Grid colors"), IntfTab), "GroupBox1");
    auto* grid = new QGridLayout(GroupBox1);
    grid->setVerticalSpacing(3);
    static const char* const kRows[8][3] = {
        {"Hot warnings (red)", "bRedColor", "e1"},
        {"Warnings (yellow)", "bYellowColor", "e2"},
        {"Columns 1 (pale)", "bColumns1Color", "e3"},
        {"Columns 2 (green)", "bColumns2Color", "e4"},
        {"Chess fill (lightgrey)", "bChessColor", "e5"},
        {"Mass updates (l-blue)", "bMassColor", "e6"},
        {"Blob fragmentation (pink)", "bBlobColor", "e7"},
        {"Transaction bars color", "bTransColor", "e8"},
    };
    for (int n = 0; n < 8; ++n) {
        e[n] = Named(new TColorEdit(GroupBox1), kRows[n][2]);
        bColor[n] = Named(new QToolButton(GroupBox1), kRows[n][1]);
        bColor[n]->setToolTip(QStringLiteral("Choose a color"));
        grid->addWidget(Caption(kRows[n][0], e[n], GroupBox1), n, 0);
        grid->addWidget(e[n], n, 1);
        grid->addWidget(bColor[n], n, 2);
        QToolButton* button = bColor[n];
        connect(button, &QToolButton::clicked, this,
                [this, button] { RunGuarded([this, button] { bRedColorClick(button); }); });
    }
    cbChessFill = Named(new QCheckBox(QStringLiteral("Chess table/index rows color"), GroupBox1), "cbChessFill");
    grid->addWidget(cbChessFill, 8, 0, 1, 3);
    grid->setColumnStretch(3, 1);
    page->addWidget(GroupBox1);
    page->addStretch(1);
    OptionsPage->addTab(IntfTab, QStringLiteral("Interface"));

    connect(bHintColor, &QToolButton::clicked, this, [this] { RunGuarded([this] { bHintColorClick(); }); });
}

void TfrmOptions::BuildButtons() {
    auto* panel = new QHBoxLayout;
    btnSetDefaults = Named(new QPushButton(QStringLiteral("Restore defaults"), this), "btnSetDefaults");
    btnOk = Named(new QPushButton(QStringLiteral("OK"), this), "btnOk");
    btnCancel = Named(new QPushButton(QStringLiteral("Cancel"), this), "btnCancel");
    btnSetDefaults->setAutoDefault(false);
    btnCancel->setAutoDefault(false);
    btnOk->setDefault(true);
    panel->addWidget(btnSetDefaults);
    panel->addStretch(1);
    panel->addWidget(btnOk);
    panel->addWidget(btnCancel);
    static_cast<QVBoxLayout*>(layout())->addLayout(panel);

    connect(btnSetDefaults, &QPushButton::clicked, this, [this] { RunGuarded([this] { btnSetDefaultsClick(); }); });
    connect(btnOk, &QPushButton::clicked, this, [this] { RunGuarded([this] { btnOkClick(); }); });
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
}

void TfrmOptions::FormCreate() {
    const QIcon picture = bHintColor->icon();
    for (QToolButton* b : bColor) b->setIcon(picture);
}

// ---------------------------------------------------------------------------
// TfrmOptions: options in and out

void TfrmOptions::showEvent(QShowEvent* event) {
    // Coming back from the task bar is no new showing.
    if (!event->spontaneous()) RunGuarded([this] { ShowOptions(); });
    QDialog::showEvent(event);
}

void TfrmOptions::ShowOptions() {
    const TOptionSettings& o = OptionSettings;
    eAvgFill->SetValue(o.TableAvgFill);
    eRecVer->SetValue(o.RecVer);
    eRecVerSize->SetValue(o.RecVerSize);
    eVersDeletes->SetValue(o.VersDeletes);
    eDelPercent->SetValue(o.DelPercent);
    eIndexDepth->SetValue(o.IndexDepth);
    eAvgIdxFill->SetValue(o.AvgIdxFill);
    eKeyTotalDup->SetValue(o.KeyTotalDup);
    eKeyMaxDup->SetValue(o.KeyMaxDup);
    eActiveTran->SetValue(o.ActiveTran);
    eSnapshotTran->SetText(QString::number(o.SnapshotTran));

    cbZeroTables->setChecked(o.ZeroTables);
    cbFTable->setChecked(o.ViewTableFrag);
    cbFIndex->setChecked(o.ViewIndexFrag);
    cbTrBars->setChecked(o.TrBars);
    cbTrMins->setChecked(o.TrMins);
    cbActSweep->setChecked(o.ActSweep);
    cbFB152->setChecked(o.FB152);
    cbChessFill->setChecked(o.ChessFill);

    eHintColor->SetColor(o.HintColor);
    eHintWidth->setText(QString::number(o.HintWidth));
    eReportWrap->setText(QString::number(o.ReportWrap));
    eHintHidePause->setText(QString::number(o.HintHidePause / 1000));   // whole seconds, truncated
    const TColor colors[8] = {o.RedColor,   o.YellowColor, o.Columns1Color, o.Columns2Color,
                              o.ChessColor, o.MassColor,   o.BlobColor,     o.TransColor};
    for (int n = 0; n < 8; ++n) e[n]->SetColor(colors[n]);
    lAverageTran->setText(DBInfo ? QString::number(DBInfo->AverageTran) : QString());
    ApplyEnabling();
}

void TfrmOptions::CheckOptions(QWidget** bad) const {
    // The order in which ApplyOptions meets them.
    const std::pair<QLineEdit*, std::function<void()>> fields[] = {
        {eHintColor, [this] { HexColor(eHintColor->text()); }},
        {eHintWidth, [this] { DecimalField(eHintWidth); }},
        {eHintHidePause, [this] { HintHidePauseField(eHintHidePause); }},
        {eReportWrap, [this] { DecimalField(eReportWrap); }},
    };
    for (const auto& [field, read] : fields) {
        try {
            read();
        } catch (const Exception&) {
            if (bad) *bad = field;
            throw;
        }
    }
}

void TfrmOptions::ApplyOptions() {
    TOptionSettings& o = OptionSettings;
    // Thresholds: a field that holds no whole number gives the built-in default.
    const TOptionSettings defaults;
    o.IndexDepth = SpinValue(eIndexDepth, defaults.IndexDepth);
    o.TableAvgFill = SpinValue(eAvgFill, defaults.TableAvgFill);
    o.AvgIdxFill = SpinValue(eAvgIdxFill, defaults.AvgIdxFill);
    o.RecVer = SpinValue(eRecVer, defaults.RecVer);
    o.KeyMaxDup = SpinValue(eKeyMaxDup, defaults.KeyMaxDup);
    o.KeyTotalDup = SpinValue(eKeyTotalDup, defaults.KeyTotalDup);
    o.RecVerSize = SpinValue(eRecVerSize, defaults.RecVerSize);
    o.DelPercent = SpinValue(eDelPercent, defaults.DelPercent);
    // These give the field's minimum, 0.
    o.VersDeletes = SpinValue(eVersDeletes, 0);
    o.ActiveTran = SpinValue(eActiveTran, 0);
    o.SnapshotTran = SpinValue(eSnapshotTran, 0);

    o.ViewTableFrag = cbFTable->isChecked();
    o.ViewIndexFrag = cbFIndex->isChecked();
    o.ZeroTables = cbZeroTables->isChecked();
    o.TrBars = cbTrBars->isChecked();
    o.TrMins = cbTrMins->isChecked();
    o.ChessFill = cbChessFill->isChecked();

    o.HintColor = HexColor(eHintColor->text());
    SetHintColor(o.HintColor);   // the application's hint windows at once
    o.HintWidth = DecimalField(eHintWidth);
    o.HintHidePause = HintHidePauseField(eHintHidePause);

    TColor* colors[8] = {&o.RedColor,   &o.YellowColor, &o.Columns1Color, &o.Columns2Color,
                         &o.ChessColor, &o.MassColor,   &o.BlobColor,     &o.TransColor};
    for (int n = 0; n < 8; ++n) *colors[n] = e[n]->Color();

    o.ReportWrap = DecimalField(eReportWrap);
    o.ActSweep = cbActSweep->isChecked();
    o.FB152 = cbFB152->isChecked();
}

// ---------------------------------------------------------------------------
// TfrmOptions: handlers

void TfrmOptions::ApplyEnabling() {
    cbTrMins->setEnabled(cbTrBars->isChecked());
    eActiveTran->setEnabled(!cbActSweep->isChecked());
}

void TfrmOptions::cbTrBarsClick() { ApplyEnabling(); }

void TfrmOptions::cbActSweepClick() { ApplyEnabling(); }

void TfrmOptions::PickColor(TColorEdit* field) {
    TColor color = HexColor(field->text());   // a bad text stops here, before any dialog
    if (!RunColorDialog(color)) return;
    field->SetColor(color);
}

void TfrmOptions::bRedColorClick(QToolButton* sender) {
    const auto it = std::find(bColor.begin(), bColor.end(), sender);
    if (it == bColor.end()) return;
    PickColor(e[static_cast<size_t>(it - bColor.begin())]);
}

void TfrmOptions::bHintColorClick() { PickColor(eHintColor); }

void TfrmOptions::btnSetDefaultsClick() {
    if (MessageDlg("Do you really want to reset all options to default?", mtConfirmation, mbOK | mbCancel) != mrOk)
        return;
    // At once, in the options themselves: Cancel afterwards keeps the reset.
    OptionSettings.RestoreDefaults();
    ShowOptions();
}

void TfrmOptions::btnOkClick() {
    // A text that cannot be read is reported while the dialog is still open,
    // so that nothing is applied by halves and the user can mend it.
    QWidget* bad = nullptr;
    try {
        CheckOptions(&bad);
    } catch (const Exception&) {
        ShowException(std::current_exception());
        if (bad) {
            OptionsPage->setCurrentWidget(IntfTab);
            bad->setFocus();
            if (auto* edit = qobject_cast<QLineEdit*>(bad)) edit->selectAll();
        }
        return;
    }
    accept();
}

// ---------------------------------------------------------------------------

bool ShowOptionsDialog() {
    TOptionSettings& o = OptionSettings;
    TfrmOptions dlg(MainForm);
    if (o.OptionsDlgLeft != 0) {
        // Shown before in this run: where and as it was left.
        dlg.move(o.OptionsDlgLeft, o.OptionsDlgTop);
        if (o.OptionsDlgPage >= 0 && o.OptionsDlgPage < dlg.OptionsPage->count())
            dlg.OptionsPage->setCurrentIndex(o.OptionsDlgPage);
    } else {
        QScreen* screen = MainForm ? MainForm->screen() : QGuiApplication::primaryScreen();
        if (screen) {
            const QRect r = screen->availableGeometry();
            dlg.move(r.x() + (r.width() - dlg.width()) / 2, r.y() + (r.height() - dlg.height()) / 2);
        }
        dlg.OptionsPage->setCurrentIndex(0);
    }
    const bool ok = dlg.exec() == QDialog::Accepted;
    o.OptionsDlgLeft = dlg.x();
    o.OptionsDlgTop = dlg.y();
    o.OptionsDlgPage = dlg.OptionsPage->currentIndex();
    if (ok) dlg.ApplyOptions();
    return ok;
}

bool RunOptionsDialog() { return ShowOptionsDialog(); }

TColorDialogFunc SetColorDialogFunc(TColorDialogFunc f) {
    TColorDialogFunc previous = std::move(g_colorDialog);
    g_colorDialog = std::move(f);
    return previous;
}

const std::vector<TColor>& OptionsCustomColors() {
    // ColorA .. ColorI
    static const std::vector<TColor> kColors = {0x004040FF, 0x0000FFFF, 0x00D9F1C7, 0x00DDDDFF, 0x00F0F0F0,
                                                0x00C0DCC0, 0x00FFDEB3, 0x00E1FFFF, 0x00FFFFD5};
    return kColors;
}

}  // namespace dv
