#include "store/site_records.h"

#include <set>
#include <utility>
#include <vector>

namespace store {
namespace {

// A field that came later is missing only from an older store that could
// not be written to; it reads as a row saved before the field existed.
std::string laterText(const Table& t, const char* field) {
    try {
        return t.asString(field);
    } catch (const EStoreError&) {
        return {};
    }
}

SiteRecord readSite(Table& t) {
    SiteRecord s;
    s.id = t.asInteger("id");
    s.name = t.asString("name");
    s.address = t.asString("address");
    s.port = t.asInteger("port");
    s.username = t.asString("username");
    s.password = t.asString("password");
    s.cdate = t.asString("cdate");
    s.zdate = t.asString("zdate");
    s.comment = t.asString("comment");
    s.timeout = t.asInteger("timeout");
    s.nor = t.asInteger("nor");
    s.rd = t.asInteger("rd");
    s.vp = t.asBoolean("vp");
    s.defaultpath = t.asString("defaultpath");
    s.proxy = t.asString("proxy");
    s.socks = t.asString("socks");
    s.pasv = t.asBoolean("pasv");
    s.autorefresh = t.asBoolean("autorefresh");
    s.cnc = t.asBoolean("cnc");
    s.maxc = t.asInteger("maxc");
    s.encryption = laterText(t, "encryption");
    s.certfp = laterText(t, "certfp");
    return s;
}

// The editor's order of writing, kept so a row reads the same field by field.
void writeSite(Table& t, const SiteRecord& s) {
    t.setString("name", s.name);
    t.setString("address", s.address);
    t.setInteger("port", s.port);
    t.setString("username", s.username);
    t.setString("password", s.password);
    t.setString("cdate", s.cdate);
    t.setString("zdate", s.zdate);
    t.setString("comment", s.comment);
    t.setInteger("timeout", s.timeout);
    t.setInteger("nor", s.nor);
    t.setInteger("rd", s.rd);
    t.setBoolean("vp", s.vp);
    t.setString("defaultpath", s.defaultpath);
    t.setString("proxy", s.proxy);
    t.setString("socks", s.socks);
    t.setBoolean("pasv", s.pasv);
    t.setBoolean("autorefresh", s.autorefresh);
    t.setBoolean("cnc", s.cnc);
    t.setInteger("maxc", s.maxc);
    t.setString("encryption", s.encryption);
    t.setString("certfp", s.certfp);
}

void renameInTasks(Tdm& dm, const std::string& from, const std::string& to) {
    if (from == to) return;
    TableScope t(dm.taskd());
    // Each pass renames the first task still naming the old site.
    while (t->locate("ftp", {from})) {
        t->edit();
        t->setString("ftp", to);
        t->post();
    }
}

std::vector<std::string> names(Table& table) {
    std::vector<std::string> out;
    TableScope t(table);
    for (t->first(); !t->eof(); t->next()) out.push_back(t->asString("name"));
    return out;
}

constexpr const char* kEncryptionWords[] = {"auto", "explicit", "implicit", "plain"};

}  // namespace

std::string encryptionWord(Encryption e) { return kEncryptionWords[static_cast<int>(e)]; }

std::optional<Encryption> encryptionFromWord(const std::string& word) {
    if (word.empty()) return Encryption::PlainOnly;
    for (int i = 0; i < 4; ++i)
        if (word == kEncryptionWords[i]) return static_cast<Encryption>(i);
    return std::nullopt;
}

std::vector<SiteRecord> allSites(Tdm& dm) {
    std::vector<SiteRecord> out;
    TableScope t(dm.ftpsite());
    for (t->first(); !t->eof(); t->next()) out.push_back(readSite(*t));
    return out;
}

std::optional<SiteRecord> findSite(Tdm& dm, const std::string& name) {
    TableScope t(dm.ftpsite());
    if (!t->locate("name", {name})) return std::nullopt;
    return readSite(*t);
}

bool siteExists(Tdm& dm, const std::string& name) {
    TableScope t(dm.ftpsite());
    return t->locate("name", {name});
}

std::optional<SiteRecord> openSiteForConnect(Tdm& dm, const std::string& name, const std::string& now) {
    TableScope t(dm.ftpsite());
    if (!t->locate("name", {name})) return std::nullopt;
    t->edit();
    t->setString("zdate", now);
    t->post();
    return readSite(*t);
}

int appendSite(Tdm& dm, const SiteRecord& site) {
    TableScope t(dm.ftpsite());
    t->append();
    writeSite(*t, site);
    t->post();
    return t->asInteger("id");
}

bool updateSite(Tdm& dm, const std::string& openingName, const SiteRecord& site) {
    WriteBatch batch(dm.database());
    {
        TableScope t(dm.ftpsite());
        if (!t->locate("name", {openingName})) return false;
        t->edit();
        writeSite(*t, site);
        t->post();
    }
    renameInTasks(dm, openingName, site.name);
    batch.commit();
    return true;
}

bool setSiteCertificate(Tdm& dm, int id, const std::string& fingerprint) {
    TableScope t(dm.ftpsite());
    if (!t->locate("id", {id})) return false;
    t->edit();
    t->setString("certfp", fingerprint);
    t->post();
    return true;
}

RenameResult renameSite(Tdm& dm, const std::string& from, const std::string& to) {
    WriteBatch batch(dm.database());
    {
        TableScope t(dm.ftpsite());
        if (t->locate("name", {to})) return RenameResult::NameTaken;
        if (!t->locate("name", {from})) return RenameResult::NotFound;
        t->edit();
        t->setString("name", to);
        t->post();
    }
    renameInTasks(dm, from, to);
    batch.commit();
    return RenameResult::Renamed;
}

bool deleteSiteWithHistory(Tdm& dm, const std::string& name) {
    TableScope site(dm.ftpsite());
    if (!site->locate("name", {name})) return false;
    const int id = site->asInteger("id");

    // One disk write for the whole cascade: a large history would otherwise
    // cost one synchronous commit per row.
    WriteBatch batch(dm.database());
    std::set<int> keys;
    {
        TableScope h(dm.hmaster());
        h->first();
        while (!h->eof()) {
            if (h->asInteger("id") == id) {
                keys.insert(h->asInteger("key"));
                h->del();
            } else {
                h->next();
            }
        }
    }
    if (!keys.empty()) {
        TableScope d(dm.hdital());
        d->first();
        while (!d->eof()) {
            if (keys.count(d->asInteger("id")))
                d->del();
            else
                d->next();
        }
    }
    // Find the row by its identity again so the delete cannot hit another row.
    if (site->locate("id", {id})) site->del();
    batch.commit();
    return true;
}

namespace {

// The profile tables' fields, each named once so that reading and writing
// a profile can never disagree about a field.
template <class R>
struct ProfileFields {
    std::vector<std::pair<const char*, std::string R::*>> texts;
    std::vector<std::pair<const char*, int R::*>> numbers;
    const char* login;
};

const ProfileFields<ProxyRecord> kProxyFields{
    {{"name", &ProxyRecord::name},
     {"server", &ProxyRecord::server},
     {"username", &ProxyRecord::username},
     {"password", &ProxyRecord::password},
     {"typename", &ProxyRecord::typeName}},
    {{"port", &ProxyRecord::port}, {"type", &ProxyRecord::type}},
    "login"};

const ProfileFields<SocksRecord> kSocksFields{
    {{"name", &SocksRecord::name},
     {"host", &SocksRecord::host},
     {"user", &SocksRecord::user},
     {"pass", &SocksRecord::pass},
     {"svname", &SocksRecord::svName}},
    {{"port", &SocksRecord::port}, {"sv", &SocksRecord::sv}},
    "login"};

template <class R>
R readProfile(Table& t, const ProfileFields<R>& f) {
    R r;
    for (const auto& [field, member] : f.texts) r.*member = t.asString(field);
    for (const auto& [field, member] : f.numbers) r.*member = t.asInteger(field);
    r.login = t.asBoolean(f.login);
    return r;
}

template <class R>
void writeProfile(Table& t, const R& r, const ProfileFields<R>& f) {
    for (const auto& [field, member] : f.texts) t.setString(field, r.*member);
    for (const auto& [field, member] : f.numbers) t.setInteger(field, r.*member);
    t.setBoolean(f.login, r.login);
}

ProxyRecord readProxy(Table& t) { return readProfile(t, kProxyFields); }
void writeProxy(Table& t, const ProxyRecord& p) { writeProfile(t, p, kProxyFields); }
SocksRecord readSocks(Table& t) { return readProfile(t, kSocksFields); }
void writeSocks(Table& t, const SocksRecord& s) { writeProfile(t, s, kSocksFields); }

bool isNone(const std::string& name) { return name == "None"; }

// Sites name their profiles in the field `field` ("proxy" or "socks").
void renameInSites(Tdm& dm, const char* field, const std::string& from, const std::string& to) {
    if (from == to || isNone(from) || isNone(to)) return;
    TableScope t(dm.ftpsite());
    while (t->locate(field, {from})) {
        t->edit();
        t->setString(field, to);
        t->post();
    }
}

int countSites(Tdm& dm, const char* field, const std::string& name) {
    if (isNone(name)) return 0;
    int n = 0;
    TableScope t(dm.ftpsite());
    for (t->first(); !t->eof(); t->next())
        if (t->asString(field) == name) ++n;
    return n;
}

template <class Record, class Write>
bool updateProfile(Tdm& dm, Table& table, const char* siteField, const std::string& openingName,
                   const Record& r, Write write) {
    WriteBatch batch(dm.database());
    {
        TableScope t(table);
        if (!t->locate("name", {openingName})) return false;
        t->edit();
        write(*t, r);
        t->post();
    }
    renameInSites(dm, siteField, openingName, r.name);
    batch.commit();
    return true;
}

bool deleteProfile(Table& table, const std::string& name) {
    TableScope t(table);
    if (!t->locate("name", {name})) return false;
    t->del();
    return true;
}

}  // namespace

std::optional<ProxyRecord> findProxy(Tdm& dm, const std::string& name) {
    TableScope t(dm.proxy());
    if (!t->locate("name", {name})) return std::nullopt;
    return readProxy(*t);
}

std::optional<SocksRecord> findSocks(Tdm& dm, const std::string& name) {
    TableScope t(dm.socks());
    if (!t->locate("name", {name})) return std::nullopt;
    return readSocks(*t);
}

std::vector<std::string> proxyNames(Tdm& dm) { return names(dm.proxy()); }
std::vector<std::string> socksNames(Tdm& dm) { return names(dm.socks()); }

std::vector<ProxyRecord> allProxies(Tdm& dm) {
    std::vector<ProxyRecord> out;
    TableScope t(dm.proxy());
    for (t->first(); !t->eof(); t->next()) out.push_back(readProxy(*t));
    return out;
}

std::vector<SocksRecord> allSocks(Tdm& dm) {
    std::vector<SocksRecord> out;
    TableScope t(dm.socks());
    for (t->first(); !t->eof(); t->next()) out.push_back(readSocks(*t));
    return out;
}

void appendProxy(Tdm& dm, const ProxyRecord& p) {
    TableScope t(dm.proxy());
    t->append();
    writeProxy(*t, p);
    t->post();
}

void appendSocks(Tdm& dm, const SocksRecord& s) {
    TableScope t(dm.socks());
    t->append();
    writeSocks(*t, s);
    t->post();
}

bool updateProxy(Tdm& dm, const std::string& openingName, const ProxyRecord& p) {
    return updateProfile(dm, dm.proxy(), "proxy", openingName, p, writeProxy);
}

bool updateSocks(Tdm& dm, const std::string& openingName, const SocksRecord& s) {
    return updateProfile(dm, dm.socks(), "socks", openingName, s, writeSocks);
}

int sitesUsingProxy(Tdm& dm, const std::string& name) { return countSites(dm, "proxy", name); }
int sitesUsingSocks(Tdm& dm, const std::string& name) { return countSites(dm, "socks", name); }

bool deleteProxy(Tdm& dm, const std::string& name) { return deleteProfile(dm.proxy(), name); }
bool deleteSocks(Tdm& dm, const std::string& name) { return deleteProfile(dm.socks(), name); }

std::vector<std::string> quickAddresses(Tdm& dm) {
    std::vector<std::string> out;
    TableScope t(dm.quickftp());
    for (t->first(); !t->eof(); t->next()) out.push_back(t->asString("ftp"));
    return out;
}

std::optional<QuickConnection> findQuickConnection(Tdm& dm, const std::string& ftp) {
    TableScope t(dm.quickftp());
    if (!t->locate("ftp", {ftp})) return std::nullopt;
    QuickConnection q;
    q.ftp = t->asString("ftp");
    q.user = t->asString("user");
    q.pass = t->asString("pass");
    q.port = t->asInteger("port");
    q.pasv = t->asBoolean("pasv");
    q.encryption = laterText(*t, "encryption");
    return q;
}

void recordQuickConnection(Tdm& dm, const QuickConnection& q) {
    TableScope t(dm.quickftp());
    if (t->locate("ftp", {q.ftp}))
        t->edit();
    else
        t->insert();
    t->setString("ftp", q.ftp);
    t->setString("user", q.user);
    t->setString("pass", q.pass);
    t->setInteger("port", q.port);
    t->setBoolean("pasv", q.pasv);
    t->setString("encryption", q.encryption);
    t->post();
}

void clearQuickConnections(Tdm& dm) {
    TableScope t(dm.quickftp());
    t->empty();
}

}  // namespace store
