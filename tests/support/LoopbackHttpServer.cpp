#include "support/LoopbackHttpServer.h"

#include <ws2tcpip.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>

namespace netrefit::test {
namespace {

constexpr size_t kMaxRequestHead = 64 * 1024;
constexpr int kPollMs = 50;  // how often blocked socket waits look at the stop flag

bool EqualNoCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return ::tolower(static_cast<unsigned char>(x)) ==
                      ::tolower(static_cast<unsigned char>(y));
           });
}

std::string Trim(const std::string& text) {
    size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos) {
        return std::string();
    }
    size_t last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

std::string Base64(const std::string& input) {
    static const char kDigits[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    size_t i = 0;
    for (; i + 2 < input.size(); i += 3) {
        unsigned v = (static_cast<unsigned char>(input[i]) << 16) |
                     (static_cast<unsigned char>(input[i + 1]) << 8) |
                     static_cast<unsigned char>(input[i + 2]);
        out += kDigits[(v >> 18) & 63];
        out += kDigits[(v >> 12) & 63];
        out += kDigits[(v >> 6) & 63];
        out += kDigits[v & 63];
    }
    size_t rest = input.size() - i;
    if (rest > 0) {
        unsigned v = static_cast<unsigned char>(input[i]) << 16;
        if (rest == 2) {
            v |= static_cast<unsigned char>(input[i + 1]) << 8;
        }
        out += kDigits[(v >> 18) & 63];
        out += kDigits[(v >> 12) & 63];
        out += rest == 2 ? kDigits[(v >> 6) & 63] : '=';
        out += '=';
    }
    return out;
}

const char* ReasonFor(int status) {
    switch (status) {
        case 200:
            return "OK";
        case 206:
            return "Partial Content";
        case 301:
            return "Moved Permanently";
        case 302:
            return "Found";
        case 304:
            return "Not Modified";
        case 401:
            return "Unauthorized";
        case 403:
            return "Forbidden";
        case 404:
            return "Not Found";
        case 500:
            return "Internal Server Error";
        case 503:
            return "Service Unavailable";
        default:
            return "Status";
    }
}

// Splits the head of a request into its request line and headers.
bool ParseHead(const std::string& head, HttpRequestRecord* request) {
    size_t lineEnd = head.find("\r\n");
    request->requestLine = head.substr(0, lineEnd);
    const std::string& line = request->requestLine;
    size_t sp1 = line.find(' ');
    size_t sp2 = sp1 == std::string::npos ? std::string::npos : line.find(' ', sp1 + 1);
    if (sp2 == std::string::npos) {
        return false;
    }
    request->method = line.substr(0, sp1);
    request->target = line.substr(sp1 + 1, sp2 - sp1 - 1);
    request->version = line.substr(sp2 + 1);
    size_t pos = lineEnd == std::string::npos ? head.size() : lineEnd + 2;
    while (pos < head.size()) {
        size_t end = head.find("\r\n", pos);
        if (end == std::string::npos) {
            end = head.size();
        }
        std::string field = head.substr(pos, end - pos);
        size_t colon = field.find(':');
        if (colon != std::string::npos) {
            request->headers.emplace_back(Trim(field.substr(0, colon)),
                                          Trim(field.substr(colon + 1)));
        }
        pos = end + 2;
    }
    return true;
}

}  // namespace

std::string HttpRequestRecord::Header(const std::string& name) const {
    for (const auto& header : headers) {
        if (EqualNoCase(header.first, name)) {
            return header.second;
        }
    }
    return std::string();
}

bool HttpRequestRecord::HasHeader(const std::string& name) const {
    for (const auto& header : headers) {
        if (EqualNoCase(header.first, name)) {
            return true;
        }
    }
    return false;
}

HttpResponse HttpResponse::Ok(std::string body) {
    HttpResponse response;
    response.body = std::move(body);
    return response;
}

