#include "tests/support/core/scripted_ftp_server.h"

#include <chrono>
#include <stdexcept>

#include "platform/net/tick.h"

namespace testing_support {

namespace {

struct ScriptFailure : std::runtime_error {
    using std::runtime_error::runtime_error;
};

std::vector<std::string> splitReply(const std::string& lines) {
    std::vector<std::string> out;
    std::size_t start = 0;
    while (start <= lines.size()) {
        std::size_t nl = lines.find('\n', start);
        out.push_back(lines.substr(start, nl == std::string::npos ? std::string::npos : nl - start));
        if (nl == std::string::npos) break;
        start = nl + 1;
    }
    return out;
}

} // namespace

struct ScriptedFtpServer::Runner {
    ScriptedFtpServer& srv;
    net::SocketHandle control = net::kInvalidSocket;
    std::string inBuf;
    net::SocketHandle dataListener = net::kInvalidSocket;
    net::SocketHandle data = net::kInvalidSocket;
    std::string portIp;
    int portPort = 0;

    explicit Runner(ScriptedFtpServer& s) : srv(s) {}
    ~Runner() {
        closeSock(control);
        closeSock(dataListener);
        closeSock(data);
    }

    static void closeSock(net::SocketHandle& h) {
        if (h != net::kInvalidSocket) {
            net::closeSocket(h);
            h = net::kInvalidSocket;
        }
    }

    // Waits for readability in short slices so that stop() is noticed.
    bool waitReadable(net::SocketHandle h, int timeoutMs) {
        const std::uint64_t deadline = net::tickCount64() + static_cast<std::uint64_t>(timeoutMs);
        while (!srv.stop_.load()) {
            int err = 0;
            int r = net::waitReadable(h, 10, err);
            if (r < 0) throw ScriptFailure("wait failed: " + std::to_string(err));
            if (r > 0) return true;
            if (net::tickCount64() >= deadline) return false;
        }
        throw ScriptFailure("stopped");
    }

    void sendAll(net::SocketHandle h, const std::string& bytes) {
        std::size_t done = 0;
        while (done < bytes.size()) {
            int err = 0;
            long n = net::sendSome(h, bytes.data() + done, bytes.size() - done, err);
            if (n <= 0) throw ScriptFailure("send failed: " + std::to_string(err));
            done += static_cast<std::size_t>(n);
        }
    }

    void needControl() {
        if (control == net::kInvalidSocket) acceptControl();
    }

    void acceptControl() {
        closeSock(control);
        inBuf.clear();
        if (!waitReadable(srv.listener_, srv.stepTimeoutMs)) throw ScriptFailure("no control connection came");
        std::string ip;
        std::uint16_t port;
        int err = 0;
        control = net::acceptSocket(srv.listener_, ip, port, err);
        if (control == net::kInvalidSocket) throw ScriptFailure("accept failed");
        srv.controlCount_++;
    }

    // One line without its CR LF; false when the client closed first.
    bool readLine(std::string& line, int timeoutMs) {
        needControl();
        while (true) {
            std::size_t nl = inBuf.find('\n');
            if (nl != std::string::npos) {
                line = inBuf.substr(0, nl);
                inBuf.erase(0, nl + 1);
                if (!line.empty() && line.back() == '\r') line.pop_back();
                std::lock_guard<std::mutex> g(srv.mutex_);
                srv.transcript_.push_back(line);
                return true;
            }
            if (!waitReadable(control, timeoutMs)) throw ScriptFailure("timed out waiting for a command");
            char buf[4096];
            int err = 0;
            long n = net::recvSome(control, buf, sizeof buf, err);
            if (n <= 0) {
                if (!inBuf.empty()) {
                    std::lock_guard<std::mutex> g(srv.mutex_);
                    srv.transcript_.push_back(inBuf);
                }
                return false;
            }
            inBuf.append(buf, static_cast<std::size_t>(n));
        }
    }

    void sendReply(const std::string& lines) {
        if (lines.empty()) return;
        needControl();
        std::string out;
        for (const auto& l : splitReply(lines)) out += l + "\r\n";
        sendAll(control, out);
    }

