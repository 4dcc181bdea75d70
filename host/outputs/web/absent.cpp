// The operator's web page in a build without it: --serve is refused, with why.
#include "outputs/output.h"

namespace vorn_host {

namespace {

void AddOptions(CommandLine &line) {
  line.value("--serve", "[HOST:]PORT", "the operator's web page (not in this build of vorn-host)");
}

std::unique_ptr<Output> Open(OutputSetup &setup, std::string &error) {
  if (setup.options.has("--serve")) error = "--serve: this vorn-host is built without the operator's web page";
  return nullptr;
}

}  // namespace

OutputModule WebOutput() { return {"web", AddOptions, "--serve", Open}; }

}  // namespace vorn_host