HttpResponse HttpResponse::Status(int status, std::string body) {
    HttpResponse response;
    response.status = status;
    response.body = std::move(body);
    return response;
}

LoopbackHttpServer::LoopbackHttpServer(std::string address, unsigned short port)
    : address_(std::move(address)), port_(port) {
    WSADATA data;
    winsockStarted_ = ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
}

LoopbackHttpServer::~LoopbackHttpServer() {
    Stop();
    if (winsockStarted_) {
        ::WSACleanup();
    }
}

bool LoopbackHttpServer::Start() {
    if (!winsockStarted_ || listener_ != INVALID_SOCKET) {
        return false;
    }
    SOCKET s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET) {
        return false;
    }
    BOOL reuse = TRUE;  // a test right after another may find the port in TIME_WAIT
    ::setsockopt(s, SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char*>(&reuse), sizeof(reuse));
    sockaddr_in where = {};
    where.sin_family = AF_INET;
    where.sin_port = ::htons(port_);
    where.sin_addr.s_addr = ::inet_addr(address_.c_str());
    if (where.sin_addr.s_addr == INADDR_NONE ||
        ::bind(s, reinterpret_cast<sockaddr*>(&where), sizeof(where)) != 0 ||
        ::listen(s, SOMAXCONN) != 0) {
        ::closesocket(s);
        return false;
    }
    listener_ = s;
    {
        std::lock_guard<test::Mutex> lock(mutex_);
        stopping_ = false;
    }
    acceptThread_ = test::Thread(&LoopbackHttpServer::AcceptLoop, this);
    return true;
}

void LoopbackHttpServer::Stop() {
    {
        std::lock_guard<test::Mutex> lock(mutex_);
        stopping_ = true;
        // Wake blocked sends and receives at once; each thread closes its own socket.
        for (SOCKET client : openClients_) {
            ::shutdown(client, SD_BOTH);
        }
    }
    changed_.notify_all();
    if (acceptThread_.joinable()) {
        acceptThread_.join();
    }
    if (listener_ != INVALID_SOCKET) {
        ::closesocket(listener_);
        listener_ = INVALID_SOCKET;
    }
    std::vector<test::Thread> threads;
    {
        std::lock_guard<test::Mutex> lock(mutex_);
        threads.swap(clientThreads_);
    }
    for (test::Thread& thread : threads) {
        thread.join();
    }
}

void LoopbackHttpServer::Serve(const std::string& target, HttpResponse response) {
    std::lock_guard<test::Mutex> lock(mutex_);
    routes_[target] = std::move(response);
}

void LoopbackHttpServer::Remove(const std::string& target) {
    std::lock_guard<test::Mutex> lock(mutex_);
    routes_.erase(target);
}

std::vector<HttpRequestRecord> LoopbackHttpServer::Requests() const {
    std::lock_guard<test::Mutex> lock(mutex_);
    return requests_;
}

size_t LoopbackHttpServer::RequestCount() const {
    std::lock_guard<test::Mutex> lock(mutex_);
    return requests_.size();
}

size_t LoopbackHttpServer::RequestCount(const std::string& target) const {
    std::lock_guard<test::Mutex> lock(mutex_);
    return std::count_if(requests_.begin(), requests_.end(),
                         [&](const HttpRequestRecord& r) { return r.target == target; });
}

size_t LoopbackHttpServer::BodyBytesSent() const {
    std::lock_guard<test::Mutex> lock(mutex_);
    return bodyBytesSent_;
}

void LoopbackHttpServer::ClearRequests() {
    std::lock_guard<test::Mutex> lock(mutex_);
    requests_.clear();
}

bool LoopbackHttpServer::WaitStalled(size_t count, DWORD timeoutMs) {
    std::unique_lock<test::Mutex> lock(mutex_);
    return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                             [&] { return stalledCount_ >= count; });
}

