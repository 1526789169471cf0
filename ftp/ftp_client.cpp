#include "ftp/ftp_client.h"

#include <sys/stat.h>

#include <cctype>

#include "ftp/local_file.h"
#include "ftp/socks.h"
#include "platform/net/socket.h"
#include "platform/net/tick.h"

namespace {

std::string trimBoth(const std::string& s) {
    std::size_t b = 0, e = s.size();
    while (b < e && static_cast<unsigned char>(s[b]) <= ' ') ++b;
    while (e > b && static_cast<unsigned char>(s[e - 1]) <= ' ') --e;
    return s.substr(b, e - b);
}

bool parseInt64(const std::string& s, std::int64_t& out) {
    if (s.empty()) return false;
    std::size_t i = (s[0] == '-' || s[0] == '+') ? 1 : 0;
    if (i == s.size()) return false;
    std::uint64_t v = 0;
    for (; i < s.size(); ++i) {
        if (s[i] < '0' || s[i] > '9') return false;
        if (v > (UINT64_MAX - 9) / 10) return false;
        v = v * 10 + static_cast<unsigned>(s[i] - '0');
    }
    if (s[0] == '-') {
        if (v > static_cast<std::uint64_t>(INT64_MAX) + 1) return false;
        out = v == static_cast<std::uint64_t>(INT64_MAX) + 1 ? INT64_MIN : -static_cast<std::int64_t>(v);
    } else {
        if (v > static_cast<std::uint64_t>(INT64_MAX)) return false;
        out = static_cast<std::int64_t>(v);
    }
    return true;
}

int toIntStrict(const std::string& field) {
    std::string t = trimBoth(field);
    std::int64_t v = 0;
    if (!parseInt64(t, v) || v < -2147483648LL || v > 2147483647LL)
        throw EIdException("'" + t + "' is not a valid integer value");
    return static_cast<int>(v);
}


// Bounded wait for a reply the server still owes (after a failed or aborted
// transfer, or for an ABOR).
constexpr int kDrainReplyMs = 5000;
// How long a 426 or 450 may take to be followed by a 226 of the same answer.
constexpr int kSecondReplyPeekMs = 250;
// How often the wait for an upload's closing reply looks at the send queue.
constexpr int kDrainCheckMs = 100;

// Sets a field for the length of a scope.
template <typename T>
class TemporaryValue {
public:
    TemporaryValue(T& field, T value) : field_(field), saved_(field) { field_ = value; }
    ~TemporaryValue() { field_ = saved_; }
    TemporaryValue(const TemporaryValue&) = delete;
    TemporaryValue& operator=(const TemporaryValue&) = delete;

private:
    T& field_;
    T saved_;
};

// Whether the server's reply says more about this failure than the failure
// itself: a data connection that broke or never came.
bool serverReplyExplains(const std::exception_ptr& failure) {
    try {
        std::rethrow_exception(failure);
    } catch (const EIdSocketError&) {
        return true;
    } catch (const EIdConnectException&) {
        return true;
    } catch (const EIdConnectTimeout&) {
        return true;
    } catch (const EIdConnClosedGracefully&) {
        return true;
    } catch (const EIdTlsError&) {
        return true;  // "522 session reuse required" says why a handshake failed
    } catch (...) {
        return false;
    }
}

} // namespace

TIdFtpProxyType ProxyTypeFromName(const std::string& name) {
    if (name == "UserSite") return fpcmUserSite;
    if (name == "Site") return fpcmSite;
    if (name == "Open") return fpcmOpen;
    if (name == "UserPass") return fpcmUserPass;
    if (name == "Transparent") return fpcmTransparent;
    if (name == "HttpProxyWithFtp") return fpcmHttpProxyWithFtp;
    return fpcmNone;
}

std::string EncryptionText(TIdFtpEncryption mode) {
    switch (mode) {
    case ftpsExplicitIfAvailable: return "Use explicit FTP over TLS if available";
    case ftpsExplicitRequired: return "Require explicit FTP over TLS";
    case ftpsImplicit: return "Require implicit FTP over TLS";
    case ftpsPlainOnly: break;
    }
    return "Only use plain FTP (insecure)";
}

int DefaultPortFor(TIdFtpEncryption mode) { return mode == ftpsImplicit ? 990 : 21; }

