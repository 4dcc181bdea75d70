// The frame every exported step runs in: the common prologue (parameter file
// path from the host's container, the parameter file, the step section), the
// result writers and the failure texts.
//
// A step reads as the station's procedure:
//
//   vorn::Step step(number, values, names, errorText);
//   if (fails(step, RSCMU_GSM_Sig_ConfNetwNSup(t.sigSession, 1, msg), "RSCMU_GSM_Sig_ConfNetwNSup"))
//     return step.failed();
//   step.setValue(1, 1.0);
//   return step.succeeded();
//
// where each subsystem's fails() says what success means for its equipment
// and which failure form names it.
#pragma once

#include <cstddef>
#include <cstdint>

#include "Vorn_CMU200.h"
#include "frame/param_file.h"

namespace vorn {

inline constexpr std::size_t kSectionSize = 64;
inline constexpr std::size_t kResultNameSize = VORN_CMU200_RESULT_NAME_SIZE;
inline constexpr std::size_t kErrorTextSize = VORN_CMU200_ERROR_TEXT_SIZE;
inline constexpr std::size_t kDriverMessageSize = 256;

using ResultName = char[kResultNameSize];

// The close step asks nothing of the parameter file.
struct NoParameters {};

class Step {
 public:
  // Runs the common prologue: fetches the path (its result is not looked at),
  // opens the parameter file and formats the step section with "%d".
  Step(int32_t number, double *values, ResultName *names, char *errorText);
  Step(NoParameters, double *values, ResultName *names, char *errorText);

  Step(const Step &) = delete;
  Step &operator=(const Step &) = delete;

  const char *section() const { return section_; }
  const ParamFile &file() const { return file_; }

  // Reads from the step section.
  int32_t ReadInt(const char *key, int32_t def) const;
  double ReadFloat(const char *key, float def) const;
  ParamText ReadString(const char *key, const char *def) const;

  // Results, from index 1 upward; index 0 is never written.
  void setValue(int index, double value);
  // Formats into one name entry, always terminated inside its 200 characters.
  void setName(int index, const char *format, ...) __attribute__((format(printf, 3, 4)));

  // Failure texts. Each is written from the start of ErrorText, bounded by
  // kErrorTextSize and terminated.
  // tester form: label + " Failed! CMU200 Error:"
  void writeTesterFailure(const char *label);
  // tester coded form: "CMU200 Error: <status>. " + label + " Failed! "
  void writeTesterCodedFailure(int32_t status, const char *label);
  // mobile form: label + " Failed! DWD Error:" + the phone library's last error
  void writeMobileFailure(const char *label, const char *lastError);
  // supply form: label + "DcInit Failed!"
  void writeSupplyFailure(const char *label);
  // a fixed text that stands alone, optionally followed directly by a detail
  void writeText(const char *text, const char *detail = nullptr);

  // The error buffer itself, for the container calls that describe their own failure.
  char *errorText() const { return errorText_; }

  int failed() const { return -1; }
  int fail(const char *text) {
    writeText(text);
    return failed();
  }
  int succeeded() const { return 0; }

 private:
  void writeParts(const char *const *parts, std::size_t count);

  ParamFile file_;
  char section_[kSectionSize] = {};
  double *values_;
  ResultName *names_;
  char *errorText_;
};

}  // namespace vorn
