// Starting and stopping a session with the service.
#pragma once

namespace lmvx {

// True when the session runs: the companion application is there, the
// service answers connected, the notification window is registered and the
// polling intervals are set. Concurrent calls join one session. Waits for the
// service as long as it takes, but returns false as soon as the session is
// stopped or replaced meanwhile; false too once a Stop was called after this
// call began.
bool StartSession();

// Stops the session (telling the service first when asked, after any
// registration under way) and ends the notification thread without waiting
// for it. Nothing when already stopped.
void StopSession(bool notifyService);

}  // namespace lmvx
