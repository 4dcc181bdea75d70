#include "station/faults.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdint>
#include <vector>

#include "os/text.h"
#include "station/operations.h"
#include "station/station.h"

namespace vorn_host {

namespace {

// A status as the stand-ins return it: a signed or an unsigned 32-bit value.
constexpr int64_t kLowestStatus = INT32_MIN;
constexpr int64_t kHighestStatus = UINT32_MAX;

std::size_t Edits(std::string_view a, std::string_view b) {
  std::vector<std::size_t> row(b.size() + 1);
  for (std::size_t j = 0; j <= b.size(); ++j) row[j] = j;
  for (std::size_t i = 1; i <= a.size(); ++i) {
    std::size_t diagonal = row[0];
    row[0] = i;
    for (std::size_t j = 1; j <= b.size(); ++j) {
      const bool same =
          std::tolower(static_cast<unsigned char>(a[i - 1])) == std::tolower(static_cast<unsigned char>(b[j - 1]));
      const std::size_t next = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (same ? 0 : 1)});
      diagonal = row[j];
      row[j] = next;
    }
  }
  return row[b.size()];
}

}  // namespace

std::string NearestOperation(std::string_view name) {
  // Names longer than any operation are cut: the distance stays cheap.
  name = name.substr(0, 64);
  std::string_view best;
  std::size_t fewest = SIZE_MAX;
  for (const std::string_view op : station::Operations()) {
    const std::size_t edits = Edits(name, op);
    if (edits < fewest) {
      fewest = edits;
      best = op;
    }
  }
  return std::string(best);
}

std::string OperationList() {
  std::string out;
  for (const std::string_view op : station::Operations()) out.append(op).append("\n");
  return out;
}

std::string FaultProblem(std::string_view text) {
  const std::string quoted = "fault \"" + Excerpt(text) + "\"";
  station::FaultScript script;
  if (!script.addText(text)) return "malformed " + quoted + " (OP=STATUS, OP=STATUS@N or OP=STATUS@N+)";
  const station::Fault &fault = script.faults().front();
  if (!station::IsOperation(fault.op)) {
    return quoted + ": the station has no operation \"" + Excerpt(fault.op) + "\"; did you mean " +
           NearestOperation(fault.op) + "? (--fault list shows them)";
  }
  if (fault.status < kLowestStatus || fault.status > kHighestStatus) {
    return quoted + ": the status " + std::to_string(fault.status) + " is outside 32 bits (" +
           std::to_string(kLowestStatus) + " to " + std::to_string(kHighestStatus) + ")";
  }
  return {};
}

}  // namespace vorn_host
