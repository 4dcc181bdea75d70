// The results schema and its migrations. A file or server is brought to the
// current version when opened: versions 1 to 5 each in one transaction, the
// copy of version 6 a transaction per table, each done again after a crash
// only where it had not committed. A station's file from an older host is
// updated, never refused and never left half-changed.
#pragma once

#include <functional>
#include <string>

#include "outputs/results/database.h"

namespace vorn_results {

inline constexpr int kSchemaVersion = 8;

// The version the database holds: 0 when it has no schema yet.
bool SchemaVersion(Database &db, int &version, std::string &error);
// Applies every migration the database lacks. A database of a newer version
// than this host knows is left as it is, with the reason in error.
bool Migrate(Database &db, std::string &error);
// The same up to an older version: the tests make the files of older hosts so.
bool MigrateUpTo(Database &db, int version, std::string &error);

// In one transaction: `steps` make the database version `next`, and it is
// noted so, unless it is that version already (a station that opened it at
// the same time got there first). A failure names the version.
bool MigrateInOne(Database &db, int next, const std::function<bool(std::string &)> &steps, std::string &error);

// Version 6 from 5 (schema_lean.cpp): the rows copied into lean tables, one
// table per transaction.
bool MigrateToLeanRows(Database &db, std::string &error);
// Version 7 from 6 (schema_rollups.cpp): the rollups, made from the rows.
bool MigrateToRollups(Database &db, std::string &error);
// The rollups made anew from every attempt's rows, into empty tables.
bool RebuildRollups(Database &db, std::string &error);
// Version 8 from 7: the attempts whose sums wait to be folded into the
// rollups (outputs/results/rollups.h), none at first.
bool MigrateToPendingRollups(Database &db, std::string &error);

}  // namespace vorn_results