void LoopbackHttpServer::Release() {
    {
        std::lock_guard<test::Mutex> lock(mutex_);
        released_ = true;
    }
    changed_.notify_all();
}

void LoopbackHttpServer::Rearm() {
    std::lock_guard<test::Mutex> lock(mutex_);
    released_ = false;
    stalledCount_ = 0;
}

std::string LoopbackHttpServer::Url(const std::string& target) const {
    return "http://" + address_ + (port_ == 80 ? "" : ":" + std::to_string(port_)) + target;
}

bool LoopbackHttpServer::Stopping() const {
    std::lock_guard<test::Mutex> lock(mutex_);
    return stopping_;
}

void LoopbackHttpServer::AcceptLoop() {
    while (!Stopping()) {
        fd_set readable;
        FD_ZERO(&readable);
        FD_SET(listener_, &readable);
        timeval wait = {0, kPollMs * 1000};
        if (::select(0, &readable, nullptr, nullptr, &wait) <= 0) {
            continue;
        }
        SOCKET client = ::accept(listener_, nullptr, nullptr);
        if (client == INVALID_SOCKET) {
            continue;
        }
        std::lock_guard<test::Mutex> lock(mutex_);
        if (stopping_) {
            ::closesocket(client);
            break;
        }
        openClients_.push_back(client);
        clientThreads_.emplace_back(&LoopbackHttpServer::Handle, this, client);
    }
}

// Waits until the socket can be read or written, looking at the stop flag in between, so that
// a client that never reads or never writes cannot keep Stop() waiting.
bool LoopbackHttpServer::WaitReady(SOCKET client, bool forWrite) {
    while (!Stopping()) {
        fd_set set;
        FD_ZERO(&set);
        FD_SET(client, &set);
        timeval wait = {0, kPollMs * 1000};
        int ready = forWrite ? ::select(0, nullptr, &set, nullptr, &wait)
                             : ::select(0, &set, nullptr, nullptr, &wait);
        if (ready < 0) {
            return false;
        }
        if (ready > 0) {
            return true;
        }
    }
    return false;
}

bool LoopbackHttpServer::ReadRequest(SOCKET client, HttpRequestRecord* request) {
    std::string head;
    char buffer[4096];
    while (head.find("\r\n\r\n") == std::string::npos) {
        if (head.size() > kMaxRequestHead || !WaitReady(client, false)) {
            return false;
        }
        int got = ::recv(client, buffer, sizeof(buffer), 0);
        if (got <= 0) {
            return false;
        }
        head.append(buffer, got);
    }
    // Requests here carry no body, so anything after the blank line is ignored.
    head.resize(head.find("\r\n\r\n"));
    return ParseHead(head, request);
}

bool LoopbackHttpServer::SendAll(SOCKET client, const char* data, size_t size) {
    while (size > 0) {
        if (!WaitReady(client, true)) {
            return false;
        }
        int sent = ::send(client, data, static_cast<int>(std::min<size_t>(size, 1 << 20)), 0);
        if (sent <= 0) {
            return false;
        }
        data += sent;
        size -= sent;
    }
    return true;
}

bool LoopbackHttpServer::WaitForRelease() {
    std::unique_lock<test::Mutex> lock(mutex_);
    ++stalledCount_;
    changed_.notify_all();
    changed_.wait(lock, [&] { return released_ || stopping_; });
    return !stopping_;
}

bool LoopbackHttpServer::SendBody(SOCKET client, const HttpResponse& response) {
    const std::string& body = response.body;
    size_t end = std::min(body.size(), response.dropAfter);
    size_t chunk = std::max<size_t>(response.sendChunk, 1);
    size_t pos = 0;
    while (pos < end) {
        size_t stop = std::min(end, pos + chunk);
        if (pos < response.stallAfter && response.stallAfter < stop) {
            stop = response.stallAfter;
        }
        if (pos == response.stallAfter && !WaitForRelease()) {
            return false;
        }
        if (!SendAll(client, body.data() + pos, stop - pos)) {
            return false;
        }
        {
            std::lock_guard<test::Mutex> lock(mutex_);
            bodyBytesSent_ += stop - pos;
        }
        pos = stop;
    }
    if (pos == response.stallAfter) {  // the whole (or dropped) body sent, close held back
        return WaitForRelease();
    }
    return true;
}

