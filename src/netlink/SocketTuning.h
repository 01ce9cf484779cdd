#pragma once

// A serial device server that loses its power never closes its connection:
// only TCP's own timers can tell. gensio 2.6 gives no hold on its socket, so
// this finds this process's own TCP socket from localPort to remotePort and
// sets them: keepalive probes while the line is quiet, a limit on how long
// sent bytes may stay unacknowledged, and a small send buffer, so that a write
// to a silent server stalls within moments instead of filling megabytes.
// False when no such socket is found or it refuses an option.
bool TuneServerSocket(int localPort, int remotePort, int unacknowledgedMs);
