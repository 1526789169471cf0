#pragma once
// The FTP client of one browser frame: login through the FTP proxy modes,
// single-reply commands, listings and file transfers over passive or active
// data connections. Every call blocks and keeps the current message pump
// (ftp/message_pump.h) running; a user action run by the pump may close the
// connection under a call, which then fails with an EIdException.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ftp/listing_parser.h"
#include "ftp/tcp_connection.h"

enum TIdFTPTransferType { ftASCII, ftBinary };

enum TIdFtpProxyType {
    fpcmNone,
    fpcmUserSite,
    fpcmSite,
    fpcmOpen,
    fpcmUserPass,
    fpcmTransparent,
    fpcmHttpProxyWithFtp,
};

// Profile type names ("None", "UserSite", ...) to modes; unknown -> fpcmNone.
TIdFtpProxyType ProxyTypeFromName(const std::string& name);

// FTP over TLS, in the order a site editor offers the modes. Clients start
// with ftpsPlainOnly: nothing changes for a caller that never sets it.
enum TIdFtpEncryption {
    ftpsExplicitIfAvailable,  // "AUTH TLS"; a server that refuses it is used unencrypted
    ftpsExplicitRequired,     // "AUTH TLS"; a server that refuses it is not used
    ftpsImplicit,             // TLS from the first byte (port 990 by custom)
    ftpsPlainOnly,            // no TLS at all
};
// The mode as the user reads it ("Use explicit FTP over TLS if available", ...).
std::string EncryptionText(TIdFtpEncryption mode);
// 990 for implicit TLS, else 21.
int DefaultPortFor(TIdFtpEncryption mode);

// The answer about a server certificate that is not trusted on its own.
enum TIdTlsTrust {
    tlsCancel,       // do not connect
    tlsTrustOnce,    // this connection only
    tlsTrustAlways,  // and from now on: the client pins its fingerprint
};
// Asked after the TLS handshake, before anything else is sent, for a
// certificate the system does not trust (self-signed, expired, another
// host's...). Runs inside OpenConnection: it may show a dialog and run the
// event loop; when the connection was closed meanwhile the open fails.
using TIdVerifyCertificateEvent =
    std::function<TIdTlsTrust(void* ASender, const net::TlsCertificateInfo& ACertificate)>;

// True when two SHA-256 fingerprints name the same certificate (letter case,
// ':' and blanks do not count).
bool SameFingerprint(const std::string& a, const std::string& b);

// The data address of a 227 reply's first text line: between the first
// parentheses, else after the last blank; "h1,h2,h3,h4,p1,p2". A port field
// that is no number raises EIdException.
void PasvAddressFromText(const std::string& text, std::string& host, int& port);
// "a,b,c,d,p1,p2" for a PORT command.
std::string PortArgument(const std::string& ip, int port);
// The port of a 229 reply's first text line, "(|||port|)" with any
// delimiter; raises EIdInvalidEpsvReply unless it is 1 to 65535.
int EpsvPortFromText(const std::string& text);
// "|2|addr|port|" (or "|1|...") for an EPRT command.
std::string EprtArgument(const std::string& ip, int port);

struct TIdFtpProxySettings {
    TIdFtpProxyType ProxyType = fpcmNone;
    std::string Host;
    int Port = 0;
    std::string UserName;
    std::string Password;
};

class TIdFTP : public TIdTCPClient {
public:
    TIdFTP();
    ~TIdFTP() override;

    // Settings (Host, Port = 21, ReadTimeout, RecvBufferSize, SendBufferSize,
    // Intercept, IOHandler come from the TCP layers).
    std::string Username;
    std::string Password;
    bool Passive = false;
    TIdFtpProxySettings ProxySettings;
    // SOCKS settings of the control connection's socket layer.
    TIdSocksInfo& SocksInfo() { return IOHandler()->SocksInfo(); }

    // FTP over TLS. With a TLS mode the connection goes: greeting, "AUTH TLS"
    // (explicit) or TLS from the first byte (implicit), the certificate
    // decision, the login, "PBSZ 0" and "PROT P"; every data connection is
    // then protected too, resuming the control connection's TLS session. A
    // server refusing AUTH TLS is used unencrypted with ftpsExplicitIfAvailable
    // (an OnStatus StatusText line says so) and raises EIdTlsNotOffered with
    // ftpsExplicitRequired. A failed or dropped handshake raises EIdTlsError.
    // OnStatus reports the protocol and cipher in a StatusText line.
    TIdFtpEncryption Encryption = ftpsPlainOnly;
    // The certificate decision: a certificate the system trusts (chain, dates
    // and host name) is used without asking. Otherwise a stored fingerprint
    // (the site's "trust always") that matches is trusted without asking; one
    // that differs raises EIdTlsCertificateChanged (a warning, never a
    // question). Without a stored one OnVerifyCertificate is asked; no
    // handler, or tlsCancel, raises EIdTlsCertificateRejected. tlsTrustAlways
    // sets PinnedFingerprint for the reconnects of this client; the caller
    // stores it with the site.
    std::string PinnedFingerprint;
    TIdVerifyCertificateEvent OnVerifyCertificate;
    // PEM file of authorities trusted besides the system's (tests); empty: none.
    std::string TlsTrustFile;

