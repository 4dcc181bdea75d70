// The simulated station: one per process, shared by every stand-in library.
//
// It keeps a journal of every call into an outside library (with its inputs
// and the status it returned), a fault script that makes any operation return
// any status at any call, a clock for the waits, and the simulated equipment:
// the tester, the phone and the supply, which keep coherent state together,
// and the fixture whose loss lies between the tester and the phone.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "station/fixture.h"
#include "station/measurement.h"
#include "station/phone.h"
#include "station/supply.h"
#include "station/tester.h"

namespace station {

// One call into an outside library.
struct Call {
  std::string op;                 // the function's name, e.g. "RSCMU_Init_Base"
  std::vector<std::string> args;  // its inputs as text (out pointers are left out)
  int64_t status = 0;             // what it returned (0 for void functions)
  bool faulted = false;           // the fault script decided the status
  int64_t number = 0;             // how many calls of op this one makes, from 1

  // "op(a, b)" or "op(a, b) = status"
  std::string text(bool withStatus = false) const;
};

class Journal {
 public:
  void clear() {
    calls_.clear();
    counts_.clear();
  }
  // Drops the calls kept so far but goes on counting each operation's calls,
  // so that a fault script's "Nth call" still counts from the first: a long
  // run keeps its memory flat this way.
  void forgetCalls() { calls_.clear(); }
  const std::vector<Call> &calls() const { return calls_; }
  // The names of the calls in order, optionally only those not named in skip.
  std::vector<std::string> ops(std::initializer_list<std::string_view> skip = {}) const;
  // Every call as text, in order.
  std::vector<std::string> texts(bool withStatus = false) const;
  std::size_t count(std::string_view op) const;
  // Calls of op, in order.
  std::vector<Call> of(std::string_view op) const;

  // Appends a call, numbering it among the calls of its operation; returns its index.
  std::size_t add(Call call);
  Call &at(std::size_t index) { return calls_[index]; }
  // How many calls of op the next one would make.
  int64_t nextNumber(std::string_view op) const;

 private:
  std::vector<Call> calls_;
  std::map<std::string, int64_t, std::less<>> counts_;
};

// "Make operation X return status S at its Nth call, or from its Nth call on."
struct Fault {
  std::string op;
  int64_t status = -1;
  int64_t nth = 1;
  bool onward = false;
};

class FaultScript {
 public:
  void add(Fault fault) { faults_.push_back(std::move(fault)); }
  void add(std::string op, int64_t status, int64_t nth = 1, bool onward = false) {
    add(Fault{std::move(op), status, nth, onward});
  }
  // Reads "OP=STATUS", "OP=STATUS@N" or "OP=STATUS@N+"; false on a malformed text.
  bool addText(std::string_view text);
  void clear() { faults_.clear(); }
  bool empty() const { return faults_.empty(); }
  const std::vector<Fault> &faults() const { return faults_; }
  // The status the script gives the callNumber-th call of op, if any.
  std::optional<int64_t> statusFor(std::string_view op, int64_t callNumber) const;

 private:
  std::vector<Fault> faults_;
};

// The waits of the station. Real by default; on the virtual clock a wait only
// moves the clock on. Either way every wait is journalled.
class Clock {
 public:
  void setVirtual(bool on) { virtual_ = on; }
  bool isVirtual() const { return virtual_; }
#if defined(_WIN32)
  // On Windows the library waits with kernel32's Sleep, which the station
  // never sees: in real time the clock is the time that really passed.
  uint64_t nowMs() const { return virtual_ ? nowMs_ : realElapsedMs(); }
  void reset() {
    nowMs_ = 0;
    realStart_ = std::chrono::steady_clock::now();
  }
#else
  uint64_t nowMs() const { return nowMs_; }
  void reset() { nowMs_ = 0; }
#endif
  void wait(uint32_t milliseconds);
  // Told of every wait as it begins, so that a host can show the long pauses;
  // kept across a station reset. An empty listener tells no one.
  void setListener(std::function<void(uint32_t milliseconds)> listener) { listener_ = std::move(listener); }

 private:
  bool virtual_ = false;
  uint64_t nowMs_ = 0;
  std::function<void(uint32_t)> listener_;
#if defined(_WIN32)
  uint64_t realElapsedMs() const {
    return static_cast<uint64_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - realStart_).count());
  }
  std::chrono::steady_clock::time_point realStart_ = std::chrono::steady_clock::now();
#endif
};

class Station {
 public:
  Journal journal;
  FaultScript faults;
  Clock clock;
  Tester tester;
  Fixture fixture;
  Phone phone;
  Supply supply;
  Measurement measurement;

  // Back to a fresh station: empty journal and script, equipment at its
  // defaults, clock at 0. The clock's mode is kept.
  void reset();

  // The operator closed a prompt with this text (the MessageBoxA stand-in).
  void operatorAcknowledged(std::string_view text);

  // Who answers the station's prompts in place of the terminal (a host's
  // screen): returns once the operator answered, true for OK and false when
  // they stopped instead; nothing when no one is there to answer, and then
  // the terminal asks. Kept across a reset.
  std::function<std::optional<bool>(std::string_view text)> operatorPrompt;
};

Station &station();

// Text of an argument as the journal keeps it.
std::string arg(int64_t value);
std::string arg(uint64_t value);
std::string arg(int32_t value);
std::string arg(uint32_t value);
std::string arg(double value);  // shortest text that reads back as the same double
std::string arg(const char *text);
std::string arg(const void *pointer);  // "0" for null, else "ptr"

// One call of a stand-in entry point: journals the call and asks the fault
// script about it.
//
//   station::Entry call("RSCMU_Close_Base", {station::arg(base)});
//   if (call.faulted()) return call.result(call.faultStatus());
//   return call.result(station().tester.closeBase(base));
class Entry {
 public:
  Entry(const char *op, std::vector<std::string> args);
  bool faulted() const { return fault_.has_value(); }
  int64_t faultStatus() const { return fault_.value_or(0); }
  // Records the status the call returns and hands it back.
  template <typename T>
  T result(T status) {
    record(static_cast<int64_t>(status));
    return status;
  }
  // The call's number among calls of its operation, from 1.
  int64_t number() const { return number_; }

 private:
  void record(int64_t status);
  std::size_t index_;
  int64_t number_;
  std::optional<int64_t> fault_;
};

// A call of a library outside the stand-ins that the station is to see, as
// one Entry from begin to end: the host's data container journals its calls
// and lets the fault script answer them through these (calls do not nest).
bool BeginWatchedCall(const char *op, const std::vector<std::string> &args, int64_t *faultStatus);
void EndWatchedCall(int64_t status);

}  // namespace station
