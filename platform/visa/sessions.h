// The sessions of the VISA stand-in: resource-manager sessions, and instrument
// sessions on the station's simulated GPIB bus or on a TCP socket. A session
// number is never given out twice, not even after its session was closed.
#pragma once

#include <map>
#include <memory>

#include "visa.h"
#include "visa/resource.h"
#include "visa/socket_transport.h"
#include "visa/status.h"

namespace visa {

class Sessions {
 public:
  ViSession openResourceManager();
  ViStatus open(ViSession resourceManager, const char *name, ViAccessMode mode, ViSession &instrument);
  ViStatus clear(ViSession instrument);
  ViStatus write(ViSession instrument, const unsigned char *data, ViUInt32 count);
  // Closes a session (a socket session's connection with it); closing a
  // resource manager closes every session it opened first.
  ViStatus close(ViSession object);
  // How many sessions are open, resource managers included.
  std::size_t openCount() const { return sessions_.size(); }

 private:
  struct Session {
    bool resourceManager = false;
    ViSession manager = VI_NULL;  // the resource manager that opened an instrument session
    Resource resource;
    std::unique_ptr<SocketTransport> socket;  // a TCPIP SOCKET session's connection
  };

  ViSession add(Session session);
  // The instrument session, or the status that says why there is none.
  ViStatus find(ViSession id, Session *&session);

  std::map<ViSession, Session> sessions_;
  ViSession next_ = 1;
};

// The one table of the process, as VISA keeps it.
Sessions &sessions();

}  // namespace visa
