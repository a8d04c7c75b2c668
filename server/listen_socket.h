// The service's listening socket, opened before the HTTP layer starts so that a busy port or a
// bad address is reported plainly, and so that port 0 can tell which port it got.
#pragma once

#include <string>

#include "unique_fd.h"

// Binds `address` ("0.0.0.0", "::", a host's address) on `port` and listens. On success sets
// `boundPort`; otherwise returns an invalid descriptor with a message in `error`.
UniqueFd openListeningSocket(const std::string& address, int port, int* boundPort,
                             std::string* error);
