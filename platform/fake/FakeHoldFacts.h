// A computer's power requests and sessions as Windows reports them, for the hold's
// tests: programs take and release requests, other people sign in and out.
#pragma once

#include <map>

#include "screensaver/HoldFacts.h"

class FakeHoldFacts : public IHoldFacts {
  public:
    // The requests a program can take (POWER_REQUEST_TYPE).
    enum class Request { Display, System, AwayMode, Execution };

    // A desktop computer with one user, anna, at the console: session 0 of the services
    // (nobody signed in, and listed as disconnected), anna's session 1, and the listener of
    // remote connections, which does not give its user to a query.
    FakeHoldFacts();

    SystemReading<std::uint32_t> ExecutionState() override;
    SystemReading<std::vector<SessionRecord>> Sessions() override;
    std::optional<std::uint32_t> OwnSession() override { return ownSession; }

    // A program takes a request; the handle releases it again.
    int Take(Request request);
    void Release(int handle);
    // Someone else signs in and gets the next session. Through fast user switching that
    // session is disconnected while anna has the console; remotely it is active.
    std::uint32_t SignIn(const std::string& user, int state = hold::kDisconnected);
    void SignOut(std::uint32_t session);

    // Bits reported besides the requests' (Wine reports ES_USER_PRESENT).
    std::uint32_t extraStateBits = 0;
    std::vector<SessionRecord> sessions;
    std::optional<std::uint32_t> ownSession = 1;
    std::optional<ErrorInfo> refuseExecutionState;
    std::optional<ErrorInfo> refuseSessions;
    // A user without the right to query other sessions (a standard user where the
    // sessions' permissions are tightened): the list names only our own session's user.
    bool refuseOtherUsers = false;
    int executionStateReads = 0;
    int sessionReads = 0;

  private:
    std::map<int, Request> requests_;
    int nextHandle_ = 1;
    std::uint32_t nextSession_ = 2;
};