    // After the login: "FEAT"; with MLST offered, detailed listings use
    // "MLSD" (exact sizes, times in UTC, types); with UTF8 offered, "OPTS UTF8
    // ON" is sent. A refused or unreadable FEAT leaves everything as without.
    bool AskFeatures = false;
    // Passive data connections ask "EPSV" first on IPv4 too, and "PASV" once
    // it is refused (remembered for the connection). On an IPv6 connection
    // EPSV (passive) and EPRT (active) are used whatever this says. Through
    // an FTP proxy or SOCKS the data connection uses PASV or PORT.
    bool UseEpsv = false;

    TIdFTPTransferType TransferType() const { return transferType_; }
    // Sends TYPE at once when connected; ignored while a data connection exists.
    void SetTransferType(TIdFTPTransferType type);

    // Events besides those of the TCP layers.
    TNotifyEvent OnAfterClientLogin;
    std::function<void(void* ASender, const std::string& ALocalPath)> OnAfterGet;
    // Listing hooks (none set by the browser frame).
    ListingHooks ListHooks;

    // Connects (to the FTP proxy when its mode and host say so), reads the
    // 220 greeting and, withLogin, logs in and asks SYST. Any failure closes
    // the connection before the error is passed on. On a connected client,
    // or from inside another blocked call, it closes the connection and
    // raises EIdAlreadyConnected. A login text holding CR, LF or NUL raises
    // EIdInvalidCommandText before connecting.
    void OpenConnection(bool withLogin = true, int connectTimeoutMs = -1);
    // Closes without sending QUIT (the data connection too). Allowed while
    // another call is blocked.
    void CloseConnection() override;
    // Does nothing while a call is reading the connection itself.
    void ProbePeerClosed(bool raiseIfClosed) override;

    // Every command below raises EIdCommandInProgress when called while
    // another call of this client waits (from inside the message pump), and
    // EIdInvalidCommandText, before sending anything, for a text holding CR,
    // LF or NUL. On a client that was never connected they raise
    // EIdNotConnected. Whenever the client cannot be sure which reply answers
    // which command (a read time-out, an over-long reply line, a reply still
    // owed after a failed or aborted transfer that does not come), it closes
    // the control connection; the next command then raises
    // EIdConnClosedGracefully. A 421 reply closes it at once.

    // Sends the line and reads one reply; accepted -1 accepts every code.
    int RunCommand(const std::string& line, int accepted);
    void ChangeFolder(const std::string& path);
    // The path between the first two lone double quotes of the 257 reply,
    // with doubled quotes inside it undone; empty without one.
    std::string CurrentFolder();
    void CreateFolder(const std::string& name);
    void RemoveFolder(const std::string& name);
    void RemoveFile(const std::string& name);
    void RenameEntry(const std::string& from, const std::string& to);
    // Size from a 213 reply whose text is a plain non-negative number; -1
    // for any other code or text.
    std::int64_t RemoteSize(const std::string& name);

    // LIST (detailed) or NLST with the argument, trimmed. The lines replace the
    // previous listing's and, when dest is given, dest's contents. When the
    // server offers MLST (AskFeatures) a detailed listing is "MLSD" with the
    // argument instead, unless the argument is a LIST option ("-a"); its
    // entries then come from the MLSD facts (ListingEntries' ListFormat is
    // FormatMlsd) and hold no entry for the folder itself or its parent.
    void FetchListing(std::vector<std::string>* dest, const std::string& argument = "",
                      bool detailed = true);
    const std::vector<std::string>& ListingLines() const { return listing_; }
    // Entries of the last listing, parsed on first access.
    TIdFTPListItems& ListingEntries();

    // Transfers end in an error unless the server confirms them: a closing
    // 426 or 450 raises EIdTransferAbortedByServer (its code and text), a
    // transfer stopped by AbortTransfer raises EIdTransferAborted, a data
    // connection that moves nothing for ReadTimeout raises EIdReadTimeout
    // (ReadTimeout 0 waits without limit), and a data connection the server
    // could not use raises the server's reply when it sent one.