    // Reads the passive command and listens for its data connection.
    std::uint16_t listenForData(const std::string& command) {
        std::string got;
        if (!readLine(got, srv.stepTimeoutMs)) throw ScriptFailure("expected \"" + command + "\", the client closed");
        if (got != command) throw ScriptFailure("expected \"" + command + "\", got \"" + got + "\"");
        closeSock(dataListener);
        closeSock(data);
        int err = 0;
        dataListener = net::createTcpSocket(err);
        if (srv.dataReceiveBuffer > 0) net::setReceiveBufferSize(dataListener, srv.dataReceiveBuffer);
        if (net::bindSocket(dataListener, "127.0.0.1", 0) != 0 || net::listenSocket(dataListener, 4) != 0)
            throw ScriptFailure("data listen failed");
        std::string ip;
        std::uint16_t p = 0;
        net::localAddress(dataListener, ip, p);
        return p;
    }

    void ensureData() {
        if (data != net::kInvalidSocket) return;
        int err = 0;
        if (dataListener != net::kInvalidSocket) {
            if (!waitReadable(dataListener, srv.stepTimeoutMs)) throw ScriptFailure("no data connection came");
            std::string ip;
            std::uint16_t port;
            data = net::acceptSocket(dataListener, ip, port, err);
            closeSock(dataListener);
            if (data == net::kInvalidSocket) throw ScriptFailure("data accept failed");
        } else if (portPort != 0) {
            data = net::createTcpSocket(err);
            if (srv.dataReceiveBuffer > 0) net::setReceiveBufferSize(data, srv.dataReceiveBuffer);
            if (net::connectSocket(data, portIp, static_cast<std::uint16_t>(portPort)) != 0) {
                closeSock(data);
                throw ScriptFailure("could not connect to the PORT address");
            }
            portPort = 0;
        } else {
            throw ScriptFailure("data step without PASV or PORT");
        }
    }
};

ScriptedFtpServer::ScriptedFtpServer() {
    int err = 0;
    listener_ = net::createTcpSocket(err);
    if (listener_ == net::kInvalidSocket || net::bindSocket(listener_, "127.0.0.1", 0) != 0 ||
        net::listenSocket(listener_, 8) != 0)
        throw std::runtime_error("scripted server cannot listen");
    std::string ip;
    std::uint16_t p = 0;
    net::localAddress(listener_, ip, p);
    port_ = p;
}

ScriptedFtpServer::~ScriptedFtpServer() {
    stop_.store(true);
    released_.store(true);
    if (thread_.joinable()) thread_.join();
    if (listener_ != net::kInvalidSocket) net::closeSocket(listener_);
}

ScriptedFtpServer& ScriptedFtpServer::add(Step s) {
    steps_.push_back(std::move(s));
    return *this;
}

ScriptedFtpServer& ScriptedFtpServer::acceptControl() {
    return add([](Runner& r) { r.acceptControl(); });
}

ScriptedFtpServer& ScriptedFtpServer::greet(const std::string& reply) { return this->reply(reply); }

ScriptedFtpServer& ScriptedFtpServer::expect(const std::string& line, const std::string& reply) {
    return add([line, reply, this](Runner& r) {
        std::string got;
        if (!r.readLine(got, stepTimeoutMs)) throw ScriptFailure("expected \"" + line + "\", the client closed");
        if (got != line) throw ScriptFailure("expected \"" + line + "\", got \"" + got + "\"");
        r.sendReply(reply);
    });
}

ScriptedFtpServer& ScriptedFtpServer::expectPrefix(const std::string& prefix, const std::string& reply) {
    return add([prefix, reply, this](Runner& r) {
        std::string got;
        if (!r.readLine(got, stepTimeoutMs))
            throw ScriptFailure("expected \"" + prefix + "...\", the client closed");
        if (got.compare(0, prefix.size(), prefix) != 0)
            throw ScriptFailure("expected \"" + prefix + "...\", got \"" + got + "\"");
        r.sendReply(reply);
    });
}

ScriptedFtpServer& ScriptedFtpServer::reply(const std::string& lines) {
    return add([lines](Runner& r) { r.sendReply(lines); });
}

ScriptedFtpServer& ScriptedFtpServer::send(const std::string& raw) {
    return add([raw](Runner& r) {
        r.needControl();
        r.sendAll(r.control, raw);
    });
}

ScriptedFtpServer& ScriptedFtpServer::closeControl() {
    return add([](Runner& r) {
        r.needControl();
        Runner::closeSock(r.control);
    });
}

ScriptedFtpServer& ScriptedFtpServer::silentUntilClosed() {
    return add([this](Runner& r) {
        std::string got;
        const std::uint64_t deadline = net::tickCount64() + 60000;
        while (r.readLine(got, 60000)) {
            if (net::tickCount64() > deadline) throw ScriptFailure("the client never closed");
        }
        (void)this;
    });
}

ScriptedFtpServer& ScriptedFtpServer::expectClosed() {
    return add([this](Runner& r) {
        std::string got;
        if (r.readLine(got, stepTimeoutMs)) throw ScriptFailure("expected a close, got \"" + got + "\"");
    });
}

ScriptedFtpServer& ScriptedFtpServer::expectEpsv(const std::string& replyFormat) {
    return add([replyFormat, this](Runner& r) {
        const std::uint16_t p = r.listenForData("EPSV");
        std::string text = replyFormat.empty() ? "229 Entering Extended Passive Mode (|||%p|)" : replyFormat;
        const std::size_t at = text.find("%p");
        if (at != std::string::npos) text.replace(at, 2, std::to_string(p));
        r.sendReply(text);
    });
}

ScriptedFtpServer& ScriptedFtpServer::expectPasv(const std::string& replyFormat) {
    return add([replyFormat, this](Runner& r) {
        const std::uint16_t p = r.listenForData("PASV");
        const std::string addr = "127,0,0,1," + std::to_string(p / 256) + "," + std::to_string(p % 256);
        std::string text = replyFormat.empty() ? "227 Entering Passive Mode (%s)" : replyFormat;
        std::size_t at = text.find("%s");
        if (at != std::string::npos) text.replace(at, 2, addr);
        at = text.find("%p");
        if (at != std::string::npos) text.replace(at, 2, std::to_string(p / 256) + "," + std::to_string(p % 256));
        r.sendReply(text);
    });
}

ScriptedFtpServer& ScriptedFtpServer::expectPort(const std::string& reply) {
    return add([reply, this](Runner& r) {
        std::string got;
        if (!r.readLine(got, stepTimeoutMs)) throw ScriptFailure("expected \"PORT ...\", the client closed");
        if (got.compare(0, 5, "PORT ") != 0) throw ScriptFailure("expected \"PORT ...\", got \"" + got + "\"");
        std::vector<int> f;
        std::string cur;
        for (char c : got.substr(5) + ",") {
            if (c == ',') {
                f.push_back(std::stoi(cur));
                cur.clear();
            } else {
                cur += c;
            }
        }
        if (f.size() != 6) throw ScriptFailure("bad PORT line \"" + got + "\"");
        Runner::closeSock(r.dataListener);
        Runner::closeSock(r.data);
        r.portIp = std::to_string(f[0]) + "." + std::to_string(f[1]) + "." + std::to_string(f[2]) + "." +
                   std::to_string(f[3]);
        r.portPort = f[4] * 256 + f[5];
        r.sendReply(reply);
    });
}

ScriptedFtpServer& ScriptedFtpServer::openData() {
    return add([](Runner& r) { r.ensureData(); });
}

ScriptedFtpServer& ScriptedFtpServer::sendData(const std::string& bytes) {
    return add([bytes](Runner& r) {
        r.ensureData();
        r.sendAll(r.data, bytes);
    });
}

ScriptedFtpServer& ScriptedFtpServer::sendDataPattern(std::uint64_t count) {
    return add([count](Runner& r) {
        r.ensureData();
        std::string chunk(1 << 20, '\0');
        for (std::size_t i = 0; i < chunk.size(); ++i) chunk[i] = static_cast<char>('a' + i % 26);
        std::uint64_t left = count;
        while (left > 0) {
            std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(left, chunk.size()));
            r.sendAll(r.data, n == chunk.size() ? chunk : chunk.substr(0, n));
            left -= n;
        }
    });
}