HttpResponse LoopbackHttpServer::Answer(const HttpRequestRecord& request) const {
    std::lock_guard<test::Mutex> lock(mutex_);
    auto found = routes_.find(request.target);
    if (found == routes_.end()) {
        return HttpResponse::Status(404, "not found");
    }
    HttpResponse route = found->second;
    if (answerCounts_[request.target]++ >= route.misbehaveTimes) {
        route.dropAfter = route.stallAfter = HttpResponse::kNever;
        route.holdHead = false;
    }
    if (!route.user.empty()) {
        std::string expected = "Basic " + Base64(route.user + ":" + route.password);
        if (request.Header("Authorization") != expected) {
            HttpResponse challenge = HttpResponse::Status(401, "authorization required");
            challenge.headers.emplace_back("WWW-Authenticate", "Basic realm=\"loopback\"");
            return challenge;
        }
    }
    return route.ranges ? RangeOf(route, request) : route;
}

HttpResponse LoopbackHttpServer::RangeOf(const HttpResponse& route,
                                         const HttpRequestRecord& request) {
    unsigned long long first = 0;
    char tail = '\0';
    std::string range = request.Header("Range");
    if (range.empty() || std::sscanf(range.c_str(), "bytes=%llu-%c", &first, &tail) != 1) {
        return route;
    }
    std::string ifRange = request.Header("If-Range");
    HttpRequestRecord own;  // the route's headers, looked up as a request's are
    own.headers = route.headers;
    if (!ifRange.empty() && ifRange != own.Header("ETag") &&
        ifRange != own.Header("Last-Modified")) {
        return route;
    }
    const size_t size = route.body.size();
    if (first >= size) {
        HttpResponse refused = HttpResponse::Status(416, "");
        refused.headers.emplace_back("Content-Range", "bytes */" + std::to_string(size));
        return refused;
    }
    HttpResponse part = route;
    part.status = 206;
    part.body = route.body.substr(first);
    part.headers.emplace_back("Content-Range", "bytes " + std::to_string(first) + "-" +
                                                   std::to_string(size - 1) + "/" +
                                                   std::to_string(size));
    return part;
}

void LoopbackHttpServer::Handle(SOCKET client) {
    HttpRequestRecord request;
    if (ReadRequest(client, &request)) {
        {
            std::lock_guard<test::Mutex> lock(mutex_);
            requests_.push_back(request);
        }
        HttpResponse response = Answer(request);
        char statusLine[128];
        std::snprintf(
            statusLine, sizeof(statusLine), "HTTP/1.1 %d %s\r\n", response.status,
            response.reason.empty() ? ReasonFor(response.status) : response.reason.c_str());
        std::string head = statusLine;
        if (response.sendContentLength) {
            long long length = response.declaredLength >= 0
                                   ? response.declaredLength
                                   : static_cast<long long>(response.body.size());
            head += "Content-Length: " + std::to_string(length) + "\r\n";
        }
        for (const auto& header : response.headers) {
            head += header.first + ": " + header.second + "\r\n";
        }
        head += "Connection: close\r\n\r\n";
        bool held = response.holdHead && !WaitForRelease();
        if (!held && SendAll(client, head.data(), head.size()) && request.method != "HEAD") {
            SendBody(client, response);
        }
    }
    std::lock_guard<test::Mutex> lock(mutex_);
    openClients_.erase(std::remove(openClients_.begin(), openClients_.end(), client),
                       openClients_.end());
    ::shutdown(client, SD_SEND);
    ::closesocket(client);
}

}  // namespace netrefit::test
