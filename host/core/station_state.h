// The station's health between its sessions, in two small files a second
// process can read: beside the station's results database (in the working
// folder when it records to none, or to a server).
//
//   vorn-station-NAME.json      the last verification and the stop, if the
//                                station stopped itself; written by its sessions
//   vorn-acknowledge-NAME.json  a technician's acknowledgement of that stop,
//                                written by vorn-host --acknowledge; taken
//                                (and removed) by the session that waits for it
//
// Each is written whole to a new file that then takes the old one's place,
// so a reader never sees half of one.
#pragma once

#include <optional>
#include <string>

#include "core/health.h"

namespace vorn_host {

struct StationState {
  // The last verification.
  std::optional<HealthSummary> verification;
  std::string verificationUuid;
  std::string goldenFile;
  std::optional<LockRecord> lock;  // the stop not yet acknowledged
};

struct StateFiles {
  std::string state;
  std::string acknowledgement;
};
// db: the --db value (a file or a server), empty for the default file;
// noDb: --no-db.
StateFiles StateFilesOf(const std::string &db, bool noDb, const std::string &station);

// A missing file is a station with no verification and no stop. False, with
// what is wrong, for a file that cannot be read as one.
bool ReadStationState(const std::string &path, StationState &state, std::string &error);
bool WriteStationState(const std::string &path, const std::string &station, const StationState &state,
                       std::string &error);

// None when there is no file (or none that can be read).
std::optional<AcknowledgementRecord> ReadAcknowledgement(const std::string &path);
bool WriteAcknowledgement(const std::string &path, const AcknowledgementRecord &ack, std::string &error);

}  // namespace vorn_host
