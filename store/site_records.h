#pragma once
// Store operations on saved sites, their proxy and SOCKS profiles and the
// quick-connect history. Each opens the tables it needs and closes them before
// it returns, so a caller may run the event loop between two of them. Errors
// of the store raise EStoreError.
#include "store/table.h"

#include <optional>
#include <string>
#include <vector>

namespace store {

// How a connection uses FTP over TLS, in the order the editors offer the
// choices. The `encryption` field of ftpsite and quickftp holds the word of
// one of them; a row saved before the field existed holds the empty text:
// plain FTP, spoken exactly as before.
enum class Encryption { ExplicitIfAvailable, ExplicitRequired, Implicit, PlainOnly };
// "auto", "explicit", "implicit", "plain".
std::string encryptionWord(Encryption e);
// The empty text is plain FTP; nothing for a word this version does not know.
std::optional<Encryption> encryptionFromWord(const std::string& word);

// One row of ftpsite.
struct SiteRecord {
    int id = 0;
    std::string name, address;
    int port = 21;
    std::string username, password, cdate, zdate, comment;
    int timeout = 30, nor = 20, rd = 10;
    bool vp = true;
    std::string defaultpath;
    std::string proxy = "None", socks = "None";
    bool pasv = true, autorefresh = false, cnc = false;
    int maxc = 1;
    std::string encryption;  // an encryption word; empty: a row from before the setting
    // SHA-256 fingerprint of the server certificate the user trusts always
    // for this site; empty: none.
    std::string certfp;
};

// Every site, in table order.
std::vector<SiteRecord> allSites(Tdm& dm);
std::optional<SiteRecord> findSite(Tdm& dm, const std::string& name);
bool siteExists(Tdm& dm, const std::string& name);
// The site a page connects to: its zdate becomes `now` and the row is read
// in the same step. Nothing when no site has that name.
std::optional<SiteRecord> openSiteForConnect(Tdm& dm, const std::string& name, const std::string& now);

// Appends a new row; the id the store gave it.
int appendSite(Tdm& dm, const SiteRecord& site);
// Rewrites the row called `openingName` with every field of `site` but its
// id; false (nothing written) when there is none. A new name is carried into
// the tasks that run against the site, in the same write.
bool updateSite(Tdm& dm, const std::string& openingName, const SiteRecord& site);
enum class RenameResult { Renamed, NameTaken, NotFound };
// Gives the site a new name (also in its tasks); the new name must be free.
RenameResult renameSite(Tdm& dm, const std::string& from, const std::string& to);
// Keeps `fingerprint` as the certificate the site with this id is trusted
// by (one write); false when the site is gone.
bool setSiteCertificate(Tdm& dm, int id, const std::string& fingerprint);
// Deletes the site with its history entries and their details, in one write.
// False (nothing changed) when no site has that name.
bool deleteSiteWithHistory(Tdm& dm, const std::string& name);

// One row of proxy.
struct ProxyRecord {
    std::string name, server;
    int port = 0;
    bool login = false;
    std::string username, password;
    int type = -1;
    std::string typeName;
};
// One row of socks.
struct SocksRecord {
    std::string name, host;
    int port = 1080;
    bool login = false;
    std::string user, pass;
    int sv = 0;
    std::string svName = "NoSocks";
};
std::optional<ProxyRecord> findProxy(Tdm& dm, const std::string& name);
std::optional<SocksRecord> findSocks(Tdm& dm, const std::string& name);
// Profile names in table order.
std::vector<std::string> proxyNames(Tdm& dm);
std::vector<std::string> socksNames(Tdm& dm);
// Every profile, in table order.
std::vector<ProxyRecord> allProxies(Tdm& dm);
std::vector<SocksRecord> allSocks(Tdm& dm);

// Appends a new profile row.
void appendProxy(Tdm& dm, const ProxyRecord& p);
void appendSocks(Tdm& dm, const SocksRecord& s);
// Rewrites the profile row called `openingName`; false (nothing written) when
// there is none. A new name is carried into the sites that use the profile,
// in the same write, so that none of them loses its proxy. "None" is never
// carried: on a site it means no profile at all.
bool updateProxy(Tdm& dm, const std::string& openingName, const ProxyRecord& p);
bool updateSocks(Tdm& dm, const std::string& openingName, const SocksRecord& s);
// How many sites name the profile.
int sitesUsingProxy(Tdm& dm, const std::string& name);
int sitesUsingSocks(Tdm& dm, const std::string& name);
// Deletes the profile row; sites keep naming it (they then refuse to connect
// rather than go around it). False when there is none.
bool deleteProxy(Tdm& dm, const std::string& name);
bool deleteSocks(Tdm& dm, const std::string& name);

// One row of quickftp: an address used in quick connect and what was typed with it.
struct QuickConnection {
    std::string ftp, user, pass;
    int port = 21;
    bool pasv = true;
    std::string encryption;  // as in SiteRecord
};
std::vector<std::string> quickAddresses(Tdm& dm);
std::optional<QuickConnection> findQuickConnection(Tdm& dm, const std::string& ftp);
// Rewrites the row of the same address, or adds one.
void recordQuickConnection(Tdm& dm, const QuickConnection& q);
void clearQuickConnections(Tdm& dm);

}  // namespace store
