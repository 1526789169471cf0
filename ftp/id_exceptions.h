#pragma once
// Errors of the FTP client and its TCP layers. Each carries a fixed message.
#include <string>
#include <vector>

#include "platform/exceptions.h"
#include "platform/net/stack.h"  // EIdStackInitializationFailed

// Errors that the application reports quietly (a server that simply closed).
class EIdSilentException : public EIdException {
public:
    using EIdException::EIdException;
};

class EIdAlreadyConnected : public EIdException {
public:
    EIdAlreadyConnected() : EIdException("Already connected.") {}
};

class EIdConnectTimeout : public EIdException {
public:
    EIdConnectTimeout() : EIdException("Connect timed out.") {}
};

// Message: the socket error message of the failed connect.
class EIdConnectException : public EIdException {
public:
    EIdConnectException(const std::string& message, int code) : EIdException(message), code_(code) {}
    int LastError() const { return code_; }

private:
    int code_;
};

class EIdReadTimeout : public EIdException {
public:
    EIdReadTimeout() : EIdException("Read Timeout") {}
};

class EIdReadLnMaxLineLengthExceeded : public EIdException {
public:
    EIdReadLnMaxLineLengthExceeded() : EIdException("Max line length exceeded.") {}
};

class EIdConnClosedGracefully : public EIdSilentException {
public:
    EIdConnClosedGracefully() : EIdSilentException("Connection Closed Gracefully.") {}
};

class EIdNotConnected : public EIdException {
public:
    EIdNotConnected() : EIdException("Not Connected") {}
};

class EIdClosedSocket : public EIdException {
public:
    EIdClosedSocket() : EIdException("Disconnected.") {}
};

class EIdNoDataToRead : public EIdException {
public:
    EIdNoDataToRead() : EIdException("No data to read.") {}
};

// A reply code outside the accepted ones. Message: the reply's Text lines,
// each followed by CR LF.
class EIdProtocolReplyError : public EIdException {
public:
    EIdProtocolReplyError(int code, const std::string& message) : EIdException(message), code_(code) {}
    int ReplyErrorCode() const { return code_; }

private:
    int code_;
};

// "Socket Error # <code>\r\n<text>".
class EIdSocketError : public EIdException {
public:
    explicit EIdSocketError(int code);
    int LastError() const { return code_; }
    static std::string MessageFor(int code);

private:
    int code_;
};

class EIdInvalidSocket : public EIdException {
public:
    EIdInvalidSocket() : EIdException("Cannot allocate socket.") {}
};

class EIdCouldNotBindSocket : public EIdException {
public:
    EIdCouldNotBindSocket() : EIdException("Could not bind socket. Address and port are already in use.") {}
};

class EIdInvalidPortRange : public EIdException {
public:
    EIdInvalidPortRange(int lo, int hi)
        : EIdException("Invalid Port Range (" + std::to_string(lo) + " - " + std::to_string(hi) + ")") {}
};

class EIdCanNotBindPortInRange : public EIdException {
public:
    EIdCanNotBindPortInRange(int lo, int hi)
        : EIdException("Can not bind in port range (" + std::to_string(lo) + " - " + std::to_string(hi) + ")") {}
};

class EIdWS2StubError : public EIdException {
public:
    using EIdException::EIdException;
};

class EIdFTPFileAlreadyExists : public EIdException {
public:
    EIdFTPFileAlreadyExists() : EIdException("Destination file already exists.") {}
};

// A command issued while the client still waits for the reply to another one
// (a user action running inside the message pump). Two conversations on one
// control connection would pair replies with the wrong commands.
class EIdCommandInProgress : public EIdException {
public:
    EIdCommandInProgress() : EIdException("Another command is still in progress on this connection.") {}
};

// A local file that could not be created, opened, read or written.
class EIdLocalFileError : public EIdException {
public:
    using EIdException::EIdException;
};

// A transfer the user stopped (AbortTransfer): whatever arrived is partial.
class EIdTransferAborted : public EIdException {
public:
    EIdTransferAborted() : EIdException("Transfer aborted") {}
};

// A transfer the server ended with 426 or 450: its code and text, as any
// refused reply.
class EIdTransferAbortedByServer : public EIdProtocolReplyError {
public:
    using EIdProtocolReplyError::EIdProtocolReplyError;
};

// A command line holding CR, LF or NUL would smuggle a second command to
// the server; it is refused before any byte goes out.
class EIdInvalidCommandText : public EIdException {
public:
    EIdInvalidCommandText() : EIdException("A command cannot contain a line break or a NUL character.") {}
};

// FTP over TLS failed: a handshake the server refused or dropped, a broken
// record, TLS missing from this build. The connection is not used further.
class EIdTlsError : public EIdException {
public:
    using EIdException::EIdException;
};

// The site requires FTP over TLS and the server refused "AUTH TLS": the
// server's code and text.
class EIdTlsNotOffered : public EIdTlsError {
public:
    EIdTlsNotOffered(int code, const std::string& text)
        : EIdTlsError("The server refused FTP over TLS (" + std::to_string(code) + " " + text +
                      "); the connection was closed before the login."),
          code_(code) {}
    int ReplyCode() const { return code_; }

private:
    int code_;
};

// The server's certificate was not accepted: the user cancelled, or nobody
// could be asked.
class EIdTlsCertificateRejected : public EIdTlsError {
public:
    using EIdTlsError::EIdTlsError;
};

// The certificate differs from the fingerprint stored for the site: refused
// without asking, as it may be someone else's.
class EIdTlsCertificateChanged : public EIdTlsCertificateRejected {
public:
    EIdTlsCertificateChanged(const std::string& stored, const std::string& presented)
        : EIdTlsCertificateRejected("The server's certificate has changed since it was trusted: its SHA-256 "
                                    "fingerprint is " + presented + " instead of " + stored +
                                    ". The connection was refused."),
          stored_(stored),
          presented_(presented) {}
    const std::string& StoredFingerprint() const { return stored_; }
    const std::string& PresentedFingerprint() const { return presented_; }

private:
    std::string stored_;
    std::string presented_;
};

// A 229 reply to EPSV that names no usable port.
class EIdInvalidEpsvReply : public EIdException {
public:
    explicit EIdInvalidEpsvReply(const std::string& text)
        : EIdException("The server's EPSV reply names no valid port: " + text) {}
};
