// The results schema and its migrations. A file or server is brought to the
// current version when opened, one migration per version, each in one
// transaction: a station's file from an older host is updated, never refused
// and never left half-changed.
#pragma once

#include <string>

#include "outputs/results/database.h"

namespace vorn_results {

inline constexpr int kSchemaVersion = 5;

// The version the database holds: 0 when it has no schema yet.
bool SchemaVersion(Database &db, int &version, std::string &error);
// Applies every migration the database lacks. A database of a newer version
// than this host knows is left as it is, with the reason in error.
bool Migrate(Database &db, std::string &error);

}  // namespace vorn_results
