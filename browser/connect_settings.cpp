#include "browser/connect_settings.h"

#include "store/site_records.h"
#include "store/table.h"

namespace browser {
namespace {

// A profile that cannot be read is no reason to connect without it.
template <class F>
auto profileOrRefusal(ConnectSettings& s, const char* kind, const std::string& name, F&& find)
    -> decltype(find()) {
    try {
        auto p = find();
        if (!p) s.refusal = std::string("The ") + kind + " profile <" + name +
                            "> of this site does not exist, so the site is not connected. Choose "
                            "another profile in the site editor.";
        return p;
    } catch (const std::exception& e) {
        s.refusal = std::string("Can not read the ") + kind + " profile <" + name + ">: " + e.what();
        return std::nullopt;
    }
}

// The client's modes are the store's, in the same order.
static_assert(static_cast<int>(store::Encryption::ExplicitIfAvailable) == ftpsExplicitIfAvailable &&
              static_cast<int>(store::Encryption::ExplicitRequired) == ftpsExplicitRequired &&
              static_cast<int>(store::Encryption::Implicit) == ftpsImplicit &&
              static_cast<int>(store::Encryption::PlainOnly) == ftpsPlainOnly);

// A setting from a newer version is no reason to fall back to plain FTP.
void applyEncryption(ConnectSettings& s, const std::string& word, const char* where) {
    const std::optional<store::Encryption> mode = store::encryptionFromWord(word);
    s.extensions = !word.empty();
    if (mode) {
        s.encryption = static_cast<TIdFtpEncryption>(*mode);
    } else if (s.refusal.empty()) {
        s.refusal = "The encryption setting <" + word +
                    "> is not known to this version, so the site is not connected. Choose one in " +
                    where + ".";
    }
}

}  // namespace

std::optional<ConnectSettings> siteSettings(store::Tdm& dm, const std::string& name, const std::string& now) {
    ConnectSettings s;
    std::optional<store::SiteRecord> site;
    try {
        site = store::openSiteForConnect(dm, name, now);
    } catch (const store::EStoreError& e) {
        // The row may still be readable (another program holds the file):
        // connect, and say that the access date was not kept.
        site = store::findSite(dm, name);
        s.notes.push_back(std::string("The latest access date was not saved: ") + e.what());
    }
    if (!site) return std::nullopt;
    s.siteid = site->id;
    s.host = site->address;
    s.port = site->port;
    s.username = site->username;
    s.password = site->password;
    s.passive = site->pasv;
    s.autorefresh = site->autorefresh;
    s.timeoutms = site->timeout * 1000;
    s.retrydelayms = site->rd * 1000;
    s.proxyname = site->proxy;
    s.socksname = site->socks;
    applyEncryption(s, site->encryption, "the site editor");
    s.fingerprint = site->certfp;
    const int id = site->id;
    s.keepCertificate = [&dm, id](const std::string& fingerprint) {
        if (!store::setSiteCertificate(dm, id, fingerprint)) throw store::EStoreError("the site is no longer saved");
    };

    if (s.proxyname != "None") {
        if (const auto p = profileOrRefusal(s, "proxy", s.proxyname, [&] { return store::findProxy(dm, s.proxyname); })) {
            s.proxy.Host = p->server;
            s.proxy.Port = p->port;
            static const std::pair<const char*, TIdFtpProxyType> kinds[] = {
                {"None", fpcmNone},         {"UserSite", fpcmUserSite},
                {"Site", fpcmSite},         {"Open", fpcmOpen},
                {"UserPass", fpcmUserPass}, {"Transparent", fpcmTransparent},
                {"HttpProxyWithFtp", fpcmHttpProxyWithFtp}};
            for (const auto& [word, kind] : kinds)
                if (p->typeName == word) s.proxy.ProxyType = kind;
            if (p->login) {
                s.proxy.UserName = p->username;
                s.proxy.Password = p->password;
            }
        }
    }
    if (s.socksname != "None") {
        if (const auto k = profileOrRefusal(s, "SOCKS", s.socksname, [&] { return store::findSocks(dm, s.socksname); })) {
            s.socks.Host = k->host;
            s.socks.Port = k->port;
            s.socks.Version = SocksVersionFromName(k->svName);
            if (k->login) {
                s.socks.Authentication = saUsernamePassword;
                s.socks.Username = k->user;
                s.socks.Password = k->pass;
            }
        }
    }
    return s;
}

ConnectSettings quickSettings(const store::QuickConnection& typed) {
    ConnectSettings s;
    s.quick = true;
    s.host = typed.ftp;
    s.port = typed.port;
    s.username = typed.user;
    s.password = typed.pass;
    s.passive = typed.pasv;
    s.timeoutms = 30000;
    s.retrydelayms = 10000;
    applyEncryption(s, typed.encryption, "quick connect");
    return s;
}

}  // namespace browser
