#include "model/problems.h"

#include "model/options.h"
#include "model/rules.h"

namespace dv {

TProblemLists ComputeProblemLists(TDatabaseInfo& db) {
    TProblemLists l;
    // The rules are asked group by group, in the order the summary lists the
    // groups, so the marks they set are the same whoever computes the lists.
    for (TRelation* r : db.Relations)
        if (IsTableUnderfilled(*r)) l.FragmentedTables.push_back(r);
    for (TRelation* r : db.Relations)
        if (HasManyVersions(*r)) l.VersionedTables.push_back(r);
    for (TRelation* r : db.Relations)
        if (IsBlobFragmented(*r)) l.TablesFragmentedWithBlobs.push_back(r);
    for (TRelation* r : db.Relations)
        if (HasMassDeletes(*r)) l.MassiveDeletes.push_back(r);
    for (TRelation* r : db.Relations)
        if (IsTableNearPageLimit(*r)) l.VeryBigTables.push_back(r);
    for (TIndex* i : db.Indices)
        if (IsIndexTooDeep(*i)) l.DeepIndices.push_back(i);
    for (TIndex* i : db.Indices)
        if (HasManyDuplicates(*i) && HasLongDuplicateChain(*i)) l.BadIndices.push_back(i);
    for (TIndex* i : db.Indices)
        if (i->Inactive == 0 && IsIndexMissingKeys(*i)) l.BrokenIndices.push_back(i);
    for (TIndex* i : db.Indices)
        if (IsUselessIndex(*i)) l.UselessIndices.push_back(i);
    if (OptionSettings.ZeroTables)
        for (TRelation* r : db.Relations)
            if (IsEmptyTable(*r)) l.TablesWithNoRecords.push_back(r);
    return l;
}

}  // namespace dv
