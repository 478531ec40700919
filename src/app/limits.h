// The response limit and the connect limit of a session.
#pragma once

#include "app/session.h"

// Replaces the response timer with a fresh one, so the limit counts from now.
void RestartResponseTimer(Session& session);

// Starts the connect limit, with options.connectSeconds only.
void StartConnectTimer(Session& session);

// True once the connect limit has expired with no connection made. A made
// connection drops the limit.
bool ConnectLimitExpired(Session& session);
