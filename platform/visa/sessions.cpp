#include "visa/sessions.h"

#include <iterator>
#include <string_view>
#include <utility>

#include "station/station.h"

namespace visa {

namespace {

constexpr uint32_t kGpibBoards = 1;  // the station has one GPIB board, GPIB0

bool ValidAccessMode(ViAccessMode mode) {
  constexpr ViAccessMode kKnown = VI_EXCLUSIVE_LOCK | VI_SHARED_LOCK | VI_LOAD_CONFIG;
  constexpr ViAccessMode kBothLocks = VI_EXCLUSIVE_LOCK | VI_SHARED_LOCK;
  return (mode & ~kKnown) == 0 && (mode & kBothLocks) != kBothLocks;
}

// The simulated instrument at a GPIB address: the station's supply is the
// only one on its bus.
station::Supply *InstrumentAt(const Resource &resource) {
  station::Supply &supply = station::station().supply;
  return supply.listensAt(resource.board, resource.primary, resource.secondary) ? &supply : nullptr;
}

}  // namespace

ViSession Sessions::openResourceManager() {
  Session session;
  session.resourceManager = true;
  return add(std::move(session));
}

ViStatus Sessions::open(ViSession resourceManager, const char *name, ViAccessMode mode, ViSession &instrument) {
  const auto manager = sessions_.find(resourceManager);
  if (manager == sessions_.end()) return VI_ERROR_INV_OBJECT;
  if (!manager->second.resourceManager) return VI_ERROR_NSUP_OPER;
  if (!ValidAccessMode(mode)) return VI_ERROR_INV_ACC_MODE;
  const std::optional<Resource> resource = ParseResource(name == nullptr ? "" : name);
  if (!resource) return VI_ERROR_INV_RSRC_NAME;
  Session session;
  session.manager = resourceManager;
  session.resource = *resource;
  switch (resource->kind) {
    case Resource::Kind::Unsupported: return VI_ERROR_RSRC_NFOUND;
    case Resource::Kind::Gpib:
      if (resource->board >= kGpibBoards) return VI_ERROR_INTF_NUM_NCONFIG;
      if (InstrumentAt(*resource) == nullptr) return VI_ERROR_RSRC_NFOUND;
      break;
    case Resource::Kind::Socket: {
      session.socket = std::make_unique<SocketTransport>();
      const ViStatus status = session.socket->connect(resource->host, resource->port);
      if (status != VI_SUCCESS) return status;
      break;
    }
  }
  instrument = add(std::move(session));
  return VI_SUCCESS;
}

ViStatus Sessions::clear(ViSession instrument) {
  Session *session = nullptr;
  if (const ViStatus status = find(instrument, session); status != VI_SUCCESS) return status;
  if (session->socket) return session->socket->clear();
  // Nothing is pending in the supply between messages: each write ends with END.
  return InstrumentAt(session->resource) != nullptr ? VI_SUCCESS : VI_ERROR_NLISTENERS;
}

ViStatus Sessions::write(ViSession instrument, const unsigned char *data, ViUInt32 count) {
  Session *session = nullptr;
  if (const ViStatus status = find(instrument, session); status != VI_SUCCESS) return status;
  if (data == nullptr && count > 0) return VI_ERROR_USER_BUF;
  if (session->socket) return session->socket->write(data, count);
  station::Supply *supply = InstrumentAt(session->resource);
  if (supply == nullptr) return VI_ERROR_NLISTENERS;
  supply->receive(std::string_view(reinterpret_cast<const char *>(data), count));
  return VI_SUCCESS;
}

ViStatus Sessions::close(ViSession object) {
  const auto it = sessions_.find(object);
  if (it == sessions_.end()) return VI_ERROR_INV_OBJECT;
  if (it->second.resourceManager) {
    for (auto s = sessions_.begin(); s != sessions_.end();) {
      s = s->second.manager == object ? sessions_.erase(s) : std::next(s);
    }
  }
  sessions_.erase(object);
  return VI_SUCCESS;
}

ViSession Sessions::add(Session session) {
  const ViSession id = next_++;
  sessions_.emplace(id, std::move(session));
  return id;
}

ViStatus Sessions::find(ViSession id, Session *&session) {
  const auto it = sessions_.find(id);
  if (it == sessions_.end()) return VI_ERROR_INV_OBJECT;
  if (it->second.resourceManager) return VI_ERROR_NSUP_OPER;
  session = &it->second;
  return VI_SUCCESS;
}

Sessions &sessions() {
  static Sessions instance;
  return instance;
}

}  // namespace visa
