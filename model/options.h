// The analysis options: thresholds of the warning rules, display switches,
// colours, hint and report settings, and a few values that dialogs remember
// for the run. Every run starts at the built-in defaults; nothing here is
// read from disk.
#pragma once

#include <cstdint>
#include <string>

namespace dv {

struct TOptionSettings {
    // Thresholds of the warning rules.
    int32_t RecVer = 3;            // versions per record (HasManyVersions)
    int32_t IndexDepth = 3;        // levels (IsIndexTooDeep)
    int32_t TableAvgFill = 60;     // percent (IsTableUnderfilled)
    int32_t KeyMaxDup = 30;        // percent of nodes (HasLongDuplicateChain)
    int32_t KeyTotalDup = 90;      // percent of nodes (HasManyDuplicates)
    int32_t AvgIdxFill = 50;       // percent (IsIndexUnderfilled)
    int32_t RecVerSize = 110;      // percent of record length (HasLongVersions)
    int32_t DelPercent = 10;       // percent of records (HasMassDeletes)
    int32_t VersDeletes = 5000;    // versions (HasMassDeletes)
    int32_t ActiveTran = 30;       // percent of daily transactions (IsActiveTransactionOld)
    int32_t SnapshotTran = 60;     // percent; shown and edited only, no rule reads it
    bool ActSweep = false;         // IsActiveTransactionOld compares with Sweep
    bool FB152 = false;            // sweep gap is OAT - OIT for every ODS

    // Display switches.
    bool ViewTableFrag = false;
    bool ViewIndexFrag = false;
    bool ZeroTables = true;
    bool TrBars = true;
    bool TrMins = false;
    bool ChessFill = true;

    // Hint and report settings.
    uint32_t HintColor = 0x00E1FFFF;   // Windows colour 0x00BBGGRR
    int32_t HintWidth = 50;            // characters
    int32_t HintHidePause = 8000;      // milliseconds
    int32_t ReportWrap = 70;           // characters

    // Grid colours, Windows colour values 0x00BBGGRR (red in the low byte).
    uint32_t RedColor = 0x000000FF;
    uint32_t YellowColor = 0x0000FFFF;
    uint32_t Columns1Color = 0x00F0FBFF;
    uint32_t Columns2Color = 0x00C0DCC0;
    uint32_t ChessColor = 0x00F0F0F0;
    uint32_t MassColor = 0x00FFDEB3;
    uint32_t BlobColor = 0x00DDDDFF;
    uint32_t TransColor = 0x00D9F1C7;

    // Remembered choices of the server statistics dialog; the options dialog
    // does not show them, so RestoreDefaults leaves them alone.
    bool HeaderPage = false;
    bool LoadMetadata = true;

    // Values the dialogs remember for the run; not options, RestoreDefaults
    // leaves them alone.
    int32_t OptionsDlgLeft = 0;     // 0: the options dialog has not been shown yet
    int32_t OptionsDlgTop = 0;
    int32_t OptionsDlgPage = 0;     // page active when the options dialog last closed
    int32_t ServStatDlgWidth = 0;   // 0 before the statistics dialog's first showing
    std::string LastPassword;

    // Puts every option that the options dialog shows (everything above
    // HeaderPage) back to its built-in default. HeaderPage, LoadMetadata and
    // the remembered dialog values keep what they hold.
    void RestoreDefaults();
};

extern TOptionSettings OptionSettings;

}  // namespace dv