bool SameFingerprint(const std::string& a, const std::string& b) {
    const auto hexOnly = [](const std::string& s) {
        std::string out;
        for (char c : s) {
            if (c == ':' || c == ' ' || c == '\t') continue;
            out += (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c;
        }
        return out;
    };
    const std::string x = hexOnly(a);
    return !x.empty() && x == hexOnly(b);
}

// Refuses a command while another one is waiting for its reply, and reads
// what an ABOR sent in between still owes before the command goes out.
class TIdFTP::BusyScope {
public:
    explicit BusyScope(TIdFTP& ftp, bool settle = true) : ftp_(ftp) {
        if (ftp_.busy_ > 0) throw EIdCommandInProgress();
        ++ftp_.busy_;
        if (settle) ftp_.settleAbor();
    }
    ~BusyScope() { --ftp_.busy_; }
    BusyScope(const BusyScope&) = delete;
    BusyScope& operator=(const BusyScope&) = delete;

private:
    TIdFTP& ftp_;
};


TIdFTP::TIdFTP() { Port = 21; }

TIdFTP::~TIdFTP() {
    dropData();
}

// ------------------------------------------------------------ connection

void TIdFTP::closeAll() {
    if (data_) data_->CloseConnection();
    aborOwed_ = 0;
    TIdTCPClient::CloseConnection();
}

void TIdFTP::AfterReply() {
    // 421: the server is closing the connection; nothing more will be answered.
    if (NumericCode() == 421) closeAll();
}

void TIdFTP::CloseConnection() {
    // A transfer blocked underneath must see its data connection end too.
    closeAll();
}

void TIdFTP::ProbePeerClosed(bool raiseIfClosed) {
    // While a call waits for a reply it is reading this socket itself; a
    // second reader would steal its bytes.
    if (busy_ > 0) return;
    TIdTCPClient::ProbePeerClosed(raiseIfClosed);
}

void TIdFTP::OpenConnection(bool withLogin, int connectTimeoutMs) {
    if (busy_ > 0) {
        // Reached from a user action inside a blocked call (the Abort
        // button): as on any connected client, this closes the connection,
        // which ends the blocked call, and sends nothing.
        closeAll();
        throw EIdAlreadyConnected();
    }
    for (const std::string* text : {&Username, &Password, &Host, &ProxySettings.UserName, &ProxySettings.Password})
        if (!IsSingleLine(*text)) throw EIdInvalidCommandText();
    BusyScope busy(*this, false);
    aborOwed_ = 0;
    pasvNoted_ = false;
    resetConnectionState();
    const std::string host = Host;
    const int port = Port;
    try {
        if (ProxySettings.ProxyType != fpcmNone && !ProxySettings.Host.empty()) {
            Host = ProxySettings.Host;
            Port = ProxySettings.Port;
        }
        try {
            Connect(connectTimeoutMs);
        } catch (...) {
            Host = host;
            Port = port;
            throw;
        }
        Host = host;
        Port = port;
        if (Encryption == ftpsImplicit) startControlTls();
        GetResponse({});
        SetGreetingFromLastReply();
        if (NumericCode() != 220) throw EIdProtocolReplyError(NumericCode(), LastCmdResult().JoinedText());
        if (Encryption == ftpsExplicitIfAvailable || Encryption == ftpsExplicitRequired) negotiateAuth();
        if (withLogin) {
            login();
            if (AskFeatures) askFeatures();
            if (OnAfterClientLogin) OnAfterClientLogin(this);
            int code = SendCmd("SYST", {200, 215, 500});
            if (code == 500) systemDesc_ = "Unknown";
            else systemDesc_ = Text().empty() ? std::string() : Text()[0];
            DoStatus(StatusReady, "Connection established");
        }
    } catch (...) {
        closeAll();
        throw;
    }
}

void TIdFTP::loginPair(const std::string& user, const std::string& pass) {
    if (SendCmd("USER " + user, {230, 331}) == 331) SendCmd("PASS " + pass, {230});
}

void TIdFTP::login() {
    const TIdFtpProxySettings& px = ProxySettings;
    auto proxyLogin = [&] {
        if (!px.UserName.empty()) loginPair(px.UserName, px.Password);
    };
    switch (px.ProxyType) {
    case fpcmNone:
        loginPair(Username, Password);
        break;
    case fpcmUserSite:
        proxyLogin();
        loginPair(Username + "@" + Host, Password);
        break;
    case fpcmSite:
        proxyLogin();
        SendCmd("SITE " + Host, {});
        loginPair(Username, Password);
        break;
    case fpcmOpen:
        proxyLogin();
        SendCmd("OPEN " + Host, {});
        loginPair(Username, Password);
        break;
    case fpcmUserPass:
        if (SendCmd("USER " + Username + "@" + px.UserName + "@" + Host, {230, 331}) == 331)
            SendCmd("PASS " + Password + (px.Password.empty() ? std::string() : "@" + px.Password), {230});
        break;
    case fpcmTransparent:
        proxyLogin();
        loginPair(Username, Password);
        break;
    case fpcmHttpProxyWithFtp:
        throw EIdException("Command not supported.");
    }
    loginReply_ = LastCmdResult();
    if (TlsActive()) {
        // Protected data connections; the buffer size is meaningless for TLS.
        SendCmd("PBSZ 0", {200});
        SendCmd("PROT P", {200});
        dataProtected_ = true;
    }
    sendTransferType();
}

// ------------------------------------------------------------ TLS, FEAT

void TIdFTP::resetConnectionState() {
    dataProtected_ = false;
    epsvRefused_ = false;
    features_.clear();
    mlsd_ = false;
    utf8_ = false;
}

net::TlsClientOptions TIdFTP::tlsOptions() const {
    net::TlsClientOptions o;
    o.HostName = Host;
    if (o.HostName.size() > 2 && o.HostName.front() == '[' && o.HostName.back() == ']')
        o.HostName = o.HostName.substr(1, o.HostName.size() - 2);
    o.ExtraTrustFile = TlsTrustFile;
    return o;
}

void TIdFTP::negotiateAuth() {
    if (!net::tlsAvailable()) {
        if (Encryption == ftpsExplicitRequired) throw EIdTlsError("TLS is not available in this build.");
        DoStatus(StatusText, "TLS is not available in this build; the connection is not encrypted.");
        return;
    }
    const int code = SendCmd("AUTH TLS", {});
    if (code == 234) {
        startControlTls();
        return;
    }
    if (Encryption == ftpsExplicitRequired || !IsOpen())
        throw EIdTlsNotOffered(code, trimBoth(LastCmdResult().JoinedText()));
    DoStatus(StatusText, "The server does not offer FTP over TLS; the connection is not encrypted.");
}

void TIdFTP::startControlTls() {
    StartTls(tlsOptions());
    decideCertificate();
    DoStatus(StatusText, "The connection is encrypted (" + TlsProtocol() + ", " + TlsCipher() + ").");
}

void TIdFTP::decideCertificate() {
    const net::TlsCertificateInfo cert = PeerCertificate();
    if (!PinnedFingerprint.empty()) {
        if (SameFingerprint(PinnedFingerprint, cert.Sha256Fingerprint)) return;
        throw EIdTlsCertificateChanged(PinnedFingerprint, cert.Sha256Fingerprint);
    }
    if (cert.Trusted) return;
    const TIdTlsTrust answer = OnVerifyCertificate ? OnVerifyCertificate(this, cert) : tlsCancel;
    // The question may have run the event loop, and with it a disconnect.
    if (!IsOpen()) throw EIdConnClosedGracefully();
    if (answer == tlsCancel) {
        const std::string why = cert.VerifyError.empty() ? std::string() : " (" + cert.VerifyError + ")";
        throw EIdTlsCertificateRejected("The server's certificate is not trusted" + why +
                                        "; the connection was cancelled.");
    }
    if (answer == tlsTrustAlways) PinnedFingerprint = cert.Sha256Fingerprint;
}

std::string TIdFTP::TlsProtocol() const {
    const TIdIOHandlerSocket* h = ExistingIOHandler();
    return h && h->Tls() ? h->Tls()->protocolName() : std::string();
}

std::string TIdFTP::TlsCipher() const {
    const TIdIOHandlerSocket* h = ExistingIOHandler();
    return h && h->Tls() ? h->Tls()->cipherName() : std::string();
}

net::TlsCertificateInfo TIdFTP::PeerCertificate() const {
    const TIdIOHandlerSocket* h = ExistingIOHandler();
    return h && h->Tls() ? h->Tls()->peerCertificate() : net::TlsCertificateInfo{};
}

namespace {
// A feature line's name: its first word in upper case.
std::string featureName(const std::string& line) {
    std::string w = line.substr(0, line.find(' '));
    for (char& c : w) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return w;
}
} // namespace

bool TIdFTP::HasFeature(const std::string& name) const {
    std::string wanted = name;
    for (char& c : wanted) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    for (const std::string& f : features_)
        if (featureName(f) == wanted) return true;
    return false;
}

void TIdFTP::askFeatures() {
    features_.clear();
    int code;
    {
        // Feature lines may be shorter than four characters ("CCC"): only
        // "211 " ends the reply.
        TemporaryValue<bool> strict(StrictMultiLineReplies, true);
        code = SendCmd("FEAT", {});
    }
    const std::vector<std::string>& lines = LastCmdResult().RawLines;
    // A 211 reply lists one feature per line between its first and last.
    if (code != 211 || lines.size() < 2) return;
    for (std::size_t i = 1; i + 1 < lines.size(); ++i) {
        const std::string& f = lines[i];
        if (f.empty() || !std::isalpha(static_cast<unsigned char>(f[0]))) continue;
        features_.push_back(f);
    }
    mlsd_ = HasFeature("MLST");
    utf8_ = HasFeature("UTF8");
    if (utf8_) SendCmd("OPTS UTF8 ON", {});
    if (mlsd_) {
        // Type, size and time are what a listing needs; ask for those the
        // server offers but does not send unasked (no '*').
        std::string offered;
        for (const std::string& f : features_)
            if (featureName(f) == "MLST" && f.size() > 5) offered = f.substr(5);
        std::string ask;
        bool missing = false;
        std::size_t start = 0;
        while (start < offered.size()) {
            std::size_t end = offered.find(';', start);
            if (end == std::string::npos) end = offered.size();
            std::string fact = offered.substr(start, end - start);
            start = end + 1;
            const bool on = !fact.empty() && fact.back() == '*';
            if (on) fact.pop_back();
            std::string lower;
            for (char c : fact) lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            if (lower != "type" && lower != "size" && lower != "modify" && lower != "unix.mode") continue;
            ask += fact + ";";
            if (!on && lower != "unix.mode") missing = true;
        }
        if (missing) SendCmd("OPTS MLST " + ask, {});
    }
}


void TIdFTP::sendTransferType() { SendCmd(transferType_ == ftASCII ? "TYPE A" : "TYPE I", {200}); }

void TIdFTP::SetTransferType(TIdFTPTransferType type) {
    if (type == transferType_) return;
    if (data_) return;  // a transfer is running: its type stays
    if (!IsOpen()) {
        transferType_ = type;
        return;
    }
    BusyScope busy(*this);
    transferType_ = type;
    sendTransferType();
}

// -------------------------------------------------------------- commands

int TIdFTP::RunCommand(const std::string& line, int accepted) {
    BusyScope busy(*this);
    if (accepted == -1) return SendCmd(line, {});
    return SendCmd(line, {accepted});
}

void TIdFTP::ChangeFolder(const std::string& path) {
    BusyScope busy(*this);
    SendCmd("CWD " + path, {200, 250});
}

std::string TIdFTP::CurrentFolder() {
    BusyScope busy(*this);
    SendCmd("PWD", {257});
    if (Text().empty()) return {};
    const std::string& line = Text()[0];
    std::size_t i = line.find('"');
    if (i == std::string::npos) return {};
    std::string path;
    for (++i; i < line.size(); ++i) {
        if (line[i] != '"') {
            path += line[i];
        } else if (i + 1 < line.size() && line[i + 1] == '"') {
            path += '"';  // a quote inside the path is written twice
            ++i;
        } else {
            return path;
        }
    }
    return {};
}

void TIdFTP::CreateFolder(const std::string& name) {
    BusyScope busy(*this);
    SendCmd("MKD " + name, {257});
}

void TIdFTP::RemoveFolder(const std::string& name) {
    BusyScope busy(*this);
    SendCmd("RMD " + name, {250});
}

void TIdFTP::RemoveFile(const std::string& name) {
    BusyScope busy(*this);
    SendCmd("DELE " + name, {250});
}

void TIdFTP::RenameEntry(const std::string& from, const std::string& to) {
    if (!IsSingleLine(from) || !IsSingleLine(to)) throw EIdInvalidCommandText();
    BusyScope busy(*this);
    SendCmd("RNFR " + from, {350});
    SendCmd("RNTO " + to, {250});
}

std::int64_t TIdFTP::RemoteSize(const std::string& name) {
    BusyScope busy(*this);
    if (SendCmd("SIZE " + name, {}) != 213) return -1;
    const std::string text = trimBoth(LastCmdResult().JoinedText());
    // Only a plain number is a size: "213 file: 213" names none.
    std::int64_t v = 0;
    if (text.empty() || text[0] < '0' || text[0] > '9' || !parseInt64(text, v)) return -1;
    return v;
}

// ------------------------------------------------------ data connections

void TIdFTP::configureData(TIdTCPConnection& c) {
    // A data connection that moves nothing for the site's time-out has stalled.
    c.ReadTimeout = ReadTimeout;
    c.RecvBufferSize = RecvBufferSize;
    c.SendBufferSize = SendBufferSize;
    c.OnWorkBegin = OnWorkBegin;
    c.OnWork = OnWork;
    c.OnWorkEnd = OnWorkEnd;
}

void PasvAddressFromText(const std::string& text, std::string& host, int& port) {
    const std::string line = trimBoth(text);
    std::string addr;
    std::size_t open = line.find('('), close = line.find(')');
    if (open != std::string::npos && close != std::string::npos) {
        addr = close > open ? line.substr(open + 1, close - open - 1) : std::string();
    } else {
        std::size_t sp = line.rfind(' ');
        addr = sp == std::string::npos ? line : line.substr(sp + 1);
    }
    std::vector<std::string> f;
    std::size_t start = 0;
    while (true) {
        std::size_t c = addr.find(',', start);
        f.push_back(addr.substr(start, c == std::string::npos ? std::string::npos : c - start));
        if (c == std::string::npos) break;
        start = c + 1;
    }
    while (f.size() < 6) f.emplace_back();
    host = trimBoth(f[0]) + "." + trimBoth(f[1]) + "." + trimBoth(f[2]) + "." + trimBoth(f[3]);
    port = toIntStrict(f[4]) * 256 + toIntStrict(f[5]);
}

std::string PortArgument(const std::string& ip, int port) {
    std::string a = ip;
    for (char& ch : a)
        if (ch == '.') ch = ',';
    return a + "," + std::to_string(port / 256) + "," + std::to_string(port % 256);
}

int EpsvPortFromText(const std::string& text) {
    const std::string line = trimBoth(text);
    std::string inner;
    const std::size_t open = line.find('(');
    const std::size_t close = open == std::string::npos ? std::string::npos : line.find(')', open);
    if (close != std::string::npos) {
        inner = line.substr(open + 1, close - open - 1);
    } else {
        const std::size_t sp = line.rfind(' ');
        inner = sp == std::string::npos ? line : line.substr(sp + 1);
    }
    // d d d port d: the address fields stay empty, the data goes to the
    // server we talk to.
    if (inner.size() < 5) throw EIdInvalidEpsvReply(line);
    const char d = inner[0];
    if (d < 33 || d > 126 || (d >= '0' && d <= '9') || inner[1] != d || inner[2] != d || inner.back() != d)
        throw EIdInvalidEpsvReply(line);
    const std::string digits = inner.substr(3, inner.size() - 4);
    if (digits.empty() || digits.size() > 5) throw EIdInvalidEpsvReply(line);
    int port = 0;
    for (char c : digits) {
        if (c < '0' || c > '9') throw EIdInvalidEpsvReply(line);
        port = port * 10 + (c - '0');
    }
    if (port < 1 || port > 65535) throw EIdInvalidEpsvReply(line);
    return port;
}

std::string EprtArgument(const std::string& ip, int port) {
    const bool v6 = ip.find(':') != std::string::npos;
    // A zone ("%eth0") means nothing to the server.
    const std::string addr = v6 ? ip.substr(0, ip.find('%')) : ip;
    return std::string(v6 ? "|2|" : "|1|") + addr + "|" + std::to_string(port) + "|";
}

bool TIdFTP::viaRelay() {
    // Through a proxy or SOCKS the data addresses are the relay's business.
    return (ProxySettings.ProxyType != fpcmNone && !ProxySettings.Host.empty()) ||
           IOHandler()->SocksInfo().Version != svNoSocks;
}

void TIdFTP::passiveAddress(std::string& host, int& port) {
    const bool relayed = viaRelay();
    const std::string peer = IOHandler()->PeerIP;
    const bool ipv6 = net::isIPv6Literal(peer);
    if (!relayed && (ipv6 || UseEpsv) && !epsvRefused_) {
        const int code = SendCmd("EPSV", {});
        if (code == 229) {
            port = EpsvPortFromText(Text().empty() ? std::string() : Text()[0]);
            host = peer;
            return;
        }
        // Not understood or not allowed: PASV for the rest of the connection.
        if (code < 500 || code > 599) throw EIdProtocolReplyError(code, LastCmdResult().JoinedText());
        epsvRefused_ = true;
    }
    SendCmd("PASV", {227});
    PasvAddressFromText(Text().empty() ? std::string() : Text()[0], host, port);
    if (relayed || peer.empty()) return;
    // Directly, data goes to the server we talk to: a hostile server must
    // not aim our connections elsewhere, and one behind NAT (or one on IPv6,
    // which PASV cannot name) names an address we cannot reach.
    std::uint32_t named = 0, actual = 0;
    const bool peerIPv4 = net::parseIPv4Literal(peer, actual);
    if (!peerIPv4 && !ipv6) return;
    if (peerIPv4 && net::parseIPv4Literal(host, named) && named == actual) return;
    if (!pasvNoted_) {
        pasvNoted_ = true;
        DoStatus(StatusText, "The server named " + host + " for the data connection; connecting to " + peer +
                                 ", the server's own address, instead.");
    }
    host = peer;
}

std::unique_ptr<TIdTCPClient> TIdFTP::connectPassiveData() {
    std::string host;
    int port = 0;
    passiveAddress(host, port);
    auto c = std::make_unique<TIdTCPClient>();
    configureData(*c);
    c->Host = host;
    c->Port = port;
    if (IOHandler()->SocksInfo().Version != svNoSocks) {
        dataHandler_ = std::make_unique<TIdIOHandlerSocket>();
        dataHandler_->SocksInfo() = IOHandler()->SocksInfo();
        c->SetIOHandler(dataHandler_.get());
    }
    return c;
}

TIdSimpleServer& TIdFTP::listenActive() {
    auto s = std::make_unique<TIdSimpleServer>();
    configureData(*s);
    s->BoundIP = IOHandler()->IP;
    s->BoundPort = 0;
    TIdSimpleServer& ref = *s;
    // The server may give up instead of connecting (a 425 reply, or closing
    // the control connection): end the wait then rather than wait forever.
    const std::uint64_t started = net::tickCount64();
    ref.OnAcceptSlice = [this, &ref, started] {
        TIdIOHandlerSocket* h = IOHandler();
        if (InputReadyNow()) {
            const int code = GetResponse({});
            if (code >= 100 && code < 200) return;
            // A quick server may have connected, sent everything and replied
            // while the pump ran: its reply then closes the transfer.
            if (ref.ConnectionPending()) {
                earlyReply_ = LastCmdResult();
                return;
            }
            throw EIdProtocolReplyError(code, LastCmdResult().JoinedText());
        }
        if (!h->HandleAllocated()) throw EIdConnClosedGracefully();
        if (ReadTimeout > 0 && net::tickCount64() - started > static_cast<std::uint64_t>(ReadTimeout))
            throw EIdReadTimeout();
    };
    data_ = std::move(s);
    ref.BeginListen();
    const std::string& ip = ref.IOHandler()->IP;
    if (net::isIPv6Literal(ip)) SendCmd("EPRT " + EprtArgument(ip, ref.IOHandler()->Port), {200});
    else SendCmd("PORT " + PortArgument(ip, ref.IOHandler()->Port), {200});
    return ref;
}

void TIdFTP::dropData() {
    if (data_) data_->CloseConnection();
    data_.reset();
    dataHandler_.reset();
}

int TIdFTP::settleMs() const {
    return ReadTimeout > 0 && ReadTimeout < kDrainReplyMs ? ReadTimeout : kDrainReplyMs;
}

// Reads the next final reply (1xx replies before it are passed over) within
// boundMs. False when none came: the control connection is then closed, as
// the reply may still come and would answer the next command.
bool TIdFTP::readFinalReply(int boundMs) {
    const std::uint64_t deadline = net::tickCount64() + static_cast<std::uint64_t>(boundMs);
    try {
        for (std::uint64_t now = net::tickCount64(); now < deadline; now = net::tickCount64()) {
            TemporaryValue<int> bound(ReadTimeout, static_cast<int>(deadline - now));
            const int code = GetResponse({});
            if (code < 100 || code >= 200) return true;
        }
    } catch (const EIdException&) {
        // Closed, cut short or timed out: handled below.
    }
    if (IsOpen()) closeAll();
    return false;
}

// A 426 or 450 may come with a 226 right behind it; a lone one is complete.
void TIdFTP::readSecondReplyIfThere() {
    try {
        if (InputBufferSize() == 0 && ReadFromStack(false, kSecondReplyPeekMs, false) <= 0) return;
    } catch (const EIdException&) {
        return;
    }
    readFinalReply(settleMs());
}

// Reads the replies of the ABOR lines sent, keeping the last reply as it was.
void TIdFTP::settleAbor() {
    if (aborOwed_ == 0) return;
    if (!IsOpen()) {
        aborOwed_ = 0;
        return;
    }
    const TIdRFCReply keep = LastCmdResult();
    while (aborOwed_ > 0) {
        --aborOwed_;
        if (!readFinalReply(settleMs())) aborOwed_ = 0;
    }
    MutableLastReply() = keep;
}

void TIdFTP::abortedByUser() {
    settleAbor();
    DoStatus(StatusAborted, "Transfer aborted");
    throw EIdTransferAborted();
}

// Runs one data transfer: `body` opens the data connection, sends the
// command and moves the data, setting `owed` once the server owes a final
// reply. Whatever happens, the data connection is dropped, the replies stay
// paired with their commands, and only a transfer the server confirmed
// returns normally.
void TIdFTP::runTransfer(const std::function<void(bool& owed)>& body, bool upload) {
    DoStatus(StatusTransferStarting, "Starting FTP transfer");
    cutByUser_ = false;
    earlyReply_.reset();
    bool owed = false;
    const std::uint64_t started = net::tickCount64();
    try {
        body(owed);
    } catch (...) {
        failTransfer(std::current_exception(), owed);
    }
    // An upload's data may still be on its way: keep watching it (declared
    // first, the socket layer outlives the connection using it).
    std::unique_ptr<TIdIOHandlerSocket> drainingHandler;
    std::unique_ptr<TIdTCPConnection> draining;
    if (upload && !cutByUser_ && data_ && data_->IOHandler()->HandleAllocated()) {
        data_->ShutdownSending();
        drainingHandler = std::move(dataHandler_);
        draining = std::move(data_);
    }
    dropData();
    DoStatus(StatusReady, "Transfer complete");
    finishTransfer(draining.get(), started);
}

void TIdFTP::failTransfer(std::exception_ptr failure, bool owed) {
    dropData();
    DoStatus(StatusReady, "Transfer complete");
    bool answered = false;  // the failure is the server's final reply itself
    try {
        std::rethrow_exception(failure);
    } catch (const EIdProtocolReplyError&) {
        answered = true;
    } catch (...) {
    }
    std::optional<TIdRFCReply> explanation;
    if (owed && !answered && IsOpen() && readFinalReply(settleMs())) {
        if (NumericCode() >= 400 && !cutByUser_ && serverReplyExplains(failure)) explanation = LastCmdResult();
    }
    if (cutByUser_) abortedByUser();
    settleAbor();
    if (explanation) {
        MutableLastReply() = *explanation;
        throw EIdProtocolReplyError(explanation->NumericCode, explanation->JoinedText());
    }
    std::rethrow_exception(failure);
}

void TIdFTP::finishTransfer(TIdTCPConnection* draining, std::uint64_t started) {
    if (earlyReply_) {
        MutableLastReply() = *earlyReply_;
        earlyReply_.reset();
    } else if (cutByUser_) {
        if (!readFinalReply(settleMs())) abortedByUser();
    } else if (draining) {
        awaitUploadClosingReply(*draining, started);
    } else {
        GetResponse({});
    }
    const TIdRFCReply closing = LastCmdResult();
    const int code = closing.NumericCode;
    if (cutByUser_) abortedByUser();
    if (code == 426 || code == 450) {
        if (aborOwed_ > 0) settleAbor();
        else readSecondReplyIfThere();
        MutableLastReply() = closing;
        DoStatus(StatusAborted, "Transfer aborted");
        throw EIdTransferAbortedByServer(code, closing.JoinedText());
    }
    settleAbor();  // an ABOR sent after the data had ended
    MutableLastReply() = closing;
    if (code != 225 && code != 226 && code != 250) throw EIdProtocolReplyError(code, closing.JoinedText());
}

// After an upload's last byte the server may still be reading what the
// system buffered: while this side's send queue shrinks, the server is still
// taking the data and the wait goes on; once it is empty (or the system
// cannot tell), what the server holds itself takes it at most about as long
// again as the upload took so far.
void TIdFTP::awaitUploadClosingReply(TIdTCPConnection& data, std::uint64_t started) {
    if (ReadTimeout <= 0) {
        GetResponse({});
        return;
    }
    const std::uint64_t lastByte = net::tickCount64();
    const std::uint64_t allowance = static_cast<std::uint64_t>(ReadTimeout) + (lastByte - started);
    long pending = data.PendingSendBytes();
    std::uint64_t progressAt = lastByte;
    std::uint64_t emptySince = pending > 0 ? 0 : lastByte;
    while (InputBufferSize() == 0 && !WaitForData(kDrainCheckMs)) {
        const std::uint64_t now = net::tickCount64();
        const long p = data.PendingSendBytes();
        bool stalled;
        if (p > 0) {
            if (p < pending) progressAt = now;
            pending = p;
            emptySince = 0;
            stalled = now - progressAt >= static_cast<std::uint64_t>(ReadTimeout);
        } else {
            if (emptySince == 0) emptySince = now;
            stalled = now - emptySince >= allowance;
        }
        if (stalled) {
            closeAll();
            throw EIdReadTimeout();
        }
    }
    GetResponse({});
}

void TIdFTP::download(const std::string& command, const DataSink& sink, bool resume, std::int64_t position) {
    runTransfer([&](bool& owed) {
        if (Passive) {
            std::unique_ptr<TIdTCPClient> c = connectPassiveData();
            TIdTCPClient& ref = *c;
            data_ = std::move(c);
            ref.Connect(-1);
            if (resume) SendCmd("REST " + std::to_string(position), {350});
            WriteLn(command);
            GetResponse({125, 150, 154});
            owed = true;
        } else {
            TIdSimpleServer& s = listenActive();
            if (resume) SendCmd("REST " + std::to_string(position), {350});
            SendCmd(command, {125, 150, 154});
            owed = true;
            s.Listen();
        }
        secureData();
        data_->BeginWork(WorkRead, 0);
        data_->ReadUntilClose(sink);
        data_->EndWork(WorkRead);
    }, false);
}

void TIdFTP::copyDataOut(DataSource& source, bool fromStart) {
    if (fromStart) source.Rewind();
    const std::int64_t size = source.Size();
    std::int64_t pos = source.Position();
    data_->BeginWork(WorkWrite, size - pos);
    std::vector<char> buf(static_cast<std::size_t>(EffectiveSendBufferSize()));
    while (pos < size) {
        std::size_t n = source.Read(buf.data(), buf.size());
        if (n == 0) throw EIdNoDataToRead();
        if (cutByUser_) break;  // AbortTransfer closed the data connection: the data ends here
        try {
            data_->WriteBuffer(buf.data(), n);
        } catch (const EIdException&) {
            if (cutByUser_) break;
            throw;
        }
        pos += static_cast<std::int64_t>(n);
    }
    // TLS holds back the last part of a record; it and close_notify end the data.
    if (!cutByUser_) data_->FinishWrites();
    data_->EndWork(WorkWrite);
}

void TIdFTP::upload(const std::string& command, DataSource& source, bool fromStart) {
    runTransfer([&](bool& owed) {
        if (Passive) {
            std::unique_ptr<TIdTCPClient> c = connectPassiveData();
            TIdTCPClient& ref = *c;
            data_ = std::move(c);
            WriteLn(command);
            owed = true;
            ref.Connect(-1);
            GetResponse({110, 125, 150});
        } else {
            TIdSimpleServer& s = listenActive();
            SendCmd(command, {125, 150});
            owed = true;
            s.Listen();
        }
        secureData();
        copyDataOut(source, fromStart);
    }, true);
}

void TIdFTP::secureData() {
    if (!dataProtected_) return;
    net::TlsClient* control = IOHandler()->Tls();
    if (!control) throw EIdTlsError("The control connection is no longer encrypted.");
    net::TlsClientOptions o = tlsOptions();
    // The servers take a data connection only from the client that holds the
    // control connection's session.
    o.Resume = control->session();
    data_->StartTls(o);
    data_->CollectWrites = true;
    net::TlsClient* tls = data_->IOHandler()->Tls();
    if (!tls->sessionReused() &&
        !SameFingerprint(tls->peerCertificate().Sha256Fingerprint, control->peerCertificate().Sha256Fingerprint))
        throw EIdTlsError("The data connection presented another certificate than the server.");
}

void TIdFTP::AbortTransfer() {
    std::exception_ptr failure;
    if (IsOpen()) {
        try {
            WriteLn("ABOR");
            ++aborOwed_;
        } catch (...) {
            failure = std::current_exception();
        }
    }
    if (data_) {
        cutByUser_ = true;
        data_->CloseConnection();
    }
    if (failure) std::rethrow_exception(failure);
}

// --------------------------------------------------------------- listing

void TIdFTP::FetchListing(std::vector<std::string>* dest, const std::string& argument, bool detailed) {
    // MLSD takes a path, not LIST's options.
    const std::string arg = trimBoth(argument);
    const bool mlsd = detailed && mlsd_ && (arg.empty() || arg[0] != '-');
    const std::string command = trimBoth((mlsd ? "MLSD " : detailed ? "LIST " : "NLST ") + argument);
    if (!IsSingleLine(command)) throw EIdInvalidCommandText();
    BusyScope busy(*this);
    std::string text;
    download(command,
             [&text](const char* d, std::size_t n) { text.append(d, n); }, false, 0);
    listing_ = SplitListingLines(text);
    listingMlsd_ = mlsd;
    entries_.reset();
    if (dest) *dest = listing_;
}

TIdFTPListItems& TIdFTP::ListingEntries() {
    if (!entries_)
        entries_ = BuildListingEntries(this, listing_, ListHooks, std::nullopt,
                                       listingMlsd_ ? std::optional<ListingFormat>(FormatMlsd) : std::nullopt);
    return *entries_;
}

// ----------------------------------------------------------------- files

namespace {

class FileSource : public TIdFTP::DataSource {
public:
    explicit FileSource(LocalFile& f) : f_(f) {}
    std::int64_t Size() override { return f_.Size(); }
    std::int64_t Position() override { return f_.Position(); }
    void Rewind() override { f_.Rewind(); }
    std::size_t Read(char* buf, std::size_t len) override { return f_.Read(buf, len); }

private:
    LocalFile& f_;
};

} // namespace

void TIdFTP::probeResume() {
    if (resumeProbed_) return;
    int code = SendCmd("REST 1", {});
    canResume_ = code == 350;
    SendCmd("REST 0", {});
    resumeProbed_ = true;
}

void TIdFTP::DownloadToFile(const std::string& remoteName, const std::string& localPath, bool overwrite,
                            bool resume) {
    if (!IsSingleLine(remoteName)) throw EIdInvalidCommandText();
    BusyScope busy(*this);
    struct stat st {};
    const bool exists = ::stat(localPath.c_str(), &st) == 0;
    bool effectiveResume = false;
    LocalFile::Mode mode = LocalFile::CreateNew;
    if (exists) {
        if (resume) {
            probeResume();
            effectiveResume = canResume_;
        }
        if (overwrite && !effectiveResume) mode = LocalFile::OpenExisting;
        else if (!overwrite && effectiveResume) mode = LocalFile::Append;
        else throw EIdFTPFileAlreadyExists();
    } else if (resume) {
        probeResume();
        effectiveResume = canResume_;
    }
    // Opened now, so that a path that cannot be written fails before any
    // command; changed only once data comes (or the transfer succeeds empty).
    LocalFile file(localPath, mode);
    bool replacing = false;
    const auto beginWriting = [&] {
        if (replacing) return;
        replacing = true;
        if (mode == LocalFile::OpenExisting) file.Truncate();
    };
    try {
        download("RETR " + remoteName,
                 [&](const char* d, std::size_t n) {
                     beginWriting();
                     file.Write(d, n);
                 },
                 effectiveResume, file.Position());
        beginWriting();
        // A failed final write means the file on disk is short: that is a failure.
        file.Close();
    } catch (...) {
        if (!replacing && mode == LocalFile::CreateNew) file.Discard();
        throw;
    }
    if (OnAfterGet) OnAfterGet(this, localPath);
}

void TIdFTP::UploadFromFile(const std::string& localPath, const std::string& remoteName, bool append) {
    if (!IsSingleLine(remoteName)) throw EIdInvalidCommandText();
    BusyScope busy(*this);
    LocalFile file(localPath, LocalFile::ReadOnly);
    FileSource source(file);
    if (remoteName.empty()) upload("STOU ", source, true);
    else if (append) upload("APPE " + remoteName, source, false);
    else upload("STOR " + remoteName, source, true);
}