ScriptedFtpServer& ScriptedFtpServer::receiveData(bool keep) {
    return add([keep, this](Runner& r) {
        r.ensureData();
        std::string got;
        std::uint64_t count = 0;
        std::vector<char> buf(1 << 18);
        while (true) {
            if (!r.waitReadable(r.data, 60000)) throw ScriptFailure("data never ended");
            int err = 0;
            long n = net::recvSome(r.data, buf.data(), buf.size(), err);
            if (n <= 0) break;
            count += static_cast<std::uint64_t>(n);
            if (keep) got.append(buf.data(), static_cast<std::size_t>(n));
        }
        Runner::closeSock(r.data);
        std::lock_guard<std::mutex> g(mutex_);
        received_.push_back(std::move(got));
        receivedCounts_.push_back(count);
    });
}

ScriptedFtpServer& ScriptedFtpServer::receiveDataSlowly(std::size_t chunk, int pauseMs) {
    return add([chunk, pauseMs, this](Runner& r) {
        r.ensureData();
        std::uint64_t count = 0;
        std::vector<char> buf(chunk);
        while (true) {
            if (!r.waitReadable(r.data, 60000)) throw ScriptFailure("data never ended");
            int err = 0;
            long n = net::recvSome(r.data, buf.data(), buf.size(), err);
            if (n <= 0) break;
            count += static_cast<std::uint64_t>(n);
            std::this_thread::sleep_for(std::chrono::milliseconds(pauseMs));
        }
        Runner::closeSock(r.data);
        std::lock_guard<std::mutex> g(mutex_);
        received_.emplace_back();
        receivedCounts_.push_back(count);
    });
}

