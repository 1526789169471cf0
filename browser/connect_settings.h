#pragma once
// What a page connects with: built from a saved site (with its proxy and
// SOCKS profiles) or from what was typed in quick connect, and handed to the
// page's session. Plain data; nothing here reads a window.
#include "ftp/ftp_client.h"
#include "ftp/socks.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace store {
class Tdm;
struct QuickConnection;
}

namespace browser {

struct ConnectSettings {
    bool quick = false;            // typed in quick connect: no site row behind it
    int siteid = 0;                // the site's id; 0 for a quick connection
    std::string host;
    int port = 21;
    std::string username, password;
    bool passive = true;
    bool autorefresh = false;      // list the server on every folder change
    int timeoutms = 0;             // connect and read time-out
    int retrydelayms = 0;          // wait between connection attempts
    std::string proxyname = "None", socksname = "None";
    TIdFtpProxySettings proxy;
    TIdSocksInfo socks;
    TIdFtpEncryption encryption = ftpsPlainOnly;
    // The certificate the user trusts always (SHA-256); empty: none yet.
    std::string fingerprint;
    // "FEAT" after the login and "EPSV" before "PASV". Off only for a row
    // saved before the encryption setting existed: such a site keeps talking
    // to its server exactly as it always did.
    bool extensions = false;
    // Keeps a certificate the user now trusts always with the site (may
    // throw a store error). Empty for a quick connection: the trust then
    // lasts as long as the page's settings.
    std::function<void(const std::string& fingerprint)> keepCertificate;
    // Not empty: the page must not connect with these settings (a profile the
    // site names is missing), and this is the log line that says why.
    std::string refusal;
    // Lines for the page's log about the settings (a date that was not saved).
    std::vector<std::string> notes;
};

// The settings of the site called `name`; its latest-access date becomes
// `now`. A profile name without a profile row refuses the connection: going
// around a proxy or SOCKS server the user set up must not happen quietly.
// Nothing when the site is not there.
std::optional<ConnectSettings> siteSettings(store::Tdm& dm, const std::string& name, const std::string& now);

// A quick connection: 30 s time-out, 10 s between attempts, no profiles,
// the encryption typed (a history row from before the setting: plain FTP).
// An encryption word it does not know refuses the connection.
ConnectSettings quickSettings(const store::QuickConnection& typed);

}  // namespace browser
