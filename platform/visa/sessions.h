// The sessions of the VISA stand-in: resource-manager sessions, and instrument
// sessions on the station's simulated GPIB bus or on a TCP socket. A session
// number is never given out twice; none is ever closed by the library.
#pragma once

#include <map>
#include <memory>

#include "supply/visa.h"
#include "visa/resource.h"
#include "visa/socket_transport.h"

namespace visa {

class Sessions {
 public:
  ViSession openResourceManager();
  ViStatus open(ViSession resourceManager, const char *name, ViAccessMode mode,
                ViSession &instrument);
  ViStatus clear(ViSession instrument);
  ViStatus write(ViSession instrument, const unsigned char *data, ViUInt32 count);

 private:
  struct Session {
    bool resourceManager = false;
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