ScriptedFtpServer& ScriptedFtpServer::closeData() {
    return add([](Runner& r) {
        Runner::closeSock(r.data);
        Runner::closeSock(r.dataListener);
    });
}

ScriptedFtpServer& ScriptedFtpServer::call(std::function<void()> fn) {
    return add([fn](Runner&) { fn(); });
}

ScriptedFtpServer& ScriptedFtpServer::hold() {
    return add([this](Runner&) {
        while (!released_.load()) {
            if (stop_.load()) throw ScriptFailure("stopped while held");
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        released_.store(false);
    });
}

void ScriptedFtpServer::release() { released_.store(true); }

void ScriptedFtpServer::start() { thread_ = std::thread([this] { run(); }); }

void ScriptedFtpServer::run() {
    Runner r(*this);
    try {
        for (auto& step : steps_) {
            if (stop_.load()) break;
            step(r);
        }
        // Let the client see the end of the script as an orderly close only
        // when it closes itself: keep the control connection until stopped.
        done_.store(true);
        while (!stop_.load() && r.control != net::kInvalidSocket) {
            int err = 0;
            if (net::waitReadable(r.control, 10, err) != 0) {
                char buf[4096];
                long n = net::recvSome(r.control, buf, sizeof buf, err);
                if (n <= 0) break;
                r.inBuf.append(buf, static_cast<std::size_t>(n));
                std::size_t nl;
                while ((nl = r.inBuf.find('\n')) != std::string::npos) {
                    std::string line = r.inBuf.substr(0, nl);
                    if (!line.empty() && line.back() == '\r') line.pop_back();
                    r.inBuf.erase(0, nl + 1);
                    std::lock_guard<std::mutex> g(mutex_);
                    transcript_.push_back(line);
                    if (failure_.empty()) failure_ = "unexpected line after the script: \"" + line + "\"";
                }
            }
        }
    } catch (const std::exception& e) {
        std::lock_guard<std::mutex> g(mutex_);
        if (failure_.empty()) failure_ = e.what();
        done_.store(true);
    }
}

bool ScriptedFtpServer::waitDone(int timeoutMs) {
    const std::uint64_t deadline = net::tickCount64() + static_cast<std::uint64_t>(timeoutMs);
    while (!done_.load() && net::tickCount64() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    return done_.load() && failure().empty();
}

std::string ScriptedFtpServer::failure() const {
    std::lock_guard<std::mutex> g(mutex_);
    if (!done_.load() && failure_.empty()) return {};
    return failure_;
}

std::vector<std::string> ScriptedFtpServer::transcript() const {
    std::lock_guard<std::mutex> g(mutex_);
    return transcript_;
}

std::vector<std::string> ScriptedFtpServer::receivedData() const {
    std::lock_guard<std::mutex> g(mutex_);
    return received_;
}

std::vector<std::uint64_t> ScriptedFtpServer::receivedCounts() const {
    std::lock_guard<std::mutex> g(mutex_);
    return receivedCounts_;
}

} // namespace testing_support
