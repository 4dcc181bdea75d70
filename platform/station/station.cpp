#include "station/station.h"

#include <charconv>
#include <chrono>
#include <thread>

namespace station {

std::string Call::text(bool withStatus) const {
  std::string out = op + "(";
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (i > 0) out += ", ";
    out += args[i];
  }
  out += ")";
  if (withStatus) out += " = " + std::to_string(status);
  return out;
}

std::vector<std::string> Journal::ops(std::initializer_list<std::string_view> skip) const {
  std::vector<std::string> out;
  for (const Call &call : calls_) {
    bool skipped = false;
    for (std::string_view name : skip) skipped = skipped || call.op == name;
    if (!skipped) out.push_back(call.op);
  }
  return out;
}

std::vector<std::string> Journal::texts(bool withStatus) const {
  std::vector<std::string> out;
  for (const Call &call : calls_) out.push_back(call.text(withStatus));
  return out;
}

std::size_t Journal::count(std::string_view op) const {
  const auto it = counts_.find(op);
  return it == counts_.end() ? 0 : static_cast<std::size_t>(it->second);
}

int64_t Journal::nextNumber(std::string_view op) const { return static_cast<int64_t>(count(op)) + 1; }

std::size_t Journal::add(Call call) {
  auto it = counts_.find(call.op);
  if (it == counts_.end()) it = counts_.emplace(call.op, 0).first;
  call.number = ++it->second;
  calls_.push_back(std::move(call));
  return calls_.size() - 1;
}

std::vector<Call> Journal::of(std::string_view op) const {
  std::vector<Call> out;
  for (const Call &call : calls_) {
    if (call.op == op) out.push_back(call);
  }
  return out;
}

namespace {

bool ParseInt(std::string_view text, int64_t &value) {
  if (text.empty()) return false;
  const auto [last, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  return error == std::errc() && last == text.data() + text.size();
}

}  // namespace

bool FaultScript::addText(std::string_view text) {
  const std::size_t eq = text.find('=');
  if (eq == std::string_view::npos || eq == 0) return false;
  Fault fault;
  fault.op = std::string(text.substr(0, eq));
  std::string_view rest = text.substr(eq + 1);
  std::string_view status = rest;
  const std::size_t at = rest.find('@');
  if (at != std::string_view::npos) {
    status = rest.substr(0, at);
    std::string_view nth = rest.substr(at + 1);
    if (!nth.empty() && nth.back() == '+') {
      fault.onward = true;
      nth.remove_suffix(1);
    }
    if (!ParseInt(nth, fault.nth) || fault.nth < 1) return false;
  }
  if (!ParseInt(status, fault.status)) return false;
  add(std::move(fault));
  return true;
}

std::optional<int64_t> FaultScript::statusFor(std::string_view op, int64_t callNumber) const {
  for (const Fault &fault : faults_) {
    if (fault.op != op) continue;
    if (callNumber == fault.nth || (fault.onward && callNumber > fault.nth)) return fault.status;
  }
  return std::nullopt;
}

void Clock::wait(uint32_t milliseconds) {
  if (listener_) listener_(milliseconds);
  if (!virtual_) std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
  nowMs_ += milliseconds;
}

void Station::reset() {
  journal.clear();
  faults.clear();
  clock.reset();
  tester.reset();
  fixture.reset();
  phone.reset();
  supply.reset();
  measurement.reset();
}

void Station::operatorAcknowledged(std::string_view text) { phone.operatorAcknowledged(text); }

Station &station() {
  static Station instance;
  return instance;
}

std::string arg(int64_t value) { return std::to_string(value); }
std::string arg(uint64_t value) { return std::to_string(value); }
std::string arg(int32_t value) { return std::to_string(value); }
std::string arg(uint32_t value) { return std::to_string(value); }

std::string arg(double value) {
  char text[64];
  const auto [last, error] = std::to_chars(text, text + sizeof text, value);
  return error == std::errc() ? std::string(text, last) : std::string("?");
}

std::string arg(const char *text) { return text == nullptr ? std::string("(null)") : std::string(text); }
std::string arg(const void *pointer) { return pointer == nullptr ? "0" : "ptr"; }

Entry::Entry(const char *op, std::vector<std::string> args) {
  Station &s = station();
  number_ = s.journal.nextNumber(op);
  fault_ = s.faults.statusFor(op, number_);
  Call call;
  call.op = op;
  call.args = std::move(args);
  call.faulted = fault_.has_value();
  index_ = s.journal.add(std::move(call));
}

void Entry::record(int64_t status) {
  // A stand-in may clear the journal (a station reset) inside a call.
  Journal &journal = station().journal;
  if (index_ < journal.calls().size()) journal.at(index_).status = status;
}

namespace {
std::optional<Entry> watched;
}  // namespace

bool BeginWatchedCall(const char *op, const std::vector<std::string> &args, int64_t *faultStatus) {
  watched.emplace(op, args);
  if (watched->faulted()) *faultStatus = watched->faultStatus();
  return watched->faulted();
}

void EndWatchedCall(int64_t status) {
  if (watched) watched->result(status);
  watched.reset();
}

}  // namespace station
