#include "browser/connection_session.h"

#include "browser/qt_message_pump.h"
#include "dialogs/certificate_dialog.h"
#include "ftp/ftp_client.h"
#include "platform/ui/dialog_service.h"

#include <QRandomGenerator>
#include <QTimer>
#include <QWidget>

#include <cctype>
#include <cmath>

namespace browser {

// ---------------------------------------------------------------- operation

PageOperation::PageOperation(PageOperation&& other) noexcept
    : session_(other.session_),
      generation_(other.generation_),
      folder_(std::move(other.folder_)),
      admitted_(other.admitted_) {
    other.admitted_ = false;
    other.session_.clear();
}

PageOperation& PageOperation::operator=(PageOperation&& other) noexcept {
    if (this != &other) {
        end();
        session_ = other.session_;
        generation_ = other.generation_;
        folder_ = std::move(other.folder_);
        admitted_ = other.admitted_;
        other.admitted_ = false;
        other.session_.clear();
    }
    return *this;
}

PageOperation::~PageOperation() { end(); }

bool PageOperation::sameConnection() const {
    return admitted_ && session_ && session_->generation() == generation_;
}

bool PageOperation::still() const { return sameConnection() && session_->currentdir() == folder_; }

void PageOperation::follow() {
    if (sameConnection()) folder_ = session_->currentdir();
}

void PageOperation::adopt() {
    if (!admitted_ || !session_) return;
    generation_ = session_->generation();
    folder_ = session_->currentdir();
}

void PageOperation::end() {
    if (!admitted_) return;
    admitted_ = false;
    if (ConnectionSession* s = session_.data()) s->endOperation();
    session_.clear();
}

// ---------------------------------------------------------------- session

namespace {
const char* kRetryPrefix = "Error occured,wait ";

QString qs(const std::string& s) { return QString::fromUtf8(s); }

// Why the system did not trust the certificate, as the prompt says it.
std::string problemText(const net::TlsCertificateInfo& c, const std::string& host) {
    std::string text;
    switch (c.Problem) {
    case net::TlsVerifyProblem::SelfSigned:
        text = "The certificate is signed by itself: no authority this computer trusts vouches for it.";
        break;
    case net::TlsVerifyProblem::UnknownIssuer:
        text = "The certificate was issued by an authority this computer does not trust.";
        break;
    case net::TlsVerifyProblem::Expired: text = "The certificate has expired."; break;
    case net::TlsVerifyProblem::NotYetValid: text = "The certificate is not valid yet."; break;
    case net::TlsVerifyProblem::HostNameMismatch:
        text = "The certificate was made out for another name than " + host + ".";
        break;
    case net::TlsVerifyProblem::None:
    case net::TlsVerifyProblem::Other: break;
    }
    if (c.VerifyError.empty()) return text.empty() ? "The certificate could not be checked." : text;
    return text.empty() ? c.VerifyError : text + " (" + c.VerifyError + ")";
}

CertificateFacts factsOf(const net::TlsCertificateInfo& c, const std::string& host) {
    return {qs(host),           qs(problemText(c, host)), qs(c.Subject), qs(c.Issuer),
            qs(c.NotBeforeText), qs(c.NotAfterText),     qs(c.Sha256Fingerprint)};
}
}  // namespace

ConnectionSession::ConnectionSession(QObject* parent)
    : QObject(parent),
      io_(std::make_unique<TIdIOHandlerSocket>()),
      logEvent_(std::make_unique<TIdLogEvent>()),
      client_(std::make_unique<TIdFTP>()),
      pump_(acquireMessagePump()) {
    client_->ReadTimeout = 0;
    client_->RecvBufferSize = 2048;
    client_->SendBufferSize = 1024;
    client_->Port = 0;
    client_->MaxLineAction = maException;
    client_->SetIOHandler(io_.get());
    logEvent_->Active = true;
    logEvent_->LogTime = false;
    logEvent_->ReplaceCRLF = false;
    client_->Intercept = logEvent_.get();

    client_->OnVerifyCertificate = [this](void*, const net::TlsCertificateInfo& cert) {
        return askCertificate(cert);
    };
    client_->OnConnected = [this](void*) { onConnected(); };
    client_->OnDisconnected = [this](void*) { onDisconnected(); };
    client_->OnStatus = [this](void*, TIdStatus s, const std::string& text) {
        // What the client has to tell about the connection (a passive-mode
        // address it did not follow) belongs in the page's log.
        if (s == StatusText) {
            if (!text.empty()) LogLine(text, 2);
            return;
        }
        if (s != StatusDisconnected) return;
        queue_.running = false;
        antiIdleTimer_->stop();
        emit connectionLost();
    };
    logEvent_->OnSent = [this](void*, const std::string&, const std::string& data) {
        // Any command restarts the idle time, the user's as well as ours.
        queue_.idlecount = 0;
        emit logText(loggedCommand(data), 0);
    };
    logEvent_->OnReceived = [this](void*, const std::string&, const std::string& data) { emit logText(data, 1); };

    retryTimer_ = new QTimer(this);
    retryTimer_->setSingleShot(true);  // one attempt at a time; re-armed after a failure
    connect(retryTimer_, &QTimer::timeout, this, &ConnectionSession::retryTick);
    antiIdleTimer_ = new QTimer(this);
    antiIdleTimer_->setInterval(1000);
    connect(antiIdleTimer_, &QTimer::timeout, this, &ConnectionSession::antiIdleTick);
}

ConnectionSession::~ConnectionSession() {
    stopTimers();
    client_->OnStatus = nullptr;
    client_->OnVerifyCertificate = nullptr;
    client_->OnConnected = nullptr;
    client_->OnDisconnected = nullptr;
    client_->OnWorkBegin = nullptr;
    client_->OnWork = nullptr;
    client_->OnWorkEnd = nullptr;
    client_->Intercept = nullptr;
    closeConnection();
    client_.reset();
}

std::string ConnectionSession::loggedCommand(const std::string& data) {
    // The log is shown and saved to files; the wire still gets the password.
    // Every login mode sends its passwords (the server's, a proxy's) by PASS.
    std::string out;
    std::size_t start = 0;
    while (start < data.size()) {
        std::size_t end = data.find_first_of("\r\n", start);
        if (end == std::string::npos) end = data.size();
        std::string line = data.substr(start, end - start);
        bool pass = line.size() >= 5 && line[4] == ' ';
        for (std::size_t i = 0; pass && i < 4; ++i)
            pass = std::toupper(static_cast<unsigned char>(line[i])) == "PASS"[i];
        if (pass) line = line.substr(0, 5) + "******";
        out += line;
        std::size_t next = data.find_first_not_of("\r\n", end);
        if (next == std::string::npos) next = data.size();
        out += data.substr(end, next - end);
        start = next;
    }
    return out;
}

void ConnectionSession::setSettings(const ConnectSettings& s) {
    settings_ = s;
    for (const std::string& note : s.notes) LogLine(note, 2);
    client_->Host = s.host;
    client_->Port = s.port;
    client_->Username = s.username;
    client_->Password = s.password;
    client_->Passive = s.passive;
    client_->ReadTimeout = s.timeoutms;
    client_->ProxySettings = s.proxy;
    client_->SocksInfo() = s.socks;
    client_->Encryption = s.encryption;
    client_->PinnedFingerprint = s.fingerprint;
    // The client itself keeps PASV and PORT through a proxy or SOCKS server.
    client_->AskFeatures = s.extensions;
    client_->UseEpsv = s.extensions;
}

void ConnectionSession::setOptions(const PageOptions& o) {
    options_ = o;
    client_->RecvBufferSize = o.recvb;
    client_->SendBufferSize = o.sendb;
    queue_.idlecount = 0;
}

bool ConnectionSession::isOpen() {
    try {
        // A server that closed an idle connection is noticed only by reading;
        // acting first would send the command into the void.
        if (!client_->Busy() && client_->IsOpen()) client_->ProbePeerClosed(false);
        return client_->IsOpen();
    } catch (const std::exception&) {
        return false;
    }
}

void ConnectionSession::setUserDisconnected(bool on) {
    if (userDisconnected_ == on) return;
    userDisconnected_ = on;
    emit stateChanged();
}

void ConnectionSession::setConnected(bool on) {
    if (connected_ == on) return;
    connected_ = on;
    emit stateChanged();
}

void ConnectionSession::LogLine(const std::string& text, int kind) { emit logLine(text, kind); }

// ---------------------------------------------------------------- the gate

PageOperation ConnectionSession::begin() {
    PageOperation op;
    if (busy_ > 0) return op;
    ++busy_;
    op.session_ = this;
    op.generation_ = generation_;
    op.folder_ = currentdir_;
    op.admitted_ = true;
    return op;
}

void ConnectionSession::endOperation() {
    if (--busy_ > 0) return;
    busy_ = 0;
    if (!waiting_.empty() && !waitingScheduled_) {
        waitingScheduled_ = true;
        QTimer::singleShot(0, this, &ConnectionSession::runWaiting);
    }
    emit becameIdle();
}

void ConnectionSession::whenIdle(QObject* context, std::function<void()> fn) {
    waiting_.push_back({context, std::move(fn)});
    if (idle() && !waitingScheduled_) {
        waitingScheduled_ = true;
        QTimer::singleShot(0, this, &ConnectionSession::runWaiting);
    }
}

void ConnectionSession::runWaiting() {
    waitingScheduled_ = false;
    // Each request runs on an idle page; one that starts an operation of its
    // own leaves the rest for the next idle moment.
    QPointer<ConnectionSession> self(this);
    while (self && idle() && !waiting_.empty()) {
        Waiting w = std::move(waiting_.front());
        waiting_.erase(waiting_.begin());
        if (w.context) w.fn();
    }
}

void ConnectionSession::newGeneration() {
    ++generation_;
    waiting_.clear();
}

// ---------------------------------------------------------------- connecting

bool ConnectionSession::attemptOpen(PageOperation& op) {
    retryTimer_->stop();
    if (!settings_.refusal.empty()) {
        // No attempt and no retry: the user has to mend the site first.
        LogLine(settings_.refusal, 2);
        return false;
    }
    LogLine("Connecting " + client_->Host, 0);
    try {
        client_->OpenConnection(true, settings_.timeoutms);
    } catch (const EIdTlsCertificateRejected& e) {
        // Asking again every few seconds would nag; a changed certificate
        // would warn again and again.
        if (op.sameConnection()) refuseCertificate(e);
        return false;
    } catch (const EIdTlsNotOffered& e) {
        if (op.sameConnection()) LogLine(e.what(), 2);
        return false;
    } catch (const std::exception& e) {
        if (op.sameConnection()) {
            // A failed handshake says little by the retry line alone.
            if (dynamic_cast<const EIdTlsError*>(&e)) LogLine(e.what(), 2);
            const long s = std::lrint(settings_.retrydelayms / 1000.0);
            LogLine(kRetryPrefix + std::to_string(s) + " second for retry", 2);
            armRetry();
        }
        return false;
    }
    if (!op.sameConnection() || !isOpen()) return false;
    noteEncryption();
    return true;
}

void ConnectionSession::noteEncryption() {
    // The client logs how TLS went when it tried; a site set to plain FTP
    // gets its line here. Rows from before the setting log as they always did.
    if (settings_.extensions && settings_.encryption == ftpsPlainOnly && !client_->IsEncrypted())
        LogLine("The connection is not encrypted.", 2);
    std::string state = "Not encrypted";
    if (client_->IsEncrypted()) {
        state = "Encrypted (" + client_->TlsProtocol() + ")";
        if (!client_->DataProtected()) state += "; file transfers are not encrypted";
    }
    if (state == encryption_) return;
    encryption_ = state;
    emit stateChanged();
}

QWidget* ConnectionSession::pageWidget() const { return qobject_cast<QWidget*>(parent()); }

TIdTlsTrust ConnectionSession::askCertificate(const net::TlsCertificateInfo& cert) {
    const QPointer<ConnectionSession> self(this);
    const unsigned generation = generation_;
    const TForm16::Answer answer = TForm16::Ask(pageWidget(), factsOf(cert, client_->Host), settings_.quick);
    // The question ran the event loop: a page closed or disconnected meanwhile
    // keeps nothing of the answer (the client then finds itself closed).
    if (!self || generation_ != generation) return tlsCancel;
    if (answer == TForm16::TrustOnce) return tlsTrustOnce;
    if (answer != TForm16::TrustAlways) return tlsCancel;
    settings_.fingerprint = cert.Sha256Fingerprint;
    if (!settings_.keepCertificate) {
        LogLine("The certificate is trusted until this page is closed.", 2);
        return tlsTrustAlways;
    }
    try {
        settings_.keepCertificate(cert.Sha256Fingerprint);
        LogLine("The certificate is trusted from now on; it was saved with the site.", 2);
    } catch (const std::exception& e) {
        LogLine(std::string("The certificate is trusted until this page is closed; saving it with the site "
                            "failed: ") + e.what(), 2);
    }
    return tlsTrustAlways;
}

void ConnectionSession::refuseCertificate(const EIdTlsCertificateRejected& e) {
    LogLine(e.what(), 2);
    const auto* changed = dynamic_cast<const EIdTlsCertificateChanged*>(&e);
    if (!changed) return;
    const QString how = settings_.quick
        ? QStringLiteral("close this page and connect again")
        : QStringLiteral("remove the trusted certificate in the site editor (\"Forget\") and connect again");
    ui::warning(pageWidget(),
                QStringLiteral("The certificate of the server %1 has changed since you chose to trust it always.\n\n"
                               "Trusted fingerprint (SHA-256):\n%2\n\nFingerprint presented now:\n%3\n\n"
                               "The connection was refused: someone may be posing as the server. If you know "
                               "that the server's certificate was replaced, %4.")
                    .arg(qs(client_->Host), qs(changed->StoredFingerprint()), qs(changed->PresentedFingerprint()),
                         how));
}

bool ConnectionSession::openConnection(PageOperation& op) {
    if (!attemptOpen(op)) return false;
    // A new connection: whatever was started on the old one is over.
    ++generation_;
    op.adopt();
    setUserDisconnected(false);
    try {
        readFolders();
    } catch (const std::exception& e) {
        if (op.sameConnection()) reportFailure(e);
        return false;
    }
    op.follow();
    return op.sameConnection();
}

void ConnectionSession::readFolders() {
    currentdir_ = client_->CurrentFolder();
    initialdir_ = client_->CurrentFolder();
    if (currentdir_.empty()) LogLine("The server did not name its current folder.", 2);
}

bool ConnectionSession::reconnectInFolder(PageOperation& op) {
    if (!op.sameConnection()) return false;
    if (isOpen()) return true;
    const std::string folder = op.folder();
    if (!attemptOpen(op)) return false;
    ++generation_;
    op.adopt();
    setUserDisconnected(false);
    try {
        initialdir_ = client_->CurrentFolder();
        // Back where the user was: acting in the login folder instead would
        // hit a same-named entry there.
        if (!folder.empty()) client_->ChangeFolder(folder);
    } catch (const std::exception& e) {
        if (!op.sameConnection()) return false;
        reportFailure(e);
        LogLine("Can not return to the folder " + folder + "; nothing was done.", 2);
        return false;
    }
    if (!op.sameConnection()) return false;
    currentdir_ = folder;
    op.adopt();
    return true;
}

void ConnectionSession::armRetry() {
    // A delay of 0 would fire without pause; it means no retry.
    if (settings_.retrydelayms > 0) retryTimer_->start(settings_.retrydelayms);
}

void ConnectionSession::retryTick() {
    // Connected meanwhile: an attempt now would close the connection.
    if (isOpen()) return;
    PageOperation op = begin();
    if (!op) {
        // Another operation of this page is running: try again later.
        armRetry();
        return;
    }
    if (openConnection(op) && afterConnect) afterConnect(op);
}

void ConnectionSession::antiIdleTick() {
    if (!idle() || client_->Busy()) return;
    if (!isOpen()) return;
    // "Enabled anti-idle" off: the connection may time out, as the user chose.
    if (!options_.antiidle) return;
    ++queue_.idlecount;
    if (options_.antiidleinterval <= 0 || queue_.idlecount < options_.antiidleinterval) return;
    queue_.idlecount = 0;
    if (options_.antiidlecmds.empty()) return;
    const auto i = QRandomGenerator::global()->bounded(static_cast<quint32>(options_.antiidlecmds.size()));
    const std::string cmd = options_.antiidlecmds[i];
    PageOperation op = begin();
    try {
        client_->RunCommand(cmd, -1);
    } catch (const EIdReadTimeout& e) {
        if (op.sameConnection()) reportFailure(e);
    } catch (const std::exception&) {
        // Other failures of a keep-alive command are of no interest.
    }
    queue_.idlecount = 0;
}

void ConnectionSession::onConnected() {
    setConnected(true);
    retryTimer_->stop();
    antiIdleTimer_->start();
}

void ConnectionSession::onDisconnected() {
    antiIdleTimer_->stop();
    const bool shown = !encryption_.empty();
    encryption_.clear();
    if (connected_)
        setConnected(false);
    else if (shown)
        emit stateChanged();
}

void ConnectionSession::reportFailure(const std::exception& e) {
    if (dynamic_cast<const EIdProtocolReplyError*>(&e)) {
        std::string text;
        for (const std::string& l : client_->Text()) text += (text.empty() ? "" : " ") + l;
        LogLine(client_->TextCode() + ":" + text, 2);
        return;
    }
    emit logText(e.what(), 2);
    if (dynamic_cast<const EIdReadTimeout*>(&e)) closeConnection();
}

// ---------------------------------------------------------------- user commands

void ConnectionSession::disconnectByUser() {
    LogLine("Disconnected from server.", 2);
    newGeneration();
    queue_.running = false;
    retryTimer_->stop();
    antiIdleTimer_->stop();
    closeConnection();
    setConnected(false);
    setUserDisconnected(true);
}

void ConnectionSession::abort() {
    try {
        client_->AbortTransfer();
    } catch (const std::exception&) {
    }
    if (!idle()) {
        // A call of this page is blocked below this handler: close under it,
        // so it fails and unwinds, and connect again once it has.
        ++generation_;
        closeConnection();
    }
    whenIdle(this, [this] { reconnectAfterAbort(); });
}

void ConnectionSession::reconnectAfterAbort() {
    PageOperation op = begin();
    if (!op) {
        whenIdle(this, [this] { reconnectAfterAbort(); });
        return;
    }
    // A live connection is closed and opened again, so the page ends connected.
    closeConnection();
    if (!settings_.refusal.empty()) return;
    try {
        client_->OpenConnection(true, settings_.timeoutms);
    } catch (const EIdTlsCertificateRejected& e) {
        // Other errors go unsaid here; a certificate that changed may not.
        if (op.sameConnection()) refuseCertificate(e);
    } catch (const std::exception&) {
    }
    if (!op.sameConnection() || !isOpen()) return;
    noteEncryption();
    ++generation_;
    op.adopt();
    setUserDisconnected(false);
    if (currentdir_.empty()) {
        try {
            readFolders();
        } catch (const std::exception& e) {
            if (op.sameConnection()) reportFailure(e);
            return;
        }
        op.follow();
    }
    if (afterConnect) afterConnect(op);
}

void ConnectionSession::closePage() {
    stopTimers();
    newGeneration();
    closeConnection();
    setConnected(false);
    queue_ = QueueState{};
    currentdir_.clear();
    initialdir_.clear();
    encryption_.clear();
    settings_ = ConnectSettings{};
    setUserDisconnected(false);
    emit closed();
}

void ConnectionSession::stopTimers() {
    retryTimer_->stop();
    antiIdleTimer_->stop();
}

void ConnectionSession::closeConnection() {
    try {
        client_->CloseConnection();
    } catch (...) {
    }
}

void ConnectionSession::stopPumping() {
    logEvent_->Active = false;
    if (pump_) pump_->Active = false;
}

}  // namespace browser
