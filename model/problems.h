// The ten problem lists: the tables and indices for which a warning rule
// holds, computed from the model and the current options. The summary view
// shows them and the recommendations report counts them.
#pragma once

#include <vector>

#include "model/dkmain.h"

namespace dv {

// The lists are known by their group captions. They do not own their
// entries (the model does) and hold them in model order.
struct TProblemLists {
    std::vector<TRelation*> FragmentedTables;          // "Fragmented tables"
    std::vector<TIndex*> DeepIndices;                  // "Deep indices"
    std::vector<TRelation*> VersionedTables;           // "Versioned tables"
    std::vector<TIndex*> BadIndices;                   // "Bad indices"
    std::vector<TRelation*> VeryBigTables;             // "Very big tables"
    std::vector<TRelation*> TablesFragmentedWithBlobs; // "Tables fragmented with blobs"
    std::vector<TIndex*> UselessIndices;               // "Useless indices"
    std::vector<TRelation*> TablesWithNoRecords;       // "Tables with no records"
    std::vector<TRelation*> MassiveDeletes;            // "Massive deletes/updates"
    std::vector<TIndex*> BrokenIndices;                // "Broken or incomplete indices"
};

// The lists for the model and the current options (the empty-tables list
// only while ZeroTables is on; otherwise it stays empty). Asking the rules
// marks the objects they hold for, as the summary does.
TProblemLists ComputeProblemLists(TDatabaseInfo& db);

}  // namespace dv
