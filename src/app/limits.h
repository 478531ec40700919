// The response limit and the connect limit of a session.
#pragma once

#include "app/session.h"

// Replaces the response timer with a fresh one, so the limit counts from now.
void RestartResponseTimer(Session& session);

// Starts the connect limit, with options.connectSeconds only.
void StartConnectTimer(Session& session);

// Starts the deadline, with options.deadlineSeconds only.
void StartDeadlineTimer(Session& session);

// -T: the limit of a line as written in the command file: the longest TEXT
// it begins with, or 0 for the session's own.
std::int32_t LineLimitOf(const Options& options, std::string_view line);

// The response limit or the deadline has ended the time: nothing more goes out.
bool TimeIsUp(const Session& session);

// True once the connect limit has expired with no connection made. A made
// connection drops the limit.
bool ConnectLimitExpired(Session& session);
