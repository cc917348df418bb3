#pragma once
// The HTTP server hands its handlers the request, not the connection. To
// make a host refuse a request the way a crashed server does (the
// connection ends before a byte of the reply), the handler finds its own
// socket by the connection's two addresses and resets it.

#include <string>

// Resets the TCP connection between local_port on this host and
// remote_addr:remote_port. False when no such socket is open here.
bool ResetConnection(int local_port, const std::string& remote_addr, int remote_port);
