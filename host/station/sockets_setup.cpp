#include "station/sockets_setup.h"

#include "os/os.h"
#include "os/process.h"
#include "os/sha256.h"

namespace vorn_host {

bool SocketsOf(const Options &o, std::vector<SocketSetting> &sockets, std::vector<InputFile> &inputs,
               std::string &error) {
  std::vector<std::string> problems;
  if (SocketCount(o) > 0) {
    sockets = NumberedSockets(SocketCount(o), o.parameters);
  } else {
    InputFile file;
    if (!CheckInput(o.sockets, "sockets file", kLargestTextInput, false, file, error)) return false;
    inputs.push_back(file);
    sockets = ReadSockets(o.sockets, problems);
  }
  for (const SocketSetting &s : sockets) {
    InputFile parameters;
    if (!CheckInput(s.parameters, "parameter file of socket " + s.name, kLargestTextInput, false, parameters, error)) {
      problems.push_back(error);
    } else {
      inputs.push_back(parameters);
    }
  }
  error.clear();
  for (const std::string &p : problems) error += (error.empty() ? "" : "\nvorn-host: ") + p;
  return problems.empty();
}

std::vector<std::string> WorkerArguments(const Options &o) {
  std::vector<std::string> argv = {SelfExecutable()};
  for (const auto &[given, flag] : {std::pair<bool, const char *>{o.fast, "--fast"},
                                    {o.keepGoing, "--keep-going"},
                                    {o.strict, "--strict"},
                                    {o.engineering, "--engineering"}}) {
    if (given) argv.push_back(flag);
  }
  for (const auto &[value, name] :
       {std::pair<std::string, const char *>{o.station, "--station"}, {o.library, "--library"}}) {
    if (!value.empty()) argv.insert(argv.end(), {name, value});
  }
  for (const std::string &f : o.faults) argv.insert(argv.end(), {"--fault", f});
  for (const std::string &s : o.scenarios) argv.insert(argv.end(), {"--scenario", s});
  argv.push_back(o.plan);
  return argv;
}

std::shared_ptr<SessionRecord> StationSession(const Options &o, const SessionRecord &found,
                                              const std::vector<SocketSetting> &sockets) {
  auto s = std::make_shared<SessionRecord>(found);
  s->id = NewUuid();
  s->station = o.station.empty() ? MachineName() : o.station;
  s->host = MachineName();
  s->plan = o.plan;
  s->planSha256 = Sha256File(o.plan);
  s->parameters = SocketCount(o) > 0 ? o.parameters : o.sockets;
  s->parametersSha256 = Sha256File(s->parameters);
  s->operatorName = o.operatorName;
  s->single = false;
  s->healthCheckSkipped = o.noHealthCheck && !o.engineering;
  s->sockets.clear();
  for (const SocketSetting &socket : sockets) {
    s->sockets.push_back({socket.name, socket.parameters, Sha256File(socket.parameters)});
  }
  s->started = UtcNow();
  s->ended.clear();
  return s;
}

}  // namespace vorn_host
