#include "frame/step.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "outside/alldata.h"

namespace vorn {

Step::Step(int32_t number, double *values, ResultName *names, char *errorText)
    : values_(values), names_(names), errorText_(errorText) {
  char path[kPathSize] = {};
  dcGet_ParaFileName(path, errorText_);  // a failed fetch leaves every key at its default
  path[kPathSize - 1] = '\0';
  file_.Open(path);
  std::snprintf(section_, sizeof section_, "%d", static_cast<int>(number));
}

Step::Step(NoParameters, double *values, ResultName *names, char *errorText)
    : values_(values), names_(names), errorText_(errorText) {}

int32_t Step::ReadInt(const char *key, int32_t def) const { return file_.ReadInt(section_, key, def); }

double Step::ReadFloat(const char *key, float def) const { return file_.ReadFloat(section_, key, def); }

ParamText Step::ReadString(const char *key, const char *def) const { return file_.ReadString(section_, key, def); }

void Step::setValue(int index, double value) {
  if (values_ != nullptr && index > 0) values_[index] = value;
}

void Step::setName(int index, const char *format, ...) {
  if (names_ == nullptr || index <= 0) return;
  va_list args;
  va_start(args, format);
  std::vsnprintf(names_[index], kResultNameSize, format, args);
  va_end(args);
}

void Step::writeParts(const char *const *parts, std::size_t count) {
  if (errorText_ == nullptr) return;
  std::size_t used = 0;
  for (std::size_t i = 0; i < count; ++i) {
    if (parts[i] == nullptr) continue;
    const std::size_t room = kErrorTextSize - 1 - used;
    const std::size_t length = strnlen(parts[i], room);
    std::memcpy(errorText_ + used, parts[i], length);
    used += length;
  }
  errorText_[used] = '\0';
}

void Step::writeTesterFailure(const char *label) {
  const char *parts[] = {label, " Failed! CMU200 Error:"};
  writeParts(parts, 2);
}

void Step::writeTesterCodedFailure(int32_t status, const char *label) {
  char code[32];
  std::snprintf(code, sizeof code, "CMU200 Error: %d. ", static_cast<int>(status));
  const char *parts[] = {code, label, " Failed! "};
  writeParts(parts, 3);
}

void Step::writeMobileFailure(const char *label, const char *lastError) {
  const char *parts[] = {label, " Failed! DWD Error:", lastError};
  writeParts(parts, 3);
}

void Step::writeSupplyFailure(const char *label) {
  const char *parts[] = {label, "DcInit Failed!"};
  writeParts(parts, 2);
}

void Step::writeText(const char *text, const char *detail) {
  const char *parts[] = {text, detail};
  writeParts(parts, 2);
}

}  // namespace vorn
