#pragma once
// A small HTTP/1.0-1.1 server on a loopback address, run inside the test process, that serves a
// fixed map of targets and can misbehave on purpose (wrong status, short or dropped bodies,
// Basic authentication, an answer or a body that stalls until the test lets it go on). One request
// per connection; every response closes the connection.

// winsock2.h first: windows.h alone would bring in the old winsock.h.
#include <winsock2.h>

#include <windows.h>

#include <cstddef>
#include <map>
#include <mutex>
#include <string>
#include <utility>
#include <vector>
#include "support/TestThreads.h"

namespace netrefit::test {

using HttpHeaders = std::vector<std::pair<std::string, std::string>>;

struct HttpRequestRecord {
    std::string requestLine;  // e.g. "GET /a/b.zip HTTP/1.0"
    std::string method;
    std::string target;
    std::string version;  // e.g. "HTTP/1.0"
    HttpHeaders headers;

    // Value of the first header with that name (case-insensitive), or "" when absent.
    std::string Header(const std::string& name) const;
    bool HasHeader(const std::string& name) const;
};

struct HttpResponse {
    static constexpr size_t kNever = static_cast<size_t>(-1);

    int status = 200;
    std::string reason;  // empty: a usual phrase for the status
    std::string body;
    HttpHeaders headers;  // sent in addition to Content-Length and Connection
    bool sendContentLength = true;
    // Content-Length to declare instead of the body's size (a larger one makes a short body).
    long long declaredLength = -1;
    // Close the connection after this many body bytes (kNever: send the whole body).
    size_t dropAfter = kNever;
    // After this many body bytes, wait until Release() (or the server stops) before going on.
    size_t stallAfter = kNever;
    // Wait until Release() (or the server stops) before sending anything, the status line too.
    bool holdHead = false;
    // Non-empty user: answer 401 with a Basic challenge unless these credentials come along.
    std::string user;
    std::string password;
    // Bytes handed to one send() call; small values spread the body over many reads.
    size_t sendChunk = 65536;
    // Answer "Range: bytes=N-" with 206 and the body from N on (416 past its end), unless an
    // If-Range names another validator than the ETag or Last-Modified in headers.
    bool ranges = false;
    // dropAfter, stallAfter and holdHead apply only to this many first answers of the target.
    size_t misbehaveTimes = kNever;

    static HttpResponse Ok(std::string body);
    static HttpResponse Status(int status, std::string body = std::string());
};

class LoopbackHttpServer {
  public:
    // address: e.g. "127.0.0.2"; binding happens in Start().
    explicit LoopbackHttpServer(std::string address, unsigned short port = 80);
    ~LoopbackHttpServer();
    LoopbackHttpServer(const LoopbackHttpServer&) = delete;
    LoopbackHttpServer& operator=(const LoopbackHttpServer&) = delete;

    // Binds and starts accepting; false when the address cannot be bound.
    bool Start();
    // Stops accepting, releases stalled responses, drops open connections and joins every
    // thread. Called by the destructor; safe to call more than once.
    void Stop();

    // Target (as sent in the request line, query included) -> response. Unknown targets get 404.
    void Serve(const std::string& target, HttpResponse response);
    void Remove(const std::string& target);

    std::vector<HttpRequestRecord> Requests() const;
    size_t RequestCount() const;
    size_t RequestCount(const std::string& target) const;
    void ClearRequests();
    // Body bytes sent so far, over every answer.
    size_t BodyBytesSent() const;

    // Waits until `count` responses in total have reached their stall point; false on timeout.
    bool WaitStalled(size_t count, DWORD timeoutMs);
    // Lets every stalled response (now and later) go on; ends the stall of this server for good
    // until Rearm() is called.
    void Release();
    void Rearm();

    const std::string& Address() const { return address_; }
    // "http://address" + target, with ":port" when the port is not 80.
    std::string Url(const std::string& target) const;

  private:
    void AcceptLoop();
    void Handle(SOCKET client);
    bool ReadRequest(SOCKET client, HttpRequestRecord* request);
    bool SendAll(SOCKET client, const char* data, size_t size);
    bool SendBody(SOCKET client, const HttpResponse& response);
    bool WaitForRelease();
    bool WaitReady(SOCKET client, bool forWrite);
    bool Stopping() const;
    HttpResponse Answer(const HttpRequestRecord& request) const;
    static HttpResponse RangeOf(const HttpResponse& route, const HttpRequestRecord& request);

    std::string address_;
    unsigned short port_;
    bool winsockStarted_ = false;
    SOCKET listener_ = INVALID_SOCKET;
    test::Thread acceptThread_;

    mutable test::Mutex mutex_;  // guards everything below
    bool stopping_ = false;
    std::map<std::string, HttpResponse> routes_;
    std::vector<HttpRequestRecord> requests_;
    std::vector<SOCKET> openClients_;
    std::vector<test::Thread> clientThreads_;
    size_t stalledCount_ = 0;
    mutable std::map<std::string, size_t> answerCounts_;
    size_t bodyBytesSent_ = 0;

    bool released_ = false;
    test::ConditionVariable changed_;  // stop, release or a new stall
};

}  // namespace netrefit::test