    // The local file is opened before any command (so that a path that
    // cannot be written fails first) but created, emptied or appended to
    // only once data comes: a refused or failed download leaves an existing
    // file as it was and no new empty file behind. A partial file stays.
    void DownloadToFile(const std::string& remoteName, const std::string& localPath, bool overwrite,
                        bool resume);
    // Empty remoteName: STOU with a name the server chooses. After the last
    // byte the closing reply is awaited as long as the server is still
    // taking the data, and ReadTimeout plus the upload's own duration after.
    void UploadFromFile(const std::string& localPath, const std::string& remoteName, bool append);
    // Sends ABOR (its reply is read by the transfer, or before the next
    // command) and kills the data connection. Allowed while a transfer is
    // blocked; the transfer then ends with EIdTransferAborted.
    void AbortTransfer();

    // State kept by the client.
    const TIdRFCReply& LoginReply() const { return loginReply_; }
    const std::string& SystemDesc() const { return systemDesc_; }
    bool ResumeProbed() const { return resumeProbed_; }
    bool CanResume() const { return canResume_; }
    // True while a command waits for its reply or a transfer runs.
    bool Busy() const { return busy_ > 0; }
    bool DataConnectionOpen() const { return data_ != nullptr; }

    // Encryption of the open connection (for the page's tab and log).
    bool IsEncrypted() const { return TlsActive(); }
    // Data connections are protected ("PROT P" accepted).
    bool DataProtected() const { return dataProtected_ && TlsActive(); }
    std::string TlsProtocol() const;  // "TLSv1.3"; empty without TLS
    std::string TlsCipher() const;
    // The server certificate of the open connection (Present false without TLS).
    net::TlsCertificateInfo PeerCertificate() const;

    // What FEAT said on this connection: one entry per feature line, as the
    // server wrote it ("MLST type*;size*;modify*;"); empty when not asked.
    const std::vector<std::string>& Features() const { return features_; }
    // Whether FEAT listed the feature (its first word, any letter case).
    bool HasFeature(const std::string& name) const;
    // Detailed listings go through MLSD on this connection.
    bool UsesMlsd() const { return mlsd_; }
    // The server announced UTF-8 path names (FEAT "UTF8").
    bool Utf8Names() const { return utf8_; }

    // Byte sources and sinks of the copy loops.
    using DataSink = std::function<void(const char* data, std::size_t len)>;
    class DataSource {
    public:
        virtual ~DataSource() = default;
        virtual std::int64_t Size() = 0;
        virtual std::int64_t Position() = 0;
        virtual void Rewind() = 0;
        // 0 only at the end (or when nothing can be read).
        virtual std::size_t Read(char* buf, std::size_t len) = 0;
    };

protected:
    void AfterReply() override;

private:
    class BusyScope;

    TIdFTPTransferType transferType_ = ftBinary;
    TIdRFCReply loginReply_;
    std::string systemDesc_;
    bool resumeProbed_ = false;
    bool canResume_ = false;
    int busy_ = 0;
    std::vector<std::string> listing_;
    std::shared_ptr<TIdFTPListItems> entries_;
    std::unique_ptr<TIdTCPConnection> data_;  // present only during a transfer
    std::unique_ptr<TIdIOHandlerSocket> dataHandler_;

    void login();
    void loginPair(const std::string& user, const std::string& pass);
    void sendTransferType();
    void probeResume();
    void passiveAddress(std::string& host, int& port);
    void prepareData();
    void dropData();
    void runTransfer(const std::function<void(bool& owed)>& body, bool upload);
    [[noreturn]] void failTransfer(std::exception_ptr failure, bool owed);
    void finishTransfer(TIdTCPConnection* draining, std::uint64_t started);
    void awaitUploadClosingReply(TIdTCPConnection& data, std::uint64_t started);
    [[noreturn]] void abortedByUser();
    int settleMs() const;
    bool readFinalReply(int boundMs);
    void readSecondReplyIfThere();
    void settleAbor();
    void download(const std::string& command, const DataSink& sink, bool resume, std::int64_t position);
    void upload(const std::string& command, DataSource& source, bool fromStart);
    void copyDataOut(DataSource& source, bool fromStart);
    void configureData(TIdTCPConnection& c);
    std::unique_ptr<TIdTCPClient> connectPassiveData();
    TIdSimpleServer& listenActive();
    void closeAll();
    bool cutByUser_ = false;  // AbortTransfer closed this transfer's data connection
    int aborOwed_ = 0;        // ABOR lines whose reply is not read yet
    // A final reply that came while the server's data connection was awaited.
    std::optional<TIdRFCReply> earlyReply_;
    bool pasvNoted_ = false;  // the replaced PASV address was reported on this connection

    // Per connection: TLS, features, EPSV.
    bool dataProtected_ = false;
    bool epsvRefused_ = false;
    std::vector<std::string> features_;
    bool mlsd_ = false;
    bool utf8_ = false;
    bool listingMlsd_ = false;  // the last listing came from MLSD
    void resetConnectionState();
    net::TlsClientOptions tlsOptions() const;
    void startControlTls();
    void decideCertificate();
    void negotiateAuth();
    void askFeatures();
    void secureData();
    bool viaRelay();
};
