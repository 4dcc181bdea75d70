#include "core/record.h"

#include <algorithm>
#include <cstdio>
#include <random>

namespace vorn_host {

const char *VerdictText(Verdict verdict) {
  switch (verdict) {
    case Verdict::kPass: return "PASS";
    case Verdict::kFail: return "FAIL";
    case Verdict::kError: return "ERROR";
    case Verdict::kNotRun: break;
  }
  return "NOT RUN";
}

std::optional<Verdict> VerdictOf(const std::string &text) {
  for (Verdict v : {Verdict::kPass, Verdict::kFail, Verdict::kError, Verdict::kNotRun}) {
    if (text == VerdictText(v)) return v;
  }
  return std::nullopt;
}

const char *ModeText(SessionMode mode) {
  switch (mode) {
    case SessionMode::kProduction: break;
    case SessionMode::kEngineering: return "engineering";
    case SessionMode::kVerification: return "verification";
    case SessionMode::kCalibration: return "calibration";
  }
  return "production";
}

std::optional<SessionMode> ModeOf(const std::string &text) {
  for (SessionMode m :
       {SessionMode::kProduction, SessionMode::kEngineering, SessionMode::kVerification, SessionMode::kCalibration}) {
    if (text == ModeText(m)) return m;
  }
  return std::nullopt;
}

Prior PriorOf(Verdict verdict) {
  switch (verdict) {
    case Verdict::kPass: return Prior::kPass;
    case Verdict::kFail: return Prior::kFail;
    case Verdict::kError: return Prior::kError;
    case Verdict::kNotRun: break;
  }
  return Prior::kStopped;
}

const char *PriorText(Prior prior) {
  switch (prior) {
    case Prior::kNone: return "none";
    case Prior::kStopped: return "stopped";
    case Prior::kPass: return "PASS";
    case Prior::kFail: return "FAIL";
    case Prior::kError: return "ERROR";
  }
  return "none";
}

std::optional<Prior> PriorOf(const std::string &text) {
  for (Prior p : {Prior::kNone, Prior::kStopped, Prior::kPass, Prior::kFail, Prior::kError}) {
    if (text == PriorText(p)) return p;
  }
  return std::nullopt;
}

int RunRecord::count(Verdict wanted) const {
  return static_cast<int>(
      std::count_if(steps.begin(), steps.end(), [wanted](const StepRecord &s) { return s.verdict == wanted; }));
}

double RunRecord::stationSeconds() const { return std::max(seconds, static_cast<double>(waitedMs) / 1000.0); }

std::string NewUuid() {
  // Every bit from the system's entropy: a generator seeded once with 32 bits
  // would repeat UUIDs over enough sessions, and a repeated UUID is a unit a
  // results server drops as already stored.
  std::random_device source;
  unsigned char bytes[16];
  for (std::size_t i = 0; i < sizeof bytes; i += 4) {
    const uint32_t r = source();
    for (std::size_t k = 0; k < 4; ++k) bytes[i + k] = static_cast<unsigned char>(r >> (8 * k));
  }
  bytes[6] = static_cast<unsigned char>((bytes[6] & 0x0F) | 0x40);  // version 4
  bytes[8] = static_cast<unsigned char>((bytes[8] & 0x3F) | 0x80);  // the RFC 4122 variant
  std::string out;
  for (std::size_t i = 0; i < sizeof bytes; ++i) {
    char hex[3];
    std::snprintf(hex, sizeof hex, "%02x", bytes[i]);
    if (i == 4 || i == 6 || i == 8 || i == 10) out += '-';
    out += hex;
  }
  return out;
}

}  // namespace vorn_host
