// The station's health commands beside the session: the golden unit's runs
// (vorn-host --verify, --calibrate) and a technician's acknowledgement of a
// station that stopped itself, from a second terminal (--acknowledge).
// docs/station-health.md says what each does on the station.
#pragma once

#include "core/command_line.h"
#include "core/options.h"

namespace vorn_host {

// The plan run on the golden unit, its burst powers compared with the
// references; with --calibrate the path loss then corrected and verified.
// Exit status 0 when the verification passed, 1 when it did not (or the
// calibration was refused, or a record was lost), 2 when it could not start.
int RunGoldenUnit(const CommandLine &line, const Options &options);

// Writes the acknowledgement the stopped station's session waits for.
// Exit status 0, or 2 with why (no stop, not the technician's code).
int Acknowledge(const CommandLine &line, const Options &options);

}  // namespace vorn_host
