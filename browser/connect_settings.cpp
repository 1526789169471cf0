#include "browser/connect_settings.h"

#include "store/site_records.h"

namespace browser {
namespace {

// A profile that cannot be read is skipped like a missing one.
template <class F>
auto quietly(F&& f) -> decltype(f()) {
    try {
        return f();
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

}  // namespace

std::optional<ConnectSettings> siteSettings(store::Tdm& dm, const std::string& name, const std::string& now) {
    const std::optional<store::SiteRecord> site = store::openSiteForConnect(dm, name, now);
    if (!site) return std::nullopt;
    ConnectSettings s;
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

    if (s.proxyname != "None") {
        if (const auto p = quietly([&] { return store::findProxy(dm, s.proxyname); })) {
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
        if (const auto k = quietly([&] { return store::findSocks(dm, s.socksname); })) {
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
    return s;
}

}  // namespace browser
